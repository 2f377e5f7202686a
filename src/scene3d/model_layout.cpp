#include "scene3d/model_layout.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <utility>

#include <glm/gtc/matrix_inverse.hpp>
#include <glm/gtc/quaternion.hpp>
#include <glm/gtc/type_ptr.hpp>
#include <tiny_gltf.h>

#include "scene3d/gltf_accessor.h"
#include "scene3d/texture_transform.h"

namespace qh {

namespace {

struct AttributeName {
    const char* name;
    AttributeLocation location;
    bool integer;
};
constexpr AttributeName attribute_names[] = {
    {"POSITION", position_location, false}, {"NORMAL", normal_location, false},
    {"TEXCOORD_0", texcoord_location, false}, {"JOINTS_0", joints_location, true},
    {"WEIGHTS_0", weights_location, false},   {"TEXCOORD_1", texcoord1_location, false},
};

bool is_integer_type(int t) {
    return t >= TINYGLTF_COMPONENT_TYPE_BYTE && t <= TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT;
}

// What GL's float attribute pointer accepts among the types an asset may store.
bool is_float_pointer_type(int t) {
    return is_integer_type(t) || t == TINYGLTF_COMPONENT_TYPE_FLOAT ||
           t == TINYGLTF_COMPONENT_TYPE_DOUBLE;
}

int vector_components(int type) {
    switch (type) {
        case TINYGLTF_TYPE_VEC2: return 2;
        case TINYGLTF_TYPE_VEC3: return 3;
        case TINYGLTF_TYPE_VEC4: return 4;
        default: return 0;
    }
}

std::string where(size_t mesh, size_t primitive) {
    return "mesh " + std::to_string(mesh) + " primitive " + std::to_string(primitive);
}

// Where the values of `accessor` are read from: its view, or (sparse, or
// without a view) a copy with the substitutions applied, kept in the layout
// and uploaded after the asset's own buffers. False when the copy fails.
bool locate(const tinygltf::Model& m, int accessor, ModelLayout& layout, int32_t& buffer,
            uint64_t& offset, int32_t& stride, std::string& problem) {
    const tinygltf::Accessor& a = m.accessors[size_t(accessor)];
    if (!needs_copy(a)) {
        const tinygltf::BufferView& view = m.bufferViews[size_t(a.bufferView)];
        buffer = view.buffer;
        offset = uint64_t(view.byteOffset) + uint64_t(a.byteOffset);
        stride = int32_t(view.byteStride);
        return true;
    }
    std::vector<uint8_t> values;
    if (!accessor_bytes(m, accessor, values, &problem)) return false;
    buffer = int32_t(m.buffers.size() + layout.copied_buffers.size());
    layout.copied_buffers.push_back(std::move(values));
    offset = 0;
    stride = 0;
    return true;
}

// The base colour texture's coordinates: its set and transform, or none.
UvTransform base_color_uv(const tinygltf::Model& m, int material) {
    if (material < 0) return {};
    const tinygltf::TextureInfo& info = m.materials[size_t(material)].pbrMetallicRoughness.baseColorTexture;
    return info.index < 0 ? UvTransform() : uv_transform_of(info);
}

// The texture coordinates as the base colour texture reads them, in a copy:
// false where the stored ones serve (or cannot be transformed, said once).
bool transform_texcoords(const tinygltf::Model& m, int accessor, const UvTransform& uv, const std::string& what,
                         ModelLayout& layout, VertexAttribute& v) {
    if (uv.identity()) return false;
    std::vector<uint8_t> values;
    std::string problem;
    if (!transformed_texcoords(m, accessor, uv, values, problem)) {
        layout.problems.push_back(what + ": its texture coordinates cannot be transformed (" + problem +
                                  "); they are read as stored");
        return false;
    }
    v.buffer = int32_t(m.buffers.size() + layout.copied_buffers.size());
    layout.copied_buffers.push_back(std::move(values));
    v.components = 2;
    v.component_type = TINYGLTF_COMPONENT_TYPE_FLOAT;
    v.normalized = false;
    v.offset = 0;
    v.stride = 0;
    return true;
}

PrimitiveLayout lay_out_primitive(const tinygltf::Model& m, const tinygltf::Primitive& p,
                                  const std::string& what, ModelLayout& layout) {
    std::vector<std::string>& problems = layout.problems;
    PrimitiveLayout out;
    out.material = p.material;
    const UvTransform uv = base_color_uv(m, p.material);
    const std::string base_set = "TEXCOORD_" + std::to_string(uv.set);
    for (const AttributeName& a : attribute_names) {
        const bool base_coordinates = a.location == texcoord_location;
        const auto it = p.attributes.find(base_coordinates ? base_set : a.name);
        if (it == p.attributes.end()) continue;
        const tinygltf::Accessor& accessor = m.accessors[it->second];
        VertexAttribute v;
        v.location = a.location;
        v.integer = a.integer;
        v.components = vector_components(accessor.type);
        v.component_type = uint32_t(accessor.componentType);
        v.normalized = accessor.normalized;
        // GL would refuse these pointers; the attribute then stays disabled
        // and the shader reads its constant default, as for a missing one.
        const bool type_ok = a.integer ? is_integer_type(accessor.componentType)
                                       : is_float_pointer_type(accessor.componentType);
        if (v.components == 0 || !type_ok) {
            problems.push_back(what + ": " + it->first + " is not a vector of a type the vertex "
                               "input takes; it is left out");
            continue;
        }
        if (base_coordinates && transform_texcoords(m, it->second, uv, what, layout, v)) {
            out.attributes.push_back(v);
            continue;
        }
        std::string problem;
        if (!locate(m, it->second, layout, v.buffer, v.offset, v.stride, problem)) {
            problems.push_back(what + ": " + it->first + " cannot be read (" + problem + "); it is left out");
            continue;
        }
        out.attributes.push_back(v);
    }

    if (p.mode >= 0 && p.mode <= TINYGLTF_MODE_TRIANGLE_FAN) {
        out.mode = uint32_t(p.mode);
    } else {
        out.drawable = false;
        problems.push_back(what + ": mode " + std::to_string(p.mode) +
                           " is no primitive type; it is not drawn");
    }

    uint64_t count = 0;
    if (p.indices >= 0) {
        const tinygltf::Accessor& indices = m.accessors[p.indices];
        int32_t stride = 0;  // indices are always tightly packed
        std::string problem;
        out.index_type = uint32_t(indices.componentType);
        count = indices.count;
        if (!locate(m, p.indices, layout, out.element_buffer, out.index_offset, stride, problem)) {
            out.drawable = false;
            problems.push_back(what + ": its indices cannot be read (" + problem + "); it is not drawn");
        }
    } else if (!p.attributes.empty()) {
        // The first attribute in name order, whichever it is.
        count = m.accessors[p.attributes.begin()->second].count;
    } else {
        out.drawable = false;
        problems.push_back(what + " has no attributes and no indices; it is not drawn");
    }
    if (count > uint64_t(std::numeric_limits<int32_t>::max())) {
        out.drawable = false;
        problems.push_back(what + " has more vertices than one draw call takes; it is not drawn");
        count = 0;
    }
    out.count = int32_t(count);
    return out;
}

// A primitive whose targets move its positions or normals draws them from a
// copy that the renderer blends; one target that cannot be read leaves
// every target out, since blending the rest would be another shape.
void lay_out_morph(const tinygltf::Model& m, const tinygltf::Primitive& p, int32_t mesh, const std::string& what,
                   ModelLayout& layout) {
    PrimitiveLayout& drawn = layout.primitives.back();
    const auto attribute = [&](uint32_t location) {
        for (VertexAttribute& a : drawn.attributes)
            if (a.location == location) return &a;
        return static_cast<VertexAttribute*>(nullptr);
    };
    VertexAttribute* position = attribute(position_location);
    VertexAttribute* normal = attribute(normal_location);
    bool moves = false;
    for (const auto& target : p.targets) moves = moves || target.count("POSITION") || (normal && target.count("NORMAL"));
    if (!moves || !position) return;
    const std::vector<float> positions = read_floats(m, p.attributes.at("POSITION"), 3);
    std::vector<float> normals = normal ? read_floats(m, p.attributes.at("NORMAL"), 3) : std::vector<float>();
    if (normals.size() != positions.size()) normals.clear();  // drawn as stored, unblended
    const auto fail = [&](const std::string& why) {
        layout.problems.push_back(what + ": " + why + "; its morph targets are not drawn");
    };
    if (positions.empty()) return fail("POSITION is not a vector of three floats");

    MorphLayout morph;
    morph.primitive = int32_t(layout.primitives.size() - 1);
    morph.mesh = mesh;
    morph.normals = !normals.empty();
    morph.base = positions;
    morph.base.insert(morph.base.end(), normals.begin(), normals.end());
    for (size_t t = 0; t < p.targets.size(); ++t) {
        std::vector<float>& deltas = morph.deltas.emplace_back();
        const std::pair<const char*, size_t> parts[] = {{"POSITION", 0}, {"NORMAL", positions.size()}};
        for (const auto& [name, offset] : parts) {
            const auto it = p.targets[t].find(name);
            if (it == p.targets[t].end() || (offset > 0 && !morph.normals)) continue;
            const std::vector<float> values = read_floats(m, it->second, 3);
            if (values.size() != positions.size()) {
                return fail("target " + std::to_string(t) + " " + name + " is not one vector of three floats a vertex");
            }
            deltas.resize(morph.base.size(), 0.0f);
            std::copy(values.begin(), values.end(), deltas.begin() + std::ptrdiff_t(offset));
        }
    }

    morph.buffer = int32_t(m.buffers.size() + layout.copied_buffers.size());
    std::vector<uint8_t>& copy = layout.copied_buffers.emplace_back(morph.base.size() * sizeof(float));
    std::memcpy(copy.data(), morph.base.data(), copy.size());
    for (VertexAttribute* a : {position, normal}) {
        if (!a || (a == normal && !morph.normals)) continue;
        a->buffer = morph.buffer;
        a->components = 3;
        a->component_type = TINYGLTF_COMPONENT_TYPE_FLOAT;
        a->normalized = false;
        a->stride = 0;
        a->offset = a == normal ? positions.size() * sizeof(float) : 0;
    }
    layout.morphs.push_back(std::move(morph));
}

SamplerLayout lay_out_sampler(const tinygltf::Sampler& s) {
    SamplerLayout out;
    const auto wrap = [](int v, uint32_t& into) {
        if (v == TINYGLTF_TEXTURE_WRAP_REPEAT || v == TINYGLTF_TEXTURE_WRAP_MIRRORED_REPEAT ||
            v == TINYGLTF_TEXTURE_WRAP_CLAMP_TO_EDGE) into = uint32_t(v);
    };
    wrap(s.wrapS, out.wrap_s);
    wrap(s.wrapT, out.wrap_t);
    if (s.minFilter == TINYGLTF_TEXTURE_FILTER_NEAREST || s.minFilter == TINYGLTF_TEXTURE_FILTER_LINEAR ||
        (s.minFilter >= TINYGLTF_TEXTURE_FILTER_NEAREST_MIPMAP_NEAREST &&
         s.minFilter <= TINYGLTF_TEXTURE_FILTER_LINEAR_MIPMAP_LINEAR)) {
        out.min_filter = uint32_t(s.minFilter);
    }
    if (s.magFilter == TINYGLTF_TEXTURE_FILTER_NEAREST || s.magFilter == TINYGLTF_TEXTURE_FILTER_LINEAR) {
        out.mag_filter = uint32_t(s.magFilter);
    }
    return out;
}

// The image and sampler of glTF texture `t` (a checked index or -1); the
// image is -1 for none or a texture without one, the sampler then too.
void texture_of(const tinygltf::Model& m, int t, ModelLayout& layout, int32_t& image, int32_t& sampler) {
    image = t < 0 ? -1 : m.textures[size_t(t)].source;
    sampler = -1;
    if (image < 0) return;
    const int s = m.textures[size_t(t)].sampler;
    sampler = s >= 0 ? s : int32_t(m.samplers.size());  // the default, last
    if (layout.samplers[size_t(sampler)].mipmapped()) layout.mipmapped_images[size_t(image)] = true;
}

MaterialLayout lay_out_material(const tinygltf::Model& m, const tinygltf::Material& mat, ModelLayout& layout) {
    MaterialLayout out;
    const tinygltf::PbrMetallicRoughness& pbr = mat.pbrMetallicRoughness;
    for (size_t i = 0; i < 4 && i < pbr.baseColorFactor.size(); ++i) {
        out.base_color_factor[int(i)] = float(pbr.baseColorFactor[i]);
    }
    texture_of(m, pbr.baseColorTexture.index, layout, out.base_color_image, out.base_color_sampler);
    out.metallic = float(pbr.metallicFactor);
    out.roughness = float(pbr.roughnessFactor);
    texture_of(m, pbr.metallicRoughnessTexture.index, layout, out.metallic_roughness_image,
               out.metallic_roughness_sampler);
    return out;
}

}  // namespace

glm::mat4 node_local_matrix(const tinygltf::Node& n) {
    if (n.matrix.size() == 16) {
        glm::mat4 m;
        float* f = glm::value_ptr(m);
        for (int i = 0; i < 16; ++i) f[i] = float(n.matrix[size_t(i)]);
        return m;
    }
    glm::mat4 t(1.0f), r(1.0f), s(1.0f);
    if (n.translation.size() == 3) {
        t[3] = glm::vec4(float(n.translation[0]), float(n.translation[1]), float(n.translation[2]), 1.0f);
    }
    if (n.rotation.size() == 4) {
        r = glm::mat4_cast(glm::quat(float(n.rotation[3]), float(n.rotation[0]), float(n.rotation[1]),
                                     float(n.rotation[2])));
    }
    if (n.scale.size() == 3) {
        s[0][0] = float(n.scale[0]);
        s[1][1] = float(n.scale[1]);
        s[2][2] = float(n.scale[2]);
    }
    return t * r * s;
}

namespace {

NodeLayout lay_out_node(const tinygltf::Node& n) {
    NodeLayout out;
    out.local = node_local_matrix(n);
    out.mesh = n.mesh;
    const tinygltf::Value& extras = n.extras;
    if (!extras.IsObject()) return out;
    if (extras.Has("ignore_shadow")) {
        const tinygltf::Value& v = extras.Get("ignore_shadow");
        out.ignore_shadow = v.IsBool() && v.Get<bool>();
    }
    if (extras.Has("render_pass") && extras.Get("render_pass").IsInt()) {
        out.render_pass = extras.Get("render_pass").Get<int>();
    }
    if (extras.Has("tag") && extras.Get("tag").IsInt()) out.tag = extras.Get("tag").Get<int>();
    return out;
}

// Depth first from each root of the default scene, children in order.
void visit_default_scene(const tinygltf::Model& m, ModelLayout& out) {
    out.has_default_scene = m.defaultScene >= 0 && size_t(m.defaultScene) < m.scenes.size();
    if (!out.has_default_scene) return;
    std::vector<std::pair<int32_t, int32_t>> stack;  // node, parent visit
    for (int root : m.scenes[size_t(m.defaultScene)].nodes) {
        stack.emplace_back(root, -1);
        while (!stack.empty()) {
            if (out.visits.size() == max_node_visits) {
                out.problems.push_back("the default scene reaches more than " +
                                       std::to_string(max_node_visits) +
                                       " nodes; the rest are not drawn");
                return;
            }
            const auto [node, parent] = stack.back();
            stack.pop_back();
            const int32_t visit = int32_t(out.visits.size());
            out.visits.push_back({node, parent});
            const std::vector<int>& children = m.nodes[size_t(node)].children;
            for (auto it = children.rbegin(); it != children.rend(); ++it) stack.emplace_back(*it, visit);
        }
    }
}

}  // namespace

ModelLayout build_model_layout(const tinygltf::Model& m) {
    ModelLayout out;
    out.mesh_ranges.reserve(m.meshes.size());
    for (size_t k = 0; k < m.meshes.size(); ++k) {
        const auto& primitives = m.meshes[k].primitives;
        out.mesh_ranges.push_back({int32_t(out.primitives.size()), int32_t(primitives.size())});
        for (size_t p = 0; p < primitives.size(); ++p) {
            out.primitives.push_back(lay_out_primitive(m, primitives[p], where(k, p), out));
            lay_out_morph(m, primitives[p], int32_t(k), where(k, p), out);
        }
    }
    out.samplers.reserve(m.samplers.size() + 1);
    for (const tinygltf::Sampler& s : m.samplers) out.samplers.push_back(lay_out_sampler(s));
    out.samplers.emplace_back();
    out.mipmapped_images.assign(m.images.size(), false);
    out.materials.reserve(m.materials.size());
    for (const tinygltf::Material& mat : m.materials) out.materials.push_back(lay_out_material(m, mat, out));
    out.nodes.reserve(m.nodes.size());
    for (const tinygltf::Node& n : m.nodes) out.nodes.push_back(lay_out_node(n));

    visit_default_scene(m, out);
    for (const NodeVisit& v : out.visits) {
        const NodeLayout& n = out.nodes[size_t(v.node)];
        out.render_passes = std::max(out.render_passes, n.render_pass);
        if (n.mesh >= 0 && n.render_pass > 0) out.passes.push_back(n.render_pass);
    }
    std::sort(out.passes.begin(), out.passes.end());
    out.passes.erase(std::unique(out.passes.begin(), out.passes.end()), out.passes.end());
    return out;
}

void blend_morph(const MorphLayout& morph, const std::vector<float>& weights, std::vector<float>& out) {
    out.assign(morph.base.begin(), morph.base.end());
    const size_t targets = std::min(weights.size(), morph.deltas.size());
    for (size_t t = 0; t < targets; ++t) {
        const float w = weights[t];
        const std::vector<float>& d = morph.deltas[t];
        if (w == 0.0f || d.size() != out.size()) continue;
        for (size_t i = 0; i < out.size(); ++i) out[i] += w * d[i];
    }
}

void plan_draw(const ModelLayout& layout, const ViewMatrices& camera, const ViewMatrices& light,
               bool shadow_pass, DrawList& out, const NodePose* pose) {
    const size_t count = layout.visits.size();
    out.world.resize(count);
    out.transforms.resize(count);
    out.order.clear();
    const size_t posed = pose ? std::min(pose->animated.size(), pose->matrices.size()) : 0;
    for (size_t v = 0; v < count; ++v) {
        const NodeVisit& visit = layout.visits[v];
        const size_t node = size_t(visit.node);
        const glm::mat4& local = node < posed && pose->animated[node] ? pose->matrices[node]
                                                                       : layout.nodes[node].local;
        out.world[v] = visit.parent < 0 ? local : out.world[size_t(visit.parent)] * local;
    }
    const glm::mat4 pv = camera.projection * camera.view;
    const glm::mat4 light_pv = light.projection * light.view;
    for (int32_t pass : layout.passes) {
        for (size_t v = 0; v < count; ++v) {
            const NodeLayout& node = layout.nodes[size_t(layout.visits[v].node)];
            if (node.mesh < 0 || node.render_pass != pass || (shadow_pass && node.ignore_shadow)) continue;
            NodeTransforms& t = out.transforms[v];
            const glm::mat4& m = out.world[v];
            t.model = m;
            t.model_view = camera.view * m;
            t.mvp = pv * m;
            t.light_mvp = light_pv * m;
            t.normal = glm::inverseTranspose(m);
            out.order.push_back(int32_t(v));
        }
    }
}

}  // namespace qh
