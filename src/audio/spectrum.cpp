#include "audio/spectrum.h"

#include <kissfft/kiss_fftr.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <new>

namespace qh {

namespace {

constexpr int fft_size = 1024;
constexpr int fft_bins = fft_size / 2 + 1;
// Row 0 spreads the bins up to about 10 kHz over the 1024 texels.
constexpr unsigned last_shown_bin = (1023u * 20000u) / 88200u;
constexpr int fresh_bit = 4;
constexpr int slot_mask = 3;

// Hamming window of period 1023 frames; the cosine in double, the rest in
// float. The shaders of existing demos read the sound texture, so its bytes
// are computed as they were when those demos were made, rounding included.
float window_at(size_t i) {
    const double c = std::cos(2.0 * 3.14159265358979323846 * static_cast<double>(i) / 1023.0);
    return 0.54f - 0.46f * static_cast<float>(c);
}

int16_t sample_at(const uint8_t* stream, size_t index) {
    const auto lo = static_cast<uint16_t>(stream[2 * index]);
    const auto hi = static_cast<uint16_t>(stream[2 * index + 1]);
    return static_cast<int16_t>(static_cast<uint16_t>(lo | (hi << 8)));
}

void fill_texel(uint8_t* row, size_t texel, uint8_t value) {
    std::fill_n(row + texel * 4, 4, value);
}

}  // namespace

int SpectrumState::level() const {
    int sum = 0;
    for (int16_t v : level_ring) sum += v;
    return sum / ring_size;
}

struct SpectrumAnalyzer::Impl {
    kiss_fftr_cfg plan = nullptr;
    std::array<float, fft_size> window{};
    std::array<kiss_fft_scalar, fft_size> input{};
    std::array<kiss_fft_cpx, fft_bins> output{};
    std::array<uint8_t, last_shown_bin + 1> bin_bytes{};
};

SpectrumAnalyzer::SpectrumAnalyzer() : impl_(std::make_unique<Impl>()) {
    impl_->plan = kiss_fftr_alloc(fft_size, 0, nullptr, nullptr);
    if (!impl_->plan) throw std::bad_alloc();
    for (size_t i = 0; i < fft_size; ++i) impl_->window[i] = window_at(i);
}

SpectrumAnalyzer::~SpectrumAnalyzer() {
    kiss_fftr_free(impl_->plan);
}

void SpectrumAnalyzer::analyze(const uint8_t* stream, size_t len, SpectrumState& state) {
    const size_t n = (len / 2) / 2;
    if (n < 2) return;
    Impl& s = *impl_;
    uint8_t* spectrum_row = state.capture.data();
    uint8_t* wave_row = spectrum_row + SpectrumState::width * 4;

    // Texels a shorter block does not reach must not feed the previous
    // block's samples into this transform.
    if (n < fft_size) s.input.fill(0.0f);
    float window_sum = 0.0f;
    for (size_t i = 0; i < n; ++i) {
        const int16_t left = sample_at(stream, 2 * i);
        const size_t c = (i * 1023) / (n - 1);
        fill_texel(wave_row, c, static_cast<uint8_t>(left / 256 + 128));
        const float h = i < fft_size ? s.window[i] : window_at(i);
        s.input[c] = static_cast<float>(left) * (1.0f / 32768.0f) * h;
        window_sum += h;
    }
    kiss_fftr(s.plan, s.input.data(), s.output.data());

    // Each shown bin covers about four texels; its byte is computed once.
    const float normaliser = window_sum * 0.5f;
    for (unsigned b = 0; b <= last_shown_bin; ++b) {
        const float re = s.output[b].r;
        const float im = s.output[b].i;
        const float decibels = 20.0f * std::log10(std::sqrt(re * re + im * im) / normaliser);
        const float scaled = (std::max(-90.0f, decibels) + 90.0f) * 255.0f / 90.0f;
        // A DC offset can exceed 0 dB by up to about 6 dB; it shows as full
        // brightness rather than wrapping round to dark.
        s.bin_bytes[b] = static_cast<uint8_t>(std::min(255.0f, scaled));
    }
    for (unsigned k = 0; k < SpectrumState::width; ++k) {
        fill_texel(spectrum_row, k, s.bin_bytes[(k * 20000u) / 88200u]);
    }

    // |-32768| does not fit the ring's 16 bits; it counts as full scale.
    const size_t ring_values = std::min<size_t>(SpectrumState::ring_size, n * 2);
    for (size_t i = 0; i < ring_values; ++i) {
        const int magnitude = std::abs(static_cast<int>(sample_at(stream, i)));
        state.level_ring[static_cast<size_t>(state.ring_index)] =
            static_cast<int16_t>(std::min(magnitude, 32767));
        state.ring_index = (state.ring_index + 1) % SpectrumState::ring_size;
    }
}

SpectrumCapture::SpectrumCapture() = default;

void SpectrumCapture::on_block(const uint8_t* stream, size_t len) {
    analyzer_.analyze(stream, len, working_);
    slots_[static_cast<size_t>(back_)] = working_;
    back_ = middle_.exchange(back_ | fresh_bit, std::memory_order_acq_rel) & slot_mask;
}

const SpectrumState& SpectrumCapture::latest() {
    if (middle_.load(std::memory_order_relaxed) & fresh_bit) {
        front_ = middle_.exchange(front_, std::memory_order_acq_rel) & slot_mask;
    }
    return slots_[static_cast<size_t>(front_)];
}

}  // namespace qh
