#pragma once
// What an encoded glTF image claims to be, read from its first bytes without
// decoding: the format and the pixel size. Decoding is left to the device
// side; this lets the parse refuse an image it could never decode, or one
// whose header asks for more memory than the player will give, before any
// decoder allocates for it.
//
//   ImageHeader h = read_image_header(bytes);
//   if (!h.problem.empty()) refuse(h.problem);
//   ...h.format, h.width, h.height
//
// Only the two formats glTF images come in are recognised: PNG (the IHDR
// chunk, which must come first) and JPEG (the first start-of-frame marker,
// the one the decoder uses).
#include <cstdint>
#include <span>
#include <string>

namespace qh {

enum class ImageFormat { unknown, png, jpeg };

struct ImageHeader {
    ImageFormat format = ImageFormat::unknown;
    uint32_t width = 0;
    uint32_t height = 0;
    std::string problem;  // "" when the header is usable and within the limits
};

// Decoded images larger than these are refused: a few bytes of compressed
// image could otherwise ask for gigabytes.
inline constexpr uint64_t max_image_pixels = 8192ull * 8192ull;
inline constexpr uint64_t max_decoded_image_bytes_per_asset = 512ull << 20;

ImageHeader read_image_header(std::span<const uint8_t> bytes);

// "image/png", "image/jpeg", or "" for an unknown format.
const char* image_mime_type(ImageFormat format);

}  // namespace qh
