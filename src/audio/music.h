#pragma once
// The demo's music track and the analysis of everything the mixer plays.
//
//   Music music;                                   // after Mix_OpenAudio
//   music.start(demo_music_bytes);                 // plays once; empty bytes: nothing
//   start_ticks = SDL_GetTicks();                  // the clock starts with the music
//   ...
//   const SpectrumState& sound = music.capture().latest();   // once per frame
//   upload(sound.capture); set_uniform("sound", sound.level());
//   ...
//   start_ticks = music.seek(beat, bpm, beat_offset);   // the clock follows
//   music.pause(); ... music.resume();                  // a preview's pause key
//
// The mixer has one post-mix hook and one music channel, so keep one Music at
// a time; destroy it before closing the mixer.
#include <cstdint>
#include <span>
#include <vector>

#include <SDL_mixer.h>

#include "audio/spectrum.h"

namespace qh {

// Opens the mixer in the one format the player and every quill command use,
// and that decoding, the offline mix and the written sound assume:
// OfflineMix::rate frames a second, 16-bit little-endian samples,
// OfflineMix::channels channels, blocks of OfflineMix::block_frames. Returns
// what Mix_OpenAudio returns (-1: Mix_GetError says why).
int open_mixer();

// Music position in milliseconds that shows `beat` at the given tempo:
// (beat + beat_offset) * 60000 / bpm, truncated, never below 0, and at most
// INT32_MAX (also for a tempo of 0 or below, or NaN values, which give 0).
int32_t music_position_ms(float beat, float bpm, float beat_offset);

class Music {
public:
    Music() = default;
    ~Music();
    Music(const Music&) = delete;
    Music& operator=(const Music&) = delete;

    // Plays an encoded music file (any format the mixer's music loader
    // recognises) once, with every mixed block feeding capture(). The bytes
    // are copied and kept for as long as the music can play. Empty bytes
    // start nothing and register no analysis, so the capture stays zero.
    // Bytes the mixer cannot decode play nothing but the analysis still runs
    // over the samples. Returns true when the music is playing. A second call
    // replaces the first track.
    bool start(std::span<const uint8_t> bytes);

    // Moves the music to `beat` (restarting it if it had already ended) and
    // returns the clock origin under which `beat` is now: SDL_GetTicks()
    // minus the music position.
    uint32_t seek(float beat, float bpm, float beat_offset);

    bool playing() const;
    // Holds the music where it is, and lets it go on from there; a seek while
    // held moves it but keeps it held.
    void pause();
    void resume();
    bool paused() const { return paused_; }
    SpectrumCapture& capture() { return capture_; }

private:
    void stop();

    std::vector<uint8_t> bytes_;  // read by the decoder until the music is freed
    Mix_Music* music_ = nullptr;
    bool post_mix_registered_ = false;
    bool paused_ = false;
    SpectrumCapture capture_;
};

}  // namespace qh
