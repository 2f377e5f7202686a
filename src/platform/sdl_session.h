#pragma once
// SDL for as long as a program runs: the first owner it makes and the last
// to go.
//
//   SdlSession sdl;                                  // before every other owner
//   if (!sdl.init(SDL_INIT_VIDEO | SDL_INIT_AUDIO))  // or leave each subsystem to
//       ...SDL_GetError() says why                   //   the owner that needs it
//   Mixer mixer;  FontLibrary fonts;  ShownGlWindow window;  ...
//
// Destroying it quits SDL, every subsystem whoever started it, so the owners
// that use SDL are declared after it and go before it.
#include <cstdint>

namespace qh {

class SdlSession {
public:
    SdlSession() = default;
    ~SdlSession();
    SdlSession(const SdlSession&) = delete;
    SdlSession& operator=(const SdlSession&) = delete;

    // SDL_Init with SDL_INIT_* flags; false when SDL did not start them.
    bool init(uint32_t subsystems);
};

// Takes every pending window and input event and drops it: a window that is
// busy loading still answers the system.
void drain_events();

}  // namespace qh
