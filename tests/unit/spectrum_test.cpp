#include "audio/spectrum.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace qh {
namespace {

constexpr size_t texels = SpectrumState::width;

// Interleaved S16LE stereo bytes of `frames` frames, as the mixer hands them over.
std::vector<uint8_t> block(size_t frames, const std::function<std::pair<int, int>(size_t)>& frame) {
    std::vector<uint8_t> bytes;
    bytes.reserve(frames * 4);
    for (size_t i = 0; i < frames; ++i) {
        const auto [left, right] = frame(i);
        for (int v : {left, right}) {
            const auto u = static_cast<uint16_t>(static_cast<int16_t>(v));
            bytes.push_back(static_cast<uint8_t>(u & 0xff));
            bytes.push_back(static_cast<uint8_t>(u >> 8));
        }
    }
    return bytes;
}

std::vector<uint8_t> constant_block(int left, int right, size_t frames = 1024) {
    return block(frames, [=](size_t) { return std::pair{left, right}; });
}

uint8_t texel(const SpectrumState& s, int row, size_t k) {
    const size_t at = (static_cast<size_t>(row) * texels + k) * 4;
    // R, G, B and A carry the same value.
    EXPECT_TRUE(s.capture[at] == s.capture[at + 1] && s.capture[at] == s.capture[at + 2] &&
                s.capture[at] == s.capture[at + 3])
        << "texel " << k << " of row " << row;
    return s.capture[at];
}

// Distinct values found in one row, for rows expected to be uniform.
std::vector<int> row_values(const SpectrumState& s, int row, size_t first = 0, size_t last = texels - 1) {
    std::vector<int> values;
    for (size_t k = first; k <= last; ++k) values.push_back(texel(s, row, k));
    std::sort(values.begin(), values.end());
    values.erase(std::unique(values.begin(), values.end()), values.end());
    return values;
}

struct UniformBlockCase {
    std::string name;
    int left;
    int right;
    std::vector<int> spectrum_bin0;  // bytes of the texels showing bin 0 (0 ... 4)
    std::vector<int> spectrum_rest;  // bytes of texels 5 ... 1023; empty: not checked
    int waveform;
    int level;
};

class SpectrumUniformBlock : public testing::TestWithParam<UniformBlockCase> {};

TEST_P(SpectrumUniformBlock, FillsRowsAndLevel) {
    const UniformBlockCase& c = GetParam();
    SpectrumAnalyzer analyzer;
    SpectrumState state;
    const std::vector<uint8_t> bytes = constant_block(c.left, c.right);
    analyzer.analyze(bytes.data(), bytes.size(), state);

    EXPECT_EQ(row_values(state, 0, 0, 4), c.spectrum_bin0);
    if (!c.spectrum_rest.empty()) {
        EXPECT_EQ(row_values(state, 0, 5, texels - 1), c.spectrum_rest);
    }
    EXPECT_EQ(row_values(state, 1), std::vector<int>{c.waveform});
    EXPECT_EQ(state.level(), c.level);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SpectrumUniformBlock,
    testing::Values(
        UniformBlockCase{"Silence", 0, 0, {0}, {0}, 128, 0},
        // DC at full scale is about +6 dB: shown at full brightness, not wrapped.
        UniformBlockCase{"FullScalePositive", 32767, 32767, {255}, {}, 255, 32767},
        // |-32768| saturates to the top of the level range instead of going negative.
        UniformBlockCase{"FullScaleNegative", -32768, -32768, {255}, {}, 0, 32767},
        // Only the left channel feeds the image; the ring holds 50 left and 50 right values.
        UniformBlockCase{"RightChannelOnly", 0, 20000, {0}, {0}, 128, 10000},
        // -255 / 256 truncates toward zero; DC of 2 * 255 / 32768 is -36.2 dB.
        UniformBlockCase{"SmallNegative", -255, -255, {152}, {}, 128, 255}),
    [](const testing::TestParamInfo<UniformBlockCase>& info) { return info.param.name; });

TEST(Spectrum, SineOnABinPeaksAtItsTexels) {
    // Bin 32 is 1378.125 Hz, a 32-frame period; texels 142 ... 145 show it.
    constexpr double amplitude = 16384.0;
    const std::vector<uint8_t> bytes = block(1024, [](size_t i) {
        const int v = static_cast<int>(std::lround(amplitude * std::sin(2.0 * M_PI * 32.0 * i / 1024.0)));
        return std::pair{v, 0};
    });
    SpectrumAnalyzer analyzer;
    SpectrumState state;
    analyzer.analyze(bytes.data(), bytes.size(), state);

    // Half scale on the bin is -6 dB: (90 - 6.02) * 255 / 90 = 237.9.
    for (size_t k = 142; k <= 145; ++k) {
        EXPECT_NEAR(texel(state, 0, k), 237, 1) << "texel " << k;
    }
    int strongest_elsewhere = 0;
    for (size_t k = 0; k < texels; ++k) {
        if (k >= 142 && k <= 145) continue;
        strongest_elsewhere = std::max<int>(strongest_elsewhere, texel(state, 0, k));
    }
    EXPECT_LT(strongest_elsewhere, 237 - 20);
    // The neighbouring bins still catch the window's main lobe, far ones do not.
    EXPECT_GT(texel(state, 0, 141), texel(state, 0, 100));

    // Waveform: a quarter period in is the crest, three quarters the trough.
    EXPECT_EQ(texel(state, 1, 0), 128);
    EXPECT_EQ(texel(state, 1, 8), 16384 / 256 + 128);
    EXPECT_EQ(texel(state, 1, 24), -16384 / 256 + 128);
}

TEST(Spectrum, LevelRingCarriesAcrossShortBlocks) {
    SpectrumAnalyzer analyzer;
    SpectrumState state;
    const std::vector<uint8_t> loud = constant_block(1000, -1000);
    analyzer.analyze(loud.data(), loud.size(), state);
    EXPECT_EQ(state.level(), 1000);
    EXPECT_EQ(state.ring_index, 0);

    // Ten frames write twenty values over the front of the ring.
    const std::vector<uint8_t> shorter = constant_block(3000, 3000, 10);
    analyzer.analyze(shorter.data(), shorter.size(), state);
    EXPECT_EQ(state.ring_index, 20);
    EXPECT_EQ(state.level(), (20 * 3000 + 80 * 1000) / 100);
}

TEST(Spectrum, ShortBlockSpreadsOverTheRowAndForgetsOldInput) {
    SpectrumAnalyzer analyzer;
    SpectrumState state;
    const std::vector<uint8_t> loud = constant_block(20000, 0);
    analyzer.analyze(loud.data(), loud.size(), state);

    // Two silent frames land on texels 0 and 1023; the loud block's FFT input
    // in between must not leak into this block's spectrum.
    const std::vector<uint8_t> two = constant_block(0, 0, 2);
    analyzer.analyze(two.data(), two.size(), state);
    EXPECT_EQ(texel(state, 1, 0), 128);
    EXPECT_EQ(texel(state, 1, 1023), 128);
    EXPECT_EQ(texel(state, 1, 500), 20000 / 256 + 128);  // not reached: kept
    EXPECT_EQ(row_values(state, 0), std::vector<int>{0});
}

TEST(Spectrum, BlockOfOneFrameChangesNothing) {
    SpectrumAnalyzer analyzer;
    SpectrumState state;
    const std::vector<uint8_t> one = constant_block(5000, 5000, 1);
    analyzer.analyze(one.data(), one.size(), state);
    analyzer.analyze(one.data(), 3, state);  // not even a whole frame
    EXPECT_EQ(row_values(state, 1), std::vector<int>{0});
    EXPECT_EQ(state.level(), 0);
}

TEST(SpectrumCapture, LatestIsZeroUntilABlockAndStableUntilTheNextCall) {
    SpectrumCapture capture;
    EXPECT_EQ(row_values(capture.latest(), 1), std::vector<int>{0});
    EXPECT_EQ(capture.latest().level(), 0);

    const std::vector<uint8_t> silence = constant_block(0, 0);
    capture.on_block(silence.data(), silence.size());
    const SpectrumState& first = capture.latest();
    EXPECT_EQ(row_values(first, 1), std::vector<int>{128});

    const std::vector<uint8_t> loud = constant_block(32767, 32767);
    capture.on_block(loud.data(), loud.size());
    capture.on_block(loud.data(), loud.size());
    EXPECT_EQ(row_values(first, 1), std::vector<int>{128}) << "changed under the reader";
    const SpectrumState& second = capture.latest();
    EXPECT_EQ(row_values(second, 1), std::vector<int>{255});
    EXPECT_EQ(second.level(), 32767);
    // Nothing new published: the same block again.
    EXPECT_EQ(&capture.latest(), &second);
}

TEST(SpectrumCapture, ReaderNeverSeesAHalfWrittenBlock) {
    SpectrumCapture capture;
    const std::vector<uint8_t> a = constant_block(1024, 1024);
    const std::vector<uint8_t> b = constant_block(-1024, -1024);
    std::atomic<bool> done{false};
    std::thread audio([&] {
        for (int i = 0; i < 3000; ++i) {
            const std::vector<uint8_t>& blk = (i % 2) ? b : a;
            capture.on_block(blk.data(), blk.size());
        }
        done = true;
    });
    int torn = 0;
    int reads = 0;
    while (!done || reads < 10) {
        const SpectrumState& s = capture.latest();
        const std::vector<int> wave = row_values(s, 1);
        const int level = s.level();
        const bool zero = wave == std::vector<int>{0} && level == 0;
        const bool is_a = wave == std::vector<int>{1024 / 256 + 128} && level == 1024;
        const bool is_b = wave == std::vector<int>{-1024 / 256 + 128} && level == 1024;
        if (!zero && !is_a && !is_b) ++torn;
        ++reads;
    }
    audio.join();
    EXPECT_EQ(torn, 0) << "of " << reads << " reads";
    EXPECT_EQ(row_values(capture.latest(), 1), std::vector<int>{-1024 / 256 + 128});
}

}  // namespace
}  // namespace qh
