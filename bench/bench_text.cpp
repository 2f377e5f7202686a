// Text texture costs on a real GL context (under Xvfb where there is no
// display; the window is hidden and small, the textures are not):
//
//   xvfb-run -a ./bench_text --benchmark_min_time=1
//
// BM_TextChanged/W/H     FontTexture::set_text with a text that differs from
//                        the last one: clear the surface, render a wrapped
//                        paragraph (about 160 characters, 48 pt), blit it,
//                        upload the W x H image; glFinish included, so the
//                        upload has completed. What a growing typed text
//                        costs on every frame it grows.
// BM_TextUnchanged/W/H   One frame's text update of an effect event whose
//                        text stays the same (update_event_texts: the text
//                        value with its placeholders searched, compared with
//                        the current text, nothing rendered or uploaded).
//                        Counter uploads/frame confirms nothing went up.
#include <GL/glew.h>
#include <SDL.h>
#include <SDL_ttf.h>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "playback/gl_timeline_actions.h"
#include "platform/gl_window.h"
#include "render/effect.h"
#include "text/font.h"
#include "text/font_texture.h"
#include "support/tree_paths.h"
#include "timeline/event.h"

namespace qh {
namespace {

const char* const paragraphs[2] = {
    "Quillharbor plays a package appended to its own file: music, shaders, "
    "text and models, all driven by one clock that counts beats from the start.",
    "Every value on screen is a curve over beats; a text curve may type its "
    "text out a few characters a beat until the next point takes over.",
};

std::unique_ptr<Font> open_font() {
    auto font = std::make_unique<Font>();
    std::ifstream in(qh::test::fixtures_dir() / "fonts/DejaVuSans.ttf", std::ios::binary);
    font->font_buffer.data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    font->name = "sans";
    font->ptsize = 48;
    font->open();
    if (!font->handle()) std::exit(1);  // open() said why
    return font;
}

std::unique_ptr<FontTexture> make_texture(Font& font, benchmark::State& state) {
    auto t = std::make_unique<FontTexture>();
    t->name = "caption";
    t->width = static_cast<int32_t>(state.range(0));
    t->height = static_cast<int32_t>(state.range(1));
    t->font = &font;
    t->realize();
    if (!t->gl_name()) state.SkipWithError(t->gpu.problem.c_str());
    return t;
}

void BM_TextChanged(benchmark::State& state) {
    auto font = open_font();
    auto t = make_texture(*font, state);
    int i = 0;
    for (auto _ : state) {
        t->set_text(paragraphs[i ^= 1]);
        glFinish();
    }
    state.counters["uploads/iteration"] =
        static_cast<double>(t->gpu.uploads) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_TextChanged)->Args({1920, 1080})->Args({512, 128})->Unit(benchmark::kMillisecond);

void BM_TextUnchanged(benchmark::State& state) {
    auto font = open_font();
    auto t = make_texture(*font, state);
    Effect effect;
    effect.font_textures = {t.get()};
    Event event;
    event.effect = &effect;
    event.start_beat = 0;
    event.end_beat = 1000;
    event.curves["caption"].control_points = {{0, 0, paragraphs[0]}};
    std::string scratch;
    update_event_texts(event, 1.0f, nullptr, 1.0f, scratch);  // the one render and upload
    const uint64_t uploads_before = t->gpu.uploads;

    float beat = 1.0f;
    for (auto _ : state) {
        update_event_texts(event, beat, nullptr, beat, scratch);
        beat += 0.01f;
        if (beat > 900.0f) beat = 1.0f;
    }
    state.counters["uploads/frame"] = static_cast<double>(t->gpu.uploads - uploads_before) /
                                      static_cast<double>(state.iterations());
}
BENCHMARK(BM_TextUnchanged)->Args({1920, 1080})->Unit(benchmark::kNanosecond);

}  // namespace
}  // namespace qh

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    qh::HiddenGlWindow window;
    if (!window.open(64, 36)) {
        std::fprintf(stderr, "bench_text: no GL context (%s); run it under xvfb-run\n",
                     window.error().c_str());
        return 1;
    }
    if (TTF_Init() != 0) {
        std::fprintf(stderr, "bench_text: %s\n", TTF_GetError());
        return 1;
    }
    benchmark::AddCustomContext("gl_renderer", reinterpret_cast<const char*>(glGetString(GL_RENDERER)));
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
