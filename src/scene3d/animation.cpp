#include "scene3d/animation.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include <glm/gtc/type_ptr.hpp>
#include <tiny_gltf.h>

#include "scene3d/gltf_accessor.h"
#include "scene3d/model.h"
#include "scene3d/model_layout.h"

namespace qh::Animation {

namespace {

glm::mat4 node_matrix(const tinygltf::Node& n) {
    glm::mat4 out(1.0f);
    if (n.matrix.size() == 16) {
        float* f = glm::value_ptr(out);
        for (size_t i = 0; i < 16; ++i) f[i] = float(n.matrix[i]);
    }
    return out;
}

// The node's translation, rotation and scale where it has them.
template <typename Target>
void take_node_transform(const tinygltf::Node& n, Target& t) {
    if (n.translation.size() == 3) {
        t.translation = {float(n.translation[0]), float(n.translation[1]), float(n.translation[2])};
    }
    if (n.rotation.size() == 4) {
        t.rotation = quat_of({float(n.rotation[0]), float(n.rotation[1]), float(n.rotation[2]),
                              float(n.rotation[3])});
    }
    if (n.scale.size() == 3) t.scale = {float(n.scale[0]), float(n.scale[1]), float(n.scale[2])};
}

int32_t interpolation_of(const std::string& name) {
    if (name == "STEP") return step;
    if (name == "CUBICSPLINE") return cubic_spline;
    return linear;
}

int32_t path_of(const std::string& name) {
    if (name == "translation") return translation_path;
    if (name == "rotation") return rotation_path;
    if (name == "scale") return scale_path;
    if (name == "weights") return weights_path;
    return unsupported_path;
}

Sampler build_sampler(const tinygltf::Model& m, const tinygltf::AnimationSampler& s) {
    Sampler out;
    out.interpolation = interpolation_of(s.interpolation);
    if (s.input >= 0 && size_t(s.input) < m.accessors.size() &&
        m.accessors[size_t(s.input)].type == TINYGLTF_TYPE_SCALAR) {
        out.times = read_floats(m, s.input, 1);
    }
    const int type = s.output >= 0 && size_t(s.output) < m.accessors.size()
                         ? m.accessors[size_t(s.output)].type
                         : -1;
    const size_t n = type == TINYGLTF_TYPE_SCALAR ? 1 : type == TINYGLTF_TYPE_VEC3 ? 3 : type == TINYGLTF_TYPE_VEC4 ? 4 : 0;
    std::vector<float> raw = n > 0 ? read_floats(m, s.output, n) : std::vector<float>();
    if (raw.empty()) {
        std::fprintf(stderr, "Kapot\n");
        return out;
    }
    // Scalars are the weights of every target at once: so many per key.
    const size_t per_key = out.interpolation == cubic_spline ? 3 : 1;
    const size_t elements = out.times.size() * per_key;
    size_t width = n;
    if (n == 1) {
        width = elements > 0 && raw.size() % elements == 0 ? raw.size() / elements : 0;
        if (width == 0) {
            std::fprintf(stderr, "Kapot\n");
            return out;
        }
    }
    out.width = int32_t(width);
    out.values = std::move(raw);
    return out;
}

ModelAnimation build_animation(const tinygltf::Model& m, const tinygltf::Animation& a) {
    ModelAnimation out;
    out.name = a.name;
    for (const tinygltf::AnimationSampler& s : a.samplers) out.samplers.push_back(build_sampler(m, s));
    if (!out.samplers.empty() && !out.samplers[0].times.empty()) {
        out.start_time = out.samplers[0].times.front();
        out.end_time = out.samplers[0].times.back();
    }
    for (const tinygltf::AnimationChannel& c : a.channels) {
        Channel channel;
        channel.sampler = c.sampler;
        channel.target_node = c.target_node;
        channel.path = path_of(c.target_path);
        if (channel.path == unsupported_path) std::fprintf(stderr, "Boem kapot: path not supported\n");
        out.channels.push_back(channel);
    }
    return out;
}

// The asset's node tree: parents, an order with parents first, rest matrices.
void build_node_tree(const tinygltf::Model& m, Skeleton& skeleton) {
    const size_t count = m.nodes.size();
    skeleton.parents.assign(count, -1);
    skeleton.rest.resize(count);
    for (size_t i = 0; i < count; ++i) {
        skeleton.rest[i] = node_local_matrix(m.nodes[i]);
        for (const int c : m.nodes[i].children) {
            if (c >= 0 && size_t(c) < count) skeleton.parents[size_t(c)] = int32_t(i);
        }
    }
    // From the roots down; the asset was checked to be a forest, and a node
    // never joins the order twice regardless.
    std::vector<bool> placed(count, false);
    skeleton.order.clear();
    for (size_t root = 0; root < count; ++root) {
        if (skeleton.parents[root] != -1) continue;
        const size_t first = skeleton.order.size();
        skeleton.order.push_back(int32_t(root));
        placed[root] = true;
        for (size_t k = first; k < skeleton.order.size(); ++k) {
            for (const int c : m.nodes[size_t(skeleton.order[k])].children) {
                if (c < 0 || size_t(c) >= count || placed[size_t(c)]) continue;
                placed[size_t(c)] = true;
                skeleton.order.push_back(c);
            }
        }
    }
    skeleton.world.assign(count, glm::mat4(1.0f));
    for (size_t i = 0; i < count; ++i) {
        if (m.nodes[i].skin == 0 && m.nodes[i].mesh >= 0) {
            skeleton.mesh_node = int32_t(i);
            break;
        }
    }
}

// The joints of the first skin, posed at rest.
void build_skeleton(const tinygltf::Model& m, Skeleton& skeleton) {
    const tinygltf::Skin& skin = m.skins[0];
    build_node_tree(m, skeleton);
    const size_t count = skin.joints.size();
    skeleton.joints.resize(count);
    skeleton.name = skin.name;
    std::printf("name of skeleton: %s\n", skeleton.name.c_str());
    // Without inverse bind matrices every one is the identity.
    const std::vector<float> inverse_binds =
        skin.inverseBindMatrices >= 0 ? read_floats(m, skin.inverseBindMatrices, 16) : std::vector<float>();
    for (size_t i = 0; i < count; ++i) {
        const int node = skin.joints[i];
        if (node < 0 || size_t(node) >= m.nodes.size()) continue;
        const tinygltf::Node& n = m.nodes[size_t(node)];
        Joint& j = skeleton.joints[i];
        j.name = n.name;
        j.node = node;
        if ((i + 1) * 16 <= inverse_binds.size()) {
            std::memcpy(glm::value_ptr(j.inverse_bind), inverse_binds.data() + i * 16, 64);
        }
        take_node_transform(n, j);
        j.rotation = glm::normalize(j.rotation);
        j.local_matrix = node_matrix(n);
        skeleton.node_map[node] = int32_t(i);
    }
    compute_joint_matrices(skeleton);
}

// The records of node animation: one per animation and node it targets.
void build_node_records(const tinygltf::Model& m, std::vector<NodeAnimation>& records) {
    for (size_t a = 0; a < m.animations.size(); ++a) {
        for (const tinygltf::AnimationChannel& c : m.animations[a].channels) {
            const int node = c.target_node;
            if (node < 0 || size_t(node) >= m.nodes.size()) continue;
            bool known = false;
            for (const NodeAnimation& r : records) known = known || (r.animation == int32_t(a) && r.node == node);
            if (known) continue;
            NodeAnimation& r = records.emplace_back();
            r.node = node;
            r.animation = int32_t(a);
            r.base_matrix = node_matrix(m.nodes[size_t(node)]);
            take_node_transform(m.nodes[size_t(node)], r);
        }
    }
}

// Writes the channel's value at clip time x into `target`'s translation,
// rotation or scale; a time outside the keys leaves it as it is.
template <typename Target>
void apply_channel(const Sampler& s, int32_t path, float x, Target& target) {
    if (path != translation_path && path != rotation_path && path != scale_path) return;
    if (s.width < (path == rotation_path ? 4 : 3)) return;
    float v[4] = {0, 0, 0, 0};
    if (!s.evaluate(x, path == rotation_path, v)) return;
    if (path == rotation_path) {
        target.rotation = quat_of({v[0], v[1], v[2], v[3]});
    } else {
        (path == translation_path ? target.translation : target.scale) = glm::vec3(v[0], v[1], v[2]);
    }
}

const Sampler* sampler_of(const ModelAnimation& animation, const Channel& c) {
    if (c.sampler < 0 || size_t(c.sampler) >= animation.samplers.size()) return nullptr;
    return &animation.samplers[size_t(c.sampler)];
}

}  // namespace

glm::mat4 compose(const glm::vec3& translation, const glm::quat& rotation, const glm::vec3& scale) {
    glm::mat4 m = glm::mat4_cast(rotation);
    m[0] *= scale.x;
    m[1] *= scale.y;
    m[2] *= scale.z;
    m[3] = glm::vec4(translation, 1.0f);
    return m;
}

glm::quat quat_of(const glm::vec4& v) { return glm::quat(v.w, v.x, v.y, v.z); }

glm::quat slerp_shortest(const glm::quat& a, const glm::quat& from_b, float d) {
    glm::quat b = from_b;
    float cos_angle = glm::dot(a, b);
    if (cos_angle < 0.0f) {
        b = -b;
        cos_angle = -cos_angle;
    }
    glm::quat q;
    if (cos_angle > 0.9999999f) {
        q = glm::quat(a.w + (b.w - a.w) * d, a.x + (b.x - a.x) * d, a.y + (b.y - a.y) * d,
                      a.z + (b.z - a.z) * d);
    } else {
        const float angle = std::acos(cos_angle);
        const float sin_angle = std::sin(angle);
        const float wa = std::sin((1.0f - d) * angle) / sin_angle;
        const float wb = std::sin(d * angle) / sin_angle;
        q = glm::quat(wa * a.w + wb * b.w, wa * a.x + wb * b.x, wa * a.y + wb * b.y, wa * a.z + wb * b.z);
    }
    const float length = glm::length(q);
    if (!(length > 0.0f)) return glm::quat(1.0f, 0.0f, 0.0f, 0.0f);
    return q / length;
}

bool Sampler::evaluate(float x, bool rotation, float* out) const {
    const size_t n = size_t(std::max(width, 0));
    const size_t per_key = interpolation == cubic_spline ? 3 : 1;
    const size_t keys = n == 0 ? 0 : std::min(times.size(), values.size() / (n * per_key));
    // The last interval holding x: on a shared key the later wins.
    size_t found = keys;
    for (size_t i = 0; i + 1 < keys; ++i) {
        if (times[i] <= x && x <= times[i + 1]) found = i;
    }
    if (found == keys) return false;
    const float t0 = times[found], t1 = times[found + 1];
    // Element e of key k: for a cubic spline 0 is the in-tangent, 1 the value, 2 the out-tangent.
    const auto at = [&](size_t k, size_t e) { return values.data() + (k * per_key + e) * n; };
    if (interpolation == step) {
        std::copy_n(at(found, 0), n, out);
        return true;
    }
    // A zero-length interval (x on both its keys) takes its later key.
    const float d = t1 > t0 ? (x - t0) / (t1 - t0) : 1.0f;
    if (interpolation == cubic_spline) {
        const float interval = t1 - t0, d2 = d * d, d3 = d2 * d;
        const float h00 = 2 * d3 - 3 * d2 + 1, h10 = d3 - 2 * d2 + d, h01 = -2 * d3 + 3 * d2, h11 = d3 - d2;
        const float *p0 = at(found, 1), *m0 = at(found, 2), *p1 = at(found + 1, 1), *m1 = at(found + 1, 0);
        for (size_t c = 0; c < n; ++c)
            out[c] = h00 * p0[c] + h10 * interval * m0[c] + h01 * p1[c] + h11 * interval * m1[c];
        if (rotation && n == 4) {
            const glm::quat q = quat_of({out[0], out[1], out[2], out[3]});
            const float length = glm::length(q);
            const glm::quat u = length > 0.0f ? q / length : glm::quat(1.0f, 0.0f, 0.0f, 0.0f);
            out[0] = u.x, out[1] = u.y, out[2] = u.z, out[3] = u.w;
        }
        return true;
    }
    const float *a = at(found, 0), *b = at(found + 1, 0);
    if (rotation && n == 4) {
        const glm::quat q = slerp_shortest(quat_of({a[0], a[1], a[2], a[3]}), quat_of({b[0], b[1], b[2], b[3]}), d);
        out[0] = q.x, out[1] = q.y, out[2] = q.z, out[3] = q.w;
        return true;
    }
    for (size_t c = 0; c < n; ++c) out[c] = a[c] * (1.0f - d) + b[c] * d;
    return true;
}

float clip_time(const ModelAnimation& animation, float s) {
    return (s - std::floor(s)) * (animation.end_time - animation.start_time) + animation.start_time;
}

void sample(ModelAnimation& animation, float s, Skeleton& skeleton) {
    const float x = clip_time(animation, s);
    animation.current_time = x;
    for (const Channel& c : animation.channels) {
        const Sampler* sampler = sampler_of(animation, c);
        const auto joint = skeleton.node_map.find(c.target_node);
        if (!sampler || joint == skeleton.node_map.end()) continue;
        apply_channel(*sampler, c.path, x, skeleton.joints[size_t(joint->second)]);
    }
}

void sample(ModelAnimation& animation, float s, NodeAnimation& record) {
    const float x = clip_time(animation, s);
    animation.current_time = x;
    for (const Channel& c : animation.channels) {
        const Sampler* sampler = sampler_of(animation, c);
        if (!sampler || c.target_node != record.node) continue;
        apply_channel(*sampler, c.path, x, record);
    }
}

void sample_weights(ModelAnimation& animation, float s, const tinygltf::Model& asset,
                    std::vector<std::vector<float>>& weights) {
    const float x = clip_time(animation, s);
    animation.current_time = x;
    std::vector<float> value;
    for (const Channel& c : animation.channels) {
        const Sampler* sampler = sampler_of(animation, c);
        if (!sampler || c.path != weights_path || c.target_node < 0 || size_t(c.target_node) >= asset.nodes.size())
            continue;
        const int mesh = asset.nodes[size_t(c.target_node)].mesh;
        if (mesh < 0 || size_t(mesh) >= weights.size()) continue;
        value.resize(size_t(std::max(sampler->width, 0)));
        if (!sampler->evaluate(x, false, value.data())) continue;
        std::vector<float>& w = weights[size_t(mesh)];
        std::copy_n(value.begin(), std::min(value.size(), w.size()), w.begin());
    }
}

std::vector<std::vector<float>> default_morph_weights(const tinygltf::Model& m) {
    std::vector<std::vector<float>> out(m.meshes.size());
    std::vector<bool> from_node(m.meshes.size(), false);
    for (const tinygltf::Node& n : m.nodes) {
        if (n.mesh < 0 || size_t(n.mesh) >= m.meshes.size() || n.weights.empty() || from_node[size_t(n.mesh)])
            continue;
        from_node[size_t(n.mesh)] = true;
        out[size_t(n.mesh)].assign(n.weights.begin(), n.weights.end());
    }
    for (size_t k = 0; k < m.meshes.size(); ++k) {
        const tinygltf::Mesh& mesh = m.meshes[k];
        if (!from_node[k]) out[k].assign(mesh.weights.begin(), mesh.weights.end());
        size_t targets = 0;
        for (const tinygltf::Primitive& p : mesh.primitives) targets = std::max(targets, p.targets.size());
        out[k].resize(targets, 0.0f);
    }
    return out;
}

glm::mat4 Joint::posed() const { return compose(translation, rotation, scale) * local_matrix; }

void compute_joint_matrices(Skeleton& skeleton) {
    std::vector<glm::mat4>& out = skeleton.joint_matrices;
    const size_t count = skeleton.joints.size();
    out.resize(count);
    if (!skeleton.enabled) {
        out.assign(count, glm::mat4(1.0f));
        return;
    }
    const size_t nodes = std::min(skeleton.parents.size(), skeleton.rest.size());
    std::vector<glm::mat4>& world = skeleton.world;
    world.resize(nodes);
    for (const int32_t n : skeleton.order) {
        if (n < 0 || size_t(n) >= nodes) continue;
        const auto joint = skeleton.node_map.find(n);
        const glm::mat4 local =
            joint != skeleton.node_map.end() ? skeleton.joints[size_t(joint->second)].posed() : skeleton.rest[size_t(n)];
        const int32_t parent = skeleton.parents[size_t(n)];
        world[size_t(n)] = parent >= 0 && size_t(parent) < nodes ? world[size_t(parent)] * local : local;
    }
    const auto world_of = [&](int32_t n) { return n >= 0 && size_t(n) < nodes ? world[size_t(n)] : glm::mat4(1.0f); };
    const glm::mat4 to_mesh = glm::inverse(world_of(skeleton.mesh_node));
    for (size_t i = 0; i < count; ++i) {
        const Joint& j = skeleton.joints[i];
        out[i] = to_mesh * world_of(j.node) * j.inverse_bind;
    }
}

void build_animations(Model& model) {
    const tinygltf::Model& m = model.gltf;
    model.animations = std::make_shared<Animations>();
    model.skeleton.reset();
    model.node_animations.clear();

    if (!m.skins.empty()) {
        model.skeleton = std::make_shared<Skeleton>();
        build_skeleton(m, *model.skeleton);
    } else {
        build_node_records(m, model.node_animations);
    }

    Animations& animations = *model.animations;
    for (const tinygltf::Animation& a : m.animations) {
        std::printf("name of animation: %s\n", a.name.c_str());
        auto animation = std::make_shared<ModelAnimation>(build_animation(m, a));
        animations.by_name[animation->name] = animation;
        animations.index[animation->name] = int32_t(animations.list.size());
        animations.list.push_back(std::move(animation));
    }
    model.has_animations = !animations.by_name.empty();
    model.animated_nodes.assign(m.nodes.size(), false);
    model.node_matrices.assign(m.nodes.size(), glm::mat4(1.0f));
    model.rest_morph_weights = default_morph_weights(m);
    model.morph_weights = model.rest_morph_weights;
}

void animate(Model& model, int32_t index, float s) {
    if (!model.animations) return;
    Animations& animations = *model.animations;
    const int64_t count = int64_t(animations.list.size());
    model.morph_weights = model.rest_morph_weights;

    if (model.skeleton && !model.skeleton->joints.empty()) {
        if (count == 0 || !model.skeleton->enabled) return;
        // A negative index counts back from the end, as modulo does.
        const int64_t h = ((int64_t(index) % count) + count) % count;
        animations.current = animations.list[size_t(h)];
        Skeleton& skeleton = *model.skeleton;
        sample(*animations.current, s, skeleton);
        sample_weights(*animations.current, s, model.gltf, model.morph_weights);
        compute_joint_matrices(skeleton);
        // Whatever hangs from a joint follows it.
        for (const Joint& j : skeleton.joints) {
            if (j.node < 0 || size_t(j.node) >= model.node_matrices.size()) continue;
            model.node_matrices[size_t(j.node)] = j.posed();
            model.animated_nodes[size_t(j.node)] = true;
        }
        return;
    }

    std::fill(model.animated_nodes.begin(), model.animated_nodes.end(), false);
    // Bits past the 31st never fit an index, so more animations widen nothing.
    const int64_t all = count >= 31 ? int64_t(INT32_MAX) : (int64_t(1) << count) - 1;
    if (index < 1 || index > all) return;
    for (int64_t a = 0; a < count && a < 31; ++a) {
        if ((index >> a) & 1) sample_weights(*animations.list[size_t(a)], s, model.gltf, model.morph_weights);
    }
    for (NodeAnimation& r : model.node_animations) {
        if (r.animation < 0 || r.animation >= 31 || ((index >> r.animation) & 1) == 0) continue;
        if (size_t(r.animation) >= animations.list.size()) continue;
        if (r.node < 0 || size_t(r.node) >= model.node_matrices.size()) continue;
        animations.current = animations.list[size_t(r.animation)];
        sample(*animations.current, s, r);
        model.node_matrices[size_t(r.node)] = compose(r.translation, r.rotation, r.scale) * r.base_matrix;
        model.animated_nodes[size_t(r.node)] = true;
    }
}

}  // namespace qh::Animation
