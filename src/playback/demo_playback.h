#pragma once
// The device side of a document: what the player creates on the GPU and in
// the mixer, and the step that draws one frame.
//
//   DemoPlayback playback(demo);   // GL context current, mixer open
//   playback.realize();            // programs, textures, models, scenes' shadow
//                                  // targets, fonts, samples; effects, text
//                                  // textures, sound texture
//   playback.prepare();            // programs with #include, resolved; then effects
//
// The player does the same while it reads, so that each record's device work
// follows it at once:
//   read_demo_payload(demo, payload, progress,
//                     [&](const RecordRef& r) { playback.realize_record(r); });
//   playback.realize_links();      // what needs the links: effects, timeline
//   playback.prepare();
//   playback.warm_up();            // every effect drawn once, nothing swapped
//   playback.start_music();        // then take the clock origin
//   ...each frame:  playback.compose_frame(beat);
//
// Its frames carry its own scene renderer and scene views, so two playbacks
// (of one document or of two) draw side by side without touching each
// other's cameras. Reading a document never needs any of this; `quill pack`,
// `unpack` and `info` never create one.
#include <functional>
#include <memory>
#include <string>

#include "audio/music.h"
#include "audio/sample_player.h"
#include "audio/spectrum.h"
#include "document/demo.h"
#include "playback/gl_timeline_actions.h"
#include "render/frame_context.h"
#include "scene3d/scene_renderer.h"
#include "scene3d/scene_view.h"
#include "timeline/timeline_dispatch.h"

namespace qh {

class AudioSample;
class Effect;
class Texture;

class DemoPlayback {
public:
    explicit DemoPlayback(Demo& demo);
    ~DemoPlayback();
    DemoPlayback(const DemoPlayback&) = delete;
    DemoPlayback& operator=(const DemoPlayback&) = delete;

    // realize_record for every record in table order, then realize_links;
    // `progress` (may be empty) after each record and once at the end.
    void realize(const LoadProgress& progress = {});
    // The device work of one record that needs no other record: a program is
    // compiled (includes unresolved), a texture decoded, a font opened, a
    // model built ("Number of VAOs"), a scene's shadow target made, a sample
    // decoded.
    void realize_record(const RecordRef& record);
    // Once every table is read and wired: effects' GPU objects, text
    // textures (within their budget, document/device_memory.h; ContentError
    // when the budget's variable is malformed), the sound texture and the
    // timeline.
    void realize_links();
    void prepare();
    void warm_up();
    // Starts the music once, with the analysis registered; false when the
    // document has none (the clock runs all the same).
    bool start_music();
    // Uploads the latest sound capture and plays the timeline at `beat`, at
    // runtime().screen; returns the last effect drawn, or null.
    Effect* compose_frame(float beat);
    // The same with a sound given (frames composed offline).
    Effect* compose_frame(float beat, const SpectrumState& sound);
    // Where the timeline's sample events go instead of the mixer (empty: nowhere).
    void route_samples(std::function<void(AudioSample&)> play);

    Music& music() { return music_; }
    SceneViews& scene_views() { return scene_views_; }
    SamplePlayer& samples() { return samples_; }
    // 1024 x 2, refreshed every frame from the sound capture (null before
    // realize).
    const Texture* sound_texture() const { return sound_texture_.get(); }

private:
    // A frame at `beat` on the process's screen, drawing through this
    // playback's scene renderer and views.
    FrameContext frame_at(float beat);

    Demo& demo_;
    Music music_;
    SamplePlayer samples_;
    std::unique_ptr<Texture> sound_texture_;
    std::unique_ptr<TimelineDispatch> dispatch_;  // made once the events are wired
    GlTimelineActions actions_;
    SceneRenderer scene_renderer_;
    SceneViews scene_views_;
    std::string text_scratch_;  // each frame's texts, compared before they are rendered
};

}  // namespace qh
