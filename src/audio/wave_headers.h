#pragma once
// What a RIFF WAVE's chunk headers state, read before the mixer decodes it.
//
// The mixer's WAVE loader trusts them: it allocates every chunk's stated
// length before reading the chunk, and resamples the whole sound to the
// device's rate at once. A record of a few kilobytes that claims gigabytes,
// or a rate of 2 Hz (its frames last half a second each), would get
// gigabytes. decode_sound (sample_player.h) looks here first.
//
//   if (auto w = read_wave_headers(bytes)) {
//       if (w->seconds() > max_sample_seconds) refuse;
//       if (w->overlong) bytes = fit_wave_chunks(bytes);
//   }
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace qh {

// A sample is a short sound: one stated to last longer is not decoded.
inline constexpr double max_sample_seconds = 600.0;

struct WaveHeaders {
    uint32_t rate = 0;         // frames per second, from "fmt "; 0 when missing
    uint32_t block_align = 0;  // bytes per frame, from "fmt "
    uint64_t data_bytes = 0;   // of "data", as far as the record holds it
    bool overlong = false;     // some chunk claims more bytes than follow it

    // The stated duration; 0 without a usable "fmt ".
    double seconds() const;
};

// nullopt when the bytes are no RIFF WAVE.
std::optional<WaveHeaders> read_wave_headers(std::span<const uint8_t> bytes);

// A copy whose first chunk claiming more bytes than follow it is cut to the
// bytes that do follow (what a reader of the truncated file finds; that chunk
// runs to the end). Meant for bytes whose headers are overlong.
std::vector<uint8_t> fit_wave_chunks(std::span<const uint8_t> bytes);

}  // namespace qh
