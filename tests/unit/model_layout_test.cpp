// What drawing reads of a glTF asset (model_layout.h): the draw call of every
// primitive, node extras, the order of passes and the matrices of one draw.
// Assets are made in code and go through the package's parse and checks.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <tuple>
#include <functional>
#include <string>
#include <vector>

#include <glm/ext/matrix_clip_space.hpp>
#include <glm/ext/matrix_transform.hpp>
#include <glm/gtc/matrix_inverse.hpp>

#include "package/binary_stream.h"
#include "scene3d/gltf_check.h"
#include "scene3d/model.h"
#include "scene3d/model_layout.h"
#include "support/gltf_builder.h"
#include "support/png.h"

namespace qh {
namespace {

using test::GltfBuilder;

Model parsed(const GltfBuilder& b) {
    Model m;
    const std::vector<uint8_t> record = test::model_record("test.glb", b.glb());
    BinaryReader in(record);
    m.read_binary(in);
    EXPECT_TRUE(m.parsed) << m.parse_error;
    return m;
}

template <class T>
std::vector<uint8_t> raw(const std::vector<T>& v) {
    std::vector<uint8_t> out(v.size() * sizeof(T));
    std::memcpy(out.data(), v.data(), out.size());
    return out;
}

const std::vector<float> triangle = {0, 0, 0, 1, 0, 0, 0, 1, 0};

// A primitive made in code has mode -1 (which the writer keeps) until set.
tinygltf::Primitive triangles() {
    tinygltf::Primitive p;
    p.mode = TINYGLTF_MODE_TRIANGLES;
    return p;
}

// ---------------------------------------------------------------- primitives

struct PrimitiveRow {
    const char* name;
    std::function<tinygltf::Primitive(GltfBuilder&)> make;
    bool drawable;
    int32_t count;
    bool indexed;
    uint64_t index_offset;
    std::vector<uint32_t> locations;  // of the attributes kept
    const char* problem;              // part of the one problem said; "" for none
};
void PrintTo(const PrimitiveRow& row, std::ostream* os) { *os << row.name; }

class PrimitiveDraw : public testing::TestWithParam<PrimitiveRow> {};

TEST_P(PrimitiveDraw, IsLaidOut) {
    const PrimitiveRow& row = GetParam();
    GltfBuilder b;
    b.root(b.node(b.mesh({row.make(b)})));
    const Model m = parsed(b);
    const ModelLayout layout = build_model_layout(m.gltf);
    ASSERT_EQ(layout.primitives.size(), 1u);
    const PrimitiveLayout& p = layout.primitives[0];
    EXPECT_EQ(p.drawable, row.drawable);
    if (row.drawable) {
        EXPECT_EQ(p.count, row.count);
    }
    EXPECT_EQ(p.element_buffer >= 0, row.indexed);
    if (row.indexed) {
        EXPECT_EQ(p.index_offset, row.index_offset);
    }
    std::vector<uint32_t> locations;
    for (const VertexAttribute& a : p.attributes) locations.push_back(a.location);
    EXPECT_EQ(locations, row.locations);
    if (*row.problem == '\0') {
        EXPECT_TRUE(layout.problems.empty()) << layout.problems.front();
    } else {
        ASSERT_EQ(layout.problems.size(), 1u);
        EXPECT_NE(layout.problems[0].find(row.problem), std::string::npos) << layout.problems[0];
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, PrimitiveDraw,
    testing::Values(
        PrimitiveRow{"quad", [](GltfBuilder& b) { return b.quad({0, 0, 0}, {1, 0, 0}, {0, 1, 0}); },
                     true, 6, true, 128, {0, 1, 2}, ""},  // after 48 + 48 + 32 bytes of vertices
        // Indices 12 bytes into a view that starts at byte 100 of the buffer.
        PrimitiveRow{"index_offset_adds_view_and_accessor",
                     [](GltfBuilder& b) {
                         b.view(std::vector<uint8_t>(100));
                         std::vector<uint8_t> bytes(12);
                         const std::vector<uint8_t> idx = raw(std::vector<uint16_t>{0, 1, 2});
                         bytes.insert(bytes.end(), idx.begin(), idx.end());
                         tinygltf::Primitive p = triangles();
                         p.indices = b.accessor(b.view(bytes), TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT,
                                                TINYGLTF_TYPE_SCALAR, 3, 12);
                         p.attributes["POSITION"] = b.floats(triangle, TINYGLTF_TYPE_VEC3);
                         return p;
                     },
                     true, 3, true, 112, {0}, ""},
        // Without indices the count is that of the first attribute by name:
        // "NORMAL" (3) before "POSITION" (6).
        PrimitiveRow{"count_of_first_attribute_by_name",
                     [](GltfBuilder& b) {
                         tinygltf::Primitive p = triangles();
                         std::vector<float> six = triangle;
                         six.insert(six.end(), triangle.begin(), triangle.end());
                         p.attributes["POSITION"] = b.floats(six, TINYGLTF_TYPE_VEC3);
                         p.attributes["NORMAL"] = b.floats(triangle, TINYGLTF_TYPE_VEC3);
                         return p;
                     },
                     true, 3, false, 0, {0, 1}, ""},
        PrimitiveRow{"integer_joints",
                     [](GltfBuilder& b) {
                         tinygltf::Primitive p = triangles();
                         p.attributes["POSITION"] = b.floats(triangle, TINYGLTF_TYPE_VEC3);
                         p.attributes["JOINTS_0"] = b.accessor(b.view(std::vector<uint8_t>(12)),
                                                               TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE,
                                                               TINYGLTF_TYPE_VEC4, 3);
                         p.attributes["TANGENT"] = b.floats(std::vector<float>(12), TINYGLTF_TYPE_VEC4);
                         return p;
                     },
                     true, 3, false, 0, {0, 3}, ""},
        PrimitiveRow{"scalar_attribute_left_out",
                     [](GltfBuilder& b) {
                         tinygltf::Primitive p = triangles();
                         p.attributes["POSITION"] = b.floats(triangle, TINYGLTF_TYPE_VEC3);
                         p.attributes["TEXCOORD_0"] = b.floats({0, 0, 0}, TINYGLTF_TYPE_SCALAR);
                         return p;
                     },
                     true, 3, false, 0, {0}, "TEXCOORD_0 is not a vector"},
        PrimitiveRow{"float_joints_left_out",
                     [](GltfBuilder& b) {
                         tinygltf::Primitive p = triangles();
                         p.attributes["POSITION"] = b.floats(triangle, TINYGLTF_TYPE_VEC3);
                         p.attributes["JOINTS_0"] = b.floats(std::vector<float>(12), TINYGLTF_TYPE_VEC4);
                         return p;
                     },
                     true, 3, false, 0, {0}, "JOINTS_0"},
        PrimitiveRow{"unknown_mode",
                     [](GltfBuilder& b) {
                         tinygltf::Primitive p = b.quad({0, 0, 0}, {1, 0, 0}, {0, 1, 0});
                         p.mode = 9;
                         return p;
                     },
                     false, 0, true, 128, {0, 1, 2}, "mode 9"}),
    [](const auto& info) { return std::string(info.param.name); });

// The writer cannot store an empty attribute map, so this asset skips the
// round trip; it passes the checks all the same.
TEST(PrimitiveDraw, WithoutAttributesOrIndicesIsNotDrawn) {
    GltfBuilder b;
    b.view(std::vector<uint8_t>(4));
    b.root(b.node(b.mesh({triangles()})));
    ASSERT_EQ(check_gltf_model(b.model), "");
    const ModelLayout layout = build_model_layout(b.model);
    EXPECT_FALSE(layout.primitives[0].drawable);
    ASSERT_EQ(layout.problems.size(), 1u);
    EXPECT_NE(layout.problems[0].find("no attributes"), std::string::npos) << layout.problems[0];
}

TEST(PrimitiveDraw, InterleavedViewKeepsItsStride) {
    GltfBuilder b;
    // position and normal of three vertices, 24 bytes a vertex
    std::vector<float> interleaved;
    for (int i = 0; i < 3; ++i) {
        interleaved.insert(interleaved.end(), {triangle[3 * i], triangle[3 * i + 1], triangle[3 * i + 2], 0, 0, 1});
    }
    const int view = b.view(raw(interleaved), 24);
    tinygltf::Primitive p = triangles();
    p.attributes["POSITION"] = b.accessor(view, TINYGLTF_COMPONENT_TYPE_FLOAT, TINYGLTF_TYPE_VEC3, 3, 0);
    p.attributes["NORMAL"] = b.accessor(view, TINYGLTF_COMPONENT_TYPE_FLOAT, TINYGLTF_TYPE_VEC3, 3, 12);
    b.root(b.node(b.mesh({p})));
    const Model m = parsed(b);
    const ModelLayout layout = build_model_layout(m.gltf);
    const uint64_t view_offset = m.gltf.bufferViews[size_t(view)].byteOffset;
    ASSERT_EQ(layout.primitives[0].attributes.size(), 2u);
    for (const VertexAttribute& a : layout.primitives[0].attributes) {
        EXPECT_EQ(a.stride, 24);
        EXPECT_EQ(a.offset, view_offset + (a.location == normal_location ? 12 : 0));
    }
}

TEST(PrimitiveDraw, MeshRangesFollowMeshesInOrder) {
    GltfBuilder b;
    const tinygltf::Primitive q = b.quad({0, 0, 0}, {1, 0, 0}, {0, 1, 0});
    b.mesh({q, q});
    b.mesh({q});
    const ModelLayout layout = build_model_layout(parsed(b).gltf);
    ASSERT_EQ(layout.mesh_ranges.size(), 2u);
    EXPECT_EQ(layout.mesh_ranges[0].first, 0);
    EXPECT_EQ(layout.mesh_ranges[0].count, 2);
    EXPECT_EQ(layout.mesh_ranges[1].first, 2);
    EXPECT_EQ(layout.mesh_ranges[1].count, 1);
    EXPECT_EQ(layout.primitives.size(), 3u);
}

// ---------------------------------------------------------------- extras

struct ExtrasRow {
    const char* name;
    tinygltf::Value extras;
    bool ignore_shadow;
    int32_t render_pass;
    int32_t tag;
};
void PrintTo(const ExtrasRow& row, std::ostream* os) { *os << row.name; }

tinygltf::Value object(const std::string& key, tinygltf::Value v) {
    tinygltf::Value::Object o;
    o[key] = std::move(v);
    return tinygltf::Value(o);
}

class NodeExtras : public testing::TestWithParam<ExtrasRow> {};

TEST_P(NodeExtras, ReadOnlyTheirOwnType) {
    const ExtrasRow& row = GetParam();
    GltfBuilder b;
    const int n = b.node(b.quad_mesh({0, 0, 0}, {1, 0, 0}, {0, 1, 0}));
    b.at(n).extras = row.extras;
    b.root(n);
    const ModelLayout layout = build_model_layout(parsed(b).gltf);
    EXPECT_EQ(layout.nodes[0].ignore_shadow, row.ignore_shadow);
    EXPECT_EQ(layout.nodes[0].render_pass, row.render_pass);
    EXPECT_EQ(layout.nodes[0].tag, row.tag);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, NodeExtras,
    testing::Values(ExtrasRow{"none", tinygltf::Value(), false, 1, 0},
                    ExtrasRow{"ignore_shadow_true", object("ignore_shadow", tinygltf::Value(true)), true, 1, 0},
                    ExtrasRow{"ignore_shadow_false", object("ignore_shadow", tinygltf::Value(false)), false, 1, 0},
                    ExtrasRow{"ignore_shadow_number_1", object("ignore_shadow", tinygltf::Value(1)), false, 1, 0},
                    ExtrasRow{"render_pass_2", object("render_pass", tinygltf::Value(2)), false, 2, 0},
                    ExtrasRow{"render_pass_not_integer", object("render_pass", tinygltf::Value(2.5)), false, 1, 0},
                    ExtrasRow{"tag_7", object("tag", tinygltf::Value(7)), false, 1, 7},
                    ExtrasRow{"tag_text", object("tag", tinygltf::Value(std::string("7"))), false, 1, 0},
                    ExtrasRow{"not_an_object",
                              tinygltf::Value(tinygltf::Value::Array{tinygltf::Value(1)}), false, 1, 0}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------- one draw

// Root A (pass 1) with children B (pass 2, moved up 2), C (pass 0) and D
// (ignores shadows), then a mesh-less node E with "render_pass" 3.
struct PassScene {
    PassScene() {
        const int mesh = b.quad_mesh({0, 0, 0}, {1, 0, 0}, {0, 1, 0});
        a = b.node(mesh, {1, 0, 0});
        bb = b.node(mesh, {0, 2, 0});
        c = b.node(mesh);
        d = b.node(mesh);
        e = b.node(-1);
        b.at(a).children = {bb, c, d};
        b.extra(bb, "render_pass", tinygltf::Value(2));
        b.extra(c, "render_pass", tinygltf::Value(0));
        b.extra(d, "ignore_shadow", tinygltf::Value(true));
        b.extra(e, "render_pass", tinygltf::Value(3));
        b.root(a);
        b.root(e);
        model = parsed(b);
        layout = build_model_layout(model.gltf);
    }
    // The glTF node of each visit drawn, in order.
    std::vector<int> drawn(const DrawList& list) const {
        std::vector<int> nodes;
        for (int32_t v : list.order) nodes.push_back(layout.visits[size_t(v)].node);
        return nodes;
    }
    GltfBuilder b;
    int a, bb, c, d, e;
    Model model;
    ModelLayout layout;
};

TEST(PlanDraw, PassesShadowAndOrder) {
    PassScene s;
    EXPECT_EQ(s.layout.render_passes, 3);  // raised by E, which has no mesh
    EXPECT_EQ(s.layout.passes, (std::vector<int32_t>{1, 2}));

    struct Row {
        const char* name;
        bool shadow_pass;
        std::vector<int> nodes;
    };
    // Pass 1 draws A and D in visit order, pass 2 only B; C never.
    const Row rows[] = {{"main", false, {s.a, s.d, s.bb}}, {"shadow", true, {s.a, s.bb}}};
    DrawList list;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        plan_draw(s.layout, {}, {}, row.shadow_pass, list);
        EXPECT_EQ(s.drawn(list), row.nodes);
    }
}

TEST(PlanDraw, Matrices) {
    PassScene s;
    const ViewMatrices camera{glm::lookAt(glm::vec3(0, 0, 5), glm::vec3(0), glm::vec3(0, 1, 0)),
                              glm::perspective(1.0f, 1.5f, 0.1f, 100.0f)};
    const ViewMatrices light{glm::lookAt(glm::vec3(5, 5, 0), glm::vec3(0), glm::vec3(0, 1, 0)),
                             glm::ortho(-10.0f, 10.0f, -10.0f, 10.0f, 0.01f, 100.0f)};
    DrawList list;
    plan_draw(s.layout, camera, light, false, list);
    ASSERT_EQ(s.drawn(list)[2], s.bb);
    const NodeTransforms& t = list.transforms[size_t(list.order[2])];
    // B's world matrix is its parent's times its own.
    const glm::mat4 world = glm::translate(glm::mat4(1), {1, 0, 0}) * glm::translate(glm::mat4(1), {0, 2, 0});
    EXPECT_EQ(t.model, world);
    EXPECT_EQ(t.model_view, camera.view * world);
    EXPECT_EQ(t.mvp, camera.projection * camera.view * world);
    EXPECT_EQ(t.light_mvp, light.projection * light.view * world);
    const glm::mat4 normal = glm::transpose(glm::inverse(world));
    for (int col = 0; col < 4; ++col)
        for (int r = 0; r < 4; ++r) EXPECT_NEAR(t.normal[col][r], normal[col][r], 1e-6f);

    // In the shadow pass the light is the camera: both matrices agree.
    plan_draw(s.layout, light, light, true, list);
    for (int32_t v : list.order) EXPECT_EQ(list.transforms[size_t(v)].mvp, list.transforms[size_t(v)].light_mvp);
}

TEST(PlanDraw, NodeListedAsRootAndChildIsDrawnTwice) {
    GltfBuilder b;
    const int mesh = b.quad_mesh({0, 0, 0}, {1, 0, 0}, {0, 1, 0});
    const int parent = b.node(mesh, {5, 0, 0});
    const int child = b.node(mesh, {0, 1, 0});
    b.at(parent).children = {child};
    b.root(parent);
    b.root(child);
    const ModelLayout layout = build_model_layout(parsed(b).gltf);
    DrawList list;
    plan_draw(layout, {}, {}, false, list);
    ASSERT_EQ(list.order.size(), 3u);
    EXPECT_EQ(list.world[size_t(list.order[1])][3], glm::vec4(5, 1, 0, 1));  // under its parent
    EXPECT_EQ(list.world[size_t(list.order[2])][3], glm::vec4(0, 1, 0, 1));  // as a root
}

TEST(PlanDraw, WithoutDefaultSceneNothingIsVisited) {
    GltfBuilder b;
    b.root(b.node(b.quad_mesh({0, 0, 0}, {1, 0, 0}, {0, 1, 0})));
    b.model.defaultScene = -1;
    const ModelLayout layout = build_model_layout(parsed(b).gltf);
    EXPECT_FALSE(layout.has_default_scene);
    DrawList list;
    plan_draw(layout, {}, {}, false, list);
    EXPECT_TRUE(list.order.empty());
}

// A root listed over and over must not turn into an endless draw.
TEST(PlanDraw, VisitsAreBounded) {
    GltfBuilder b;
    const int n = b.node(b.quad_mesh({0, 0, 0}, {1, 0, 0}, {0, 1, 0}));
    b.model.scenes[0].nodes.assign(max_node_visits + 10, n);
    const ModelLayout layout = build_model_layout(parsed(b).gltf);
    EXPECT_EQ(layout.visits.size(), max_node_visits);
    ASSERT_EQ(layout.problems.size(), 1u);
    EXPECT_NE(layout.problems[0].find("the rest are not drawn"), std::string::npos);
}

// A posed node's matrix is its local one: its parent, turned 90 degrees
// about z and halved, still carries it, so (2, 0, 0) lands at (0, 1, 0).
TEST(PlanDraw, PosedNodeStaysUnderItsParent) {
    GltfBuilder b;
    const int parent = b.node(-1), child = b.node(b.quad_mesh({0, 0, 0}, {1, 0, 0}, {0, 1, 0}));
    b.place(parent, glm::scale(glm::rotate(glm::mat4(1), glm::radians(90.0f), {0, 0, 1}), glm::vec3(0.5f)));
    b.at(parent).children = {child};
    b.root(parent);
    const ModelLayout layout = build_model_layout(parsed(b).gltf);
    const std::vector<bool> animated = {false, true};
    const std::vector<glm::mat4> matrices = {glm::mat4(1), glm::translate(glm::mat4(1), {2, 0, 0})};
    const NodePose pose{animated, matrices};
    DrawList list;
    plan_draw(layout, {}, {}, false, list, &pose);
    ASSERT_EQ(list.order.size(), 1u);
    const glm::vec4 origin = list.transforms[size_t(list.order[0])].model * glm::vec4(0, 0, 0, 1);
    EXPECT_NEAR(glm::length(glm::vec3(origin) - glm::vec3(0, 1, 0)), 0.0f, 1e-5f);
}

// A sparse POSITION (kept through the GLB the package stores) is drawn from
// a copy holding its substitutions, after the asset's own buffers; without a
// view it starts from zeros; a substitution past the accessor's end fails the
// asset's check.
TEST(PrimitiveDraw, SparseValuesAreDrawnFromACopy) {
    struct Row {
        const char* name;
        uint16_t index;  // the element substituted
        bool viewless, read;
    } rows[] = {{"in range", 1, false, true}, {"without a view", 2, true, true}, {"past the end", 3, false, false}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        GltfBuilder b;
        tinygltf::Primitive p = triangles();
        p.attributes["POSITION"] = b.floats(triangle, TINYGLTF_TYPE_VEC3);
        b.sparse(p.attributes["POSITION"], {row.index}, {5, 6, 7});
        if (row.viewless) b.model.accessors[size_t(p.attributes["POSITION"])].bufferView = -1;
        b.root(b.node(b.mesh({p})));
        if (!row.read) {
            EXPECT_NE(check_gltf_model(b.model).find("sparse index 3 is past its 3 elements"), std::string::npos);
            continue;
        }
        const Model m = parsed(b);
        const ModelLayout layout = build_model_layout(m.gltf);
        ASSERT_EQ(layout.copied_buffers.size(), 1u);
        const VertexAttribute& a = layout.primitives[0].attributes[0];
        EXPECT_EQ(a.buffer, int32_t(m.gltf.buffers.size()));
        EXPECT_EQ(a.offset, 0u);
        std::vector<float> expected = row.viewless ? std::vector<float>(triangle.size(), 0.0f) : triangle;
        std::copy_n(std::begin({5.0f, 6.0f, 7.0f}), 3, expected.begin() + 3 * row.index);
        EXPECT_EQ(layout.copied_buffers[0], raw(expected));
    }
}

// Position and normal targets are drawn from a copy blended by the weights;
// what cannot be blended soundly is drawn as stored, with a problem said.
TEST(PrimitiveDraw, MorphTargetsAreDrawnBlended) {
    struct Row {
        std::vector<std::vector<float>> moves;  // POSITION of each target; empty: none
        bool normals;                           // a NORMAL attribute, and a NORMAL in every target
        std::vector<float> want;  // at weights 0.5 and 2: positions, then normals; empty: not blended
    } rows[] = {
        {{{1, 0, 0, 0, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 1, 0, 0, 0, 0}}, true,
         {0.5f, 0, 0, 1, 2, 0, 0, 1, 0, 0, 1.25f, 1, 0, 1.25f, 1, 0, 1.25f, 1}},
        {{{1, 0, 0, 0, 0, 0, 0, 0, 0}, {}}, false, {0.5f, 0, 0, 1, 0, 0, 0, 1, 0}},
        {{{1, 0, 0}}, false, {}},  // a target shorter than the mesh
    };
    for (const Row& row : rows) {
        GltfBuilder b;
        tinygltf::Primitive p = triangles();
        p.attributes["POSITION"] = b.floats(triangle, TINYGLTF_TYPE_VEC3);
        if (row.normals) p.attributes["NORMAL"] = b.floats({0, 0, 1, 0, 0, 1, 0, 0, 1}, TINYGLTF_TYPE_VEC3);
        for (const std::vector<float>& moves : row.moves) {
            auto& target = p.targets.emplace_back();
            if (!moves.empty()) target["POSITION"] = b.floats(moves, TINYGLTF_TYPE_VEC3);
            if (row.normals) target["NORMAL"] = b.floats({0, 0.5f, 0, 0, 0.5f, 0, 0, 0.5f, 0}, TINYGLTF_TYPE_VEC3);
        }
        b.root(b.node(b.mesh({p})));
        const ModelLayout layout = build_model_layout(parsed(b).gltf);
        ASSERT_EQ(layout.morphs.size(), row.want.empty() ? 0u : 1u);
        EXPECT_EQ(layout.problems.size(), row.want.empty() ? 1u : 0u);
        if (row.want.empty()) continue;
        for (const VertexAttribute& a : layout.primitives[0].attributes)  // normals after the positions
            EXPECT_EQ(std::make_pair(a.buffer, a.offset), std::make_pair(layout.morphs[0].buffer, a.location * 36ul));
        std::vector<float> blended;
        blend_morph(layout.morphs[0], {0.5f, 2.0f}, blended);
        EXPECT_EQ(blended, row.want);
    }
}

using TextureEdit = std::function<void(GltfBuilder&, tinygltf::TextureInfo&)>;

// A triangle whose material's base colour texture goes through `edit`.
std::pair<Model, ModelLayout> textured_triangle(const TextureEdit& edit) {
    GltfBuilder b;
    tinygltf::Primitive p = triangles();
    p.attributes["POSITION"] = b.floats(triangle, TINYGLTF_TYPE_VEC3);
    p.attributes["TEXCOORD_0"] = b.floats({0, 1, 1, 1, 0, 0}, TINYGLTF_TYPE_VEC2);
    p.attributes["TEXCOORD_1"] = b.floats({0.5f, 0.5f, 0.25f, 0.25f, 1, 0}, TINYGLTF_TYPE_VEC2);
    p.material = b.material(glm::vec4(1.0f), b.texture(test::solid_png(1, 1, 9, 9, 9), "image/png"));
    edit(b, b.model.materials[0].pbrMetallicRoughness.baseColorTexture);
    b.root(b.node(b.mesh({p})));
    std::pair<Model, ModelLayout> out{parsed(b), ModelLayout()};
    out.second = build_model_layout(out.first.gltf);
    return out;
}

// glTF's sampler, with its defaults (repeat, linear, mipmaps) for what it
// leaves out or gives wrongly.
TEST(ModelTextures, AreReadAsTheirSamplerSays) {
    const struct Row {
        std::array<int, 4> given;     // wrap S, wrap T, min, mag; all -1: no sampler
        std::array<uint32_t, 4> read;
    } rows[] = {{{-1, -1, -1, -1}, {10497, 10497, 9987, 9729}}, {{33648, 33071, 9728, 9728}, {33648, 33071, 9728, 9728}},
                {{33071, 33071, 9984, 9729}, {33071, 33071, 9984, 9729}},
                {{1234, 9729, 33071, 9987}, {10497, 10497, 9987, 9729}}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.given[0]);
        const ModelLayout layout = textured_triangle([&](GltfBuilder& b, tinygltf::TextureInfo&) {
            if (row.given[0] == -1) return;
            tinygltf::Sampler& s = b.model.samplers.emplace_back();
            std::tie(s.wrapS, s.wrapT, s.minFilter, s.magFilter) = std::tuple_cat(row.given);
            b.model.textures[0].sampler = 0;
        }).second;
        const SamplerLayout& s = layout.samplers.at(size_t(layout.materials[0].base_color_sampler));
        EXPECT_EQ((std::array{s.wrap_s, s.wrap_t, s.min_filter, s.mag_filter}), row.read);
        EXPECT_EQ(layout.mipmapped_images, std::vector<bool>{row.read[2] != 9728});
    }
}

// Location 2 holds the coordinates the base colour texture reads, through
// its transform (scale, then rotation, then offset); location 5 the second
// set as stored.
TEST(ModelTextures, BaseColourCoordinatesAreTransformed) {
    const auto transform = [](int set, double ox, double rotation, double s) -> TextureEdit {
        return [=](GltfBuilder&, tinygltf::TextureInfo& info) {
            tinygltf::Value::Object t{{"rotation", tinygltf::Value(rotation)},
                                      {"offset", tinygltf::Value(tinygltf::Value::Array{tinygltf::Value(ox), tinygltf::Value(0.0)})},
                                      {"scale", tinygltf::Value(tinygltf::Value::Array{tinygltf::Value(s), tinygltf::Value(s + 1)})}};
            if (set >= 0) t["texCoord"] = tinygltf::Value(set);
            info.extensions["KHR_texture_transform"] = tinygltf::Value(t);
        };
    };
    const std::vector<float> first = {0, 1, 1, 1, 0, 0}, second = {0.5f, 0.5f, 0.25f, 0.25f, 1, 0};
    const std::pair<TextureEdit, std::vector<float>> rows[] = {  // the edit, what location 2 reads
        {[](GltfBuilder&, tinygltf::TextureInfo&) {}, first},
        {[](GltfBuilder&, tinygltf::TextureInfo& info) { info.texCoord = 1; }, second},
        {transform(-1, 0.5, 0, 2), {0.5f, 3, 2.5f, 3, 0.5f, 0}},
        {transform(-1, 0, 1.5707963267948966, 1), {-2, 0, -2, 1, 0, 0}},
        {transform(1, 1, 0, 1), {1.5f, 1, 1.25f, 0.5f, 2, 0}},
    };
    for (const auto& [edit, expected] : rows) {
        const auto [model, layout] = textured_triangle(edit);
        const auto values = [&](AttributeLocation location) {
            std::vector<float> f(6, -9);
            for (const VertexAttribute& a : layout.primitives[0].attributes) {
                const size_t k = size_t(a.buffer), own = model.gltf.buffers.size();
                if (a.location == location)
                    std::memcpy(f.data(), (k < own ? model.gltf.buffers[k].data : layout.copied_buffers[k - own]).data() +
                                              a.offset, 24);
            }
            return f;
        };
        const std::vector<float> base = values(texcoord_location);
        for (size_t i = 0; i < 6; ++i) EXPECT_NEAR(base[i], expected[i], 1e-6f) << &edit - &rows[0].first << " " << i;
        EXPECT_EQ(values(texcoord1_location), second);
    }
}

TEST(NodeMatrix, MatrixOrTranslationRotationScale) {
    GltfBuilder b;
    b.quad_mesh({0, 0, 0}, {1, 0, 0}, {0, 1, 0});  // a GLB needs some binary data
    const int m = b.node(-1);
    b.at(m).matrix = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 7, 8, 9, 1};  // column-major
    const int trs = b.node(-1);
    b.at(trs).translation = {1, 2, 3};
    b.at(trs).rotation = {0, 0, 0.70710678, 0.70710678};  // 90 degrees about z
    b.at(trs).scale = {2, 2, 2};
    const ModelLayout layout = build_model_layout(parsed(b).gltf);
    ASSERT_EQ(layout.nodes.size(), 2u);
    EXPECT_EQ(layout.nodes[0].local[3], glm::vec4(7, 8, 9, 1));
    const glm::vec4 x = layout.nodes[1].local * glm::vec4(1, 0, 0, 1);  // scaled, turned to +y, moved
    EXPECT_NEAR(x.x, 1, 1e-5);
    EXPECT_NEAR(x.y, 4, 1e-5);
    EXPECT_NEAR(x.z, 3, 1e-5);
}

}  // namespace
}  // namespace qh
