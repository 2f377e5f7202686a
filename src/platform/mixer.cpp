#include "platform/mixer.h"

#include <SDL.h>
#include <SDL_mixer.h>

#include "audio/music.h"

namespace qh {

bool Mixer::open_device(std::string& why) {
    if (try_open(why)) return true;
    close();
    return false;
}

void Mixer::open() {
    std::string why;
    if (open_device(why)) return;
    note_ = "default device: " + why;
    open_silent();
}

void Mixer::open_silent() {
    std::string why;
    SDL_SetHintWithPriority(SDL_HINT_AUDIODRIVER, "dummy", SDL_HINT_OVERRIDE);
    if (open_device(why)) return;
    note_ += (note_.empty() ? "" : "; ") + std::string("dummy driver: ") + why;
}

bool Mixer::try_open(std::string& why) {
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        why = SDL_GetError();
        return false;
    }
    audio_ = true;
    if (open_mixer() == -1) {
        why = Mix_GetError();
        return false;
    }
    open_ = true;
    const char* d = SDL_GetCurrentAudioDriver();
    driver_ = d ? d : "";
    return true;
}

void Mixer::close() {
    if (open_) Mix_CloseAudio();
    open_ = false;
    if (audio_) SDL_QuitSubSystem(SDL_INIT_AUDIO);
    audio_ = false;
}

}  // namespace qh
