#include "capture.h"

#include <algorithm>
#include <cmath>

#include "cli.h"
#include "playback/offline_render.h"
#include "sound_file.h"

namespace qh::quill {

namespace {

// x264 at a constant rate still spends less than asked over a short video
// (its buffer starts part full), so the rate asked for stands a tenth above
// the rule's least; the buffer of half a second keeps that shortfall small.
constexpr double picture_headroom = 1.1;
// ffmpeg's AAC encoder spends fewer bits than asked on simple sound (a tone
// at 192 kbit/s comes out near 130), so the sound is asked for at half again
// the rule's least, and never below what every other video of quill uses.
constexpr double sound_headroom = 1.5;
constexpr int usual_sound_kbps = 192;

// Whole kbit/s, rounded up.
int above(int kbps, double headroom) { return static_cast<int>(std::ceil(kbps * headroom - 1e-9)); }
int picture_kbps(const CaptureRule& rule) { return above(rule.min_video_kbps, picture_headroom); }
int sound_kbps(const CaptureRule& rule) {
    return std::max(usual_sound_kbps, above(rule.min_audio_kbps, sound_headroom));
}

}  // namespace

VideoEncoding capture_encoding(const CaptureRule& rule) {
    const std::string rate = std::to_string(picture_kbps(rule)) + "k";
    const std::string buffer = std::to_string(picture_kbps(rule) / 2) + "k";
    VideoEncoding e;
    e.picture = {"-c:v",    "libx264", "-preset", "medium", "-b:v",         rate,          "-minrate", rate,
                 "-maxrate", rate,     "-bufsize", buffer,  "-x264-params", "nal-hrd=cbr", "-pix_fmt", "yuv420p"};
    e.sound = {sound_encoding[0], sound_encoding[1], "-b:a", std::to_string(sound_kbps(rule)) + "k"};
    return e;
}

std::string capture_summary(const CaptureRule& rule) {
    return std::to_string(rule.width) + "x" + std::to_string(rule.height) + " at " + std::to_string(rule.fps) +
           " fps, H.264 at " + std::to_string(picture_kbps(rule)) + " kbit/s (" +
           std::to_string(rule.min_video_kbps) + " or more), AAC at " + std::to_string(sound_kbps(rule)) +
           " kbit/s (" + std::to_string(rule.min_audio_kbps) + " or more)";
}

Capture take_capture(const Args& args, RenderSettings& settings) {
    const Party party = load_party(args.value("--capture"));
    const PartyRule* rule = party.capture();
    if (!rule) throw UsageError("the rules of " + party.title + " ask for no capture (" + party.file + ")");
    for (const char* option : {"--size", "--fps", "--segment"}) {
        if (args.has(option))
            throw UsageError(std::string("--capture sets the size and frame rate the party asks for: it does not take ") +
                             option);
    }
    settings.width = rule->capture.width;
    settings.height = rule->capture.height;
    settings.fps = rule->capture.fps;
    return Capture{party.key, capture_encoding(rule->capture), capture_summary(rule->capture)};
}

}  // namespace qh::quill
