#include "platform/font_library.h"

#include <SDL_ttf.h>

namespace qh {

FontLibrary::~FontLibrary() {
    // TTF_Init counts its starts; the renderer ends with the last TTF_Quit.
    while (TTF_WasInit() > 0) TTF_Quit();
}

bool FontLibrary::open() { return TTF_Init() == 0; }

}  // namespace qh
