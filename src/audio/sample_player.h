#pragma once
// Plays the timeline's short sounds and ducks the music while they run.
//
//   SamplePlayer samples;                                // after Mix_OpenAudio
//   samples.load(&sample, sample.audio_buffer.data);   // decoded, duration known
//   ...
//   samples.play(&sample);      // every frame its event is active: it starts
//                               // again only once its duration has run out
//
// A sample is known by a key, the address of whatever owns it. Playing starts
// the sound once on a free mixer channel and holds the music at volume 100 for
// the sample's duration; the music returns to 128 when no played sample's
// duration is still running, whichever samples overlap. Each play ends on its
// own SDL timer, so every sample can always be played again once its duration
// has passed.
//
// load, play and the destructor belong to the main thread; the timers run on
// SDL's timer thread. Destroyed while the mixer is open, the player halts its
// sounds; destroyed after the mixer closed, it only lets go of them.
#include <cstdint>
#include <memory>
#include <span>
#include <unordered_map>

#include <SDL_mixer.h>

#include "core/device_state.h"

namespace qh {

// The whole sound decoded by the mixer's sample loader into the open
// device's format (any format the loader reads); null when it does not
// decode. The stream is closed here, not by the loader, which leaks it on
// some malformed inputs when asked to close it itself. A RIFF WAVE is
// looked at first (wave_headers.h): one stated to last longer than a sample
// may is refused, chunks claiming more bytes than the record holds are cut.
Mix_Chunk* decode_sound(std::span<const uint8_t> bytes);

inline constexpr int music_full_volume = 128;
inline constexpr int music_ducked_volume = 100;

class SamplePlayer {
public:
    using Key = const void*;

    SamplePlayer();
    ~SamplePlayer();
    SamplePlayer(const SamplePlayer&) = delete;
    SamplePlayer& operator=(const SamplePlayer&) = delete;

    // Decodes an encoded sound file (any format the mixer's sample loader
    // accepts) for `key`, replacing what was loaded for it before. Returns its
    // duration in milliseconds on the open device, 0 when it cannot be
    // decoded (such a sample never plays and never ducks).
    int32_t load(Key key, std::span<const uint8_t> bytes);

    // Starts the sample and the ducking. Does nothing while the sample's
    // previous play is still within its duration, for an unknown key, an
    // undecodable sample, or when no mixer channel is free; a play that found
    // no channel counts as played for the sample's duration (without ducking)
    // so that it never starts late. True when it started.
    bool play(Key key);

    // True from a play until that play's duration has passed.
    bool playing(Key key) const;

    // Holds every sounding sample where it is, and lets them go on (a
    // preview's pause key). Durations keep running meanwhile.
    void pause();
    void resume();

    // The decoded length in milliseconds on the open device; 0 for an unknown
    // key or a sound that did not decode.
    int32_t duration_ms(Key key) const;
    // The device side of the sample `key`: ready when it decoded to a sound
    // of some length; failed when its bytes are missing or do not decode
    // (one of 0 ms would never duck and restart on every frame); not built
    // before load.
    DeviceState device_state(Key key) const;

private:
    struct Voice;
    void cancel(Voice& voice);

    std::unordered_map<Key, std::unique_ptr<Voice>> voices_;
};

}  // namespace qh
