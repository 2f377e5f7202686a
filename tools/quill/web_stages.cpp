#include "web_stages.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "package/errors.h"
#include "render/effect.h"
#include "render/program_use.h"

extern char** environ;

namespace qh::quill {

namespace {

namespace fs = std::filesystem;

const char* const glslang = "glslangValidator";
const char* const spirv_cross = "spirv-cross";

// A folder of its own for the tools' files, gone with it.
struct ScratchDir {
    fs::path path;
    ScratchDir() {
        std::string pattern = (fs::temp_directory_path() / "quill-web-XXXXXX").string();
        if (!mkdtemp(pattern.data())) throw ContentError("cannot make a scratch folder for the shader tools");
        path = pattern;
    }
    ~ScratchDir() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
};

// Runs `args` in `dir` with standard output and error into `log`; its exit
// status, or -1 when it could not be started.
int run(std::vector<std::string> args, const fs::path& dir, const fs::path& log) {
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return -1;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string read_text(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void write_text(const fs::path& p, const std::string& text) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out.flush()) throw ContentError("cannot write " + p.string());
}

// SPIR-V for OpenGL starts at GLSL 3.30; what 1.50 wrote means the same
// there, so the version line is raised in place and every line keeps its number.
std::string with_spirv_version(const std::string& text) {
    const std::string head = "#version ";
    const size_t at = text.find(head);
    if (at == std::string::npos || text.find_first_not_of(" \t\r\n", 0) != at) return text;
    const size_t number = at + head.size();
    const int version = std::atoi(text.c_str() + number);
    if (version >= 330) return text;
    size_t end = number;
    while (end < text.size() && text[end] >= '0' && text[end] <= '9') ++end;
    return text.substr(0, number) + "330" + text.substr(end);
}

std::string file_of(const CompiledStage& stage) {
    return stage.fragment ? stage.program->fragment_shader_filename : stage.program->vertex_shader_filename;
}

std::string tool_missing(const char* tool, const char* package) {
    return std::string("cannot translate shaders for the web: ") + tool +
           " did not run (Debian's " + package + "; scripts/install-deps.sh installs it)";
}

}  // namespace

WebStages translate_for_web(const Demo& demo) {
    const ProgramUse use(demo.shaders, demo.effects);
    ScratchDir scratch;
    WebStages out;
    std::set<std::string> done;
    MessagesOnce said;
    for (const CompiledStage& stage : compiled_stages(demo.shaders)) {
        const bool include_only = use.include_only(*stage.program);
        const std::string key = StageTranslations::key(stage.text);
        if (!done.insert(key).second) continue;
        ++out.stages;
        // Named "0", so the tool's messages read "ERROR: 0:LINE: ...", as a driver's do.
        write_text(scratch.path / "0", with_spirv_version(stage.text));
        const fs::path log = scratch.path / "log";
        const int rc = run({glslang, "-G", "--aml", "--amb", "-S", stage.fragment ? "frag" : "vert",
                            "-o", "stage.spv", "0"},
                           scratch.path, log);
        if (rc < 0) throw ContentError(tool_missing(glslang, "glslang-tools"));
        if (rc != 0 && include_only) continue;
        if (rc != 0) {
            std::vector<CompilerMessage> messages = translate_log(read_text(log), stage.map);
            // Its closing lines ("compilation terminated", the count) point nowhere new.
            std::erase_if(messages, [](const CompilerMessage& m) {
                return m.place.empty() || m.message.find("compilation terminated") != std::string::npos;
            });
            for (std::string& line : said.lines(messages)) out.faults.push_back(std::move(line));
            if (messages.empty()) out.faults.push_back(file_of(stage) + ": " + glslang + " failed: " + read_text(log));
            continue;
        }
        const int cross = run({spirv_cross, "--es", "--version", "300", "--output", "stage.essl",
                               "stage.spv"},
                              scratch.path, log);
        if (cross < 0) throw ContentError(tool_missing(spirv_cross, "spirv-cross"));
        if (cross != 0) {
            out.faults.push_back(file_of(stage) + ": " + spirv_cross + " failed: " + read_text(log));
            continue;
        }
        out.table.add(stage.text, read_text(scratch.path / "stage.essl"));
    }
    return out;
}

}  // namespace qh::quill
