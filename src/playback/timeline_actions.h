#pragma once
// The player's side of the timeline: effects drawn with GL, samples and text
// textures handed to hooks.
//
//   TimelineDispatch dispatch(demo.events);
//   dispatch.actions.play_sample_hook = [&](AudioSample& s) { ... };   // audio side
//   dispatch.actions.update_texts_hook = [&](const Event& e, float beat, const Event* parent,
//                                            const FrameContext& frame) {
//       update_event_texts(e, beat, parent, frame.beat, scratch); };   // text side
//   ...each frame: compose_frame(dispatch, frame, sound_texture, capture);  // frame_composition.h
//
// An effect whose program reads "sound_texture" draws with the frame's sound
// texture on unit 16. An empty hook does nothing.
#include <functional>
#include <string>

#include "playback/frame_composition.h"
#include "timeline/dispatch.h"

namespace qh {

// The text textures of `event`'s effect set to what its curves (or, for a
// group member, its parent's overrides) say at `beat`; `clock_beat` is the
// frame's beat for the beat placeholders. Only texts that changed are
// rendered and uploaded. `scratch` holds each text while it is compared, so
// a frame whose texts stay as they are allocates nothing.
void update_event_texts(const Event& event, float beat, const Event* parent, float clock_beat,
                        std::string& scratch);

class GlTimelineActions : public TimelineActions {
public:
    std::function<void(AudioSample&)> play_sample_hook;
    // Also given the frame: the beat placeholders show its beat, not the
    // member's shifted one.
    std::function<void(const Event&, float, const Event*, const FrameContext&)> update_texts_hook;

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
