#include "render/gl/device_allocation.h"

#include <GL/glew.h>

#include <cstdio>

#include "render/gl/gl_util.h"

namespace qh {

namespace {

std::string error_text(GLenum error) {
    switch (error) {
        case GL_OUT_OF_MEMORY: return "the device is out of memory";
        case GL_INVALID_VALUE: return "GL_INVALID_VALUE (a size the device does not take)";
        case GL_INVALID_ENUM: return "GL_INVALID_ENUM";
        case GL_INVALID_OPERATION: return "GL_INVALID_OPERATION";
        default: break;
    }
    char text[32];
    std::snprintf(text, sizeof text, "GL error 0x%x", error);
    return text;
}

}  // namespace

std::string allocate_checked(const std::function<void()>& allocate) {
    clear_gl_errors();
    allocate();
    const GLenum first = glGetError();
    // After out of memory GL may report more; they all belong to this call.
    clear_gl_errors();
    return first == GL_NO_ERROR ? std::string() : error_text(first);
}

void require_allocation(const std::string& what, const std::string& problem) {
    if (!problem.empty()) throw DeviceAllocationError(what + " cannot be made: " + problem);
}

}  // namespace qh
