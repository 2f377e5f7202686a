#include "platform/gl_window.h"

#include <GL/glew.h>
#include <SDL.h>


namespace qh {

namespace {

constexpr const char* offscreen_driver = "offscreen";

std::string current_driver() {
    const char* d = SDL_GetCurrentVideoDriver();
    return d ? d : "";
}

}  // namespace

void set_gl_attributes() {
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_FLAGS, 0);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
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
    if (try_open(width, height, why)) return true;
    const std::string first_driver = driver_.empty() ? "the default driver" : driver_;
    error_ = first_driver + ": " + why;
    close();
    if (driver_ == offscreen_driver) return false;

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
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        why = SDL_GetError();
        return false;
    }
    video_ = true;
    driver_ = current_driver();
    set_gl_attributes();
    window_ = SDL_CreateWindow("quill", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, width,
                               height, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    if (!window_) {
        why = std::string("no window: ") + SDL_GetError();
        return false;
    }
    context_ = SDL_GL_CreateContext(window_);
    if (!context_) {
        why = std::string("no OpenGL context: ") + SDL_GetError();
        return false;
    }
    std::string glew;
    if (!load_gl_entry_points(glew)) {
        why = "cannot load the OpenGL entry points: " + glew;
        return false;
    }
    return true;
}

void HiddenGlWindow::close() {
    if (context_) SDL_GL_DeleteContext(static_cast<SDL_GLContext>(context_));
    context_ = nullptr;
    if (window_) SDL_DestroyWindow(window_);
    window_ = nullptr;
    if (video_) SDL_QuitSubSystem(SDL_INIT_VIDEO);
    video_ = false;
}

}  // namespace qh
