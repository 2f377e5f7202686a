#pragma once
// The main of a benchmark that draws, plays or sets text: a hidden GL window
// (run it under xvfb-run where there is no display), the mixer on SDL's
// dummy driver and the font renderer; `ready`, when given, runs once they
// are, before the benchmarks.
//
//   int main(int argc, char** argv) { return qh::run_gl_benchmarks(argc, argv, "bench_x"); }
#include <GL/glew.h>
#include <SDL.h>
#include <SDL_mixer.h>
#include <SDL_ttf.h>
#include <benchmark/benchmark.h>

#include <cstdio>

#include "platform/gl_window.h"

namespace qh {

inline int run_gl_benchmarks(int argc, char** argv, const char* name, void (*ready)() = nullptr) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    SDL_setenv("SDL_AUDIODRIVER", "dummy", 1);
    HiddenGlWindow window;
    if (!window.open(64, 36)) {
        std::fprintf(stderr, "%s: no GL context (%s); run it under xvfb-run\n", name, window.error().c_str());
        return 1;
    }
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0 || Mix_OpenAudio(44100, AUDIO_S16LSB, 2, 1024) != 0) {
        std::fprintf(stderr, "%s: no mixer: %s\n", name, Mix_GetError());
        return 1;
    }
    TTF_Init();
    if (ready) ready();
    benchmark::AddCustomContext("gl_renderer", reinterpret_cast<const char*>(glGetString(GL_RENDERER)));
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    Mix_CloseAudio();
    TTF_Quit();
    return 0;
}

}  // namespace qh
