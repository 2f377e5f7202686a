// The showcase's device work at start-up, as the player does it while the
// package is read and after (run under Xvfb where there is no display):
//
//   xvfb-run -a -s "-screen 0 1280x1024x24" ./bench_startup
//
// BM_ShowcaseDeviceWork  The showcase read from its project, then each
//                        record's device work in the order of the package
//                        (realize_record), what needs the links
//                        (realize_links) and prepare. Counters, in ms:
//                        shaders, textures, fonts, models, scenes (their
//                        shadow targets), samples (decoding), links,
//                        prepare; compiles: shader stages compiled in all.
#include <GL/glew.h>
#include <SDL.h>
#include <SDL_mixer.h>
#include <SDL_ttf.h>
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <string>

#include "document/demo_io.h"
#include "document/demo_tables.h"
#include "core/runtime.h"
#include "platform/gl_window.h"
#include "support/gl_bench.h"
#include "playback/demo_playback.h"
#include "support/tree_paths.h"

namespace qh {
namespace {

using Clock = std::chrono::steady_clock;
double ms_since(Clock::time_point t) { return std::chrono::duration<double, std::milli>(Clock::now() - t).count(); }

// Every glCompileShader passes through here.
int compiles = 0;
PFNGLCOMPILESHADERPROC driver_compile = nullptr;
void GLAPIENTRY counting_compile(GLuint shader) {
    ++compiles;
    driver_compile(shader);
}
void count_compiles() {
    driver_compile = __glewCompileShader;
    __glewCompileShader = counting_compile;
}

void BM_ShowcaseDeviceWork(benchmark::State& state) {
    runtime().screen = ScreenSize::from_desktop_width(1920);
    std::map<std::string, double> ms;
    int last_compiles = 0;
    for (auto _ : state) {
        auto demo = read_project_file((test::source_dir() / "examples/showcase/project.json").string());
        DemoPlayback playback(*demo);
        compiles = 0;
        for_each_table(*demo, [&](auto& table, const char* key) {
            for (auto& record : table) {
                using T = std::decay_t<decltype(*record)>;
                const Clock::time_point t = Clock::now();
                playback.realize_record(RecordRef{RecordKindOf<T>::value, record.get()});
                glFinish();
                ms[key] += ms_since(t);
            }
        });
        Clock::time_point t = Clock::now();
        playback.realize_links();
        glFinish();
        ms["links"] += ms_since(t);
        t = Clock::now();
        playback.prepare();
        glFinish();
        ms["prepare"] += ms_since(t);
        last_compiles = compiles;
    }
    for (const auto& [key, total] : ms) state.counters[key] = total / static_cast<double>(state.iterations());
    state.counters["compiles"] = last_compiles;
}
BENCHMARK(BM_ShowcaseDeviceWork)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace qh

int main(int argc, char** argv) { return qh::run_gl_benchmarks(argc, argv, "bench_startup", qh::count_compiles); }
