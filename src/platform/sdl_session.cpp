#include "platform/sdl_session.h"

#include <SDL.h>

namespace qh {

SdlSession::~SdlSession() { SDL_Quit(); }

bool SdlSession::init(uint32_t subsystems) { return SDL_Init(subsystems) == 0; }

void drain_events() {
    SDL_Event e;
    while (SDL_PollEvent(&e)) {
    }
}

}  // namespace qh
