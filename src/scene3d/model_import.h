#pragma once
// The half of a model's device build that needs no GL, shared by
// Model::realize and the fuzz target: the asset is checked again, laid out
// for drawing, and each image decoded in turn.
//
//   ModelImport import = import_model(model, [&](size_t i, const DecodedImage& img) {
//       ...upload img (img.pixels is null when image i did not decode)...
//   });
//   if (import.usable) ...upload buffers, build vertex arrays from import.layout
//
// Images are handed over one at a time and released after, so at most one
// decoded image is held at once.
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "scene3d/image_decode.h"
#include "scene3d/model_layout.h"

namespace qh {

class Model;

struct ModelImport {
    bool usable = false;  // parsed and passed the checks: buffers and primitives may be built
    ModelLayout layout;   // empty unless usable
    std::vector<std::string> problems;  // one line each, for what is left out
};

using ImageSink = std::function<void(size_t index, const DecodedImage& image)>;

ModelImport import_model(const Model& model, const ImageSink& take_image);

}  // namespace qh
