#pragma once
// WAV files made in code, for the tests' music and samples, and read back
// from what a sound recorder wrote.
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "support/sound_frames.h"

namespace qh::test {

// A 16-bit PCM WAV file holding `samples` (interleaved when `channels` is 2).
std::vector<uint8_t> wav_file(std::span<const int16_t> samples, int channels, int rate = 44100);
// The same, of stereo frames.
std::vector<uint8_t> wav_file(const std::vector<Frame>& frames, int rate = 44100);

// The frames of a 16-bit stereo PCM WAV file. A recorder stopped by a signal
// may not have written the size of its data: then the data runs to the end
// of the file. Empty when `file` is no such WAV file.
std::vector<Frame> wav_frames(std::string_view file);

}  // namespace qh::test
