#include "platform/sdl_session.h"

#include <SDL.h>

#include <algorithm>
#include <string>
#include <vector>

namespace qh {

namespace {

// SDL keeps the first sound back end that starts, in an order of its own in
// which ALSA comes before PipeWire; and ALSA starts wherever its library is
// installed, whether or not its device opens. So where PipeWire runs
// without its PulseAudio server, SDL would never reach it. PipeWire, which
// starts only where its server answers, is tried just before ALSA instead;
// SDL_AUDIODRIVER, where the user sets it, still decides.
void prefer_pipewire_to_alsa() {
    std::vector<std::string> order;
    for (int i = 0; i < SDL_GetNumAudioDrivers(); ++i) order.emplace_back(SDL_GetAudioDriver(i));
    const auto alsa = std::find(order.begin(), order.end(), "alsa");
    const auto pipewire = std::find(order.begin(), order.end(), "pipewire");
    if (alsa == order.end() || pipewire == order.end() || pipewire < alsa) return;
    std::rotate(alsa, pipewire, pipewire + 1);
    std::string list;
    for (const std::string& name : order) {
        // SDL tries these only when they are named.
        if (name == "disk" || name == "dummy") continue;
        list += (list.empty() ? "" : ",") + name;
    }
    SDL_SetHintWithPriority(SDL_HINT_AUDIODRIVER, list.c_str(), SDL_HINT_DEFAULT);
}

}  // namespace

SdlSession::~SdlSession() { SDL_Quit(); }

bool SdlSession::init(uint32_t subsystems) {
    prefer_pipewire_to_alsa();
    return SDL_Init(subsystems) == 0;
}

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
