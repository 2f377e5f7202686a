#include "scene3d/gltf_check.h"

#include <algorithm>
#include <limits>
#include <vector>

#include <tiny_gltf.h>

#include "package/binary_stream.h"
#include "package/errors.h"
#include "package/json_value.h"
#include "scene3d/gltf_accessor.h"

namespace qh {

namespace {

constexpr uint32_t glb_magic = 0x46546C67u;       // "glTF"
constexpr uint32_t glb_json_chunk = 0x4E4F534Au;  // "JSON"
constexpr uint32_t glb_bin_chunk = 0x004E4942u;   // "BIN\0"

std::string n(uint64_t v) { return std::to_string(v); }

// ---------------------------------------------------------------- JSON side

// Deepest nesting of arrays and objects, counted without parsing, so that an
// adversarial text cannot exhaust the stack of a recursive consumer.
int nesting_depth(std::string_view text) {
    int depth = 0, deepest = 0;
    bool in_string = false, escaped = false;
    for (char c : text) {
        if (in_string) {
            if (escaped) escaped = false;
            else if (c == '\\') escaped = true;
            else if (c == '"') in_string = false;
        } else if (c == '"') {
            in_string = true;
        } else if (c == '[' || c == '{') {
            deepest = std::max(deepest, ++depth);
        } else if ((c == ']' || c == '}') && depth > 0) {
            --depth;
        }
    }
    return deepest;
}

bool unsigned_member(const JsonValue& object, const char* key, uint64_t fallback, uint64_t& out) {
    if (!json_has(object, key)) {
        out = fallback;
        return true;
    }
    const JsonValue& v = json_member(object, key);
    if (!v.is_number_unsigned()) return false;
    out = v.get<uint64_t>();
    return true;
}

// ---------------------------------------------------------------- model side

class ModelCheck {
public:
    explicit ModelCheck(const tinygltf::Model& m) : m_(m) {}

    std::string run() {
        buffer_views() && images() && accessors_and_meshes() && materials_and_textures() &&
            skins() && animations() && nodes() && scenes();
        return problem_;
    }

private:
    bool fail(const std::string& message) {
        if (problem_.empty()) problem_ = message;
        return false;
    }

    // `index` must name an entry of a table of `size`; -1 passes when allowed.
    bool index(int index, size_t size, bool optional, const std::string& what) {
        if (index == -1 && optional) return true;
        if (index >= 0 && static_cast<size_t>(index) < size) return true;
        return fail(what + " refers to entry " + std::to_string(index) + " of " + n(size));
    }

    bool buffer_views() {
        for (size_t i = 0; i < m_.bufferViews.size(); ++i) {
            const tinygltf::BufferView& v = m_.bufferViews[i];
            const std::string what = "bufferView " + n(i);
            if (!index(v.buffer, m_.buffers.size(), false, what + " buffer")) return false;
            const size_t size = m_.buffers[v.buffer].data.size();
            if (v.byteOffset > size || v.byteLength > size - v.byteOffset) {
                return fail(what + " (offset " + n(v.byteOffset) + ", " + n(v.byteLength) +
                            " bytes) lies outside buffer " + n(v.buffer) + " of " + n(size) +
                            " bytes");
            }
        }
        return true;
    }

    bool images() {
        for (size_t i = 0; i < m_.images.size(); ++i) {
            const tinygltf::Image& img = m_.images[i];
            if (img.image.empty()) continue;  // external file not loaded
            if (!img.as_is) return fail("image " + n(i) + " does not hold its encoded bytes");
        }
        return true;
    }

    // The byte range an accessor's elements occupy must lie inside its view,
    // and a sparse accessor's substitutions inside theirs and its elements.
    bool accessor(int ai, const std::string& user) {
        if (!index(ai, m_.accessors.size(), false, user + " accessor")) return false;
        const tinygltf::Accessor& a = m_.accessors[ai];
        const std::string what = "accessor " + std::to_string(ai) + " (used by " + user + ")";
        if (a.bufferView < 0 && !a.sparse.isSparse) return fail(what + " has no bufferView");
        if (a.bufferView >= 0 && !index(a.bufferView, m_.bufferViews.size(), false, what + " bufferView")) {
            return false;
        }
        const uint64_t element = element_size(a);
        if (element == 0) return fail(what + " has an unknown type");
        if (a.bufferView >= 0) {
            const tinygltf::BufferView& v = m_.bufferViews[a.bufferView];
            const uint64_t stride = v.byteStride ? v.byteStride : element;
            if (!range_fits(a.byteOffset, a.count, stride, element, v.byteLength)) {
                return fail(what + ": " + n(a.count) + " elements from offset " + n(a.byteOffset) +
                            " do not fit in bufferView " + std::to_string(a.bufferView) + " of " +
                            n(v.byteLength) + " bytes");
            }
        }
        if (!a.sparse.isSparse) return true;
        std::vector<uint8_t> values;
        std::string problem;
        if (!accessor_bytes(m_, ai, values, &problem)) return fail(what + ": " + problem);
        return true;
    }

    static bool range_fits(uint64_t offset, uint64_t count, uint64_t stride, uint64_t element,
                           uint64_t limit) {
        if (count == 0) return offset <= limit;
        if (offset > limit || element > limit - offset) return false;
        const uint64_t room = limit - offset - element;  // for the count - 1 strides
        return stride == 0 || (count - 1) <= room / stride;
    }

    // Every index, sparse substitutions included, must name a vertex.
    bool index_values(const tinygltf::Primitive& p, uint64_t vertex_count, const std::string& what) {
        std::vector<uint32_t> values;
        std::string problem;
        if (!read_unsigned(m_, p.indices, values, &problem)) {
            return fail(what + " has indices that cannot be read: " + problem);
        }
        for (const uint32_t value : values) {
            if (value >= vertex_count) return fail(what + " uses vertex " + n(value) + " of " + n(vertex_count));
        }
        return true;
    }

    bool accessors_and_meshes() {
        for (size_t i = 0; i < m_.accessors.size(); ++i) {
            const tinygltf::Accessor& a = m_.accessors[i];
            // Unused accessors may lack a view; those with one must fit too.
            if ((a.bufferView >= 0 || a.sparse.isSparse) && !accessor(int(i), "the asset")) return false;
        }
        for (size_t mi = 0; mi < m_.meshes.size(); ++mi) {
            const auto& prims = m_.meshes[mi].primitives;
            for (size_t pi = 0; pi < prims.size(); ++pi) {
                const tinygltf::Primitive& p = prims[pi];
                const std::string what = "mesh " + n(mi) + " primitive " + n(pi);
                uint64_t vertex_count = std::numeric_limits<uint64_t>::max();
                uint64_t draw_count = 0;
                bool first = true;
                for (const auto& [name, ai] : p.attributes) {
                    if (!accessor(ai, what + " " + name)) return false;
                    vertex_count = std::min<uint64_t>(vertex_count, m_.accessors[ai].count);
                    if (first) draw_count = m_.accessors[ai].count;
                    first = false;
                }
                for (const auto& target : p.targets) {
                    for (const auto& [name, ai] : target) {
                        if (!accessor(ai, what + " morph target " + name)) return false;
                    }
                }
                if (!index(p.material, m_.materials.size(), true, what + " material")) return false;
                if (p.indices >= 0) {
                    if (!accessor(p.indices, what + " indices")) return false;
                    if (!index_values(p, p.attributes.empty() ? 0 : vertex_count, what)) return false;
                } else if (p.indices != -1) {
                    return fail(what + " has indices " + std::to_string(p.indices));
                } else if (!p.attributes.empty() && draw_count > vertex_count) {
                    return fail(what + " draws " + n(draw_count) + " vertices but an attribute has " +
                                n(vertex_count));
                }
            }
        }
        return true;
    }

    bool materials_and_textures() {
        const size_t textures = m_.textures.size();
        for (size_t i = 0; i < m_.materials.size(); ++i) {
            const tinygltf::Material& mat = m_.materials[i];
            const std::string what = "material " + n(i);
            if (!index(mat.pbrMetallicRoughness.baseColorTexture.index, textures, true,
                       what + " base colour texture") ||
                !index(mat.pbrMetallicRoughness.metallicRoughnessTexture.index, textures, true,
                       what + " metallic-roughness texture") ||
                !index(mat.normalTexture.index, textures, true, what + " normal texture") ||
                !index(mat.occlusionTexture.index, textures, true, what + " occlusion texture") ||
                !index(mat.emissiveTexture.index, textures, true, what + " emissive texture")) {
                return false;
            }
        }
        for (size_t i = 0; i < textures; ++i) {
            const tinygltf::Texture& t = m_.textures[i];
            if (!index(t.source, m_.images.size(), true, "texture " + n(i) + " source") ||
                !index(t.sampler, m_.samplers.size(), true, "texture " + n(i) + " sampler")) {
                return false;
            }
        }
        return true;
    }

    bool skins() {
        for (size_t i = 0; i < m_.skins.size(); ++i) {
            const tinygltf::Skin& s = m_.skins[i];
            const std::string what = "skin " + n(i);
            for (int j : s.joints) {
                if (!index(j, m_.nodes.size(), false, what + " joint")) return false;
            }
            if (!index(s.skeleton, m_.nodes.size(), true, what + " skeleton")) return false;
            if (s.inverseBindMatrices == -1) continue;
            if (!accessor(s.inverseBindMatrices, what + " inverse bind matrices")) return false;
            const tinygltf::Accessor& a = m_.accessors[s.inverseBindMatrices];
            if (a.type != TINYGLTF_TYPE_MAT4 || a.componentType != TINYGLTF_COMPONENT_TYPE_FLOAT ||
                a.count < s.joints.size()) {
                return fail(what + " needs one MAT4 float inverse bind matrix per joint");
            }
        }
        return true;
    }

    bool animations() {
        for (size_t ai = 0; ai < m_.animations.size(); ++ai) {
            const tinygltf::Animation& anim = m_.animations[ai];
            for (size_t si = 0; si < anim.samplers.size(); ++si) {
                const tinygltf::AnimationSampler& s = anim.samplers[si];
                const std::string what = "animation " + n(ai) + " sampler " + n(si);
                if (!accessor(s.input, what + " input") || !accessor(s.output, what + " output")) {
                    return false;
                }
                const tinygltf::Accessor& in = m_.accessors[s.input];
                const tinygltf::Accessor& out = m_.accessors[s.output];
                if (in.type != TINYGLTF_TYPE_SCALAR || in.componentType != TINYGLTF_COMPONENT_TYPE_FLOAT) {
                    return fail(what + " has input times that are not scalar floats");
                }
                if (out.componentType != TINYGLTF_COMPONENT_TYPE_FLOAT || out.count < in.count) {
                    return fail(what + " needs float outputs, one per input time at least");
                }
            }
            for (size_t ci = 0; ci < anim.channels.size(); ++ci) {
                const tinygltf::AnimationChannel& c = anim.channels[ci];
                const std::string what = "animation " + n(ai) + " channel " + n(ci);
                if (!index(c.sampler, anim.samplers.size(), false, what + " sampler") ||
                    !index(c.target_node, m_.nodes.size(), true, what + " target node")) {
                    return false;
                }
            }
        }
        return true;
    }

    bool nodes() {
        const size_t count = m_.nodes.size();
        std::vector<int> parent(count, -1);
        for (size_t i = 0; i < count; ++i) {
            const tinygltf::Node& node = m_.nodes[i];
            const std::string what = "node " + n(i);
            if (!index(node.mesh, m_.meshes.size(), true, what + " mesh") ||
                !index(node.skin, m_.skins.size(), true, what + " skin") ||
                !index(node.camera, m_.cameras.size(), true, what + " camera")) {
                return false;
            }
            const bool shapes = (node.translation.empty() || node.translation.size() == 3) &&
                                (node.rotation.empty() || node.rotation.size() == 4) &&
                                (node.scale.empty() || node.scale.size() == 3) &&
                                (node.matrix.empty() || node.matrix.size() == 16);
            if (!shapes) return fail(what + " has a transform of the wrong length");
            for (int c : node.children) {
                if (!index(c, count, false, what + " child")) return false;
                if (c == int(i)) return fail(what + " is its own child");
                if (parent[c] != -1) {
                    return fail("node " + std::to_string(c) + " has more than one parent");
                }
                parent[c] = int(i);
            }
        }
        // With one parent each, walking up from every node must reach a root
        // within the depth limit; a cycle never does.
        std::vector<int> depth(count, 0);  // 0 = not yet known
        std::vector<int> path;
        for (size_t i = 0; i < count; ++i) {
            path.clear();
            int at = int(i);
            while (at != -1 && depth[at] == 0) {
                path.push_back(at);
                if (path.size() > size_t(max_node_depth)) {
                    return fail("node " + n(i) + " lies more than " + n(max_node_depth) +
                                " levels deep, or in a cycle");
                }
                at = parent[at];
            }
            int d = at == -1 ? 0 : depth[at];
            for (auto it = path.rbegin(); it != path.rend(); ++it) depth[*it] = ++d;
            if (d > max_node_depth) {
                return fail("node " + n(i) + " lies more than " + n(max_node_depth) + " levels deep");
            }
        }
        return true;
    }

    bool scenes() {
        for (size_t i = 0; i < m_.scenes.size(); ++i) {
            for (int root : m_.scenes[i].nodes) {
                if (!index(root, m_.nodes.size(), false, "scene " + n(i) + " root")) return false;
            }
        }
        return index(m_.defaultScene, m_.scenes.size(), true, "the default scene");
    }

    const tinygltf::Model& m_;
    std::string problem_;
};

}  // namespace

std::string check_glb_container(std::span<const uint8_t> bytes, std::string_view& json) {
    try {
        BinaryReader header(bytes);
        if (header.read_u32("GLB magic") != glb_magic) {
            return "not a GLB file (it does not start with \"glTF\")";
        }
        const uint32_t version = header.read_u32("GLB version");
        if (version != 2) return "GLB version " + n(version) + " is not supported";
        const uint32_t length = header.read_u32("GLB length");
        if (length > bytes.size()) {
            return "the GLB header announces " + n(length) + " bytes but only " + n(bytes.size()) +
                   " are present";
        }
        if (length < 12) return "the GLB header announces only " + n(length) + " bytes";
        const std::span<const uint8_t> glb = bytes.first(length);

        BinaryReader json_header(glb.subspan(12));
        const uint32_t json_length = json_header.read_u32("GLB JSON chunk length");
        if (json_header.read_u32("GLB JSON chunk type") != glb_json_chunk) {
            return "the first GLB chunk is not JSON";
        }
        if (json_length == 0 || json_length > glb.size() - 20) {
            return "the GLB JSON chunk of " + n(json_length) + " bytes does not fit in the " +
                   n(glb.size()) + "-byte file";
        }
        const size_t bin_at = 20 + size_t(json_length);
        if (bin_at < glb.size()) {
            BinaryReader bin_header(glb.subspan(bin_at));
            const uint32_t bin_length = bin_header.read_u32("GLB BIN chunk length");
            if (bin_header.read_u32("GLB BIN chunk type") != glb_bin_chunk) {
                return "the second GLB chunk is not BIN";
            }
            if (bin_length > glb.size() - bin_at - 8) {
                return "the GLB BIN chunk of " + n(bin_length) + " bytes runs past the end of the " +
                       n(glb.size()) + "-byte file";
            }
        }
        const std::span<const uint8_t> text = glb.subspan(20, json_length);
        json = std::string_view(reinterpret_cast<const char*>(text.data()), text.size());
        return {};
    } catch (const FormatError&) {
        return "the GLB file is truncated (" + n(bytes.size()) + " bytes)";
    }
}

std::string check_gltf_json(std::string_view json_text) {
    if (nesting_depth(json_text) > max_json_depth) {
        return "the glTF JSON nests deeper than " + n(max_json_depth) + " levels";
    }
    const JsonValue doc = JsonValue::parse(json_text, nullptr, /*allow_exceptions=*/false);
    if (doc.is_discarded() || !doc.is_object()) return {};  // the parser reports it

    // The glTF library reads images embedded in buffer views before it
    // checks anything about the views, so their ranges are checked here,
    // against the lengths the buffers declare (which it then enforces).
    const JsonValue& buffers = json_member(doc, "buffers");
    const JsonValue& views = json_member(doc, "bufferViews");
    if (!views.is_array()) return {};
    for (size_t i = 0; i < views.size(); ++i) {
        const JsonValue& v = views[i];
        const std::string what = "bufferView " + n(i);
        uint64_t buffer = 0, offset = 0, length = 0, buffer_length = 0;
        if (!unsigned_member(v, "buffer", UINT64_MAX, buffer) || !buffers.is_array() ||
            buffer >= buffers.size()) {
            return what + " names no buffer";
        }
        if (!unsigned_member(v, "byteOffset", 0, offset) ||
            !unsigned_member(v, "byteLength", 0, length) || length == 0) {
            return what + " needs a whole byteOffset and a positive byteLength";
        }
        if (!unsigned_member(buffers[buffer], "byteLength", 0, buffer_length)) {
            return "buffer " + n(buffer) + " has no whole byteLength";
        }
        if (offset > buffer_length || length > buffer_length - offset) {
            return what + " (offset " + n(offset) + ", " + n(length) + " bytes) lies outside buffer " +
                   n(buffer) + " of " + n(buffer_length) + " bytes";
        }
    }
    return {};
}

std::string check_gltf_model(const tinygltf::Model& model) { return ModelCheck(model).run(); }

}  // namespace qh
