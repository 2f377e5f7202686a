// Textures on a real GL context: decoded texels (premultiplied alpha, row
// order), images that do not decode, and blank textures.
#include <GL/glew.h>

#include <cstdio>
#include <vector>

#include "gl/gl_context.h"
#include "render/texture.h"
#include "support/fuzz_corpus.h"

namespace qh {
namespace {

using gltest::GlTest;
using gltest::near;
using gltest::Rgba;

class TextureGl : public GlTest {};

TEST_F(TextureGl, DecodedImagesUploadPremultipliedWithTheTopRowFirst) {
    struct Row {
        const char* name;
        int w, h;
        std::vector<Rgba> pixels;  // top row first
        bool with_alpha;
        std::vector<Rgba> expected;
    };
    const Row rows[] = {
        {"half-transparent red is premultiplied", 2, 1, {{255, 0, 0, 128}, {0, 255, 0, 255}}, true,
         {{128, 0, 0, 128}, {0, 255, 0, 255}}},
        {"fully transparent colour becomes black", 1, 1, {{90, 200, 30, 0}}, true, {{0, 0, 0, 0}}},
        {"no alpha channel gives opaque texels", 2, 1, {{10, 20, 30, 7}, {200, 100, 50, 0}}, false,
         {{10, 20, 30, 255}, {200, 100, 50, 255}}},
        {"top row is texture row 0", 1, 2, {{255, 0, 0, 255}, {0, 0, 255, 255}}, true,
         {{255, 0, 0, 255}, {0, 0, 255, 255}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Texture t("image.png", gltest::encode_png(row.w, row.h, row.pixels, row.with_alpha));
        t.realize();
        ASSERT_NE(t.gl_name(), 0u);
        EXPECT_EQ(t.gpu.width, row.w);
        EXPECT_EQ(t.gpu.height, row.h);
        int w = 0, h = 0;
        const std::vector<Rgba> texels = gltest::texture_texels(t.gl_name(), &w, &h);
        ASSERT_EQ(texels.size(), row.expected.size());
        for (size_t i = 0; i < texels.size(); ++i) {
            EXPECT_TRUE(near(texels[i], row.expected[i])) << "texel " << i;
        }
    }
}

// A BMP header (file and info header, 32 bits a pixel) claiming w x h pixels,
// with no pixels behind it.
std::vector<uint8_t> bmp_header(int32_t w, int32_t h) {
    std::vector<uint8_t> out = {'B', 'M'};
    auto put = [&](uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
    };
    put(70, 4), put(0, 4), put(54, 4);                                    // size, reserved, offset
    put(40, 4), put(uint32_t(w), 4), put(uint32_t(h), 4), put(1, 2), put(32, 2);  // info header
    for (int i = 0; i < 6; ++i) put(0, 4);
    out.resize(70, 0);
    return out;
}

// Images that do not decode leave no texture. Those whose header claims
// gigabytes are refused before the memory is asked for (the sanitizer run
// aborts on one allocation over 1 GiB).
TEST_F(TextureGl, UndecodableBytesGiveNoTexture) {
    const std::vector<uint8_t> png = gltest::encode_png(4, 4, std::vector<Rgba>(16, {1, 2, 3, 4}), true);
    const std::vector<uint8_t> found = test::fuzz_corpus_file("media/regress_texture_bmp_claims_gigabytes");
    ASSERT_EQ(found.size(), 51u);
    struct Row {
        const char* name;
        std::vector<uint8_t> bytes;
    };
    const Row rows[] = {
        {"empty", {}},
        {"not an image", {'h', 'e', 'l', 'l', 'o'}},
        {"truncated png", std::vector<uint8_t>(png.begin(), png.begin() + 24)},
        {"bmp claiming 60000 x 60000 pixels (14 GB)", bmp_header(60000, 60000)},
        {"bmp the fuzz target found (8.7 GB)", std::vector<uint8_t>(found.begin() + 1, found.end())},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Texture t("bad.png", row.bytes);
        t.gpu.width = t.gpu.height = 9;  // a decode that fails must not leave a size behind
        t.realize();
        EXPECT_EQ(t.gl_name(), 0u);
        EXPECT_EQ(t.gpu.width, 0);
        EXPECT_EQ(t.gpu.height, 0);
    }
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(TextureGl, BlankTextureIsNamedAfterItselfAndStartsTransparent) {
    Texture sound(1024, 2);
    sound.realize();
    char expected[96];
    std::snprintf(expected, sizeof expected, "Texture %p (1024 x 2)", static_cast<const void*>(&sound));
    EXPECT_EQ(sound.name, expected);
    ASSERT_NE(sound.gl_name(), 0u);
    int w = 0, h = 0;
    const std::vector<Rgba> texels = gltest::texture_texels(sound.gl_name(), &w, &h);
    EXPECT_EQ(w, 1024);
    EXPECT_EQ(h, 2);
    size_t non_zero = 0;
    for (const Rgba& c : texels) non_zero += !(c == Rgba{});
    EXPECT_EQ(non_zero, 0u);

    Texture nothing(0, 2);
    nothing.realize();
    EXPECT_EQ(nothing.gl_name(), 0u);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

}  // namespace
}  // namespace qh
