#include "audio/wave_headers.h"

#include <cstring>

namespace qh {

namespace {

constexpr size_t riff_header = 12;  // "RIFF", length, "WAVE"
constexpr size_t chunk_header = 8;  // id, length

uint32_t u32_at(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

uint16_t u16_at(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

bool is_wave(std::span<const uint8_t> bytes) {
    return bytes.size() >= riff_header && std::memcmp(bytes.data(), "RIFF", 4) == 0 &&
           std::memcmp(bytes.data() + 8, "WAVE", 4) == 0;
}

// A chunk as the record holds it.
struct Chunk {
    size_t at;                      // offset of its header
    std::span<const uint8_t> id;    // four bytes
    std::span<const uint8_t> body;  // as far as the record holds it
    bool overlong;                  // it claims more than follows
};

// Calls visit(chunk) for each chunk, up to the first that claims more than
// follows.
template <typename Visit>
void walk_chunks(std::span<const uint8_t> bytes, Visit visit) {
    for (size_t at = riff_header; bytes.size() - at >= chunk_header;) {
        const size_t left = bytes.size() - at - chunk_header;
        const uint32_t length = u32_at(bytes.data() + at + 4);
        const bool overlong = length > left;
        visit(Chunk{at, bytes.subspan(at, 4), bytes.subspan(at + chunk_header, overlong ? left : length),
                    overlong});
        if (overlong) return;
        at += chunk_header + length + (length & 1u);  // chunks are padded to even lengths
        if (at > bytes.size()) return;
    }
}

bool id_is(std::span<const uint8_t> id, const char* name) { return std::memcmp(id.data(), name, 4) == 0; }

}  // namespace

double WaveHeaders::seconds() const {
    if (rate == 0 || block_align == 0) return 0.0;
    return static_cast<double>(data_bytes / block_align) / rate;
}

std::optional<WaveHeaders> read_wave_headers(std::span<const uint8_t> bytes) {
    if (!is_wave(bytes)) return std::nullopt;
    WaveHeaders w;
    walk_chunks(bytes, [&](const Chunk& c) {
        w.overlong = w.overlong || c.overlong;
        if (id_is(c.id, "fmt ") && c.body.size() >= 14) {
            w.rate = u32_at(c.body.data() + 4);
            w.block_align = u16_at(c.body.data() + 12);
        } else if (id_is(c.id, "data")) {
            w.data_bytes = c.body.size();
        }
    });
    return w;
}

std::vector<uint8_t> fit_wave_chunks(std::span<const uint8_t> bytes) {
    std::vector<uint8_t> fitted(bytes.begin(), bytes.end());
    if (!is_wave(bytes)) return fitted;
    walk_chunks(bytes, [&](const Chunk& c) {
        if (!c.overlong) return;
        const auto cut = static_cast<uint32_t>(c.body.size());
        for (int i = 0; i < 4; ++i) fitted[c.at + 4 + i] = static_cast<uint8_t>(cut >> (8 * i));
    });
    return fitted;
}

}  // namespace qh
