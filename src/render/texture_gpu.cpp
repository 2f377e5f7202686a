// Device side of Texture: decode with the image library, upload as RGBA8.
#include <GL/glew.h>
#include <SDL.h>
#include <SDL_image.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include "decode/decode_guard.h"
#include "render/gl/gl_util.h"
#include "render/texture.h"

namespace qh {

namespace {

struct SurfaceFree {
    void operator()(SDL_Surface* s) const { SDL_FreeSurface(s); }
};
using Surface = std::unique_ptr<SDL_Surface, SurfaceFree>;

bool fits_device(int w, int h) {
    if (w <= 0 || h <= 0) return false;
    GLint max_side = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &max_side);
    return w <= max_side && h <= max_side;
}

Surface decode(const std::vector<uint8_t>& bytes) {
    if (bytes.empty()) return nullptr;
    SDL_RWops* stream = SDL_RWFromConstMem(bytes.data(), static_cast<int>(bytes.size()));
    if (!stream) return nullptr;
    DecodeGuard guard;
    Surface image(IMG_Load_RW(stream, 0));
    SDL_RWclose(stream);
    return image;
}

}  // namespace

DeviceState Texture::device_state() const {
    if (gpu.texture) return DeviceState::made();
    if (!gpu.tried) return {};
    return DeviceState::failure(
        {!image_buffer || image_buffer->length() == 0 ? "has no image bytes" : "image does not decode"});
}

void Texture::realize() {
    gpu.tried = true;
    if (is_blank()) {
        upload_blank();
    } else {
        decode_and_upload();
    }
}

void Texture::decode_and_upload() {
    gpu.texture.reset();
    gpu.width = gpu.height = 0;
    if (!image_buffer || image_buffer->data.size() > static_cast<size_t>(INT32_MAX)) return;
    Surface image = decode(image_buffer->data);
    if (!image || !fits_device(image->w, image->h)) return;

    // Blitting onto a zero-filled (transparent black) surface applies the
    // decoded image's blend mode: images with alpha land premultiplied.
    Surface rgba(SDL_CreateRGBSurfaceWithFormat(0, image->w, image->h, 32, SDL_PIXELFORMAT_RGBA32));
    if (!rgba) return;
    SDL_BlitSurface(image.get(), nullptr, rgba.get(), nullptr);

    gpu.width = image->w;
    gpu.height = image->h;
    make_texture(rgba->pixels);
    if (!gpu.texture) gpu.width = gpu.height = 0;
}

void Texture::upload_blank() {
    gpu.texture.reset();
    if (!fits_device(gpu.width, gpu.height)) return;
    const std::vector<uint8_t> zeros(static_cast<size_t>(gpu.width) *
                                     static_cast<size_t>(gpu.height) * 4);
    make_texture(zeros.data());
}

void Texture::make_texture(const void* pixels) {
    std::string problem;
    gpu.texture = GlTexture(
        create_rgba_texture(gpu.width, gpu.height, pixels, GL_CLAMP_TO_EDGE, problem));
    if (!problem.empty()) {
        std::printf("Warn: texture \"%s\": %d x %d cannot be made: %s; it binds nothing\n",
                    name.c_str(), gpu.width, gpu.height, problem.c_str());
    }
}

}  // namespace qh
