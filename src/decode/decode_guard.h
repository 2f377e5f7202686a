#pragma once
// Keeps a decoder from asking for more memory than any real image, font or
// sound needs.
//
//   {
//       DecodeGuard guard;
//       SDL_Surface* s = IMG_Load_RW(stream, 0);   // null when refused
//   }
//
// The image, font and sound libraries allocate what a file's header claims
// before they read the data behind it: a 54-byte BMP claiming 60000 x 60000
// pixels asks for 14 GB. While a guard lives on a thread, every allocation
// that SDL or a library on it makes there through SDL's memory functions
// (surfaces, sample buffers, conversions) is refused when it exceeds
// max_decode_allocation: the library sees memory run out and the decode
// fails as for any undecodable file. Other threads and allocations outside a
// guard are untouched. Codec libraries that allocate on their own (the PNG
// and JPEG decoders) keep their own limits.
#include <cstddef>

namespace qh {

// 1 GiB: four 8192 x 8192 RGBA images, and ten times ten minutes of
// stereo sound at the mixer's rate.
inline constexpr size_t max_decode_allocation = size_t(1) << 30;

class DecodeGuard {
public:
    DecodeGuard();
    ~DecodeGuard();
    DecodeGuard(const DecodeGuard&) = delete;
    DecodeGuard& operator=(const DecodeGuard&) = delete;
};

}  // namespace qh
