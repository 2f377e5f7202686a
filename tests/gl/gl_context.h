#pragma once
// The shared fixture of the GL tests: one hidden SDL window with a core GL
// context (the player's attributes), opened on first use and kept for the
// whole test program, a framebuffer object the tests draw into, and
// read-back helpers.
//
//   class MyTest : public qh::gltest::GlTest {};
//   TEST_F(MyTest, Draws) {
//       ...draw into the bound framebuffer...
//       EXPECT_TRUE(near(pixel(10, 5), {255, 0, 0, 255}));
//   }
//
// Each test starts with runtime().screen at width x height (window and render
// size alike), the viewport on it, blending on as the player sets it, and the
// test framebuffer (RGBA8 colour, depth-stencil, width x height) bound for
// drawing and reading, cleared to opaque black, with no GL error pending. The
// "back buffer" of the helpers below is that framebuffer: a hidden window's
// own back buffer need not hold what was drawn. Code that binds another
// framebuffer must bind back the one it found. A failed test leaves the
// framebuffer as a PNG in <build>/gl_failures/Suite.Test.png. Its alpha
// channel is real: it holds what blending left there. Run under Xvfb where
// there is no display.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "render/frame_context.h"

namespace qh {
class ShaderProgram;
}

namespace qh::gltest {

struct Rgba {
    uint8_t r = 0, g = 0, b = 0, a = 0;
    bool operator==(const Rgba&) const = default;
};
std::ostream& operator<<(std::ostream& out, const Rgba& c);

// Every channel within `tolerance` of the expected one.
testing::AssertionResult near(Rgba actual, Rgba expected, int tolerance = 1);

class GlTest : public testing::Test {
public:
    static constexpr int width = 64;
    static constexpr int height = 36;

    // The back buffer, bottom row first (GL's order).
    static std::vector<Rgba> read_back();
    // One pixel of the back buffer, y counted from the bottom.
    static Rgba pixel(int x, int y);
    // The same with alpha 0, to compare colours alone: the window may have no
    // alpha channel.
    static Rgba colour_at(int x, int y) {
        Rgba c = pixel(x, y);
        c.a = 0;
        return c;
    }
    // Writes the back buffer as PNG; returns the path.
    static std::string save_back_buffer(const std::string& file_name);

protected:
    void SetUp() override;
    void TearDown() override;
};

// A program of `fragment` and `vertex` (none: the player's default), built
// (no includes). `uniforms` become its definitions: name and default.
std::unique_ptr<ShaderProgram> build_program(
    const std::string& fragment, const std::vector<std::pair<std::string, float>>& uniforms = {},
    const std::string& vertex = {});

// The frame drawn at `beat` at runtime().screen as it is now, with no sound.
FrameContext frame_at(float beat);

// Encodes pixels (top row first) as a PNG, with or without an alpha channel.
std::vector<uint8_t> encode_png(int w, int h, const std::vector<Rgba>& pixels, bool with_alpha);

// The RGBA8 texels of a GL texture's level 0, first row first.
std::vector<Rgba> texture_texels(uint32_t texture, int* w = nullptr, int* h = nullptr);

}  // namespace qh::gltest
