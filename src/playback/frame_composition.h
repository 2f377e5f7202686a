#pragma once
// The GL state frames are composed in, and the sound texture every frame
// refreshes (compose_frame in gl_timeline_actions.h draws the frame itself).
//
//   set_composition_state();                        // once, GL context current
//   upload_sound_texture(sound_texture, capture);   // each frame
#include <cstdint>

#include "audio/spectrum.h"

namespace qh {

class Texture;

// The size of the sound capture the sound texture is refreshed from.
inline constexpr int sound_capture_width = SpectrumState::width;
inline constexpr int sound_capture_height = SpectrumState::height;

// The GL state frames are composed in: cleared to opaque black, drawn with
// alpha blending (source alpha, one minus source alpha).
void set_composition_state();

// Replaces the texture's image by the capture (RGBA bytes, 1024 x 2). Does
// nothing when either is missing or the texture has no GL object.
void upload_sound_texture(const Texture* sound_texture, const uint8_t* capture);

}  // namespace qh
