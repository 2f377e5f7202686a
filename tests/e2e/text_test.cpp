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
    Effect& effect = test::add_effect_event(
        d, "caption",
        "#version 150\nout vec4 fragColor;\nuniform sampler2D tex; uniform vec2 resolution;\n"
        "void main() {\n"
        "  vec2 uv = gl_FragCoord.xy / resolution;\n"
        "  vec4 t = texture(tex, vec2(uv.x, 1.0 - uv.y));\n"
        "  fragColor = vec4(t.r, t.g, max(t.b, 0.4), 1.0);\n"
        "}\n",
        0, end_beat);
    effect.font_textures = {caption.get()};
    Event& event = *d.events.back();
    event.name = "Caption";
    event.curves["caption"].control_points = {{0, 0, text}, {typed_until, 0, text}};
    d.fonts.push_back(std::move(font));
    d.font_textures.push_back(std::move(caption));
    return write_demo_payload(d);
}

// The demo draws the text white over a dark blue (the loading screen has no
// blue), so a frame of the demo is told apart from the loader's.
bool demo_frame(const Image& s, const Geometry& g) { return s.at(g.x + 1, g.y + g.height - 2) == Rgb{0, 0, 102}; }

int bright_in_window(const Image& s, const Geometry& g) {
    int n = 0;
    for (int y = g.y; y < g.y + g.height; ++y)
        for (int x = g.x; x < g.x + g.width; ++x) {
            const Rgb c = s.at(x, y);
            n += c.r > 128 && c.g > 128;
        }
    return n;
}

struct CaptionRun {
    explicit CaptionRun(const std::vector<uint8_t>& payload)
        : exe(make_player(dir, payload)),
          player({exe.string()}, dir.path(), {"SDL_AUDIODRIVER=dummy", x.env()}) {}

    // Screenshots of the demo until `done` accepts one; empty at the deadline.
    template <class Done>
    Image wait_for(Done done) {
        return x.wait_for_screen([&](const Image& s) { return demo_frame(s, g) && done(s); }, 90s,
                                 &player);
    }

    TempDir dir;
    XServer x;
    std::filesystem::path exe;
    Process player;
    Geometry g;
};

TEST(TextOnScreen, ATypedTextLightsMorePixelsLaterThanEarlier) {
    CaptionRun run(caption_payload("QUILLHARBOR", 1, 12, 16));
    const std::string window = run.x.wait_for_window(player_window_title(), 60s, &run.player);
    ASSERT_FALSE(window.empty()) << run.player.out();
    run.g = run.x.geometry(window);

    const Image early = run.wait_for([&](const Image& s) { return bright_in_window(s, run.g) > 0; });
    ASSERT_FALSE(early.empty()) << "no text showed up\n" << run.player.out();
    const int early_count = bright_in_window(early, run.g);
    const Image later =
        run.wait_for([&](const Image& s) { return bright_in_window(s, run.g) > early_count; });
    EXPECT_FALSE(later.empty()) << "the text never grew\n" << run.player.out();
}

TEST(TextOnScreen, TheBeatPlaceholderChangesThePictureFromBeatToBeat) {
    CaptionRun run(caption_payload("Beat <IBEAT>", no_typing, 0, 16));
    const std::string window = run.x.wait_for_window(player_window_title(), 60s, &run.player);
    ASSERT_FALSE(window.empty()) << run.player.out();
    run.g = run.x.geometry(window);

    const Image first = run.wait_for([&](const Image& s) { return bright_in_window(s, run.g) > 0; });
    ASSERT_FALSE(first.empty()) << "no text showed up\n" << run.player.out();
    // Another beat number: still a text, but not the same pixels.
    const Image next = run.wait_for(
        [&](const Image& s) { return bright_in_window(s, run.g) > 0 && s.rgb != first.rgb; });
    EXPECT_FALSE(next.empty()) << "the picture stayed the same\n" << run.player.out();
}

}  // namespace
}  // namespace qh::e2e
