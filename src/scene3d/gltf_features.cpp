#include "scene3d/gltf_features.h"

#include <tiny_gltf.h>

#include "scene3d/animation.h"
#include "scene3d/texture_transform.h"

namespace qh {

namespace {

// `kind` and index, and the name when there is one: mesh 0 "Fox".
std::string place(const char* kind, size_t index, const std::string& name) {
    std::string s = std::string(kind) + " " + std::to_string(index);
    if (!name.empty()) s += " \"" + name + "\"";
    return s;
}

// The places in an asset that use one feature: the first is named, the rest counted.
class FeatureUse {
public:
    void add(const std::string& where) {
        if (count_++ == 0) first_ = where;
    }

    // "uses WHAT (FIRST, N UNITS in all), TAIL", or nothing when unused.
    void report(const char* what, const char* units, const char* tail,
                std::vector<std::string>& out) const {
        if (count_ == 0) return;
        std::string line = std::string("uses ") + what + " (" + first_;
        if (count_ > 1) line += ", " + std::to_string(count_) + " " + units + " in all";
        out.push_back(line + "), " + tail);
    }

private:
    size_t count_ = 0;
    std::string first_;
};

}  // namespace

std::vector<std::string> unsupported_features(const tinygltf::Model& m) {
    std::vector<std::string> found;

    // Scenes look through their own cameras and light with their own light.
    FeatureUse cameras, lights;
    for (size_t i = 0; i < m.cameras.size(); ++i) cameras.add(place("camera", i, m.cameras[i].name));
    for (size_t i = 0; i < m.lights.size(); ++i) lights.add(place("light", i, m.lights[i].name));
    cameras.report("cameras", "cameras", "which the player does not look through", found);
    lights.report("punctual lights", "lights", "which the player does not light with", found);

    // A model shader reads one set of coordinates, the base colour texture's.
    FeatureUse mixed_uv;
    for (size_t i = 0; i < m.materials.size(); ++i) {
        const tinygltf::PbrMetallicRoughness& pbr = m.materials[i].pbrMetallicRoughness;
        if (pbr.baseColorTexture.index >= 0 && pbr.metallicRoughnessTexture.index >= 0 &&
            !(uv_transform_of(pbr.baseColorTexture) == uv_transform_of(pbr.metallicRoughnessTexture)))
            mixed_uv.add(place("material", i, m.materials[i].name));
    }
    mixed_uv.report("other texture coordinates or transforms for its metallic-roughness texture than for its "
                    "base colour texture", "materials", "of which the shader is given the base colour texture's",
                    found);

    FeatureUse big_skins;
    for (size_t i = 0; i < m.skins.size(); ++i)
        if (m.skins[i].joints.size() > size_t(Animation::joints_every_device_holds))
            big_skins.add(place("skin", i, m.skins[i].name) + ", " + std::to_string(m.skins[i].joints.size()) +
                          " joints");
    big_skins.report(("skins of more joints than the " + std::to_string(Animation::joints_every_device_holds) +
                      " every device holds").c_str(),
                     "skins", "which a device that holds fewer draws unposed", found);

    std::string names;
    size_t unknown = 0;
    for (const std::string& e : m.extensionsRequired) {
        if (e == texture_transform_extension) continue;
        names += (names.empty() ? "\"" : ", \"") + e + "\"";
        ++unknown;
    }
    if (unknown > 0) {
        found.push_back(std::string("requires the extension") + (unknown > 1 ? "s " : " ") + names +
                        ", which the player does not support");
    }
    return found;
}

}  // namespace qh
