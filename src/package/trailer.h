#pragma once
// The package appended to an executable: payload, then the payload length as
// unsigned 32-bit little-endian, then the four letters "DEMO".
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace qh {

inline constexpr char package_magic[4] = {'D', 'E', 'M', 'O'};
inline constexpr size_t trailer_size = 8;
// The seek to the payload is a signed 32-bit offset from the end of the file.
inline constexpr uint64_t max_payload_size = (1ull << 31) - 8;

struct PackageLocation {
    uint64_t payload_offset = 0;  // from the start of the file
    uint64_t payload_size = 0;
};

enum class TrailerStatus { found, no_package, bad_length, unreadable };

// Looks for the trailer at the end of `file` (the whole file in memory).
// `bad_length` means the magic is there but the length points before the
// start of the file or past the limit.
TrailerStatus find_package(std::span<const uint8_t> file, PackageLocation& where);

// Reads only the trailer and payload of the file at `path` into `payload`.
// `unreadable` means the file could not be opened or read.
TrailerStatus read_package_file(const std::string& path, std::vector<uint8_t>& payload);

// A message for a status other than `found`.
std::string describe(TrailerStatus status, const std::string& path);

// The file with a payload and trailer appended. Throws std::length_error for
// a payload longer than `max_payload_size`.
std::vector<uint8_t> append_package(std::span<const uint8_t> executable,
                                    std::span<const uint8_t> payload);

}  // namespace qh
