// Cost of the post-mix analysis per mixed block (1024 stereo frames), which
// runs on the audio thread and must stay far below the 23.2 ms block period.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "audio/spectrum.h"

namespace {

constexpr size_t frames = 1024;

// Two tones and some noise, so the spectrum is neither empty nor flat.
std::vector<uint8_t> music_like_block() {
    std::mt19937 random(7);
    std::uniform_int_distribution<int> noise(-2000, 2000);
    std::vector<uint8_t> bytes;
    bytes.reserve(frames * 4);
    for (size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / 44100.0;
        const int v = static_cast<int>(12000.0 * std::sin(2.0 * M_PI * 440.0 * t) +
                                       6000.0 * std::sin(2.0 * M_PI * 3520.0 * t)) +
                      noise(random);
        for (int channel = 0; channel < 2; ++channel) {
            const auto u = static_cast<uint16_t>(static_cast<int16_t>(v));
            bytes.push_back(static_cast<uint8_t>(u & 0xff));
            bytes.push_back(static_cast<uint8_t>(u >> 8));
        }
    }
    return bytes;
}

// The analysis alone.
void BM_AnalyzeBlock(benchmark::State& state) {
    const std::vector<uint8_t> block = music_like_block();
    qh::SpectrumAnalyzer analyzer;
    qh::SpectrumState out;
    for (auto _ : state) {
        analyzer.analyze(block.data(), block.size(), out);
        benchmark::DoNotOptimize(out.capture.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_AnalyzeBlock)->Unit(benchmark::kMicrosecond);

// What the post-mix callback does per block: the analysis plus publishing
// the result to the main thread.
void BM_CaptureBlock(benchmark::State& state) {
    const std::vector<uint8_t> block = music_like_block();
    auto capture = std::make_unique<qh::SpectrumCapture>();
    for (auto _ : state) {
        capture->on_block(block.data(), block.size());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CaptureBlock)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
