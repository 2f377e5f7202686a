#pragma once
// The font renderer (SDL_ttf), which every font and text overlay needs open.
//
//   FontLibrary fonts;     // after SdlSession, before anything holding a font
//   fonts.open();          // false: TTF_GetError() says why
//
// Destroying it ends the renderer however many times it was started, here or
// by a bare TTF_Init, as SdlSession ends SDL: close every font first.
namespace qh {

class FontLibrary {
public:
    FontLibrary() = default;
    ~FontLibrary();
    FontLibrary(const FontLibrary&) = delete;
    FontLibrary& operator=(const FontLibrary&) = delete;

    bool open();
};

}  // namespace qh
