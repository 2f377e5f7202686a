#include "app/fatal_report.h"

#include <cstdio>

#ifdef __EMSCRIPTEN__
#include <emscripten.h>
#endif

namespace qh {

namespace {

// A page has no working directory a viewer could look in: the report is
// shown on the page instead, and said in the console.
void show_on_page(const std::string& text) {
#ifdef __EMSCRIPTEN__
    EM_ASM({ quillharbor.report(UTF8ToString($0)); }, text.c_str());
#else
    (void)text;
#endif
}

}  // namespace

std::string fatal_report_text(const std::string& message) {
    return "Fatal error: " + message + "\nExiting.";
}

void report_fatal_error(const std::string& message) {
    std::fflush(stdout);
    // Standard error too: a viewer who started the player from a terminal
    // should not have to look for the file.
    std::fprintf(stderr, "Fatal error: %s\n", message.c_str());
    show_on_page(fatal_report_text(message));
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
    show_on_page(message);
    if (FILE* f = std::fopen("error.log", "wb")) {
        std::fwrite(message, 1, sizeof message - 1, f);
        std::fclose(f);
    }
    throw FatalExit{};
}

}  // namespace qh
