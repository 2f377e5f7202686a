#include "support/sound_frames.h"

#include <cmath>

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

std::vector<Frame> tones(double seconds, int rate, Tone left, Tone right) {
    constexpr double pi = 3.14159265358979323846;
    std::vector<Frame> frames(static_cast<size_t>(seconds * rate));
    for (size_t i = 0; i < frames.size(); ++i) {
        const double t = static_cast<double>(i) / rate;
        frames[i].left = static_cast<int16_t>(std::lround(left.amplitude * std::cos(2 * pi * left.hz * t)));
        frames[i].right = static_cast<int16_t>(std::lround(right.amplitude * std::cos(2 * pi * right.hz * t)));
    }
    return frames;
}

double tone_level(const std::vector<Frame>& frames, size_t from, size_t count, double hz, int rate,
                  Channel channel) {
    constexpr double pi = 3.14159265358979323846;
    double c = 0, s = 0;
    for (size_t i = 0; i < count; ++i) {
        const double phase = 2 * pi * hz * static_cast<double>(i) / rate;
        const Frame f = frames[from + i];
        const double v = channel == Channel::left ? f.left : f.right;
        c += v * std::cos(phase);
        s += v * std::sin(phase);
    }
    return 2 * std::hypot(c, s) / static_cast<double>(count);
}

}  // namespace qh::test
