#pragma once
// The player: start-up, the main loop and shutdown.
//
//   int status = run_player("/path/to/own/executable");
//
// Returns the process exit status; the fatal reports exit directly.
#include <string>

namespace qh {

int run_player(const std::string& executable_path);

}  // namespace qh
