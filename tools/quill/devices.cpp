#include "devices.h"

#include <SDL.h>
#include <SDL_mixer.h>
#include <SDL_ttf.h>

#include <cstdio>

#include "audio/music.h"
#include "cli.h"
#include "document_io.h"

namespace qh::quill {

SdlSession::~SdlSession() {
    TTF_Quit();
    SDL_Quit();
}

void Mixer::open() {
    std::string why;
    if (try_open(why)) return;
    note_ = "default device: " + why;
    close();
    open_silent();
}

void Mixer::open_silent() {
    std::string why;
    SDL_SetHintWithPriority(SDL_HINT_AUDIODRIVER, "dummy", SDL_HINT_OVERRIDE);
    if (try_open(why)) return;
    note_ += (note_.empty() ? "" : "; ") + std::string("dummy driver: ") + why;
    close();
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

bool DeviceSession::open(const std::string& command, const std::string& file) {
    {
        ProgressBar bar("reading");
        demo = open_document(file, [&](uint64_t i, uint64_t n) { bar.update(i, n); });
    }
    if (window.open(64, 36)) return true;
    std::fprintf(stderr,
                 "quill %s: cannot create an OpenGL context (%s).\n"
                 "On a machine with no display, run it under Xvfb: xvfb-run -a quill %s %s\n",
                 command.c_str(), window.error().c_str(), command.c_str(), file.c_str());
    return false;
}

}  // namespace qh::quill
