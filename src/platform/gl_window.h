#pragma once
// The OpenGL context every program of the project draws with: one set of
// context attributes, one way to load the entry points.
//
// Tools that build GPU objects without showing anything:
//   HiddenGlWindow gl;
//   if (!gl.open(64, 36)) fail(gl.error());   // initialises SDL video itself
//   ...the context is current; gl.video_driver() says which driver gave it
//
// Programs that show frames make a visible one (the player a borderless one
// across the desktop, quill play one that resizes):
//   ShownGlWindow w;
//   if (!w.open("title", 1280, 720, ShownGlWindow::resizable)) fail(w.error());
//   ...draw; w.swap();  w.drawable_size(width, height) after a resize
//   w.failure().step, .detail: where it stopped, in SDL's or GLEW's words
//
// HiddenGlWindow::open() tries the video driver SDL picks (or the one
// SDL_VIDEODRIVER names) and, when that gives no window or no context, SDL's
// "offscreen" driver (an EGL context with no display). Destroying either
// window deletes the context and the window and quits SDL video: release every
// GL name first.
#include <string>

struct SDL_Window;

namespace qh {

// Where opening a window stopped, for callers that word each failure their
// own way.
struct GlWindowFailure {
    enum Step { none, video, window, context, entry_points };
    Step step = none;
    std::string detail;  // SDL's or GLEW's own text
};

// Core profile flags, double buffer, 24-bit depth, 8-bit stencil; applies to
// windows created afterwards.
void set_gl_attributes();

// glewInit for the current context. Only a missing core entry point is a
// failure: GLEW cannot query extensions without GLX on some setups (EGL,
// Wayland). Clears the GL error glewInit may leave behind. On failure `error`
// holds GLEW's text.
bool load_gl_entry_points(std::string& error);

class HiddenGlWindow {
public:
    HiddenGlWindow() = default;
    ~HiddenGlWindow();
    HiddenGlWindow(const HiddenGlWindow&) = delete;
    HiddenGlWindow& operator=(const HiddenGlWindow&) = delete;

    // True with a current context; false with error() telling why for every
    // driver tried.
    bool open(int width, int height);
    const std::string& error() const { return error_; }
    // The SDL video driver of the open window ("x11", "offscreen"...).
    const std::string& video_driver() const { return driver_; }

private:
    bool try_open(int width, int height, std::string& why);
    void close();

    SDL_Window* window_ = nullptr;
    void* context_ = nullptr;  // SDL_GLContext
    bool video_ = false;       // SDL video initialised by us
    std::string error_;
    std::string driver_;
};

// A window on the display SDL picks, with a current context and vertical
// sync asked for. No fallback: a window nobody can see is of no use here.
class ShownGlWindow {
public:
    enum Mode { resizable, fullscreen, borderless };

    ShownGlWindow() = default;
    ~ShownGlWindow();
    ShownGlWindow(const ShownGlWindow&) = delete;
    ShownGlWindow& operator=(const ShownGlWindow&) = delete;

    bool open(const std::string& title, int width, int height, Mode mode);
    const std::string& error() const { return error_; }
    const GlWindowFailure& failure() const { return failure_; }
    SDL_Window* window() const { return window_; }
    void* context() const { return context_; }  // SDL_GLContext
    void drawable_size(int& width, int& height) const;
    void swap();

private:
    void close();

    SDL_Window* window_ = nullptr;
    void* context_ = nullptr;  // SDL_GLContext
    bool video_ = false;
    std::string error_;
    GlWindowFailure failure_;
};

}  // namespace qh
