#pragma once
// The player: start-up, loading, the main loop and shutdown, as steps that
// each system drives its own way. The desktop (app/main.cpp) runs them in a
// loop; the browser (app/web_main.cpp) runs one per animation frame. Both
// call the same step, so what a frame does cannot differ between them.
//
//   Player player(host);
//   if (const auto status = player.start()) return *status;   // no window, no sound
//   while (player.step()) frame_pause(player.pause_ms());
//   return player.stop();
//
// A fatal report (app/fatal_report.h) throws FatalExit out of start() or
// step(): the driver then lets the player go, which releases what it opened
// last first, and ends with status 1.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace qh {

// What the system the player runs on supplies.
struct PlayerHost {
    // The package's payload; reports the fatal error itself when there is none.
    std::function<std::vector<uint8_t>()> read_payload;
    // Whether the viewer lets the demo start: a browser plays sound only
    // after a click or a key (or where its settings allow sound at once).
    std::function<bool()> viewer_ready = [] { return true; };
    // The width the window is sized from; 0 for the desktop's.
    std::function<int()> display_width = [] { return 0; };
    // Each frame of the demo, once composed and before it is shown: the
    // clock's milliseconds since the music started, and the beat drawn.
    std::function<void(uint32_t elapsed_ms, float beat)> frame_drawn = [](uint32_t, float) {};
};

// Waits between frames where the system leaves pacing to the program; the
// browser paces them itself, where a wait would only stall the page.
void frame_pause(uint32_t ms);

class Player {
public:
    explicit Player(PlayerHost host);
    ~Player();
    Player(const Player&) = delete;
    Player& operator=(const Player&) = delete;

    // SDL, sound, the window and the loading screen; a status to exit with
    // when they cannot be had, nothing when the steps may begin.
    std::optional<int> start();
    // One loading frame or one frame of the demo; false once the demo has
    // ended, or the viewer asked to quit (Escape, the window's close, SIGINT
    // or SIGTERM), whatever the phase.
    bool step();
    // What the driver waits after this step (frame_pause).
    uint32_t pause_ms() const { return pause_ms_; }
    // The end of a demo that played: the sound stops with the last frame.
    int stop();

private:
    struct Parts;
    enum class Phase { show_loader, load, hold, await_viewer, play };

    bool phase_step();
    bool load_step();
    void begin_demo();
    bool demo_frame();

    PlayerHost host_;
    std::unique_ptr<Parts> parts_;
    Phase phase_ = Phase::show_loader;
    uint32_t pause_ms_ = 0;
    uint32_t hold_start_ = 0;
    uint32_t start_ticks_ = 0;  // the clock origin: the moment the music started
};

}  // namespace qh
