// Text textures on a real GL context: what the font renderer leaves in the
// texture, the centring, when an upload happens, the update pass of the
// timeline, and the text on screen through an effect.
#include <GL/glew.h>
#include <SDL_ttf.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "document/demo_tables.h"
#include "gl/gl_context.h"
#include "playback/demo_playback.h"
#include "playback/gl_timeline_actions.h"
#include "support/sample_demo.h"

namespace qh {
namespace {

using gltest::GlTest;
using gltest::near;
using gltest::Rgba;

constexpr Rgba white{255, 255, 255, 255};
constexpr Rgba black{0, 0, 0, 255};

std::unique_ptr<Font> test_font(int32_t ptsize) {
    auto f = std::make_unique<Font>();
    f->name = "sans";
    f->font_buffer = ByteBuffer(test::test_font_bytes());
    f->ptsize = ptsize;
    f->open();
    return f;
}

std::unique_ptr<FontTexture> text_texture(Font* font, int32_t w, int32_t h, bool center = false) {
    auto t = std::make_unique<FontTexture>();
    t->name = "title";
    t->width = w;
    t->height = h;
    t->font = font;
    t->center = center;
    t->realize();
    return t;
}

// Texels of the texture, the text's top row first.
struct Image {
    int w = 0, h = 0;
    std::vector<Rgba> texels;
    const Rgba& at(int x, int y) const { return texels[static_cast<size_t>(y) * w + x]; }
    bool lit(int x, int y) const { return at(x, y).a != 0; }
    int lit_count() const {
        return static_cast<int>(std::count_if(texels.begin(), texels.end(), [](Rgba c) { return c.a != 0; }));
    }
    // Bounds of the lit texels; {w, h, -1, -1} when there are none.
    struct Box { int x0, y0, x1, y1; };
    Box lit_box() const {
        Box b{w, h, -1, -1};
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                if (lit(x, y)) b = {std::min(b.x0, x), std::min(b.y0, y), std::max(b.x1, x), std::max(b.y1, y)};
        return b;
    }
};

Image image_of(const FontTexture& t) {
    Image i;
    i.texels = gltest::texture_texels(t.gl_name(), &i.w, &i.h);
    return i;
}

class TextGl : public GlTest {
protected:
    void SetUp() override {
        GlTest::SetUp();
        if (!TTF_WasInit()) {
            ASSERT_EQ(TTF_Init(), 0) << TTF_GetError();
        }
    }
};

TEST_F(TextGl, TextIsWhiteTopAlignedAndNothingElseIsLit) {
    auto font = test_font(24);
    ASSERT_NE(font->handle(), nullptr) << font->gpu.error;
    const int line = TTF_FontLineSkip(font->handle());
    auto t = text_texture(font.get(), 160, 96);
    ASSERT_NE(t->gl_name(), 0u) << t->gpu.problem;

    struct Row {
        const char* name;
        std::string text;
        int lines;
    };
    const Row rows[] = {{"one line", "HI", 1}, {"a newline starts a second line", "HI\nIH", 2}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        t->set_text(row.text);
        const Image img = image_of(*t);
        ASSERT_EQ(img.w, 160);
        int full = 0;
        for (const Rgba& c : img.texels) {
            // Premultiplied white: every channel is the coverage; nothing
            // tinted, nothing lit without coverage.
            ASSERT_TRUE(near(c, {c.a, c.a, c.a, c.a}));
            full += c == white;
        }
        EXPECT_GT(full, 20) << "no fully covered texels";
        const Image::Box box = img.lit_box();
        // Top-aligned from the left edge; below the last line nothing.
        EXPECT_LT(box.y0, line / 2);
        EXPECT_LT(box.x0, 6);
        EXPECT_LT(box.y1, row.lines * line);
        EXPECT_GE(box.y1, (row.lines - 1) * line);
    }

    // The second line begins at the block's left edge as the first does.
    t->set_text("I\nWWW");
    const Image img = image_of(*t);
    auto first_lit_x = [&](int y0, int y1) {
        int x0 = img.w;
        for (int y = y0; y < y1; ++y)
            for (int x = 0; x < img.w; ++x)
                if (img.lit(x, y)) x0 = std::min(x0, x);
        return x0;
    };
    EXPECT_LT(std::abs(first_lit_x(0, line) - first_lit_x(line, 2 * line)), 4);
}

// Lines of glyphs with matching side bearings (lit one texel in from either
// side of their block): centred, the lit area has equal margins, give or
// take the odd texel of an odd spare width.
TEST_F(TextGl, CentringLeavesEqualMarginsBesideTheText) {
    auto font = test_font(20);
    ASSERT_NE(font->handle(), nullptr) << font->gpu.error;
    constexpr int width = 200;
    struct Row {
        const char* name;
        std::string text;
        bool centred;  // false: stays where the left-aligned text is
    };
    const Row rows[] = {
        {"even spare width", "HIH", true},
        {"odd spare width", "HNH", true},
        // The font renderer makes a block of several lines as wide as the
        // wrap width, so such a block has nothing to spare and stays put.
        {"two lines", "A\nWWWW", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        auto left = text_texture(font.get(), width, 64, false);
        auto centred = text_texture(font.get(), width, 64, true);
        left->set_text(row.text);
        centred->set_text(row.text);
        const Image a = image_of(*left), b = image_of(*centred);
        ASSERT_GT(a.lit_count(), 0);
        const Image::Box lit = b.lit_box();
        const int shift = lit.x0 - a.lit_box().x0;
        if (row.centred) {
            EXPECT_LE(std::abs(lit.x0 - (width - 1 - lit.x1)), 1) << "margins " << lit.x0 << " and "
                                                                   << width - 1 - lit.x1;
        } else {
            EXPECT_EQ(shift, 0);
        }
        // Moved whole: every column is the left image's column `shift` before it.
        for (int y = 0; y < b.h; ++y)
            for (int x = std::max(shift, 0); x < std::min(b.w, a.w + shift); ++x)
                ASSERT_EQ(b.at(x, y), a.at(x - shift, y)) << "at " << x << "," << y << " shift " << shift;
    }
}

TEST_F(TextGl, OnlyAChangedTextIsRenderedAndUploaded) {
    auto font = test_font(16);
    struct Row {
        const char* name;
        std::vector<std::string> texts;
        uint64_t uploads;
        bool lit_after;
    };
    const Row rows[] = {
        {"the same text twice", {"Hello", "Hello"}, 1, true},
        {"changed and changed back", {"A", "B", "A"}, 3, true},
        {"empty on a new texture", {""}, 0, false},
        {"cleared once", {"A", "", ""}, 2, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        auto t = text_texture(font.get(), 64, 32);
        for (const std::string& text : row.texts) t->set_text(text);
        EXPECT_EQ(t->gpu.uploads, row.uploads);
        EXPECT_EQ(image_of(*t).lit_count() > 0, row.lit_after);
    }
}

// The timeline's update pass with the text hook as the player installs it.
struct TextTimeline {
    std::vector<std::unique_ptr<Event>> events;
    std::vector<std::unique_ptr<EventGroup>> groups;
    std::unique_ptr<ShaderProgram> program = gltest::build_program(
        "#version 150\nout vec4 fragColor;\nvoid main() { fragColor = vec4(0.0); }\n");
    Effect effect{"text", program.get(), nullptr, nullptr, false, false, nullptr};
    std::string scratch;

    Event* effect_event(const std::string& name, float start, float end) {
        auto& e = events.emplace_back(std::make_unique<Event>());
        e->name = name;
        e->effect = &effect;
        e->start_beat = start;
        e->end_beat = end;
        return e.get();
    }
    void play(float beat) {
        TimelineDispatch dispatch(events);
        GlTimelineActions actions;
        actions.update_texts_hook = [this](const Event& e, float b, const Event* parent,
                                           const FrameContext& frame) {
            update_event_texts(e, b, parent, frame.beat, scratch);
        };
        dispatch.play(gltest::frame_at(beat), actions);
    }
};

TEST_F(TextGl, AStaticTextUploadsOnceAndATypedTextOncePerNewCharacter) {
    auto font = test_font(16);
    auto t = text_texture(font.get(), 128, 32);
    t->chars_per_beat = 1;
    TextTimeline tl;
    tl.effect.font_textures = {t.get()};
    Event* e = tl.effect_event("Typed", 0, 8);
    e->curves["title"].control_points = {{0, 0, "Hello"}, {5, 0, "Hello"}};
    // One character a beat: 1, 1, 2, 2, 3 characters.
    for (float beat : {0.0f, 0.5f, 1.0f, 1.5f, 2.0f}) tl.play(beat);
    EXPECT_EQ(t->gpu.text, "Hel");
    EXPECT_EQ(t->gpu.uploads, 3u);
    // From the last point on the text stands still: one more upload at most.
    for (float beat : {5.0f, 5.5f, 6.0f, 7.0f}) tl.play(beat);
    EXPECT_EQ(t->gpu.text, "Hello");
    EXPECT_EQ(t->gpu.uploads, 4u);
}

TEST_F(TextGl, AGroupMemberClearsWhenItsBeatLeavesItsWindowAndAnEventKeepsItsText) {
    auto font = test_font(16);
    auto member_text = text_texture(font.get(), 64, 32);
    auto own_text = text_texture(font.get(), 64, 32);
    TextTimeline tl;
    tl.effect.font_textures = {member_text.get()};
    // The member is played only through the group (16..20 -> 100..104).
    Event* member = tl.effect_event("Intro", 16, 20);
    member->visible = false;
    member->curves["title"].control_points = {{0, 0, "own"}};
    auto& g = tl.groups.emplace_back(std::make_unique<EventGroup>());
    g->events = {member};
    auto& player = tl.events.emplace_back(std::make_unique<Event>());
    player->type = Event::type_group;
    player->group = g.get();
    player->start_beat = 100;
    player->end_beat = 110;
    player->curves["Intro.title"].control_points = {{0, 0, "HI"}};
    // An effect event on the main timeline, with its own texture.
    Effect other("other", tl.program.get(), nullptr, nullptr, false, false, nullptr);
    other.font_textures = {own_text.get()};
    Event* plain = tl.effect_event("Plain", 0, 4);
    plain->effect = &other;
    plain->curves["title"].control_points = {{0, 0, "HI"}};

    struct Row {
        const char* name;
        float beat;
        std::string member, plain;
        uint64_t member_uploads;
    };
    const Row rows[] = {
        {"plain event shows its text", 2, "", "HI", 0},
        {"member takes the override", 101, "HI", "HI", 1},
        {"member beat 20 is still inside", 104, "HI", "HI", 1},
        {"member beat 20.5 is outside: cleared", 104.5f, "", "HI", 2},
        {"stays cleared without uploading again", 106, "", "HI", 2},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        tl.play(row.beat);
        EXPECT_EQ(member_text->gpu.text, row.member);
        EXPECT_EQ(member_text->gpu.uploads, row.member_uploads);
        EXPECT_EQ(image_of(*member_text).lit_count() > 0, !row.member.empty());
        // Not active after beat 4, so never updated again: the text stays.
        EXPECT_EQ(own_text->gpu.text, row.plain);
        EXPECT_GT(image_of(*own_text).lit_count(), 0);
    }
}

TEST_F(TextGl, AFontThatDoesNotOpenLeavesItsTextsTransparent) {
    auto broken = std::make_unique<Font>();
    broken->name = "broken";
    broken->font_buffer = ByteBuffer(test::bytes_of("not a font at all"));
    broken->ptsize = 16;
    testing::internal::CaptureStdout();
    broken->open();
    const std::string said = testing::internal::GetCapturedStdout();
    EXPECT_EQ(broken->handle(), nullptr);
    EXPECT_FALSE(broken->gpu.error.empty());
    EXPECT_NE(said.find("Warn: font \"broken\" (16 pt) does not open: "), std::string::npos) << said;

    auto t = text_texture(broken.get(), 64, 32);
    t->set_text("Hello");
    EXPECT_EQ(t->gpu.uploads, 1u);  // the cleared surface
    EXPECT_EQ(image_of(*t).lit_count(), 0);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(TextGl, TheEffectShowsItsTextTextureWhiteWhereTheTextIs) {
    Demo demo;
    demo.fonts.push_back(test_font(28));
    auto t = std::make_unique<FontTexture>();
    t->name = "title";
    t->width = width;
    t->height = height;
    t->font = demo.fonts[0].get();
    // An image texture first, so the text texture is on unit 1 ("tex1").
    demo.textures.push_back(std::make_unique<Texture>(1, 1));
    demo.shaders.push_back(gltest::build_program(
        "#version 150\nout vec4 fragColor;\nuniform sampler2D tex1; uniform vec2 resolution;\n"
        "void main() {\n"
        "  vec2 uv = gl_FragCoord.xy / resolution;\n"
        "  fragColor = texture(tex1, vec2(uv.x, 1.0 - uv.y));\n"  // the text's top row up
        "}\n"));
    auto fx = std::make_unique<Effect>();
    fx->name = "title";
    fx->program = demo.shaders[0].get();
    fx->textures = {demo.textures[0].get()};
    fx->font_textures = {t.get()};
    auto ev = std::make_unique<Event>();
    ev->effect = fx.get();
    ev->start_beat = 0;
    ev->end_beat = 8;
    ev->curves["title"].control_points = {{0, 0, "HH"}};
    demo.font_textures.push_back(std::move(t));
    demo.effects.push_back(std::move(fx));
    demo.events.push_back(std::move(ev));

    DemoPlayback playback(demo);
    playback.realize();
    playback.prepare();
    playback.compose_frame(1.0f);
    const FontTexture& text = *demo.font_textures[0];
    ASSERT_EQ(text.gpu.text, "HH");
    const Image img = image_of(text);
    int white_pixels = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const Rgba texel = img.at(x, y);
            const Rgba on_screen = pixel(x, height - 1 - y);
            if (texel.a == 0) {
                ASSERT_TRUE(near(on_screen, black)) << x << "," << y;
            }
            if (texel.a == 255) {
                ASSERT_TRUE(near(on_screen, white)) << x << "," << y;
                ++white_pixels;
            }
        }
    EXPECT_GT(white_pixels, 20);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

}  // namespace
}  // namespace qh
