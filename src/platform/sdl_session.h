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
#include <SDL_events.h>

#include <cstdint>

namespace qh {

class SdlSession {
public:
    SdlSession() = default;
    ~SdlSession();
    SdlSession(const SdlSession&) = delete;
    SdlSession& operator=(const SdlSession&) = delete;

    // SDL_Init with SDL_INIT_* flags, PipeWire tried before ALSA unless
    // SDL_AUDIODRIVER says otherwise; false when SDL did not start them.
    bool init(uint32_t subsystems);
};

// Whether an event asks the program to end: the window's close (Alt-F4),
// SIGINT or SIGTERM (SDL_QUIT), or Escape.
bool is_quit_request(const SDL_Event& e);

// Takes every pending window and input event and drops it, so that a window
// that is busy loading still answers the system; true when one of them was
// a quit request, which the caller keeps.
bool drain_events();

}  // namespace qh
