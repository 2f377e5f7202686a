// Makes the showcase's model and image from nothing but code:
//   make_showcase_art GARDEN.glb GRAIN.png
//
// The garden: a floor, a skinned tentacle standing on it, and a crystal
// hovering above. The tentacle is a tapering tube three units high on a
// chain of six joints half a unit apart; its one animation, "sway", bends
// it in a slow wave over two seconds (31 linear rotation keys per joint).
// Node extras steer the showcase's shader: "tag" 1 marks the skinned
// tentacle, 2 the crystal (drawn with a glow), 0 the floor; the crystal
// casts no shadow ("ignore_shadow").
//
// The grain: a 256 x 256 tileable pattern of soft cells and streaks, grey,
// that the tunnel wraps around itself.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <vector>

#include <glm/gtc/quaternion.hpp>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

#include "support/gltf_builder.h"

namespace {

using qh::test::GltfBuilder;

constexpr int joints = 6;
constexpr float joint_spacing = 0.5f;
constexpr int rings = 31;
constexpr int sides = 16;
constexpr float height = 3.0f;
constexpr float pi = 3.14159265f;

template <class T>
std::vector<uint8_t> bytes_of(const std::vector<T>& values) {
    std::vector<uint8_t> out(values.size() * sizeof(T));
    std::memcpy(out.data(), values.data(), out.size());
    return out;
}

// The tube, each vertex weighted between the two joints nearest its height.
tinygltf::Primitive tentacle(GltfBuilder& b, int material) {
    std::vector<float> pos, nor, weights;
    std::vector<uint16_t> ids, idx;
    for (int r = 0; r < rings; ++r) {
        const float y = height * float(r) / float(rings - 1);
        const float radius = 0.28f * (1.0f - 0.8f * y / height);
        const float along = std::min(y / joint_spacing, float(joints - 1) - 1e-4f);
        const int j = int(along);
        const float w = along - float(j);
        for (int s = 0; s < sides; ++s) {
            const float a = 2 * pi * float(s) / float(sides);
            pos.insert(pos.end(), {radius * std::cos(a), y, radius * std::sin(a)});
            nor.insert(nor.end(), {std::cos(a), 0.15f, std::sin(a)});
            ids.insert(ids.end(), {uint16_t(j), uint16_t(std::min(j + 1, joints - 1)), 0, 0});
            weights.insert(weights.end(), {1.0f - w, w, 0.0f, 0.0f});
        }
    }
    for (int r = 0; r + 1 < rings; ++r) {
        for (int s = 0; s < sides; ++s) {
            const uint16_t a = uint16_t(r * sides + s), b2 = uint16_t(r * sides + (s + 1) % sides);
            const uint16_t c = uint16_t(a + sides), d = uint16_t(b2 + sides);
            idx.insert(idx.end(), {a, c, b2, b2, c, d});
        }
    }
    tinygltf::Primitive p;
    p.attributes["POSITION"] = b.floats(pos, TINYGLTF_TYPE_VEC3);
    p.attributes["NORMAL"] = b.floats(nor, TINYGLTF_TYPE_VEC3);
    p.attributes["JOINTS_0"] =
        b.accessor(b.view(bytes_of(ids)), TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT, TINYGLTF_TYPE_VEC4, ids.size() / 4);
    p.attributes["WEIGHTS_0"] = b.floats(weights, TINYGLTF_TYPE_VEC4);
    p.indices = b.indices(idx);
    p.material = material;
    p.mode = TINYGLTF_MODE_TRIANGLES;
    return p;
}

// An octahedron.
tinygltf::Primitive crystal(GltfBuilder& b, int material) {
    const glm::vec3 tips[6] = {{0.6f, 0, 0}, {-0.6f, 0, 0}, {0, 0.9f, 0}, {0, -0.9f, 0}, {0, 0, 0.6f}, {0, 0, -0.6f}};
    const int faces[8][3] = {{0, 2, 4}, {4, 2, 1}, {1, 2, 5}, {5, 2, 0}, {4, 3, 0}, {1, 3, 4}, {5, 3, 1}, {0, 3, 5}};
    std::vector<float> pos, nor;
    std::vector<uint16_t> idx;
    for (const auto& f : faces) {
        const glm::vec3 n = glm::normalize(glm::cross(tips[f[1]] - tips[f[0]], tips[f[2]] - tips[f[0]]));
        for (int k = 0; k < 3; ++k) {
            pos.insert(pos.end(), {tips[f[k]].x, tips[f[k]].y, tips[f[k]].z});
            nor.insert(nor.end(), {n.x, n.y, n.z});
            idx.push_back(uint16_t(idx.size()));
        }
    }
    tinygltf::Primitive p;
    p.attributes["POSITION"] = b.floats(pos, TINYGLTF_TYPE_VEC3);
    p.attributes["NORMAL"] = b.floats(nor, TINYGLTF_TYPE_VEC3);
    p.indices = b.indices(idx);
    p.material = material;
    p.mode = TINYGLTF_MODE_TRIANGLES;
    return p;
}

std::vector<uint8_t> garden() {
    GltfBuilder b;
    const int floor = b.node(b.quad_mesh({-12, 0, 12}, {24, 0, 0}, {0, 0, -24}, b.material({0.22f, 0.24f, 0.32f, 1})));
    b.extra(floor, "tag", tinygltf::Value(0));

    const int body = b.node(b.mesh({tentacle(b, b.material({1.0f, 0.45f, 0.2f, 1}))}));
    b.extra(body, "tag", tinygltf::Value(1));
    b.at(body).skin = 0;

    const int gem = b.node(b.mesh({crystal(b, b.material({0.4f, 0.9f, 1.0f, 1}))}), {0, 4.2f, 0});
    b.extra(gem, "tag", tinygltf::Value(2));
    b.extra(gem, "ignore_shadow", tinygltf::Value(true));

    std::vector<int> chain;
    for (int j = 0; j < joints; ++j) {
        chain.push_back(b.node(-1, {0, j ? joint_spacing : 0.0f, 0}));
        b.at(chain.back()).name = "joint" + std::to_string(j);
        if (j) b.at(chain[size_t(j - 1)]).children.push_back(chain.back());
    }
    tinygltf::Skin& skin = b.model.skins.emplace_back();
    skin.name = "tentacle";
    skin.joints = chain;
    std::vector<float> inverse_binds;
    for (int j = 0; j < joints; ++j) {
        for (int k = 0; k < 16; ++k) inverse_binds.push_back(k % 5 == 0 ? 1.0f : 0.0f);
        inverse_binds[size_t(j * 16 + 13)] = -joint_spacing * float(j);  // column 3, y
    }
    skin.inverseBindMatrices = b.floats(inverse_binds, TINYGLTF_TYPE_MAT4);

    tinygltf::Animation& sway = b.model.animations.emplace_back();
    sway.name = "sway";
    constexpr int keys = 31;
    constexpr float seconds = 2.0f;
    std::vector<float> times;
    for (int k = 0; k < keys; ++k) times.push_back(seconds * float(k) / float(keys - 1));
    const int input = b.floats(times, TINYGLTF_TYPE_SCALAR);
    for (int j = 1; j < joints; ++j) {
        std::vector<float> turns;
        for (int k = 0; k < keys; ++k) {
            const float phase = 2 * pi * float(k) / float(keys - 1) - 0.7f * float(j);
            const glm::quat q = glm::angleAxis(0.32f * std::sin(phase), glm::vec3(0, 0, 1)) *
                                glm::angleAxis(0.18f * std::cos(phase), glm::vec3(1, 0, 0));
            turns.insert(turns.end(), {q.x, q.y, q.z, q.w});
        }
        tinygltf::AnimationSampler& s = sway.samplers.emplace_back();
        s.input = input;
        s.output = b.floats(turns, TINYGLTF_TYPE_VEC4);
        s.interpolation = "LINEAR";
        tinygltf::AnimationChannel& c = sway.channels.emplace_back();
        c.sampler = int(sway.samplers.size() - 1);
        c.target_node = chain[size_t(j)];
        c.target_path = "rotation";
    }
    b.root(floor);
    b.root(body);
    b.root(gem);
    b.root(chain[0]);
    return b.glb();
}

// Tileable: every term repeats over the 256 pixels.
bool write_grain(const char* path) {
    constexpr int size = 256;
    std::vector<uint8_t> grey(size * size);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const float u = 2 * pi * float(x) / size, v = 2 * pi * float(y) / size;
            float g = 0.5f + 0.25f * std::sin(3 * u) * std::sin(2 * v) + 0.15f * std::sin(8 * u + 5 * v) +
                      0.1f * std::sin(21 * u - 13 * v);
            g = std::clamp(g, 0.0f, 1.0f);
            grey[size_t(y * size + x)] = uint8_t(g * 255.0f);
        }
    }
    return stbi_write_png(path, size, size, 1, grey.data(), size) != 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_showcase_art GARDEN.glb GRAIN.png\n");
        return 2;
    }
    if (!write_grain(argv[2])) {
        std::fprintf(stderr, "make_showcase_art: cannot write %s\n", argv[2]);
        return 1;
    }
    const std::vector<uint8_t> glb = garden();
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(glb.data()), std::streamsize(glb.size()));
    if (!out) {
        std::fprintf(stderr, "make_showcase_art: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
