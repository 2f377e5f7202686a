#include "render/gl/gl_util.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>

#include "render/gl/device_allocation.h"

namespace qh {

int check_gl_errors(const char* label) {
    // A lost context reports errors for ever; stop after a bounded number.
    for (int i = 0; i < 64; ++i) {
        const GLenum err = glGetError();
        if (err == GL_NO_ERROR) break;
        std::printf("ERROR! %s: %x\n", label, err);
    }
    return 0;
}

GLint texture_unit_limit() {
    static const GLint limit = [] {
        GLint n = 0;
        glGetIntegerv(GL_MAX_COMBINED_TEXTURE_IMAGE_UNITS, &n);
        return n;
    }();
    return limit;
}

void clear_gl_errors() {
    for (int i = 0; i < 64 && glGetError() != GL_NO_ERROR; ++i) {
    }
}

GLuint create_rgba_texture(int width, int height, const void* pixels, GLint wrap,
                           std::string& problem) {
    GLuint tex = 0;
    glGenTextures(1, &tex);
    glBindTexture(GL_TEXTURE_2D, tex);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, wrap);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, wrap);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    problem = allocate_checked([&] {
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
    });
    if (problem.empty()) return tex;
    glBindTexture(GL_TEXTURE_2D, 0);
    glDeleteTextures(1, &tex);
    return 0;
}

GLuint create_color_texture(float r, float g, float b, float a) {
    // Eight bits a channel, as an unsized RGBA texture stores them anyway;
    // converted here, since WebGL2 takes no floats for one.
    const auto byte = [](float v) { return static_cast<uint8_t>(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f)); };
    const uint8_t rgba[4] = {byte(r), byte(g), byte(b), byte(a)};
    GLuint tex = 0;
    glGenTextures(1, &tex);
    glBindTexture(GL_TEXTURE_2D, tex);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_R, GL_REPEAT);
    glBindTexture(GL_TEXTURE_2D, 0);
    return tex;
}

}  // namespace qh
