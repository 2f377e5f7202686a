// Models drawn by the scene renderer on a real GL context: placed by the
// camera (moved by an event's keys), textured, render passes, shadows cast
// and left out, instances, the vertex arrays the build records, and scenes
// that cannot be drawn. Sample models come from tests/data/gltf; the rest
// are made in code.
#include <GL/glew.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <glm/ext/matrix_transform.hpp>

#include "core/runtime.h"
#include "document/demo_io.h"
#include "gl/gl_context.h"
#include "gl/scene_stage.h"
#include "package/binary_stream.h"
#include "playback/demo_playback.h"
#include "playback/gl_timeline_actions.h"
#include "render/effect.h"
#include "render/gl/gl_util.h"
#include "render/shader_program.h"
#include "scene3d/model.h"
#include "scene3d/scene.h"
#include "scene3d/scene_renderer.h"
#include "support/curves.h"
#include "support/gltf_builder.h"
#include "support/model_shaders.h"
#include "support/sample_demo.h"
#include "timeline/event.h"

namespace qh {
namespace {

using gltest::built_model;
using gltest::camera_at;
using gltest::GlTest;
using gltest::is_black;
using gltest::pixel_at;
using gltest::Rgba;
using gltest::SceneGlTest;
using gltest::Stage;
using gltest::shadow_size;
using test::constant;
using test::GltfBuilder;

// The material's colour, darkened where the shadow map says the light is
// blocked and the program's "shadowed" is 1.
const std::string lit_fragment_shader = test::lit_fragment_shader("0.01", true);

// Tag 1 green, tag 2 blue, anything else red; half transparent, so that the
// order of two overlapping draws shows in the blend.
const char* const tag_fragment_shader = R"(#version 330
uniform int uTag;
out vec4 fragColor;
void main() {
    fragColor = uTag == 1 ? vec4(0, 1, 0, 0.5) : uTag == 2 ? vec4(0, 0, 1, 0.5) : vec4(1, 0, 0, 1);
}
)";

const char* const instance_fragment_shader = R"(#version 330
uniform int uInstance;
out vec4 fragColor;
void main() {
    fragColor = uInstance == 0 ? vec4(1, 0, 0, 1) : uInstance == 1 ? vec4(0, 1, 0, 1)
              : uInstance == 2 ? vec4(0, 0, 1, 1) : vec4(1, 1, 1, 1);
}
)";

std::unique_ptr<ShaderProgram> model_program(const std::string& fragment, float spread = 0, bool shadowed = false) {
    return gltest::build_program(fragment, {{"spread", spread}, {"shadowed", shadowed ? 1.0f : 0.0f}},
                                 test::lit_vertex_shader);
}

// ---------------------------------------------------------------- placement

struct PlacementRow {
    const char* name;
    CurveMap curves;      // an event's keys moving the camera from (0, 0, 6)
    glm::vec3 box_centre; // where the box must show; the other probes stay black
};
void PrintTo(const PlacementRow& row, std::ostream* os) { *os << row.name; }


class ModelPlacement : public SceneGlTest, public testing::WithParamInterface<PlacementRow> {};

// The box (Box.glb, red, about one unit wide) is drawn through the event
// dispatch: its camera keys move the camera, and the box lands where the
// camera puts it.
TEST_P(ModelPlacement, CameraKeysMoveTheModelOnScreen) {
    const PlacementRow& row = GetParam();
    Stage stage(test::gltf_fixture("Box.glb"), model_program(lit_fragment_shader));
    Event event;
    event.type = Event::type_effect;
    event.effect = stage.effect.get();
    event.start_beat = 0;
    event.end_beat = 4;
    event.curves = row.curves;
    GlTimelineActions actions;
    actions.draw_effect(stage.frame(1), event, 1, nullptr);

    // Probes are placed as the unmoved camera sees the world: a camera moved
    // right by 1.5 shows the box where it shows the point 1.5 left of it.
    const Camera unmoved = camera_at({0, 0, 6}, {0, 0, 0});
    const glm::vec3 probes[] = {{-1.5f, 0, 0}, {0, 0, 0}, {1.5f, 0, 0}, {0, 1.2f, 0}};
    for (const glm::vec3& p : probes) {
        const Rgba c = pixel_at(unmoved, p);
        SCOPED_TRACE(testing::Message() << "probe " << p.x << ", " << p.y << ": " << c);
        if (p == row.box_centre) {
            EXPECT_GT(c.r, 150);
            EXPECT_LT(c.g, 30);
        } else {
            EXPECT_TRUE(is_black(c));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ModelPlacement,
    testing::Values(
        PlacementRow{"unmoved", {}, {0, 0, 0}},
        // The camera moves right (and looks right): the box goes left.
        PlacementRow{"camera_right",
                     {{"camera_position_x", constant(1.5f)}, {"camera_direction_x", constant(1.5f)}},
                     {-1.5f, 0, 0}},
        PlacementRow{"camera_left",
                     {{"camera_position_x", constant(-1.5f)}, {"camera_direction_x", constant(-1.5f)}},
                     {1.5f, 0, 0}},
        PlacementRow{"camera_down",
                     {{"camera_position_y", constant(-1.2f)}, {"camera_direction_y", constant(-1.2f)}},
                     {0, 1.2f, 0}}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------- textures

// A quad filling the middle of the view with a 2 x 2 image: red, green on the
// top row, blue, yellow below, clamped (repeated, its edges would blend with
// the far side). Each quarter shows its texel, upright, times the material's
// factor.
TEST_F(SceneGlTest, QuadShowsItsImageUpright) {
    const Rgba red{255, 0, 0, 255}, green{0, 255, 0, 255}, blue{0, 0, 255, 255}, yellow{255, 255, 0, 255};
    GltfBuilder b;
    const int texture = b.texture(gltest::encode_png(2, 2, {red, green, blue, yellow}, true), "image/png");
    tinygltf::Sampler& clamped = b.model.samplers.emplace_back();
    clamped.wrapS = clamped.wrapT = TINYGLTF_TEXTURE_WRAP_CLAMP_TO_EDGE;
    b.model.textures[size_t(texture)].sampler = 0;
    b.root(b.node(b.quad_mesh({-2, -2, 0}, {4, 0, 0}, {0, 4, 0}, b.material({1, 1, 0.5f, 1}, texture))));
    Stage stage(b.glb(), model_program(lit_fragment_shader));
    ASSERT_EQ(stage.model->gpu.image_textures.size(), 1u);
    EXPECT_EQ(stage.model->gpu.image_textures[0].width, 2);
    stage.draw();
    struct Probe {
        glm::vec3 at;
        Rgba expected;  // the texel times the factor (1, 1, 0.5)
    };
    const Probe probes[] = {{{-1, 1, 0}, {255, 0, 0, 255}},
                            {{1, 1, 0}, {0, 255, 0, 255}},
                            {{-1, -1, 0}, {0, 0, 128, 255}},
                            {{1, -1, 0}, {255, 255, 0, 255}}};
    for (const Probe& p : probes) {
        SCOPED_TRACE(testing::Message() << "at " << p.at.x << ", " << p.at.y);
        EXPECT_TRUE(gltest::near(stage.at(p.at), p.expected, 3));
    }
}

// Colour range (brightest minus darkest sum of R, G, B) over the middle of
// the back buffer, where the face seen fills the view.
int colour_range() {
    int darkest = 255 * 3, brightest = 0;
    for (int y = 10; y < GlTest::height - 10; ++y) {
        for (int x = 24; x < GlTest::width - 24; ++x) {
            const Rgba c = GlTest::pixel(x, y);
            darkest = std::min(darkest, c.r + c.g + c.b);
            brightest = std::max(brightest, c.r + c.g + c.b);
        }
    }
    return brightest - darkest;
}

// BoxTextured.glb maps its image once onto the bottom face and six times
// over onto the others (texture coordinates 0 to 6), through a sampler that
// repeats: every face shows the image, not just the colour of its edge.
TEST_F(SceneGlTest, SampleBoxIsTexturedAsItsSamplerSays) {
    struct Row {
        const char* name;
        glm::vec3 eye;
        glm::vec3 up;
    };
    const Row rows[] = {{"bottom", {0, -1.6f, 0}, {0, 0, -1}}, {"front", {0, 0, 1.6f}, {0, 1, 0}}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        Stage stage(test::gltf_fixture("BoxTextured.glb"), model_program(lit_fragment_shader), row.eye);
        ASSERT_EQ(stage.model->gpu.image_textures.size(), 1u);
        EXPECT_EQ(stage.model->gpu.image_textures[0].width, 256);
        stage.scene.camera->up = row.up;
        stage.draw();
        EXPECT_FALSE(is_black(GlTest::pixel(GlTest::width / 2, GlTest::height / 2)));
        EXPECT_GT(colour_range(), 150) << "the face is one colour, not the image";
    }
}

// ---------------------------------------------------------------- passes

// Node B ("render_pass" 2, blue, a little nearer) comes before node A (green)
// in the scene, yet is drawn after it: where they overlap both colours blend
// in, blue over green. Node C ("render_pass" 0, red) is never drawn.
TEST_F(SceneGlTest, SecondPassDrawsAfterTheFirst) {
    GltfBuilder b;
    const int node_b = b.node(b.quad_mesh({-3, -1, 0.1f}, {4, 0, 0}, {0, 2, 0}));
    const int node_a = b.node(b.quad_mesh({-1, -1, 0}, {4, 0, 0}, {0, 2, 0}));
    const int node_c = b.node(b.quad_mesh({-3, 1.2f, 0}, {6, 0, 0}, {0, 0.8f, 0}));
    b.extra(node_b, "render_pass", tinygltf::Value(2));
    b.extra(node_b, "tag", tinygltf::Value(2));
    b.extra(node_a, "tag", tinygltf::Value(1));
    b.extra(node_c, "render_pass", tinygltf::Value(0));
    b.root(node_b);
    b.root(node_a);
    b.root(node_c);
    Stage stage(b.glb(), model_program(tag_fragment_shader));
    stage.draw();
    EXPECT_EQ(stage.model->gpu.render_passes, 2);
    const Rgba only_b = stage.at({-2, 0, 0}), both = stage.at({0, 0, 0}), only_a = stage.at({2, 0, 0});
    const Rgba c = stage.at({0, 1.6f, 0});
    // Colour only: the target's alpha keeps what blending left in it.
    auto rgb = [](Rgba c) { return Rgba{c.r, c.g, c.b, 255}; };
    EXPECT_TRUE(gltest::near(rgb(only_b), {0, 0, 128, 255}, 3)) << only_b;
    EXPECT_TRUE(gltest::near(rgb(only_a), {0, 128, 0, 255}, 3)) << only_a;
    EXPECT_TRUE(gltest::near(rgb(both), {0, 64, 128, 255}, 3)) << both << ": drawn in the wrong order";
    EXPECT_TRUE(is_black(c)) << c;
}

// ---------------------------------------------------------------- shadows

// The depth written into the shadow map at a world point, 1 where nothing was.
float shadow_depth(Stage& stage, glm::vec3 world) {
    const glm::vec2 uv = gltest::ndc_of(stage.views.of(stage.scene).light, world) * 0.5f + 0.5f;
    std::vector<float> depth(size_t(shadow_size) * shadow_size);
    glBindTexture(GL_TEXTURE_2D, stage.scene.gpu.shadow_texture);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_DEPTH_COMPONENT, GL_FLOAT, depth.data());
    glBindTexture(GL_TEXTURE_2D, 0);
    const int x = int(uv.x * shadow_size), y = int(uv.y * shadow_size);
    return depth[size_t(y) * shadow_size + size_t(x)];
}

// Two quads facing camera and light; the right one has "ignore_shadow".
TEST_F(SceneGlTest, IgnoreShadowKeepsANodeOutOfTheDepthMapOnly) {
    GltfBuilder b;
    const int grey = b.material({0.8f, 0.8f, 0.8f, 1});
    const int left = b.node(b.quad_mesh({-3, -1, 0}, {2, 0, 0}, {0, 2, 0}, grey));
    const int right = b.node(b.quad_mesh({1, -1, 0}, {2, 0, 0}, {0, 2, 0}, grey));
    b.extra(right, "ignore_shadow", tinygltf::Value(true));
    b.root(left);
    b.root(right);
    Stage stage(b.glb(), model_program(lit_fragment_shader));
    stage.light_from({0.5f, 1, 10});
    stage.draw();
    ASSERT_TRUE(stage.scene.gpu.shadow_complete);
    EXPECT_LT(shadow_depth(stage, {-2, 0, 0}), 0.9f);
    EXPECT_EQ(shadow_depth(stage, {2, 0, 0}), 1.0f);
    EXPECT_FALSE(is_black(stage.at({-2, 0, 0})));
    EXPECT_FALSE(is_black(stage.at({2, 0, 0})));
}

// A box standing on a plane, lit from the upper right: the plane is darker
// left of the box, where the box blocks the light, than right of it.
TEST_F(SceneGlTest, LitBoxCastsAShadowOnThePlane) {
    GltfBuilder b;
    const int grey = b.material({0.8f, 0.8f, 0.8f, 1});
    const int plane = b.node(b.quad_mesh({-5, 0, 5}, {10, 0, 0}, {0, 0, -10}, grey));
    const int box = b.node(b.mesh({b.box({0, 1, 0}, {1, 1, 1}, grey)}));
    b.root(plane);
    b.root(box);
    Stage stage(b.glb(), model_program(lit_fragment_shader, 0, true), {0, 12, 10});
    stage.light_from({6, 8, 0});
    stage.draw();
    const Rgba shadowed = stage.at({-1.8f, 0, 0});
    const Rgba lit = stage.at({2.5f, 0, 0});
    EXPECT_GT(lit.r, 150) << lit;
    EXPECT_LT(shadowed.r + 40, lit.r) << "in the shadow " << shadowed << ", outside " << lit;
    EXPECT_FALSE(is_black(shadowed));
}

// ---------------------------------------------------------------- instances

// "render_instances" 3 from the event: the quad is drawn three times, each
// moved by the shader by its "uInstance" and coloured by it.
TEST_F(SceneGlTest, ThreeInstancesDrawWithTheirNumbers) {
    GltfBuilder b;
    b.root(b.node(b.quad_mesh({-3, -0.5f, 0}, {1, 0, 0}, {0, 1, 0})));
    Stage stage(b.glb(), model_program(instance_fragment_shader, 2.0f));
    Event event;
    event.type = Event::type_effect;
    event.effect = stage.effect.get();
    event.end_beat = 4;
    event.curves["render_instances"] = constant(3);
    GlTimelineActions actions;
    actions.draw_effect(stage.frame(1), event, 1, nullptr);
    EXPECT_TRUE(gltest::near(stage.at({-2.5f, 0, 0}), {255, 0, 0, 255}));
    EXPECT_TRUE(gltest::near(stage.at({-0.5f, 0, 0}), {0, 255, 0, 255}));
    EXPECT_TRUE(gltest::near(stage.at({1.5f, 0, 0}), {0, 0, 255, 255}));
    EXPECT_TRUE(is_black(stage.at({3.5f, 0, 0})));  // no fourth
}

// ---------------------------------------------------------------- the build

// Interleaved positions and normals, byte texture coordinates the accessor
// calls normalised, byte joints, no weights: what the vertex array records.
// Two playbacks of different documents in one process each draw through
// their own scene renderer: drawing one, or ending it, leaves the other's
// pictures as they were.
TEST_F(SceneGlTest, TwoPlaybacksDrawTheirOwnScenes) {
    const auto document = [](const char* colour) {  // read from its package, as the player reads it
        return read_demo_payload(write_demo_payload(*test::one_scene_demo(
            test::lit_vertex_shader,
            std::string("#version 330\nout vec4 fragColor;\nvoid main() { fragColor = ") + colour + "; }\n",
            "Box.glb", test::gltf_fixture("Box.glb"), camera_at({0, 0, 6}, {0, 0, 0}), {}, 4)), {});
    };
    const auto start = [](Demo& demo) {
        auto playback = std::make_unique<DemoPlayback>(demo);
        playback->realize();
        playback->prepare();
        return playback;
    };
    const auto centre_after = [](DemoPlayback& playback) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        playback.compose_frame(1);
        return GlTest::pixel(width / 2, height / 2);
    };
    auto red_demo = document("vec4(1, 0, 0, 1)");
    auto green_demo = document("vec4(0, 1, 0, 1)");
    auto red = start(*red_demo);
    auto green = start(*green_demo);
    EXPECT_TRUE(gltest::near(centre_after(*red), {255, 0, 0, 255}));
    EXPECT_TRUE(gltest::near(centre_after(*green), {0, 255, 0, 255}));
    EXPECT_TRUE(gltest::near(centre_after(*red), {255, 0, 0, 255}));
    red.reset();
    EXPECT_TRUE(gltest::near(centre_after(*green), {0, 255, 0, 255}));
}

TEST_F(SceneGlTest, VertexArraysRecordTheAccessors) {
    GltfBuilder b;
    std::vector<float> interleaved;
    for (int i = 0; i < 3; ++i) interleaved.insert(interleaved.end(), {float(i), 0, 0, 0, 0, 1});
    std::vector<uint8_t> bytes(interleaved.size() * 4);
    std::memcpy(bytes.data(), interleaved.data(), bytes.size());
    const int view = b.view(bytes, 24);
    tinygltf::Primitive p;
    p.mode = TINYGLTF_MODE_TRIANGLES;
    p.attributes["POSITION"] = b.accessor(view, TINYGLTF_COMPONENT_TYPE_FLOAT, TINYGLTF_TYPE_VEC3, 3, 0);
    p.attributes["NORMAL"] = b.accessor(view, TINYGLTF_COMPONENT_TYPE_FLOAT, TINYGLTF_TYPE_VEC3, 3, 12);
    const int texcoords = b.accessor(b.view(std::vector<uint8_t>(8)), TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE,
                                     TINYGLTF_TYPE_VEC2, 3);
    b.model.accessors[size_t(texcoords)].normalized = true;
    p.attributes["TEXCOORD_0"] = texcoords;
    p.attributes["JOINTS_0"] = b.accessor(b.view(std::vector<uint8_t>(12)), TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE,
                                          TINYGLTF_TYPE_VEC4, 3);
    p.indices = b.indices({0, 1, 2});
    b.root(b.node(b.mesh({p, b.quad({0, 0, 0}, {1, 0, 0}, {0, 1, 0})})));
    b.mesh({b.quad({0, 0, 0}, {1, 0, 0}, {0, 1, 0})});

    testing::internal::CaptureStderr();
    const std::unique_ptr<Model> model = built_model(b.glb());
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_NE(log.find("Number of VAOs: 3\n"), std::string::npos) << log;
    ASSERT_EQ(model->gpu.vertex_arrays.size(), 3u);
    EXPECT_EQ(model->gpu.buffers.size(), 1u);

    glBindVertexArray(model->gpu.vertex_arrays[0]);
    auto attrib = [](GLuint location, GLenum what) {
        GLint v = 0;
        glGetVertexAttribiv(location, what, &v);
        return v;
    };
    struct Row {
        const char* name;
        GLuint location;
        GLint enabled, size, stride, type, integer, normalized;
    };
    const Row rows[] = {
        {"POSITION", 0, 1, 3, 24, GL_FLOAT, 0, 0},
        {"NORMAL", 1, 1, 3, 24, GL_FLOAT, 0, 0},
        {"TEXCOORD_0", 2, 1, 2, 0, GL_UNSIGNED_BYTE, 0, 1},  // bytes meaning 0 .. 1
        {"JOINTS_0", 3, 1, 4, 0, GL_UNSIGNED_BYTE, 1, 0},
        {"WEIGHTS_0", 4, 0, 4, 0, GL_FLOAT, 0, 0},  // absent: disabled, GL's defaults
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        EXPECT_EQ(attrib(r.location, GL_VERTEX_ATTRIB_ARRAY_ENABLED), r.enabled);
        EXPECT_EQ(attrib(r.location, GL_VERTEX_ATTRIB_ARRAY_SIZE), r.size);
        EXPECT_EQ(attrib(r.location, GL_VERTEX_ATTRIB_ARRAY_STRIDE), r.stride);
        EXPECT_EQ(attrib(r.location, GL_VERTEX_ATTRIB_ARRAY_TYPE), r.type);
        EXPECT_EQ(attrib(r.location, GL_VERTEX_ATTRIB_ARRAY_INTEGER), r.integer);
        EXPECT_EQ(attrib(r.location, GL_VERTEX_ATTRIB_ARRAY_NORMALIZED), r.normalized);
    }
    void* normal_offset = nullptr;
    glGetVertexAttribPointerv(1, GL_VERTEX_ATTRIB_ARRAY_POINTER, &normal_offset);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(normal_offset),
              model->gltf.bufferViews[size_t(view)].byteOffset + 12);
    GLint elements = 0;
    glGetIntegerv(GL_ELEMENT_ARRAY_BUFFER_BINDING, &elements);
    EXPECT_EQ(GLuint(elements), model->gpu.buffers[0].get());
    glBindVertexArray(0);
}

// ---------------------------------------------------------------- faults

struct FaultRow {
    const char* name;
    std::function<void(Stage&)> spoil;
    const char* message;  // said exactly once over two frames; "" for none
    bool drawn;           // something shows on screen
};
void PrintTo(const FaultRow& row, std::ostream* os) { *os << row.name; }

class SceneFaults : public SceneGlTest, public testing::WithParamInterface<FaultRow> {};

// Scenes that cannot be drawn whole draw what they can, say so once, and
// leave no GL error behind (checked in TearDown).
TEST_P(SceneFaults, DrawWhatTheyCan) {
    const FaultRow& row = GetParam();
    GltfBuilder b;
    b.root(b.node(b.quad_mesh({-2, -2, 0}, {4, 0, 0}, {0, 4, 0}, b.material({1, 1, 1, 1}))));
    Stage stage(b.glb(), model_program(lit_fragment_shader, 0, true));
    testing::internal::CaptureStdout();
    row.spoil(stage);
    stage.draw();
    stage.draw();
    std::fflush(stdout);
    const std::string out = testing::internal::GetCapturedStdout();
    if (*row.message != '\0') {
        const size_t first = out.find(row.message);
        EXPECT_NE(first, std::string::npos) << out;
        EXPECT_EQ(out.find(row.message, first + 1), std::string::npos) << "said twice: " << out;
    }
    EXPECT_EQ(!is_black(stage.at({0, 0, 0})), row.drawn);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, SceneFaults,
    testing::Values(
        FaultRow{"sound", [](Stage&) {}, "", true},
        FaultRow{"no_root_node", [](Stage& s) { s.scene.root_node.reset(); }, "", false},
        FaultRow{"node_without_model", [](Stage& s) { s.scene.root_node->model = nullptr; }, "", false},
        FaultRow{"no_camera", [](Stage& s) { s.scene.camera.reset(); }, "has no camera", false},
        FaultRow{"borrowed_scene_without_camera",
                 [](Stage& s) {
                     static Scene empty;
                     s.scene.camera.reset();
                     s.scene.camera_scene = &empty;
                 },
                 "has no camera", false},
        FaultRow{"model_that_did_not_parse",
                 [](Stage& s) {
                     s.model->buffer = ByteBuffer(std::vector<uint8_t>{'n', 'o', 'p', 'e'});
                     const std::vector<uint8_t> record = test::model_record("bad.glb", s.model->buffer.data);
                     BinaryReader in(record);
                     s.model->read_binary(in);
                     s.model->realize();
                 },
                 "", false},
        FaultRow{"no_default_scene",
                 [](Stage& s) {
                     s.model->gltf.defaultScene = -1;
                     s.model->realize();
                 },
                 "", false},
        FaultRow{"asset_changed_after_parse",
                 [](Stage& s) {
                     s.model->gltf.accessors[0].count = 1000;
                     s.model->realize();
                 },
                 "nothing is built", false},
        FaultRow{"primitive_without_normal",
                 [](Stage& s) {
                     s.model->gltf.meshes[0].primitives[0].attributes.erase("NORMAL");
                     s.model->realize();
                 },
                 "", true},
        FaultRow{"zero_instances", [](Stage& s) { s.views.of(s.scene).instance_count = 0; }, "", false},
        FaultRow{"a_billion_instances",
                 [](Stage& s) { s.views.of(s.scene).instance_count = 1000000000; }, "4096 are drawn", true},
        FaultRow{"shadow_target_the_device_cannot_make",
                 [](Stage& s) {
                     s.scene.gpu.shadow_width = 0;
                     s.scene.realize();
                 },
                 "FB Error! Status: 0x", true}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qh
