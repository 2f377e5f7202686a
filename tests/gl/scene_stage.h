#pragma once
// What the scene tests of the gl tier share: a model built from GLB bytes, a
// scene showing it through a camera, an effect drawing that scene, and where
// world points land in the back buffer.
//
//   class MyTest : public SceneGlTest {};
//   Stage stage(glb, std::move(program));         // camera at (0, 0, 6) looking at 0
//   stage.draw();  stage.at({1, 0, 0})             // both passes; a pixel
#include <cstdint>
#include <memory>
#include <vector>

#include <glm/vec2.hpp>
#include <glm/vec3.hpp>

#include "gl/gl_context.h"
#include "render/effect.h"
#include "render/shader_program.h"
#include "scene3d/camera.h"
#include "scene3d/model.h"
#include "scene3d/scene.h"
#include "scene3d/scene_renderer.h"
#include "scene3d/scene_view.h"

namespace qh::gltest {

inline constexpr int shadow_size = 256;  // the player's 8192 is slow on a software renderer

std::unique_ptr<Model> built_model(const std::vector<uint8_t>& glb);
Camera camera_at(glm::vec3 eye, glm::vec3 target);
// Where a world point lands in normalised device coordinates, and in the
// back buffer (y from the bottom), and its colour. Worked out from the
// camera's fields (looking from `position` at the point `direction`), not
// through its matrices, which the picture is drawn with.
glm::vec2 ndc_of(const Camera& camera, glm::vec3 world);
glm::ivec2 pixel_of(const Camera& camera, glm::vec3 world);
Rgba pixel_at(const Camera& camera, glm::vec3 world);
bool is_black(Rgba c);

// A model, a scene showing it through a camera looking at `target` from
// `eye`, and an effect drawing the scene with a program.
struct Stage {
    Stage(const std::vector<uint8_t>& glb, std::unique_ptr<ShaderProgram> p, glm::vec3 eye = {0, 0, 6},
          glm::vec3 target = {0, 0, 0});

    // The light at `position`, looking at the origin.
    void light_from(glm::vec3 position, float half_size = 10);
    // A frame at `beat` drawing through the stage's renderer and views.
    FrameContext frame(float beat);
    // Both passes, as the player draws an effect with a scene (no event).
    void draw();
    Rgba at(glm::vec3 world) const { return pixel_at(view, world); }

    std::unique_ptr<Model> model;
    std::unique_ptr<ShaderProgram> program;
    Camera view;  // the scene camera as made, for finding points on screen
    Scene scene;
    std::unique_ptr<Effect> effect;
    SceneRenderer renderer;
    SceneViews views;
};

// No GL error left at the end of the test.
class SceneGlTest : public GlTest {
protected:
    void TearDown() override;
};

}  // namespace qh::gltest
