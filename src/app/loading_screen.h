#pragma once
// The screen shown while the package loads: the player's own logo, filled from
// the bottom by a wavy level that rises over the first half of loading and
// sinks over the second, then a short sound and a hold before the demo.
//
//   LoadingScreen loader(window, context, samples);   // GL context current, mixer open
//   ...after each record's device work:  loader.frame(i, total);
//   ...when the demo is ready:            loader.frame(total, total);
//   loader.chime();                       // then frames at total, held a while
//
// Every frame drains and drops pending events (a quit pressed while loading
// does not end the demo), draws and swaps; the caller paces the frames
// (app/player.h). `draw` alone draws one frame's picture into the bound
// framebuffer, for tests.
#include <cstdint>
#include <memory>

#include "render/frame_context.h"

struct SDL_Window;

namespace qh {

class AudioSample;
class Effect;
class SamplePlayer;
class ShaderProgram;
class Texture;

class LoadingScreen {
public:
    // The program, texture, effect and sample are built from the resources
    // compiled into the player; `samples` plays the sound and must outlive
    // this object. `window` may be null for drawing without presenting.
    LoadingScreen(SDL_Window* window, void* gl_context, SamplePlayer& samples);
    ~LoadingScreen();
    LoadingScreen(const LoadingScreen&) = delete;
    LoadingScreen& operator=(const LoadingScreen&) = delete;

    // One loading frame, presented. The events that arrived meanwhile are
    // dropped, but a quit request among them sets runtime().quit_requested.
    void frame(uint64_t read, uint64_t total);
    // The loader sound: loading has ended.
    void chime();

    // The loader effect at `read` of `total`, drawn into the bound
    // framebuffer with `frame`'s screen as the render size.
    void draw(uint64_t read, uint64_t total, const FrameContext& frame);

    const ShaderProgram& program() const { return *program_; }

private:
    SDL_Window* window_;
    void* gl_context_;
    SamplePlayer& samples_;
    std::unique_ptr<ShaderProgram> program_;
    std::unique_ptr<Texture> texture_;
    std::unique_ptr<Effect> effect_;
    std::unique_ptr<AudioSample> sample_;
};

// The loader's fragment shader: the level over the logo in `tex`, from the
// uniforms "read" and "total".
extern const char* const loader_fragment_source;

}  // namespace qh
