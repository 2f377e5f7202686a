#include "audio/sample_player.h"

#include <SDL.h>

#include <climits>
#include <mutex>
#include <new>

#include "audio/audio_sample.h"
#include "audio/wave_headers.h"
#include "decode/decode_guard.h"

namespace qh {

namespace {

// The ducking state of one sample. Written by the main thread and by the timer
// thread, always under Ducking::mutex.
struct DuckSlot {
    bool playing = false;
    uintptr_t ticket = 0;  // 0 when no duck of this sample is running
    SDL_TimerID timer = 0;
};

// The music volume belongs to the whole mixer, so the count of running ducks
// does too. A timer carries only its ticket number: one that fires after its
// play was cancelled (sample reloaded, player destroyed) finds nothing and
// touches nothing.
struct Ducking {
    std::mutex mutex;
    int running = 0;
    uintptr_t next_ticket = 1;
    std::unordered_map<uintptr_t, DuckSlot*> pending;
};

// Built once in static storage and never destroyed: a timer that fires while
// the process ends may still look.
Ducking& ducking() {
    alignas(Ducking) static unsigned char storage[sizeof(Ducking)];
    static Ducking& state = *::new (storage) Ducking;
    return state;
}

// Both run with Ducking::mutex held, which also keeps the volume changes of the
// two threads in order.
void begin_duck(Ducking& d) {
    if (d.running++ == 0) Mix_VolumeMusic(music_ducked_volume);
}

void end_duck(Ducking& d, DuckSlot& slot) {
    d.pending.erase(slot.ticket);
    slot = DuckSlot{};
    if (--d.running == 0) Mix_VolumeMusic(music_full_volume);
}

Uint32 SDLCALL duck_ends(Uint32, void* param) {
    Ducking& d = ducking();
    std::lock_guard lock(d.mutex);
    const auto it = d.pending.find(reinterpret_cast<uintptr_t>(param));
    if (it != d.pending.end()) end_duck(d, *it->second);
    return 0;  // one shot
}

}  // namespace

struct SamplePlayer::Voice {
    Mix_Chunk* chunk = nullptr;
    int32_t duration_ms = 0;
    bool bytes_missing = false;  // load was given no bytes
    DuckSlot duck;
    // A play that found no free channel still counts as played until this
    // tick: asked again on every frame of its event, the sound would start
    // late, out of time with the music.
    Uint32 missed_until = 0;
    bool missed = false;
};

SamplePlayer::SamplePlayer() = default;

SamplePlayer::~SamplePlayer() {
    {
        std::lock_guard lock(ducking().mutex);
        for (auto& [key, voice] : voices_) cancel(*voice);
    }
    for (auto& [key, voice] : voices_) {
        if (voice->chunk) Mix_FreeChunk(voice->chunk);  // halts the channels playing it
    }
}

void SamplePlayer::cancel(Voice& voice) {
    if (voice.duck.ticket == 0) return;
    SDL_RemoveTimer(voice.duck.timer);
    end_duck(ducking(), voice.duck);
}

Mix_Chunk* decode_sound(std::span<const uint8_t> bytes) {
    if (bytes.empty() || bytes.size() > static_cast<size_t>(INT_MAX)) return nullptr;
    std::vector<uint8_t> fitted;
    if (const std::optional<WaveHeaders> wave = read_wave_headers(bytes)) {
        if (wave->seconds() > max_sample_seconds) return nullptr;
        if (wave->overlong) {
            fitted = fit_wave_chunks(bytes);
            bytes = fitted;
        }
    }
    SDL_RWops* stream = SDL_RWFromConstMem(bytes.data(), static_cast<int>(bytes.size()));
    if (!stream) return nullptr;
    DecodeGuard guard;
    Mix_Chunk* chunk = Mix_LoadWAV_RW(stream, 0);
    SDL_RWclose(stream);
    return chunk;
}

int32_t SamplePlayer::load(Key key, std::span<const uint8_t> bytes) {
    std::unique_ptr<Voice>& voice = voices_[key];
    if (voice) {
        {
            std::lock_guard lock(ducking().mutex);
            cancel(*voice);
        }
        if (voice->chunk) Mix_FreeChunk(voice->chunk);
    }
    voice = std::make_unique<Voice>();
    voice->bytes_missing = bytes.empty();

    voice->chunk = decode_sound(bytes);  // into its own buffer
    if (!voice->chunk) return 0;

    int frequency = 0;
    int channels = 0;
    Uint16 format = 0;
    Mix_QuerySpec(&frequency, &format, &channels);
    voice->duration_ms = sample_duration_ms(voice->chunk->alen, frequency, channels,
                                            SDL_AUDIO_BITSIZE(format) / 8);
    return voice->duration_ms;
}

bool SamplePlayer::play(Key key) {
    const auto found = voices_.find(key);
    if (found == voices_.end() || !found->second->chunk) return false;
    Voice& voice = *found->second;

    if (voice.missed) {
        if (static_cast<int32_t>(SDL_GetTicks() - voice.missed_until) < 0) return false;
        voice.missed = false;
    }
    Ducking& d = ducking();
    std::lock_guard lock(d.mutex);
    if (voice.duck.playing) return false;
    const bool ducks = voice.duration_ms > 0;
    // Duck before the sound starts so both reach the same mixed block.
    if (ducks) {
        voice.duck.ticket = d.next_ticket++;
        voice.duck.playing = true;
        d.pending.emplace(voice.duck.ticket, &voice.duck);
        begin_duck(d);
    }
    if (Mix_PlayChannelTimed(-1, voice.chunk, 0, -1) < 0) {
        // The music is not ducked for a sound that does not play.
        if (ducks) end_duck(d, voice.duck);
        voice.missed = voice.duration_ms > 0;
        voice.missed_until = SDL_GetTicks() + static_cast<Uint32>(voice.duration_ms);
        return false;
    }
    if (ducks) {
        voice.duck.timer = SDL_AddTimer(static_cast<Uint32>(voice.duration_ms), duck_ends,
                                        reinterpret_cast<void*>(voice.duck.ticket));
        // Without a timer nothing would ever lift the duck.
        if (voice.duck.timer == 0) end_duck(d, voice.duck);
    }
    return true;
}

bool SamplePlayer::playing(Key key) const {
    const auto found = voices_.find(key);
    if (found == voices_.end()) return false;
    std::lock_guard lock(ducking().mutex);
    return found->second->duck.playing;
}

DeviceState SamplePlayer::device_state(Key key) const {
    const auto found = voices_.find(key);
    if (found == voices_.end()) return {};
    const Voice& voice = *found->second;
    if (voice.duration_ms > 0) return DeviceState::made();
    return DeviceState::failure({voice.bytes_missing ? "has no sound bytes" : "sound does not decode"});
}

int32_t SamplePlayer::duration_ms(Key key) const {
    const auto found = voices_.find(key);
    return found == voices_.end() ? 0 : found->second->duration_ms;
}

void SamplePlayer::pause() { Mix_Pause(-1); }

void SamplePlayer::resume() { Mix_Resume(-1); }

}  // namespace qh
