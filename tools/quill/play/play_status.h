#pragma once
// The lines of `quill play`'s overlay: where the clock stands, how fast frames
// come, which events play, and what did not build. Pure text, so what the
// overlay says is tested without a window.
//
//   PlayStatus s{seconds, beat, fps, paused, loop_from, loop_to, problems};
//   overlay.set_lines(status_lines(s, demo));
#include <optional>
#include <string>
#include <vector>

#include "document/demo.h"

namespace qh::quill {

struct PlayStatus {
    double seconds = 0;  // music position
    float beat = 0;
    float fps = 0;
    bool paused = false;
    std::optional<float> loop_from, loop_to;  // marks, in beats
    std::vector<std::string> problems;       // reload and build messages, shown last
};

// "bar B.N": B counts bars from 1 at beat 0, N the beat within the bar from 1.
std::string bar_text(float beat);

// One line per event active at `beat` (start <= beat < end), in table order:
// its name, what it plays, its window, and "(hidden)" when not visible.
std::vector<std::string> active_event_lines(const Demo& demo, float beat);

std::vector<std::string> status_lines(const PlayStatus& status, const Demo& demo);

}  // namespace qh::quill
