#include <cstdio>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

#include "cli.h"
#include "commands.h"
#include "document_io.h"
#include "document/demo_io.h"

namespace qh::quill {

namespace {
const char* const usage =
    "usage: quill unpack FILE -o DIR\n"
    "\n"
    "Writes DIR/project.json and every external file of the package in FILE\n"
    "(resources/ is created where needed). Resource names that are absolute or\n"
    "climb out of DIR are refused; nothing is written outside DIR, and when one\n"
    "is refused nothing is written at all.\n";

namespace fs = std::filesystem;

// The directories from `dir` up that do not exist yet, innermost first.
std::vector<fs::path> missing_directories(fs::path dir) {
    if (!dir.has_filename()) dir = dir.parent_path();  // "out/"
    std::vector<fs::path> missing;
    std::error_code ec;
    for (; !dir.empty() && !fs::exists(dir, ec); dir = dir.parent_path()) missing.push_back(dir);
    return missing;
}

// A new hidden directory inside `dir` for the files while they are written.
fs::path make_staging_directory(const fs::path& dir) {
    const std::string base = ".quill-unpack-" + std::to_string(::getpid());
    for (int i = 0;; ++i) {
        fs::path stage = dir / (i == 0 ? base : base + "-" + std::to_string(i));
        if (fs::create_directory(stage)) return stage;
    }
}

// Moves everything in `from` into `to`, entering the directories both hold; a
// file replaces one of the same name, as writing it in place would.
void move_contents(const fs::path& from, const fs::path& to) {
    const std::vector<fs::directory_entry> entries{fs::directory_iterator(from), fs::directory_iterator()};
    for (const fs::directory_entry& e : entries) {
        const fs::path dest = to / e.path().filename();
        if (e.is_directory() && fs::is_directory(dest)) {
            move_contents(e.path(), dest);
        } else {
            fs::rename(e.path(), dest);
        }
    }
}

}  // namespace

int cmd_unpack(const std::vector<std::string>& argv) {
    const Args args = parse_args(argv, {"-o"}, {});
    if (args.flag("--help")) {
        std::fputs(usage, stdout);
        return exit_ok;
    }
    if (args.positional.size() != 1 || !args.has("-o"))
        throw UsageError("unpack needs a package file and -o DIR");
    ProgressBar bar("reading");
    auto demo = open_package(args.positional[0], [&](uint64_t i, uint64_t n) { bar.update(i, n); });
    // Everything is written to a staging directory first and moved into place
    // only when all of it was written: a refused name leaves DIR as it was.
    const fs::path dir = args.value("-o");
    const std::vector<fs::path> created = missing_directories(dir);
    fs::path stage;
    try {
        fs::create_directories(dir);
        stage = make_staging_directory(dir);
        write_project_file(*demo, stage);
        move_contents(stage, dir);
    } catch (...) {
        std::error_code ec;
        if (!stage.empty()) fs::remove_all(stage, ec);
        for (const fs::path& d : created) fs::remove(d, ec);  // only while empty
        throw;
    }
    std::error_code ec;
    fs::remove_all(stage, ec);
    return exit_ok;
}

}  // namespace qh::quill
