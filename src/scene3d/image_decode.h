#pragma once
// Decoding the encoded images of glTF assets to RGBA bytes, with the same
// image library the Texture records use. No GL: the fuzz target runs it too.
//
//   ImageBudget budget;                      // one per asset
//   std::string why;
//   DecodedImage img = decode_rgba_image(bytes, budget, why);
//   if (img.pixels) upload(img.width, img.height, img.pixels);
//
// The header is read first (image_header.h): only PNG and JPEG within
// max_image_pixels are handed to the decoder, and only while the asset's
// decoded images stay within max_decoded_image_bytes_per_asset, so a header
// that claims a gigantic size never reaches an allocation. The pixels are
// straight (not premultiplied) RGBA, rows top first, tightly packed.
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "scene3d/image_header.h"

namespace qh {

struct ImageBudget {
    uint64_t bytes_left = max_decoded_image_bytes_per_asset;
};

struct DecodedImage {
    int32_t width = 0;
    int32_t height = 0;
    const uint8_t* pixels = nullptr;  // width x height x 4 bytes; null: not decoded
    std::shared_ptr<void> owner;      // keeps `pixels` alive
};

// On failure `pixels` is null and `problem` says why; the budget is charged
// only for an image that decodes.
DecodedImage decode_rgba_image(std::span<const uint8_t> bytes, ImageBudget& budget,
                               std::string& problem);

}  // namespace qh
