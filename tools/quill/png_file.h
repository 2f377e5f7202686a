#pragma once
// Frames as PNG files, fast: RGBA, 8 bits a channel, at zlib's fastest level.
// A rendered frame is written once and read by an encoder or an editor, and
// at the default level the encoding takes most of a frame's time.
#include <cstdint>
#include <cstdio>
#include <filesystem>

namespace qh::quill {

// Writes `rgba` (top row first, width x height x 4 bytes) to `file`; false
// when the library fails or the file cannot be written.
bool encode_png(std::FILE* file, const uint8_t* rgba, int width, int height);

// The same into the file at `path`, written under a temporary name first so
// that a file of that name is always whole; std::runtime_error naming the
// file when it cannot be written.
void write_png_file(const std::filesystem::path& path, const uint8_t* rgba, int width, int height);

}  // namespace qh::quill
