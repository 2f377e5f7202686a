#include "scene3d/gltf_features.h"

#include <tiny_gltf.h>

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

    if (!m.extensionsRequired.empty()) {
        std::string names;
        for (const std::string& e : m.extensionsRequired) names += (names.empty() ? "\"" : ", \"") + e + "\"";
        found.push_back(std::string("requires the extension") + (m.extensionsRequired.size() > 1 ? "s " : " ") +
                        names + ", which the player does not support");
    }
    return found;
}

}  // namespace qh
