#pragma once
// The two reports the player leaves in the working directory when it cannot
// go on. Each writes its report and throws FatalExit, which run_player turns
// into exit status 1 once everything it opened has been let go.
//
//   report_missing_package();            // "error.log": the executable carries no package
//   report_fatal_error("File not found: x");  // "crash.txt": "Fatal error: MSG\nExiting."
#include <string>

namespace qh {

// Thrown once a report is written. Not a std::exception, so that no handler
// for those on the way up takes it for an error it could carry on after.
struct FatalExit {};

[[noreturn]] void report_fatal_error(const std::string& message);
[[noreturn]] void report_missing_package();

// The text "crash.txt" receives for `message`.
std::string fatal_report_text(const std::string& message);

}  // namespace qh
