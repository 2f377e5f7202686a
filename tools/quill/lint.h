#pragma once
// Warnings about project content that reads in a surprising way, for example
// "bpm": 130 (an integral number) which the reader takes as 0.
#include <string>
#include <vector>

#include "package/json_value.h"

namespace qh::quill {

std::vector<std::string> lint_project(const JsonValue& project);

}  // namespace qh::quill
