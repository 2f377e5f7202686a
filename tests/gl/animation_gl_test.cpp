// Animated models drawn through the timeline: the animation keys of an
// effect event pose a skinned model (joint matrices in "MatricesBlock") or
// move its animated nodes, and the picture follows the position.
#include <GL/glew.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "gl/gl_context.h"
#include "gl/scene_stage.h"
#include "playback/gl_timeline_actions.h"
#include "render/shader_program.h"
#include "scene3d/animation.h"
#include "support/curves.h"
#include "support/gltf_builder.h"
#include "support/model_shaders.h"
#include "support/sample_demo.h"
#include "timeline/event.h"

namespace qh {
namespace {

using gltest::GlTest;
using gltest::Rgba;
using gltest::SceneGlTest;
using gltest::Stage;
using test::constant;


const char* const rigid_vertex_shader = R"(#version 330
layout(location = 0) in vec3 position;
uniform mat4 uModelViewProjMatrix;
void main() { gl_Position = uModelViewProjMatrix * vec4(position, 1.0); }
)";

const char* const white_fragment_shader = R"(#version 330
out vec4 fragColor;
void main() { fragColor = vec4(1.0); }
)";

std::unique_ptr<ShaderProgram> flat_program(const std::string& vertex) {
    return gltest::build_program(white_fragment_shader, {}, vertex);
}

class AnimationGlTest : public SceneGlTest {
protected:
    // The stage's effect drawn by an event whose keys pick animation `index`
    // at `position` (the default divider, start and end), read back.
    static std::vector<Rgba> posed(Stage& stage, float index, float position) {
        Event event;
        event.type = Event::type_effect;
        event.effect = stage.effect.get();
        event.start_beat = 0;
        event.end_beat = 4;
        event.curves = {{"animation_index", constant(index)}, {"animation_position", constant(position)}};
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        GlTimelineActions actions;
        actions.draw_effect(stage.frame(1), event, 1, nullptr);
        return GlTest::read_back();
    }

    static int lit_pixels(const std::vector<Rgba>& picture) {
        int n = 0;
        for (const Rgba& c : picture) n += c.r > 128;
        return n;
    }
};

// CesiumMan walks: its legs are elsewhere a half clip later, the same
// position always gives the same picture, and a position of 1.1 is 0.1.
TEST_F(AnimationGlTest, SkinnedModelIsPosedByThePosition) {
    Stage stage(test::gltf_fixture("CesiumMan.glb"), flat_program(test::skinned_vertex_shader), {0, 0.75f, 2.2f},
                {0, 0.75f, 0});
    ASSERT_TRUE(stage.model->skeleton);
    ASSERT_TRUE(stage.model->gpu.matrices_buffer);

    testing::internal::CaptureStdout();
    const std::vector<Rgba> early = posed(stage, 0, 0.1f);
    const std::vector<Rgba> late = posed(stage, 0, 0.6f);
    const std::vector<Rgba> early_again = posed(stage, 0, 0.1f);
    const std::vector<Rgba> next_round = posed(stage, 0, 1.1f);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.find("Error"), std::string::npos) << out;

    EXPECT_GT(lit_pixels(early), 40) << "the figure is in view";
    EXPECT_NE(early, late);
    EXPECT_EQ(early, early_again);
    EXPECT_EQ(early, next_round);
}

// A box as a root node, moved by its one animation from x = -1.5 at time 0
// to x = 1.5 at time 1. At a key time the picture is the one of the box
// placed there by the asset itself; an index outside the mask leaves the box
// where the asset puts it.
TEST_F(AnimationGlTest, AnimatedNodeMatchesTheKeyedPlacementAtKeyTimes) {
    auto box_at = [](glm::vec3 place, bool animated) {
        test::GltfBuilder b;
        b.root(b.node(b.mesh({b.box({0, 0, 0}, {0.5f, 0.5f, 0.5f})}), place));
        if (animated) {
            tinygltf::Animation& a = b.model.animations.emplace_back();
            tinygltf::AnimationSampler& s = a.samplers.emplace_back();
            s.input = b.floats({0, 1}, TINYGLTF_TYPE_SCALAR);
            s.output = b.floats({-1.5f, 0, 0, 1.5f, 0, 0}, TINYGLTF_TYPE_VEC3);
            tinygltf::AnimationChannel& c = a.channels.emplace_back();
            c.sampler = 0;
            c.target_node = 0;
            c.target_path = "translation";
        }
        return b.glb();
    };
    Stage animated(box_at({0, 0, 0}, true), flat_program(rigid_vertex_shader));
    ASSERT_TRUE(animated.model->has_animations);

    struct Row {
        float index, position;
        glm::vec3 keyed;  // where the unanimated asset puts the box for the same picture
    };
    // Indices 0 and 2 pick no animation: at 0.75 and 0.25 the animated box
    // would be a quarter from either end, away from its rest place.
    for (const Row& row : {Row{1, 0, {-1.5f, 0, 0}}, Row{1, 0.5f, {0, 0, 0}}, Row{0, 0.75f, {0, 0, 0}},
                           Row{2, 0.25f, {0, 0, 0}}}) {
        SCOPED_TRACE(testing::Message() << "index " << row.index << " at " << row.position);
        const std::vector<Rgba> got = posed(animated, row.index, row.position);
        Stage still(box_at(row.keyed, false), flat_program(rigid_vertex_shader));
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        still.draw();
        EXPECT_EQ(got, GlTest::read_back());
    }
    // Between the keys the box has moved on.
    EXPECT_NE(posed(animated, 1, 0.25f), posed(animated, 1, 0.75f));
}

// BoxAnimated, seen from the side: its inner box, lifted out of the outer
// one by its parent's translation, turns.
// InterpolationTest: a STEP clip shows one picture all through a key
// interval, a LINEAR one moves within it.
TEST_F(AnimationGlTest, SampleNodeAnimationsMoveAndStepClipsHold) {
    Stage box(test::gltf_fixture("BoxAnimated.glb"), flat_program(rigid_vertex_shader), {3, 2.5f, 0}, {0, 2.5f, 0});
    EXPECT_NE(posed(box, 1, 0.0f), posed(box, 1, 0.3f));

    testing::internal::CaptureStdout();
    Stage cubes(test::gltf_fixture("InterpolationTest.glb"), flat_program(rigid_vertex_shader), {0, 3.5f, 22},
                {0, 3.5f, 0});
    testing::internal::GetCapturedStdout();
    const Animation::Animations& clips = *cubes.model->animations;
    for (const auto& [name, moves] : {std::pair{"Step Translation", false}, {"Linear Translation", true},
                                      {"Step Rotation", false}, {"Linear Rotation", true}}) {
        SCOPED_TRACE(name);
        ASSERT_EQ(clips.index.count(name), 1u);
        const int32_t a = clips.index.at(name);
        const Animation::ModelAnimation& clip = *clips.list[size_t(a)];
        const std::vector<float>& t = clip.samplers[0].times;
        ASSERT_GE(t.size(), 3u);
        // Two times inside the second key interval, as normalised positions.
        auto position = [&](float f) {
            return (t[1] + (t[2] - t[1]) * f - clip.start_time) / (clip.end_time - clip.start_time);
        };
        const float mask = float(1 << a);
        EXPECT_EQ(posed(cubes, mask, position(0.1f)) != posed(cubes, mask, position(0.9f)), moves);
    }
}

// A skin of more joints than the old block held is posed in full; one of
// more than the device holds is drawn unposed. Neither raises a GL error.
TEST_F(AnimationGlTest, JointBlockHoldsWhatTheDeviceHolds) {
    GLint block_bytes = 0;
    glGetIntegerv(GL_MAX_UNIFORM_BLOCK_SIZE, &block_bytes);
    const int capacity = block_bytes / 64;
    for (const auto& [joints, posed_in_full] : {std::pair{160, true}, {capacity + 1, false}}) {
        SCOPED_TRACE(joints);
        // A box skinned to joints side by side a unit up (a chain that long
        // would lie deeper than an asset may), one of them animated.
        test::GltfBuilder b;
        const int box = b.node(b.mesh({b.box({0, 0, 0}, {0.5f, 0.5f, 0.5f})}));
        std::vector<int> nodes{box};
        for (int j = 0; j < joints; ++j) nodes.push_back(b.node(-1, {0, 1, 0}));
        for (int n : nodes) b.root(n);
        b.skin(box, {nodes.begin() + 1, nodes.end()}, std::vector<glm::mat4>(size_t(joints), glm::mat4(1.0f)));
        b.move(nodes[1], {0, 2, 0}, {0, 3, 0});
        testing::internal::CaptureStdout();
        Stage stage(b.glb(), flat_program(test::skinned_vertex_shader));
        posed(stage, 0, 0.5f);
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(out.find("Error"), std::string::npos) << out;
        EXPECT_EQ(out.find("drawn unposed") == std::string::npos, posed_in_full) << out;

        std::vector<glm::mat4> held(size_t(std::min(joints, capacity)));
        glBindBuffer(GL_UNIFORM_BUFFER, stage.model->gpu.matrices_buffer);
        glGetBufferSubData(GL_UNIFORM_BUFFER, 0, GLsizeiptr(held.size() * sizeof(glm::mat4)), held.data());
        glBindBuffer(GL_UNIFORM_BUFFER, 0);
        EXPECT_TRUE(std::equal(held.begin(), held.end(), stage.model->skeleton->joint_matrices.begin()));
        EXPECT_EQ(held.back() != glm::mat4(1.0f), posed_in_full);
    }
}

// A square bound to one joint that its clip holds at x = 3 (it rests at 0):
// the first frame drawn at all, shadow pass included, must pose it there,
// so the main pass finds the square's own depth in the shadow map (green),
// not the cleared depth where an unposed shadow left it (red).
TEST_F(AnimationGlTest, TheShadowPassDrawsThePoseOfItsOwnFrame) {
    test::GltfBuilder b;
    tinygltf::Primitive square = b.quad({-0.5f, -0.5f, 0}, {1, 0, 0}, {0, 1, 0});
    square.attributes["JOINTS_0"] = b.accessor(b.view(std::vector<uint8_t>(16, 0)), TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE,
                                               TINYGLTF_TYPE_VEC4, 4);
    square.attributes["WEIGHTS_0"] = b.floats({1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0}, TINYGLTF_TYPE_VEC4);
    const int joint = b.node(-1);
    const int mesh = b.node(b.mesh({square}));
    b.root(mesh);
    b.root(joint);
    b.skin(mesh, {joint}, {glm::mat4(1.0f)});
    b.move(joint, {3, 0, 0}, {3, 0, 0});

    auto program = gltest::build_program(R"(#version 330
in vec4 v_light;
uniform sampler2D uShadowMapTexture;
uniform int uIsShadowRenderPass;
out vec4 fragColor;
void main() {
    vec3 l = v_light.xyz / v_light.w * 0.5 + 0.5;
    bool shadowed = texture(uShadowMapTexture, l.xy).r < 0.999;
    fragColor = uIsShadowRenderPass == 1 ? vec4(1.0) : shadowed ? vec4(0, 1, 0, 1) : vec4(1, 0, 0, 1);
}
)",
                                         {}, test::skinned_vertex_shader);
    testing::internal::CaptureStdout();
    Stage stage(b.glb(), std::move(program), {0, 0, 8});
    testing::internal::GetCapturedStdout();
    stage.light_from({0, 0, 10});
    posed(stage, 0, 0.5f);
    const Rgba c = stage.at({3, 0, 0});
    EXPECT_TRUE(c.g > 200 && c.r < 50) << int(c.r) << "," << int(c.g) << "," << int(c.b);
}

}  // namespace
}  // namespace qh
