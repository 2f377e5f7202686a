// The byte counts the text texture budget's variable takes, and those it
// refuses rather than misreading.
#include <gtest/gtest.h>

#include <optional>

#include "document/device_memory.h"

namespace qh {
namespace {

TEST(DeviceMemory, ByteCountsReadAsWrittenAndAnythingElseIsRefused) {
    struct Row {
        const char* text;
        std::optional<uint64_t> bytes;
    };
    const Row rows[] = {
        {"4096", 4096},
        {"0", 0},
        {"512M", uint64_t(512) << 20},
        {"8g", uint64_t(8) << 30},
        {"2T", uint64_t(2) << 40},
        {"18446744073709551615", UINT64_MAX},
        {"18446744073709551616", std::nullopt},  // one past 64 bits
        {"16777216T", std::nullopt},             // 2^64 once scaled
        {"", std::nullopt},
        {"G", std::nullopt},
        {"8GB", std::nullopt},
        {"1.5G", std::nullopt},
        {"-1", std::nullopt},
        {" 8G", std::nullopt},
    };
    for (const Row& row : rows) EXPECT_EQ(parse_byte_count(row.text), row.bytes) << '"' << row.text << '"';
}

}  // namespace
}  // namespace qh
