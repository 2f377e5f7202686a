#include "sound_file.h"

#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

#include "audio/offline_mix.h"

namespace qh::quill {

namespace {

constexpr size_t header_size = 44;

uint32_t u32_at(const std::string& s, size_t at) {
    uint32_t v = 0;
    std::memcpy(&v, s.data() + at, 4);
    return v;
}

uint16_t u16_at(const std::string& s, size_t at) {
    uint16_t v = 0;
    std::memcpy(&v, s.data() + at, 2);
    return v;
}

}  // namespace

void write_sound_file(const std::filesystem::path& path, std::span<const int16_t> pcm) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    auto u32 = [&](uint32_t v) { f.write(reinterpret_cast<const char*>(&v), 4); };
    auto u16 = [&](uint16_t v) { f.write(reinterpret_cast<const char*>(&v), 2); };
    const uint64_t bytes = pcm.size() * sizeof(int16_t);
    if (bytes > UINT32_MAX - header_size) throw std::runtime_error(path.string() + ": too long a sound for one WAVE file");
    f.write("RIFF", 4);
    u32(static_cast<uint32_t>(36 + bytes));
    f.write("WAVEfmt ", 8);
    u32(16);
    u16(1);
    u16(OfflineMix::channels);
    u32(OfflineMix::rate);
    u32(OfflineMix::rate * OfflineMix::channels * 2);
    u16(OfflineMix::channels * 2);
    u16(16);
    f.write("data", 4);
    u32(static_cast<uint32_t>(bytes));
    f.write(reinterpret_cast<const char*>(pcm.data()), static_cast<std::streamsize>(bytes));
    if (!f) throw std::runtime_error("cannot write " + path.string());
}

std::vector<int16_t> read_sound_file(const std::filesystem::path& path) {
    std::ifstream f(path, std::ios::binary);
    if (!f) throw std::runtime_error("cannot read " + path.string());
    const std::string wav{std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
    if (wav.size() < header_size || wav.compare(0, 4, "RIFF") != 0 || wav.compare(8, 8, "WAVEfmt ") != 0 ||
        u16_at(wav, 20) != 1 || u16_at(wav, 22) != OfflineMix::channels || u32_at(wav, 24) != OfflineMix::rate ||
        u16_at(wav, 34) != 16 || wav.compare(36, 4, "data") != 0 || u32_at(wav, 40) != wav.size() - header_size ||
        (wav.size() - header_size) % (2 * OfflineMix::channels) != 0) {
        throw std::runtime_error(path.string() + " is not the 16-bit stereo 44100 Hz sound quill render writes");
    }
    std::vector<int16_t> pcm((wav.size() - header_size) / 2);
    std::memcpy(pcm.data(), wav.data() + header_size, wav.size() - header_size);
    return pcm;
}

}  // namespace qh::quill
