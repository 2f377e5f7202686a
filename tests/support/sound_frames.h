#pragma once
// The 16-bit stereo frames the mixer produces and SDL's disk audio driver
// writes, as the tests read them back.
#include <cstddef>
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

enum class Channel { left, right };

struct Tone {
    double hz = 0;
    double amplitude = 0;
};

// `seconds` of a cosine on each channel (a zero amplitude is silence) at
// `rate` frames a second: the first frame is each tone's peak.
std::vector<Frame> tones(double seconds, int rate, Tone left, Tone right);

// The amplitude of a `hz` tone on one channel over `count` frames from
// `from` at `rate` frames a second: exact for a steady tone that fills a
// whole number of its cycles, and 0 there for any other such tone.
double tone_level(const std::vector<Frame>& frames, size_t from, size_t count, double hz, int rate,
                  Channel channel);

}  // namespace qh::test
