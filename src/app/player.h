#pragma once
// The player: start-up, the main loop and shutdown.
//
//   int status = run_player("/path/to/own/executable");
//
// Returns the process exit status: 1 after a fatal report (app/fatal_report.h),
// once everything the player opened has been let go.
#include <string>

namespace qh {

int run_player(const std::string& executable_path);

}  // namespace qh
