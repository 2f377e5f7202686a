#pragma once
// What one frame of drawing needs to know, handed down from whoever owns the
// clock (the player, or a tool that renders) through the timeline to every
// effect and scene pass. Nothing in it is global: two compositions, each with
// its own scene renderer and scene views, can run side by side.
//
//   FrameContext frame = FrameContext::at(beat, screen);
//   frame.sound_level = capture.level();          // "sound"
//   frame.sound_texture = sound_texture.gl_name(); // bound on sound_texture_unit
//   frame.scene_drawer = &renderer;                // scene3d/scene_renderer.h
//   frame.scene_views = &views;                    // scene3d/scene_view.h
//   effect.draw(frame, hook, true);
#include <cstdint>

#include "core/runtime.h"

namespace qh {

class SceneDrawer;
class SceneViews;

struct FrameContext {
    float beat = 0.0f;           // "beat", "iTime2"
    int32_t sound_level = 0;     // the integer uniform "sound", 0 ... 32767
    ScreenSize screen;           // inputs draw at the window size, the rest at the render size
    uint32_t sound_texture = 0;  // GL name of the 1024 x 2 sound texture; 0: none
    // Draws the scenes of effects that have one; null: they draw nothing.
    SceneDrawer* scene_drawer = nullptr;
    // Where each scene is seen from, as the events moved it so far; null:
    // every scene is seen as it is stored.
    SceneViews* scene_views = nullptr;

    static FrameContext at(float beat, const ScreenSize& screen) {
        FrameContext f;
        f.beat = beat;
        f.screen = screen;
        return f;
    }
};

}  // namespace qh
