#include "app/fatal_report.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

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

// The report goes into the working folder; where that cannot take it (a
// demo run from read-only media), into the system's temporary folder, and
// standard output says where. Never silently nowhere. A page has no folder.
#ifndef __EMSCRIPTEN__
// Opened by its path, not by a narrow string: on Windows that is the UTF-16
// name, so a temporary folder under a user name outside the system's code
// page (C:\Users\Jürgen\...) takes the report too. `mode` is text for
// crash.txt (CR LF on Windows) and binary for error.log (byte for byte).
bool write_text_file(const std::filesystem::path& path, const std::string& text,
                     std::ios::openmode mode) {
    std::ofstream out(path, std::ios::out | std::ios::trunc | mode);
    if (!out) return false;
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close();
    return !out.fail();
}

void write_report(const char* name, const std::string& text, std::ios::openmode mode) {
    if (write_text_file(name, text, mode)) return;
    std::printf("Error opening file!\n");
    std::error_code ec;
    const std::filesystem::path temporary = std::filesystem::temp_directory_path(ec) / name;
    if (!ec && write_text_file(temporary, text, mode)) {
        std::printf("The working folder cannot take %s; the report is in %s\n", name, temporary.string().c_str());
    } else {
        std::printf("The report could not be written, neither here nor in the temporary folder:\n%s\n",
                    text.c_str());
    }
    std::fflush(stdout);
}
#else
void write_report(const char*, const std::string&, std::ios::openmode) {}
#endif

}  // namespace

std::string fatal_report_text(const std::string& message) {
    return "Fatal error: " + message + "\nExiting.";
}

void report_fatal_error(const std::string& message) {
    std::fflush(stdout);
    // Standard error too: a viewer who started the player from a terminal
    // should not have to look for the file.
    std::fprintf(stderr, "Fatal error: %s\n", message.c_str());
    const std::string text = fatal_report_text(message);
    show_on_page(text);
    write_report("crash.txt", text, {});
    throw FatalExit{};
}

void report_missing_package() {
    std::fflush(stdout);
    static const char message[] =
        "Cannot find DEMO in executable. Please follow the instructions in Quillharbor.\n";
    show_on_page(message);
    // A file cut short in a download has lost its package too.
    std::printf("%sIf it was downloaded, the download may have been cut short: fetch it again.\n", message);
    write_report("error.log", message, std::ios::binary);
    throw FatalExit{};
}

}  // namespace qh
