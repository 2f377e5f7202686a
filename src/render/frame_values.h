#pragma once
// Values that change every frame and reach every effect's standard uniforms
// but come from outside rendering. The audio side writes them once per frame
// before drawing; effects read them while uploading.
//
//   frame_values().sound_level = capture.latest().level();   // main thread
//   ...effects draw: "sound" gets sound_level
//
// The sound texture itself is bound on `sound_texture_unit` (shader_program.h)
// by whoever draws the frame; "sound_texture" always names that unit.
#include <cstdint>

namespace qh {

struct FrameValues {
    int32_t sound_level = 0;  // the integer uniform "sound", 0 ... 32767
};

// Main thread only.
FrameValues& frame_values();

}  // namespace qh
