#include <cstdio>
#include <fstream>
#include <span>
#include <sstream>
#include <string>
#include <vector>

#include "core/executable_path.h"
#include "cli.h"
#include "commands.h"
#include "document_io.h"
#include "lint.h"
#include "player_needs.h"
#include "package/errors.h"
#include "document/demo_io.h"
#include "package/trailer.h"
#include "package/web_page.h"
#include "web_stages.h"

namespace qh::quill {

namespace {

const char* const usage =
    "usage: quill pack DIR/project.json -o OUT [--target linux|windows|web] [--player PATH] [--verbose]\n"
    "\n"
    "Packs a project into a player. Names in the project (\"resources/...\", data\n"
    "names, shader files) resolve against DIR. The payload is appended to a copy\n"
    "of the player and OUT is made executable. The default player is\n"
    "\"" QH_PACKED_PLAYER_NAME "\" beside quill: the player without its debug\n"
    "information, which the build keeps apart. --player packs another (of a\n"
    "player that carries a package, its plain part). Packing the same project\n"
    "twice gives identical bytes.\n"
    "--target windows packs the Windows player, \"" QH_WINDOWS_PLAYER_NAME "\" beside quill\n"
    "(the build makes it where the MinGW-w64 cross compiler is installed), so that OUT\n"
    "(name it DEMO.exe) runs on 64-bit Windows; --target linux, the default, the\n"
    "Linux player. --target web makes one HTML page (name it DEMO.html) that plays in\n"
    "a browser with WebGL2, opened from a file or a server, and needs nothing else: the\n"
    "page \"" QH_WEB_PLAYER_NAME "\" beside quill (the build makes it where emscripten is\n"
    "installed) with the package in it, and every shader stage translated for WebGL2\n"
    "(Debian's glslang and SPIRV-Cross); a stage that cannot be translated is named\n"
    "with its file and line, and nothing is written. The package in the page is the\n"
    "same bytes the other targets carry: quill info and unpack read a page as well.\n"
    "Given with --player, --target checks that the player is for that system.\n"
    "Content that reads surprisingly (a number that reads as 0, a model feature the\n"
    "player does not draw, a name that names nothing, a curve that drives nothing,\n"
    "an unknown text placeholder) is warned about on standard error and still packed.\n"
    "Every file the project names must exist, and the package is read back as\n"
    "the player reads it before OUT is written; either failing exits with 1.\n"
    "--verbose also shows what the player prints while it reads the project (the\n"
    "files it loads, the skeletons and animations it finds).\n";

// The player the build makes beside quill for `target`, and what makes it.
struct DefaultPlayer {
    PlayerSystem system;
    const char* name;
    const char* made;
};
constexpr DefaultPlayer default_players[] = {
    {PlayerSystem::linux_x86_64, QH_PACKED_PLAYER_NAME, "the build makes it beside quill"},
    {PlayerSystem::windows_x86_64, QH_WINDOWS_PLAYER_NAME,
     "the build makes it beside quill where the MinGW-w64 cross compiler is installed "
     "(scripts/install-deps.sh installs it)"},
    {PlayerSystem::web, QH_WEB_PLAYER_NAME,
     "the build makes it beside quill where emscripten is installed (scripts/install-deps.sh "
     "installs it)"},
};

const DefaultPlayer& default_player(PlayerSystem target) {
    for (const DefaultPlayer& p : default_players) {
        if (p.system == target) return p;
    }
    return default_players[0];
}

PlayerSystem target_option(const std::string& text) {
    for (const DefaultPlayer& p : default_players) {
        if (text == system_key(p.system)) return p.system;
    }
    throw UsageError("--target needs linux, windows or web (got \"" + text + "\")");
}

// Reads the package in `packed` back as the player will, so that content the
// player would refuse stops the packing instead.
void check_reads_back(const std::vector<uint8_t>& packed) {
    try {
        read_demo_payload(split_packed_file(packed, "the packed file").payload);
    } catch (const ContentError& e) {
        throw ContentError(std::string("the package does not read back, so the player would refuse it: ") +
                           e.what());
    }
}

}  // namespace

int cmd_pack(const std::vector<std::string>& argv) {
    const Args args = parse_args(argv, {"-o", "--player", "--target"}, {"--verbose"});
    if (args.flag("--help")) {
        std::fputs(usage, stdout);
        return exit_ok;
    }
    if (args.positional.size() != 1 || !args.has("-o"))
        throw UsageError("pack needs a project file and -o OUT");
    const std::filesystem::path project = args.positional[0];
    const std::filesystem::path out = args.value("-o");
    const PlayerSystem target = target_option(args.value("--target", "linux"));
    const std::filesystem::path player = args.value(
        "--player",
        (std::filesystem::path(own_executable_path()).parent_path() / default_player(target).name).string());
    std::error_code ec;
    if (!args.has("--player") && !std::filesystem::exists(player, ec)) {
        throw ContentError("the player to pack into, " + player.string() + ", is missing: " +
                           default_player(target).made + " (or name one with --player)");
    }

    JsonValue json;  // as written: the names that resolve to nothing are shown from it
    {
        std::ifstream in(project, std::ios::binary);
        if (!in) throw ContentError("cannot read " + project.string());
        std::stringstream text;
        text << in.rdbuf();
        json = parse_json_text(text.str(), project.string());
    }

    std::unique_ptr<Demo> demo;
    {
        ProgressBar bar("reading");
        PlayerLines lines(args.flag("--verbose"));
        demo = open_document(project, [&](uint64_t i, uint64_t n) { bar.update(i, n); });
    }
    const DocumentFindings findings = find_in_document(*demo, &json, project_dir_of(project).root());
    // The player's reader goes on without a shader file, so that a missing
    // one fails only its program; packed, that would be an empty text.
    if (!findings.missing.empty()) {
        std::string message = project.string() + ": the project names files that do not exist:";
        for (const NameFinding& m : findings.missing) message += "\n  " + m.message;
        throw ContentError(message);
    }
    print_warnings(project.string(), findings.warnings());
    const std::vector<uint8_t> payload = write_demo_payload(*demo);
    if (payload.size() > max_payload_size)
        throw ContentError("the payload is " + std::to_string(payload.size()) +
                           " bytes; a package holds at most " + std::to_string(max_payload_size));

    std::vector<uint8_t> exe = read_file_bytes(player);
    const PlayerSystem system = player_system(exe);
    if (args.has("--target") && system != target) {
        throw ContentError("the player " + player.string() + " is " + system_text(system) + ", not " +
                           system_text(target) + ": --target " + system_key(target) + " needs a player for it");
    }
    std::vector<uint8_t> packed;
    if (system == PlayerSystem::web) {
        // The page's content is replaced whole, so a packed page packs again as it is.
        const WebStages web = translate_for_web(*demo);
        if (!web.faults.empty()) {
            std::string message = "shader stages that cannot be translated for WebGL2:";
            for (const std::string& f : web.faults) message += "\n  " + f;
            throw ContentError(message);
        }
        const std::string stages = web.table.to_json();
        const std::string page = web_page_with_content(
            std::string_view(reinterpret_cast<const char*>(exe.data()), exe.size()),
            append_package({}, payload), stages);
        packed.assign(page.begin(), page.end());
    } else {
        // A player that already carries a package is packed again from its plain part.
        PackageLocation old;
        if (find_package(exe, old) == TrailerStatus::found) exe.resize(old.payload_offset);
        packed = append_package(exe, payload);
    }
    check_reads_back(packed);
    {
        std::ofstream o(out, std::ios::binary | std::ios::trunc);
        if (!o) throw ContentError("cannot create " + out.string());
        o.write(reinterpret_cast<const char*>(packed.data()), static_cast<std::streamsize>(packed.size()));
        if (!o) throw ContentError("cannot write " + out.string());
    }
    using std::filesystem::perms;
    if (system != PlayerSystem::web) {
        std::filesystem::permissions(out, perms::owner_exec | perms::group_exec | perms::others_exec,
                                     std::filesystem::perm_options::add);
    }
    std::fprintf(stderr, "quill: packed %s (%llu records, payload %zu bytes) into %s\n",
                 project.string().c_str(), static_cast<unsigned long long>(demo->record_count()),
                 payload.size(), out.string().c_str());
    return exit_ok;
}

}  // namespace qh::quill
