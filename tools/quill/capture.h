#pragma once
// The video a party's organisers ask for (its capture rule, party_rules.h):
// quill render --capture NAME renders at the rule's size and frame rate and
// encodes with the options made here, through render's one ffmpeg command.
//
//   const Capture c = take_capture(args, settings);  // --capture NAME; sets size and fps
//   ... video_command(out, sound, settings, c.encoding)
#include <string>
#include <vector>

#include "party_rules.h"

namespace qh {
struct RenderSettings;
}

namespace qh::quill {

struct Args;

// ffmpeg's options for a video's picture and its sound.
struct VideoEncoding {
    std::vector<std::string> picture;
    std::vector<std::string> sound;
};

// The encoding that meets `rule`: H.264 at a constant rate a little above
// its least, filled up to it when the picture needs fewer bits, and AAC with
// room above its least.
VideoEncoding capture_encoding(const CaptureRule& rule);
// "1920x1080 at 60 fps, H.264 at 6600 kbit/s (6000 or more), AAC at 192 kbit/s (128 or more)"
std::string capture_summary(const CaptureRule& rule);

struct Capture {
    std::string party;  // its key: "revision"
    VideoEncoding encoding;
    std::string summary;
};

// For --capture NAME: the party's capture rule applied to `settings` (size
// and fps). UsageError when the party asks for no capture, or when --size,
// --fps or --segment would change what it asks for.
Capture take_capture(const Args& args, RenderSettings& settings);

}  // namespace qh::quill
