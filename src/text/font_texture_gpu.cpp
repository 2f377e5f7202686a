// Device side of FontTexture: an RGBA surface the font renderer draws into,
// and the GL texture it is uploaded to.
#include <GL/glew.h>
#include <SDL.h>
#include <SDL_ttf.h>

#include <cstdio>
#include <string>

#include "decode/decode_guard.h"
#include "render/gl/gl_util.h"
#include "text/font.h"
#include "text/font_texture.h"

namespace qh {

namespace {

const SDL_Color white{255, 255, 255, 255};

std::string size_text(int32_t w, int32_t h) { return std::to_string(w) + " x " + std::to_string(h); }

GLint device_max_side() {
    GLint side = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &side);
    return side;
}

void upload(SDL_Surface& surface, GLuint texture) {
    glBindTexture(GL_TEXTURE_2D, texture);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, surface.pitch / 4);
    // Same size every time: the storage made at realize is only refilled.
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, surface.w, surface.h, GL_RGBA, GL_UNSIGNED_BYTE,
                    surface.pixels);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glBindTexture(GL_TEXTURE_2D, 0);
}

}  // namespace

DeviceState FontTexture::device_state() const {
    if (gl_name() != 0) return DeviceState::made();
    if (gpu.problem.empty()) return {};
    return DeviceState::failure({gpu.problem});
}

void FontTexture::realize() {
    gpu.texture.reset();
    gpu.surface.reset();
    gpu.text.clear();
    gpu.problem.clear();
    if (!has_drawable_size()) {
        gpu.problem = "size " + size_text(width, height) + " is outside 1 to " +
                      std::to_string(max_side) + " and cannot be drawn";
    } else if (const GLint limit = device_max_side(); width > limit || height > limit) {
        gpu.problem = "size " + size_text(width, height) + " exceeds the device's largest texture (" +
                      std::to_string(limit) + ") and cannot be drawn";
    } else if (SDL_Surface* s = SDL_CreateRGBSurfaceWithFormat(0, width, height, 32, SDL_PIXELFORMAT_RGBA32)) {
        gpu.surface = DeviceHandle<SDL_Surface>(s, SDL_FreeSurface);
        SDL_FillRect(s, nullptr, 0);
        SDL_LockSurface(s);
        std::string problem;
        gpu.texture =
            GlTexture(create_rgba_texture(width, height, s->pixels, GL_CLAMP_TO_EDGE, problem));
        SDL_UnlockSurface(s);
        glBindTexture(GL_TEXTURE_2D, 0);
        if (!problem.empty())
            gpu.problem = "size " + size_text(width, height) + " cannot be made: " + problem;
    } else {
        gpu.problem = std::string("no surface: ") + SDL_GetError();
    }
    if (!gpu.problem.empty()) leave_out(gpu.problem);
}

void FontTexture::leave_out(const std::string& why) {
    gpu.texture.reset();
    gpu.surface.reset();
    gpu.text.clear();
    gpu.problem = why;
    std::printf("Warn: text texture \"%s\": %s; it shows nothing\n", name.c_str(), why.c_str());
}

void FontTexture::set_text(std::string_view text) {
    if (text == gpu.text) return;
    gpu.text.assign(text);
    SDL_Surface* target = gpu.surface.get();
    if (!target || !gpu.texture) return;

    SDL_FillRect(target, nullptr, 0);
    TTF_Font* renderer = font ? font->handle() : nullptr;
    // The renderer takes a C string: a text stops at its first zero byte.
    if (renderer && !gpu.text.empty() && gpu.text.front() != '\0') {
        DecodeGuard guard;  // a huge point size asks for a huge block
        SDL_Surface* block =
            TTF_RenderText_Blended_Wrapped(renderer, gpu.text.c_str(), white, static_cast<Uint32>(width));
        if (block) {
            // The whole block is blitted and the texture's edges clip it, so a
            // centred block wider than the texture would lose both sides evenly.
            SDL_Rect at{center ? (width - block->w) / 2 : 0, 0, block->w, block->h};
            SDL_BlitSurface(block, nullptr, target, &at);
            SDL_FreeSurface(block);
        }
    }
    SDL_LockSurface(target);
    upload(*target, gpu.texture);
    SDL_UnlockSurface(target);
    ++gpu.uploads;
}

}  // namespace qh
