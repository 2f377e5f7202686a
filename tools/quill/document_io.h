#pragma once
// Opening what the user names on the command line: a packed player (or a bare
// payload file is not accepted) or a project.json.
#include <filesystem>
#include <memory>
#include <string>

#include "document/demo.h"

namespace qh::quill {

// The document packed into the executable at `path`. Throws ContentError with
// the path and, for malformed bytes, the payload offset.
std::unique_ptr<Demo> open_package(const std::filesystem::path& path, const LoadProgress& progress = {});

// A package, or a project when the name ends in ".json".
std::unique_ptr<Demo> open_document(const std::filesystem::path& path, const LoadProgress& progress = {});

}  // namespace qh::quill
