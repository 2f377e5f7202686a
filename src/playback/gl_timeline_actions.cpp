#include "playback/gl_timeline_actions.h"

#include <GL/glew.h>

#include "playback/frame_composition.h"
#include "render/effect.h"
#include "render/shader_program.h"
#include "render/texture.h"
#include "scene3d/scene_view.h"
#include "text/font_texture.h"
#include "timeline/scene_keys.h"
#include "timeline/text_value.h"

namespace qh {

namespace {

const std::function<void(ShaderProgram*)> no_hook;

struct ApplyCall {
    const FrameContext* frame;
    const Event* event;
    float beat;
    const Event* parent;
};

// The parameter callback; the effect has made its program current. Every
// uniform goes up as one float, whatever its GLSL type. A member of a group
// moves its scene by its own curves: the parent overrides uniforms only.
// Without scene views in the frame the keys still pose the model, but move
// no camera that lasts.
void apply(const ApplyCall& call) {
    const Event& event = *call.event;
    const ShaderProgram* program = event.effect ? event.effect->program : nullptr;
    if (!program) return;
    for (const UniformDef& def : program->uniform_defs)
        if (def.gpu.location != -1) def.upload(uniform_value(event, call.parent, def, call.beat));
    if (Scene* scene = event.effect->scene) {
        SceneView unkept;
        SceneView& view = call.frame->scene_views ? call.frame->scene_views->of(*scene) : unkept;
        apply_scene_keys(*scene, view, scene_keys(event, call.beat));
    }
}

}  // namespace

void update_event_texts(const Event& event, float beat, const Event* parent, float clock_beat,
                        std::string& scratch) {
    if (!event.effect) return;
    for (FontTexture* texture : event.effect->font_textures) {
        if (!texture) continue;
        text_for_texture(event, parent, texture->name, texture->chars_per_beat, beat, clock_beat,
                         scratch);
        texture->set_text(scratch);
    }
}

void GlTimelineActions::update_texts(const FrameContext& frame, const Event& event, float beat,
                                     const Event* parent) {
    if (update_texts_hook) update_texts_hook(event, beat, parent, frame);
}

void GlTimelineActions::refresh_input(const FrameContext& frame, Effect& input) {
    input.upload_uniform_defaults();
    input.draw(frame, no_hook, true);
    input.capture_screen(frame);
}

void GlTimelineActions::draw_effect(const FrameContext& frame, const Event& event, float beat,
                                    const Event* parent) {
    Effect& effect = *event.effect;
    const ApplyCall call{&frame, &event, beat, parent};
    const ApplyCall* pending = &call;
    // A single captured pointer fits inside std::function: no allocation per draw.
    const std::function<void(ShaderProgram*)> hook = [pending](ShaderProgram*) { apply(*pending); };
    // The location was looked up when the program was built; asking GL by name
    // again on every draw of every frame buys nothing.
    const bool bind_sound = frame.sound_texture != 0 && effect.program &&
                            effect.program->gpu.location(StandardUniform::sound_texture) != -1;
    if (bind_sound) {
        glActiveTexture(GL_TEXTURE0 + sound_texture_unit);
        glBindTexture(GL_TEXTURE_2D, frame.sound_texture);
    }
    effect.draw(frame, hook, true);
    if (bind_sound) {
        glActiveTexture(GL_TEXTURE0 + sound_texture_unit);
        glBindTexture(GL_TEXTURE_2D, 0);
    }
}

void GlTimelineActions::play_sample(AudioSample& sample) {
    if (play_sample_hook) play_sample_hook(sample);
}

Effect* compose_frame(const TimelineDispatch& dispatch, TimelineActions& actions, FrameContext frame,
                      const Texture* sound_texture, const uint8_t* capture) {
    upload_sound_texture(sound_texture, capture);
    frame.sound_texture = sound_texture ? sound_texture->gl_name() : 0;
    return dispatch.play(frame, actions);
}

}  // namespace qh
