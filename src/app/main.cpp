#include <SDL_main.h>  // where SDL starts the program itself (Windows), this main is its SDL_main

#include "app/fatal_report.h"
#include "app/player.h"
#include "core/executable_path.h"
#include "package/trailer.h"

namespace {

// The package appended to the executable at `path`.
std::vector<uint8_t> appended_payload(const std::string& path) {
    std::vector<uint8_t> payload;
    const qh::TrailerStatus status = qh::read_package_file(path, payload);
    if (status == qh::TrailerStatus::no_package) qh::report_missing_package();
    if (status != qh::TrailerStatus::found) qh::report_fatal_error(qh::describe(status, path));
    return payload;
}

}  // namespace

int main(int, char**) {
    // Command-line arguments are not used: the only input is the executable itself.
    const std::string path = qh::own_executable_path();
    qh::Player player({.read_payload = [&path] { return appended_payload(path); }});
    try {
        if (const auto status = player.start()) return *status;
        while (player.step()) qh::frame_pause(player.pause_ms());
        return player.stop();
    } catch (const qh::FatalExit&) {
        return 1;  // the report is written; the player lets go of what it opened on its way out
    }
}
