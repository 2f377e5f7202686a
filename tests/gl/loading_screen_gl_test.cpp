// The loading screen's picture: the logo grey above the level, white and
// yellow below it, black bands beside it on a wide window.
#include <GL/glew.h>

#include <cstdlib>
#include <memory>
#include <set>
#include <vector>

#include "app/loading_screen.h"
#include "audio/sample_player.h"
#include "gl/gl_context.h"
#include "render/shader_program.h"

namespace qh {
namespace {

using gltest::GlTest;
using gltest::Rgba;

enum class Shade { black, grey, white, yellow, other };

Shade shade_of(Rgba c) {
    auto is = [&](int r, int g, int b) {
        return std::abs(c.r - r) <= 2 && std::abs(c.g - g) <= 2 && std::abs(c.b - b) <= 2;
    };
    if (is(0, 0, 0)) return Shade::black;
    if (is(128, 128, 128) || is(127, 127, 127)) return Shade::grey;
    if (is(255, 255, 255)) return Shade::white;
    if (is(255, 255, 0)) return Shade::yellow;
    return Shade::other;
}

struct Picture {
    std::set<int> lit;  // pixel indices that are not black
    int grey = 0, white = 0, yellow = 0, other = 0;
    bool bands_black = true;
};

class LoadingScreenTest : public GlTest {
protected:
    Picture draw(uint64_t read, uint64_t total) {
        glClear(GL_COLOR_BUFFER_BIT);
        loader_->draw(read, total, gltest::frame_at(0));
        Picture p;
        const std::vector<Rgba> pixels = read_back();
        // A square image in a 16:9 window leaves (width - height) / 2 columns
        // on each side; one column of margin for the filtering at its edge.
        const int band = (width - height) / 2 - 1;
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const int i = y * width + x;
                const Shade s = shade_of(pixels[static_cast<size_t>(i)]);
                if (s == Shade::black) continue;
                if (x < band || x >= width - band) p.bands_black = false;
                p.lit.insert(i);
                p.grey += s == Shade::grey;
                p.white += s == Shade::white;
                p.yellow += s == Shade::yellow;
                p.other += s == Shade::other;
            }
        }
        return p;
    }

    void SetUp() override {
        GlTest::SetUp();  // the context exists from here on
        loader_ = std::make_unique<LoadingScreen>(nullptr, nullptr, samples);
    }
    void TearDown() override {
        loader_.reset();
        GlTest::TearDown();
    }

    SamplePlayer samples;  // no mixer here: the sound just does not decode
    std::unique_ptr<LoadingScreen> loader_;
};

TEST_F(LoadingScreenTest, LevelRisesOverTheFirstHalfAndSinksOverTheSecond) {
    ASSERT_TRUE(loader_->program().usable()) << loader_->program().gpu.status_text;
    const Picture start = draw(0, 40);
    const Picture quarter = draw(10, 40);
    const Picture half = draw(20, 40);
    const Picture end = draw(40, 40);

    ASSERT_GT(start.grey, 20) << "no logo at the start";
    EXPECT_EQ(start.white + start.yellow + start.other, 0) << "a level at read 0";
    EXPECT_EQ(end.lit, start.lit) << "the finished screen is the grey logo again";
    EXPECT_EQ(end.white + end.yellow, 0);

    // At the top the whole logo is under the level: nothing grey, the same
    // pixels lit, white at the top band and yellow below.
    EXPECT_EQ(half.lit, start.lit);
    EXPECT_EQ(half.grey, 0);
    EXPECT_GT(half.white, 0);
    EXPECT_GT(half.yellow, 0);

    // Halfway up, part of the logo is grey and part is filled.
    EXPECT_GT(quarter.grey, 0);
    EXPECT_GT(quarter.white + quarter.yellow, 0);

    for (const Picture* p : {&start, &quarter, &half, &end}) {
        EXPECT_TRUE(p->bands_black) << "something drawn beside the logo";
    }
}

}  // namespace
}  // namespace qh
