#pragma once
// The 16-bit stereo frames the mixer produces and SDL's disk audio driver
// writes, as the tests read them back.
#include <cstdint>
#include <string_view>
#include <vector>

namespace qh::test {

struct Frame {
    int16_t left = 0;
    int16_t right = 0;
    bool operator==(const Frame&) const = default;
};
inline bool silent(Frame f) { return f == Frame{}; }

// Little-endian left/right pairs; a trailing partial frame is dropped.
std::vector<Frame> frames_of(std::string_view raw);

}  // namespace qh::test
