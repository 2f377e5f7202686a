// Arbitrary bytes handed to the image, font and sound decoders the way the
// player hands them a package's records: the first byte picks the kind, the
// rest are the record's bytes.
//   0: a texture's image, decoded by the image library and uploaded;
//   1: a font opened at 24 pt and a 256 x 64 text texture drawn with it;
//   2: an audio sample decoded by the mixer.
// It opens a hidden GL window (SDL's offscreen driver where there is no
// display) and the mixer on SDL's dummy driver once. Besides crashes,
// leaks and over-allocation, a finding is a GL error left by a decode.
// Run it from a scratch directory; seeds: fuzz/README.md.
#include <GL/glew.h>
#include <SDL.h>
#include <SDL_mixer.h>
#include <SDL_ttf.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "audio/sample_player.h"
#include "core/runtime.h"
#include "platform/gl_window.h"
#include "render/texture.h"
#include "text/font.h"
#include "text/font_texture.h"

namespace {

qh::HiddenGlWindow* window = nullptr;
qh::SamplePlayer* samples = nullptr;

void check_gl(const char* what) {
    if (glGetError() != GL_NO_ERROR) {
        std::fprintf(stderr, "fuzz_media_decoders: a GL error after %s\n", what);
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    SDL_setenv("SDL_AUDIODRIVER", "dummy", 1);
    window = new qh::HiddenGlWindow;
    if (!window->open(64, 36)) {
        std::fprintf(stderr, "fuzz_media_decoders: no GL context: %s\n", window->error().c_str());
        std::exit(1);
    }
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0 || Mix_OpenAudio(44100, AUDIO_S16LSB, 2, 1024) != 0) {
        std::fprintf(stderr, "fuzz_media_decoders: no mixer: %s\n", Mix_GetError());
        std::exit(1);
    }
    TTF_Init();
    qh::runtime().screen = qh::ScreenSize{64, 36, 64, 36};
    samples = new qh::SamplePlayer;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const std::vector<uint8_t> bytes(data + 1, data + size);
    switch (data[0] % 3) {
    case 0: {
        qh::Texture texture;
        texture.image_buffer = qh::ByteBuffer(bytes);
        texture.realize();
        check_gl("an image");
        break;
    }
    case 1: {
        qh::Font font;
        font.ptsize = 24;
        font.font_buffer = qh::ByteBuffer(bytes);
        font.open();
        qh::FontTexture text;
        text.width = 256;
        text.height = 64;
        text.font = &font;
        text.realize();
        text.set_text("Quillharbor 0123 <BEAT> \xe9\xff a long line that wraps at the width");
        check_gl("a font");
        break;
    }
    default:
        samples->load(samples, bytes);
        break;
    }
    return 0;
}
