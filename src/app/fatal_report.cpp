#include "app/fatal_report.h"

#include <cstdio>

namespace qh {

std::string fatal_report_text(const std::string& message) {
    return "Fatal error: " + message + "\nExiting.";
}

void report_fatal_error(const std::string& message) {
    std::fflush(stdout);
    // Standard error too: a viewer who started the player from a terminal
    // should not have to look for the file.
    std::fprintf(stderr, "Fatal error: %s\n", message.c_str());
    FILE* f = std::fopen("crash.txt", "w");
    if (!f) {
        std::printf("Error opening file!\n");
        std::fflush(stdout);
        throw FatalExit{};
    }
    const std::string text = fatal_report_text(message);
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
    throw FatalExit{};
}

void report_missing_package() {
    std::fflush(stdout);
    static const char message[] =
        "Cannot find DEMO in executable. Please follow the instructions in Quillharbor.\n";
    if (FILE* f = std::fopen("error.log", "wb")) {
        std::fwrite(message, 1, sizeof message - 1, f);
        std::fclose(f);
    }
    throw FatalExit{};
}

}  // namespace qh
