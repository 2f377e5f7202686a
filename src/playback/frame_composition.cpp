#include "playback/frame_composition.h"

#include <GL/glew.h>

#include "render/texture.h"

namespace qh {

void set_composition_state() {
    glClearColor(0, 0, 0, 1);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
}

void upload_sound_texture(const Texture* sound_texture, const uint8_t* capture) {
    if (!sound_texture || !capture || sound_texture->gl_name() == 0) return;
    // Always the capture's own size: the texture record's size is not trusted
    // to describe the capture buffer, which is all that may be read.
    glBindTexture(GL_TEXTURE_2D, sound_texture->gl_name());
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, sound_capture_width, sound_capture_height, 0, GL_RGBA,
                 GL_UNSIGNED_BYTE, capture);
}

}  // namespace qh
