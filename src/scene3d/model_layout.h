#pragma once
// What drawing a model needs to know of its glTF asset, read once when the
// model is built for the device, so that a frame never walks the asset's
// maps and extras: the vertex attributes and draw call of every primitive,
// the materials, every node's local matrix and extras, and the nodes of the
// default scene in the order they are visited. No GL here.
//
//   ModelLayout layout = build_model_layout(model.gltf);  // a checked asset
//   for (const std::string& p : layout.problems) ...        // what will not be drawn
//   blend_morph(layout.morphs[i], weights, values);          // a morphed primitive's inputs
//
//   DrawList list;                                           // reused frame to frame
//   plan_draw(layout, camera, light, shadow_pass, list);
//   for each instance, for each v in list.order: draw node list.visits... with
//   list.transforms[v]; its mesh's primitives are layout.primitives[first, first+count).
//
// The asset must have passed check_gltf_model (gltf_check.h): indices and
// ranges are trusted here.
#include <cstdint>
#include <string>
#include <vector>

#include <glm/mat4x4.hpp>
#include <glm/vec4.hpp>

namespace tinygltf {
class Model;
class Node;
}

namespace qh {

// Where every model shader reads its vertex inputs.
enum AttributeLocation : uint32_t {
    position_location = 0,   // "POSITION"
    normal_location = 1,     // "NORMAL"
    // The coordinates the base colour texture reads: "TEXCOORD_0", or the
    // set its reference names, with its texture transform applied.
    texcoord_location = 2,
    joints_location = 3,     // "JOINTS_0", integers in the shader
    weights_location = 4,    // "WEIGHTS_0"
    texcoord1_location = 5,  // "TEXCOORD_1" as stored
};

struct VertexAttribute {
    uint32_t location = 0;
    int32_t buffer = 0;           // buffer the values are read from (see ModelLayout::copied_buffers)
    int32_t components = 0;       // 2, 3 or 4
    uint32_t component_type = 0;  // the GL type as the asset stores it
    bool integer = false;         // "JOINTS_0": the integer pointer form
    bool normalized = false;      // integers read as 0..1 (or -1..1), as the accessor says
    int32_t stride = 0;           // 0: tightly packed
    uint64_t offset = 0;          // view offset + accessor offset
};

struct PrimitiveLayout {
    std::vector<VertexAttribute> attributes;  // in location order
    int32_t element_buffer = -1;  // buffer of the indices, as attributes name theirs; -1: drawn without indices
    uint32_t mode = 4;            // the glTF mode is the GL primitive type
    int32_t count = 0;            // indices, or vertices of the first attribute by name
    uint32_t index_type = 0;
    uint64_t index_offset = 0;    // view offset + accessor offset of the indices
    int32_t material = -1;
    bool drawable = true;         // false: left out, with a problem said once
};

struct MeshRange {
    int32_t first = 0;  // index of the mesh's first primitive (and vertex array)
    int32_t count = 0;
};

// How a model texture is read, in GL's values (which are glTF's): a glTF
// sampler's, where what it leaves out or gives wrongly takes the default,
// repeat and linear with mipmaps.
struct SamplerLayout {
    uint32_t wrap_s = 10497;       // REPEAT; or MIRRORED_REPEAT, CLAMP_TO_EDGE
    uint32_t wrap_t = 10497;
    uint32_t min_filter = 9987;    // LINEAR_MIPMAP_LINEAR; any of the six
    uint32_t mag_filter = 9729;    // LINEAR; or NEAREST
    bool mipmapped() const { return min_filter >= 9984 && min_filter <= 9987; }
};

// Its defaults are the asset format's default material. A sampler index
// goes with each image (into ModelLayout::samplers; -1 without an image).
struct MaterialLayout {
    glm::vec4 base_color_factor{1.0f};
    int32_t base_color_image = -1;  // image index; -1: none (the white texture)
    int32_t base_color_sampler = -1;
    float metallic = 1.0f;
    float roughness = 1.0f;
    int32_t metallic_roughness_image = -1;  // -1: none (texture name 0)
    int32_t metallic_roughness_sampler = -1;
};

struct NodeLayout {
    glm::mat4 local{1.0f};  // "matrix", else translation x rotation x scale
    int32_t mesh = -1;
    // Extras; anything but the type given (a boolean, integers) reads as absent.
    bool ignore_shadow = false;  // not drawn into the shadow map
    int32_t render_pass = 1;     // drawn only in this pass; 0 or less: never
    int32_t tag = 0;             // "uTag"
};

// One node reached from the default scene: a node reached twice (listed as
// a root and also as a child) is visited, and drawn, twice.
struct NodeVisit {
    int32_t node = 0;
    int32_t parent = -1;  // index into the visits; -1 for a root of the scene
};

// A primitive whose morph targets move its positions or normals. The
// shader's inputs arrive blended: the primitive's POSITION (and NORMAL) are
// drawn from copied buffer `buffer`, positions then normals, which the
// scene renderer fills with blend_morph whenever the mesh's weights change,
// for the shadow pass and the main pass alike.
struct MorphLayout {
    int32_t primitive = 0;  // into ModelLayout::primitives
    int32_t mesh = 0;       // the glTF mesh whose weights it blends with
    int32_t buffer = 0;     // as VertexAttribute::buffer
    bool normals = false;   // the buffer holds normals after the positions
    std::vector<float> base;                 // 3 floats a vertex: positions, then normals
    std::vector<std::vector<float>> deltas;  // per target, as `base`; empty: it moves nothing
};

// base + the sum of weights[t] x deltas[t] into `out` (resized to base's
// size); weights past the targets, or missing, count as 0.
void blend_morph(const MorphLayout& morph, const std::vector<float>& weights, std::vector<float>& out);

struct ModelLayout {
    std::vector<MeshRange> mesh_ranges;        // one per glTF mesh
    std::vector<PrimitiveLayout> primitives;   // meshes in order, primitives in order
    std::vector<MaterialLayout> materials;     // one per glTF material
    // One per glTF sampler, then the one for textures without a sampler.
    std::vector<SamplerLayout> samplers;
    // Per glTF image: a material reads it through a sampler with mipmaps.
    std::vector<bool> mipmapped_images;
    std::vector<NodeLayout> nodes;             // one per glTF node
    std::vector<NodeVisit> visits;             // depth first, parents before children
    // The passes in which something is drawn: the distinct "render_pass"
    // values above 0 of visited nodes with a mesh, ascending. Drawing only
    // these gives what drawing every pass from 1 to `render_passes` gives.
    std::vector<int32_t> passes;
    int32_t render_passes = 1;  // the largest "render_pass" of a visited node, at least 1
    bool has_default_scene = false;
    std::vector<std::string> problems;  // one line each, for what is left out
    // The values of sparse accessors (and of those without a view), with the
    // substitutions applied, tightly packed. Buffers are numbered as the
    // asset's, then these: buffer asset.buffers.size() + i is copied_buffers[i].
    // The device build releases them once they are uploaded.
    std::vector<std::vector<uint8_t>> copied_buffers;
    std::vector<MorphLayout> morphs;  // primitives in order
};

// A default scene that reaches more nodes than this (a root listed many
// times over a large subtree) is cut there, rather than drawn for ever.
inline constexpr size_t max_node_visits = 1u << 18;

ModelLayout build_model_layout(const tinygltf::Model& asset);

// A node's transform relative to its parent: its "matrix", else
// translation x rotation x scale.
glm::mat4 node_local_matrix(const tinygltf::Node& node);

// ---- One draw of a model ----------------------------------------------------

struct ViewMatrices {
    glm::mat4 view{1.0f};
    glm::mat4 projection{1.0f};
};

// The matrices a drawn node hands the shader.
struct NodeTransforms {
    glm::mat4 model{1.0f};       // "uModelMatrix": the world matrix M
    glm::mat4 model_view{1.0f};  // V x M
    glm::mat4 mvp{1.0f};         // P x V x M
    glm::mat4 light_mvp{1.0f};   // Pl x Vl x M
    glm::mat4 normal{1.0f};      // transpose(inverse(M))
};

// Plans one instance of a draw; every instance draws the same list. The
// vectors keep their capacity, so planning frame after frame allocates
// nothing once they have grown.
struct DrawList {
    std::vector<glm::mat4> world;               // per visit
    std::vector<NodeTransforms> transforms;     // per visit; set for those in `order`
    std::vector<int32_t> order;                 // visits to draw, pass by pass
};

// Nodes posed by animation (the model's animated_nodes and node_matrices,
// one entry per glTF node): such a node's local matrix is its entry; its
// world matrix is, as every node's, its parent's world matrix times it.
// Empty vectors pose nothing.
struct NodePose {
    const std::vector<bool>& animated;
    const std::vector<glm::mat4>& matrices;
};

// `camera` is the active camera (the light's during the shadow pass),
// `light` always the light camera. In the shadow pass, nodes that ignore
// shadows are left out.
void plan_draw(const ModelLayout& layout, const ViewMatrices& camera, const ViewMatrices& light,
               bool shadow_pass, DrawList& out, const NodePose* pose = nullptr);

}  // namespace qh
