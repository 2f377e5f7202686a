// What the packed player shows on screen over time.
#include <gtest/gtest.h>

#include "e2e/e2e_support.h"
#include "document/demo_io.h"
#include "document/demo_tables.h"
#include "support/sample_demo.h"
#include "support/solid_shader.h"

namespace qh::e2e {
namespace {

using namespace std::chrono_literals;

// Red from beat 0 to 4, green from 4 to 8, at 60 bpm: a colour change at 4 s.
std::vector<uint8_t> two_effect_payload() {
    Demo d;
    d.bpm = 60;
    d.beat_offset = 0;
    d.end_beat = 8;
    test::add_effect_event(d, "red", test::solid_shader("vec4(1.0, 0.0, 0.0, 1.0)"), 0, 4);
    test::add_effect_event(d, "green", test::solid_shader("vec4(0.0, 1.0, 0.0, 1.0)"), 4, 8);
    return write_demo_payload(d);
}

TEST(Playback, TwoEffectsShowTheirColoursInTurn) {
    TempDir dir;
    XServer x;
    const auto exe = make_player(dir, two_effect_payload());
    Process player({exe.string()}, dir.path(), {"SDL_AUDIODRIVER=dummy", x.env()});
    const std::string window = x.wait_for_window(player_window_title(), 60s, &player);
    ASSERT_FALSE(window.empty()) << player.out() << player.err();
    const Geometry g = x.geometry(window);
    auto whole_window = [&](Rgb c) { return [=](const Image& s) { return area_is(s, g, c); }; };
    // Red fills the window first, then green; the screen is polled, so a
    // slow start only makes the wait longer.
    EXPECT_FALSE(x.wait_for_screen(whole_window({255, 0, 0}), 60s, &player).empty())
        << "never all red; " << player.out();
    EXPECT_FALSE(x.wait_for_screen(whole_window({0, 255, 0}), 60s, &player).empty())
        << "never all green after red; " << player.out();
    ASSERT_TRUE(player.wait(60s)) << "the player did not end after its end beat";
    EXPECT_EQ(player.exit_status(), 0) << player.out();
}

}  // namespace
}  // namespace qh::e2e
