#pragma once
// The sound quill render writes beside its frames, and quill join reads
// back: 16-bit stereo WAVE at 44100 Hz, the offline mix's format; and the
// one way both encode it into a video, so that a joined video sounds as one
// rendered whole.
//
//   write_sound_file(dir / "sound.wav", render.sound());
//   const std::vector<int16_t> pcm = read_sound_file(dir / "sound.wav");  // throws when it is another format
//   args.insert(args.end(), sound_encoding.begin(), sound_encoding.end());
#include <array>
#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

namespace qh::quill {

void write_sound_file(const std::filesystem::path& path, std::span<const int16_t> pcm);

// The interleaved samples of a file write_sound_file wrote; std::runtime_error
// naming the file for anything else.
std::vector<int16_t> read_sound_file(const std::filesystem::path& path);

// ffmpeg's options for the sound of a video: AAC at 192 kbit/s.
inline constexpr std::array<const char*, 4> sound_encoding = {"-c:a", "aac", "-b:a", "192k"};

}  // namespace qh::quill
