// Device side of Effect: its quad and colour target, the screen copy, the
// binding of inputs to texture units, the standard uniforms and the draw.
#include <GL/glew.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "render/effect.h"
#include "render/gl/device_allocation.h"
#include "render/gl/gl_util.h"
#include "render/scene_drawer.h"
#include "render/shader_program.h"
#include "render/texture.h"
#include "text/font_texture.h"

namespace qh {

namespace {

// Two triangles covering clip space.
constexpr float quad_vertices[] = {
    -1, -1, 0, -1, 1, 0, 1, 1, 0,
    1, 1, 0, 1, -1, 0, -1, -1, 0,
};
static_assert(sizeof quad_vertices == 72);

// Units past the device's limit (texture_unit_limit) cannot be bound; they
// are still counted so the inputs after them keep the units the shader
// expects.
// Takes the next unit for `texture` (0 binds nothing there).
class UnitAssigner {
public:
    int next(GLuint texture) {
        if (unit_ < texture_unit_limit()) {
            glActiveTexture(GL_TEXTURE0 + unit_);
            glBindTexture(GL_TEXTURE_2D, texture);
        }
        return unit_++;
    }
    int used() const { return unit_; }

private:
    int unit_ = 0;
};

void unbind_units(int count) {
    count = std::min(count, static_cast<int>(texture_unit_limit()));
    for (int i = 0; i < count; ++i) {
        glActiveTexture(GL_TEXTURE0 + i);
        glBindTexture(GL_TEXTURE_2D, 0);
    }
    glActiveTexture(GL_TEXTURE0);
}

void set_render_viewport(const ScreenSize& s) { glViewport(0, 0, s.render_width, s.render_height); }

// What a target that cannot be made is called in the fatal report.
std::string target_label(const std::string& effect, const char* what, const ScreenSize& s) {
    return "effect \"" + effect + "\": its " + what + " (" + std::to_string(s.render_width) + " x " +
           std::to_string(s.render_height) + ")";
}

}  // namespace

DeviceState Effect::device_state() const {
    if (gpu.target_complete) return DeviceState::made();
    if (gpu.target_status == 0) return {};
    return DeviceState::incomplete("target incomplete", gpu.target_status);
}

Effect::Effect(std::string name_, ShaderProgram* program_, Texture* texture, Effect* input,
               bool feedback_, bool screen_texture_, Scene* scene_)
    : program(program_), scene(scene_), name(std::move(name_)), feedback(feedback_),
      screen_texture(screen_texture_) {
    if (texture) textures.push_back(texture);
    if (input) effects.push_back(input);
}

void Effect::create_gpu_objects(const ScreenSize& s) {
    gpu.target_status = 0;
    gpu.target_complete = false;
    if (!program) return;

    gpu.quad_vertex_array = GlVertexArray::generate();
    glBindVertexArray(gpu.quad_vertex_array);
    gpu.quad_buffer = GlBuffer::generate();
    glBindBuffer(GL_ARRAY_BUFFER, gpu.quad_buffer);
    glBufferData(GL_ARRAY_BUFFER, sizeof quad_vertices, quad_vertices, GL_STATIC_DRAW);
    // A program without "vp" (a vertex shader of its own, or a failed build)
    // leaves the attribute unset rather than raising GL errors.
    if (program->gpu.vp_location >= 0) {
        const GLuint vp = static_cast<GLuint>(program->gpu.vp_location);
        glEnableVertexAttribArray(vp);
        glVertexAttribPointer(vp, 3, GL_FLOAT, GL_FALSE, 0, nullptr);
    }
    // Nothing else may record its attributes into the quad's vertex array.
    glBindVertexArray(0);

    // Made at the first draw, this runs between the binding of a frame's
    // texture (the sound texture) and its use: the active unit keeps what it had.
    GLint outer_texture = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &outer_texture);
    gpu.target_framebuffer = GlFramebuffer::generate();
    gpu.target_texture = GlTexture::generate();
    glBindTexture(GL_TEXTURE_2D, gpu.target_texture);
    require_allocation(target_label(name, "colour target", s), allocate_checked([&] {
                           glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, s.render_width, s.render_height, 0,
                                        GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
                       }));
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(outer_texture));

    GLint outer_framebuffer = 0;  // the screen in the player; given back below
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &outer_framebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, gpu.target_framebuffer);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, gpu.target_texture,
                           0);
    const GLenum colour = GL_COLOR_ATTACHMENT0;
    glDrawBuffers(1, &colour);
    const GLenum status = glCheckFramebufferStatus(GL_FRAMEBUFFER);
    gpu.target_status = status;
    gpu.target_complete = status == GL_FRAMEBUFFER_COMPLETE;
    if (status != GL_FRAMEBUFFER_COMPLETE) std::printf("FB Error! Status: 0x%x\n", status);
    glBindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(outer_framebuffer));
}

void Effect::ensure_copy_target(const ScreenSize& s) {
    if (gpu.copy_texture && gpu.copy_width == s.render_width && gpu.copy_height == s.render_height) {
        return;
    }
    // Made during a draw: the active unit keeps its texture, the draw its target.
    GLint outer_texture = 0, outer_framebuffer = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &outer_texture);
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &outer_framebuffer);
    // Black until the first copy: feedback samples it before anything is copied.
    const std::vector<uint8_t> black(static_cast<size_t>(std::max(s.render_width, 0)) *
                                     static_cast<size_t>(std::max(s.render_height, 0)) * 4);
    std::string problem;
    gpu.copy_texture = GlTexture(
        create_rgba_texture(s.render_width, s.render_height, black.data(), GL_CLAMP_TO_EDGE, problem));
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(outer_texture));
    require_allocation(target_label(name, "screen copy", s), problem);
    gpu.copy_width = s.render_width;
    gpu.copy_height = s.render_height;

    gpu.copy_framebuffer = GlFramebuffer::generate();
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, gpu.copy_framebuffer);
    glFramebufferTexture2D(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, gpu.copy_texture,
                           0);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, static_cast<GLuint>(outer_framebuffer));
}

void Effect::capture_screen(const FrameContext& frame) {
    ensure_copy_target(frame.screen);
    GLint read_framebuffer = 0, draw_framebuffer = 0, read_buffer = 0;
    glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &read_framebuffer);
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &draw_framebuffer);
    // Inside another effect's target (drawn as an input) the copy comes from
    // that target; naming the back buffer there would only be a GL error.
    if (read_framebuffer == 0) {
        glGetIntegerv(GL_READ_BUFFER, &read_buffer);
        glReadBuffer(GL_BACK);
    }
    // The scissor would clip the blit; the copy is always the whole screen.
    const GLboolean scissor = glIsEnabled(GL_SCISSOR_TEST);
    if (scissor) glDisable(GL_SCISSOR_TEST);
    // A blit keeps GL's orientation (bottom row first) and converts to the
    // texture's RGBA bytes, alpha 1 where the framebuffer has none.
    const GLint w = gpu.copy_width, h = gpu.copy_height;
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, gpu.copy_framebuffer);
    glBlitFramebuffer(0, 0, w, h, 0, 0, w, h, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, static_cast<GLuint>(draw_framebuffer));
    if (scissor) glEnable(GL_SCISSOR_TEST);
    if (read_framebuffer == 0) glReadBuffer(static_cast<GLenum>(read_buffer));
    glBindTexture(GL_TEXTURE_2D, gpu.copy_texture);
}

int Effect::bind_inputs(const FrameContext& frame, ShaderProgram& p, bool render_inputs,
                        ScenePass* pass) {
    const ScreenSize& s = frame.screen;
    if (render_inputs && !effects.empty()) {
        GLint outer_framebuffer = 0;  // the screen in the player
        glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &outer_framebuffer);
        for (Effect* input : effects) {
            if (input && !input->gpu.quad_vertex_array) input->create_gpu_objects(s);  // never realized
            // An input with no target (no program) has nothing to draw into;
            // binding its framebuffer 0 would clear the screen instead.
            if (!input || !input->gpu.target_framebuffer) continue;
            glBindFramebuffer(GL_FRAMEBUFFER, input->gpu.target_framebuffer);
            glViewport(0, 0, s.width, s.height);
            glClear(GL_COLOR_BUFFER_BIT);
            input->draw(frame, nullptr, false);
            glBindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(outer_framebuffer));
            set_render_viewport(s);
        }
    }
    if (feedback) ensure_copy_target(s);
    p.use();

    UnitAssigner units;
    if (feedback) units.next(gpu.copy_texture);
    for (const Texture* t : textures) units.next(t ? t->gl_name() : 0);
    for (const FontTexture* f : font_textures) units.next(f ? f->gl_name() : 0);
    for (const Effect* e : effects) units.next(e ? e->gpu.target_texture.get() : 0);
    if (screen_texture) {
        // The copy is bound on its own unit, so earlier units keep theirs.
        const int unit = units.next(0);
        if (unit < texture_unit_limit()) glActiveTexture(GL_TEXTURE0 + unit);
        capture_screen(frame);
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    }
    if (scene) {
        SceneDrawer* drawer = frame.scene_drawer;
        std::array<uint32_t, 4> set_aside{};
        set_aside[ScenePass::shadow_map_unit] =
            GL_TEXTURE0 + units.next(drawer ? drawer->shadow_texture(*scene) : 0);
        set_aside[ScenePass::base_color_unit] = GL_TEXTURE0 + units.next(0);
        set_aside[ScenePass::metallic_roughness_unit] = GL_TEXTURE0 + units.next(0);
        set_aside[ScenePass::material_extra_unit] = GL_TEXTURE0 + units.next(0);
        if (pass) pass->texture_units = set_aside;
    }
    return units.used();
}

void Effect::upload_standard_uniforms(const FrameContext& frame) {
    if (!program) return;
    const ShaderProgram::Gpu& g = program->gpu;
    auto loc = [&](StandardUniform u) { return g.location(u); };
    const float beat = frame.beat;
    const ScreenSize& s = frame.screen;

    if (loc(StandardUniform::beat) != -1) glUniform1f(loc(StandardUniform::beat), beat);
    if (loc(StandardUniform::iTime2) != -1) {
        glUniform2f(loc(StandardUniform::iTime2), beat, beat - std::trunc(beat));
    }
    if (loc(StandardUniform::sound) != -1) {
        glUniform1i(loc(StandardUniform::sound), frame.sound_level);
    }
    if (loc(StandardUniform::sound_texture) != -1) {
        glUniform1i(loc(StandardUniform::sound_texture), sound_texture_unit);
    }
    for (int i = 0; i < sampler_slot_count; ++i) {
        const GLint l = loc(static_cast<StandardUniform>(static_cast<int>(StandardUniform::tex0) + i));
        if (l != -1) glUniform1i(l, i);
    }
    if (loc(StandardUniform::resolution) != -1) {
        glUniform2f(loc(StandardUniform::resolution), static_cast<float>(s.render_width),
                    static_cast<float>(s.render_height));
    }
    // Nothing in the player moves the global view; shaders read zeros.
    if (loc(StandardUniform::camera_position) != -1) {
        glUniform3f(loc(StandardUniform::camera_position), 0, 0, 0);
    }
    if (loc(StandardUniform::camera_rotation) != -1) {
        glUniform3f(loc(StandardUniform::camera_rotation), 0, 0, 0);
    }
}

void Effect::upload_uniform_defaults() {
    if (!program || !program->usable()) return;
    program->use();
    for (const UniformDef& def : program->uniform_defs) def.upload_default();
}

void Effect::draw(const FrameContext& frame, const std::function<void(ShaderProgram*)>& hook,
                  bool render_inputs) {
    if (!program || !program->usable()) return;
    if (!gpu.quad_vertex_array) create_gpu_objects(frame.screen);  // never realized: make them now
    if (scene) {
        draw_scene(frame, *program, hook, render_inputs);
        return;
    }
    const int n = bind_inputs(frame, *program, render_inputs);
    upload_standard_uniforms(frame);
    if (hook) hook(nullptr);
    glBindVertexArray(gpu.quad_vertex_array);
    glDrawArrays(GL_TRIANGLES, 0, 6);
    glBindVertexArray(0);
    unbind_units(n);
}

void Effect::draw_scene(const FrameContext& frame, ShaderProgram& p,
                        const std::function<void(ShaderProgram*)>& hook, bool render_inputs) {
    SceneDrawer* drawer = frame.scene_drawer;
    if (!drawer) {
        if (!gpu.scene_warning_given) {
            std::printf("Warn: effect %s draws a scene, but the frame has no scene renderer; "
                        "nothing is drawn\n",
                        name.c_str());
            gpu.scene_warning_given = true;
        }
        return;
    }
    // The main pass goes back to where the effect was asked to draw: the
    // screen at top level, the input target when drawn as another's input.
    GLint framebuffer = 0;
    GLint viewport[4] = {};
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &framebuffer);
    glGetIntegerv(GL_VIEWPORT, viewport);
    const GLint shadow_flag = p.gpu.location(StandardUniform::uIsShadowRenderPass);

    ScenePass shadow{.shadow = true, .views = frame.scene_views};
    drawer->begin_shadow_pass(*scene);
    const int n = bind_inputs(frame, p, false, &shadow);
    upload_standard_uniforms(frame);
    p.set_int(shadow_flag, 1);
    if (hook) hook(nullptr);
    drawer->draw(*scene, p, shadow);
    unbind_units(n);

    glBindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(framebuffer));
    glViewport(viewport[0], viewport[1], viewport[2], viewport[3]);

    ScenePass main{.shadow = false, .views = frame.scene_views};
    const int m = bind_inputs(frame, p, render_inputs, &main);
    upload_standard_uniforms(frame);
    p.set_int(shadow_flag, 0);
    if (hook) hook(nullptr);
    drawer->draw(*scene, p, main);
    unbind_units(m);
}

}  // namespace qh
