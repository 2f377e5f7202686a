// quill play --watch: from a shader file's save to the first frame drawn with
// it, against compiling that shader alone (run under Xvfb where there is no
// display):
//
//   xvfb-run -a -s "-screen 0 1280x1024x24" ./bench/bench_reload --benchmark_min_time=2
//
// BM_CompileAlone       ShaderProgram::rebuild of the edited program (its
//                       fragment text with one #include resolved, a text the
//                       driver has not seen), glFinish.
// BM_CompileAndFirstFrame  The same, then the effect's objects and one frame
//                       with it: a software driver (llvmpipe) generates the
//                       shader's machine code at its first draw, not at
//                       compile time.
// BM_SaveToFrame        After the file is written: the watch's poll sees it,
//                       the program record reads its sources again, the
//                       stale programs are rebuilt (this one only; a second,
//                       unrelated program stays), the effect re-creates its
//                       objects, and one frame is composed at 1280 x 720 with
//                       it, glFinish included. The watch polls every 200 ms,
//                       so in quill play up to that much waiting comes on top.
#include <GL/glew.h>
#include <SDL.h>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

#include "core/runtime.h"
#include "document/demo_io.h"
#include "document/demo_tables.h"
#include "platform/gl_window.h"
#include "playback/demo_playback.h"
#include "playback/frame_composition.h"
#include "playback/program_reload.h"
#include "project_watch.h"

namespace qh {
namespace {

const char* const noise_lib =
    "float hash(vec2 p) { return fract(sin(dot(p, vec2(12.9898, 78.233))) * 43758.5453); }\n";

std::string plasma(int variant) {
    return "#version 150\nuniform float beat;\nuniform vec2 resolution;\nout vec4 fragColor;\n"
           "#include \"resources/noise.glsl\"\n"
           "void main() {\n"
           "    vec2 uv = gl_FragCoord.xy / resolution;\n"
           "    float v = sin(uv.x * 10.0 + beat) + sin(uv.y * 7.0 - beat * 0.5)\n"
           "            + sin((uv.x + uv.y) * 5.0 + beat * 0.25) + hash(uv) * 0.1;\n"
           "    fragColor = vec4(0.5 + 0.5 * cos(v + vec3(0.0, 2.0, 4.0) + float(" +
           std::to_string(variant) + ")), 1.0);\n}\n";
}

struct Project {
    std::filesystem::path dir = std::filesystem::temp_directory_path() / "qh-bench-reload";
    JsonValue json;
    std::unique_ptr<Demo> demo;

    Project() {
        Demo d;
        d.end_beat = 10000;
        auto add = [&](const char* file, const std::string& text) {
            auto p = std::make_unique<ShaderProgram>();
            p->fragment_shader_filename = file;
            p->fragment_shader_source = text;
            d.shaders.push_back(std::move(p));
        };
        add("resources/noise.glsl", noise_lib);
        add("resources/plasma.frag", plasma(0));
        add("resources/other.frag", plasma(1));
        auto e = std::make_unique<Effect>();
        e->name = "plasma";
        e->program = d.shaders[1].get();
        auto ev = std::make_unique<Event>();
        ev->effect = e.get();
        ev->end_beat = 10000;
        d.effects.push_back(std::move(e));
        d.events.push_back(std::move(ev));
        std::filesystem::remove_all(dir);
        write_project_file(d, dir);
        json = read_project_json(dir / project_file_name);
        demo = std::make_unique<Demo>();
        demo->from_json(json, ProjectDir(dir));
    }
    ~Project() { std::filesystem::remove_all(dir); }
};

// A text never compiled before each time: the driver keeps what it compiled
// by the text, and an edit is always a new text.
void compile_variants(benchmark::State& state, bool draw) {
    Project project;
    DemoPlayback playback(*project.demo);
    playback.realize();
    playback.prepare();
    ShaderProgram& p = *project.demo->shaders[1];
    int variant = 1000;
    for (auto _ : state) {
        p.fragment_shader_source = plasma(variant++);
        p.rebuild(project.demo->shaders);
        if (draw) {
            project.demo->effects[0]->create_gpu_objects(runtime().screen);
            glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
            playback.compose_frame(1.0f);
        }
        glFinish();
        if (!p.usable()) state.SkipWithError("the shader does not build");
    }
}

void BM_CompileAlone(benchmark::State& state) { compile_variants(state, false); }
BENCHMARK(BM_CompileAlone)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_CompileAndFirstFrame(benchmark::State& state) { compile_variants(state, true); }
BENCHMARK(BM_CompileAndFirstFrame)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SaveToFrame(benchmark::State& state) {
    Project project;
    DemoPlayback playback(*project.demo);
    playback.realize();
    playback.prepare();
    const std::vector<quill::WatchedFile> files = quill::project_files(project.json, *project.demo);
    quill::FileWatch watch(project.dir, quill::names_of(files));
    const ProjectDir dir(project.dir);
    int variant = 2;
    for (auto _ : state) {
        state.PauseTiming();
        {
            std::ofstream out(project.dir / "resources/plasma.frag", std::ios::trunc);
            // A size of its own every time, so the poll sees it whatever the clock's grain.
            const int v = variant++;
            out << plasma(v) << std::string(static_cast<size_t>(variant % 7), ' ');
        }
        state.ResumeTiming();
        for (size_t i : watch.poll()) {
            for (const quill::FileUse& use : files[i].uses) {
                if (use.kind != RecordKind::shaders) continue;
                ShaderProgram fresh;
                fresh.from_json(project.json["shaders"][use.index], dir);
                project.demo->shaders[use.index]->fragment_shader_source = fresh.fragment_shader_source;
            }
        }
        const ProgramReload r = rebuild_stale_programs(project.demo->shaders, project.demo->effects, runtime().screen);
        if (r.rebuilt.size() != 1) state.SkipWithError("not exactly the edited program was rebuilt");
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        playback.compose_frame(1.0f);
        glFinish();
    }
}
BENCHMARK(BM_SaveToFrame)->Unit(benchmark::kMillisecond)->UseRealTime();

HiddenGlWindow* window = nullptr;

void open_window() {
    window = new HiddenGlWindow;
    if (!window->open(1280, 720)) {
        std::fprintf(stderr, "no GL context: %s\n", window->error().c_str());
        std::exit(1);
    }
    runtime().screen = ScreenSize{1280, 720, 1280, 720};
    set_composition_state();
    benchmark::AddCustomContext("gl_renderer", reinterpret_cast<const char*>(glGetString(GL_RENDERER)));
}

}  // namespace
}  // namespace qh

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    qh::open_window();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
