// Device side of Font: opened by the font renderer from the bytes in memory.
#include <SDL.h>
#include <SDL_ttf.h>

#include <climits>
#include <cstdio>

#include "decode/decode_guard.h"
#include "text/font.h"

namespace qh {

namespace {

void close_stream(SDL_RWops* stream) { SDL_RWclose(stream); }

}  // namespace

DeviceState Font::device_state() const {
    if (handle()) return DeviceState::made();
    if (!gpu.tried) return {};
    return DeviceState::failure({"does not open: " + gpu.error});
}

void Font::open() {
    close();
    gpu.tried = true;
    const std::vector<uint8_t>& bytes = font_buffer.data;
    if (!TTF_WasInit()) {
        gpu.error = "the font renderer is not initialised";
    } else if (bytes.empty()) {
        gpu.error = "no font bytes";
    } else if (bytes.size() > static_cast<size_t>(INT_MAX)) {
        gpu.error = "font file larger than 2 GiB";
    } else if (ptsize <= 0) {
        gpu.error = "point size " + std::to_string(ptsize) + " is not positive";
    } else if (SDL_RWops* stream = SDL_RWFromConstMem(bytes.data(), static_cast<int>(bytes.size()))) {
        gpu.stream = DeviceHandle<SDL_RWops>(stream, close_stream);
        // freesrc 0: the stream is ours, and must outlive the font.
        DecodeGuard guard;
        if (TTF_Font* font = TTF_OpenFontRW(stream, 0, ptsize)) {
            gpu.font = DeviceHandle<TTF_Font>(font, TTF_CloseFont);
            return;
        }
        gpu.error = TTF_GetError();
        gpu.stream.reset();
    } else {
        gpu.error = SDL_GetError();
    }
    if (gpu.error.empty()) gpu.error = "the font renderer gave no reason";
    std::printf("Warn: font \"%s\" (%d pt) does not open: %s; its texts stay empty\n", name.c_str(),
                ptsize, gpu.error.c_str());
}

}  // namespace qh
