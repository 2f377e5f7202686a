#pragma once
// Process-wide values of the player, kept together in one place.
//
//   runtime().screen         sizes set once at start-up (window and render size)
//   runtime().quit_requested set by the loop, event handling and the event watch
//
// Everything here is plain data so any layer may read it; nothing here touches
// GL or SDL. What changes per frame travels in a FrameContext
// (render/frame_context.h), and the clock belongs to whoever composes frames.
#include <atomic>
#include <cstdint>

namespace qh {

struct ScreenSize {
    int32_t width = 0;
    int32_t height = 0;
    int32_t render_width = 0;
    int32_t render_height = 0;

    // Window and render size for a desktop of the given width: 16:9 with the
    // height truncated; the desktop height plays no part.
    static ScreenSize from_desktop_width(int32_t desktop_width);
};

struct Runtime {
    ScreenSize screen;
    std::atomic<bool> quit_requested{false};
};

Runtime& runtime();

// The beat at `elapsed_ms` after the music started, in single precision: the
// frame on which a stored demo's events start and end, and the beat its
// shaders see, depend on this rounding.
float beat_at(uint32_t elapsed_ms, float bpm, float beat_offset);

// How long the player holds the loading screen's last frame, after the
// chime, before the demo starts: part of every run's length.
inline constexpr uint32_t loader_hold_ms = 4000;
// The loading screen's logo is a square image of this side, made at build time.
inline constexpr int32_t loader_logo_side = 512;

// True when a frame at `beat` is past the end of a timeline ending at `end_beat`.
// End beats of 10000 or more never end by themselves.
bool timeline_ended(float beat, float end_beat);

}  // namespace qh
