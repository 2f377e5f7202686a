#pragma once
// The track view of `quill play --edit`: a TrackPanel drawn with Dear ImGui in
// a column at the window's right, beside the picture, and the keys and clicks
// that drive it. Thin on purpose: what a key does is TrackPanel's.
//
//   TrackView view(window.window(), window.context());  // ImGui and its SDL2 / OpenGL 3 backends
//   ...each event:  view.mouse(e);  if (e is a key) { Outcome o = view.key(e.key, panel); ... }
//   ...each frame:  Outcome o = view.draw(panel, beat, window_width, window_height, note);
//   if (o.moved) clock.seek(panel.cursor_beat());
#include <SDL.h>

#include <algorithm>
#include <string>

#include "track_panel.h"

namespace qh::quill {

class TrackView {
public:
    // The pixels the picture gives up in a window `window_width` wide: room
    // for five tracks, never more than half the window.
    static int width_for(int window_width) { return std::min(460, window_width / 2); }

    TrackView(SDL_Window* window, void* gl_context);
    ~TrackView();
    TrackView(const TrackView&) = delete;
    TrackView& operator=(const TrackView&) = delete;

    struct Outcome {
        bool used = false;   // the view took the key
        bool moved = false;  // the cursor went elsewhere: the clock follows
        bool edited = false;
        bool save = false;   // Ctrl-S
    };
    Outcome key(const SDL_KeyboardEvent& key, TrackPanel& panel);
    // Mouse and window events for ImGui.
    void mouse(const SDL_Event& event);
    // Draws the view over the window's right `width` pixels; `note` is a line
    // for what the last save or reload said.
    Outcome draw(TrackPanel& panel, float clock_beat, int window_width, int window_height,
                 const std::string& note);

private:
    float drag_ = 0;  // pixels dragged on a key not yet turned into a nudge
};

}  // namespace qh::quill
