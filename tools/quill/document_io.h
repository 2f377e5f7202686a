#pragma once
// Opening what the user names on the command line: a packed player (or a bare
// payload file is not accepted) or a project.json.
#include <filesystem>
#include <memory>
#include <string>

#include "document/demo.h"

namespace qh::quill {

// How a packed file divides: the player first, then the content (the
// payload and its trailer).
struct PackedShares {
    uint64_t file_bytes = 0;
    uint64_t player_bytes = 0;
    uint64_t content_bytes() const { return file_bytes - player_bytes; }
};

// The document packed into the executable at `path`; `shares`, when given,
// receives how the file divides. Throws ContentError with the path and, for
// malformed bytes, the payload offset.
std::unique_ptr<Demo> open_package(const std::filesystem::path& path, const LoadProgress& progress = {},
                                   PackedShares* shares = nullptr);

// A package, or a project when the name ends in ".json" (then `shares` is
// left alone).
std::unique_ptr<Demo> open_document(const std::filesystem::path& path, const LoadProgress& progress = {},
                                    PackedShares* shares = nullptr);

}  // namespace qh::quill
