#pragma once
// Bounded reading and writing of the package's binary form.
//
//   BinaryReader r(payload);                 // a span over bytes held in memory
//   float bpm = r.read_f32("Demo bpm");      // the label names what is read
//   std::string s = r.read_packed_string("Event name");
//
// Every read checks the bytes that remain before touching or allocating
// anything; a failure throws FormatError naming what was read and where.
//
//   BinaryWriter w;
//   w.assign_id(&record, 1);                 // identities, before any reference
//   w.write_ref(&record);                    // 0 for a null link
//   w.write_packed_string("text");
//   w.bytes();                               // the result
//
// All values are little-endian with no padding; counts, lengths and
// identities are 64-bit; a packed string is compressed then scrambled, a byte
// buffer only scrambled.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <glm/vec3.hpp>

namespace qh {

using ResourceId = uint64_t;

class BinaryReader {
public:
    explicit BinaryReader(std::span<const uint8_t> bytes);

    bool read_bool(const char* what);
    uint8_t read_u8(const char* what);
    int32_t read_i32(const char* what);
    uint32_t read_u32(const char* what);
    uint64_t read_u64(const char* what);
    float read_f32(const char* what);
    glm::vec3 read_vec3(const char* what);
    ResourceId read_id(const char* what) { return read_u64(what); }

    // A count of list elements that each take at least `min_element_size`
    // bytes; a count the remaining bytes cannot hold is rejected here, before
    // anything is allocated for it.
    uint64_t read_count(const char* what, size_t min_element_size = 1);

    std::string read_packed_string(const char* what);
    std::vector<uint8_t> read_scrambled_bytes(const char* what);

    size_t offset() const { return pos_; }
    size_t remaining() const { return bytes_.size() - pos_; }
    [[noreturn]] void fail(const std::string& message) const;

private:
    const uint8_t* take(size_t n, const char* what);

    std::span<const uint8_t> bytes_;
    size_t pos_ = 0;
    uint64_t decoded_total_ = 0;  // text bytes decoded so far, against the budget
};

class BinaryWriter {
public:
    void write_bool(bool v);
    void write_u8(uint8_t v);
    void write_i32(int32_t v);
    void write_u32(uint32_t v);
    void write_u64(uint64_t v);
    void write_f32(float v);
    void write_vec3(const glm::vec3& v);
    void write_packed_string(std::string_view text);
    void write_scrambled_bytes(const uint8_t* data, size_t length);
    void write_raw(const uint8_t* data, size_t length);

    // Identities of the records being written. A reference to a record that
    // was given no identity (or a null one) is written as 0.
    void assign_id(const void* record, ResourceId id);
    ResourceId id_of(const void* record) const;
    void write_ref(const void* record) { write_u64(id_of(record)); }

    const std::vector<uint8_t>& bytes() const { return out_; }
    std::vector<uint8_t> take_bytes() { return std::move(out_); }

private:
    std::vector<uint8_t> out_;
    std::unordered_map<const void*, ResourceId> ids_;
};

// The largest text a packed string of `stored_length` bytes may announce
// beyond what its tokens describe (a stream that stops early reads as zeros up
// to the announced size). A header alone could otherwise ask for gigabytes.
// A text its tokens describe whole may be longer, up to `max_packed_text`: one
// long match can describe any length in a few bytes (its length is a varint),
// so no ratio to the stored size bounds what the writer produces.
uint64_t packed_string_limit(uint64_t stored_length);

// No stored text reads as more than this, however it is described; the packer
// reads its payload back, so it refuses a project holding a longer one.
inline constexpr uint64_t max_packed_text = 64ull << 20;

}  // namespace qh
