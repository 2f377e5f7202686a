#include "package/trailer.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace qh {

namespace {

// Judges the last min(8, file_size) bytes of a file.
TrailerStatus check_trailer(const uint8_t* tail, size_t tail_size, uint64_t file_size,
                            uint64_t& payload_size) {
    if (tail_size < 4 || std::memcmp(tail + tail_size - 4, package_magic, 4) != 0)
        return TrailerStatus::no_package;
    if (tail_size < trailer_size) return TrailerStatus::bad_length;
    uint32_t n;
    std::memcpy(&n, tail, 4);
    if (n > max_payload_size || n > file_size - trailer_size) return TrailerStatus::bad_length;
    payload_size = n;
    return TrailerStatus::found;
}

}  // namespace

TrailerStatus find_package(std::span<const uint8_t> file, PackageLocation& where) {
    const size_t tail = std::min(file.size(), trailer_size);
    uint64_t n = 0;
    const TrailerStatus status = check_trailer(file.data() + file.size() - tail, tail, file.size(), n);
    if (status == TrailerStatus::found) {
        where.payload_size = n;
        where.payload_offset = file.size() - trailer_size - n;
    }
    return status;
}

TrailerStatus read_package_file(const std::string& path, std::vector<uint8_t>& payload) {
    // The path is UTF-8, as own_executable_path gives it; on Windows a plain
    // string would be read in the system's code page.
    std::ifstream in(std::filesystem::path(std::u8string(path.begin(), path.end())),
                     std::ios::binary | std::ios::ate);
    if (!in) return TrailerStatus::unreadable;
    const std::streamoff size = in.tellg();
    if (size < 0) return TrailerStatus::unreadable;
    const size_t tail = static_cast<size_t>(std::min<std::streamoff>(size, trailer_size));
    std::vector<uint8_t> trailer(tail);
    in.seekg(size - static_cast<std::streamoff>(tail));
    if (!in.read(reinterpret_cast<char*>(trailer.data()), static_cast<std::streamsize>(tail)))
        return TrailerStatus::unreadable;

    uint64_t n = 0;
    const TrailerStatus status = check_trailer(trailer.data(), tail, static_cast<uint64_t>(size), n);
    if (status != TrailerStatus::found) return status;
    payload.resize(n);
    in.seekg(size - static_cast<std::streamoff>(trailer_size) - n);
    if (!in.read(reinterpret_cast<char*>(payload.data()), n)) return TrailerStatus::unreadable;
    return TrailerStatus::found;
}

std::string describe(TrailerStatus status, const std::string& path) {
    switch (status) {
    case TrailerStatus::found: return path + ": package found";
    case TrailerStatus::no_package: return path + ": no package (the file does not end in \"DEMO\")";
    case TrailerStatus::bad_length:
        return path + ": truncated package: the trailer announces more payload bytes than the file holds";
    case TrailerStatus::unreadable: return path + ": cannot read the file";
    }
    return path;
}

std::vector<uint8_t> append_package(std::span<const uint8_t> executable,
                                    std::span<const uint8_t> payload) {
    // A longer payload cannot be described by the 32-bit length, and the
    // package would be silently corrupt.
    if (payload.size() > max_payload_size)
        throw std::length_error("payload of " + std::to_string(payload.size()) +
                                " bytes is larger than a package can hold");
    std::vector<uint8_t> out(executable.begin(), executable.end());
    out.insert(out.end(), payload.begin(), payload.end());
    const uint32_t n = static_cast<uint32_t>(payload.size());
    uint8_t len[4];
    std::memcpy(len, &n, 4);
    out.insert(out.end(), len, len + 4);
    out.insert(out.end(), package_magic, package_magic + 4);
    return out;
}

}  // namespace qh
