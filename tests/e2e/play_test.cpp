// quill play in a window of its own X server: shader files saved while it
// plays, and seeking with the keys, heard in the sound the disk driver writes
// and seen on screen. The test shaders colour the picture by the beat, so a
// screenshot tells where the clock stands.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "document/demo_io.h"
#include "document/demo_tables.h"
#include "e2e/e2e_support.h"
#include "support/curves.h"
#include "support/gltf_builder.h"
#include "support/sample_demo.h"
#include "support/wav.h"

namespace qh::e2e {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr const char* shader_file = "resources/beat.frag";  // effect "beat"'s (test::add_effect_event)

// Red, green: what an edit changes; blue: the beat / 1024, so it climbs while
// the clock runs and would drop back were the clock sent back. It rises a
// level every 4 beats (2 s) and tops out at beat 1024, more than six minutes
// after beat 256, where the tests start it: later than every deadline of a
// test together, so a slow machine ends in a deadline, never at the top.
std::string beat_shader(const std::string& red_green) {
    return "#version 150\nuniform float beat;\nout vec4 fragColor;\n"
           "void main() { fragColor = vec4(" + red_green + ", clamp(beat / 1024.0, 0.0, 1.0), 1.0); }\n";
}

// Red: the bar (4 beats) / 16.
const char* const bar_shader =
    "#version 150\nuniform float beat;\nout vec4 fragColor;\n"
    "void main() { fragColor = vec4(floor(beat / 4.0) / 16.0, 0.0, 0.0, 1.0); }\n";

// One effect event over the whole run, drawn with `fragment`, at 120 bpm (a
// bar is 2 s); written as a project whose shader lives in its own file, with
// the model `glb` beside it when given.
std::filesystem::path write_project(const TempDir& dir, const std::string& fragment,
                                    std::vector<uint8_t> music = {}, std::vector<uint8_t> glb = {}) {
    Demo d;
    d.bpm = 120;
    d.beat_offset = 0;
    d.end_beat = 10000;  // never ends by itself
    d.music.data = std::move(music);
    test::add_effect_event(d, "beat", fragment, -1, 10000);
    d.events.back()->name = "Beat";
    if (!glb.empty()) {
        d.models.push_back(std::make_unique<Model>());
        d.models.back()->filename = "resources/model.glb";
        d.models.back()->buffer = ByteBuffer(std::move(glb));
    }
    const auto project = dir / "project";
    write_project_file(d, project);
    return project / "project.json";
}

// As an editor saves: a new file renamed over the old one.
void save(const std::filesystem::path& file, const std::string& text) {
    const auto temp = file.string() + ".saving";
    write_file(temp, std::vector<uint8_t>(text.begin(), text.end()));
    std::filesystem::rename(temp, file);
}

bool wait_for_output(Process& p, const std::string& text, std::chrono::seconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (Clock::now() < deadline) {
        if (p.out().find(text) != std::string::npos) return true;
        if (p.wait(0ms)) return false;
        std::this_thread::sleep_for(20ms);
    }
    return false;
}

// quill play of `project` on `x`, its keys going to its window.
struct PlayWindow {
    Process process;
    Geometry g;
    int px = 0, py = 0;  // a point of the picture clear of the overlay (top left)

    PlayWindow(const XServer& x, const TempDir& dir, const std::filesystem::path& project,
               std::vector<std::string> args, std::vector<std::string> env)
        : process(make_argv(project, std::move(args)), dir.path(), with(std::move(env), x)) {
        const std::string window = x.wait_for_window("quill play: " + project.string(), 60s, &process);
        if (window.empty()) return;
        g = x.geometry(window);
        px = g.x + g.width * 7 / 8;
        py = g.y + g.height * 7 / 8;
        x.move_pointer(px, py);
    }
    bool open() const { return g.width > 0; }
    Rgb at(const Image& shot) const { return shot.at(px, py); }

private:
    static std::vector<std::string> make_argv(const std::filesystem::path& project, std::vector<std::string> args) {
        std::vector<std::string> argv = {quill_path().string(), "play", project.string(), "--size", "480x270"};
        argv.insert(argv.end(), args.begin(), args.end());
        return argv;
    }
    static std::vector<std::string> with(std::vector<std::string> env, const XServer& x) {
        env.push_back(x.env());
        return env;
    }
};

void quit(const XServer& x, PlayWindow& play) {
    x.key_down("Escape");
    x.key_up("Escape");
    ASSERT_TRUE(play.process.wait(60s)) << "escape did not end quill play";
    EXPECT_EQ(play.process.exit_status(), 0) << play.process.out() << play.process.err();
}

TEST(QuillPlay, SavedShaderShowsWithoutRestartBrokenOneKeepsTheLastPicture) {
    TempDir dir;
    XServer x;
    const auto project = write_project(dir, beat_shader("1.0, 0.0"));
    const auto shader = project.parent_path() / shader_file;
    // From 128 s, beat 256: blue starts at 64, well above where a clock sent
    // back to the start would bring it.
    PlayWindow play(x, dir, project, {"--watch", "--from", "128"}, {"SDL_AUDIODRIVER=dummy"});
    ASSERT_TRUE(play.open()) << play.process.out() << play.process.err();
    auto is = [&](bool red, bool green, int min_blue) {
        return [=, &play](const Image& s) {
            const Rgb c = play.at(s);
            return (c.r > 200) == red && (c.g > 200) == green && c.b >= min_blue;
        };
    };

    const Image red = x.wait_for_screen(is(true, false, 60), 60s, &play.process);
    ASSERT_FALSE(red.empty()) << "never red; " << play.process.out();
    const int blue_before = play.at(red).b;

    const auto saved = Clock::now();
    save(shader, beat_shader("0.0, 1.0"));
    const Image green = x.wait_for_screen(is(false, true, 0), 60s, &play.process);
    ASSERT_FALSE(green.empty()) << "the saved shader never showed; " << play.process.out();
    EXPECT_GE(play.at(green).b, blue_before) << "the clock went back with the saved shader";
    const double seconds = std::chrono::duration<double>(Clock::now() - saved).count();
    RecordProperty("save_to_screen_seconds", std::to_string(seconds));
    std::printf("saved shader on screen after %.2f s (polled by screenshots)\n", seconds);

    // A broken save: the error on standard output, the green picture goes on
    // with the clock.
    save(shader, "#version 150\nout vec4 fragColor;\nvoid main() { fragColor = vec4(1.0) }\n");
    ASSERT_TRUE(wait_for_output(play.process, shader_file + std::string(" does not build; the last good program stays"), 60s))
        << play.process.out();
    const int blue_at_error = play.at(x.screenshot()).b;
    EXPECT_FALSE(x.wait_for_screen(is(false, true, blue_at_error + 1), 60s, &play.process).empty())
        << "the last good picture did not go on; " << play.process.out();
    EXPECT_NE(play.process.out().find("error"), std::string::npos) << "no driver message: " << play.process.out();

    // Fixed: the new colour shows.
    save(shader, beat_shader("1.0, 1.0"));
    EXPECT_FALSE(x.wait_for_screen(is(true, true, blue_at_error), 60s, &play.process).empty())
        << "the fixed shader never showed; " << play.process.out();
    quit(x, play);
}

// A model whose positions (no view, one substitution) come to 1 GiB, all of
// which the player copies before it asks the device for as much again.
std::vector<uint8_t> huge_model() {
    test::GltfBuilder b;
    tinygltf::Primitive p;
    p.mode = TINYGLTF_MODE_POINTS;
    p.attributes["POSITION"] = b.accessor(-1, TINYGLTF_COMPONENT_TYPE_FLOAT, TINYGLTF_TYPE_VEC4, size_t(1) << 26);
    b.sparse(p.attributes["POSITION"], {0}, {1, 2, 3, 4});
    b.root(b.node(b.mesh({p})));
    return b.glb();
}

// A document the device cannot take, saved while a good one plays: quill
// play says why and keeps the good one playing on with its clock. The process
// may take 1.5 GiB more than it has: the model's copy fits, the device's
// buffer beside it does not.
TEST(QuillPlay, ADocumentTheDeviceCannotTakeLeavesTheLastGoodOnePlaying) {
    TempDir dir;
    XServer x;
    const auto project = write_project(dir, beat_shader("1.0, 0.0"));
    PlayWindow play(x, dir, project, {"--watch", "--from", "128"}, {"SDL_AUDIODRIVER=dummy"});
    ASSERT_TRUE(play.open()) << play.process.out() << play.process.err();
    const auto red = [&](int min_blue) {
        return [=, &play](const Image& s) { return play.at(s).r > 200 && play.at(s).b >= min_blue; };
    };
    ASSERT_FALSE(x.wait_for_screen(red(60), 60s, &play.process).empty()) << play.process.out();

    ASSERT_TRUE(limit_address_space(play.process.pid(), uint64_t(1536) << 20));
    write_project(dir, beat_shader("0.0, 1.0"), {}, huge_model());
    ASSERT_TRUE(wait_for_output(play.process, "the last good document stays", 120s))
        << play.process.out() << play.process.err();
    EXPECT_NE(play.process.out().find("cannot be made"), std::string::npos) << play.process.out();
    const int blue = play.at(x.screenshot()).b;
    EXPECT_FALSE(x.wait_for_screen(red(blue + 1), 60s, &play.process).empty())
        << "the last good document did not play on; " << play.process.out();
    quit(x, play);
}

// Frame i of the music holds its own index: 1 + i / 32768 on the left (never
// 0, so it tells the music from silence), i % 32768 on the right.
constexpr int rate = 44100;
constexpr int32_t index_base = 32768;

std::vector<uint8_t> counting_music(int seconds) {
    std::vector<int16_t> samples;
    for (int32_t i = 0; i < seconds * rate; ++i) {
        samples.push_back(static_cast<int16_t>(1 + i / index_base));
        samples.push_back(static_cast<int16_t>(i % index_base));
    }
    return test::wav_file(samples, 2);
}

// The music frames the written sound goes on from, other than the one after
// the music frame before: where seeks landed.
std::vector<int32_t> landings(const std::string& raw) {
    std::vector<int32_t> found;
    int32_t last = -1;
    for (const Frame f : frames_of(raw)) {
        if (f.left <= 0) continue;
        const int32_t at = (f.left - 1) * index_base + f.right;
        if (last >= 0 && at != last + 1) found.push_back(at);
        last = at;
    }
    return found;
}

std::string at_seconds(int32_t frame) { return std::to_string(double(frame) / rate) + " s"; }

TEST(QuillPlay, SeekKeyMovesTheWrittenSoundAndThePicture) {
    TempDir dir;
    XServer x;
    const auto project = write_project(dir, bar_shader, counting_music(24));
    const auto raw = dir / "sound.raw";
    PlayWindow play(x, dir, project, {}, {"SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=" + raw.string()});
    ASSERT_TRUE(play.open()) << play.process.out() << play.process.err();

    auto written = [&](auto ok) {
        const auto deadline = Clock::now() + 60s;
        while (Clock::now() < deadline && !play.process.wait(0ms)) {
            if (ok(read_file(raw))) return true;
            std::this_thread::sleep_for(20ms);
        }
        return false;
    };
    ASSERT_TRUE(written([](const std::string& r) {
        const std::vector<Frame> f = frames_of(r);
        return std::any_of(f.begin(), f.end(), [](Frame v) { return v.left > 0; });
    })) << "the music was never written; " << play.process.out();

    // Paused, so neither the clock nor the music moves while the keys are
    // read: to the start, one bar on, eight bars on, which is bar 9 (18 s).
    for (const char* key : {"space", "Home", "Right", "shift+Right"}) {
        x.key_down(key);
        x.key_up(key);
    }
    // Red is the bar / 16.
    const Image shot = x.wait_for_screen(
        [&](const Image& s) { const Rgb c = play.at(s); return std::abs(c.r - 143) <= 3 && c.g == 0; }, 60s,
        &play.process);
    EXPECT_FALSE(shot.empty()) << "the picture never stood at bar 9; it shows " << play.at(x.screenshot())
                               << "; " << play.process.out();

    // Going on, the music goes on from there, at the picture's place.
    x.key_down("space");
    x.key_up("space");
    auto landed = [](const std::string& r) {
        std::vector<int32_t> l = landings(r);
        std::erase(l, 0);  // a start of the music may show as a jump back to 0
        return l;
    };
    ASSERT_TRUE(written([&](const std::string& r) { return !landed(r).empty(); }))
        << "the written music never jumped; " << play.process.out();
    const std::vector<int32_t> l = landed(read_file(raw));
    EXPECT_EQ(l.size(), 1u) << "the music jumped more than once";
    EXPECT_EQ(l.front(), 18 * rate) << "the music went on from " << at_seconds(l.front());
    quit(x, play);
}

// The track view, driven by keys: a key set at bar 3 shows in the picture at
// once, with no reload; undo and redo take it away and bring it back; its
// mode changes; ctrl-S writes it into project.json, whose other lines stay
// as they were, and that file packs to the bytes of the same project written
// by hand. Red is the curve "level", which holds 0 until a key says otherwise.
std::filesystem::path write_level_project(const ControlPointCurve& level, const std::filesystem::path& folder) {
    Demo d;
    d.bpm = 120;
    d.beat_offset = 0;
    d.end_beat = 10000;
    test::add_effect_event(d, "level",
                           "#version 150\nuniform float level;\nout vec4 fragColor;\n"
                           "void main() { fragColor = vec4(level, 0.0, 0.0, 1.0); }\n",
                           -1, 10000);
    d.shaders.back()->uniform_defs.emplace_back().name = "level";
    d.events.back()->curves["level"] = level;
    write_project_file(d, folder);
    return folder / "project.json";
}

TEST(QuillPlay, TrackViewKeyShowsAtOnceUndoesAndSaves) {
    TempDir dir;
    XServer x;
    const auto project =
        write_level_project(test::curve_of({{0, 0}}, ControlPointCurve::mode_last_value), dir / "project");
    const std::string original = read_file(project);

    PlayWindow play(x, dir, project, {"--edit", "--size", "640x360", "--from", "8"}, {"SDL_AUDIODRIVER=dummy"});
    ASSERT_TRUE(play.open()) << play.process.out() << play.process.err();
    // The picture is the window's left half; the overlay covers its top.
    play.px = play.g.x + play.g.width / 8;
    auto red = [&](bool on) { return [&, on](const Image& s) { const Rgb c = play.at(s); return on ? c.r > 200 : c.r < 30; }; };
    auto press = [&](std::initializer_list<const char*> keys) {
        for (const char* k : keys) {
            x.key_down(k);
            x.key_up(k);
        }
    };
    ASSERT_FALSE(x.wait_for_screen(red(false), 60s, &play.process).empty()) << play.process.out();
    // Paused, back to the start, two bars on: the cursor on beat 8, the event's 9.
    press({"space", "Home", "Next", "Next", "1", "Return"});
    EXPECT_FALSE(x.wait_for_screen(red(true), 60s, &play.process).empty()) << "the key never showed";
    press({"ctrl+z"});
    EXPECT_FALSE(x.wait_for_screen(red(false), 60s, &play.process).empty()) << "undo left the key";
    press({"ctrl+y", "i", "ctrl+s"});
    EXPECT_FALSE(x.wait_for_screen(red(true), 60s, &play.process).empty()) << "redo did not bring it back";
    ASSERT_TRUE(wait_for_output(play.process, "project.json saved", 60s)) << play.process.out();
    EXPECT_EQ(play.process.out().find("read again"), std::string::npos) << play.process.out();
    quit(x, play);

    EXPECT_EQ(read_file(project.string() + ".bak"), original);
    // The mode's number changed and a point added after the first, laid out
    // like it; every other byte as it was.
    std::string expected = original;
    const std::string first_point = "\"value\": 0.0\n            }";
    ASSERT_NE(expected.find(first_point), std::string::npos) << original;
    expected.insert(expected.find(first_point) + first_point.size(),
                    ",\n            {\n              \"beat\": 9.0,\n              \"value\": 1.0\n            }");
    ASSERT_NE(expected.find("\"mode\": 0,"), std::string::npos) << original;
    expected.replace(expected.find("\"mode\": 0,"), 10, "\"mode\": 1,");
    EXPECT_EQ(read_file(project), expected);

    const auto hand = write_level_project(test::curve_of({{0, 0}, {9, 1}}, ControlPointCurve::mode_linear), dir / "hand");
    ASSERT_EQ(quill(dir, {"pack", project.string(), "-o", "edited"}).status, 0);
    ASSERT_EQ(quill(dir, {"pack", hand.string(), "-o", "by-hand"}).status, 0);
    EXPECT_TRUE(read_file(dir / "edited") == read_file(dir / "by-hand")) << "the saved project packs otherwise";
}

}  // namespace
}  // namespace qh::e2e
