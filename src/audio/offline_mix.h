#pragma once
// The sound of a demo computed ahead instead of played: the music decoded
// whole, each sample mixed in where the timeline starts it, the music ducked
// while a sample's duration runs, as the player's mixer does; and the sound
// texture's analysis of that mix, block by block, as the mixer hands blocks
// to it.
//
//   OfflineMix mix(demo.music.data);          // an open mixer decodes (44100 Hz, S16, stereo)
//   mix.load(&sample, sample.audio_buffer.data);
//   mix.play(&sample, frame);                 // in time order, as the timeline asks
//   mix.finish(total_frames);                 // the whole mix, once every play is known
//   mix.pcm()                                 // interleaved S16 stereo at 44100 Hz
//
//   SoundAnalysis analysis(mix.pcm(), mix.analysed());
//   const SpectrumState& s = analysis.at(frame);  // every whole block before `frame`
//
// Playing follows SamplePlayer: a sample starts again only once its previous
// start's duration has passed; the music is at volume 100 of 128 while any
// started sample's duration runs. Everything is deterministic.
#include <cstdint>
#include <span>
#include <unordered_map>
#include <vector>

#include "audio/spectrum.h"

namespace qh {

class OfflineMix {
public:
    using Key = const void*;
    static constexpr int rate = 44100;          // frames per second
    static constexpr int channels = 2;
    static constexpr int block_frames = 1024;   // what the mixer mixes at once

    // Decodes the music (any format the mixer's sample loader reads; empty or
    // undecodable: silence). Needs the mixer open (open_mixer, audio/music.h).
    explicit OfflineMix(std::span<const uint8_t> music);

    // Decodes a sample for `key`; its duration in milliseconds, 0 when it
    // does not decode (it never plays then).
    int32_t load(Key key, std::span<const uint8_t> bytes);

    // Starts `key` at frame `at` (plays come in time order); false when its
    // previous start's duration still runs or it never decoded.
    bool play(Key key, uint64_t at);

    // Mixes frames [0, frames): music, ducked where it is, then every start.
    void finish(uint64_t frames);

    // The mix made by finish, interleaved.
    std::span<const int16_t> pcm() const { return mixed_; }
    // Whether the player would analyse its mix: only once it has started
    // music (any bytes, even ones that do not decode).
    bool analysed() const { return has_music_bytes_; }

private:
    struct Start {
        Key key;
        uint64_t frame;
    };
    struct Sound {
        std::vector<int16_t> pcm;  // interleaved
        uint64_t duration_frames = 0;
        uint64_t free_from = 0;    // the frame its last start's duration ends
    };

    bool has_music_bytes_ = false;
    std::vector<int16_t> music_;
    std::unordered_map<Key, Sound> sounds_;
    std::vector<Start> starts_;
    std::vector<std::pair<uint64_t, uint64_t>> ducked_;  // [from, to) frames
    std::vector<int16_t> mixed_;
};

// Frames of music start at 0; frame f is at f / rate seconds.
uint64_t frame_at_ms(uint64_t ms);

class SoundAnalysis {
public:
    // `analysed` false: every state is all zero, as with no music.
    SoundAnalysis(std::span<const int16_t> pcm, bool analysed) : pcm_(pcm), analysed_(analysed) {}

    // The state after analysing every whole block that ends at or before
    // `frame`, in order from the first; past the mix's end the blocks are
    // silence. Calls go forward: an earlier frame gets the later state.
    const SpectrumState& at(uint64_t frame);

private:
    std::span<const int16_t> pcm_;
    bool analysed_;
    SpectrumAnalyzer analyzer_;
    SpectrumState state_;
    uint64_t blocks_done_ = 0;
};

}  // namespace qh
