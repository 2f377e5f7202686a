#include "scene3d/texture_transform.h"

#include <cmath>
#include <cstring>

#include <tiny_gltf.h>

#include "scene3d/gltf_accessor.h"

namespace qh {

glm::vec2 UvTransform::apply(glm::vec2 uv) const {
    const float c = std::cos(rotation), s = std::sin(rotation);
    const glm::vec2 scaled = uv * scale;
    return {c * scaled.x - s * scaled.y + offset.x, s * scaled.x + c * scaled.y + offset.y};
}

namespace {

// Two numbers of an array member into `into`; anything else leaves it.
void read_pair(const tinygltf::Value& object, const char* key, glm::vec2& into) {
    if (!object.Has(key)) return;
    const tinygltf::Value& v = object.Get(key);
    if (!v.IsArray() || v.ArrayLen() != 2 || !v.Get(0).IsNumber() || !v.Get(1).IsNumber()) return;
    into = {float(v.Get(0).GetNumberAsDouble()), float(v.Get(1).GetNumberAsDouble())};
}

}  // namespace

UvTransform uv_transform_of(const tinygltf::TextureInfo& info) {
    UvTransform out;
    out.set = info.texCoord;
    const auto found = info.extensions.find(texture_transform_extension);
    if (found == info.extensions.end() || !found->second.IsObject()) return out;
    const tinygltf::Value& e = found->second;
    read_pair(e, "offset", out.offset);
    read_pair(e, "scale", out.scale);
    if (e.Has("rotation") && e.Get("rotation").IsNumber()) out.rotation = float(e.Get("rotation").GetNumberAsDouble());
    if (e.Has("texCoord") && e.Get("texCoord").IsInt()) out.set = e.Get("texCoord").Get<int>();
    return out;
}

bool transformed_texcoords(const tinygltf::Model& m, int accessor, const UvTransform& t, std::vector<uint8_t>& out,
                           std::string& problem) {
    const tinygltf::Accessor& a = m.accessors[size_t(accessor)];
    float range = 0;  // what the largest stored integer reads as 1
    if (a.componentType == TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE && a.normalized) range = 255.0f;
    if (a.componentType == TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT && a.normalized) range = 65535.0f;
    if (a.type != TINYGLTF_TYPE_VEC2 || (range == 0 && a.componentType != TINYGLTF_COMPONENT_TYPE_FLOAT)) {
        problem = "not two floats or normalised unsigned integers";
        return false;
    }
    std::vector<uint8_t> stored;
    if (!accessor_bytes(m, accessor, stored, &problem)) return false;
    out.resize(size_t(a.count) * 2 * sizeof(float));
    for (size_t i = 0; i < a.count; ++i) {
        glm::vec2 uv;
        for (int c = 0; c < 2; ++c) {
            const size_t k = i * 2 + size_t(c);
            if (a.componentType == TINYGLTF_COMPONENT_TYPE_FLOAT) {
                std::memcpy(&uv[c], stored.data() + k * 4, 4);
            } else if (a.componentType == TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE) {
                uv[c] = float(stored[k]) / range;
            } else {
                uint16_t v;
                std::memcpy(&v, stored.data() + k * 2, 2);
                uv[c] = float(v) / range;
            }
        }
        uv = t.apply(uv);
        std::memcpy(out.data() + i * 2 * sizeof(float), &uv, 2 * sizeof(float));
    }
    return true;
}

}  // namespace qh
