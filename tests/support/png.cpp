#include "support/png.h"

#include <SDL.h>
#include <SDL_image.h>

namespace qh::test {

std::vector<uint8_t> solid_png(int width, int height, uint8_t r, uint8_t g, uint8_t b) {
    SDL_Surface* s = SDL_CreateRGBSurfaceWithFormat(0, width, height, 32, SDL_PIXELFORMAT_RGBA32);
    SDL_FillRect(s, nullptr, SDL_MapRGBA(s->format, r, g, b, 255));
    std::vector<uint8_t> out(4096 + static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
    SDL_RWops* stream = SDL_RWFromMem(out.data(), static_cast<int>(out.size()));
    IMG_SavePNG_RW(s, stream, 0);
    out.resize(static_cast<size_t>(SDL_RWtell(stream)));
    SDL_RWclose(stream);
    SDL_FreeSurface(s);
    return out;
}

}  // namespace qh::test
