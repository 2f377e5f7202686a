#pragma once
// The device side of the records an effect uses but cannot see: the scene
// renderer lives above render/, so it is reached through what it installs
// here at start-up. (Text textures need nothing here: their records keep
// their GL name, which the effect reads.)
//
//   class MySceneDrawer : public SceneDrawer { ... };   // a scene renderer
//   install_scene_drawer(&drawer);                      // once, before drawing
//
// With nothing installed, an effect with a scene draws nothing, saying so
// once.
#include <cstdint>

namespace qh {

class Scene;
class ShaderProgram;

class SceneDrawer {
public:
    virtual ~SceneDrawer() = default;
    // Bind the scene's depth target, set the viewport to its size, clear depth.
    virtual void begin_shadow_pass(Scene& scene) = 0;
    // GL name of the scene's shadow map (0 when it has none).
    virtual uint32_t shadow_texture(Scene& scene) = 0;
    // Draw the scene's model with `program` (current, its uniforms and scene
    // texture units set); `shadow_pass` selects the light's view. The pose
    // is the one the scene's model holds now: whatever the effect's hook set
    // for this pass.
    virtual void draw(Scene& scene, ShaderProgram& program, bool shadow_pass) = 0;
};

// Not owned; null removes it. Returns the previous one.
SceneDrawer* install_scene_drawer(SceneDrawer* drawer);
SceneDrawer* scene_drawer();

}  // namespace qh
