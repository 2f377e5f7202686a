#pragma once
// Reading a glTF accessor's values the way the asset means them: through its
// view's stride, and with the substitutions of a sparse accessor applied (a
// sparse accessor without a view starts from zeros). Every read is checked
// against the buffers; nothing outside them is ever touched. No GL here.
//
//   std::vector<uint8_t> bytes;
//   if (!accessor_bytes(asset, index, bytes, &problem)) ...   // problem says why
//   // bytes: count elements, tightly packed, each element_size(accessor) bytes
//
//   std::vector<float> f = read_floats(asset, index, 16);   // MAT4 floats
//
// Whoever draws a primitive straight from a glTF buffer asks `needs_copy`
// first: a sparse accessor (or one without a view) has no such bytes, so its
// values are uploaded from `accessor_bytes` instead.
#include <cstdint>
#include <string>
#include <vector>

namespace tinygltf {
class Model;
struct Accessor;
}  // namespace tinygltf

namespace qh {

// Bytes of one element: components x component size; 0 for an unknown type.
uint64_t element_size(const tinygltf::Accessor& a);

// True when the accessor's values do not lie as they are in one buffer view.
bool needs_copy(const tinygltf::Accessor& a);

bool accessor_bytes(const tinygltf::Model& m, int index, std::vector<uint8_t>& out,
                    std::string* problem = nullptr);

// `components` floats per element of a FLOAT accessor whose type has that many
// components; empty when it is anything else or cannot be read.
std::vector<float> read_floats(const tinygltf::Model& m, int index, size_t components);

// The values of a scalar accessor of unsigned integers (indices); empty with
// `problem` set when it is anything else or cannot be read.
bool read_unsigned(const tinygltf::Model& m, int index, std::vector<uint32_t>& out,
                   std::string* problem = nullptr);

}  // namespace qh
