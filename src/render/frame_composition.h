#pragma once
// One frame of the demo, drawn straight into the window's back buffer.
//
//   TimelineDispatch timeline(demo.events, sound_texture);   // timeline/dispatch.h
//   ...each frame, after clearing and setting the viewport:
//   compose_frame(timeline, sound_texture, capture.latest().capture.data(), beat);
//
// The sound texture gets the latest 1024x2 RGBA capture, then the timeline
// updates and draws its active events at the beat. The timeline sits above
// rendering, so it is reached through the small FrameTimeline interface.
// Main thread only, GL context current; allocates nothing.
#include <cstdint>

namespace qh {

class Effect;
class Texture;

// The size of the sound capture the sound texture is refreshed from.
inline constexpr int sound_capture_width = 1024;
inline constexpr int sound_capture_height = 2;

class FrameTimeline {
public:
    virtual ~FrameTimeline() = default;
    // Updates and draws what is active at `beat`; the last effect drawn, or null.
    virtual Effect* play(float beat) = 0;
};

// Replaces the texture's image by the capture (RGBA bytes, 1024 x 2). Does
// nothing when either is missing or the texture has no GL object.
void upload_sound_texture(const Texture* sound_texture, const uint8_t* capture);

// The sound texture upload, then the timeline at `beat`; returns what the
// timeline returns.
Effect* compose_frame(FrameTimeline& timeline, const Texture* sound_texture,
                      const uint8_t* capture, float beat);

}  // namespace qh
