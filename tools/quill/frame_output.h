#pragma once
// quill render's frame loop: the frames of a range drawn one after the
// other, each read back while the next is drawn, and handed to where they
// go (PNG files, the video's encoder) through a FramePipeline, so that the
// drawing thread does nothing but draw.
//
//   Ffmpeg encoder(...);
//   const uint64_t written = render_frames(render, first, end, {dir, &encoder},
//                                          [&](uint64_t drawn) { return !interrupted; });
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

namespace qh {
class OfflineRender;
}

namespace qh::quill {

class Ffmpeg;

struct FrameDestinations {
    std::filesystem::path png_dir;  // frame-NNNNNN.png files go here; empty: none
    Ffmpeg* video = nullptr;        // takes the raw RGBA frames in order; none: no video
};

// "frame-NNNNNN.png", the file frame `n` is written to.
std::string frame_file_name(uint64_t n);

// Draws frames first to end - 1 and writes each to `to`. After each frame
// drawn, `go_on(frames drawn so far)` says whether to draw another. Returns
// once every frame drawn is written: their count. What a destination throws
// (a full disk, an encoder that stopped) is thrown here.
uint64_t render_frames(OfflineRender& render, uint64_t first, uint64_t end, const FrameDestinations& to,
                       const std::function<bool(uint64_t drawn)>& go_on);

}  // namespace qh::quill
