#pragma once
// The device side of the records an effect uses but cannot see: scenes and
// text textures live above render/, so they are reached through what their
// own subsystems install here at start-up.
//
//   class MySceneDrawer : public SceneDrawer { ... };   // a scene renderer
//   install_scene_drawer(&drawer);                      // once, before drawing
//   install_font_texture_gl_name([](const FontTexture& f) { return ...; });
//
// The accessors run while an effect binds its inputs, so they only report
// names: they must not create, bind or upload anything.
//
// With nothing installed, a text texture binds no texture (its unit is still
// used up, so later inputs keep their units) and an effect with a scene draws
// nothing, saying so once.
#include <cstdint>

namespace qh {

class FontTexture;
class Scene;
class ShaderProgram;

class SceneDrawer {
public:
    virtual ~SceneDrawer() = default;
    // Bind the scene's depth target, set the viewport to its size, clear depth.
    virtual void begin_shadow_pass(Scene& scene) = 0;
    // GL name of the scene's shadow map (0 when it has none).
    virtual uint32_t shadow_texture(Scene& scene) = 0;
    // Upload the joint matrices of the root node's model to uniform-buffer
    // binding point 0; nothing when the model has no skeleton.
    virtual void upload_joint_matrices(Scene& scene) = 0;
    // Draw the scene's model with `program` (current, its uniforms and scene
    // texture units set); `shadow_pass` selects the light's view.
    virtual void draw(Scene& scene, ShaderProgram& program, bool shadow_pass) = 0;
};

// Not owned; null removes it. Returns the previous one.
SceneDrawer* install_scene_drawer(SceneDrawer* drawer);
SceneDrawer* scene_drawer();

// The GL texture a FontTexture's text is rendered into (0: none yet).
using FontTextureGlName = uint32_t (*)(const FontTexture&);
FontTextureGlName install_font_texture_gl_name(FontTextureGlName reader);
uint32_t font_texture_gl_name(const FontTexture& texture);

}  // namespace qh
