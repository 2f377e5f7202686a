#pragma once
// The GL side of the timeline: effects drawn with GL, samples and text
// textures handed to hooks.
//
//   TimelineDispatch dispatch(demo.events);      // the pure dispatch
//   GlTimelineActions actions;
//   actions.play_sample_hook = [&](AudioSample& s) { ... };            // audio side
//   actions.update_texts_hook = [&](const Event& e, float beat, const Event* parent,
//                                   const FrameContext& frame) {
//       update_event_texts(e, beat, parent, frame.beat, scratch); };   // text side
//   ...each frame, after clearing and setting the viewport:
//   FrameContext frame = FrameContext::at(beat, screen);
//   frame.sound_level = capture.level();
//   compose_frame(dispatch, actions, frame, sound_texture, capture.data());
//
// An effect whose program reads "sound_texture" draws with the frame's sound
// texture on unit 16. An effect with a scene moves the frame's view of it
// (FrameContext::scene_views) by its event's keys. An empty hook does nothing.
#include <functional>
#include <string>

#include "timeline/timeline_dispatch.h"

namespace qh {

class Texture;

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

    void update_texts(const FrameContext& frame, const Event& event, float beat,
                      const Event* parent) override;
    void refresh_input(const FrameContext& frame, Effect& input) override;
    void draw_effect(const FrameContext& frame, const Event& event, float beat,
                     const Event* parent) override;
    void play_sample(AudioSample& sample) override;
};

// One frame of the demo, drawn straight into the bound framebuffer: the
// sound texture gets the capture (frame_composition.h), then the timeline is
// played with the frame, its `sound_texture` set to that texture's GL name.
// Returns the last effect drawn, or null. Main thread only, GL context
// current; allocates nothing.
Effect* compose_frame(const TimelineDispatch& dispatch, TimelineActions& actions, FrameContext frame,
                      const Texture* sound_texture, const uint8_t* capture);

}  // namespace qh
