#include "playback/offline_render.h"

#include <GL/glew.h>

#include <cmath>
#include <cstring>
#include <iterator>
#include <stdexcept>
#include <string>

#include "audio/audio_sample.h"
#include "core/runtime.h"
#include "document/demo.h"
#include "playback/demo_playback.h"
#include "playback/frame_composition.h"
#include "render/gl/device_allocation.h"
#include "timeline/timeline_dispatch.h"

namespace qh {

namespace {

// The timeline played without drawing: only the samples it starts count.
class SampleStarts : public TimelineActions {
public:
    explicit SampleStarts(OfflineMix& mix) : mix_(mix) {}
    uint64_t at = 0;  // the sound frame of the frame being played

    void update_texts(const FrameContext&, const Event&, float, const Event*) override {}
    void refresh_input(const FrameContext&, Effect&) override {}
    void draw_effect(const FrameContext&, const Event&, float, const Event*) override {}
    void play_sample(AudioSample& sample) override { mix_.play(&sample, at); }

private:
    OfflineMix& mix_;
};

// A day of frames: a range that long is surely a mistake.
constexpr double longest_seconds = 24 * 3600.0;

}  // namespace

OfflineRender::OfflineRender(Demo& demo, DemoPlayback& playback, const RenderSettings& settings)
    : demo_(demo), playback_(playback), settings_(settings), mix_(demo.music.data) {
    const RenderSettings& s = settings_;
    if (s.fps < 1 || s.fps > 1000) throw RenderRangeError("the frame rate must be 1 to 1000");
    if (s.width < 1 || s.height < 1 || s.width > 16384 || s.height > 16384) {
        throw RenderRangeError("the size must be 1 to 16384 pixels each way");
    }
    if (!(demo.bpm > 0)) throw RenderRangeError("the demo's tempo is not above 0 bpm: its clock stands still");
    if (!(s.from >= 0) || s.from > longest_seconds) throw RenderRangeError("--from must be 0 to 86400 seconds");
    first_ = static_cast<uint64_t>(std::ceil(s.from * s.fps));
    if (s.to) {
        if (!(*s.to >= 0) || *s.to > longest_seconds) throw RenderRangeError("--to must be 0 to 86400 seconds");
        end_ = static_cast<uint64_t>(std::ceil(*s.to * s.fps));
    } else {
        // An end beat the clock never passes (10000 and above) ends nothing.
        if (!timeline_ended(demo.end_beat + 1.0f, demo.end_beat)) {
            throw RenderRangeError("the demo never ends by itself (end beat " + std::to_string(demo.end_beat) +
                                   "): give --to");
        }
        // The player's last frame is the last whose beat has not passed the end.
        const uint64_t limit = static_cast<uint64_t>(longest_seconds * s.fps);
        while (end_ < limit && !timeline_ended(beat_of(end_), demo.end_beat)) ++end_;
    }
    if (s.segment) {
        const uint64_t total = end_, k = s.segment->index, n = s.segment->count;
        if (first_ != 0 || k < 1 || k > n) throw RenderRangeError("a segment splits the frames from 0");
        first_ = (k - 1) * total / n;
        end_ = k * total / n;
        if (end_ <= first_) {
            throw RenderRangeError("segment " + std::to_string(k) + "/" + std::to_string(n) +
                                   " holds no frame: the whole render has " + std::to_string(total));
        }
    }
    if (end_ <= first_) throw RenderRangeError("the range holds no frame");

    for (const auto& sample : demo.audio_samples) {
        if (sample) mix_.load(sample.get(), sample->audio_buffer.data);
    }
    const TimelineDispatch dispatch(demo.events);
    SampleStarts starts(mix_);
    // A frame's samples start at its whole millisecond, up to 44 sound frames
    // before the frame itself: the frames after the range whose samples start
    // before its sound ends are played too, so that this mix is, sample for
    // sample, the start of a longer range's.
    const uint64_t sound_end = sound_frame_of(end_);
    for (uint64_t n = 0; (starts.at = frame_at_ms(ms_of(n))) < sound_end; ++n) {
        dispatch.play(FrameContext::at(beat_of(n), ScreenSize{s.width, s.height, s.width, s.height}), starts);
    }
    mix_.finish(sound_end);
    analysis_.emplace(mix_.pcm(), mix_.analysed());
    playback_.route_samples({});  // started above, in the mix

    const std::string size = std::to_string(s.width) + " x " + std::to_string(s.height);
    colour_ = GlTexture::generate();
    glBindTexture(GL_TEXTURE_2D, colour_);
    require_allocation("the frame's colour target (" + size + ")", allocate_checked([&] {
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, s.width, s.height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    }));
    depth_ = GlTexture::generate();
    glBindTexture(GL_TEXTURE_2D, depth_);
    require_allocation("the frame's depth target (" + size + ")", allocate_checked([&] {
        glTexImage2D(GL_TEXTURE_2D, 0, GL_DEPTH24_STENCIL8, s.width, s.height, 0, GL_DEPTH_STENCIL,
                     GL_UNSIGNED_INT_24_8, nullptr);
    }));
    glBindTexture(GL_TEXTURE_2D, 0);
    framebuffer_ = GlFramebuffer::generate();
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, colour_, 0);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_TEXTURE_2D, depth_, 0);
    const GLenum status = glCheckFramebufferStatus(GL_FRAMEBUFFER);
    if (status != GL_FRAMEBUFFER_COMPLETE) {
        throw std::runtime_error("the device cannot draw " + std::to_string(s.width) + " x " +
                                 std::to_string(s.height) + " frames (framebuffer status " +
                                 std::to_string(status) + ")");
    }
    glViewport(0, 0, s.width, s.height);
    set_composition_state();
    // As the player does before its first frame.
    playback_.warm_up();
    const size_t bytes = static_cast<size_t>(s.width) * static_cast<size_t>(s.height) * 4;
    for (GlBuffer& buffer : pixel_buffers_) {
        buffer = GlBuffer::generate();
        glBindBuffer(GL_PIXEL_PACK_BUFFER, buffer);
        require_allocation("the frame's read-back buffer (" + size + ")", allocate_checked([&] {
            glBufferData(GL_PIXEL_PACK_BUFFER, static_cast<GLsizeiptr>(bytes), nullptr, GL_STREAM_READ);
        }));
    }
    glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
}

uint32_t OfflineRender::ms_of(uint64_t frame) const {
    return static_cast<uint32_t>(frame * 1000 / static_cast<uint64_t>(settings_.fps));
}

uint64_t OfflineRender::sound_frame_of(uint64_t frame) const {
    return frame * OfflineMix::rate / static_cast<uint64_t>(settings_.fps);
}

float OfflineRender::beat_of(uint64_t frame) const { return beat_at(ms_of(frame), demo_.bpm, demo_.beat_offset); }

void OfflineRender::draw(uint64_t n) {
    while (next_ <= n) draw_one(next_++);
}

void OfflineRender::draw_one(uint64_t n) {
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    glViewport(0, 0, settings_.width, settings_.height);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    playback_.compose_frame(beat_of(n), analysis_->at(frame_at_ms(ms_of(n))));
}

const std::vector<uint8_t>& OfflineRender::read() {
    start_read();
    take_read(pixels_);
    return pixels_;
}

void OfflineRender::start_read() {
    if (reads_started_ - reads_taken_ >= std::size(pixel_buffers_)) {
        throw std::logic_error("a frame read started while two are outstanding");
    }
    glBindBuffer(GL_PIXEL_PACK_BUFFER, pixel_buffers_[reads_started_ % std::size(pixel_buffers_)]);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer_);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, settings_.width, settings_.height, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
    ++reads_started_;
}

void OfflineRender::take_read(std::vector<uint8_t>& rgba) {
    if (reads_taken_ == reads_started_) throw std::logic_error("a frame read taken that was not started");
    const size_t stride = static_cast<size_t>(settings_.width) * 4, rows = static_cast<size_t>(settings_.height);
    rgba.resize(stride * rows);
    glBindBuffer(GL_PIXEL_PACK_BUFFER, pixel_buffers_[reads_taken_ % std::size(pixel_buffers_)]);
    const auto* device = static_cast<const uint8_t*>(
        glMapBufferRange(GL_PIXEL_PACK_BUFFER, 0, static_cast<GLsizeiptr>(stride * rows), GL_MAP_READ_BIT));
    if (device) {
        // GL's rows run bottom up.
        for (size_t row = 0; row < rows; ++row) std::memcpy(&rgba[row * stride], device + (rows - 1 - row) * stride, stride);
        glUnmapBuffer(GL_PIXEL_PACK_BUFFER);
    }
    glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
    ++reads_taken_;
    if (!device) throw std::runtime_error("the device did not give the frame's pixels back");
}

std::span<const int16_t> OfflineRender::sound() const {
    const uint64_t from = sound_frame_of(first_);
    const std::span<const int16_t> all = mix_.pcm();
    const size_t at = static_cast<size_t>(std::min<uint64_t>(from * OfflineMix::channels, all.size()));
    return all.subspan(at);
}

}  // namespace qh
