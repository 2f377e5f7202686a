#pragma once
// A model's glTF animations, made once when the model is built and sampled
// whenever the timeline draws a scene of it. No GL here: the joint matrices
// reach the shader's "MatricesBlock" through the scene renderer.
//
//   build_animations(model);           // after the asset passed check_gltf_model
//   animate(model, index, position);   // the timeline's animation keys
//   model.skeleton->joint_matrices     // skinned: one skinning matrix per joint
//   model.animated_nodes / node_matrices   // node animation: what drawing uses
//   model.morph_weights                // per mesh: the weights its targets blend with
//
// Two modes, chosen per model:
// - Skinned (the model has a skin): the first skin is the skeleton; one
//   animation, picked by `index` modulo the number of animations, poses its
//   joints. Joint matrix i is inverse(world matrix of the node drawing the
//   skinned mesh) x world matrix of joint i x inverse bind matrix i, every
//   world matrix taken through all of the node's ancestors, so the shader's
//   uModelViewProjMatrix x joint matrix x position lands where the joint
//   puts the vertex, whatever lies above the mesh and the joints. The posed
//   joints also pose their nodes (animated_nodes / node_matrices).
// - Node animation (animations, no skin): `index` is a bit mask of
//   animations; each picked animation overwrites the local matrices of the
//   nodes it targets. A mask outside 1 .. 2^n - 1 leaves every node as the
//   asset places it.
//
// Morph weights: a mesh's weights are its own ("weights"), or those of a
// node drawing it, and each posing starts from them; the `weights` channels
// of the animations posing the model (the one picked when skinned, every
// picked one otherwise) then set the weights of their node's mesh. A mesh
// drawn by several nodes draws with one set of weights: the last written.
//
// Translation, rotation, scale and weights channels play, with linear, step
// or cubic-spline keys (in-tangent, value, out-tangent per key, the tangents
// scaled by the key interval; a rotation is normalised after). What is not
// played says so and changes nothing: an output that is not floats of one,
// three or four components ("Kapot"), another path ("Boem kapot: path not
// supported").
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <glm/gtc/quaternion.hpp>
#include <glm/mat4x4.hpp>
#include <glm/vec3.hpp>
#include <glm/vec4.hpp>

namespace tinygltf {
class Model;
}

namespace qh {

class Model;

namespace Animation {

// The shader's "MatricesBlock" (uniform-buffer binding point 0): column-
// major 4x4 float matrices, entry i joint i's skinning matrix, as many as
// the skin has joints and the shader declares. Every device holds 16 KB in
// a block, 256 matrices; most hold more (the model's device build says so
// where a skin needs more than its device holds, and draws it unposed).
inline constexpr int32_t joint_matrix_bytes = 64;
inline constexpr int32_t joints_every_device_holds = 16384 / joint_matrix_bytes;

enum Interpolation : int32_t { linear = 0, step = 1, cubic_spline = 2 };
// A channel whose path is none of these is kept but never played.
enum Path : int32_t {
    translation_path = 0,
    rotation_path = 1,
    scale_path = 2,
    weights_path = 3,
    unsupported_path = -1
};

struct Sampler {
    std::vector<float> times;   // key times
    std::vector<float> values;  // `width` floats per element; one element per key, three for a cubic spline
    int32_t interpolation = linear;
    int32_t width = 0;  // 3 or 4 (translation, rotation, scale); a mesh's weights count

    // The value at clip time x into out[0 .. width): false, and out as it
    // was, when x lies outside the keys. On a shared key the later interval
    // wins; a rotation (`rotation`, four floats x y z w) takes the short arc
    // and comes out normalised.
    bool evaluate(float x, bool rotation, float* out) const;
};

struct Channel {
    int32_t path = translation_path;
    int32_t sampler = 0;       // into the animation's samplers
    int32_t target_node = -1;  // glTF node; -1: nothing to animate
};

struct ModelAnimation {
    std::vector<Sampler> samplers;
    std::vector<Channel> channels;
    std::string name;
    float start_time = 0;  // first and last key times of sampler 0 (0 without)
    float end_time = 0;
    float current_time = 0;  // where the last sampling was
};

struct Animations {
    // A later animation of the same name replaces an earlier one here.
    std::map<std::string, std::shared_ptr<ModelAnimation>> by_name;
    std::vector<std::shared_ptr<ModelAnimation>> list;  // in glTF order
    std::map<std::string, int32_t> index;               // name to position in `list`
    std::shared_ptr<ModelAnimation> current;            // the animation last sampled
};

// Translation x rotation x scale, as glTF composes a node's transform.
glm::mat4 compose(const glm::vec3& translation, const glm::quat& rotation, const glm::vec3& scale);

struct Joint {
    std::string name;
    int32_t node = -1;             // the glTF node it poses
    glm::mat4 local_matrix{1.0f};  // the node's "matrix", else identity
    glm::mat4 inverse_bind{1.0f};
    glm::vec3 translation{0.0f};
    glm::quat rotation{1.0f, 0.0f, 0.0f, 0.0f};
    glm::vec3 scale{1.0f};

    // Its node's local matrix as posed: T x R x S x local_matrix.
    glm::mat4 posed() const;
};

struct Skeleton {
    bool enabled = true;  // false: every joint matrix is the identity, nothing posed
    std::string name;
    std::vector<Joint> joints;           // in the skin's joint order
    std::map<int32_t, int32_t> node_map;  // glTF node to joint
    std::vector<glm::mat4> joint_matrices;  // one skinning matrix per joint

    // The asset's node tree, one entry per glTF node, for world matrices.
    int32_t mesh_node = -1;           // the first node drawing a mesh with this skin; -1: none
    std::vector<int32_t> parents;     // -1 for a root
    std::vector<int32_t> order;       // every node, parents before their children
    std::vector<glm::mat4> rest;      // local matrices as the asset places the nodes
    std::vector<glm::mat4> world;     // world matrices at the last computation
};

// The transform of one node that node animation drives.
struct NodeAnimation {
    int32_t node = 0;
    int32_t animation = 0;
    glm::mat4 base_matrix{1.0f};  // the node's "matrix", else identity
    glm::vec3 translation{0.0f};
    glm::quat rotation{1.0f, 0.0f, 0.0f, 0.0f};
    glm::vec3 scale{1.0f};
};

// Quaternions as glTF stores them: x, y, z, w.
glm::quat quat_of(const glm::vec4& xyzw);

// Shortest-arc spherical interpolation from a to b by d, normalised; nearly
// parallel quaternions are blended linearly instead. A zero-length result is
// the identity.
glm::quat slerp_shortest(const glm::quat& a, const glm::quat& b, float d);

// The clip time for a normalised position s: its fraction, scaled into
// start_time .. end_time.
float clip_time(const ModelAnimation& animation, float s);

// Samples every channel of `animation` at the normalised position s into
// the joints its channels target (channels targeting other nodes are
// skipped), or into `record` (only the channels targeting record.node).
void sample(ModelAnimation& animation, float s, Skeleton& skeleton);
void sample(ModelAnimation& animation, float s, NodeAnimation& record);

// The world matrix of every node (joints posed, other nodes at rest), then
// every joint matrix as above. A joint whose node is outside the tree counts
// as standing at the origin. All identity when not enabled.
void compute_joint_matrices(Skeleton& skeleton);

// Samples every `weights` channel of `animation` at the normalised position
// s into the weights of its target node's mesh (`weights`, per glTF mesh;
// `asset` says which mesh a node draws). Elements wider than a mesh's
// weights write as many as fit.
void sample_weights(ModelAnimation& animation, float s, const tinygltf::Model& asset,
                    std::vector<std::vector<float>>& weights);

// The weights each glTF mesh draws with when nothing animates them: those of
// the first node drawing it that has its own, else the mesh's, one per
// morph target (missing ones are 0).
std::vector<std::vector<float>> default_morph_weights(const tinygltf::Model& asset);

// Builds the skeleton, node animation records and animations of a model
// whose asset passed check_gltf_model, and sizes its per-node state.
// Prints "name of skeleton: " and "name of animation: " lines.
void build_animations(Model& model);

// Poses the model: animation `index` at normalised position `s`. A
// skeleton that is not enabled stays unposed.
void animate(Model& model, int32_t index, float s);

}  // namespace Animation
}  // namespace qh
