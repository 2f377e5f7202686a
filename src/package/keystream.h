#pragma once
// The keystream that scrambles every stored string and byte buffer. It
// restarts from `keystream_seed` for every item, so scramble(scramble(x)) == x.
#include <cstddef>
#include <cstdint>

namespace qh {

// Fixed, odd, three digits; writer and reader must agree on it.
inline constexpr int32_t keystream_seed = 757;

void scramble(uint8_t* bytes, size_t length);

}  // namespace qh
