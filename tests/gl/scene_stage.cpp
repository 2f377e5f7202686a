#include "gl/scene_stage.h"

#include <GL/glew.h>

#include <cmath>

#include <glm/geometric.hpp>
#include <glm/trigonometric.hpp>

#include "core/runtime.h"
#include "package/binary_stream.h"
#include "render/gl/gl_util.h"
#include "scene3d/node.h"
#include "support/gltf_builder.h"

namespace qh::gltest {

std::unique_ptr<Model> built_model(const std::vector<uint8_t>& glb) {
    auto m = std::make_unique<Model>();
    const std::vector<uint8_t> record = test::model_record("model.glb", glb);
    BinaryReader in(record);
    m->read_binary(in);
    m->realize();
    return m;
}

Camera camera_at(glm::vec3 eye, glm::vec3 target) {
    Camera c;
    c.position = eye;
    c.direction = target;
    c.aspect = float(GlTest::width) / float(GlTest::height);
    c.znear = 0.1f;
    c.zfar = 100.0f;
    return c;
}

glm::vec2 ndc_of(const Camera& camera, glm::vec3 world) {
    const glm::vec3 forward = glm::normalize(camera.direction - camera.position);
    const glm::vec3 right = glm::normalize(glm::cross(forward, camera.up));
    const glm::vec3 up = glm::cross(right, forward);
    const glm::vec3 d = world - camera.position;
    const glm::vec2 across{glm::dot(d, right), glm::dot(d, up)};
    if (camera.orthographic) return across / camera.ortho_half_size;
    // The view's half height at the point's depth spans -1 .. 1.
    const float half_height = glm::dot(d, forward) * std::tan(glm::radians(camera.fov) / 2);
    return across / glm::vec2(half_height * camera.aspect, half_height);
}

glm::ivec2 pixel_of(const Camera& camera, glm::vec3 world) {
    const glm::vec2 ndc = ndc_of(camera, world);
    return {int((ndc.x * 0.5f + 0.5f) * GlTest::width), int((ndc.y * 0.5f + 0.5f) * GlTest::height)};
}

Rgba pixel_at(const Camera& camera, glm::vec3 world) {
    const glm::ivec2 p = pixel_of(camera, world);
    return GlTest::pixel(p.x, p.y);
}

bool is_black(Rgba c) { return c.r < 8 && c.g < 8 && c.b < 8; }

Stage::Stage(const std::vector<uint8_t>& glb, std::unique_ptr<ShaderProgram> p, glm::vec3 eye, glm::vec3 target)
    : model(built_model(glb)), program(std::move(p)), view(camera_at(eye, target)) {
    scene.name = "stage";
    scene.root_node = std::make_unique<Node>();
    scene.root_node->model = model.get();
    scene.camera = std::make_unique<Camera>(view);
    scene.gpu.shadow_width = scene.gpu.shadow_height = shadow_size;
    scene.realize();
    effect = std::make_unique<Effect>("stage", program.get(), nullptr, nullptr, false, false, &scene);
}

void Stage::light_from(glm::vec3 position, float half_size) {
    Camera& l = views.of(scene).light;
    l.position = position;
    l.direction = {0, 0, 0};
    l.ortho_half_size = half_size;
    l.znear = 0.01f;
    l.zfar = 40.0f;
}

FrameContext Stage::frame(float beat) {
    FrameContext f = frame_at(beat);
    f.scene_drawer = &renderer;
    f.scene_views = &views;
    return f;
}

void Stage::draw() {
    effect->upload_uniform_defaults();
    effect->draw(frame(0), nullptr, false);
}

void SceneGlTest::TearDown() {
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    GlTest::TearDown();
}

}  // namespace qh::gltest
