// Makes the showcase's music and its two one-shot samples from nothing but
// code:   make_showcase_music MUSIC.wav HIT.wav BLIP.wav
//
// The music is 64 seconds at 120 beats per minute (128 beats) in A minor,
// 16-bit stereo at 44100 Hz, and follows the demo's sections:
//   beats   0-16  pad chords (Am F C G, a bar each)
//          16-32  + kick on every beat, closed hats between
//          32-64  + bass in eighths, snare on 2 and 4, an arpeggio
//          64-96  everything, the arpeggio an octave up
//          96-112 stabs on the off-beats over kick and bass
//         112-128 the pad alone, fading out; silence after
// The hit is a one-second noise crash, the blip a short bright tone.
// Everything is deterministic: the same files every run. The repository
// keeps the music encoded (examples/showcase/generate/regenerate.sh).
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <vector>

namespace {

constexpr int rate = 44100;
constexpr double bpm = 120.0;
constexpr double beat_seconds = 60.0 / bpm;
constexpr int beats = 128;
constexpr double pi = 3.14159265358979323846;

struct Stereo {
    std::vector<float> left, right;
    explicit Stereo(size_t frames) : left(frames, 0.0f), right(frames, 0.0f) {}
    size_t frames() const { return left.size(); }
    void add(size_t i, double value, double pan = 0.0) {  // pan -1 left .. 1 right
        if (i >= left.size()) return;
        left[i] += float(value * std::sqrt(0.5 * (1.0 - pan)));
        right[i] += float(value * std::sqrt(0.5 * (1.0 + pan)));
    }
};

// A fixed sequence, so every run writes the same bytes.
struct Noise {
    uint32_t state = 0x2545F491u;
    double next() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return double(state) / 2147483648.0 - 1.0;
    }
};

double note_hz(int midi) { return 440.0 * std::pow(2.0, (midi - 69) / 12.0); }
size_t at_beat(double beat) { return size_t(beat * beat_seconds * rate); }

void kick(Stereo& out, double beat, double gain) {
    const size_t start = at_beat(beat);
    double phase = 0;
    for (size_t i = 0; i < size_t(0.35 * rate); ++i) {
        const double t = double(i) / rate;
        phase += 2 * pi * (45.0 + 110.0 * std::exp(-t * 30.0)) / rate;
        out.add(start + i, gain * std::sin(phase) * std::exp(-t * 9.0));
    }
}

void snare(Stereo& out, Noise& noise, double beat, double gain) {
    const size_t start = at_beat(beat);
    for (size_t i = 0; i < size_t(0.25 * rate); ++i) {
        const double t = double(i) / rate;
        const double body = std::sin(2 * pi * 190.0 * t) * std::exp(-t * 25.0);
        out.add(start + i, gain * (0.6 * noise.next() * std::exp(-t * 14.0) + 0.4 * body), 0.1);
    }
}

void hat(Stereo& out, Noise& noise, double beat, double gain) {
    const size_t start = at_beat(beat);
    double last = 0;
    for (size_t i = 0; i < size_t(0.06 * rate); ++i) {
        const double n = noise.next();
        const double high = n - last;  // a crude high-pass
        last = n;
        out.add(start + i, gain * high * std::exp(-double(i) / rate * 60.0), 0.4);
    }
}

// A detuned saw pair through a soft attack and release.
void tone(Stereo& out, double beat, double length_beats, int midi, double gain, double pan,
          double attack = 0.01, double release = 0.08) {
    const size_t start = at_beat(beat);
    const size_t length = at_beat(length_beats);
    const double hz = note_hz(midi);
    for (size_t i = 0; i < length + size_t(release * rate); ++i) {
        const double t = double(i) / rate;
        double env = std::min(1.0, t / attack);
        if (i > length) env *= std::exp(-(double(i - length) / rate) / (release / 4));
        const double a = std::fmod(t * hz, 1.0) * 2 - 1;
        const double b = std::fmod(t * hz * 1.004, 1.0) * 2 - 1;
        out.add(start + i, gain * env * 0.5 * (a + b), pan);
    }
}

void crash(Stereo& out, Noise& noise, size_t start, double seconds, double gain) {
    for (size_t i = 0; i < size_t(seconds * rate); ++i) {
        const double t = double(i) / rate;
        out.add(start + i, gain * noise.next() * std::exp(-t * 4.0), 0.2 * std::sin(t * 9.0));
    }
}

Stereo music() {
    Stereo out(at_beat(beats) + rate);
    Noise noise;
    // Am F C G: root notes, and the chords as three notes each.
    const int roots[4] = {45, 41, 48, 43};
    const int chords[4][3] = {{57, 60, 64}, {53, 57, 60}, {55, 60, 64}, {55, 59, 62}};
    for (int bar = 0; bar < beats / 4; ++bar) {
        const double b0 = bar * 4.0;
        const int c = bar % 4;
        // The pad: always there, fading out over the last section.
        const double fade = b0 >= 112 ? 1.0 - (b0 - 112) / 16.0 : 1.0;
        for (int k = 0; k < 3; ++k) tone(out, b0, 4.0, chords[c][k], 0.05 * fade, -0.5 + 0.5 * k, 0.3, 0.5);
        if (b0 >= 112) continue;
        for (int q = 0; q < 4; ++q) {
            const double b = b0 + q;
            if (b >= 16) kick(out, b, 0.9);
            if (b >= 16) hat(out, noise, b + 0.5, 0.25);
            if (b >= 32 && (q == 1 || q == 3)) snare(out, noise, b, 0.45);
            if (b >= 96) tone(out, b + 0.5, 0.25, chords[c][q % 3] + 12, 0.08, q % 2 ? 0.6 : -0.6);
        }
        if (b0 >= 32) {
            for (int e = 0; e < 8; ++e) tone(out, b0 + e * 0.5, 0.4, roots[c] - 12 + (e % 4 == 3 ? 12 : 0), 0.16, 0.0);
        }
        if (b0 >= 32 && b0 < 96) {
            const int up = b0 >= 64 ? 24 : 12;
            for (int s = 0; s < 16; ++s) {
                tone(out, b0 + s * 0.25, 0.2, chords[c][s % 3] + up + (s % 6 == 5 ? 12 : 0), 0.05,
                     std::sin(s * 0.7) * 0.7);
            }
        }
    }
    for (double b : {16.0, 32.0, 64.0, 96.0}) crash(out, noise, at_beat(b), 2.0, 0.25);
    return out;
}

Stereo hit() {
    Stereo out(rate);
    Noise noise;
    noise.state = 0x9E3779B9u;
    crash(out, noise, 0, 1.0, 0.7);
    kick(out, 0, 0.8);
    return out;
}

Stereo blip() {
    Stereo out(size_t(0.12 * rate));
    for (size_t i = 0; i < out.frames(); ++i) {
        const double t = double(i) / rate;
        out.add(i, 0.4 * std::sin(2 * pi * 1760.0 * t) * std::exp(-t * 30.0));
    }
    return out;
}

void put32(std::ofstream& f, uint32_t v) { f.write(reinterpret_cast<const char*>(&v), 4); }
void put16(std::ofstream& f, uint16_t v) { f.write(reinterpret_cast<const char*>(&v), 2); }

bool write_wav(const char* path, const Stereo& s) {
    // Normalised to a peak of 0.9, then 16-bit.
    float peak = 1e-6f;
    for (size_t i = 0; i < s.frames(); ++i) peak = std::max({peak, std::fabs(s.left[i]), std::fabs(s.right[i])});
    const float scale = std::min(1.0f, 0.9f / peak) * 32767.0f;
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    const uint32_t data_bytes = uint32_t(s.frames() * 4);
    f.write("RIFF", 4);
    put32(f, 36 + data_bytes);
    f.write("WAVEfmt ", 8);
    put32(f, 16);
    put16(f, 1);
    put16(f, 2);
    put32(f, rate);
    put32(f, rate * 4);
    put16(f, 4);
    put16(f, 16);
    f.write("data", 4);
    put32(f, data_bytes);
    for (size_t i = 0; i < s.frames(); ++i) {
        put16(f, uint16_t(int16_t(std::lround(s.left[i] * scale))));
        put16(f, uint16_t(int16_t(std::lround(s.right[i] * scale))));
    }
    return bool(f);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: make_showcase_music MUSIC.wav HIT.wav BLIP.wav\n");
        return 2;
    }
    if (!write_wav(argv[1], music()) || !write_wav(argv[2], hit()) || !write_wav(argv[3], blip())) {
        std::fprintf(stderr, "make_showcase_music: cannot write the files\n");
        return 1;
    }
    return 0;
}
