#pragma once
// The two reports the player leaves in the working directory when it cannot
// go on; both end the process with status 1.
//
//   report_missing_package();            // "error.log": the executable carries no package
//   report_fatal_error("File not found: x");  // "crash.txt": "Fatal error: MSG\nExiting."
#include <string>

namespace qh {

[[noreturn]] void report_fatal_error(const std::string& message);
[[noreturn]] void report_missing_package();

// The text "crash.txt" receives for `message`.
std::string fatal_report_text(const std::string& message);

}  // namespace qh
