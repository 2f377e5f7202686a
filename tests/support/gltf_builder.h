#pragma once
// Small glTF assets made in code, for the features the sample models lack
// (node extras, several meshes, interleaved views, instancing set-ups).
//
//   GltfBuilder b;
//   int quad = b.quad_mesh({-1, -1, 0}, {2, 0, 0}, {0, 2, 0}, b.material({1, 0, 0, 1}));
//   b.root(b.node(quad));
//   std::vector<uint8_t> glb = b.glb();      // a GLB as a package holds it
//
// Everything goes into one buffer (the GLB's BIN chunk), each view 4-byte
// aligned.
#include <cstdint>
#include <string>
#include <vector>

#include <glm/mat4x4.hpp>
#include <glm/vec2.hpp>
#include <glm/vec3.hpp>
#include <glm/vec4.hpp>
#include <tiny_gltf.h>

namespace qh::test {

class GltfBuilder {
public:
    GltfBuilder();

    // A view of `bytes` appended to the buffer; `stride` 0 is tightly packed.
    int view(const std::vector<uint8_t>& bytes, size_t stride = 0);
    int accessor(int view, int component_type, int type, size_t count, size_t byte_offset = 0);
    int floats(const std::vector<float>& values, int type);  // a view and its accessor
    int indices(const std::vector<uint16_t>& values);
    int matrices(const std::vector<glm::mat4>& values);  // a MAT4 accessor
    // Makes `accessor` sparse: element indices[i] takes the i-th `components`
    // floats of `values`.
    void sparse(int accessor, const std::vector<uint16_t>& indices, const std::vector<float>& values);

    // A PNG or JPEG stored in a view; returns the glTF texture using it.
    int texture(const std::vector<uint8_t>& encoded, const std::string& mime);
    int material(glm::vec4 base_color, int base_texture = -1);

    // A quad from `corner` spanning `u` and `v` (normal u x v), texture
    // coordinates (0, 1) at the corner to (1, 0) at corner + u + v, so an
    // image shows upright when u points right and v up.
    tinygltf::Primitive quad(glm::vec3 corner, glm::vec3 u, glm::vec3 v, int material = -1);
    // A box of six quads centred on `centre`, in one primitive.
    tinygltf::Primitive box(glm::vec3 centre, glm::vec3 half_size, int material = -1);
    int mesh(const std::vector<tinygltf::Primitive>& primitives);
    int quad_mesh(glm::vec3 corner, glm::vec3 u, glm::vec3 v, int material = -1);

    int node(int mesh, glm::vec3 translation = glm::vec3(0.0f));
    tinygltf::Node& at(int node) { return model.nodes[size_t(node)]; }
    void place(int node, const glm::mat4& local);  // the node's "matrix"
    // Skin 0 of `joints`, drawn by `mesh_node`.
    void skin(int mesh_node, const std::vector<int>& joints, const std::vector<glm::mat4>& inverse_binds);
    // An animation moving `node` linearly from `from` (time 0) to `to` (time 1).
    void move(int node, glm::vec3 from, glm::vec3 to);
    // Adds an extras member to a node.
    void extra(int node, const std::string& key, const tinygltf::Value& value);
    void root(int node);  // a root of the default scene

    std::vector<uint8_t> glb() const;

    tinygltf::Model model;
};

// A Model record (name and scrambled bytes) as the package holds it.
std::vector<uint8_t> model_record(const std::string& name, const std::vector<uint8_t>& glb);

// A skin of `joints` joints in a chain (identity inverse binds) and one
// animation "wave" turning, moving and growing every joint over 48 linear
// keys; no mesh.
std::vector<uint8_t> animated_joint_chain(int joints);

}  // namespace qh::test
