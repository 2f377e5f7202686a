#pragma once
// Warnings about content that reads in a surprising way, for example
// "bpm": 130 (an integral number) which the reader takes as 0, or a model
// whose morph targets the player does not draw.
//
//   print_warnings(file, lint_project(json));   // the project's text
//   print_warnings(file, lint_models(demo));    // what was read, either form
#include <string>
#include <vector>

#include "package/json_value.h"

namespace qh {
class Demo;
}

namespace qh::quill {

std::vector<std::string> lint_project(const JsonValue& project);

// One line per feature per model that the player reads past
// (scene3d/gltf_features.h): model "resources/fox.glb": uses morph targets ...
std::vector<std::string> lint_models(const Demo& demo);

// "quill: warning: FILE: WARNING" on standard error, one a line.
void print_warnings(const std::string& file, const std::vector<std::string>& warnings);

}  // namespace qh::quill
