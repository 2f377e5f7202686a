#pragma once
// The player's side of the timeline: effects drawn with GL, samples and text
// textures handed to hooks.
//
//   TimelineDispatch dispatch(demo.events);
//   dispatch.actions.play_sample_hook = [&](AudioSample& s) { ... };   // audio side
//   dispatch.actions.update_texts_hook = [&](const Event& e, float beat, const Event* parent) {
//       ... };                                                          // text side
//   ...each frame: compose_frame(dispatch, frame, sound_texture, capture);  // frame_composition.h
//
// An effect whose program reads "sound_texture" draws with the frame's sound
// texture on unit 16. An empty hook does nothing.
#include <functional>

#include "playback/frame_composition.h"
#include "timeline/dispatch.h"

namespace qh {

class GlTimelineActions : public TimelineActions {
public:
    std::function<void(AudioSample&)> play_sample_hook;
    std::function<void(const Event&, float, const Event*)> update_texts_hook;

    // The frame being played; set by TimelineDispatch::play for its duration.
    const FrameContext* frame = nullptr;

    void update_texts(const Event& event, float beat, const Event* parent) override;
    void refresh_input(Effect& input) override;
    void draw_effect(const Event& event, float beat, const Event* parent) override;
    void play_sample(AudioSample& sample) override;
};

// The timeline of an event table drawn by the player, for compose_frame.
class TimelineDispatch : public FrameTimeline {
public:
    explicit TimelineDispatch(EventTable events);
    Effect* play(const FrameContext& frame) override;

    Timeline timeline;
    GlTimelineActions actions;
};

}  // namespace qh
