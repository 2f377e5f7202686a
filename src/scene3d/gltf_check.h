#pragma once
// Structural checks of glTF assets that arrive as untrusted bytes. The glTF
// library parses what it is given but follows few of the indices and ranges
// it reads, so every asset passes these checks before anything uses it:
//
//   check_glb_container(bytes, json)   before parsing: the GLB framing
//   check_gltf_json(json_text)         before parsing: nesting depth, buffer views
//   check_gltf_model(model)            after parsing: every index and range
//
// Each returns "" when the asset is sound, otherwise a one-line description
// of the first problem found. An asset that passes check_gltf_model
// guarantees what the GPU, animation and drawing steps rely on:
// - every index a node, scene, skin, animation, mesh, material or texture
//   holds is -1 (where the format allows "none") or names an existing entry;
//   an animation channel's target node may be -1 (nothing to animate);
// - every buffer view lies inside its buffer; every accessor that a primitive,
//   skin or animation sampler uses has a buffer view and its elements lie
//   inside it; index values stay below the vertex count of their primitive;
// - skins' inverse bind matrices are MAT4 floats, one per joint at least;
//   animation sampler inputs are scalar floats and outputs are floats with at
//   least one element per input time;
// - the node hierarchy is a forest (no node has two parents, no cycles) at
//   most `max_node_depth` deep, so recursive walks terminate;
// - node transforms have the lengths the format gives (3, 4, 3 or 16 values);
// - an image either holds its encoded bytes (`as_is`) or is empty, when its
//   external file could not be loaded (the loader has warned).
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace tinygltf {
class Model;
}

namespace qh {

inline constexpr int max_node_depth = 256;
inline constexpr int max_json_depth = 128;

// On success `json` is set to the JSON chunk.
std::string check_glb_container(std::span<const uint8_t> bytes, std::string_view& json);
std::string check_gltf_json(std::string_view json_text);
std::string check_gltf_model(const tinygltf::Model& model);

}  // namespace qh
