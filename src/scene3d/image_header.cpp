#include "scene3d/image_header.h"

#include <array>
#include <cstring>

namespace qh {

namespace {

uint32_t be16(std::span<const uint8_t> b, size_t at) { return uint32_t(b[at]) << 8 | b[at + 1]; }

uint32_t be32(std::span<const uint8_t> b, size_t at) {
    return uint32_t(b[at]) << 24 | uint32_t(b[at + 1]) << 16 | uint32_t(b[at + 2]) << 8 | b[at + 3];
}

constexpr std::array<uint8_t, 8> png_signature = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

ImageHeader png_header(std::span<const uint8_t> b) {
    ImageHeader h;
    h.format = ImageFormat::png;
    // Signature, then the IHDR chunk: length 13, type, width, height.
    if (b.size() < 8 + 8 + 8 || be32(b, 8) != 13 || std::memcmp(b.data() + 12, "IHDR", 4) != 0) {
        h.problem = "the PNG does not start with its IHDR header";
        return h;
    }
    h.width = be32(b, 16);
    h.height = be32(b, 20);
    return h;
}

// Start-of-frame markers; C4 (DHT), C8 (JPG) and CC (DAC) share the range.
bool is_frame_marker(uint8_t m) { return m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC; }

// Markers that carry no length.
bool is_standalone(uint8_t m) { return m == 0x01 || (m >= 0xD0 && m <= 0xD8); }

ImageHeader jpeg_header(std::span<const uint8_t> b) {
    ImageHeader h;
    h.format = ImageFormat::jpeg;
    size_t at = 2;  // past SOI
    while (at < b.size()) {
        // The decoder skips stray bytes before a marker, and fill bytes 0xFF.
        while (at < b.size() && b[at] != 0xFF) ++at;
        while (at < b.size() && b[at] == 0xFF) ++at;
        if (at >= b.size()) break;
        const uint8_t marker = b[at++];
        if (is_standalone(marker)) continue;
        if (marker == 0xD9 || marker == 0xDA) break;  // EOI, SOS: no frame came first
        if (at + 2 > b.size()) break;
        const uint32_t length = be16(b, at);
        if (length < 2) break;
        if (is_frame_marker(marker)) {
            // length, precision, height, width
            if (length < 8 || at + 7 > b.size()) break;
            h.height = be16(b, at + 3);
            h.width = be16(b, at + 5);
            return h;
        }
        at += length;
    }
    h.problem = "the JPEG has no frame header";
    return h;
}

}  // namespace

ImageHeader read_image_header(std::span<const uint8_t> bytes) {
    ImageHeader h;
    if (bytes.size() >= png_signature.size() &&
        std::memcmp(bytes.data(), png_signature.data(), png_signature.size()) == 0) {
        h = png_header(bytes);
    } else if (bytes.size() >= 3 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF) {
        h = jpeg_header(bytes);
    } else {
        h.problem = "unknown image format (only PNG and JPEG are read)";
        return h;
    }
    if (!h.problem.empty()) return h;
    const uint64_t pixels = uint64_t(h.width) * uint64_t(h.height);
    if (h.width == 0 || h.height == 0) {
        h.problem = "the image header gives no size";
    } else if (pixels > max_image_pixels) {
        h.problem = "the image is " + std::to_string(h.width) + " x " + std::to_string(h.height) +
                    " pixels, more than the " + std::to_string(max_image_pixels) + " allowed";
    }
    return h;
}

const char* image_mime_type(ImageFormat format) {
    switch (format) {
        case ImageFormat::png: return "image/png";
        case ImageFormat::jpeg: return "image/jpeg";
        default: return "";
    }
}

}  // namespace qh
