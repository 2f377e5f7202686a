#pragma once
// WAV files made in code, for the tests' music and samples.
#include <cstdint>
#include <span>
#include <vector>

namespace qh::test {

// A 16-bit PCM WAV file holding `samples` (interleaved when `channels` is 2).
std::vector<uint8_t> wav_file(std::span<const int16_t> samples, int channels, int rate = 44100);

}  // namespace qh::test
