// Finding the package at the end of an executable file.
#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "package/trailer.h"
#include "support/scratch_dir.h"

namespace qh {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes bytes_of(std::string_view s) { return Bytes(s.begin(), s.end()); }

// `body`, then the 32-bit length `n` and the four-byte `magic`.
Bytes with_trailer(const Bytes& body, uint32_t n, std::string_view magic = "DEMO") {
    Bytes out = body;
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(n >> (8 * i)));
    out.insert(out.end(), magic.begin(), magic.end());
    return out;
}

struct FindCase {
    const char* name;
    Bytes file;
    TrailerStatus status;
    uint64_t offset = 0;
    uint64_t size = 0;
};

class FindPackage : public testing::TestWithParam<FindCase> {};

TEST_P(FindPackage, JudgesTheTrailer) {
    const FindCase& c = GetParam();
    PackageLocation where{99, 99};
    EXPECT_EQ(find_package(c.file, where), c.status);
    if (c.status == TrailerStatus::found) {
        EXPECT_EQ(where.payload_offset, c.offset);
        EXPECT_EQ(where.payload_size, c.size);
    } else {
        EXPECT_EQ(where.payload_offset, 99u) << "location written on failure";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Files, FindPackage,
    testing::Values(
        FindCase{"EmptyFile", {}, TrailerStatus::no_package},
        FindCase{"ShorterThanTheMagic", bytes_of("EMO"), TrailerStatus::no_package},
        FindCase{"OnlyTheMagic", bytes_of("DEMO"), TrailerStatus::bad_length},
        FindCase{"MagicWithAShortLength", bytes_of(std::string_view("\x01\x00" "DEMO", 6)), TrailerStatus::bad_length},
        FindCase{"NoMagic", bytes_of("an ordinary executable file"), TrailerStatus::no_package},
        FindCase{"MagicInOtherCase", with_trailer(bytes_of("xyz"), 3, "demo"), TrailerStatus::no_package},
        FindCase{"MagicNotAtTheEnd", with_trailer(bytes_of("xyz"), 3, "DEMO\n"),
                 TrailerStatus::no_package},
        FindCase{"EmptyPayload", with_trailer(bytes_of("exe"), 0), TrailerStatus::found, 3, 0},
        FindCase{"PayloadFillsTheFile", with_trailer(bytes_of("payload"), 7), TrailerStatus::found, 0, 7},
        FindCase{"PayloadAfterTheImage", with_trailer(bytes_of("imagepayload"), 7),
                 TrailerStatus::found, 5, 7},
        FindCase{"LengthOneBeyondTheFile", with_trailer(bytes_of("payload"), 8), TrailerStatus::bad_length},
        FindCase{"LengthAboveTheLimit", with_trailer(bytes_of("x"), 0xFFFFFFFFu), TrailerStatus::bad_length}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Trailer, AppendedPackageIsFoundAgain) {
    const Bytes image = bytes_of("\x7f" "ELF pretend image");
    for (const Bytes& payload : {Bytes{}, bytes_of("DEMO"), Bytes(70000, 0xAB)}) {
        const Bytes file = append_package(image, payload);
        ASSERT_EQ(file.size(), image.size() + payload.size() + trailer_size);
        EXPECT_TRUE(std::equal(image.begin(), image.end(), file.begin()));
        PackageLocation where;
        ASSERT_EQ(find_package(file, where), TrailerStatus::found);
        EXPECT_EQ(where.payload_offset, image.size());
        EXPECT_EQ(Bytes(file.begin() + where.payload_offset,
                        file.begin() + where.payload_offset + where.payload_size),
                  payload);
    }
}

TEST(Trailer, PayloadTooLongForTheLengthFieldIsRefused) {
    // Reserved, never touched: the refusal must come before any copy.
    const size_t size = max_payload_size + 1;
    void* p = mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (p == MAP_FAILED) GTEST_SKIP() << "cannot reserve 2 GiB of address space";
    const std::span<const uint8_t> payload(static_cast<const uint8_t*>(p), size);
    EXPECT_THROW(append_package({}, payload), std::length_error);
    munmap(p, size);
}

class PackageFile : public testing::Test {
protected:

    void write(const Bytes& bytes) {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }

    const test::ScratchDir dir{"qh-trailer"};
    const std::string path = (dir / "package.bin").string();
};

TEST_F(PackageFile, ReadsOnlyThePayload) {
    Bytes payload(100000);
    for (size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<uint8_t>(i * 7);
    write(append_package(Bytes(5000, 0x90), payload));
    Bytes read;
    ASSERT_EQ(read_package_file(path, read), TrailerStatus::found);
    EXPECT_EQ(read, payload);
}

TEST_F(PackageFile, ReportsEachFailure) {
    Bytes read;
    EXPECT_EQ(read_package_file(path + ".missing", read), TrailerStatus::unreadable);
    write({});
    EXPECT_EQ(read_package_file(path, read), TrailerStatus::no_package);
    write(bytes_of("MO"));
    EXPECT_EQ(read_package_file(path, read), TrailerStatus::no_package);
    write(bytes_of("a plain program"));
    EXPECT_EQ(read_package_file(path, read), TrailerStatus::no_package);
    write(with_trailer(bytes_of("short"), 1000));
    EXPECT_EQ(read_package_file(path, read), TrailerStatus::bad_length);
    EXPECT_TRUE(read.empty());
    EXPECT_NE(describe(TrailerStatus::bad_length, path).find(path), std::string::npos);
}

}  // namespace
}  // namespace qh
