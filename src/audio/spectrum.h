#pragma once
// What leaves the mixer, turned into the sound texture and the sound level.
//
//   SpectrumAnalyzer analyzer;                  // owns the 1024-point FFT plan
//   SpectrumState state;                        // all zero: black texture, level 0
//   analyzer.analyze(stream, len, state);       // one mixed block, S16LE stereo
//   state.capture                               // 1024x2 RGBA: row 0 spectrum, row 1 waveform
//   state.level()                               // 0 ... 32767
//
// Across threads, use SpectrumCapture: the mixer's audio thread calls
// on_block() for every mixed block and the main thread calls latest() once per
// frame. The hand-over is a lock-free triple buffer: the audio thread never
// waits, and latest() always returns one complete block, never a half-written
// one.
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace qh {

struct SpectrumState {
    static constexpr int width = 1024;  // texels per row
    static constexpr int height = 2;    // row 0 log spectrum, row 1 waveform
    static constexpr int ring_size = 100;

    // RGBA bytes, row 0 first; every texel holds its value in all four bytes.
    std::array<uint8_t, width * height * 4> capture{};
    // Absolute sample values of the start of the latest block(s).
    std::array<int16_t, ring_size> level_ring{};
    int ring_index = 0;

    // Mean of the level ring, 0 ... 32767.
    int level() const;
};

class SpectrumAnalyzer {
public:
    SpectrumAnalyzer();
    ~SpectrumAnalyzer();
    SpectrumAnalyzer(const SpectrumAnalyzer&) = delete;
    SpectrumAnalyzer& operator=(const SpectrumAnalyzer&) = delete;

    // Analyses `len` bytes of interleaved signed 16-bit little-endian stereo
    // into `state`. Only the left channel feeds the image; the level ring
    // takes the first 100 sample values of both channels. Blocks of fewer than
    // two frames leave `state` unchanged. Allocates nothing.
    void analyze(const uint8_t* stream, size_t len, SpectrumState& state);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

class SpectrumCapture {
public:
    SpectrumCapture();

    // Audio thread: analyses one mixed block and publishes the result.
    void on_block(const uint8_t* stream, size_t len);

    // Main thread (one reader only): the latest published block, all zero
    // before the first. The reference stays valid and unchanged until the
    // next call.
    const SpectrumState& latest();

private:
    SpectrumAnalyzer analyzer_;
    SpectrumState working_;                 // audio thread only; carries the ring across blocks
    std::array<SpectrumState, 3> slots_{};  // one for each side plus the one in between
    int back_ = 1;                          // audio thread only
    int front_ = 0;                         // main thread only
    std::atomic<int> middle_{2};            // slot index, | fresh_bit when newly published
};

}  // namespace qh
