// quill render against the player's frame composition, on the showcase at
// 1920 x 1080 (run under Xvfb where there is no display):
//
//   xvfb-run -a -s "-screen 0 1280x1024x24" ./bench_render
//
// BM_RenderAgainstPlayer  The whole showcase sampled twice a second (128
//                         frames, every section): per frame, the player's
//                         composition of that beat into a 1920 x 1080
//                         framebuffer (to its glFinish), then the offline
//                         render's draw (to its glFinish), read-back and PNG
//                         encode. Counters, in ms per frame: player, draw,
//                         read_back, png; render_fps and player_fps; ratio:
//                         render_fps / player_fps.
// BM_RenderOutput/K       The same 128 frames rendered with K = 0: no
//                         output (draw, glFinish); K = 1: the frames
//                         written as PNG files on the drawing thread (draw,
//                         read back, encode, write: quill render until
//                         frames were handed over); K = 2: written as
//                         quill render writes them now (render_frames: the
//                         read-back overlapping the next draw, the PNG
//                         files written by worker threads). Counters:
//                         drawing_ms, the drawing thread's time per frame
//                         (its loop); fps, frames per second of the whole
//                         render, the last file written included.
// BM_VideoEncode          60 rendered 1920 x 1080 frames piped into ffmpeg
//                         (H.264, the settings `quill render --video` uses),
//                         to its exit; the time per frame.
#include <GL/glew.h>
#include <SDL.h>
#include <SDL_mixer.h>
#include <SDL_ttf.h>
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/runtime.h"
#include "document/demo_io.h"
#include "platform/gl_window.h"
#include "support/gl_bench.h"
#include "playback/demo_playback.h"
#include "playback/offline_render.h"
#include "frame_output.h"
#include "png_file.h"
#include "render/gl/gl_objects.h"
#include "support/tree_paths.h"

namespace qh {
namespace {

constexpr int width = 1920;
constexpr int height = 1080;

using Clock = std::chrono::steady_clock;
double ms_since(Clock::time_point t) { return std::chrono::duration<double, std::milli>(Clock::now() - t).count(); }

// The showcase read and built at 1920 x 1080, rendered at 2 frames a second.
struct Showcase {
    Showcase() {
        runtime().screen = ScreenSize{width, height, width, height};
        demo = read_project_file((qh::test::source_dir() / "examples/showcase/project.json").string());
        playback = std::make_unique<DemoPlayback>(*demo);
        playback->realize();
        playback->prepare();
        RenderSettings s;
        s.fps = 2;
        s.width = width;
        s.height = height;
        render = std::make_unique<OfflineRender>(*demo, *playback, s);
    }
    std::unique_ptr<Demo> demo;
    std::unique_ptr<DemoPlayback> playback;
    std::unique_ptr<OfflineRender> render;
};

// A framebuffer of the frame's size for the player's composition.
struct Target {
    Target() {
        colour = GlTexture::generate();
        glBindTexture(GL_TEXTURE_2D, colour);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
        depth = GlTexture::generate();
        glBindTexture(GL_TEXTURE_2D, depth);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_DEPTH24_STENCIL8, width, height, 0, GL_DEPTH_STENCIL,
                     GL_UNSIGNED_INT_24_8, nullptr);
        framebuffer = GlFramebuffer::generate();
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, colour, 0);
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_TEXTURE_2D, depth, 0);
    }
    GlTexture colour, depth;
    GlFramebuffer framebuffer;
};

// The frame encoded as quill render writes it, into memory.
size_t png_bytes(const std::vector<uint8_t>& rgba) {
    char* data = nullptr;
    size_t size = 0;
    FILE* memory = ::open_memstream(&data, &size);
    quill::encode_png(memory, rgba.data(), width, height);
    std::fclose(memory);
    std::free(data);
    return size;
}

void BM_RenderAgainstPlayer(benchmark::State& state) {
    Showcase show;
    Target target;
    double player = 0, draw = 0, read = 0, png = 0;
    uint64_t n = 0;
    for (auto _ : state) {
        auto t = Clock::now();
        glBindFramebuffer(GL_FRAMEBUFFER, target.framebuffer);
        glViewport(0, 0, width, height);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        show.playback->compose_frame(show.render->beat_of(n));
        glFinish();
        player += ms_since(t);

        t = Clock::now();
        show.render->draw(n);
        glFinish();
        draw += ms_since(t);
        t = Clock::now();
        const std::vector<uint8_t>& rgba = show.render->read();
        read += ms_since(t);
        t = Clock::now();
        benchmark::DoNotOptimize(png_bytes(rgba));
        png += ms_since(t);
        n = (n + 1) % show.render->end_frame();
    }
    const double frames = double(state.iterations());
    const double render_ms = (draw + read + png) / frames;
    state.counters["player"] = player / frames;
    state.counters["draw"] = draw / frames;
    state.counters["read_back"] = read / frames;
    state.counters["png"] = png / frames;
    state.counters["player_fps"] = 1000.0 * frames / player;
    state.counters["render_fps"] = 1000.0 / render_ms;
    state.counters["ratio"] = (1000.0 / render_ms) / (1000.0 * frames / player);
}
BENCHMARK(BM_RenderAgainstPlayer)->Iterations(128)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_RenderOutput(benchmark::State& state) {
    const int output = static_cast<int>(state.range(0));
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "qh_bench_render_frames";
    std::filesystem::create_directories(dir);
    for (auto _ : state) {
        state.PauseTiming();
        Showcase show;  // frames only go forward: a render of its own each time
        const uint64_t frames = show.render->end_frame();
        state.ResumeTiming();
        const auto t = Clock::now();
        double drawing = 0;
        if (output == 2) {
            quill::render_frames(*show.render, 0, frames, {dir, nullptr}, [&](uint64_t drawn) {
                if (drawn == frames) drawing = ms_since(t);
                return true;
            });
        } else {
            for (uint64_t n = 0; n < frames; ++n) {
                show.render->draw(n);
                if (output == 0) {
                    glFinish();
                    continue;
                }
                quill::write_png_file(dir / quill::frame_file_name(n), show.render->read().data(), width, height);
            }
            drawing = ms_since(t);
        }
        const double whole = ms_since(t);
        state.counters["drawing_ms"] = drawing / double(frames);
        state.counters["fps"] = 1000.0 * double(frames) / whole;
    }
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_RenderOutput)->DenseRange(0, 2)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_VideoEncode(benchmark::State& state) {
    Showcase show;
    std::vector<std::vector<uint8_t>> frames;
    for (uint64_t n = 40; n < 100; ++n) {  // the trails, the garden, the strobe
        show.render->draw(n);
        frames.push_back(show.render->read());
    }
    const std::string out = "/tmp/qh_bench_render.mp4";
    const std::string command = "ffmpeg -hide_banner -loglevel error -y -f rawvideo -pix_fmt rgba -s " +
                                std::to_string(width) + "x" + std::to_string(height) +
                                " -framerate 60 -i pipe:0 -c:v libx264 -preset medium -crf 18 -pix_fmt yuv420p " +
                                "-movflags +faststart " + out;
    double spent = 0;
    for (auto _ : state) {
        const auto t = Clock::now();
        FILE* pipe = ::popen(command.c_str(), "w");
        if (!pipe) {
            state.SkipWithError("cannot start ffmpeg");
            return;
        }
        for (const auto& f : frames) std::fwrite(f.data(), 1, f.size(), pipe);
        if (::pclose(pipe) != 0) state.SkipWithError("ffmpeg failed");
        spent += ms_since(t);
    }
    std::remove(out.c_str());
    state.counters["ms_per_frame"] = spent / (double(frames.size()) * double(state.iterations()));
}
BENCHMARK(BM_VideoEncode)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace qh

int main(int argc, char** argv) { return qh::run_gl_benchmarks(argc, argv, "bench_render"); }
