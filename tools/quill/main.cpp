// quill: the companion tool of the player. Errors and progress go to standard
// error, results (listings, JSON) to standard output.
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "cli.h"
#include "commands.h"
#include "package/errors.h"

namespace {

const char* const usage =
    "usage: quill COMMAND [ARGS]\n"
    "\n"
    "commands:\n"
    "  pack DIR/project.json -o OUT [--player PATH]   pack a project into a player\n"
    "  unpack FILE -o DIR                             write a package's project and files\n"
    "  info FILE [--json] [--timeline OUT.svg]        tempo, running time, tables, timeline\n"
    "  check FILE [--json]                            build everything on the GPU, report failures\n"
    "  check --party NAME DEMO                        hold a packed demo to a party's rules\n"
    "  render FILE -o DIR [--fps N] [--size WxH] [--from S] [--to S] [--video OUT.mp4]\n"
    "                     [--capture NAME]\n"
    "                                                 draw the demo offline to frames and video\n"
    "  join PART... -o OUT.mp4                        join render --segment parts into one video\n"
    "  play FILE [--size WxH] [--fullscreen] [--from S] [--loop A:B] [--watch]\n"
    "                                                 preview in a window: seek, pause, reload on save\n"
    "  shadertoy SHADER.glsl DIR/project.json [--name NAME] [--channel0 IMAGE]\n"
    "                                                 add a Shadertoy shader as a program and an effect\n"
    "\n"
    "quill COMMAND --help shows a command's own help.\n"
    "Exit status: 0 success, 1 failure, 2 usage error.\n";

struct Command {
    const char* name;
    int (*run)(const std::vector<std::string>&);
};

const Command commands[] = {
    {"pack", qh::quill::cmd_pack},
    {"unpack", qh::quill::cmd_unpack},
    {"info", qh::quill::cmd_info},
    {"check", qh::quill::cmd_check},
    {"render", qh::quill::cmd_render},
    {"join", qh::quill::cmd_join},
    {"play", qh::quill::cmd_play},
    {"shadertoy", qh::quill::cmd_shadertoy},
};

}  // namespace

int main(int argc, char** argv) {
    using namespace qh::quill;
    if (argc < 2) {
        std::fputs(usage, stderr);
        return exit_usage;
    }
    const std::string name = argv[1];
    if (name == "-h" || name == "--help" || name == "help") {
        std::fputs(usage, stdout);
        return exit_ok;
    }
    const std::vector<std::string> rest(argv + 2, argv + argc);
    for (const Command& c : commands) {
        if (name != c.name) continue;
        try {
            return c.run(rest);
        } catch (const UsageError& e) {
            std::fprintf(stderr, "quill %s: %s\n(see quill %s --help)\n", c.name, e.what(), c.name);
            return exit_usage;
        } catch (const std::exception& e) {
            std::fprintf(stderr, "quill %s: error: %s\n", c.name, e.what());
            return exit_failure;
        }
    }
    std::fprintf(stderr, "quill: unknown command \"%s\"\n\n%s", name.c_str(), usage);
    return exit_usage;
}
