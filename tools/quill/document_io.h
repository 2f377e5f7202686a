#pragma once
// Opening what the user names on the command line: a packed player (an
// executable with its package appended, or a web page holding one; a bare
// payload file is not accepted) or a project.json.
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "document/demo.h"

namespace qh::quill {

// How a packed file divides: the player, and the content (the payload and
// its trailer; in a page, the elements that hold them and the translated
// shader stages).
struct PackedShares {
    uint64_t file_bytes = 0;
    uint64_t player_bytes = 0;
    uint64_t content_bytes() const { return file_bytes - player_bytes; }
};

// A packed file's parts, from its bytes in memory.
struct PackedFile {
    std::vector<uint8_t> payload;
    std::vector<uint8_t> player;  // the file without its content
    PackedShares shares;
};

// Throws ContentError naming `name` when `file` holds no readable package.
PackedFile split_packed_file(std::span<const uint8_t> file, const std::string& name);

// The whole file; ContentError when it cannot be read.
std::vector<uint8_t> read_file_bytes(const std::filesystem::path& path);
std::string read_text(const std::filesystem::path& path);

// A new file beside `path` renamed over it, so that an author's file is never
// left half written (a link's target is replaced, the link kept; the
// permissions stay); ContentError when it cannot be written.
void replace_file(const std::filesystem::path& path, const std::string& text);

// The document packed into the executable or page at `path`; `parts`, when
// given, receives the file's parts. Throws ContentError with the path and,
// for malformed bytes, the payload offset.
std::unique_ptr<Demo> open_package(const std::filesystem::path& path, const LoadProgress& progress = {},
                                   PackedFile* parts = nullptr);

// A package, or a project when the name ends in ".json" (then `parts` is
// left alone, and `project`, when given, receives the JSON as written).
std::unique_ptr<Demo> open_document(const std::filesystem::path& path, const LoadProgress& progress = {},
                                    PackedFile* parts = nullptr, JsonValue* project = nullptr);

}  // namespace qh::quill
