// The keystream and the bounded reader/writer of the binary form.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "package/binary_stream.h"
#include "package/errors.h"
#include "package/keystream.h"
#include "package/lz_codec.h"

namespace qh {
namespace {

using Bytes = std::vector<uint8_t>;

static_assert(keystream_seed % 2 == 1 && keystream_seed >= 100 && keystream_seed <= 999,
              "the keystream seed is a fixed odd three-digit number");

Bytes keystream(size_t n) {
    Bytes zeros(n, 0);
    scramble(zeros.data(), zeros.size());
    return zeros;
}

void put_u64(Bytes& out, uint64_t v) {
    for (int i = 0; i < 8; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// A stored packed string whose compressed form is `packed` (scrambled here).
Bytes stored_packed(Bytes packed) {
    scramble(packed.data(), packed.size());
    Bytes out;
    put_u64(out, packed.size());
    out.insert(out.end(), packed.begin(), packed.end());
    return out;
}

// Runs `read` and returns the FormatError it must raise.
FormatError format_error_of(const std::function<void()>& read) {
    try {
        read();
    } catch (const FormatError& e) {
        return e;
    } catch (const std::exception& e) {
        ADD_FAILURE() << "not a FormatError: " << e.what();
        return FormatError("wrong type", SIZE_MAX);
    }
    ADD_FAILURE() << "no error";
    return FormatError("none", SIZE_MAX);
}

void expect_offset(const FormatError& e, size_t offset) {
    EXPECT_EQ(e.offset(), offset);
    EXPECT_NE(std::string(e.what()).find("offset " + std::to_string(offset) + ")"), std::string::npos)
        << e.what();
}

// --- keystream -------------------------------------------------------------

// The stream written out by hand from the seed 757: each step takes s to
// 3s + 1 when odd and s / 2 when even, a 1 becomes the seed again, and the
// byte is the low eight bits of the new s. 757 -> 2272 (0x8E0) -> 1136 (0x470)
// -> 568 (0x238) -> 284 (0x11C) -> 142 -> 71 -> 214 -> 107 -> 322 (0x142) ...
// The walk from 757 reaches 1 at its 108th step (... 20, 10, 5, 16, 8, 4, 2,
// then 757 = 0xF5 in place of the 1), and the stream repeats from there.
struct KeystreamStretch {
    const char* name;
    size_t first;  // index of the first byte
    Bytes bytes;
};

const KeystreamStretch keystream_stretches[] = {
    {"from the seed", 0,
     {0xE0, 0x70, 0x38, 0x1C, 0x8E, 0x47, 0xD6, 0x6B, 0x42, 0xA1, 0xE4, 0xF2, 0x79, 0x6C, 0xB6, 0x5B}},
    {"the end of the walk, the seed in place of 1, the start again", 100,
     {0x14, 0x0A, 0x05, 0x10, 0x08, 0x04, 0x02, 0xF5, 0xE0, 0x70, 0x38, 0x1C, 0x8E, 0x47, 0xD6, 0x6B}},
    {"the second turn ends like the first", 208, {0x14, 0x0A, 0x05, 0x10, 0x08, 0x04, 0x02, 0xF5, 0xE0}},
};

TEST(Keystream, HasTheBytesOfTheWalkFromTheSeed) {
    ASSERT_EQ(keystream_seed, 757);
    const Bytes ks = keystream(240);
    for (const KeystreamStretch& row : keystream_stretches) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(Bytes(ks.begin() + row.first, ks.begin() + row.first + row.bytes.size()), row.bytes);
    }
    for (size_t i = 108; i < ks.size(); ++i) ASSERT_EQ(ks[i], ks[i - 108]) << i;
}

TEST(Keystream, ScramblingXorsTheStreamAndTwiceRestores) {
    std::mt19937 rng(3);
    const Bytes ks = keystream(5000);
    for (size_t n : {0, 1, 16, 107, 108, 109, 5000}) {
        SCOPED_TRACE(n);
        Bytes data(n);
        for (uint8_t& b : data) b = rng() & 0xFF;
        Bytes copy = data;
        scramble(copy.data(), copy.size());
        for (size_t i = 0; i < n; ++i) ASSERT_EQ(copy[i], data[i] ^ ks[i]) << "byte " << i;
        // Every call starts again from the seed.
        if (n >= 16) {
            for (size_t i = 0; i < 16; ++i) ASSERT_EQ(copy[i] ^ data[i], keystream_stretches[0].bytes[i]);
        }
        scramble(copy.data(), copy.size());
        EXPECT_EQ(copy, data);
    }
}

TEST(Keystream, RestartsForEveryStoredItem) {
    BinaryWriter w;
    w.write_packed_string("same text");
    w.write_packed_string("same text");
    const Bytes s = {0x10, 0x20, 0x30};
    w.write_scrambled_bytes(s.data(), s.size());
    w.write_scrambled_bytes(s.data(), s.size());
    const Bytes& out = w.bytes();
    const size_t text = out.size() / 2 - (8 + 3);  // one packed string
    ASSERT_EQ(out.size(), 2 * text + 2 * (8 + 3));
    EXPECT_TRUE(std::equal(out.begin(), out.begin() + text, out.begin() + text));
    const auto buffers = out.begin() + 2 * text;
    EXPECT_TRUE(std::equal(buffers, buffers + 11, buffers + 11));
    // The length is stored plain; only the bytes after it are scrambled.
    EXPECT_EQ(buffers[0], 3);
    const Bytes ks = keystream(3);
    EXPECT_EQ(buffers[8], 0x10 ^ ks[0]);
    EXPECT_EQ(buffers[10], 0x30 ^ ks[2]);
}

TEST(BinaryWriter, EmptyTextIsOneScrambledZeroByte) {
    BinaryWriter w;
    w.write_packed_string("");
    Bytes expected;
    put_u64(expected, 1);
    expected.push_back(keystream(1)[0]);
    EXPECT_EQ(w.bytes(), expected);
    BinaryReader r(w.bytes());
    EXPECT_EQ(r.read_packed_string("text"), "");
    EXPECT_EQ(r.remaining(), 0u);
}

// --- round trip ------------------------------------------------------------

TEST(BinaryStream, EveryPrimitiveRoundTrips) {
    std::string long_text;
    for (int i = 0; i < 2000; ++i) long_text += "line " + std::to_string(i % 37) + "\n";
    const Bytes blob = {0, 1, 2, 0xFF, 0x80};

    BinaryWriter w;
    w.write_bool(true);
    w.write_bool(false);
    w.write_i32(-123456);
    w.write_u32(0xDEADBEEF);
    w.write_u64(0x0123456789ABCDEFull);
    w.write_f32(-0.375f);
    w.write_vec3({1.5f, -2.0f, 1e30f});
    w.write_packed_string("");
    w.write_packed_string(long_text);
    w.write_packed_string(std::string("nul\0inside", 10));
    w.write_scrambled_bytes(blob.data(), blob.size());
    w.write_scrambled_bytes(nullptr, 0);
    w.write_u64(7);

    BinaryReader r(w.bytes());
    EXPECT_TRUE(r.read_bool("a"));
    EXPECT_FALSE(r.read_bool("b"));
    EXPECT_EQ(r.read_i32("i"), -123456);
    EXPECT_EQ(r.read_u32("u"), 0xDEADBEEFu);
    EXPECT_EQ(r.read_u64("q"), 0x0123456789ABCDEFull);
    EXPECT_EQ(r.read_f32("f"), -0.375f);
    EXPECT_EQ(r.read_vec3("v"), glm::vec3(1.5f, -2.0f, 1e30f));
    EXPECT_EQ(r.read_packed_string("s0"), "");
    EXPECT_EQ(r.read_packed_string("s1"), long_text);
    EXPECT_EQ(r.read_packed_string("s2"), std::string("nul\0inside", 10));
    EXPECT_EQ(r.read_scrambled_bytes("b0"), blob);
    EXPECT_TRUE(r.read_scrambled_bytes("b1").empty());
    EXPECT_EQ(r.remaining(), 8u);
    EXPECT_EQ(r.read_u64("last"), 7u);
    EXPECT_EQ(r.remaining(), 0u);
}

TEST(BinaryStream, LittleEndianLayout) {
    BinaryWriter w;
    w.write_u32(0x01020304);
    w.write_i32(-2);
    w.write_f32(1.0f);
    EXPECT_EQ(w.bytes(), Bytes({4, 3, 2, 1, 0xFE, 0xFF, 0xFF, 0xFF, 0, 0, 0x80, 0x3F}));
}

TEST(BinaryStream, ReferencesUseAssignedIds) {
    int a = 0, b = 0, unknown = 0;
    BinaryWriter w;
    w.assign_id(&a, 1);
    w.assign_id(&b, 42);
    w.write_ref(&b);
    w.write_ref(nullptr);
    w.write_ref(&unknown);
    w.write_ref(&a);
    BinaryReader r(w.bytes());
    EXPECT_EQ(r.read_id("b"), 42u);
    EXPECT_EQ(r.read_id("null"), 0u);
    EXPECT_EQ(r.read_id("unknown"), 0u);
    EXPECT_EQ(r.read_id("a"), 1u);
}

// --- malformed input -------------------------------------------------------

struct TruncatedCase {
    const char* name;
    size_t width;
    std::function<void(BinaryReader&)> read;
};

class BinaryReaderTruncated : public testing::TestWithParam<TruncatedCase> {};

// Each value one byte short, after a prefix so the offset is not zero.
TEST_P(BinaryReaderTruncated, FailsAtTheValueWithItsLabel) {
    const TruncatedCase& c = GetParam();
    const Bytes bytes(3 + c.width - 1, 0);
    BinaryReader r(bytes);
    for (int i = 0; i < 3; ++i) r.read_bool("prefix");
    const FormatError e = format_error_of([&] { c.read(r); });
    expect_offset(e, 3);
    EXPECT_NE(std::string(e.what()).find("the value"), std::string::npos) << e.what();
    EXPECT_EQ(r.offset(), 3u);

    // With the missing byte present the same read succeeds.
    const Bytes whole(3 + c.width, 0);
    BinaryReader ok(whole);
    for (int i = 0; i < 3; ++i) ok.read_bool("prefix");
    c.read(ok);
    EXPECT_EQ(ok.remaining(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Values, BinaryReaderTruncated,
    testing::Values(TruncatedCase{"Bool", 1, [](BinaryReader& r) { r.read_bool("the value"); }},
                    TruncatedCase{"I32", 4, [](BinaryReader& r) { r.read_i32("the value"); }},
                    TruncatedCase{"U32", 4, [](BinaryReader& r) { r.read_u32("the value"); }},
                    TruncatedCase{"U64", 8, [](BinaryReader& r) { r.read_u64("the value"); }},
                    TruncatedCase{"F32", 4, [](BinaryReader& r) { r.read_f32("the value"); }},
                    TruncatedCase{"Vec3", 12, [](BinaryReader& r) { r.read_vec3("the value"); }},
                    TruncatedCase{"Id", 8, [](BinaryReader& r) { r.read_id("the value"); }},
                    TruncatedCase{"Count", 8, [](BinaryReader& r) { r.read_count("the value"); }},
                    // An empty item is just its eight-byte length.
                    TruncatedCase{"ScrambledLength", 8,
                                  [](BinaryReader& r) { r.read_scrambled_bytes("the value"); }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BinaryReader, StoredLengthBeyondTheRemainingBytes) {
    Bytes bytes = {0xAA, 0xBB};
    put_u64(bytes, 6);
    bytes.insert(bytes.end(), 5, 0);
    for (bool packed : {true, false}) {
        BinaryReader r(bytes);
        r.read_bool("x");
        r.read_bool("y");
        const FormatError e = format_error_of([&] {
            packed ? (void)r.read_packed_string("Event name") : (void)r.read_scrambled_bytes("Texture data");
        });
        expect_offset(e, 2);
        EXPECT_NE(std::string(e.what()).find(packed ? "Event name" : "Texture data"), std::string::npos);
    }
    // A length near 2^64 must not wrap around the bound.
    Bytes huge;
    put_u64(huge, UINT64_MAX);
    huge.push_back(0);
    BinaryReader r(huge);
    expect_offset(format_error_of([&] { r.read_packed_string("s"); }), 0);
    BinaryReader r2(huge);
    expect_offset(format_error_of([&] { r2.read_scrambled_bytes("s"); }), 0);
}

struct CountCase {
    const char* name;
    uint64_t count;
    size_t element_size;
    size_t following;  // bytes after the count
    bool fits;
};

class BinaryReaderCount : public testing::TestWithParam<CountCase> {};

TEST_P(BinaryReaderCount, RejectsCountsTheBytesCannotHold) {
    const CountCase& c = GetParam();
    Bytes bytes = {0};
    put_u64(bytes, c.count);
    bytes.resize(bytes.size() + c.following);
    BinaryReader r(bytes);
    r.read_bool("lead");
    if (c.fits) {
        EXPECT_EQ(r.read_count("Event list", c.element_size), c.count);
    } else {
        const FormatError e = format_error_of([&] { r.read_count("Event list", c.element_size); });
        expect_offset(e, 1);
        EXPECT_NE(std::string(e.what()).find("Event list"), std::string::npos);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Counts, BinaryReaderCount,
    testing::Values(CountCase{"ExactFit", 3, 4, 12, true},
                    CountCase{"OneByteShort", 3, 4, 11, false},
                    CountCase{"ZeroCountOfNothing", 0, 100, 0, true},
                    CountCase{"ElementSizeZeroCountsAsOne", 5, 0, 5, true},
                    CountCase{"ElementSizeZeroTooMany", 6, 0, 5, false},
                    CountCase{"HugeCount", UINT64_MAX, 1, 64, false},
                    CountCase{"CountTimesSizeWouldWrap", (UINT64_MAX / 8) + 2, 8, 64, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BinaryReader, PackedStringAnnouncingTooMuchIsRefused) {
    // Two stored bytes: the header varint alone.
    const uint64_t limit = packed_string_limit(2);
    ASSERT_LT(limit + 1, 16384u);  // still a two-byte varint
    Bytes packed;
    append_varint(packed, limit + 1);
    Bytes bytes = {0, 0, 0};
    const Bytes item = stored_packed(packed);
    bytes.insert(bytes.end(), item.begin(), item.end());
    BinaryReader r(bytes);
    for (int i = 0; i < 3; ++i) r.read_bool("lead");
    const FormatError e = format_error_of([&] { r.read_packed_string("Shader source"); });
    expect_offset(e, 3);
    EXPECT_NE(std::string(e.what()).find("Shader source"), std::string::npos);
    EXPECT_NE(std::string(e.what()).find("Uncompressed data in message deemed too large"),
              std::string::npos);

    // At the limit it is accepted; the stream stops early, so the text is the
    // announced size of zero bytes.
    Bytes at_limit;
    append_varint(at_limit, limit);
    const Bytes ok_bytes = stored_packed(at_limit);
    BinaryReader ok(ok_bytes);
    EXPECT_EQ(ok.read_packed_string("s"), std::string(limit, '\0'));
}

TEST(BinaryReader, PackedStringStoppingEarlyHasAZeroTail) {
    const Bytes bytes = stored_packed({10, 7, 'a', 'b', 'c'});
    BinaryReader r(bytes);
    EXPECT_EQ(r.read_packed_string("s"), std::string("abc") + std::string(7, '\0'));
    EXPECT_EQ(r.remaining(), 0u);
}

struct LongTextCase {
    const char* name;
    std::string (*make)();
};

class BinaryReaderLongTexts : public testing::TestWithParam<LongTextCase> {};

// Runs compress to a handful of bytes, far more text than the stored size
// alone lets a header announce; every text the writer produces reads back.
TEST_P(BinaryReaderLongTexts, WrittenTextReadsBack) {
    const std::string text = GetParam().make();
    BinaryWriter w;
    w.write_packed_string(text);
    w.write_u8(0x5A);
    const Bytes bytes = w.take_bytes();
    const uint64_t stored = bytes.size() - 8 - 1;
    ASSERT_GT(text.size(), packed_string_limit(stored));
    BinaryReader r(bytes);
    EXPECT_EQ(r.read_packed_string("Shader source"), text);
    EXPECT_EQ(r.read_u8("after"), 0x5A);
}

INSTANTIATE_TEST_SUITE_P(
    Runs, BinaryReaderLongTexts,
    testing::Values(
        LongTextCase{"RunOf12000", [] { return std::string(12000, '='); }},
        LongTextCase{"ShaderWithA100KComment", [] {
            return "#version 150\n// " + std::string(100000, '-') + "\nvoid main() {}\n";
        }},
        LongTextCase{"PeriodTwo1MiB", [] {
            std::string s;
            while (s.size() < (1u << 20)) s += "ab";
            return s;
        }}),
    [](const auto& info) { return std::string(info.param.name); });

struct AnnouncedCase {
    const char* name;
    uint64_t announced;
    uint64_t described;  // a run of 'a' of this length
    bool accepted;
};

class BinaryReaderAnnounced : public testing::TestWithParam<AnnouncedCase> {};

// A long text is accepted as far as its tokens describe it, up to the ceiling;
// a header announcing more than that is refused before anything is allocated.
TEST_P(BinaryReaderAnnounced, IsBoundByWhatTheTokensDescribe) {
    const AnnouncedCase& c = GetParam();
    Bytes packed;
    append_varint(packed, c.announced);
    packed.insert(packed.end(), {3, 'a', 1 << 4});  // "a", then a long match from offset 1
    append_varint(packed, c.described - 5);
    const Bytes bytes = stored_packed(packed);
    BinaryReader r(bytes);
    if (c.accepted) {
        const std::string text = r.read_packed_string("s");
        EXPECT_EQ(text.size(), c.announced);
        EXPECT_EQ(static_cast<uint64_t>(std::count(text.begin(), text.end(), 'a')), c.described);
    } else {
        const FormatError e = format_error_of([&] { r.read_packed_string("Event name"); });
        expect_offset(e, 0);
        EXPECT_NE(std::string(e.what()).find("Event name: Uncompressed data in message deemed too large"),
                  std::string::npos)
            << e.what();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Headers, BinaryReaderAnnounced,
    testing::Values(AnnouncedCase{"AsDescribed", 1u << 20, 1u << 20, true},
                    AnnouncedCase{"OneBeyondTheDescribed", (1u << 20) + 1, 1u << 20, false},
                    AnnouncedCase{"AtTheCeiling", max_packed_text, max_packed_text, true},
                    AnnouncedCase{"BeyondTheCeiling", max_packed_text + 1, max_packed_text + 1, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BinaryReader, PackedStringIgnoresTrailingDataInsideTheItem) {
    Bytes packed = lz_compress("kept");
    packed.push_back(0x55);
    packed.push_back(0x66);
    const Bytes bytes = stored_packed(packed);
    BinaryReader r(bytes);
    EXPECT_EQ(r.read_packed_string("s"), "kept");
    EXPECT_EQ(r.remaining(), 0u);
}

TEST(BinaryReader, MalformedCompressedTextIsAFormatError) {
    Bytes bytes = {0};
    const Bytes item = stored_packed({5, 3, 'a', ((2 << 3) | 1) << 1});  // match before the start
    bytes.insert(bytes.end(), item.begin(), item.end());
    BinaryReader r(bytes);
    r.read_bool("lead");
    const FormatError e = format_error_of([&] { r.read_packed_string("Font name"); });
    expect_offset(e, 1);
    EXPECT_NE(std::string(e.what()).find("Malformed data while uncompressing"), std::string::npos);
}

TEST(BinaryReader, TextsOfOnePayloadShareADecodingBudget) {
    // Many tiny items each announcing the most their size allows: every one
    // passes on its own, but together they would decode to far more than the
    // payload could plausibly hold.
    Bytes header;
    append_varint(header, packed_string_limit(2));
    ASSERT_EQ(header.size(), 2u);
    const Bytes item = stored_packed(header);
    const uint64_t per_item = packed_string_limit(2);
    const size_t count = static_cast<size_t>((512ull << 20) / per_item);
    Bytes bytes;
    bytes.reserve(count * item.size());
    for (size_t i = 0; i < count; ++i) bytes.insert(bytes.end(), item.begin(), item.end());

    BinaryReader r(bytes);
    size_t read = 0;
    try {
        for (; read < count; ++read) r.read_packed_string("s");
        FAIL() << "all " << count << " items decoded";
    } catch (const FormatError& e) {
        expect_offset(e, read * item.size());
    }
    // The budget is far above what any real payload of this size decodes to.
    EXPECT_GT(read * per_item, uint64_t(256) << 20);
}

TEST(BinaryReader, ArbitraryBytesOnlyEverRaiseFormatError) {
    std::mt19937 rng(11);
    const Bytes valid = [] {
        BinaryWriter w;
        w.write_packed_string("uniform float beat; uniform float beat; uniform float beat;");
        const Bytes blob(40, 7);
        w.write_scrambled_bytes(blob.data(), blob.size());
        w.write_packed_string(std::string(300, 'z'));
        return w.take_bytes();
    }();
    int refused = 0, read_through = 0;
    for (int round = 0; round < 3000; ++round) {
        SCOPED_TRACE(round);
        Bytes bytes = valid;
        if (round % 2) {
            for (int flips = 1 + rng() % 4; flips > 0; --flips) bytes[rng() % bytes.size()] ^= 1u << (rng() % 8);
        } else {
            bytes.resize(rng() % 200);
            for (uint8_t& b : bytes) b = rng() & 0xFF;
        }
        BinaryReader r(bytes);
        try {
            while (r.remaining() > 0) {
                const size_t before = r.offset();
                if (rng() % 2) {
                    r.read_packed_string("s");
                    ASSERT_GE(r.offset(), before + 8);
                } else {
                    // The stored length is taken as is: exactly that many bytes follow.
                    const Bytes b = r.read_scrambled_bytes("b");
                    ASSERT_EQ(r.offset(), before + 8 + b.size());
                }
                ASSERT_LE(r.offset(), bytes.size());
            }
            ++read_through;
        } catch (const FormatError& e) {
            ++refused;
            ASSERT_LE(e.offset(), bytes.size()) << e.what();
        } catch (const std::exception& e) {
            FAIL() << "not a FormatError: " << e.what();
        }
    }
    // Both outcomes occur, or the rounds would not test what they claim.
    EXPECT_GT(refused, 100);
    EXPECT_GT(read_through, 100);
}

}  // namespace
}  // namespace qh
