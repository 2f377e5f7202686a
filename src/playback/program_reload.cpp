#include "playback/program_reload.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace qh {

namespace {

void append_lines(std::string& out, const char* stage, const std::string& log) {
    size_t start = 0;
    while (start < log.size()) {
        size_t end = log.find('\n', start);
        if (end == std::string::npos) end = log.size();
        const std::string line = log.substr(start, end - start);
        if (line.find_first_not_of(" \t\r") != std::string::npos) out += stage + line + "\n";
        start = end + 1;
    }
}

bool drawn_by_an_effect(const ShaderProgram& p, EffectTable effects) {
    return std::any_of(effects.begin(), effects.end(),
                       [&](const std::unique_ptr<Effect>& e) { return e && e->program == &p; });
}

// What a failed build must put back to leave the last good one in place.
struct LastGood {
    ShaderProgram::Gpu gpu;
    std::vector<int32_t> uniform_locations;

    explicit LastGood(ShaderProgram& p) : gpu(std::move(p.gpu)) {
        for (const UniformDef& d : p.uniform_defs) uniform_locations.push_back(d.gpu.location);
        p.gpu = ShaderProgram::Gpu();
    }
    void restore(ShaderProgram& p) {
        p.gpu = std::move(gpu);
        // Definitions are read with the document, never with a source file,
        // so the list is the one these locations were looked up for.
        for (size_t i = 0; i < p.uniform_defs.size() && i < uniform_locations.size(); ++i)
            p.uniform_defs[i].gpu.location = uniform_locations[i];
    }
};

ProgramFailure failure_of(const ShaderProgram& p) {
    const char* const silent = "the program does not link (the driver gave no message)";
    ProgramFailure f{&p, build_log(p), p.build_messages()};
    if (f.log.empty()) f.log = std::string(silent) + "\n";
    if (f.messages.empty()) f.messages.push_back({{}, silent});
    return f;
}

}  // namespace

std::vector<ProgramFailure> failed_programs(ProgramTable shaders, EffectTable effects) {
    std::vector<ProgramFailure> out;
    for (const std::unique_ptr<ShaderProgram>& p : shaders) {
        if (p && p->device_state().failed() && drawn_by_an_effect(*p, effects)) out.push_back(failure_of(*p));
    }
    return out;
}

bool program_is_stale(const ShaderProgram& p, ProgramTable shaders) {
    return p.vertex_shader_source != p.gpu.compiled_vertex_source ||
           expand_includes(p.fragment_shader_source, shaders, &p) != p.gpu.expanded_fragment_source;
}

std::string build_log(const ShaderProgram& p) {
    std::string out;
    append_lines(out, "vertex: ", p.gpu.vertex.log);
    append_lines(out, "fragment: ", p.gpu.fragment.log);
    append_lines(out, "link: ", p.gpu.link.log);
    return out;
}

ProgramReload rebuild_stale_programs(ProgramTable shaders, EffectTable effects,
                                     const ScreenSize& screen) {
    // Which programs are stale is decided before any is rebuilt: expansion
    // takes the authored texts of others, never their builds.
    std::vector<ShaderProgram*> stale;
    for (const std::unique_ptr<ShaderProgram>& p : shaders) {
        if (p && program_is_stale(*p, shaders)) stale.push_back(p.get());
    }
    ProgramReload result;
    for (ShaderProgram* p : stale) {
        LastGood last(*p);
        p->rebuild(shaders);
        if (p->usable()) {
            result.rebuilt.push_back(p);
            continue;
        }
        // Read before a restore puts the last good build's logs back.
        ProgramFailure failure = failure_of(*p);
        if (last.gpu.linked) {
            last.restore(*p);
            result.failed.push_back(std::move(failure));
        } else if (drawn_by_an_effect(*p, effects)) {
            // Nothing good to keep; a text that only serves #include in
            // others never links alone and is judged by its includers.
            result.failed.push_back(std::move(failure));
        }
    }
    for (const std::unique_ptr<Effect>& e : effects) {
        if (e && e->program &&
            std::find(result.rebuilt.begin(), result.rebuilt.end(), e->program) != result.rebuilt.end())
            e->create_gpu_objects(screen);
    }
    return result;
}

}  // namespace qh
