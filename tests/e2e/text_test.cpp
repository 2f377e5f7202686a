// Texts on the packed player's screen: typed out over beats, and the beat
// placeholder redrawn as the clock moves. Each check polls screenshots until
// what it waits for shows, with a deadline only against a hung player.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "document/demo_io.h"
#include "document/demo_tables.h"
#include "e2e/e2e_support.h"
#include "support/sample_demo.h"
#include "timeline/text_value.h"

namespace qh::e2e {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// One effect showing one text texture over the whole window, the text's top
// row at the top, for `end_beat` beats at 60 bpm (a beat a second). The
// caption curve holds `text` from beat 0 and again at `typed_until`, so with
// `chars_per_beat` set it is typed out over that span.
std::vector<uint8_t> caption_payload(const std::string& text, int32_t chars_per_beat,
                                     float typed_until, float end_beat) {
    Demo d;
    d.bpm = 60;
    d.beat_offset = 0;
    d.end_beat = end_beat;
    auto font = std::make_unique<Font>();
    font->name = "sans";
    font->filename = "resources/DejaVuSans.ttf";
    font->font_buffer = ByteBuffer(test::test_font_bytes());
    font->ptsize = 64;
    auto caption = std::make_unique<FontTexture>();
    caption->name = "caption";
    caption->width = 640;
    caption->height = 180;
    caption->font = font.get();
    caption->chars_per_beat = chars_per_beat;
    auto program = std::make_unique<ShaderProgram>();
    program->fragment_shader_filename = "resources/caption.frag";
    program->fragment_shader_source =
        "#version 150\nout vec4 fragColor;\nuniform sampler2D tex; uniform vec2 resolution;\n"
        "void main() {\n"
        "  vec2 uv = gl_FragCoord.xy / resolution;\n"
        "  fragColor = texture(tex, vec2(uv.x, 1.0 - uv.y));\n"
        "}\n";
    auto effect = std::make_unique<Effect>();
    effect->name = "caption";
    effect->program = program.get();
    effect->font_textures = {caption.get()};
    auto event = std::make_unique<Event>();
    event->name = "Caption";
    event->effect = effect.get();
    event->start_beat = 0;
    event->end_beat = end_beat;
    event->curves["caption"].control_points = {{0, 0, text}, {typed_until, 0, text}};
    d.fonts.push_back(std::move(font));
    d.font_textures.push_back(std::move(caption));
    d.shaders.push_back(std::move(program));
    d.effects.push_back(std::move(effect));
    d.events.push_back(std::move(event));
    return write_demo_payload(d);
}

// The player's window: desktop-wide, 16:9, at the top left of the screen.
int bright_in_window(const Screenshot& s) { return s.count_bright(s.width, s.width * 9 / 16); }

// Screenshots until `done` accepts one or the deadline passes; the last one.
template <class Done>
Screenshot poll_screen(const TempDir& dir, Clock::time_point deadline, Done done) {
    Screenshot s;
    while (Clock::now() < deadline) {
        s = screenshot(dir);
        if (s.width > 0 && done(s)) break;
    }
    return s;
}

TEST(TextOnScreen, ATypedTextLightsMorePixelsLaterThanEarlier) {
    TempDir dir;
    const auto exe = make_player(dir, caption_payload("QUILLHARBOR", 1, 12, 16));
    Process player({exe.string()}, dir.path(), {"SDL_AUDIODRIVER=dummy"});
    ASSERT_TRUE(wait_for_window("Quillharbor :: 0.11", 30s)) << player.out();
    const auto deadline = Clock::now() + 60s;

    const Screenshot early = poll_screen(dir, deadline, [](const Screenshot& s) {
        return bright_in_window(s) > 0;
    });
    const int early_count = bright_in_window(early);
    ASSERT_GT(early_count, 0) << "no text showed up\n" << player.out();
    const Screenshot later = poll_screen(dir, deadline, [&](const Screenshot& s) {
        return bright_in_window(s) > early_count;
    });
    EXPECT_GT(bright_in_window(later), early_count) << "the text never grew\n" << player.out();
    player.kill();
}

TEST(TextOnScreen, TheBeatPlaceholderChangesThePictureFromBeatToBeat) {
    TempDir dir;
    const auto exe = make_player(dir, caption_payload("Beat <IBEAT>", no_typing, 0, 16));
    Process player({exe.string()}, dir.path(), {"SDL_AUDIODRIVER=dummy"});
    ASSERT_TRUE(wait_for_window("Quillharbor :: 0.11", 30s)) << player.out();
    const auto deadline = Clock::now() + 60s;

    const Screenshot first = poll_screen(dir, deadline, [](const Screenshot& s) {
        return bright_in_window(s) > 0;
    });
    ASSERT_GT(bright_in_window(first), 0) << "no text showed up\n" << player.out();
    // Another beat number: still a text, but not the same pixels.
    const Screenshot next = poll_screen(dir, deadline, [&](const Screenshot& s) {
        return bright_in_window(s) > 0 && !(s == first);
    });
    EXPECT_GT(bright_in_window(next), 0) << player.out();
    EXPECT_FALSE(next == first) << "the picture stayed the same\n" << player.out();
    player.kill();
}

}  // namespace
}  // namespace qh::e2e
