#include "support/gltf_builder.h"

#include <cstring>

#include <glm/geometric.hpp>
#include <glm/gtc/quaternion.hpp>

#include "package/binary_stream.h"
#include "scene3d/gltf_io.h"

namespace qh::test {

namespace {

template <class T>
std::vector<uint8_t> bytes_of(const std::vector<T>& values) {
    std::vector<uint8_t> out(values.size() * sizeof(T));
    if (!out.empty()) std::memcpy(out.data(), values.data(), out.size());
    return out;
}

}  // namespace

GltfBuilder::GltfBuilder() {
    model.asset.version = "2.0";
    model.buffers.emplace_back();
    model.scenes.emplace_back();
    model.defaultScene = 0;
}

int GltfBuilder::view(const std::vector<uint8_t>& bytes, size_t stride) {
    std::vector<unsigned char>& data = model.buffers[0].data;
    while (data.size() % 4) data.push_back(0);
    tinygltf::BufferView v;
    v.buffer = 0;
    v.byteOffset = data.size();
    v.byteLength = bytes.size();
    v.byteStride = stride;
    data.insert(data.end(), bytes.begin(), bytes.end());
    model.bufferViews.push_back(v);
    return int(model.bufferViews.size() - 1);
}

int GltfBuilder::accessor(int view, int component_type, int type, size_t count, size_t byte_offset) {
    tinygltf::Accessor a;
    a.bufferView = view;
    a.byteOffset = byte_offset;
    a.componentType = component_type;
    a.type = type;
    a.count = count;
    model.accessors.push_back(a);
    return int(model.accessors.size() - 1);
}

int GltfBuilder::floats(const std::vector<float>& values, int type) {
    const int per = tinygltf::GetNumComponentsInType(uint32_t(type));
    return accessor(view(bytes_of(values)), TINYGLTF_COMPONENT_TYPE_FLOAT, type, values.size() / size_t(per));
}

int GltfBuilder::indices(const std::vector<uint16_t>& values) {
    return accessor(view(bytes_of(values)), TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT, TINYGLTF_TYPE_SCALAR,
                    values.size());
}

int GltfBuilder::texture(const std::vector<uint8_t>& encoded, const std::string& mime) {
    tinygltf::Image image;
    image.name = "image" + std::to_string(model.images.size());
    image.bufferView = view(encoded);
    image.mimeType = mime;
    model.images.push_back(image);
    tinygltf::Texture t;
    t.source = int(model.images.size() - 1);
    model.textures.push_back(t);
    return int(model.textures.size() - 1);
}

int GltfBuilder::material(glm::vec4 base_color, int base_texture) {
    tinygltf::Material m;
    m.pbrMetallicRoughness.baseColorFactor = {base_color.r, base_color.g, base_color.b, base_color.a};
    m.pbrMetallicRoughness.baseColorTexture.index = base_texture;
    model.materials.push_back(m);
    return int(model.materials.size() - 1);
}

tinygltf::Primitive GltfBuilder::quad(glm::vec3 c, glm::vec3 u, glm::vec3 v, int material) {
    const glm::vec3 n = glm::normalize(glm::cross(u, v));
    const glm::vec3 corners[4] = {c, c + u, c + u + v, c + v};
    const glm::vec2 uv[4] = {{0, 1}, {1, 1}, {1, 0}, {0, 0}};
    std::vector<float> pos, nor, tex;
    for (int i = 0; i < 4; ++i) {
        pos.insert(pos.end(), {corners[i].x, corners[i].y, corners[i].z});
        nor.insert(nor.end(), {n.x, n.y, n.z});
        tex.insert(tex.end(), {uv[i].x, uv[i].y});
    }
    tinygltf::Primitive p;
    p.attributes["POSITION"] = floats(pos, TINYGLTF_TYPE_VEC3);
    p.attributes["NORMAL"] = floats(nor, TINYGLTF_TYPE_VEC3);
    p.attributes["TEXCOORD_0"] = floats(tex, TINYGLTF_TYPE_VEC2);
    p.indices = indices({0, 1, 2, 0, 2, 3});
    p.material = material;
    p.mode = TINYGLTF_MODE_TRIANGLES;
    return p;
}

tinygltf::Primitive GltfBuilder::box(glm::vec3 centre, glm::vec3 h, int material) {
    // Each face as corner, u, v with u x v pointing out.
    const glm::vec3 x(2 * h.x, 0, 0), y(0, 2 * h.y, 0), z(0, 0, 2 * h.z);
    const glm::vec3 lo = centre - h;
    const glm::vec3 f[6][3] = {
        {lo + z, x, y},                 // front  (+z)
        {lo + x, -x, y},                // back   (-z)
        {lo + x + z, -z, y},            // right  (+x)
        {lo, z, y},                     // left   (-x)
        {lo + y + z, x, -z},            // top    (+y)
        {lo, x, z},                     // bottom (-y)
    };
    std::vector<float> pos, nor, tex;
    std::vector<uint16_t> idx;
    for (int face = 0; face < 6; ++face) {
        const glm::vec3 c = f[face][0], u = f[face][1], v = f[face][2];
        const glm::vec3 n = glm::normalize(glm::cross(u, v));
        const glm::vec3 corners[4] = {c, c + u, c + u + v, c + v};
        const glm::vec2 uv[4] = {{0, 1}, {1, 1}, {1, 0}, {0, 0}};
        const uint16_t base = uint16_t(face * 4);
        for (int i = 0; i < 4; ++i) {
            pos.insert(pos.end(), {corners[i].x, corners[i].y, corners[i].z});
            nor.insert(nor.end(), {n.x, n.y, n.z});
            tex.insert(tex.end(), {uv[i].x, uv[i].y});
        }
        idx.insert(idx.end(), {base, uint16_t(base + 1), uint16_t(base + 2), base, uint16_t(base + 2),
                               uint16_t(base + 3)});
    }
    tinygltf::Primitive p;
    p.attributes["POSITION"] = floats(pos, TINYGLTF_TYPE_VEC3);
    p.attributes["NORMAL"] = floats(nor, TINYGLTF_TYPE_VEC3);
    p.attributes["TEXCOORD_0"] = floats(tex, TINYGLTF_TYPE_VEC2);
    p.indices = indices(idx);
    p.material = material;
    p.mode = TINYGLTF_MODE_TRIANGLES;
    return p;
}

int GltfBuilder::mesh(const std::vector<tinygltf::Primitive>& primitives) {
    tinygltf::Mesh m;
    m.primitives = primitives;
    model.meshes.push_back(m);
    return int(model.meshes.size() - 1);
}

int GltfBuilder::quad_mesh(glm::vec3 corner, glm::vec3 u, glm::vec3 v, int material) {
    return mesh({quad(corner, u, v, material)});
}

int GltfBuilder::node(int mesh, glm::vec3 translation) {
    tinygltf::Node n;
    n.mesh = mesh;
    if (translation != glm::vec3(0.0f)) n.translation = {translation.x, translation.y, translation.z};
    model.nodes.push_back(n);
    return int(model.nodes.size() - 1);
}

void GltfBuilder::extra(int node, const std::string& key, const tinygltf::Value& value) {
    tinygltf::Value::Object members;
    tinygltf::Value& extras = model.nodes[size_t(node)].extras;
    if (extras.IsObject()) members = extras.Get<tinygltf::Value::Object>();
    members[key] = value;
    extras = tinygltf::Value(members);
}

int GltfBuilder::matrices(const std::vector<glm::mat4>& values) {
    std::vector<float> floats;
    for (const glm::mat4& m : values)
        for (int c = 0; c < 4; ++c)
            for (int r = 0; r < 4; ++r) floats.push_back(m[c][r]);
    return this->floats(floats, TINYGLTF_TYPE_MAT4);
}

void GltfBuilder::sparse(int accessor, const std::vector<uint16_t>& indices, const std::vector<float>& values) {
    auto bytes_of = [](const void* p, size_t n) {
        const auto* b = static_cast<const uint8_t*>(p);
        return std::vector<uint8_t>(b, b + n);
    };
    tinygltf::Accessor& a = model.accessors[size_t(accessor)];
    a.sparse.isSparse = true;
    a.sparse.count = int(indices.size());
    a.sparse.indices.bufferView = view(bytes_of(indices.data(), indices.size() * 2));
    a.sparse.indices.byteOffset = 0;
    a.sparse.indices.componentType = TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT;
    a.sparse.values.bufferView = view(bytes_of(values.data(), values.size() * 4));
    a.sparse.values.byteOffset = 0;
}

void GltfBuilder::place(int node, const glm::mat4& local) {
    std::vector<double>& m = model.nodes[size_t(node)].matrix;
    m.clear();
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 4; ++r) m.push_back(local[c][r]);
}

void GltfBuilder::skin(int mesh_node, const std::vector<int>& joints, const std::vector<glm::mat4>& inverse_binds) {
    at(mesh_node).skin = int(model.skins.size());
    tinygltf::Skin& s = model.skins.emplace_back();
    s.joints = joints;
    s.inverseBindMatrices = matrices(inverse_binds);
}

void GltfBuilder::move(int node, glm::vec3 from, glm::vec3 to) {
    tinygltf::Animation& a = model.animations.emplace_back();
    tinygltf::AnimationSampler& s = a.samplers.emplace_back();
    s.input = floats({0, 1}, TINYGLTF_TYPE_SCALAR);
    s.output = floats({from.x, from.y, from.z, to.x, to.y, to.z}, TINYGLTF_TYPE_VEC3);
    tinygltf::AnimationChannel& c = a.channels.emplace_back();
    c.sampler = 0;
    c.target_node = node;
    c.target_path = "translation";
}

void GltfBuilder::root(int node) { model.scenes[0].nodes.push_back(node); }

std::vector<uint8_t> GltfBuilder::glb() const { return write_glb(model); }

std::vector<uint8_t> model_record(const std::string& name, const std::vector<uint8_t>& glb) {
    BinaryWriter w;
    w.write_packed_string(name);
    w.write_scrambled_bytes(glb.data(), glb.size());
    return w.take_bytes();
}

std::vector<uint8_t> animated_joint_chain(int joints) {
    GltfBuilder b;
    std::vector<int> nodes;
    for (int j = 0; j < joints; ++j) {
        nodes.push_back(b.node(-1, {0, 0.2f, 0}));
        if (j) b.at(nodes[size_t(j - 1)]).children.push_back(nodes.back());
    }
    b.root(nodes[0]);
    tinygltf::Skin& skin = b.model.skins.emplace_back();
    skin.joints = nodes;
    std::vector<float> identities;
    for (int j = 0; j < joints; ++j)
        for (int k = 0; k < 16; ++k) identities.push_back(k % 5 == 0 ? 1.0f : 0.0f);
    skin.inverseBindMatrices = b.floats(identities, TINYGLTF_TYPE_MAT4);
    constexpr int keys = 48;
    std::vector<float> times, moves, turns;
    for (int k = 0; k < keys; ++k) {
        const float t = float(k) / 24.0f;
        times.push_back(t);
        moves.insert(moves.end(), {0.0f, 0.2f + 0.01f * t, 0.0f});
        const glm::quat q = glm::angleAxis(t, glm::vec3(0, 0, 1));
        turns.insert(turns.end(), {q.x, q.y, q.z, q.w});
    }
    tinygltf::Animation& a = b.model.animations.emplace_back();
    a.name = "wave";
    const int input = b.floats(times, TINYGLTF_TYPE_SCALAR);
    const int move = b.floats(moves, TINYGLTF_TYPE_VEC3);
    const int turn = b.floats(turns, TINYGLTF_TYPE_VEC4);
    for (const auto& [output, path] : {std::pair{move, "translation"}, {turn, "rotation"}, {move, "scale"}}) {
        tinygltf::AnimationSampler& sampler = a.samplers.emplace_back();
        sampler.input = input;
        sampler.output = output;
        for (int node : nodes) {
            tinygltf::AnimationChannel& c = a.channels.emplace_back();
            c.sampler = int(a.samplers.size() - 1);
            c.target_node = node;
            c.target_path = path;
        }
    }
    return b.glb();
}

}  // namespace qh::test
