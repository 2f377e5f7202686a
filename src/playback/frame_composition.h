#pragma once
// One frame of the demo, drawn straight into the window's back buffer.
//
//   TimelineDispatch timeline(demo.events);                // timeline_actions.h
//   ...each frame, after clearing and setting the viewport:
//   FrameContext frame = FrameContext::at(beat, runtime().screen);
//   frame.sound_level = capture.level();
//   compose_frame(timeline, frame, sound_texture, capture.data());
//
// The sound texture gets the latest 1024x2 RGBA capture, then the timeline
// updates and draws its active events at the frame's beat. Main thread only,
// GL context current; allocates nothing.
#include <cstdint>

#include "render/frame_context.h"

namespace qh {

class Effect;
class Texture;

// The size of the sound capture the sound texture is refreshed from.
inline constexpr int sound_capture_width = 1024;
inline constexpr int sound_capture_height = 2;

class FrameTimeline {
public:
    virtual ~FrameTimeline() = default;
    // Updates and draws what is active at the frame's beat; the last effect
    // drawn, or null.
    virtual Effect* play(const FrameContext& frame) = 0;
};

// The GL state frames are composed in: cleared to opaque black, drawn with
// alpha blending (source alpha, one minus source alpha).
void set_composition_state();

// Replaces the texture's image by the capture (RGBA bytes, 1024 x 2). Does
// nothing when either is missing or the texture has no GL object.
void upload_sound_texture(const Texture* sound_texture, const uint8_t* capture);

// The sound texture upload, then the timeline with the frame (its
// `sound_texture` set to that texture's GL name); returns what the timeline
// returns.
Effect* compose_frame(FrameTimeline& timeline, FrameContext frame, const Texture* sound_texture,
                      const uint8_t* capture);

}  // namespace qh
