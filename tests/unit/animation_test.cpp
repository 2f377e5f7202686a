// Sampling and posing of glTF animations (scene3d/animation.h), without GL:
// key interpolation, the choice of animation by index or bit mask, joint
// matrices, the sample models' skeletons and clips, and animations that are
// unsupported or hostile.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <tuple>
#include <vector>

#include <glm/ext/matrix_transform.hpp>
#include <glm/gtc/quaternion.hpp>

#include "package/binary_stream.h"
#include "scene3d/animation.h"
#include "scene3d/model.h"
#include "support/gltf_builder.h"
#include "support/sample_demo.h"

namespace qh {
namespace {

using namespace Animation;

Model parsed(const std::vector<uint8_t>& glb) {
    Model m;
    const std::vector<uint8_t> record = test::model_record("test.glb", glb);
    BinaryReader in(record);
    m.read_binary(in);
    EXPECT_TRUE(m.parsed) << m.parse_error;
    return m;
}

Model built_fixture(const std::string& name) {
    Model m = parsed(test::gltf_fixture(name));
    build_animations(m);
    return m;
}

glm::quat about_z(float degrees) { return glm::angleAxis(glm::radians(degrees), glm::vec3(0, 0, 1)); }
glm::vec4 xyzw(const glm::quat& q) { return {q.x, q.y, q.z, q.w}; }

// One channel on node 0 of a one-sampler animation.
ModelAnimation clip(int32_t path, int32_t interpolation, std::vector<float> times,
                    std::vector<glm::vec4> values) {
    ModelAnimation a;
    a.samplers.push_back({std::move(times), {}, interpolation, 4});
    for (const glm::vec4& v : values) a.samplers[0].values.insert(a.samplers[0].values.end(), {v.x, v.y, v.z, v.w});
    a.channels.push_back({path, 0, 0});
    a.start_time = a.samplers[0].times.empty() ? 0 : a.samplers[0].times.front();
    a.end_time = a.samplers[0].times.empty() ? 0 : a.samplers[0].times.back();
    return a;
}

// The record's state after sampling `a` at clip time x (its clip runs 0 .. 4).
NodeAnimation sampled_at(ModelAnimation a, float x) {
    NodeAnimation r;
    r.node = 0;
    a.start_time = 0;
    a.end_time = 4;
    sample(a, x / 4.0f, r);
    return r;
}

// ---------------------------------------------------------------- sampling

struct VectorRow {
    const char* name;
    int32_t path;
    int32_t interpolation;
    float x;          // clip time
    glm::vec3 want;   // translation or scale after sampling
};
void PrintTo(const VectorRow& r, std::ostream* os) { *os << r.name; }

class VectorSampling : public testing::TestWithParam<VectorRow> {};

// Keys at 0, 1, 1 and 2: a jump at time 1, where the later interval wins.
TEST_P(VectorSampling, GivesTheKeyedValue) {
    const VectorRow& r = GetParam();
    const ModelAnimation a = clip(r.path, r.interpolation, {0, 1, 1, 2},
                                  {{0, 0, 0, 0}, {10, 20, 30, 0}, {100, 100, 100, 0}, {200, 300, 400, 0}});
    const NodeAnimation got = sampled_at(a, r.x);
    const glm::vec3 v = r.path == translation_path ? got.translation : got.scale;
    EXPECT_NEAR(v.x, r.want.x, 1e-4f);
    EXPECT_NEAR(v.y, r.want.y, 1e-4f);
    EXPECT_NEAR(v.z, r.want.z, 1e-4f);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, VectorSampling,
    testing::Values(VectorRow{"linear_first_key", translation_path, linear, 0, {0, 0, 0}},
                    VectorRow{"linear_between", translation_path, linear, 0.25f, {2.5f, 5, 7.5f}},
                    VectorRow{"linear_on_shared_key_takes_later", translation_path, linear, 1, {100, 100, 100}},
                    VectorRow{"linear_last_key", scale_path, linear, 2, {200, 300, 400}},
                    VectorRow{"linear_scale_between", scale_path, linear, 1.5f, {150, 200, 250}},
                    VectorRow{"step_holds", translation_path, step, 0.99f, {0, 0, 0}},
                    VectorRow{"step_on_shared_key_takes_later", translation_path, step, 1, {100, 100, 100}},
                    // Clip time 3 lies past every key: the node keeps its default.
                    VectorRow{"outside_keys_unchanged", translation_path, linear, 3, {0, 0, 0}},
                    VectorRow{"outside_keys_scale_unchanged", scale_path, step, 3, {1, 1, 1}}));

TEST(RotationSampling, StepHoldsEachKeyAndLinearTakesTheShortArc) {
    const std::vector<glm::vec4> keys = {xyzw(about_z(0)), xyzw(about_z(90)), xyzw(about_z(180))};
    const ModelAnimation held = clip(rotation_path, step, {0, 1, 2}, keys);
    // On the last key the last interval still holds its first key.
    for (const auto& [x, degrees] : {std::pair{0.0f, 0.0f}, {0.5f, 0.0f}, {0.999f, 0.0f}, {1.0f, 90.0f},
                                     {1.7f, 90.0f}, {2.0f, 90.0f}}) {
        SCOPED_TRACE(testing::Message() << "step at " << x);
        EXPECT_NEAR(std::abs(glm::dot(sampled_at(held, x).rotation, about_z(degrees))), 1.0f, 1e-5f);
    }
    const ModelAnimation turning = clip(rotation_path, linear, {0, 1, 2}, keys);
    EXPECT_NEAR(std::abs(glm::dot(sampled_at(turning, 0.5f).rotation, about_z(45))), 1.0f, 1e-5f);
    EXPECT_NEAR(std::abs(glm::dot(sampled_at(turning, 1.5f).rotation, about_z(135))), 1.0f, 1e-5f);

    // From 0 to 350 degrees the short way is 10 degrees back, through -5.
    const ModelAnimation back = clip(rotation_path, linear, {0, 1}, {xyzw(about_z(0)), xyzw(about_z(350))});
    EXPECT_NEAR(std::abs(glm::dot(sampled_at(back, 0.5f).rotation, about_z(-5))), 1.0f, 1e-5f);
}

TEST(RotationSampling, SlerpOfNearlyParallelOrDegenerateQuaternionsStaysNormalised) {
    const glm::quat a = about_z(0);
    const glm::quat b = glm::normalize(glm::quat(1.0f, 0.0f, 0.0f, 1e-5f));
    const glm::quat mid = slerp_shortest(a, b, 0.5f);
    EXPECT_NEAR(glm::length(mid), 1.0f, 1e-6f);
    EXPECT_NEAR(mid.z, 0.5e-5f, 1e-7f);
    EXPECT_FALSE(std::isnan(mid.w));
    // A quaternion against its own negation is the same rotation.
    EXPECT_NEAR(std::abs(glm::dot(slerp_shortest(about_z(30), -about_z(30), 0.3f), about_z(30))), 1.0f, 1e-5f);
    const glm::quat zero(0.0f, 0.0f, 0.0f, 0.0f);
    const glm::quat none = slerp_shortest(zero, zero, 0.5f);
    EXPECT_EQ(none, glm::quat(1.0f, 0.0f, 0.0f, 0.0f));
}

TEST(ClipTime, TakesTheFractionOfThePositionIntoTheClip) {
    ModelAnimation a;
    a.start_time = 1;
    a.end_time = 3;
    EXPECT_FLOAT_EQ(clip_time(a, 0.25f), 1.5f);
    EXPECT_FLOAT_EQ(clip_time(a, 2.25f), 1.5f);
    EXPECT_FLOAT_EQ(clip_time(a, -0.25f), 2.5f);  // fractions count up from the floor
}

// ---------------------------------------------------------------- choosing

// A node-animated asset: three nodes, animation "a" moves node 0, "b" node 1.
Model two_node_animations() {
    test::GltfBuilder b;
    const int box = b.mesh({b.box({0, 0, 0}, {0.5f, 0.5f, 0.5f})});
    for (int i = 0; i < 3; ++i) b.root(b.node(box, {float(i), 0, 0}));
    const int times = b.floats({0, 1}, TINYGLTF_TYPE_SCALAR);
    for (int n = 0; n < 2; ++n) {
        tinygltf::Animation& a = b.model.animations.emplace_back();
        a.name = n == 0 ? "a" : "b";
        tinygltf::AnimationSampler& s = a.samplers.emplace_back();
        s.input = times;
        s.output = b.floats({0, 0, 0, 0, 10, 0}, TINYGLTF_TYPE_VEC3);
        s.interpolation = "LINEAR";
        tinygltf::AnimationChannel& c = a.channels.emplace_back();
        c.sampler = 0;
        c.target_node = n;
        c.target_path = "translation";
    }
    Model m = parsed(b.glb());
    build_animations(m);
    return m;
}

struct MaskRow {
    int32_t mask;
    std::vector<bool> animated;
};

TEST(NodeAnimation, TheIndexIsABitMaskOfAnimationsWithinItsRange) {
    Model m = two_node_animations();
    ASSERT_TRUE(m.has_animations);
    ASSERT_EQ(m.node_animations.size(), 2u);
    for (const MaskRow& row : {MaskRow{3, {true, true, false}}, MaskRow{2, {false, true, false}},
                               MaskRow{1, {true, false, false}}, MaskRow{4, {false, false, false}},
                               MaskRow{0, {false, false, false}}, MaskRow{-1, {false, false, false}}}) {
        SCOPED_TRACE(testing::Message() << "mask " << row.mask);
        animate(m, 3, 0.5f);  // whatever was posed before is cleared
        animate(m, row.mask, 0.5f);
        EXPECT_EQ(m.animated_nodes, row.animated);
    }
    // Node 1 halfway through its clip: the sampled translation replaces its own (1, 0, 0).
    animate(m, 2, 0.5f);
    EXPECT_EQ(m.node_matrices[1], glm::translate(glm::mat4(1.0f), glm::vec3(0, 5, 0)));
}

// A skin of three joints at (0, 1, 0), (0, 3, 0) and (2, 1, 0): the first
// the parent of the others, whose nodes come in the other order (joint and
// node numbers differ). `clips` animations move the parent to (1, 1, 0) and
// turn joint 1 about z by 10, 20, ... degrees at the clip's end.
Model skinned(int clips) {
    test::GltfBuilder b;
    const int parent = b.node(-1, {0, 1, 0});
    const int side = b.node(-1, {2, 0, 0});
    const int child = b.node(-1, {0, 2, 0});
    b.at(parent).children = {child, side};
    b.root(parent);
    tinygltf::Skin& skin = b.model.skins.emplace_back();
    skin.name = "arm";
    skin.joints = {parent, child, side};
    const glm::mat4 inverse_binds[3] = {glm::translate(glm::mat4(1.0f), {0, -1, 0}),
                                        glm::translate(glm::mat4(1.0f), {0, -3, 0}),
                                        glm::translate(glm::mat4(1.0f), {-2, -1, 0})};
    std::vector<float> ibm;
    for (const glm::mat4& m : inverse_binds)
        for (int c = 0; c < 4; ++c)
            for (int r = 0; r < 4; ++r) ibm.push_back(m[c][r]);
    skin.inverseBindMatrices = b.floats(ibm, TINYGLTF_TYPE_MAT4);
    const int times = b.floats({0, 1}, TINYGLTF_TYPE_SCALAR);
    const int moves = b.floats({0, 1, 0, 1, 1, 0}, TINYGLTF_TYPE_VEC3);
    for (int k = 0; k < clips; ++k) {
        tinygltf::Animation& a = b.model.animations.emplace_back();
        a.name = "turn" + std::to_string(k);
        const glm::vec4 end = xyzw(about_z(10.0f * float(k + 1)));
        const int turns = b.floats({0, 0, 0, 1, end.x, end.y, end.z, end.w}, TINYGLTF_TYPE_VEC4);
        for (const auto& [output, node, path] :
             {std::tuple{turns, child, "rotation"}, {moves, parent, "translation"}}) {
            tinygltf::AnimationSampler& s = a.samplers.emplace_back();
            s.input = times;
            s.output = output;
            tinygltf::AnimationChannel& c = a.channels.emplace_back();
            c.sampler = int(a.samplers.size()) - 1;
            c.target_node = node;
            c.target_path = path;
        }
    }
    Model m = parsed(b.glb());
    build_animations(m);
    return m;
}

TEST(SkinnedAnimation, TheIndexPicksAnAnimationModuloTheirCount) {
    Model m = skinned(2);
    ASSERT_TRUE(m.skeleton);
    for (const auto& [index, turned] : {std::pair{0, 10.0f}, {1, 20.0f}, {3, 20.0f}, {4, 10.0f}, {-1, 20.0f}}) {
        SCOPED_TRACE(testing::Message() << "index " << index);
        animate(m, index, 0.999999f);
        EXPECT_EQ(m.animations->current, m.animations->list[size_t(turned == 10.0f ? 0 : 1)]);
        EXPECT_NEAR(std::abs(glm::dot(m.skeleton->joints[1].rotation, about_z(turned))), 1.0f, 1e-4f);
    }
}

TEST(SkinnedAnimation, EachJointMatrixPutsItsVerticesWhereItsJointIs) {
    Model m = skinned(1);
    Skeleton& s = *m.skeleton;
    ASSERT_EQ(s.name, "arm");
    ASSERT_EQ(s.joints.size(), 3u);

    // At rest every skinning matrix is the identity: bind pose = rest pose.
    animate(m, 0, 0.0f);
    for (const glm::mat4& j : s.joint_matrices) {
        for (int c = 0; c < 4; ++c)
            for (int r = 0; r < 4; ++r) EXPECT_NEAR(j[c][r], c == r ? 1.0f : 0.0f, 1e-5f);
    }
    // At the clip's end the parent stands one unit right, carrying both
    // children; joint 1, now at (1, 3, 0), has turned 10 degrees, so a vertex
    // one above it is at (1 - sin 10, 3 + cos 10).
    animate(m, 0, 0.999999f);
    struct Row {
        size_t joint;
        glm::vec3 bound, posed;  // a vertex bound to that joint alone, at bind and posed
    };
    for (const Row& row : {Row{0, {0, 1, 0}, {1, 1, 0}}, Row{1, {0, 4, 0}, {0.826352f, 3.984808f, 0}},
                           Row{2, {2, 1.5f, 0}, {3, 1.5f, 0}}}) {
        SCOPED_TRACE(testing::Message() << "joint " << row.joint);
        const glm::vec4 got = s.joint_matrices[row.joint] * glm::vec4(row.bound, 1);
        EXPECT_NEAR(glm::length(glm::vec3(got) - row.posed), 0.0f, 1e-4f);
    }

    s.enabled = false;
    compute_joint_matrices(s);
    EXPECT_EQ(s.joint_matrices[1], glm::mat4(1.0f));
}

// One joint at (0, 1, 0) under a parent B, the skinned mesh's node (own
// matrix L) under a parent A, inverse bind matrices as exporters write them
// (the inverse of the joint's world matrix at bind time), and one animation
// moving the joint by (1, 0, 0) in its parent's space. The mesh node's
// world matrix times a joint matrix must put a bound vertex where the joint
// takes it: at rest where it was bound, posed moved by B's turn of (1, 0, 0).
TEST(SkinnedAnimation, JointMatricesHoldForEveryLayoutOfMeshAndJoints) {
    const glm::mat4 I(1.0f);
    const glm::mat4 turned = glm::rotate(I, glm::radians(90.0f), {0, 0, 1});  // x to y
    const glm::mat4 shrunk = glm::scale(turned, glm::vec3(0.5f));
    const glm::mat4 moved = glm::translate(I, {3, 0, 0});
    struct Row {
        const char* name;
        glm::mat4 a, b, l;
        glm::vec3 shift;  // B applied to (1, 0, 0)
    } rows[] = {
        {"nothing above", I, I, I, {1, 0, 0}},
        {"both under one turned parent", turned, turned, I, {0, 1, 0}},
        {"mesh under a turned parent", turned, I, I, {1, 0, 0}},
        {"joint under a shrunk turned parent, mesh moved", I, shrunk, moved, {0, 0.5f, 0}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        test::GltfBuilder b;
        const int mesh_parent = b.node(-1), joint_parent = b.node(-1);
        const int mesh = b.node(b.quad_mesh({0, 0, 0}, {1, 0, 0}, {0, 1, 0})), joint = b.node(-1, {0, 1, 0});
        b.place(mesh_parent, row.a);
        b.place(joint_parent, row.b);
        b.place(mesh, row.l);
        b.at(mesh_parent).children = {mesh};
        b.at(joint_parent).children = {joint};
        b.root(mesh_parent);
        b.root(joint_parent);
        b.skin(mesh, {joint}, {glm::inverse(row.b * glm::translate(I, {0, 1, 0}))});
        b.move(joint, {0, 1, 0}, {1, 1, 0});
        testing::internal::CaptureStdout();
        Model m = parsed(b.glb());
        build_animations(m);
        testing::internal::GetCapturedStdout();

        const glm::vec4 bound(2, 5, -1, 1);
        for (const auto& [s, expected] : {std::pair{0.0f, glm::vec3(bound)}, {0.999999f, glm::vec3(bound) + row.shift}}) {
            animate(m, 0, s);
            const glm::vec4 got = row.a * row.l * m.skeleton->joint_matrices[0] * bound;
            EXPECT_NEAR(glm::length(glm::vec3(got) - expected), 0.0f, 1e-4f) << "at " << s;
        }
    }
}

// ---------------------------------------------------------------- sample models

TEST(SampleModels, SkeletonsAndClipsAreBuiltAsTheAssetsHoldThem) {
    testing::internal::CaptureStdout();
    const Model rigged = built_fixture("RiggedSimple.glb");
    const Model man = built_fixture("CesiumMan.glb");
    const Model box = built_fixture("BoxAnimated.glb");
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("name of skeleton: "), std::string::npos) << out;
    EXPECT_NE(out.find("name of animation: "), std::string::npos) << out;

    ASSERT_TRUE(rigged.skeleton);
    EXPECT_EQ(rigged.skeleton->joints.size(), 2u);
    EXPECT_TRUE(rigged.node_animations.empty());
    EXPECT_TRUE(rigged.has_animations);
    ASSERT_TRUE(man.skeleton);
    EXPECT_EQ(man.skeleton->joints.size(), 19u);
    EXPECT_EQ(man.animations->list.size(), 1u);
    EXPECT_NEAR(man.animations->list[0]->start_time, 0.0417f, 1e-3f);

    // BoxAnimated: node animation, translation of node 0 and rotation of node 2.
    EXPECT_FALSE(box.skeleton);
    ASSERT_EQ(box.node_animations.size(), 2u);
    EXPECT_EQ(box.animated_nodes.size(), box.gltf.nodes.size());
}

TEST(SampleModels, StepHoldsAndCubicSplinePlays) {
    Model m = built_fixture("InterpolationTest.glb");
    ASSERT_EQ(m.animations->list.size(), 9u);
    int cubic = 0, stepped = 0;
    for (size_t a = 0; a < m.animations->list.size(); ++a) {
        const ModelAnimation& clip = *m.animations->list[a];
        const Sampler& s = clip.samplers[0];
        ASSERT_GE(s.times.size(), 3u);
        const int32_t mask = int32_t(1) << a;
        // Two thirds of the way into the first key interval.
        const float x = s.times[0] + (s.times[1] - s.times[0]) * 0.66f;
        const float pos = (x - clip.start_time) / (clip.end_time - clip.start_time);
        animate(m, mask, pos);
        const NodeAnimation* r = nullptr;
        for (const NodeAnimation& n : m.node_animations)
            if (n.animation == int32_t(a)) r = &n;
        ASSERT_NE(r, nullptr);
        const glm::vec4 first(s.values[0], s.values[1], s.values[2], s.width == 4 ? s.values[3] : 0.0f);
        SCOPED_TRACE(clip.name);
        cubic += s.interpolation == cubic_spline;  // played: the golden images show it
        if (s.interpolation != step) continue;
        ++stepped;
        const int32_t path = clip.channels[0].path;
        if (path == rotation_path) {
            EXPECT_NEAR(std::abs(glm::dot(r->rotation, quat_of(first))), 1.0f, 1e-5f);
        } else {
            const glm::vec3 v = path == translation_path ? r->translation : r->scale;
            EXPECT_NEAR(glm::length(v - glm::vec3(first)), 0.0f, 1e-5f);
        }
    }
    // Translation, rotation and scale each have a STEP clip: one read as
    // LINEAR would skip its check.
    EXPECT_EQ(stepped, 3);
    EXPECT_EQ(cubic, 3);
}

// A mesh's weights at rest are a node's, else its own, one per target; each
// posing starts from them and a picked animation's weights channel sets them.
TEST(MorphWeights, RestFromNodeElseMeshAndAnimatedByWeightsChannels) {
    const std::tuple<std::vector<double>, int32_t, const char*, std::vector<float>> rows[] = {
        // node weights (the mesh's: 0.25), animation mask, its interpolation, the weights drawn
        {{}, 0, "LINEAR", {0.25f, 0}}, {{0.75, 1}, 0, "LINEAR", {0.75f, 1}},
        {{}, 1, "LINEAR", {0.5f, 0.25f}}, {{}, 1, "STEP", {0, 0.5f}}};
    for (const auto& [node_weights, index, interpolation, want] : rows) {
        test::GltfBuilder b;
        tinygltf::Primitive quad = b.quad({0, 0, 0}, {1, 0, 0}, {0, 1, 0});
        quad.targets = {quad.attributes, quad.attributes};
        const int node = b.node(b.mesh({quad}));
        b.model.meshes[0].weights = {0.25};
        b.at(node).weights = node_weights;
        b.root(node);
        b.move(node, {}, {});  // then animated on its weights
        b.model.animations[0].channels[0].target_path = "weights";
        b.model.animations[0].samplers[0].interpolation = interpolation;
        b.model.animations[0].samplers[0].output = b.floats({0, 0.5f, 1, 0}, TINYGLTF_TYPE_SCALAR);
        Model m = parsed(b.glb());
        build_animations(m);
        animate(m, 1, 0.5f);  // every row animates once, then poses as it says
        animate(m, index, 0.5f);
        EXPECT_EQ(m.morph_weights, std::vector<std::vector<float>>{want}) << interpolation << index;
    }
}

// ---------------------------------------------------------------- hostile clips

TEST(HostileAnimation, BadSamplersAndTargetsChangeNothingAndReadNothingOutside) {
    NodeAnimation untouched;
    untouched.node = 0;
    const struct {
        const char* name;
        ModelAnimation clip;
    } rows[] = {
        {"no_values", clip(translation_path, linear, {0, 1, 2}, {})},
        {"fewer_values_than_times", clip(translation_path, linear, {0, 1, 2}, {{5, 5, 5, 0}})},
        {"one_key", clip(translation_path, linear, {1}, {{5, 5, 5, 0}})},
        {"times_out_of_order", clip(translation_path, linear, {2, 1, 0}, {{5, 5, 5, 0}, {6, 6, 6, 0}, {7, 7, 7, 0}})},
        {"unsupported_path", clip(unsupported_path, linear, {0, 4}, {{5, 5, 5, 0}, {6, 6, 6, 0}})},
        {"cubic_spline", clip(translation_path, cubic_spline, {0, 4}, {{5, 5, 5, 0}, {6, 6, 6, 0}})},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        for (const float x : {0.0f, 0.5f, 1.0f, 1.5f, 3.9f}) {
            testing::internal::CaptureStderr();
            const NodeAnimation r = sampled_at(row.clip, x);
            testing::internal::GetCapturedStderr();
            EXPECT_EQ(r.translation, untouched.translation);
            EXPECT_EQ(r.scale, untouched.scale);
        }
    }

    // A channel whose sampler does not exist, and a skinned channel whose
    // target is not a joint: skipped.
    ModelAnimation stray = clip(translation_path, linear, {0, 1}, {{5, 5, 5, 0}, {6, 6, 6, 0}});
    stray.channels.push_back({translation_path, 7, 0});
    stray.channels.push_back({translation_path, -1, 0});
    EXPECT_EQ(sampled_at(stray, 0).translation, glm::vec3(5, 5, 5));
    Skeleton skeleton;
    skeleton.joints.resize(1);
    skeleton.node_map[4] = 0;
    sample(stray, 0.0f, skeleton);  // every channel targets node 0, no joint
    EXPECT_EQ(skeleton.joints[0].translation, glm::vec3(0));

    // A skin without inverse bind matrices takes identities: posed as the
    // same chain whose matrices are given as identities.
    Model unbound = parsed(test::animated_joint_chain(3));
    Model bound = parsed(test::animated_joint_chain(3));
    unbound.gltf.skins[0].inverseBindMatrices = -1;
    for (Model* m : {&unbound, &bound}) {
        build_animations(*m);
        animate(*m, 1, 0.5f);
    }
    ASSERT_TRUE(unbound.skeleton);
    EXPECT_EQ(unbound.skeleton->joints.size(), 3u);
    EXPECT_EQ(unbound.animated_nodes, std::vector<bool>(3, true));
    EXPECT_EQ(unbound.skeleton->joint_matrices, bound.skeleton->joint_matrices);

    // A joint naming a node outside the tree stands at the origin.
    skeleton.joints[0].node = 5;
    skeleton.joints[0].inverse_bind = glm::translate(glm::mat4(1.0f), {0, -1, 0});
    compute_joint_matrices(skeleton);
    ASSERT_EQ(skeleton.joint_matrices.size(), 1u);
    EXPECT_EQ(skeleton.joint_matrices[0], skeleton.joints[0].inverse_bind);
}

}  // namespace
}  // namespace qh
