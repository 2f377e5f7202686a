// Device side of Scene: the shadow target.
#include <GL/glew.h>

#include <cstdio>
#include <string>

#include "render/gl/device_allocation.h"
#include "scene3d/scene.h"

namespace qh {

namespace {

#ifdef __EMSCRIPTEN__
// WebGL2 makes depth textures in sized formats alone and filters none of them.
constexpr GLint shadow_depth_format = GL_DEPTH_COMPONENT32F;
constexpr GLint shadow_depth_filter = GL_NEAREST;
#else
constexpr GLint shadow_depth_format = GL_DEPTH_COMPONENT;
constexpr GLint shadow_depth_filter = GL_LINEAR;
#endif

}  // namespace

DeviceState Scene::device_state() const {
    if (gpu.shadow_complete) return DeviceState::made();
    if (!gpu.shadow_problem.empty()) return DeviceState::failure({gpu.shadow_problem});
    if (gpu.shadow_status == 0) return {};
    return DeviceState::incomplete("shadow target incomplete", gpu.shadow_status);
}

void Scene::realize() {
    gpu.shadow_problem.clear();
    gpu.shadow_framebuffer.reset();
    gpu.shadow_texture.reset();
    const int32_t w = gpu.shadow_width, h = gpu.shadow_height;
    // Whoever calls this may be drawing into a framebuffer of their own.
    GLint previous = 0;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &previous);

    gpu.shadow_texture = GlTexture::generate();
    glBindTexture(GL_TEXTURE_2D, gpu.shadow_texture);
    GLint max_side = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &max_side);
    // A size the device cannot make leaves the texture without storage (so
    // the framebuffer reports itself incomplete) rather than raising errors.
    if (w > 0 && h > 0 && w <= max_side && h <= max_side) {
        const std::string problem = allocate_checked([&] {
            glTexImage2D(GL_TEXTURE_2D, 0, shadow_depth_format, w, h, 0, GL_DEPTH_COMPONENT, GL_FLOAT,
                         nullptr);
        });
        if (!problem.empty()) {
            // Left out, with no shadow pass. The framebuffer's name is kept
            // so that drawing does not try to make the target again.
            std::printf("Warn: scene \"%s\": its shadow target (%d x %d) cannot be made: %s; it "
                        "has no shadow pass\n",
                        name.c_str(), w, h, problem.c_str());
            glBindTexture(GL_TEXTURE_2D, 0);
            gpu.shadow_texture.reset();
            gpu.shadow_framebuffer = GlFramebuffer::generate();
            gpu.shadow_status = 0;
            gpu.shadow_complete = false;
            gpu.shadow_problem = "shadow target cannot be made: " + problem;
            return;
        }
    }
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, shadow_depth_filter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, shadow_depth_filter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glBindTexture(GL_TEXTURE_2D, 0);

    gpu.shadow_framebuffer = GlFramebuffer::generate();
    glBindFramebuffer(GL_FRAMEBUFFER, gpu.shadow_framebuffer);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_TEXTURE_2D, gpu.shadow_texture, 0);
    const GLenum no_colour = GL_NONE;
    glDrawBuffers(1, &no_colour);
    glReadBuffer(GL_NONE);
    const GLenum status = glCheckFramebufferStatus(GL_FRAMEBUFFER);
    gpu.shadow_status = status;
    gpu.shadow_complete = status == GL_FRAMEBUFFER_COMPLETE;
    if (!gpu.shadow_complete) std::printf("FB Error! Status: 0x%x\n", status);
    glBindFramebuffer(GL_FRAMEBUFFER, GLuint(previous));
}

}  // namespace qh
