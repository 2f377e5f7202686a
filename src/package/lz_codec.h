#pragma once
// The string codec used for every stored text.
//
//   std::vector<uint8_t> packed = lz_compress(text);
//   DecoderState st;  st.max_output = limit;       // 0 = no limit
//   lz_decompress(st, packed.data(), packed.size()); // st.output holds the text
//
// The decoder is resumable: feed it chunks and it returns how far it got.
// Malformed input raises std::runtime_error("Malformed data while
// uncompressing"); a header above `max_output` raises std::length_error
// ("Uncompressed data in message deemed too large").
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace qh {

std::vector<uint8_t> lz_compress(std::string_view text);

enum class LzStatus { not_started, incomplete, complete };

struct DecoderState {
    uint64_t max_output = 0;  // 0 = no limit
    std::vector<uint8_t> output;
    uint64_t cursor = 0;
    uint64_t token = 0;         // pending token value (literal count or match token)
    uint64_t match_length = 0;  // from the second varint of a long match
    uint64_t varint_value = 0;
    unsigned varint_shift = 0;
    int state = 0;  // 0 header, 1 token, 2 literal, 3 match
};

// Decodes `length` bytes of `input` into `state`. Input after the end of the
// message is appended to `trailing` when given.
LzStatus lz_decompress(DecoderState& state, const uint8_t* input, size_t length,
                       std::vector<uint8_t>* trailing = nullptr);

// How many bytes a decode of the message in `input` would produce before it
// stops, found without writing anything: the literal bytes present plus the
// match lengths, up to the first token the decoder would refuse, the end of
// the input or the announced size (0 when the header is incomplete). A reader
// bounds the announced size by this before allocating it; the writer's own
// output always describes exactly its announced size.
uint64_t lz_described_size(const uint8_t* input, size_t length);

// Minimal unsigned LEB128; exposed for the tests and the benchmark.
void append_varint(std::vector<uint8_t>& out, uint64_t value);

}  // namespace qh
