// The loading screen as a viewer sees and hears it: the logo with a level
// that moves while a large package loads, the loader's chime before the
// music, then the demo.
#include <gtest/gtest.h>

#include <SDL.h>
#include <SDL_image.h>

#include <cmath>
#include <cstring>
#include <set>

#include "document/demo_io.h"
#include "document/demo_tables.h"
#include "e2e/e2e_support.h"
#include "support/png.h"
#include "support/sample_demo.h"
#include "support/solid_shader.h"

namespace qh::e2e {
namespace {

using namespace std::chrono_literals;

constexpr int16_t music_level = 3000;

// Constant-valued 16-bit stereo WAV: easy to find in the written sound.
std::vector<uint8_t> constant_wav(int frames, int16_t value) {
    std::vector<uint8_t> w;
    auto put = [&](uint32_t v, int n) {
        for (int i = 0; i < n; ++i) w.push_back(static_cast<uint8_t>(v >> (8 * i)));
    };
    const uint32_t data = static_cast<uint32_t>(frames) * 4;
    w.insert(w.end(), {'R', 'I', 'F', 'F'});
    put(36 + data, 4);
    w.insert(w.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    put(16, 4), put(1, 2), put(2, 2), put(44100, 4), put(44100 * 4, 4), put(4, 2), put(16, 2);
    w.insert(w.end(), {'d', 'a', 't', 'a'});
    put(data, 4);
    for (int i = 0; i < frames * 2; ++i) put(static_cast<uint16_t>(value), 2);
    return w;
}

// A fragment shader that takes the compiler a while: many functions.
std::string heavy_fragment(int n) {
    std::string s = "#version 150\nout vec4 fragColor;\n";
    for (int i = 0; i < 300; ++i) {
        s += "float f" + std::to_string(i) + "(float x) { return sin(x * " + std::to_string(i + n) +
             ".0) + cos(x) * " + (i ? "f" + std::to_string(i - 1) + "(x * 0.5)" : std::string("1.0")) +
             "; }\n";
    }
    s += "void main() { fragColor = vec4(f299(gl_FragCoord.x) * 0.0, 0.0, 0.0, 0.0); }\n";
    return s;
}

// Many small textures and a few heavy programs, then one red effect over the
// whole run and constant music.
std::vector<uint8_t> large_payload() {
    Demo d;
    d.bpm = 60;
    d.beat_offset = 0;
    d.end_beat = 3;
    for (int i = 0; i < 200; ++i) {
        const auto grey = static_cast<uint8_t>(i);
        d.textures.push_back(std::make_unique<Texture>("resources/t" + std::to_string(i) + ".png",
                                                       test::solid_png(4, 4, grey, grey, grey)));
    }
    for (int i = 0; i < 4; ++i) {
        auto p = std::make_unique<ShaderProgram>();
        p->fragment_shader_filename = "resources/heavy" + std::to_string(i) + ".frag";
        p->fragment_shader_source = heavy_fragment(i);
        d.shaders.push_back(std::move(p));
    }
    test::add_effect_event(d, "red", test::solid_shader("vec4(1.0, 0.0, 0.0, 1.0)"), 0, 100);
    d.music.data = constant_wav(44100 * 4, music_level);
    d.resource_count = d.record_count();
    return write_demo_payload(d);
}

// How far up the window the level stands: the highest row holding the
// level's white or yellow, as a fraction of the window (0: none).
double level_of(const Image& shot, const Geometry& g) {
    for (int y = g.y; y < g.y + g.height; y += 2) {
        for (int x = g.x; x < g.x + g.width; x += 2) {
            const Rgb c = shot.at(x, y);
            const bool level = c.r > 240 && c.g > 240 && (c.b > 240 || c.b < 15);
            if (level) return 1.0 - static_cast<double>(y - g.y) / g.height;
        }
    }
    return 0;
}

bool shows_logo(const Image& shot, const Geometry& g) {
    for (int y = g.y; y < g.y + g.height; y += 4) {
        for (int x = g.x; x < g.x + g.width; x += 4) {
            const Rgb p = shot.at(x, y);
            if (std::abs(p.r - 128) < 3 && p.r == p.g && p.g == p.b) return true;  // grey logo
        }
    }
    return false;
}

struct Frame16 {
    int16_t l, r;
};

std::vector<Frame16> read_sound(const std::filesystem::path& p) {
    const std::string s = read_file(p);
    std::vector<Frame16> out(s.size() / 4);
    std::memcpy(out.data(), s.data(), out.size() * 4);
    return out;
}

TEST(LoadingScreen, LevelMovesWhileLoadingThenChimeThenDemo) {
    TempDir dir;
    XServer x;
    const auto exe = make_player(dir, large_payload());
    const auto sound = dir / "out.raw";
    Process player({exe.string()}, dir.path(),
                   {"SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=" + sound.string(), x.env()});
    const std::string window = x.wait_for_window(player_window_title(), 60s, &player);
    ASSERT_FALSE(window.empty()) << player.out() << player.err();
    const Geometry g = x.geometry(window);

    // Screenshots while loading: the logo shows, and the level stands at
    // different heights in two of them.
    std::set<int> levels;
    const Image first = x.wait_for_screen(
        [&](const Image& s) {
            if (!shows_logo(s, g)) return false;
            levels.insert(static_cast<int>(level_of(s, g) * 20));
            return levels.size() >= 2;
        },
        120s, &player);
    EXPECT_FALSE(first.empty()) << "the level never moved; levels seen: " << levels.size();

    // Then the demo.
    const Image demo = x.wait_for_screen([&](const Image& s) { return area_is(s, g, {255, 0, 0}); },
                                         120s, &player);
    EXPECT_FALSE(demo.empty()) << "never reached the demo; " << player.out();
    ASSERT_TRUE(player.wait(60s));
    EXPECT_EQ(player.exit_status(), 0) << player.out();

    // In the written sound the chime comes first, the music after it.
    const std::vector<Frame16> out = read_sound(sound);
    size_t first_sound = out.size(), music_start = out.size();
    for (size_t i = 0; i < out.size(); ++i) {
        if (first_sound == out.size() && (out[i].l != 0 || out[i].r != 0)) first_sound = i;
        // The music alone: a long run of its constant value.
        if (out[i].l == music_level) {
            size_t j = i;
            while (j < out.size() && out[j].l == music_level) ++j;
            if (j - i >= 4410) {
                music_start = i;
                break;
            }
            i = j;
        }
    }
    ASSERT_LT(music_start, out.size()) << "no music in the written sound";
    ASSERT_LT(first_sound, music_start) << "nothing before the music";
    // What comes first is the chime: it changes sign, which constant music
    // never does.
    int sign_changes = 0;
    for (size_t i = first_sound + 1; i < music_start; ++i) {
        sign_changes += (out[i - 1].l < 0) != (out[i].l < 0);
    }
    EXPECT_GT(sign_changes, 100) << "the sound before the music is not the chime";
}

}  // namespace
}  // namespace qh::e2e
