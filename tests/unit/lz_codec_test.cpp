// The string codec: its exact byte output, round trips, resumable decoding and
// the two decoder errors.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "package/lz_codec.h"

namespace qh {
namespace {

using Bytes = std::vector<uint8_t>;

std::string text_of(const Bytes& b) { return std::string(b.begin(), b.end()); }

Bytes bytes_of(std::string_view s) { return Bytes(s.begin(), s.end()); }

Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes varint(uint64_t v) {
    Bytes out;
    append_varint(out, v);
    return out;
}

struct Decoded {
    LzStatus status;
    std::string text;
    Bytes trailing;
};

Decoded decode(const Bytes& packed, uint64_t max_output = 0) {
    DecoderState st;
    st.max_output = max_output;
    Decoded d;
    d.status = lz_decompress(st, packed.data(), packed.size(), &d.trailing);
    d.text = text_of(st.output);
    return d;
}

// Texts of the kinds stored in a package, from a fixed seed.
std::string random_text(std::mt19937& rng, size_t n) {
    std::string s(n, '\0');
    for (char& c : s) c = static_cast<char>(rng() & 0xFF);
    return s;
}

std::string repetitive_text(std::mt19937& rng, size_t n) {
    static const char* const words[] = {"uniform ", "vec3 ", "float ", "beat", " * ",
                                        "sin(",    ");\n", "tex",    "0.5", "    "};
    std::string s;
    while (s.size() < n) s += words[rng() % 10];
    s.resize(n);
    return s;
}

std::string binary_text(std::mt19937& rng, size_t n) {
    // Mostly zeros and small values with occasional copies of earlier spans,
    // like vertex data or an image row.
    std::string s;
    while (s.size() < n) {
        const uint32_t r = rng() % 8;
        if (r == 0 && s.size() > 16) {
            const size_t from = rng() % (s.size() - 8);
            const size_t len = 1 + rng() % std::min<size_t>(s.size() - from, 300);
            s += s.substr(from, len);
        } else if (r < 4) {
            s.append(1 + rng() % 20, '\0');
        } else {
            s += static_cast<char>(rng() % 4);
        }
    }
    s.resize(n);
    return s;
}

// One token of a compressed stream, as the decoder sees it.
struct Token {
    bool literal;
    uint64_t at;      // output position where the token starts
    uint64_t length;  // bytes produced
    bool long_form;   // match with a second varint
};

// Splits a well-formed compressed stream into its tokens.
std::vector<Token> tokens_of(const Bytes& packed, uint64_t& header) {
    size_t i = 0;
    auto next = [&] {
        uint64_t v = 0;
        for (unsigned shift = 0;; shift += 7) {
            const uint8_t b = packed.at(i++);
            v |= uint64_t(b & 0x7F) << shift;
            if (!(b & 0x80)) return v;
        }
    };
    header = next();
    std::vector<Token> out;
    uint64_t pos = 0;
    while (i < packed.size()) {
        const uint64_t v = next();
        Token t{(v & 1) != 0, pos, 0, false};
        if (t.literal) {
            t.length = v >> 1;
            i += t.length;
        } else {
            const uint64_t c = (v >> 1) & 7;
            t.long_form = c == 0;
            t.length = (t.long_form ? next() : c) + 4;
        }
        pos += t.length;
        out.push_back(t);
    }
    return out;
}

// --- exact output ----------------------------------------------------------

struct VectorCase {
    const char* name;
    std::string text;
    Bytes packed;
};

class LzCodecVectors : public testing::TestWithParam<VectorCase> {};

TEST_P(LzCodecVectors, CompressesToTheseBytesAndBack) {
    const VectorCase& c = GetParam();
    EXPECT_EQ(lz_compress(c.text), c.packed);
    const Decoded d = decode(c.packed);
    EXPECT_EQ(d.status, LzStatus::complete);
    EXPECT_EQ(d.text, c.text);
    EXPECT_TRUE(d.trailing.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Pinned, LzCodecVectors,
    testing::Values(
        VectorCase{"Empty", "", {0x00}},
        VectorCase{"FourBytesAreOneLiteral", "abcd", {0x04, 0x09, 'a', 'b', 'c', 'd'}},
        // Header 100, literal "A", then offset 1 length 99 in the long form.
        VectorCase{"HundredEqualBytes", std::string(100, 'A'), {0x64, 0x03, 0x41, 0x10, 0x5F}},
        // Length 11 still fits the short form: ((11 << 3) | 7) << 1 = 190.
        VectorCase{"Length11ShortForm",
                   "abcdefghijkabcdefghijk",
                   concat({{22, 23}, bytes_of("abcdefghijk"), {0xBE, 0x01}})},
        // Length 12 takes the long form: 12 << 4 = 192, then 12 - 4.
        VectorCase{"Length12LongForm",
                   "abcdefghijklabcdefghijkl",
                   concat({{24, 25}, bytes_of("abcdefghijkl"), {0xC0, 0x01, 0x08}})},
        // The repeat of "abcd" lies within the last four bytes: no match.
        VectorCase{"NoMatchInLastFourBytes", "abcdXabcd", concat({{9, 19}, bytes_of("abcdXabcd")})},
        // Five bytes left is enough for a match.
        VectorCase{"MatchOfFiveAtTheEnd",
                   "abcdeXabcde",
                   concat({{11, 13}, bytes_of("abcdeX"), {((6 << 3) | 1) << 1}})}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LzCodec, VarintIsMinimalLeb128) {
    EXPECT_EQ(varint(0), Bytes({0x00}));
    EXPECT_EQ(varint(127), Bytes({0x7F}));
    EXPECT_EQ(varint(128), Bytes({0x80, 0x01}));
    EXPECT_EQ(varint(16384), Bytes({0x80, 0x80, 0x01}));
    EXPECT_EQ(varint(UINT64_MAX),
              Bytes({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x01}));
}

// --- round trips -----------------------------------------------------------

struct TextKind {
    const char* name;
    std::string (*make)(std::mt19937&, size_t);
};

const TextKind text_kinds[] = {
    {"random", random_text}, {"repetitive", repetitive_text}, {"binary", binary_text}};
const size_t text_sizes[] = {0, 1, 4, 5, 6, 11, 12, 13, 17, 100, 127, 128, 1000, 4095, 65536, 300000};

TEST(LzCodec, RoundTripsTextsOfEveryKindAndSize) {
    std::mt19937 rng(20240611);
    for (const TextKind& kind : text_kinds) {
        for (size_t n : text_sizes) {
            SCOPED_TRACE(std::string(kind.name) + " of " + std::to_string(n) + " bytes");
            const std::string text = kind.make(rng, n);
            const Bytes packed = lz_compress(text);
            const Decoded d = decode(packed);
            EXPECT_EQ(d.status, LzStatus::complete);
            EXPECT_TRUE(d.text == text);
            if (kind.make == repetitive_text && n >= 4095) {
                EXPECT_LT(packed.size(), n / 2);
            }
        }
    }
}

TEST(LzCodec, TokensFollowTheFormatRules) {
    std::mt19937 rng(7);
    for (const TextKind& kind : text_kinds) {
        for (size_t n : text_sizes) {
            SCOPED_TRACE(std::string(kind.name) + " of " + std::to_string(n) + " bytes");
            const std::string text = kind.make(rng, n);
            uint64_t header = 0;
            const std::vector<Token> tokens = tokens_of(lz_compress(text), header);
            EXPECT_EQ(header, n);
            uint64_t end = 0;
            bool previous_literal = false;
            for (const Token& t : tokens) {
                if (t.literal) {
                    EXPECT_GE(t.length, 1u);
                    EXPECT_FALSE(previous_literal) << "two literal runs in a row at " << t.at;
                } else {
                    EXPECT_LE(t.at + 5, n) << "match starting in the last four bytes";
                    EXPECT_GE(t.length, 5u);
                    EXPECT_EQ(t.long_form, t.length > 11) << "at " << t.at;
                }
                previous_literal = t.literal;
                end = t.at + t.length;
            }
            EXPECT_EQ(end, n);
        }
    }
}

// --- resumable decoding ----------------------------------------------------

TEST(LzCodec, ByteByByteDecodingEqualsOneShot) {
    std::mt19937 rng(99);
    for (const TextKind& kind : text_kinds) {
        for (size_t n : {size_t(0), size_t(3), size_t(200), size_t(5000)}) {
            SCOPED_TRACE(std::string(kind.name) + " of " + std::to_string(n) + " bytes");
            const std::string text = kind.make(rng, n);
            const Bytes packed = lz_compress(text);
            DecoderState st;
            size_t header_bytes = varint(n).size();
            for (size_t i = 0; i < packed.size(); ++i) {
                const LzStatus status = lz_decompress(st, &packed[i], 1);
                if (i + 1 < header_bytes) {
                    ASSERT_EQ(status, LzStatus::not_started) << "byte " << i;
                } else if (i + 1 < packed.size()) {
                    ASSERT_EQ(status, LzStatus::incomplete) << "byte " << i;
                    ASSERT_EQ(st.output.size(), n);
                } else {
                    ASSERT_EQ(status, LzStatus::complete);
                }
            }
            EXPECT_TRUE(text_of(st.output) == text);
        }
    }
}

TEST(LzCodec, RandomChunksDecodeLikeOneShot) {
    std::mt19937 rng(5);
    const std::string text = binary_text(rng, 100000) + repetitive_text(rng, 100000);
    const Bytes packed = lz_compress(text);
    for (int round = 0; round < 20; ++round) {
        DecoderState st;
        LzStatus status = LzStatus::not_started;
        for (size_t i = 0; i < packed.size();) {
            const size_t chunk = std::min<size_t>(packed.size() - i, 1 + rng() % 64);
            status = lz_decompress(st, packed.data() + i, chunk);
            i += chunk;
        }
        EXPECT_EQ(status, LzStatus::complete);
        EXPECT_TRUE(text_of(st.output) == text);
    }
}

TEST(LzCodec, BytesAfterTheMessageAreTrailingData) {
    const Bytes first = lz_compress("the first message, the first message");
    const Bytes second = lz_compress("and a second one");
    const Decoded d = decode(concat({first, second}));
    EXPECT_EQ(d.status, LzStatus::complete);
    EXPECT_EQ(d.text, "the first message, the first message");
    EXPECT_EQ(d.trailing, second);
    const Decoded rest = decode(d.trailing);
    EXPECT_EQ(rest.text, "and a second one");
    EXPECT_TRUE(rest.trailing.empty());
}

TEST(LzCodec, StateIsReusableAfterACompleteMessage) {
    DecoderState st;
    const Bytes a = lz_compress(std::string(50, 'x'));
    const Bytes b = lz_compress("short");
    ASSERT_EQ(lz_decompress(st, a.data(), a.size()), LzStatus::complete);
    ASSERT_EQ(lz_decompress(st, b.data(), b.size()), LzStatus::complete);
    EXPECT_EQ(text_of(st.output), "short");
}

TEST(LzCodec, TokensStoppingEarlyLeaveAZeroTail) {
    // Header 10, then only the literal "abc".
    const Decoded d = decode(concat({{10, 7}, bytes_of("abc")}));
    EXPECT_EQ(d.status, LzStatus::incomplete);
    EXPECT_EQ(d.text, std::string("abc") + std::string(7, '\0'));

    // A literal cut short keeps what arrived.
    const Decoded cut = decode(concat({{10, 19}, bytes_of("abcd")}));
    EXPECT_EQ(cut.status, LzStatus::incomplete);
    EXPECT_EQ(cut.text, std::string("abcd") + std::string(6, '\0'));
}

TEST(LzCodec, EarlyStopAfterManyShortLiteralsLeavesAZeroTail) {
    // Enough input for the whole-input path, whose short literals are copied
    // wider than they are; the last few tokens and a cut varint follow.
    Bytes packed = {100};
    for (int i = 0; i < 20; ++i) packed.insert(packed.end(), {3, 'x'});
    packed.insert(packed.end(), 9, 0x80);
    const Decoded d = decode(packed);
    EXPECT_EQ(d.status, LzStatus::incomplete);
    EXPECT_EQ(d.text, std::string(20, 'x') + std::string(80, '\0'));
}

TEST(LzCodec, ZeroOffsetMatchAfterAShortLiteralStaysZero) {
    // The literal "x" is copied wide; the match at offset 0 that follows must
    // still see the zeros the byte-by-byte decoding sees.
    Bytes packed = {100, 3, 'x', 1 << 1};
    for (int i = 0; i < 20; ++i) packed.insert(packed.end(), {3, 'y'});
    const std::string expected = "x" + std::string(5, '\0') + std::string(20, 'y') + std::string(74, '\0');
    EXPECT_EQ(decode(packed).text, expected);
    DecoderState st;
    for (uint8_t b : packed) lz_decompress(st, &b, 1);
    EXPECT_EQ(text_of(st.output), expected);
}

TEST(LzCodec, MatchCopiesEqualByteByByteCopies) {
    std::mt19937 rng(17);
    for (uint64_t dist = 1; dist <= 30; ++dist) {
        for (uint64_t len = 5; len <= 70; ++len) {
            SCOPED_TRACE("offset " + std::to_string(dist) + " length " + std::to_string(len));
            std::string expected = random_text(rng, 30);
            for (uint64_t i = 0; i < len; ++i) expected += expected[expected.size() - dist];
            const std::string tail = random_text(rng, 40);
            expected += tail;

            Bytes packed = varint(expected.size());
            append_varint(packed, 2 * 30 + 1);
            packed.insert(packed.end(), expected.begin(), expected.begin() + 30);
            if (len <= 11) {
                append_varint(packed, ((dist << 3) | (len - 4)) << 1);
            } else {
                append_varint(packed, dist << 4);
                append_varint(packed, len - 4);
            }
            append_varint(packed, 2 * tail.size() + 1);
            packed.insert(packed.end(), tail.begin(), tail.end());

            ASSERT_EQ(decode(packed).text, expected);
        }
    }
}

TEST(LzCodec, PartialHeaderIsNotStarted) {
    const Decoded d = decode({0x80});
    EXPECT_EQ(d.status, LzStatus::not_started);
    EXPECT_TRUE(d.text.empty());
}

// --- malformed input -------------------------------------------------------

struct ErrorCase {
    const char* name;
    Bytes packed;
    uint64_t max_output;
    bool length_error;  // otherwise the runtime error
};

class LzCodecErrors : public testing::TestWithParam<ErrorCase> {};

TEST_P(LzCodecErrors, Raises) {
    const ErrorCase& c = GetParam();
    if (c.length_error) {
        try {
            decode(c.packed, c.max_output);
            FAIL() << "no error";
        } catch (const std::length_error& e) {
            EXPECT_STREQ(e.what(), "Uncompressed data in message deemed too large");
        }
    } else {
        try {
            decode(c.packed, c.max_output);
            FAIL() << "no error";
        } catch (const std::runtime_error& e) {
            EXPECT_STREQ(e.what(), "Malformed data while uncompressing");
        }
    }
}

const Bytes nine_continuations(9, 0xFF);

INSTANTIATE_TEST_SUITE_P(
    Malformed, LzCodecErrors,
    testing::Values(
        ErrorCase{"HeaderAboveMaximum", {100}, 99, true},
        ErrorCase{"HugeHeaderAboveMaximum", concat({nine_continuations, {0x01}}), 1u << 20, true},
        // Literal of three bytes into a two-byte output, even with no bytes after it.
        ErrorCase{"LiteralPastTheEnd", {2, 7, 'a', 'b', 'c'}, 0, false},
        ErrorCase{"LiteralPastTheEndBeforeItsBytes", {2, 7}, 0, false},
        // After "a", offset 2 reaches before the start.
        ErrorCase{"MatchBeforeTheStart", {5, 3, 'a', ((2 << 3) | 1) << 1}, 0, false},
        // After "a", five bytes from offset 1 into a five-byte output.
        ErrorCase{"MatchPastTheEnd", {5, 3, 'a', ((1 << 3) | 1) << 1}, 0, false},
        // Long form whose length overflows when 4 is added.
        ErrorCase{"MatchLengthOverflows",
                  concat({{5, 3, 'a', 0x10}, nine_continuations, {0x01}}),
                  0,
                  false},
        // Offset far beyond the output.
        ErrorCase{"HugeMatchOffset", concat({{5, 3, 'a'}, varint((uint64_t(1) << 60) | 2)}), 0, false},
        // Ten bytes carrying a bit beyond 64.
        ErrorCase{"OverlongHeaderVarint", concat({nine_continuations, {0x02}}), 0, false},
        ErrorCase{"ElevenByteVarint", Bytes(11, 0x80), 0, false},
        ErrorCase{"OverlongTokenVarint", concat({{5}, Bytes(10, 0x80), {0x01}}), 0, false}),
    [](const auto& info) { return std::string(info.param.name); });

struct AcceptCase {
    const char* name;
    Bytes packed;
    uint64_t max_output;
    std::string text;
};

class LzCodecAccepts : public testing::TestWithParam<AcceptCase> {};

// The boundaries right next to the error cases above.
TEST_P(LzCodecAccepts, Decodes) {
    const AcceptCase& c = GetParam();
    const Decoded d = decode(c.packed, c.max_output);
    EXPECT_EQ(d.status, LzStatus::complete);
    EXPECT_EQ(d.text, c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Boundaries, LzCodecAccepts,
    testing::Values(AcceptCase{"HeaderAtMaximum", concat({{4, 9}, bytes_of("abcd")}), 4, "abcd"},
                    AcceptCase{"LiteralFillingTheOutput", {2, 5, 'a', 'b'}, 0, "ab"},
                    AcceptCase{"MatchFromTheFirstByte", {6, 3, 'a', ((1 << 3) | 1) << 1}, 0, "aaaaaa"},
                    AcceptCase{"OverlappingMatchOfPeriodTwo",
                               {9, 5, 'a', 'b', ((2 << 3) | 3) << 1},
                               0,
                               "ababababa"},
                    // Offset 0 copies each byte onto itself: the zeros stay.
                    AcceptCase{"ZeroOffsetMatch", {6, 3, 'a', 1 << 1}, 0, std::string("a") + std::string(5, '\0')},
                    AcceptCase{"NonMinimalVarint", {0x82, 0x00, 5, 'h', 'i'}, 0, "hi"},
                    AcceptCase{"TenByteVarintAtTheLimit",
                               concat({{1, 0x83}, Bytes(8, 0x80), {0x00}, {'z'}}),
                               0,
                               "z"}),
    [](const auto& info) { return std::string(info.param.name); });

// --- the size a message describes -----------------------------------------

struct WrittenCase {
    const char* name;
    std::string (*make)();
};

class LzDescribedSizeOfWriterOutput : public testing::TestWithParam<WrittenCase> {};

// Whatever the writer produces describes exactly the size it announces, so a
// reader bounding the announced size by it accepts every written text.
TEST_P(LzDescribedSizeOfWriterOutput, IsTheTextSize) {
    const std::string text = GetParam().make();
    const Bytes packed = lz_compress(text);
    EXPECT_EQ(lz_described_size(packed.data(), packed.size()), text.size());
    Bytes with_trailing = packed;
    with_trailing.insert(with_trailing.end(), {0x03, 'x', 0x10, 0x7F});
    EXPECT_EQ(lz_described_size(with_trailing.data(), with_trailing.size()), text.size());
}

INSTANTIATE_TEST_SUITE_P(
    Texts, LzDescribedSizeOfWriterOutput,
    testing::Values(
        WrittenCase{"Empty", [] { return std::string(); }},
        WrittenCase{"OneByte", [] { return std::string("q"); }},
        WrittenCase{"Random", [] { std::mt19937 r(5); return random_text(r, 3000); }},
        WrittenCase{"Repetitive", [] { std::mt19937 r(6); return repetitive_text(r, 20000); }},
        WrittenCase{"Binary", [] { std::mt19937 r(7); return binary_text(r, 20000); }},
        WrittenCase{"RunOf12000", [] { return std::string(12000, '='); }},
        WrittenCase{"PeriodThree100K", [] {
            std::string s;
            while (s.size() < 100000) s += "ab\n";
            return s;
        }},
        WrittenCase{"RunOf4MiB", [] { return std::string(4u << 20, '\0'); }}),
    [](const auto& info) { return std::string(info.param.name); });

struct DescribedCase {
    const char* name;
    Bytes packed;
    uint64_t described;
};

class LzDescribedSize : public testing::TestWithParam<DescribedCase> {};

// Counting stops where decoding would: at a token the decoder refuses, at the
// end of the input, at the announced size.
TEST_P(LzDescribedSize, StopsWhereTheDecoderStops) {
    const DescribedCase& c = GetParam();
    EXPECT_EQ(lz_described_size(c.packed.data(), c.packed.size()), c.described);
}

INSTANTIATE_TEST_SUITE_P(
    Messages, LzDescribedSize,
    testing::Values(
        DescribedCase{"NoInput", {}, 0},
        DescribedCase{"PartialHeader", {0x80}, 0},
        DescribedCase{"HeaderAlone", concat({varint(1u << 30)}), 0},
        DescribedCase{"LiteralCutShort", {10, 9, 'a', 'b'}, 2},
        DescribedCase{"LiteralPastTheAnnouncedSize", {2, 7, 'a', 'b', 'c'}, 0},
        DescribedCase{"ShortMatchAfterLiteral", {9, 5, 'a', 'b', ((2 << 3) | 3) << 1}, 9},
        DescribedCase{"MatchBeforeTheStart", {5, 3, 'a', ((2 << 3) | 1) << 1}, 1},
        DescribedCase{"MatchPastTheAnnouncedSize", {5, 3, 'a', ((1 << 3) | 1) << 1}, 1},
        DescribedCase{"ZeroOffsetMatchAtTheStart", {6, 1 << 1}, 5},
        // Nine bytes describing a mebibyte: the match length is a varint.
        DescribedCase{"LongMatch", concat({varint(1u << 20), {3, 'a', 1 << 4}, varint((1u << 20) - 5)}),
                      1u << 20},
        DescribedCase{"LongMatchLengthCutShort", concat({varint(1u << 20), {3, 'a', 1 << 4, 0x80}}), 1},
        DescribedCase{"MatchLengthOverflows",
                      concat({{5, 3, 'a', 0x10}, nine_continuations, {0x01}}),
                      1},
        DescribedCase{"OverlongTokenVarint", concat({{5}, Bytes(10, 0x80), {0x01}}), 0},
        DescribedCase{"OverlongHeaderVarint", concat({nine_continuations, {0x02}}), 0}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qh
