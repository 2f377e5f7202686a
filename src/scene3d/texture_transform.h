#pragma once
// Which texture coordinates a material's texture reads: the set its
// reference names and the transform the reference's texture-transform
// extension gives it (offset, rotation, scale, and a set that overrides the
// reference's own). No GL here.
//
//   UvTransform t = uv_transform_of(material.pbrMetallicRoughness.baseColorTexture);
//   if (!t.identity()) uv = t.apply(uv);     // TEXCOORD_<t.set> as the texture reads it
//
// Members the extension gives wrongly (not numbers, too few) keep their
// defaults, as if absent.
#include <cstdint>
#include <string>
#include <vector>

#include <glm/vec2.hpp>

namespace tinygltf {
class Model;
struct TextureInfo;
}  // namespace tinygltf

namespace qh {

inline constexpr const char* texture_transform_extension = "KHR_texture_transform";

struct UvTransform {
    int32_t set = 0;  // reads TEXCOORD_<set>
    glm::vec2 offset{0.0f};
    float rotation = 0.0f;  // radians: u toward v
    glm::vec2 scale{1.0f};

    bool identity() const { return offset == glm::vec2(0.0f) && rotation == 0.0f && scale == glm::vec2(1.0f); }
    // Scaled, then rotated, then offset.
    glm::vec2 apply(glm::vec2 uv) const;
    bool operator==(const UvTransform&) const = default;
};

UvTransform uv_transform_of(const tinygltf::TextureInfo& info);

// The two float coordinates of every element of a texture coordinate
// accessor (float, or normalised unsigned bytes or shorts) with `t`
// applied, as bytes of tightly packed floats. False with `problem` set when
// the accessor holds anything else or cannot be read.
bool transformed_texcoords(const tinygltf::Model& m, int accessor, const UvTransform& t, std::vector<uint8_t>& out,
                           std::string& problem);

}  // namespace qh
