#pragma once
// How an effect draws its scene: the scene renderer lives above render/, so
// the effect reaches it through this interface, handed down in the frame
// (FrameContext::scene_drawer). (Text textures need nothing here: their
// records keep their GL name, which the effect reads.)
//
//   drawer.begin_shadow_pass(scene);                 // depth target bound
//   drawer.draw(scene, program, ScenePass{...});     // once per pass
//
// A frame without a drawer draws no scene, saying so once per effect.
#include <array>
#include <cstdint>

namespace qh {

class Scene;
class SceneViews;
class ShaderProgram;

// What one pass over a scene is given.
struct ScenePass {
    // Texture units (GL_TEXTURE0 + n) the effect set aside after its own
    // inputs, indexed by Unit.
    enum Unit { base_color_unit, metallic_roughness_unit, material_extra_unit, shadow_map_unit };

    bool shadow = false;  // the light's view, into the scene's depth target
    std::array<uint32_t, 4> texture_units{};
    // The cameras and instance count of this frame (the frame's scene views);
    // null: the scene as it is stored.
    SceneViews* views = nullptr;
};

class SceneDrawer {
public:
    virtual ~SceneDrawer() = default;
    // Bind the scene's depth target, set the viewport to its size, clear depth.
    virtual void begin_shadow_pass(Scene& scene) = 0;
    // GL name of the scene's shadow map (0 when it has none).
    virtual uint32_t shadow_texture(Scene& scene) = 0;
    // Draw the scene's model with `program` (current, its uniforms set). The
    // pose is the one the scene's model holds now: whatever the effect's hook
    // set for this pass.
    virtual void draw(Scene& scene, ShaderProgram& program, const ScenePass& pass) = 0;
};

}  // namespace qh
