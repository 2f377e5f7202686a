#include "support/wav.h"

namespace qh::test {

std::vector<uint8_t> wav_file(std::span<const int16_t> samples, int channels, int rate) {
    std::vector<uint8_t> out;
    auto u32 = [&](uint32_t v) { for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i))); };
    auto u16 = [&](uint16_t v) { u32(v); out.resize(out.size() - 2); };
    auto tag = [&](const char* t) { for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(t[i])); };
    const auto data_bytes = static_cast<uint32_t>(samples.size() * 2);
    const auto frame_bytes = static_cast<uint16_t>(channels * 2);
    tag("RIFF"); u32(36 + data_bytes); tag("WAVE");
    tag("fmt "); u32(16); u16(1); u16(static_cast<uint16_t>(channels)); u32(static_cast<uint32_t>(rate));
    u32(static_cast<uint32_t>(rate) * frame_bytes); u16(frame_bytes); u16(16);
    tag("data"); u32(data_bytes);
    for (const int16_t s : samples) u16(static_cast<uint16_t>(s));
    return out;
}

}  // namespace qh::test
