// Arbitrary bytes as the GLB of a model record, imported as the player
// imports it, short of the GL calls: Model::read_binary (the container and
// JSON checks, the glTF library, the asset checks, the image headers), then
// import_model (the checks again, every image decoded by the image library
// within its limits, the draw layout), the plan of one draw in both passes,
// and the animations: built, then posed at several indices and positions,
// the draw planned again with the animated nodes.
//
// Besides crashes, leaks and over-allocation, a finding is:
// - a decoded image whose pixels are not width x height x 4 readable bytes;
// - a drawable primitive whose draw call would read indices or vertices past
//   the end of a glTF buffer (the range GL would be handed), or with a mode,
//   component count or buffer index GL would refuse;
// - a plan that names visits or meshes that do not exist;
// - joint matrices or node matrices that are not one per joint or node.
// Run it from a scratch directory: URIs resolve under ./resources.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <tiny_gltf.h>

#include "package/binary_stream.h"
#include "scene3d/animation.h"
#include "scene3d/model.h"
#include "scene3d/model_import.h"
#include "scene3d/model_layout.h"

namespace {

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "fuzz_gltf_import: %s\n", what);
    std::abort();
}

void check(bool ok, const char* what) {
    if (!ok) fail(what);
}

uint64_t component_size(uint32_t type) {
    const int s = tinygltf::GetComponentSizeInBytes(type);
    check(s > 0, "a component type GL does not know");
    return uint64_t(s);
}

// The highest vertex a primitive's draw call reaches, +1.
uint64_t vertices_read(const qh::PrimitiveLayout& p, const tinygltf::Model& m) {
    if (p.element_buffer < 0) return uint64_t(p.count);
    const std::vector<unsigned char>& data = m.buffers[size_t(p.element_buffer)].data;
    const uint64_t size = component_size(p.index_type);
    check(p.index_offset <= data.size() && uint64_t(p.count) * size <= data.size() - p.index_offset,
          "indices read past their buffer");
    uint64_t highest = 0;
    for (int32_t i = 0; i < p.count; ++i) {
        uint64_t v = 0;
        for (uint64_t b = size; b-- > 0;) v = v << 8 | data[p.index_offset + uint64_t(i) * size + b];
        highest = std::max(highest, v + 1);
    }
    return highest;
}

void check_layout(const qh::ModelLayout& layout, const tinygltf::Model& m) {
    for (const qh::PrimitiveLayout& p : layout.primitives) {
        if (!p.drawable) continue;
        check(p.mode <= 6 && p.count >= 0, "a draw GL would refuse");
        check(p.element_buffer < int32_t(m.buffers.size()), "an element buffer that does not exist");
        const uint64_t vertices = vertices_read(p, m);
        for (const qh::VertexAttribute& a : p.attributes) {
            check(a.components >= 2 && a.components <= 4 && a.location <= 4, "an attribute GL would refuse");
            check(a.buffer >= 0 && size_t(a.buffer) < m.buffers.size(), "a vertex buffer that does not exist");
            if (vertices == 0) continue;
            const uint64_t element = uint64_t(a.components) * component_size(a.component_type);
            const uint64_t stride = a.stride ? uint64_t(a.stride) : element;
            const uint64_t size = m.buffers[size_t(a.buffer)].data.size();
            check(a.offset <= size && element <= size - a.offset &&
                      (vertices - 1) <= (size - a.offset - element) / stride,
                  "vertices read past their buffer");
        }
    }
    for (const qh::NodeVisit& v : layout.visits) {
        check(v.node >= 0 && size_t(v.node) < layout.nodes.size(), "a visit of no node");
        const int32_t mesh = layout.nodes[size_t(v.node)].mesh;
        check(mesh < int32_t(layout.mesh_ranges.size()), "a node with no such mesh");
    }
    qh::DrawList list;
    for (bool shadow : {true, false}) {
        qh::plan_draw(layout, {}, {}, shadow, list);
        for (int32_t v : list.order) {
            check(v >= 0 && size_t(v) < layout.visits.size(), "a plan of no visit");
            const qh::MeshRange& r = layout.mesh_ranges[size_t(layout.nodes[size_t(layout.visits[size_t(v)].node)].mesh)];
            check(r.first >= 0 && size_t(r.first) + size_t(r.count) <= layout.primitives.size(),
                  "a mesh of no primitives");
        }
    }
}

void check_animations(qh::Model& model, const qh::ModelLayout& layout) {
    qh::Animation::build_animations(model);
    const size_t nodes = model.gltf.nodes.size();
    check(model.animated_nodes.size() == nodes && model.node_matrices.size() == nodes,
          "per-node animation state not one per node");
    qh::DrawList list;
    for (const int32_t index : {0, 1, 2, 3, -1, 1 << 30}) {
        for (const float s : {0.0f, 0.37f, 1.0f, -2.5f}) {
            qh::Animation::animate(model, index, s);
            if (model.skeleton) {
                check(model.skeleton->joint_matrices.size() == model.skeleton->joints.size(),
                      "joint matrices not one per joint");
            }
            const qh::NodePose pose{model.animated_nodes, model.node_matrices};
            qh::plan_draw(layout, {}, {}, false, list, &pose);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qh::BinaryWriter record;
    record.write_packed_string("fuzz.glb");
    record.write_scrambled_bytes(data, size);
    const std::vector<uint8_t> bytes = record.take_bytes();

    qh::Model model;
    qh::BinaryReader in(bytes);
    model.read_binary(in);  // never throws for what the bytes hold

    volatile uint8_t sink = 0;
    const qh::ModelImport import = qh::import_model(model, [&](size_t, const qh::DecodedImage& image) {
        if (!image.pixels) return;
        check(image.width > 0 && image.height > 0, "a decoded image of no size");
        const size_t bytes = size_t(image.width) * size_t(image.height) * 4;
        sink = sink + image.pixels[0] + image.pixels[bytes - 1];
    });
    check(import.usable == model.parsed, "an asset that parsed but does not import");
    if (!import.usable) return 0;
    check_layout(import.layout, model.gltf);
    check_animations(model, import.layout);
    return 0;
}
