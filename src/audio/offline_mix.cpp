#include "audio/offline_mix.h"

#include <SDL.h>
#include <SDL_mixer.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>

#include "audio/audio_sample.h"
#include "audio/sample_player.h"

namespace qh {

namespace {

// The whole sound, decoded by the mixer's sample loader into the open
// device's format; empty when it does not decode.
std::vector<int16_t> decode(std::span<const uint8_t> bytes) {
    Mix_Chunk* chunk = decode_sound(bytes);
    if (!chunk) return {};
    std::vector<int16_t> pcm(chunk->alen / sizeof(int16_t));
    std::memcpy(pcm.data(), chunk->abuf, pcm.size() * sizeof(int16_t));
    Mix_FreeChunk(chunk);
    return pcm;
}

int16_t clamp16(int32_t v) { return static_cast<int16_t>(std::clamp(v, -32768, 32767)); }

}  // namespace

uint64_t frame_at_ms(uint64_t ms) { return ms * OfflineMix::rate / 1000; }

OfflineMix::OfflineMix(std::span<const uint8_t> music)
    : has_music_bytes_(!music.empty()), music_(decode(music)) {}

int32_t OfflineMix::load(Key key, std::span<const uint8_t> bytes) {
    Sound& sound = sounds_[key];
    sound = Sound();
    sound.pcm = decode(bytes);
    if (sound.pcm.empty()) return 0;
    const int32_t ms = sample_duration_ms(sound.pcm.size() * sizeof(int16_t), rate, channels, 2);
    sound.duration_frames = frame_at_ms(static_cast<uint64_t>(ms));
    return ms;
}

bool OfflineMix::play(Key key, uint64_t at) {
    const auto found = sounds_.find(key);
    if (found == sounds_.end() || found->second.pcm.empty()) return false;
    Sound& sound = found->second;
    if (at < sound.free_from) return false;
    sound.free_from = at + std::max<uint64_t>(sound.duration_frames, 1);
    starts_.push_back({key, at});
    if (sound.duration_frames > 0) ducked_.emplace_back(at, at + sound.duration_frames);
    return true;
}

void OfflineMix::finish(uint64_t frames) {
    mixed_.assign(static_cast<size_t>(frames * channels), 0);
    // The music, at the ducked volume where any sample's duration runs.
    std::vector<uint8_t> duck(static_cast<size_t>(frames), 0);
    for (const auto& [from, to] : ducked_) {
        std::fill(duck.begin() + static_cast<std::ptrdiff_t>(std::min(from, frames)),
                  duck.begin() + static_cast<std::ptrdiff_t>(std::min(to, frames)), 1);
    }
    const uint64_t music = std::min<uint64_t>(frames, music_.size() / channels);
    for (uint64_t f = 0; f < music; ++f) {
        const int32_t volume = duck[f] ? music_ducked_volume : music_full_volume;
        for (int c = 0; c < channels; ++c) {
            const size_t i = static_cast<size_t>(f * channels + c);
            mixed_[i] = static_cast<int16_t>(music_[i] * volume / MIX_MAX_VOLUME);
        }
    }
    // Each start added over it at full volume, clipped as the mixer clips.
    for (const Start& s : starts_) {
        const std::vector<int16_t>& pcm = sounds_.at(s.key).pcm;
        const size_t from = static_cast<size_t>(std::min(s.frame, frames) * channels);
        const size_t n = std::min(pcm.size(), mixed_.size() - from);
        for (size_t i = 0; i < n; ++i) mixed_[from + i] = clamp16(int32_t(mixed_[from + i]) + pcm[i]);
    }
}

const SpectrumState& SoundAnalysis::at(uint64_t frame) {
    if (!analysed_) return state_;
    const uint64_t blocks = frame / OfflineMix::block_frames;
    const size_t block_values = OfflineMix::block_frames * OfflineMix::channels;
    std::array<int16_t, OfflineMix::block_frames * OfflineMix::channels> block{};
    for (; blocks_done_ < blocks; ++blocks_done_) {
        // Past the mix's end the mixer hands on silence.
        const size_t from = static_cast<size_t>(blocks_done_ * block_values);
        const size_t have = from < pcm_.size() ? std::min(block_values, pcm_.size() - from) : 0;
        std::fill(block.begin(), block.end(), int16_t{0});
        if (have) std::copy_n(pcm_.data() + from, have, block.begin());
        analyzer_.analyze(reinterpret_cast<const uint8_t*>(block.data()), block_values * sizeof(int16_t), state_);
    }
    return state_;
}

}  // namespace qh
