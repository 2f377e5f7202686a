// Rendering costs on a real GL context (run under Xvfb where there is no
// display; the window is 1920x1080, so the X screen must be at least that):
//
//   xvfb-run -a -s "-screen 0 1920x1080x24" ./bench_frame --benchmark_min_time=1
//
// BM_FrameVsPlainGl/W/H   The player's frame (clear, viewport, then
//                         DemoPlayback::compose_frame of a one-effect document)
//                         against a minimal loop drawing the same fragment
//                         shader full-screen with its own program, VAO and
//                         glDrawArrays. The two alternate frame by frame (the
//                         order swaps every pair) so both see the same machine
//                         load; every frame ends with glFinish. Counters:
//                         frames per second of each (total frames / total
//                         time) and their ratio, plus the ratio of the median
//                         frame times, which a stray slow frame does not move.
// BM_DispatchGl/events:N  One frame of N active effect events through
//                         GlTimelineActions (each its own program, cheap
//                         shader, 64x36 render size), glFinish included: the
//                         driver's per-draw cost next to bench_dispatch's
//                         GL-free pass.
// BM_CaptureScreen/W/H/offscreen:O  Effect::capture_screen alone at the
//                         render size (a framebuffer blit into the copy
//                         texture), glFinish included; from the window's
//                         back buffer (O=0, the player) or from a framebuffer
//                         object (O=1, the offline render).
// BM_CopyTexSubImage/W/H/offscreen:O  Reference: the other device copy,
//                         glCopyTexSubImage2D from the same source into the
//                         same texture.
// BM_ScreenTextureFrame/W/H  The player's frame with a screen-texture effect
//                         against the same effect without it, alternating
//                         like BM_FrameVsPlainGl: what the capture adds to a
//                         whole frame.
#include <GL/glew.h>
#include <SDL.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "core/runtime.h"
#include "document/demo.h"
#include "playback/demo_playback.h"
#include "render/effect.h"
#include "render/shader_program.h"
#include "timeline/timeline_dispatch.h"
#include "timeline/event.h"
#include "platform/gl_window.h"

namespace qh {
namespace {

constexpr int window_width = 1920;
constexpr int window_height = 1080;

// A plasma: a few transcendental functions per pixel, like a simple demo
// effect. Reads the standard "beat" and "resolution" and four tunables.
const char* const plasma_shader =
    "#version 150\n"
    "out vec4 fragColor;\n"
    "uniform float beat;\n"
    "uniform vec2 resolution;\n"
    "uniform float zoom; uniform float hue; uniform float warp; uniform float fade;\n"
    "void main() {\n"
    "  vec2 uv = (gl_FragCoord.xy - 0.5 * resolution) / resolution.y * (2.0 + zoom);\n"
    "  float t = beat * 0.5;\n"
    "  float v = sin(uv.x * 3.0 + t) + sin(uv.y * 4.0 - t * 1.3)\n"
    "          + sin((uv.x + uv.y) * 2.0 + warp * t) + sin(length(uv) * 5.0 - t);\n"
    "  vec3 col = 0.5 + 0.5 * cos(vec3(0.0, 2.1, 4.2) + v * 1.5 + hue * 6.2831);\n"
    "  fragColor = vec4(col * fade, 1.0);\n"
    "}\n";

const char* const tunables[] = {"zoom", "hue", "warp", "fade"};

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2), v.end());
    return v[v.size() / 2];
}

void set_render_size(int w, int h) {
    runtime().screen = ScreenSize{w, h, w, h};
}

// A one-effect document: `fragment` with the four tunables, one event over
// the whole run whose curves drive the first three.
std::unique_ptr<Demo> one_effect_demo(const std::string& fragment, bool screen_texture) {
    auto demo = std::make_unique<Demo>();
    auto& program = demo->shaders.emplace_back(std::make_unique<ShaderProgram>());
    program->fragment_shader_source = fragment;
    program->fragment_shader_filename = "plasma.frag";
    for (const char* n : tunables) {
        UniformDef& def = program->uniform_defs.emplace_back();
        def.name = n;
        def.default_val = 1.0f;
    }
    auto& effect = demo->effects.emplace_back(std::make_unique<Effect>());
    effect->name = "plasma";
    effect->program = program.get();
    effect->screen_texture = screen_texture;
    auto& event = demo->events.emplace_back(std::make_unique<Event>());
    event->name = "Plasma";
    event->effect = effect.get();
    event->start_beat = 0;
    event->end_beat = 100000;
    for (int u = 0; u < 3; ++u) {
        ControlPointCurve& c = event->curves[tunables[u]];
        c.control_points = {{0, 0.2f}, {50000, 0.8f}, {100000, 0.3f}};
    }
    return demo;
}

// The device side the player builds at start-up, in its order.
struct Player {
    explicit Player(std::unique_ptr<Demo> d) : demo(std::move(d)), playback(*demo) {
        playback.realize();
        playback.prepare();
        playback.warm_up();
    }
    // One frame as the main loop draws it, then glFinish.
    void frame(float beat) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glViewport(0, 0, runtime().screen.render_width, runtime().screen.render_height);
        playback.compose_frame(beat);
        glFinish();
    }
    std::unique_ptr<Demo> demo;
    DemoPlayback playback;
};

// The same fragment shader drawn with nothing but GL calls.
class PlainGl {
public:
    explicit PlainGl(const char* fragment) {
        const GLuint vs = compile(GL_VERTEX_SHADER, default_vertex_shader_source);
        const GLuint fs = compile(GL_FRAGMENT_SHADER, fragment);
        program_ = glCreateProgram();
        glAttachShader(program_, vs);
        glAttachShader(program_, fs);
        glLinkProgram(program_);
        glDeleteShader(vs);
        glDeleteShader(fs);
        GLint ok = 0;
        glGetProgramiv(program_, GL_LINK_STATUS, &ok);
        if (!ok) {
            std::fprintf(stderr, "plain program does not link\n");
            std::exit(1);
        }
        beat_ = glGetUniformLocation(program_, "beat");
        resolution_ = glGetUniformLocation(program_, "resolution");
        for (int i = 0; i < 4; ++i) tunable_[i] = glGetUniformLocation(program_, tunables[i]);

        const float quad[] = {-1, -1, 0, -1, 1, 0, 1, 1, 0, 1, 1, 0, 1, -1, 0, -1, -1, 0};
        glGenVertexArrays(1, &vao_);
        glBindVertexArray(vao_);
        glGenBuffers(1, &vbo_);
        glBindBuffer(GL_ARRAY_BUFFER, vbo_);
        glBufferData(GL_ARRAY_BUFFER, sizeof quad, quad, GL_STATIC_DRAW);
        const GLint vp = glGetAttribLocation(program_, "vp");
        glEnableVertexAttribArray(static_cast<GLuint>(vp));
        glVertexAttribPointer(static_cast<GLuint>(vp), 3, GL_FLOAT, GL_FALSE, 0, nullptr);
        glBindVertexArray(0);
    }
    ~PlainGl() {
        glDeleteBuffers(1, &vbo_);
        glDeleteVertexArrays(1, &vao_);
        glDeleteProgram(program_);
    }
    void frame(float beat) {
        const ScreenSize& s = runtime().screen;
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glViewport(0, 0, s.render_width, s.render_height);
        glUseProgram(program_);
        glUniform1f(beat_, beat);
        glUniform2f(resolution_, static_cast<float>(s.render_width), static_cast<float>(s.render_height));
        const float values[] = {0.2f + beat * 1e-5f, 0.2f + beat * 1e-5f, 0.2f + beat * 1e-5f, 1.0f};
        for (int i = 0; i < 4; ++i) glUniform1f(tunable_[i], values[i]);
        glBindVertexArray(vao_);
        glDrawArrays(GL_TRIANGLES, 0, 6);
        glBindVertexArray(0);
        glFinish();
    }

private:
    static GLuint compile(GLenum kind, const char* text) {
        const GLuint s = glCreateShader(kind);
        glShaderSource(s, 1, &text, nullptr);
        glCompileShader(s);
        return s;
    }
    GLuint program_ = 0, vao_ = 0, vbo_ = 0;
    GLint beat_ = -1, resolution_ = -1, tunable_[4] = {-1, -1, -1, -1};
};

// Runs `a` and `b` alternately, one frame each per iteration, swapping the
// order every iteration, and reports both rates and their ratio (a over b).
template <class A, class B>
void alternate(benchmark::State& state, A& a, B& b, const char* a_name, const char* b_name) {
    for (int i = 0; i < 3; ++i) {  // first draws compile the shaders' variants
        a(static_cast<float>(i));
        b(static_cast<float>(i));
    }
    std::vector<double> ta, tb;
    float beat = 4.0f;
    bool a_first = true;
    for (auto _ : state) {
        for (int k = 0; k < 2; ++k) {
            const bool run_a = (k == 0) == a_first;
            const Clock::time_point start = Clock::now();
            if (run_a) a(beat);
            else b(beat);
            (run_a ? ta : tb).push_back(seconds_since(start));
        }
        a_first = !a_first;
        beat += 0.036f;
    }
    double sa = 0, sb = 0;
    for (double t : ta) sa += t;
    for (double t : tb) sb += t;
    const double fps_a = static_cast<double>(ta.size()) / sa;
    const double fps_b = static_cast<double>(tb.size()) / sb;
    state.counters[std::string(a_name) + "_fps"] = fps_a;
    state.counters[std::string(b_name) + "_fps"] = fps_b;
    state.counters["ratio"] = fps_a / fps_b;
    state.counters["ratio_median"] = median(tb) / median(ta);
    state.counters[std::string(a_name) + "_ms"] = 1e3 * median(ta);
    state.counters[std::string(b_name) + "_ms"] = 1e3 * median(tb);
}

void BM_FrameVsPlainGl(benchmark::State& state) {
    set_render_size(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    Player player(one_effect_demo(plasma_shader, false));
    PlainGl plain(plasma_shader);
    auto player_frame = [&](float beat) { player.frame(beat); };
    auto plain_frame = [&](float beat) { plain.frame(beat); };
    alternate(state, player_frame, plain_frame, "player", "plain");
}
BENCHMARK(BM_FrameVsPlainGl)
    ->Args({640, 360})
    ->Args({1280, 720})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// N events, each with its own program (texts differ so no driver cache
// shares them) whose shader costs almost nothing per pixel.
void BM_DispatchGl(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    set_render_size(64, 36);
    Demo demo;
    for (int i = 0; i < count; ++i) {
        auto& p = demo.shaders.emplace_back(std::make_unique<ShaderProgram>());
        p->fragment_shader_source =
            "#version 150\nout vec4 fragColor;\n"
            "uniform float zoom; uniform float hue; uniform float warp; uniform float fade;\n"
            "void main() { fragColor = vec4(zoom, hue, warp, fade * " +
            std::to_string(0.001 * (i + 1)) + "); }\n";
        p->fragment_shader_filename = "fx" + std::to_string(i) + ".frag";
        for (const char* n : tunables) {
            UniformDef& def = p->uniform_defs.emplace_back();
            def.name = n;
            def.default_val = 0.5f;
        }
        auto& e = demo.effects.emplace_back(std::make_unique<Effect>());
        e->name = "fx" + std::to_string(i);
        e->program = p.get();
        auto& ev = demo.events.emplace_back(std::make_unique<Event>());
        ev->name = "Event" + std::to_string(i);
        ev->effect = e.get();
        ev->start_beat = 0;
        ev->end_beat = 100000;
        for (int u = 0; u < 3; ++u)
            ev->curves[tunables[u]].control_points = {{0, 0.1f}, {3, 0.9f}, {7, 0.2f}, {100000, 0.5f}};
    }
    DemoPlayback playback(demo);
    playback.realize();
    playback.prepare();
    playback.warm_up();
    // The first frames build the driver's shader variants for each program
    // (about half a second for 100 on llvmpipe); keep them out of the timing.
    for (int i = 0; i < 3; ++i) {
        playback.compose_frame(0.5f);
        glFinish();
    }
    float beat = 1.0f;
    for (auto _ : state) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glViewport(0, 0, 64, 36);
        benchmark::DoNotOptimize(playback.compose_frame(beat));
        glFinish();
        beat += 0.036f;
    }
}
BENCHMARK(BM_DispatchGl)
    ->ArgNames({"events"})
    ->Arg(100)
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();

// Something on the screen to copy.
void draw_plasma_once(Player& player) { player.frame(1.0f); }

// A framebuffer object of the render size with an RGBA8 colour texture and a
// depth-stencil texture, as the offline render draws into; bound while it lives.
class OffscreenTarget {
public:
    OffscreenTarget(int w, int h) {
        glGenTextures(2, textures_);
        glBindTexture(GL_TEXTURE_2D, textures_[0]);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, w, h, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
        glBindTexture(GL_TEXTURE_2D, textures_[1]);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_DEPTH24_STENCIL8, w, h, 0, GL_DEPTH_STENCIL,
                     GL_UNSIGNED_INT_24_8, nullptr);
        glBindTexture(GL_TEXTURE_2D, 0);
        glGenFramebuffers(1, &framebuffer_);
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, textures_[0], 0);
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_TEXTURE_2D,
                               textures_[1], 0);
        if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
            std::fprintf(stderr, "bench_frame: the offscreen target is incomplete\n");
            std::exit(1);
        }
    }
    ~OffscreenTarget() {
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glDeleteFramebuffers(1, &framebuffer_);
        glDeleteTextures(2, textures_);
    }

private:
    GLuint textures_[2] = {};
    GLuint framebuffer_ = 0;
};

// What the copy benchmarks copy: the plasma drawn once at W x H into the
// window's back buffer (offscreen:0, the player) or into an OffscreenTarget
// (offscreen:1, the offline render), which stays bound; the copy target made.
struct CopySource {
    explicit CopySource(const benchmark::State& state)
        : w(static_cast<int>(state.range(0))), h(static_cast<int>(state.range(1))) {
        set_render_size(w, h);
        if (state.range(2)) offscreen = std::make_unique<OffscreenTarget>(w, h);
        player = std::make_unique<Player>(one_effect_demo(plasma_shader, true));
        draw_plasma_once(*player);
        effect().ensure_copy_target(runtime().screen);
        glActiveTexture(GL_TEXTURE0);
    }
    ~CopySource() { glBindTexture(GL_TEXTURE_2D, 0); }
    Effect& effect() { return *player->demo->effects.front(); }
    void count(benchmark::State& state) const {
        state.SetBytesProcessed(static_cast<int64_t>(4) * w * h * state.iterations());
    }
    int w, h;
    std::unique_ptr<OffscreenTarget> offscreen;
    std::unique_ptr<Player> player;
};

void copy_sources(benchmark::internal::Benchmark* b) {
    b->ArgNames({"", "", "offscreen"})
        ->Args({1920, 1080, 0})
        ->Args({1920, 1080, 1})
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
}

void BM_CaptureScreen(benchmark::State& state) {
    CopySource source(state);
    const FrameContext frame = FrameContext::at(1.0f, runtime().screen);
    for (auto _ : state) {
        source.effect().capture_screen(frame);
        glFinish();
    }
    source.count(state);
}
BENCHMARK(BM_CaptureScreen)->Apply(copy_sources);

void BM_CopyTexSubImage(benchmark::State& state) {
    CopySource source(state);
    if (!source.offscreen) glReadBuffer(GL_BACK);
    glBindTexture(GL_TEXTURE_2D, source.effect().gpu.copy_texture);
    for (auto _ : state) {
        glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 0, 0, source.w, source.h);
        glFinish();
    }
    source.count(state);
}
BENCHMARK(BM_CopyTexSubImage)->Apply(copy_sources);

void BM_ScreenTextureFrame(benchmark::State& state) {
    set_render_size(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    Player with(one_effect_demo(plasma_shader, true));
    Player without(one_effect_demo(plasma_shader, false));
    auto with_frame = [&](float beat) { with.frame(beat); };
    auto without_frame = [&](float beat) { without.frame(beat); };
    alternate(state, with_frame, without_frame, "capture", "nocapture");
}
BENCHMARK(BM_ScreenTextureFrame)
    ->Args({1920, 1080})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The player's window and context attributes, hidden.
void open_window() {
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        std::fprintf(stderr, "bench_frame: no video (%s); run it under xvfb-run\n", SDL_GetError());
        std::exit(1);
    }
    set_gl_attributes();  // the player's own
    SDL_Window* window = SDL_CreateWindow("bench_frame", SDL_WINDOWPOS_UNDEFINED,
                                          SDL_WINDOWPOS_UNDEFINED, window_width, window_height,
                                          SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    SDL_GLContext context = window ? SDL_GL_CreateContext(window) : nullptr;
    if (!context) {
        std::fprintf(stderr, "bench_frame: no GL context (%s)\n", SDL_GetError());
        std::exit(1);
    }
    glewExperimental = GL_TRUE;
    glewInit();
    glGetError();
    int w = 0, h = 0;
    SDL_GL_GetDrawableSize(window, &w, &h);
    if (w < window_width || h < window_height) {
        std::fprintf(stderr, "bench_frame: drawable is %dx%d, needs %dx%d (use a larger X screen)\n",
                     w, h, window_width, window_height);
        std::exit(1);
    }
    // As the player sets it before the first frame.
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glClearColor(0, 0, 0, 1);
    benchmark::AddCustomContext("gl_renderer", reinterpret_cast<const char*>(glGetString(GL_RENDERER)));
    benchmark::AddCustomContext("gl_version", reinterpret_cast<const char*>(glGetString(GL_VERSION)));
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
