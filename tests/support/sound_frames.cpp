#include "support/sound_frames.h"

namespace qh::test {

std::vector<Frame> frames_of(std::string_view raw) {
    std::vector<Frame> frames(raw.size() / 4);
    for (size_t i = 0; i < frames.size(); ++i) {
        auto at = [&](size_t b) { return static_cast<uint8_t>(raw[4 * i + b]); };
        frames[i].left = static_cast<int16_t>(at(0) | (at(1) << 8));
        frames[i].right = static_cast<int16_t>(at(2) | (at(3) << 8));
    }
    return frames;
}

}  // namespace qh::test
