// Arbitrary bytes against the readers of stored strings and byte buffers, and
// against the string decoder on its own.
//
// Input layout: byte 0 steers the run, the rest is the data.
//   - BinaryReader over the data: bit i of byte 0 picks, for the i-th item
//     (mod 8), a packed string (0) or a scrambled byte buffer (1). Only
//     FormatError may escape a read.
//   - lz_decompress over the data with a maximum output, once in one call and
//     once split in two chunks at a point chosen by byte 0: both must agree.
//   - lz_compress of the data as a text must decode back to it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "package/binary_stream.h"
#include "package/errors.h"
#include "package/lz_codec.h"

namespace {

constexpr uint64_t max_output = 1 << 16;

void check(bool ok) {
    if (!ok) std::abort();
}

void read_items(uint8_t steer, std::span<const uint8_t> data) {
    qh::BinaryReader r(data);
    try {
        for (unsigned i = 0; r.remaining() > 0; ++i) {
            const size_t before = r.offset();
            if (steer & (1u << (i % 8))) {
                const std::vector<uint8_t> bytes = r.read_scrambled_bytes("bytes");
                check(r.offset() - before == 8 + bytes.size());
            } else {
                r.read_packed_string("text");
                check(r.offset() >= before + 8);
            }
        }
    } catch (const qh::FormatError& e) {
        check(e.offset() <= data.size());
    }
}

// The outcome of decoding: status, output and trailing data, or the error.
struct Outcome {
    int error = 0;  // 1 length error, 2 malformed
    qh::LzStatus status = qh::LzStatus::not_started;
    std::vector<uint8_t> output, trailing;

    bool operator==(const Outcome&) const = default;
};

Outcome decode(std::span<const uint8_t> data, size_t split) {
    Outcome o;
    qh::DecoderState st;
    st.max_output = max_output;
    try {
        o.status = lz_decompress(st, data.data(), split, &o.trailing);
        // After a complete message the decoder would start a new one; the
        // rest only continues an unfinished message.
        if (o.status != qh::LzStatus::complete)
            o.status = lz_decompress(st, data.data() + split, data.size() - split, &o.trailing);
        else
            o.trailing.insert(o.trailing.end(), data.begin() + split, data.end());
    } catch (const std::length_error&) {
        Outcome failed;
        failed.error = 1;
        return failed;
    } catch (const std::runtime_error&) {
        Outcome failed;
        failed.error = 2;
        return failed;
    }
    check(st.output.size() <= max_output);
    o.output = std::move(st.output);
    return o;
}

void decode_raw(uint8_t steer, std::span<const uint8_t> data) {
    const Outcome whole = decode(data, data.size());
    const Outcome split = decode(data, data.size() * steer / 256);
    check(whole == split);
}

void round_trip(std::span<const uint8_t> data) {
    const std::string_view text(reinterpret_cast<const char*>(data.data()), data.size());
    const std::vector<uint8_t> packed = qh::lz_compress(text);
    qh::DecoderState st;
    check(lz_decompress(st, packed.data(), packed.size()) == qh::LzStatus::complete);
    check(std::string_view(reinterpret_cast<const char*>(st.output.data()), st.output.size()) == text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t size) {
    if (size == 0) return 0;
    const uint8_t steer = input[0];
    const std::span<const uint8_t> data(input + 1, size - 1);
    read_items(steer, data);
    decode_raw(steer, data);
    round_trip(data);
    return 0;
}
