// The header read that stands between an untrusted glTF image and the
// decoder: format and size, and the refusal of sizes that would take
// gigabytes to decode; then the decoder itself, which needs no GL.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include <SDL.h>
#include <SDL_image.h>

#include "scene3d/image_decode.h"
#include "scene3d/image_header.h"

namespace qh {
namespace {

void put_be(std::vector<uint8_t>& out, uint32_t v, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) out.push_back(uint8_t(v >> (8 * i)));
}

std::vector<uint8_t> png(uint32_t w, uint32_t h, const char* chunk = "IHDR") {
    std::vector<uint8_t> b = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    put_be(b, 13, 4);
    b.insert(b.end(), chunk, chunk + 4);
    put_be(b, w, 4);
    put_be(b, h, 4);
    b.insert(b.end(), {8, 6, 0, 0, 0});  // depth, colour type, methods
    put_be(b, 0, 4);                      // CRC (not checked here)
    return b;
}

// SOI, an APP0 segment, optional stray bytes, then a frame header `sof`.
std::vector<uint8_t> jpeg(uint8_t sof, uint32_t w, uint32_t h, bool stray = false) {
    std::vector<uint8_t> b = {0xFF, 0xD8, 0xFF, 0xE0};
    put_be(b, 16, 2);
    b.insert(b.end(), {'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0});
    if (stray) b.insert(b.end(), {0x00, 0x12, 0xFF, 0xFF});  // garbage, then fill bytes
    b.insert(b.end(), {0xFF, sof});
    put_be(b, 17, 2);
    b.push_back(8);
    put_be(b, h, 2);
    put_be(b, w, 2);
    b.insert(b.end(), {3, 1, 0x22, 0, 2, 0x11, 1, 3, 0x11, 1});
    b.insert(b.end(), {0xFF, 0xDA});
    return b;
}

struct HeaderRow {
    const char* name;
    std::vector<uint8_t> bytes;
    ImageFormat format;
    uint32_t width, height;
    const char* problem;  // part of the refusal; "" when usable
};
void PrintTo(const HeaderRow& row, std::ostream* os) { *os << row.name; }

class ImageHeaders : public testing::TestWithParam<HeaderRow> {};

TEST_P(ImageHeaders, Read) {
    const HeaderRow& row = GetParam();
    const ImageHeader h = read_image_header(row.bytes);
    EXPECT_EQ(h.format, row.format);
    if (*row.problem == '\0') {
        EXPECT_EQ(h.problem, "");
        EXPECT_EQ(h.width, row.width);
        EXPECT_EQ(h.height, row.height);
    } else {
        EXPECT_NE(h.problem.find(row.problem), std::string::npos) << h.problem;
    }
}

std::vector<uint8_t> jpeg_without_frame() {
    std::vector<uint8_t> b = {0xFF, 0xD8, 0xFF, 0xDB};
    put_be(b, 4, 2);
    b.insert(b.end(), {0, 0, 0xFF, 0xDA, 0, 2});
    return b;
}

std::vector<uint8_t> cut(std::vector<uint8_t> b, size_t n) {
    b.resize(n);
    return b;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ImageHeaders,
    testing::Values(
        HeaderRow{"png", png(640, 480), ImageFormat::png, 640, 480, ""},
        HeaderRow{"png_at_the_limit", png(8192, 8192), ImageFormat::png, 8192, 8192, ""},
        HeaderRow{"png_past_the_limit", png(8193, 8192), ImageFormat::png, 0, 0, "more than"},
        HeaderRow{"png_gigantic", png(0x7FFFFFFF, 0x7FFFFFFF), ImageFormat::png, 0, 0, "more than"},
        HeaderRow{"png_long_and_thin", png(1u << 30, 1), ImageFormat::png, 0, 0, "more than"},
        HeaderRow{"png_zero_width", png(0, 10), ImageFormat::png, 0, 0, "no size"},
        HeaderRow{"png_other_first_chunk", png(16, 16, "IDAT"), ImageFormat::png, 0, 0, "IHDR"},
        HeaderRow{"png_truncated", cut(png(16, 16), 20), ImageFormat::png, 0, 0, "IHDR"},
        HeaderRow{"jpeg_baseline", jpeg(0xC0, 320, 200), ImageFormat::jpeg, 320, 200, ""},
        HeaderRow{"jpeg_progressive", jpeg(0xC2, 33, 17), ImageFormat::jpeg, 33, 17, ""},
        HeaderRow{"jpeg_after_stray_bytes", jpeg(0xC1, 64, 48, true), ImageFormat::jpeg, 64, 48, ""},
        HeaderRow{"jpeg_gigantic", jpeg(0xC0, 65500, 65500), ImageFormat::jpeg, 0, 0, "more than"},
        HeaderRow{"jpeg_height_from_a_later_marker", jpeg(0xC0, 100, 0), ImageFormat::jpeg, 0, 0, "no size"},
        // DHT (C4) shares the range of frame markers but is not one.
        HeaderRow{"jpeg_table_is_no_frame", jpeg(0xC4, 100, 100), ImageFormat::jpeg, 0, 0, "no frame header"},
        HeaderRow{"jpeg_scan_before_frame", jpeg_without_frame(), ImageFormat::jpeg, 0, 0, "no frame header"},
        HeaderRow{"jpeg_truncated_frame", cut(jpeg(0xC0, 100, 100), 26), ImageFormat::jpeg, 0, 0, "no frame header"},
        HeaderRow{"gif", {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0}, ImageFormat::unknown, 0, 0, "unknown image format"},
        HeaderRow{"empty", {}, ImageFormat::unknown, 0, 0, "unknown image format"}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------- decoding

// A 2 x 1 image, red half transparent then opaque blue, encoded by the image library.
std::vector<uint8_t> encoded(bool jpeg) {
    SDL_Surface* s = SDL_CreateRGBSurfaceWithFormat(0, 2, 1, 32, SDL_PIXELFORMAT_RGBA32);
    const uint8_t px[8] = {255, 0, 0, 128, 0, 0, 255, 255};
    std::memcpy(s->pixels, px, sizeof px);
    std::vector<uint8_t> out(4096);
    SDL_RWops* rw = SDL_RWFromMem(out.data(), int(out.size()));
    EXPECT_EQ(jpeg ? IMG_SaveJPG_RW(s, rw, 0, 100) : IMG_SavePNG_RW(s, rw, 0), 0) << IMG_GetError();
    out.resize(size_t(SDL_RWtell(rw)));
    SDL_RWclose(rw);
    SDL_FreeSurface(s);
    return out;
}

struct DecodeRow {
    const char* name;
    std::vector<uint8_t> bytes;
    uint64_t budget;
    bool decodes;
    const char* problem;  // part of the refusal when it does not decode
};
void PrintTo(const DecodeRow& row, std::ostream* os) { *os << row.name; }

class ImageDecode : public testing::TestWithParam<DecodeRow> {};

TEST_P(ImageDecode, WithinItsLimits) {
    const DecodeRow& row = GetParam();
    ImageBudget budget{row.budget};
    std::string problem;
    const DecodedImage img = decode_rgba_image(row.bytes, budget, problem);
    EXPECT_EQ(img.pixels != nullptr, row.decodes) << problem;
    if (row.decodes) {
        EXPECT_EQ(img.width, 2);
        EXPECT_EQ(img.height, 1);
        EXPECT_EQ(budget.bytes_left, row.budget - 8);
    } else {
        EXPECT_NE(problem.find(row.problem), std::string::npos) << problem;
        EXPECT_EQ(budget.bytes_left, row.budget);
    }
}

std::vector<uint8_t> truncated_png() {
    std::vector<uint8_t> b = encoded(false);
    b.resize(b.size() - 20);
    return b;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ImageDecode,
    testing::Values(DecodeRow{"png", encoded(false), 1000, true, ""},
                    DecodeRow{"jpeg", encoded(true), 1000, true, ""},
                    DecodeRow{"budget_spent", encoded(false), 7, false, "MiB decoded"},
                    DecodeRow{"gigantic_header", png(100000, 100000), 1ull << 40, false, "more than"},
                    DecodeRow{"header_without_image", png(16, 16), 10000, false, "does not decode"},
                    DecodeRow{"truncated", truncated_png(), 1000, false, "does not decode"},
                    DecodeRow{"gif", {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0}, 1000, false, "unknown"}),
    [](const auto& info) { return std::string(info.param.name); });

// glTF colours are straight: the half transparent red stays red, not darkened.
TEST(ImageDecode, AlphaIsNotPremultiplied) {
    ImageBudget budget;
    std::string problem;
    const DecodedImage img = decode_rgba_image(encoded(false), budget, problem);
    ASSERT_TRUE(img.pixels) << problem;
    const std::vector<uint8_t> px(img.pixels, img.pixels + 8);
    EXPECT_EQ(px, (std::vector<uint8_t>{255, 0, 0, 128, 0, 0, 255, 255}));
}

}  // namespace
}  // namespace qh
