#pragma once
// Reading glTF assets from bytes in memory and writing them as GLB, through
// the glTF library, with no GL involved.
//
//   tinygltf::Model asset;
//   GltfParse r = parse_gltf(bytes, GltfSource::glb, ProjectDir("resources"), "", asset);
//   if (!r.ok) std::printf("%s", r.errors.c_str());   // `asset` is then empty
//   std::vector<uint8_t> glb = write_glb(asset);      // throws ContentError
//
// Parsing checks the bytes first and the parsed asset after (gltf_check.h);
// an asset that fails is reported, never half-used. Files the asset names by
// URI (buffers, images) are read through `files`, relative to `base_dir`
// within it; a name that would leave that directory is refused. Every image
// keeps its encoded bytes (`as_is`, PNG or JPEG); its header gives `width`
// and `height`, within the limits of image_header.h, and the device side
// decodes it to 8-bit RGBA.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include <tiny_gltf.h>

namespace qh {

class ProjectDir;

enum class GltfSource { glb, text };

struct GltfParse {
    bool ok = false;
    std::string warnings;  // the library's warning text, "" when none
    std::string errors;    // why the parse failed (or non-fatal errors), "" when none
};

GltfParse parse_gltf(std::span<const uint8_t> bytes, GltfSource source, const ProjectDir& files,
                     const std::string& base_dir, tinygltf::Model& out);

// The asset as one self-contained GLB: the first buffer becomes the BIN
// chunk, other buffers stay as data URIs, images held in buffer views stay
// there and images that came from files are embedded as data URIs of their
// own bytes.
std::vector<uint8_t> write_glb(const tinygltf::Model& asset);

}  // namespace qh
