#include <cstdio>

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
    "climb out of DIR are refused; nothing is written outside DIR.\n";
}

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
    write_project_file(*demo, args.value("-o"));
    return exit_ok;
}

}  // namespace qh::quill
