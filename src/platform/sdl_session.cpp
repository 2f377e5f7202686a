#include "platform/sdl_session.h"

#include <SDL.h>

namespace qh {

SdlSession::~SdlSession() { SDL_Quit(); }

bool SdlSession::init(uint32_t subsystems) { return SDL_Init(subsystems) == 0; }

bool is_quit_request(const SDL_Event& e) {
    return e.type == SDL_QUIT || (e.type == SDL_KEYUP && e.key.keysym.sym == SDLK_ESCAPE);
}

bool drain_events() {
    bool quit = false;
    SDL_Event e;
    while (SDL_PollEvent(&e)) quit = is_quit_request(e) || quit;
    return quit;
}

}  // namespace qh
