#include "package/keystream.h"

namespace qh {

void scramble(uint8_t* bytes, size_t length) {
    int32_t s = keystream_seed;
    for (size_t i = 0; i < length; ++i) {
        // A Collatz walk from the seed; it never grows past a few hundred
        // thousand before reaching 1, where it restarts.
        s = (s & 1) ? 3 * s + 1 : s / 2;
        if (s == 1) s = keystream_seed;
        bytes[i] ^= static_cast<uint8_t>(s & 0xFF);
    }
}

}  // namespace qh
