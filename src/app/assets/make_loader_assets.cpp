// Makes the loading screen's logo and sound from nothing but code, at build
// time:  make_loader_assets LOGO.png SOUND.wav
//
// The logo is black on white: the loader shader fills the dark pixels (red
// below 0.5) with its level. It shows a ring with a tail over three waves,
// drawn by testing each pixel against a few shapes. The sound is a short
// two-note chime, 16-bit mono at 44100 Hz, written as WAV.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <vector>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

#include "core/runtime.h"

namespace {

constexpr int logo_size = qh::loader_logo_side;
constexpr double pi = 3.14159265358979323846;

bool in_logo(double x, double y) {  // both 0..1, y down
    const double cx = 0.5, cy = 0.40;
    const double r = std::hypot(x - cx, y - cy);
    if (r > 0.22 && r < 0.30) return true;  // the ring
    // The tail: a slanted bar leaving the ring at the lower right.
    const double u = (x - 0.60) * 0.7071 + (y - 0.55) * 0.7071;
    const double v = -(x - 0.60) * 0.7071 + (y - 0.55) * 0.7071;
    if (u > 0.0 && u < 0.16 && std::fabs(v) < 0.035) return true;
    // Three waves below.
    for (int i = 0; i < 3; ++i) {
        const double wy = 0.80 + 0.06 * i + 0.015 * std::sin(x * 4.0 * pi + i);
        if (x > 0.18 && x < 0.82 && std::fabs(y - wy) < 0.014) return true;
    }
    return false;
}

bool write_logo(const char* path) {
    std::vector<uint8_t> rgb(static_cast<size_t>(logo_size) * logo_size * 3);
    for (int py = 0; py < logo_size; ++py) {
        for (int px = 0; px < logo_size; ++px) {
            const uint8_t v = in_logo((px + 0.5) / logo_size, (py + 0.5) / logo_size) ? 0 : 255;
            uint8_t* p = &rgb[(static_cast<size_t>(py) * logo_size + px) * 3];
            p[0] = p[1] = p[2] = v;
        }
    }
    return stbi_write_png(path, logo_size, logo_size, 3, rgb.data(), logo_size * 3) != 0;
}

void put_u32(std::ofstream& out, uint32_t v) {
    const char b[4] = {char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
    out.write(b, 4);
}
void put_u16(std::ofstream& out, uint16_t v) {
    const char b[2] = {char(v), char(v >> 8)};
    out.write(b, 2);
}

bool write_sound(const char* path) {
    constexpr int rate = 44100, channels = 1;
    constexpr double seconds = 1.0;
    const int frames = static_cast<int>(rate * seconds);
    std::vector<int16_t> samples(static_cast<size_t>(frames) * channels);
    // Two bell-like notes a fifth apart, the second entering after 150 ms.
    const struct { double freq, start; } notes[] = {{659.25, 0.0}, {987.77, 0.15}};
    for (int i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / rate;
        double s = 0;
        for (const auto& n : notes) {
            if (t < n.start) continue;
            const double d = t - n.start;
            const double env = std::exp(-3.5 * d) * std::min(1.0, d * 200.0);
            s += env * (std::sin(2 * pi * n.freq * d) + 0.3 * std::sin(2 * pi * 2 * n.freq * d));
        }
        const auto v = static_cast<int16_t>(std::lround(std::clamp(s * 0.35, -1.0, 1.0) * 32767));
        samples[static_cast<size_t>(i)] = v;
    }
    std::ofstream out(path, std::ios::binary);
    const uint32_t data_bytes = static_cast<uint32_t>(samples.size() * 2);
    out.write("RIFF", 4);
    put_u32(out, 36 + data_bytes);
    out.write("WAVEfmt ", 8);
    put_u32(out, 16);
    put_u16(out, 1);  // PCM
    put_u16(out, channels);
    put_u32(out, rate);
    put_u32(out, rate * channels * 2);
    put_u16(out, channels * 2);
    put_u16(out, 16);
    out.write("data", 4);
    put_u32(out, data_bytes);
    for (int16_t v : samples) put_u16(out, static_cast<uint16_t>(v));
    return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s LOGO.png SOUND.wav\n", argv[0]);
        return 2;
    }
    if (!write_logo(argv[1])) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    if (!write_sound(argv[2])) {
        std::fprintf(stderr, "cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
