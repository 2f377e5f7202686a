#include "package/binary_stream.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "package/errors.h"
#include "package/keystream.h"
#include "package/lz_codec.h"

namespace qh {

namespace {

// All texts of one payload together may not decode to more than this many
// bytes beyond 64 times the payload's size.
constexpr uint64_t decoded_budget_floor = 256ull << 20;

template <class T>
T load_le(const uint8_t* p) {
    T v;
    std::memcpy(&v, p, sizeof v);  // the format and every supported host are little-endian
    return v;
}

template <class T>
void store_le(std::vector<uint8_t>& out, T v) {
    uint8_t b[sizeof v];
    std::memcpy(b, &v, sizeof v);
    out.insert(out.end(), b, b + sizeof v);
}

}  // namespace

uint64_t packed_string_limit(uint64_t stored_length) {
    return 4096 + 1024 * stored_length;
}

BinaryReader::BinaryReader(std::span<const uint8_t> bytes) : bytes_(bytes) {}

void BinaryReader::fail(const std::string& message) const {
    throw FormatError(message, pos_);
}

const uint8_t* BinaryReader::take(size_t n, const char* what) {
    if (n > remaining()) {
        fail(std::string("truncated payload: ") + what + " needs " + std::to_string(n) +
             " bytes, " + std::to_string(remaining()) + " remain");
    }
    const uint8_t* p = bytes_.data() + pos_;
    pos_ += n;
    return p;
}

bool BinaryReader::read_bool(const char* what) { return *take(1, what) != 0; }
uint8_t BinaryReader::read_u8(const char* what) { return *take(1, what); }
int32_t BinaryReader::read_i32(const char* what) { return load_le<int32_t>(take(4, what)); }
uint32_t BinaryReader::read_u32(const char* what) { return load_le<uint32_t>(take(4, what)); }
uint64_t BinaryReader::read_u64(const char* what) { return load_le<uint64_t>(take(8, what)); }
float BinaryReader::read_f32(const char* what) { return load_le<float>(take(4, what)); }

glm::vec3 BinaryReader::read_vec3(const char* what) {
    const uint8_t* p = take(12, what);
    return {load_le<float>(p), load_le<float>(p + 4), load_le<float>(p + 8)};
}

uint64_t BinaryReader::read_count(const char* what, size_t min_element_size) {
    const size_t at = pos_;
    const uint64_t n = read_u64(what);
    const uint64_t unit = min_element_size == 0 ? 1 : min_element_size;
    if (n > remaining() / unit) {
        throw FormatError(std::string(what) + ": count " + std::to_string(n) +
                              " cannot fit in the " + std::to_string(remaining()) +
                              " bytes that remain",
                          at);
    }
    return n;
}

std::string BinaryReader::read_packed_string(const char* what) {
    const size_t at = pos_;
    const uint64_t length = read_u64(what);
    if (length > remaining()) {
        throw FormatError(std::string("truncated payload: ") + what + " announces " +
                              std::to_string(length) + " stored bytes, " +
                              std::to_string(remaining()) + " remain",
                          at);
    }
    const uint8_t* p = take(length, what);
    std::vector<uint8_t> stored(p, p + length);
    scramble(stored.data(), stored.size());

    DecoderState state;
    // As much as the tokens describe, which is every byte of a written text,
    // or the small allowance for a stream that stops early; never past the ceiling.
    state.max_output = std::min(max_packed_text, std::max(packed_string_limit(length),
                                                          lz_described_size(stored.data(), length)));
    const uint64_t budget = decoded_budget_floor + 64 * static_cast<uint64_t>(bytes_.size());
    if (budget > decoded_total_) {
        state.max_output = std::min<uint64_t>(state.max_output, budget - decoded_total_);
    } else {
        state.max_output = 1;  // nothing left (0 would mean no limit): one byte at most
    }
    try {
        lz_decompress(state, stored.data(), stored.size());
    } catch (const std::length_error& e) {
        throw FormatError(std::string(what) + ": " + e.what(), at);
    } catch (const std::runtime_error& e) {
        throw FormatError(std::string(what) + ": " + e.what(), at);
    }
    decoded_total_ += state.output.size();
    // A stream that stops early leaves a zero-filled tail of the announced size.
    return std::string(state.output.begin(), state.output.end());
}

std::vector<uint8_t> BinaryReader::read_scrambled_bytes(const char* what) {
    const size_t at = pos_;
    const uint64_t length = read_u64(what);
    if (length > remaining()) {
        throw FormatError(std::string("truncated payload: ") + what + " announces " +
                              std::to_string(length) + " bytes, " + std::to_string(remaining()) +
                              " remain",
                          at);
    }
    const uint8_t* p = take(length, what);
    std::vector<uint8_t> out(p, p + length);
    scramble(out.data(), out.size());
    return out;
}

void BinaryWriter::write_bool(bool v) { out_.push_back(v ? 1 : 0); }
void BinaryWriter::write_u8(uint8_t v) { out_.push_back(v); }
void BinaryWriter::write_i32(int32_t v) { store_le(out_, v); }
void BinaryWriter::write_u32(uint32_t v) { store_le(out_, v); }
void BinaryWriter::write_u64(uint64_t v) { store_le(out_, v); }
void BinaryWriter::write_f32(float v) { store_le(out_, v); }

void BinaryWriter::write_vec3(const glm::vec3& v) {
    write_f32(v.x);
    write_f32(v.y);
    write_f32(v.z);
}

void BinaryWriter::write_raw(const uint8_t* data, size_t length) {
    out_.insert(out_.end(), data, data + length);
}

void BinaryWriter::write_packed_string(std::string_view text) {
    std::vector<uint8_t> packed = lz_compress(text);
    scramble(packed.data(), packed.size());
    write_u64(packed.size());
    write_raw(packed.data(), packed.size());
}

void BinaryWriter::write_scrambled_bytes(const uint8_t* data, size_t length) {
    write_u64(length);
    const size_t start = out_.size();
    write_raw(data, length);
    scramble(out_.data() + start, length);
}

void BinaryWriter::assign_id(const void* record, ResourceId id) { ids_[record] = id; }

ResourceId BinaryWriter::id_of(const void* record) const {
    if (!record) return 0;
    auto it = ids_.find(record);
    return it == ids_.end() ? 0 : it->second;
}

}  // namespace qh
