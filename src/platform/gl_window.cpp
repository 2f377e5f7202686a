#include "platform/gl_window.h"

#include <GL/glew.h>
#include <SDL.h>

#include <cstdlib>

namespace qh {

namespace {

constexpr const char* offscreen_driver = "offscreen";

std::string current_driver() {
    const char* d = SDL_GetCurrentVideoDriver();
    return d ? d : "";
}

// Video, a window with `flags` and a current context with its entry points;
// what was made is left in the out-parameters for the caller to release,
// also on failure.
bool open_gl_window(const std::string& title, int width, int height, uint32_t flags, bool& video,
                    SDL_Window*& window, void*& context, GlWindowFailure& failure) {
    failure = {};
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        failure = {GlWindowFailure::video, SDL_GetError()};
        return false;
    }
    video = true;
    set_gl_attributes();
    window = SDL_CreateWindow(title.c_str(), SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, width,
                              height, SDL_WINDOW_OPENGL | flags);
    if (!window) {
        failure = {GlWindowFailure::window, SDL_GetError()};
        return false;
    }
    context = SDL_GL_CreateContext(window);
    if (!context) {
        failure = {GlWindowFailure::context, SDL_GetError()};
        return false;
    }
    std::string glew;
    if (!load_gl_entry_points(glew)) {
        failure = {GlWindowFailure::entry_points, glew};
        return false;
    }
    return true;
}

// Whether SDL's own choice of driver may find a display. Without any trace
// of one, trying a Wayland connection only makes the client library print
// "XDG_RUNTIME_DIR is invalid or not set" before the offscreen driver works.
bool display_may_exist() {
#ifdef __linux__
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "XDG_RUNTIME_DIR", "SDL_VIDEODRIVER"}) {
        if (const char* v = std::getenv(name); v && *v) return true;
    }
    return false;
#else
    return true;
#endif
}

// The tools' words for a failure.
std::string describe(const GlWindowFailure& failure) {
    switch (failure.step) {
    case GlWindowFailure::window: return "no window: " + failure.detail;
    case GlWindowFailure::context: return "no OpenGL context: " + failure.detail;
    case GlWindowFailure::entry_points: return "cannot load the OpenGL entry points: " + failure.detail;
    default: return failure.detail;
    }
}

void close_gl_window(bool& video, SDL_Window*& window, void*& context) {
    if (context) SDL_GL_DeleteContext(static_cast<SDL_GLContext>(context));
    context = nullptr;
    if (window) SDL_DestroyWindow(window);
    window = nullptr;
    if (video) SDL_QuitSubSystem(SDL_INIT_VIDEO);
    video = false;
}

}  // namespace

void set_gl_attributes() {
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_FLAGS, 0);
#ifdef __EMSCRIPTEN__
    // A browser offers WebGL2: OpenGL ES 3.0.
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_ES);
#else
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
#endif
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 0);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 8);
}

bool load_gl_entry_points(std::string& error) {
    glewExperimental = GL_TRUE;  // core profiles need it for the entry points to load
    const GLenum glew = glewInit();
    if (glew != GLEW_OK && !glGenVertexArrays) {
        error = reinterpret_cast<const char*>(glewGetErrorString(glew));
        return false;
    }
    glGetError();  // glewInit may leave GL_INVALID_ENUM behind on core profiles
    return true;
}

HiddenGlWindow::~HiddenGlWindow() { close(); }

bool HiddenGlWindow::open(int width, int height) {
    close();
    error_.clear();
    std::string why;
    if (!display_may_exist()) {
        error_ = "no display (DISPLAY and WAYLAND_DISPLAY are not set)";
    } else {
        if (try_open(width, height, why)) return true;
        const std::string first_driver = driver_.empty() ? "the default driver" : driver_;
        error_ = first_driver + ": " + why;
        close();
        if (driver_ == offscreen_driver) return false;
    }

    // No display (or no GL from it): SDL's offscreen driver makes an EGL
    // context with no window system at all. The override beats an
    // SDL_VIDEODRIVER the environment may name.
    SDL_SetHintWithPriority(SDL_HINT_VIDEODRIVER, offscreen_driver, SDL_HINT_OVERRIDE);
    why.clear();
    if (try_open(width, height, why)) return true;
    error_ += "; " + std::string(offscreen_driver) + ": " + why;
    close();
    return false;
}

bool HiddenGlWindow::try_open(int width, int height, std::string& why) {
    driver_.clear();
    GlWindowFailure failure;
    const bool ok = open_gl_window("quill", width, height, SDL_WINDOW_HIDDEN, video_, window_,
                                   context_, failure);
    if (video_) driver_ = current_driver();
    if (!ok) why = describe(failure);
    return ok;
}

void HiddenGlWindow::close() { close_gl_window(video_, window_, context_); }

ShownGlWindow::~ShownGlWindow() { close(); }

bool ShownGlWindow::open(const std::string& title, int width, int height, Mode mode) {
    close();
    error_.clear();
    const uint32_t flags = mode == fullscreen   ? SDL_WINDOW_FULLSCREEN_DESKTOP
                           : mode == borderless ? SDL_WINDOW_BORDERLESS
                                                : SDL_WINDOW_RESIZABLE;
    if (!open_gl_window(title, width, height, flags, video_, window_, context_, failure_)) {
        error_ = describe(failure_);
        close();
        return false;
    }
    SDL_GL_SetSwapInterval(1);
    return true;
}

void ShownGlWindow::drawable_size(int& width, int& height) const {
    width = height = 0;
    if (window_) SDL_GL_GetDrawableSize(window_, &width, &height);
}

void ShownGlWindow::swap() {
    if (window_) SDL_GL_SwapWindow(window_);
}

void ShownGlWindow::close() { close_gl_window(video_, window_, context_); }

}  // namespace qh
