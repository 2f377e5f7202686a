#pragma once
// The preview's clock: the player's beat clock (core/runtime.h) with pause,
// seeking and a loop. It holds no device: the caller moves the music to the
// same place and hands over the clock origin the music gives back
// (Music::seek), so music and picture never part.
//
//   PlayClock clock(demo.bpm, demo.beat_offset);
//   clock.start(music.seek(from, bpm, offset), from);
//   ...each frame:
//   float beat = clock.beat(SDL_GetTicks());
//   if (auto back = clock.loop_target(beat)) clock.seek(*back, music.seek(*back, ...));
//   ...keys:
//   clock.pause(SDL_GetTicks());  clock.resume(music.seek(clock.beat(now), ...));
//   float to = clock.step_target(beat, +1 /* bars */);
//
// Times in seconds are music positions: 0 is where the music starts, which is
// beat -beat_offset.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qh::quill {

inline constexpr float beats_per_bar = 4.0f;

class PlayClock {
public:
    PlayClock(float bpm, float beat_offset) : bpm_(bpm), beat_offset_(beat_offset) {}

    // `origin` is the tick count at which the music position was 0.
    void start(uint32_t origin, float beat);
    float beat(uint32_t now) const;
    bool paused() const { return paused_; }
    // Freezes the beat at `now`.
    void pause(uint32_t now);
    // Runs again from a fresh origin (taken where the paused beat is).
    void resume(uint32_t origin);
    // Goes to `beat`; while paused the clock stays there.
    void seek(float beat, uint32_t origin);

    float bpm() const { return bpm_; }
    float beat_offset() const { return beat_offset_; }
    // Where the music starts.
    float start_beat() const { return -beat_offset_; }
    float beat_of_seconds(double seconds) const;
    double seconds_of_beat(float beat) const;

    // `bars` whole bars from `beat`, never before the start.
    float step_target(float beat, int bars) const;

    // The L key: the first press marks A, the second B (the loop then runs
    // from the earlier to the later mark), the third clears it.
    void mark(float beat);
    void set_loop(float from, float to);
    void clear_loop();
    // The beat to go back to when `beat` has reached the loop's end.
    std::optional<float> loop_target(float beat) const;
    std::optional<float> loop_start() const { return loop_from_; }
    std::optional<float> loop_end() const { return loop_to_; }

private:
    float bpm_;
    float beat_offset_;
    uint32_t origin_ = 0;
    bool paused_ = false;
    float paused_beat_ = 0.0f;
    std::optional<float> loop_from_, loop_to_;
};

// "A:B" in seconds, A < B, both at least 0; nullopt when malformed.
std::optional<std::pair<double, double>> parse_loop_seconds(const std::string& text);

}  // namespace qh::quill
