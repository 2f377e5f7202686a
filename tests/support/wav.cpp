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

std::vector<uint8_t> wav_file(const std::vector<Frame>& frames, int rate) {
    std::vector<int16_t> samples;
    samples.reserve(frames.size() * 2);
    for (const Frame& f : frames) samples.insert(samples.end(), {f.left, f.right});
    return wav_file(samples, 2, rate);
}

std::vector<Frame> wav_frames(std::string_view file) {
    auto le = [&](size_t at, size_t bytes) {  // little-endian
        uint32_t v = 0;
        for (size_t i = bytes; i-- > 0;) v = v << 8 | static_cast<uint8_t>(file[at + i]);
        return v;
    };
    auto u32 = [&](size_t at) { return le(at, 4); };
    auto u16 = [&](size_t at) { return le(at, 2); };
    if (file.size() < 12 || file.substr(0, 4) != "RIFF" || file.substr(8, 4) != "WAVE") return {};
    bool pcm16_stereo = false;
    // Chunks: a tag, a size, the bytes (padded to an even count).
    for (size_t at = 12; at + 8 <= file.size();) {
        const std::string_view tag = file.substr(at, 4);
        const uint32_t size = u32(at + 4);
        const size_t body = at + 8, left = file.size() - body;
        if (tag == "fmt " && size >= 16 && left >= 16) {
            const uint16_t format = u16(body);  // 1: PCM; 0xfffe: its extensible form
            pcm16_stereo = (format == 1 || format == 0xfffe) && u16(body + 2) == 2 && u16(body + 14) == 16;
        } else if (tag == "data") {
            if (!pcm16_stereo) return {};
            return frames_of(file.substr(body, size == 0 || size > left ? left : size));
        }
        if (size > left) break;
        at = body + size + (size & 1);
    }
    return {};
}

}  // namespace qh::test
