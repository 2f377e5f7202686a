// quill render: a demo drawn offline, frame by frame, into PNG files and
// optionally a video with its sound.
#include <GL/glew.h>
#include <SDL.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "capture.h"
#include "cli.h"
#include "commands.h"
#include "core/runtime.h"
#include "devices.h"
#include "ffmpeg.h"
#include "frame_output.h"
#include "lint.h"
#include "document_io.h"
#include "package/json_value.h"
#include "platform/gl_window.h"
#include "playback/demo_playback.h"
#include "playback/offline_render.h"
#include "playback/program_reload.h"
#include "sound_file.h"

namespace qh::quill {

namespace {

namespace fs = std::filesystem;

const char* const usage =
    "usage: quill render FILE -o DIR [--fps N] [--size WxH] [--from SECONDS] [--to SECONDS]\n"
    "                    [--segment K/N] [--video OUT.mp4 [--no-frames]] [--capture PARTY] [--verbose]\n"
    "\n"
    "Draws FILE (a packed player or a project.json) offline, at a fixed frame rate\n"
    "(default 60) and size (default 1920x1080, whatever the display), and writes\n"
    "each frame as DIR/frame-NNNNNN.png and the sound of the range as DIR/sound.wav.\n"
    "Frame n is drawn at n / fps seconds after the music starts, with the beat the\n"
    "player's clock gives then; n counts from the music's start whatever --from\n"
    "says, so renders of adjacent ranges (--from A --to B, --from B --to C) hold\n"
    "every frame of A to C exactly once, as one render of A to C does. The frames\n"
    "before --from are drawn but not written, so that feedback and whatever else\n"
    "carries over from frame to frame is as in one run. The same range always gives\n"
    "the same files.\n"
    "The sound texture and level of each frame come from the sound the player would\n"
    "be playing then: the music and the timeline's samples, mixed ahead.\n"
    "--to defaults to where the player ends (the end beat); a demo that never ends\n"
    "by itself needs it.\n"
    "--segment K/N renders the K-th of N parts of the frames from 0 to the end\n"
    "(where the player ends, or --to): part K holds frames floor((K-1)*T/N) to\n"
    "floor(K*T/N)-1 of the T frames, exactly as --from/--to of that range would.\n"
    "With it, DIR/segment.json records the part (K, N, first and last frame, fps,\n"
    "size and the --video file), written once the part is complete; quill join\n"
    "checks the parts with it and joins their videos. It does not take --from.\n"
    "--video OUT.mp4 also encodes the frames with ffmpeg (H.264 in yuv420p, AAC\n"
    "sound, fast start; needs an even width and height), muxing the same sound.\n"
    "--capture PARTY makes the video a party's organisers ask for (quill check\n"
    "--party PARTY shows their rules): at their size and frame rate, H.264 at a\n"
    "constant rate above their least and AAC above theirs; into --video OUT.mp4,\n"
    "else DIR/PARTY-capture.mp4. It takes no --size, --fps or --segment.\n"
    "--no-frames (with --video) writes no PNG files: the frames go to ffmpeg as\n"
    "they are drawn; DIR still gets sound.wav (and segment.json).\n"
    "Frames are encoded and written by worker threads while the next frames are\n"
    "drawn, with a few frames in memory at most.\n"
    "Ctrl-C stops after the frame in hand: the frames written are complete and\n"
    "the video is closed with what it has.\n"
    "--verbose also shows what the player prints while it reads and builds (the\n"
    "files it loads, the driver's logs).\n"
    "\n"
    "Needs an OpenGL context: a display, or else SDL's offscreen driver (EGL);\n"
    "where neither works, run it under Xvfb: xvfb-run -a quill render ...\n"
    "Exit status: 0 done, 1 failure, 2 usage error, 130 stopped by Ctrl-C.\n";

constexpr int exit_interrupted = 130;

std::atomic<bool> interrupted{false};
void on_interrupt(int) { interrupted = true; }

// While it lives, SIGINT sets `interrupted`, and SIGPIPE is ignored: an
// encoder that stops reading is an error of its write, not the end of quill.
class InterruptGuard {
public:
    InterruptGuard() {
        struct sigaction sa {};
        sa.sa_handler = on_interrupt;
        sigemptyset(&sa.sa_mask);
        sigaction(SIGINT, &sa, &previous_int_);
        sa.sa_handler = SIG_IGN;
        sigaction(SIGPIPE, &sa, &previous_pipe_);
    }
    ~InterruptGuard() {
        sigaction(SIGINT, &previous_int_, nullptr);
        sigaction(SIGPIPE, &previous_pipe_, nullptr);
    }

private:
    struct sigaction previous_int_ {};
    struct sigaction previous_pipe_ {};
};

std::string clock_text(double seconds) {
    const long s = std::lround(std::max(seconds, 0.0));
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
    return text;
}

// What --video encodes with: H.264 at a constant quality, and the sound as
// quill join encodes it.
VideoEncoding default_encoding() {
    return {{"-c:v", "libx264", "-preset", "medium", "-crf", "18", "-pix_fmt", "yuv420p"},
            {sound_encoding.begin(), sound_encoding.end()}};
}

// ffmpeg's command line for raw RGBA frames on its standard input and the
// range's sound from `sound`, encoded with `encoding`.
std::vector<std::string> video_command(const fs::path& out, const fs::path& sound, const RenderSettings& s,
                                       const VideoEncoding& encoding) {
    const std::string size = std::to_string(s.width) + "x" + std::to_string(s.height);
    std::vector<std::string> args = {
        "ffmpeg", "-hide_banner", "-loglevel", "error", "-nostdin", "-y",
        "-f", "rawvideo", "-pix_fmt", "rgba", "-s", size, "-framerate", std::to_string(s.fps), "-i", "pipe:0",
        "-f", "wav", "-i", sound.string(),
        "-map", "0:v", "-map", "1:a"};
    args.insert(args.end(), encoding.picture.begin(), encoding.picture.end());
    args.insert(args.end(), encoding.sound.begin(), encoding.sound.end());
    args.insert(args.end(), {"-movflags", "+faststart", "-shortest", out.string()});
    return args;
}

// The programs effects draw with that did not build: those effects are
// missing from every frame, so it is said before drawing starts.
void report_failed_programs(const Demo& demo) {
    MessagesOnce once;
    for (const ProgramFailure& f : failed_programs(demo.shaders, demo.effects)) {
        std::fprintf(stderr, "quill render: %s does not build; the effects drawing with it draw nothing:\n",
                     f.program->fragment_shader_filename.c_str());
        for (const std::string& line : once.lines(f.messages)) std::fprintf(stderr, "%s\n", line.c_str());
    }
}

// "K/N", whole numbers with 1 <= K <= N.
RenderSettings::Segment segment_option(const std::string& text) {
    const size_t slash = text.find('/');
    auto whole = [&](const std::string& digits) -> uint64_t {
        if (digits.empty() || digits.size() > 7 || digits.find_first_not_of("0123456789") != std::string::npos) {
            return 0;
        }
        return std::stoull(digits);
    };
    RenderSettings::Segment segment;
    if (slash != std::string::npos) {
        segment.index = whole(text.substr(0, slash));
        segment.count = whole(text.substr(slash + 1));
    }
    if (slash == std::string::npos || segment.count < 1 || segment.index < 1 || segment.index > segment.count) {
        throw UsageError("--segment needs K/N, whole numbers with 1 <= K <= N (got \"" + text + "\")");
    }
    return segment;
}

// What quill join needs to know of a finished part. The video's path is kept
// relative to DIR when it lies inside, so that the folder can be moved.
void write_segment_record(const fs::path& dir, const RenderSettings& s, const OfflineRender& render,
                          const std::string& video) {
    JsonValue record = JsonValue::object();
    record["segment"] = s.segment->index;
    record["segments"] = s.segment->count;
    record["first_frame"] = render.first_frame();
    record["last_frame"] = render.end_frame() - 1;
    record["fps"] = s.fps;
    record["width"] = s.width;
    record["height"] = s.height;
    if (!video.empty()) {
        const fs::path absolute = fs::absolute(video).lexically_normal();
        const fs::path inside = absolute.lexically_relative(fs::absolute(dir).lexically_normal());
        const bool under = !inside.empty() && *inside.begin() != "..";
        record["video"] = (under ? inside : absolute).string();
    }
    std::ofstream f(dir / "segment.json", std::ios::trunc);
    f << dump_json_text(record);
    if (!f) throw std::runtime_error("cannot write " + (dir / "segment.json").string());
}

}  // namespace

int cmd_render(const std::vector<std::string>& argv) {
    const Args args = parse_args(argv, {"-o", "--fps", "--size", "--from", "--to", "--segment", "--video", "--capture"},
                                 {"--no-frames", "--verbose"});
    if (args.flag("--help")) {
        std::fputs(usage, stdout);
        return exit_ok;
    }
    if (args.positional.size() != 1) throw UsageError("render needs one package or project file");
    if (!args.has("-o")) throw UsageError("render needs -o DIR, the folder the frames go to");
    RenderSettings settings;
    const double fps = number_option(args, "--fps", 60);
    if (fps != std::floor(fps) || fps < 1 || fps > 1000) throw UsageError("--fps needs a whole number from 1 to 1000");
    settings.fps = static_cast<int>(fps);
    if (args.has("--size")) std::tie(settings.width, settings.height) = size_option("--size", args.value("--size"));
    settings.from = number_option(args, "--from", 0);
    if (args.has("--to")) settings.to = number_option(args, "--to", 0);
    if (args.has("--segment")) {
        if (args.has("--from")) throw UsageError("--segment splits the frames from 0: it does not take --from");
        settings.segment = segment_option(args.value("--segment"));
    }
    const fs::path dir = args.value("-o");
    std::string video = args.value("--video");
    VideoEncoding encoding = default_encoding();
    if (args.has("--capture")) {
        const Capture capture = take_capture(args, settings);
        encoding = capture.encoding;
        if (video.empty()) video = (dir / (capture.party + "-capture.mp4")).string();
        std::fprintf(stderr, "quill render: capture for %s: %s\n", capture.party.c_str(), capture.summary.c_str());
    }
    const bool frames = !args.flag("--no-frames");
    if (!frames && video.empty()) throw UsageError("--no-frames needs --video: there would be nothing to write");
    if (!video.empty() && (settings.width % 2 || settings.height % 2)) {
        throw UsageError("--video needs an even width and height");
    }

    DeviceSession session;
    const bool verbose = args.flag("--verbose");
    if (!session.open("render", args.positional[0], verbose)) return exit_failure;
    print_warnings(args.positional[0], session.findings.warnings());
    // A tempo of 0 stands the clock still; an end of 0 leaves nothing to draw up to.
    for (const std::string& fault : {session.findings.tempo, settings.to ? std::string() : session.findings.end}) {
        if (fault.empty()) continue;
        std::fprintf(stderr, "quill render: %s\n", fault.c_str());
        return exit_failure;
    }
    Mixer& mixer = session.mixer;
    std::unique_ptr<Demo>& demo = session.demo;
    std::unique_ptr<DemoPlayback>& playback = session.playback;
    // Nothing is heard: the sound is mixed ahead and written to files.
    mixer.open_silent();
    if (!mixer.is_open()) {
        std::fprintf(stderr, "quill render: cannot open the mixer to decode the sound (%s)\n", mixer.note().c_str());
        return exit_failure;
    }
    session.fonts.open();
    runtime().screen = ScreenSize{settings.width, settings.height, settings.width, settings.height};

    {
        ProgressBar bar("building");
        PlayerLines lines(verbose);
        playback = std::make_unique<DemoPlayback>(*demo);
        playback->realize([&](uint64_t i, uint64_t n) { bar.update(i, n); });
        playback->prepare();
    }
    report_failed_programs(*demo);
    std::unique_ptr<OfflineRender> render;
    try {
        render = std::make_unique<OfflineRender>(*demo, *playback, settings);
    } catch (const RenderRangeError& e) {
        std::fprintf(stderr, "quill render: %s\n", e.what());
        return exit_failure;
    }

    std::error_code ec;
    fs::create_directories(dir, ec);
    if (ec) throw std::runtime_error("cannot make " + dir.string() + ": " + ec.message());
    // A record left by an earlier render would vouch for frames not yet written.
    fs::remove(dir / "segment.json", ec);
    const fs::path sound = dir / "sound.wav";
    write_sound_file(sound, render->sound());

    InterruptGuard guard;
    std::unique_ptr<Ffmpeg> encoder;
    if (!video.empty()) encoder = std::make_unique<Ffmpeg>(video_command(video, sound, settings, encoding), Ffmpeg::Input::pipe);
    const uint64_t first = render->first_frame(), end = render->end_frame(), total = end - first;
    if (first > 0) {
        // The frames before the range, drawn so that what carries over is as in one run.
        ProgressBar catching_up("drawing up to --from");
        for (uint64_t n = 0; n < first && !interrupted; ++n) {
            render->draw(n);
            catching_up.update(n + 1, first);
        }
    }
    ProgressBar bar("rendering");
    const auto started = std::chrono::steady_clock::now();
    uint64_t written = 0;
    if (!interrupted) {
        written = render_frames(*render, first, end, {frames ? dir : fs::path(), encoder.get()}, [&](uint64_t drawn) {
            const double spent = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
            bar.update(drawn, total,
                       std::to_string(drawn) + "/" + std::to_string(total) + " frames, " +
                           clock_text(spent / static_cast<double>(drawn) * static_cast<double>(total - drawn)) +
                           " left");
            return !interrupted;
        });
    }
    if (encoder && encoder->finish() != 0) {
        std::fprintf(stderr, "quill render: ffmpeg failed on %s\n", video.c_str());
        return exit_failure;
    }
    std::printf("quill: rendered frames %llu to %llu (%llu of %llu) into %s%s%s\n",
                static_cast<unsigned long long>(first), static_cast<unsigned long long>(first + written - (written > 0)),
                static_cast<unsigned long long>(written), static_cast<unsigned long long>(total), dir.string().c_str(),
                video.empty() ? "" : " and ", video.c_str());
    if (interrupted) {
        std::fprintf(stderr, "quill render: stopped by Ctrl-C after %llu frames\n",
                     static_cast<unsigned long long>(written));
        return exit_interrupted;
    }
    if (settings.segment) write_segment_record(dir, settings, *render, video);
    return exit_ok;
}

}  // namespace qh::quill
