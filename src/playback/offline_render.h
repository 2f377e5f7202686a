#pragma once
// A demo drawn offline: frame after frame at a fixed rate into a framebuffer
// of a fixed size, with the sound computed ahead, so that the same range
// always gives the same pictures and the same sound. `quill render` writes
// what this draws.
//
//   runtime().screen = ScreenSize{w, h, w, h};     // before the playback is realized
//   DemoPlayback playback(demo);  playback.realize();  playback.prepare();
//   OfflineRender render(demo, playback, settings);   // GL current, mixer open
//   for (uint64_t n = render.first_frame(); n < render.end_frame(); ++n) {
//       render.draw(n);
//       const std::vector<uint8_t>& rgba = render.read();   // top row first
//   }
//   // or, with each frame's read-back running while the next is drawn:
//   render.draw(n);  render.start_read();
//   render.draw(n + 1);  render.start_read();
//   render.take_read(rgba);                            // frame n
//   render.sound()                                    // the range's sound
//
// Frame n is drawn at n / fps seconds after the music started: the beat is
// what the player's clock gives at that many whole milliseconds. Frames are
// counted from the music's start whatever the range, so ranges rendered
// apart line up frame for frame. What carries over from frame to frame
// (feedback copies, a camera its keys left, text) is as it would be in one
// run: the frames before the range are drawn too, without being read.
//
// The sound: the timeline is played ahead over every frame up to the
// range's end, starting samples as the player would at each frame's time;
// the music, ducked while a sample runs, and the samples are mixed once
// (OfflineMix); each frame's sound texture and level are the analysis of
// the whole blocks of that mix before the frame's time.
#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <vector>

#include "audio/offline_mix.h"
#include "render/gl/gl_objects.h"

namespace qh {

class Demo;
class DemoPlayback;

struct RenderSettings {
    int fps = 60;
    int width = 1920;
    int height = 1080;
    double from = 0;               // seconds after the music started
    std::optional<double> to;      // exclusive; none: where the player would end
    // Only the `index`-th (from 1) of `count` parts of the frames from 0 to
    // the end (from must be 0): part k holds frames floor((k-1)*total/count)
    // to floor(k*total/count), exclusive, so the parts tile the whole render.
    struct Segment {
        uint64_t index = 1;
        uint64_t count = 1;
    };
    std::optional<Segment> segment;
};

// A range that cannot be rendered (no tempo, no end, an empty range).
class RenderRangeError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class OfflineRender {
public:
    // Throws RenderRangeError when the range is empty or the document has no
    // end to render to.
    OfflineRender(Demo& demo, DemoPlayback& playback, const RenderSettings& settings);

    uint64_t first_frame() const { return first_; }
    uint64_t end_frame() const { return end_; }  // exclusive
    int width() const { return settings_.width; }
    int height() const { return settings_.height; }
    uint32_t ms_of(uint64_t frame) const;       // whole milliseconds since the music started
    float beat_of(uint64_t frame) const;
    // The sound frame (at 44100 Hz) where video frame `frame` starts, rounded down.
    uint64_t sound_frame_of(uint64_t frame) const;

    // Draws frame `n` into the framebuffer; frames between the last drawn
    // and `n` are drawn first. Frames only go forward.
    void draw(uint64_t n);
    // The framebuffer's pixels, RGBA, top row first.
    const std::vector<uint8_t>& read();
    // A read that does not wait for the device: start_read() asks it to copy
    // the frame last drawn into a pixel buffer of its own and returns;
    // take_read() copies the oldest read started and not yet taken into
    // `rgba` (resized; top row first), waiting for the device only if it has
    // not finished. Between the two the next frame can be drawn. Two reads
    // may be outstanding; a third start_read() throws std::logic_error.
    void start_read();
    void take_read(std::vector<uint8_t>& rgba);

    // The sound from the range's first frame to its end, interleaved signed
    // 16-bit stereo at 44100 Hz: sound frames sound_frame_of(first_frame())
    // to sound_frame_of(end_frame()) of the demo's one mix, so the sounds of
    // adjacent ranges join sample for sample into the sound of both.
    std::span<const int16_t> sound() const;

private:
    void draw_one(uint64_t n);

    Demo& demo_;
    DemoPlayback& playback_;
    RenderSettings settings_;
    uint64_t first_ = 0;
    uint64_t end_ = 0;
    uint64_t next_ = 0;  // the next frame draw_one takes
    OfflineMix mix_;
    std::optional<SoundAnalysis> analysis_;  // of mix_, once it is finished
    GlFramebuffer framebuffer_;
    GlTexture colour_;
    GlTexture depth_;
    GlBuffer pixel_buffers_[2];
    uint64_t reads_started_ = 0;
    uint64_t reads_taken_ = 0;
    std::vector<uint8_t> pixels_;
};

}  // namespace qh
