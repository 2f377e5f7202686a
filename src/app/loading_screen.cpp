#include "app/loading_screen.h"

#include <GL/glew.h>
#include <SDL.h>

#include "app/loader_assets.h"
#include "audio/audio_sample.h"
#include "audio/sample_player.h"
#include "platform/sdl_session.h"
#include "render/effect.h"
#include "render/shader_program.h"
#include "render/texture.h"

namespace qh {

const char* const loader_fragment_source = R"(#version 150
#define mainImage(X,Y) main()
#define iResolution resolution
#define iTime beat
#define fragCoord (gl_FragCoord.xy)
#define iChannel0 tex
uniform int sound;
uniform float beat;
uniform float read;
uniform float total;
uniform sampler2D tex;
uniform vec2 resolution;
vec2 iMouse = vec2(0., 0.);
out vec4 fragColor;

void mainImage(out vec4 fragColor, in vec2 fragCoord) {
    vec2 uv = fragCoord / iResolution.xy;
    float aspect = iResolution.x / iResolution.y;
    uv.x = (uv.x - 0.5) * aspect + 0.5;
    fragColor = vec4(0.0, 0.0, 0.0, 1.0);
    float p = read / total;
    p = p <= 0.5 ? 2.0 * p : 2.0 * (1.0 - p);
    if (uv.x >= 0.0 && uv.x <= 1.0) {
        float pixel = texture(iChannel0, vec2(uv.x, 1.0 - uv.y)).r;
        if (uv.y < p) {
            float y = uv.y + 0.02 * sin(10.0 * uv.x);
            if (pixel < 0.5) {
                fragColor = y < p - 0.2 ? vec4(1.0, 1.0, 0.0, 1.0) : vec4(1.0);
            } else {
                fragColor = vec4(0.0, 0.0, 0.0, 1.0);
            }
        } else if (pixel < 0.5) {
            fragColor = vec4(0.5, 0.5, 0.5, 1.0);
        }
    }
}
)";

LoadingScreen::LoadingScreen(SDL_Window* window, void* gl_context, SamplePlayer& samples)
    : window_(window), gl_context_(gl_context), samples_(samples) {
    program_ = std::make_unique<ShaderProgram>();
    program_->fragment_shader_source = loader_fragment_source;
    program_->realize();
    texture_ = std::make_unique<Texture>(
        "loader", std::vector<uint8_t>(embedded::loader_logo.begin(), embedded::loader_logo.end()));
    texture_->realize();
    effect_ = std::make_unique<Effect>("Loader", program_.get(), texture_.get(), nullptr, false,
                                       false, nullptr);
    // Made now: a target the device cannot make ends start-up here, in the
    // fatal report, not in the middle of the first loading frame.
    effect_->create_gpu_objects(runtime().screen);
    sample_ = std::make_unique<AudioSample>("loader", embedded::loader_sound.data(),
                                            embedded::loader_sound.size());
    samples_.load(sample_.get(), sample_->audio_buffer.data);
}

LoadingScreen::~LoadingScreen() = default;

void LoadingScreen::draw(uint64_t read, uint64_t total, const FrameContext& frame) {
    // Looked up by name on every frame: the loader has no definitions for them.
    program_->set_float(program_->location_of("read"), static_cast<float>(read));
    program_->set_float(program_->location_of("total"), static_cast<float>(total));
    effect_->draw(frame, nullptr, false);
}

void LoadingScreen::frame(uint64_t read, uint64_t total) {
    if (drain_events()) runtime().quit_requested = true;
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    int w = 0, h = 0;
    if (window_) {
        SDL_GL_MakeCurrent(window_, gl_context_);
        SDL_GetWindowSize(window_, &w, &h);
    }
    glViewport(0, 0, w, h);
    draw(read, total, FrameContext::at(0.0f, runtime().screen));
    if (window_) SDL_GL_SwapWindow(window_);
}

void LoadingScreen::chime() { samples_.play(sample_.get()); }

}  // namespace qh
