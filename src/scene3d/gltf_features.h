#pragma once
// What a glTF asset may hold that the player reads past: the asset's own
// cameras and punctual lights, and extensions the asset requires. The model still loads and draws; these parts
// of it just have no effect, so the tools warn where the player stays quiet.
//
//   for (const std::string& f : unsupported_features(model.gltf))
//       warn("model \"" + model.filename + "\": " + f);
//
// One line per feature, however many places use it, e.g.
//   uses cameras (camera 0 "Side", 3 cameras in all), which the player does not look through
// The asset need not have been checked: only its own tables are read.
#include <string>
#include <vector>

namespace tinygltf {
class Model;
}

namespace qh {

std::vector<std::string> unsupported_features(const tinygltf::Model& asset);

}  // namespace qh
