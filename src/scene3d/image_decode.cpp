#include "scene3d/image_decode.h"

#include <SDL.h>
#include <SDL_image.h>

#include <limits>

namespace qh {

namespace {

void free_surface(void* s) { SDL_FreeSurface(static_cast<SDL_Surface*>(s)); }

}  // namespace

DecodedImage decode_rgba_image(std::span<const uint8_t> bytes, ImageBudget& budget,
                               std::string& problem) {
    const ImageHeader header = read_image_header(bytes);
    if (!header.problem.empty()) {
        problem = header.problem;
        return {};
    }
    const uint64_t size = uint64_t(header.width) * header.height * 4;
    if (size > budget.bytes_left) {
        problem = "the asset's images would take more than " +
                  std::to_string(max_decoded_image_bytes_per_asset >> 20) + " MiB decoded";
        return {};
    }
    if (bytes.size() > size_t(std::numeric_limits<int>::max())) {
        problem = "the encoded image is larger than 2 GiB";
        return {};
    }
    SDL_RWops* stream = SDL_RWFromConstMem(bytes.data(), int(bytes.size()));
    if (!stream) {
        problem = SDL_GetError();
        return {};
    }
    // The decoder for the format the header names, and no other: the
    // library's own guessing could hand the bytes to a decoder the header
    // check knows nothing about.
    SDL_Surface* decoded = header.format == ImageFormat::png ? IMG_LoadPNG_RW(stream)
                                                             : IMG_LoadJPG_RW(stream);
    SDL_RWclose(stream);
    if (!decoded) {
        problem = std::string("does not decode: ") + IMG_GetError();
        return {};
    }
    std::shared_ptr<void> first(decoded, &free_surface);
    if (uint32_t(decoded->w) != header.width || uint32_t(decoded->h) != header.height) {
        problem = "decodes to another size than its header gives";
        return {};
    }
    // A plain copy into RGBA bytes: no blending, so alpha stays straight.
    SDL_Surface* rgba = SDL_ConvertSurfaceFormat(decoded, SDL_PIXELFORMAT_RGBA32, 0);
    if (!rgba) {
        problem = SDL_GetError();
        return {};
    }
    std::shared_ptr<void> owner(rgba, &free_surface);
    if (rgba->pitch != rgba->w * 4) {
        problem = "decodes to rows that are not tightly packed";
        return {};
    }
    budget.bytes_left -= size;
    DecodedImage out;
    out.width = rgba->w;
    out.height = rgba->h;
    out.pixels = static_cast<const uint8_t*>(rgba->pixels);
    out.owner = std::move(owner);
    return out;
}

}  // namespace qh
