#include "audio/music.h"

#include <SDL.h>

#include <climits>

#include "audio/offline_mix.h"

namespace qh {

namespace {

// Runs on SDL's audio thread for every mixed block; leaves the sound as it is.
void SDLCALL analyse_post_mix(void* capture, Uint8* stream, int len) {
    if (len > 0) static_cast<SpectrumCapture*>(capture)->on_block(stream, static_cast<size_t>(len));
}

}  // namespace

int open_mixer() {
    return Mix_OpenAudio(OfflineMix::rate, AUDIO_S16LSB, OfflineMix::channels, OfflineMix::block_frames);
}

int32_t music_position_ms(float beat, float bpm, float beat_offset) {
    if (!(bpm > 0.0f)) return 0;
    const float ms = (beat + beat_offset) * 60000.0f / bpm;
    if (!(ms > 0.0f)) return 0;  // before the start, or NaN
    if (ms >= 2147483648.0f) return INT32_MAX;
    return static_cast<int32_t>(ms);
}

Music::~Music() {
    stop();
}

void Music::stop() {
    if (music_) {
        Mix_FreeMusic(music_);  // halts it first, and closes the stream over bytes_
        music_ = nullptr;
    }
    if (post_mix_registered_) {
        // Taken under the mixer's lock, so no block is being analysed after this.
        Mix_SetPostMix(nullptr, nullptr);
        post_mix_registered_ = false;
    }
    bytes_.clear();
    paused_ = false;
}

bool Music::start(std::span<const uint8_t> bytes) {
    stop();
    if (bytes.empty()) return false;
    bytes_.assign(bytes.begin(), bytes.end());
    if (bytes_.size() <= static_cast<size_t>(INT_MAX)) {
        SDL_RWops* stream = SDL_RWFromConstMem(bytes_.data(), static_cast<int>(bytes_.size()));
        if (stream) music_ = Mix_LoadMUS_RW(stream, 1);
    }
    Mix_SetPostMix(analyse_post_mix, &capture_);
    post_mix_registered_ = true;
    return music_ && Mix_PlayMusic(music_, 0) == 0;
}

uint32_t Music::seek(float beat, float bpm, float beat_offset) {
    const int32_t ms = music_position_ms(beat, bpm, beat_offset);
    if (music_) {
        const double seconds = ms / 1000.0;
        // Music that has played to its end is started again at the position,
        // so music and clock stay together after seeking back.
        if (Mix_PlayingMusic()) {
            Mix_SetMusicPosition(seconds);
        } else {
            Mix_FadeInMusicPos(music_, 0, 0, seconds);
            if (paused_) Mix_PauseMusic();
        }
    }
    return SDL_GetTicks() - static_cast<uint32_t>(ms);
}

void Music::pause() {
    if (music_) Mix_PauseMusic();
    paused_ = true;
}

void Music::resume() {
    if (music_) Mix_ResumeMusic();
    paused_ = false;
}

bool Music::playing() const {
    return music_ && Mix_PlayingMusic();
}

}  // namespace qh
