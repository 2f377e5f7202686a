#include "scene3d/gltf_accessor.h"

#include <cstring>

#include <tiny_gltf.h>

namespace qh {

namespace {

bool fail(std::string* problem, const std::string& why) {
    if (problem) *problem = why;
    return false;
}

// The view `index` of a buffer, as a byte range inside that buffer; false when
// either lies outside its table or its buffer.
bool view_range(const tinygltf::Model& m, int index, const uint8_t*& data, uint64_t& size) {
    if (index < 0 || size_t(index) >= m.bufferViews.size()) return false;
    const tinygltf::BufferView& v = m.bufferViews[size_t(index)];
    if (v.buffer < 0 || size_t(v.buffer) >= m.buffers.size()) return false;
    const std::vector<unsigned char>& b = m.buffers[size_t(v.buffer)].data;
    if (v.byteOffset > b.size() || v.byteLength > b.size() - v.byteOffset) return false;
    data = b.data() + v.byteOffset;
    size = v.byteLength;
    return true;
}

// `count` elements of `element` bytes, `stride` apart from `offset`, inside `size`.
bool fits(uint64_t offset, uint64_t count, uint64_t stride, uint64_t element, uint64_t size) {
    if (count == 0) return offset <= size;
    if (offset > size || element > size - offset) return false;
    return (count - 1) <= (size - offset - element) / stride;
}

uint32_t unsigned_at(const uint8_t* p, int size) {
    uint32_t value = 0;
    for (int b = size - 1; b >= 0; --b) value = (value << 8) | p[b];  // little-endian
    return value;
}

bool is_unsigned_index_type(int t) {
    return t == TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE || t == TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT ||
           t == TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT;
}

bool apply_sparse(const tinygltf::Model& m, const tinygltf::Accessor& a, uint64_t element,
                  std::vector<uint8_t>& out, std::string* problem) {
    const auto& s = a.sparse;
    if (s.count < 0 || uint64_t(s.count) > a.count) return fail(problem, "its sparse count is out of range");
    const uint64_t count = uint64_t(s.count);
    const int index_size = tinygltf::GetComponentSizeInBytes(uint32_t(s.indices.componentType));
    if (!is_unsigned_index_type(s.indices.componentType)) {
        return fail(problem, "its sparse indices are not unsigned integers");
    }
    const uint8_t* indices = nullptr;
    const uint8_t* values = nullptr;
    uint64_t indices_size = 0, values_size = 0;
    if (!view_range(m, s.indices.bufferView, indices, indices_size) ||
        !view_range(m, s.values.bufferView, values, values_size) || s.indices.byteOffset < 0 ||
        s.values.byteOffset < 0 ||
        !fits(uint64_t(s.indices.byteOffset), count, uint64_t(index_size), uint64_t(index_size), indices_size) ||
        !fits(uint64_t(s.values.byteOffset), count, element, element, values_size)) {
        return fail(problem, "its sparse data lies outside its buffer view");
    }
    indices += s.indices.byteOffset;
    values += s.values.byteOffset;
    for (uint64_t i = 0; i < count; ++i) {
        const uint32_t at = unsigned_at(indices + i * uint64_t(index_size), index_size);
        if (at >= a.count) {
            return fail(problem, "its sparse index " + std::to_string(at) + " is past its " +
                                     std::to_string(a.count) + " elements");
        }
        std::memcpy(out.data() + uint64_t(at) * element, values + i * element, size_t(element));
    }
    return true;
}

}  // namespace

uint64_t element_size(const tinygltf::Accessor& a) {
    const int component = tinygltf::GetComponentSizeInBytes(uint32_t(a.componentType));
    const int components = tinygltf::GetNumComponentsInType(uint32_t(a.type));
    return component > 0 && components > 0 ? uint64_t(component) * uint64_t(components) : 0;
}

bool needs_copy(const tinygltf::Accessor& a) { return a.sparse.isSparse || a.bufferView < 0; }

bool accessor_bytes(const tinygltf::Model& m, int index, std::vector<uint8_t>& out, std::string* problem) {
    out.clear();
    if (index < 0 || size_t(index) >= m.accessors.size()) return fail(problem, "there is no such accessor");
    const tinygltf::Accessor& a = m.accessors[size_t(index)];
    const uint64_t element = element_size(a);
    if (element == 0) return fail(problem, "its type is unknown");
    const uint8_t* data = nullptr;
    uint64_t size = 0, stride = element;
    if (a.bufferView >= 0) {
        if (!view_range(m, a.bufferView, data, size)) return fail(problem, "its buffer view lies outside its buffer");
        const uint64_t view_stride = uint64_t(m.bufferViews[size_t(a.bufferView)].byteStride);
        if (view_stride) stride = view_stride;
        if (!fits(uint64_t(a.byteOffset), a.count, stride, element, size)) {
            return fail(problem, "its elements lie outside its buffer view");
        }
    } else if (!a.sparse.isSparse) {
        return fail(problem, "it has no buffer view");
    }
    // Bounded by the buffers: a count that fits a view (or a sparse count
    // that must fit one) cannot ask for more than the asset holds, except a
    // view-less sparse accessor, whose zeros are bounded here.
    constexpr uint64_t max_zeros = uint64_t(1) << 30;
    if (!data && a.count > max_zeros / element) return fail(problem, "it asks for too many elements");
    out.assign(size_t(a.count * element), 0);
    if (data) {
        const uint8_t* from = data + a.byteOffset;
        if (stride == element) {
            if (!out.empty()) std::memcpy(out.data(), from, out.size());
        } else {
            for (uint64_t i = 0; i < a.count; ++i) {
                std::memcpy(out.data() + i * element, from + i * stride, size_t(element));
            }
        }
    }
    if (a.sparse.isSparse && !apply_sparse(m, a, element, out, problem)) {
        out.clear();
        return false;
    }
    return true;
}

std::vector<float> read_floats(const tinygltf::Model& m, int index, size_t components) {
    if (index < 0 || size_t(index) >= m.accessors.size()) return {};
    const tinygltf::Accessor& a = m.accessors[size_t(index)];
    if (a.componentType != TINYGLTF_COMPONENT_TYPE_FLOAT ||
        size_t(tinygltf::GetNumComponentsInType(uint32_t(a.type))) != components) {
        return {};
    }
    std::vector<uint8_t> bytes;
    if (!accessor_bytes(m, index, bytes)) return {};
    std::vector<float> out(bytes.size() / sizeof(float));
    if (!out.empty()) std::memcpy(out.data(), bytes.data(), out.size() * sizeof(float));
    return out;
}

bool read_unsigned(const tinygltf::Model& m, int index, std::vector<uint32_t>& out, std::string* problem) {
    out.clear();
    if (index < 0 || size_t(index) >= m.accessors.size()) return fail(problem, "there is no such accessor");
    const tinygltf::Accessor& a = m.accessors[size_t(index)];
    if (a.type != TINYGLTF_TYPE_SCALAR || !is_unsigned_index_type(a.componentType)) {
        return fail(problem, "they are not unsigned scalars");
    }
    std::vector<uint8_t> bytes;
    if (!accessor_bytes(m, index, bytes, problem)) return false;
    const int size = tinygltf::GetComponentSizeInBytes(uint32_t(a.componentType));
    out.resize(bytes.size() / size_t(size));
    for (size_t i = 0; i < out.size(); ++i) out[i] = unsigned_at(bytes.data() + i * size_t(size), size);
    return true;
}

}  // namespace qh
