// The player run as a user runs it: its exit status, its report files, and
// its window and keys on an X server of each test's own.
#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <memory>
#include <optional>

#include "e2e/e2e_support.h"
#include "support/sample_demo.h"
#include "document/demo_io.h"
#include "document/demo_tables.h"

namespace qh::e2e {
namespace {

using namespace std::chrono_literals;

const std::vector<std::string> audio_env = {"SDL_AUDIODRIVER=dummy"};

// An empty document in the package's binary layout: no records, no music,
// then the three tempo floats.
std::vector<uint8_t> empty_document(float end_beat, float bpm = 130.0f, float offset = 0.5f) {
    std::vector<uint8_t> out(8 * 13, 0);  // resource_count, eleven table counts, music length
    for (float f : {end_beat, bpm, offset}) {
        uint8_t b[4];
        std::memcpy(b, &f, 4);
        out.insert(out.end(), b, b + 4);
    }
    return out;
}

TEST(Player, PlainBuildWritesErrorLogAndExitsWithOne) {
    TempDir dir;
    std::filesystem::copy_file(player_path(), dir / "plain");
    const int status = run({(dir / "plain").string()}, dir.path(), 30s, audio_env);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(read_file(dir / "error.log"),
              "Cannot find DEMO in executable. Please follow the instructions in Quillharbor.\n");
    EXPECT_FALSE(std::filesystem::exists(dir / "crash.txt"));
}

TEST(Player, TrailerAnnouncingMoreThanTheFileEndsWithCrashReport) {
    TempDir dir;
    std::string exe = read_file(player_path());
    exe += std::string("\xff\xff\xff\x7f", 4) + "DEMO";  // a payload of 2 GiB that is not there
    write_file(dir / "broken", std::vector<uint8_t>(exe.begin(), exe.end()));
    std::filesystem::permissions(dir / "broken", std::filesystem::perms::owner_all);
    const int status = run({(dir / "broken").string()}, dir.path(), 30s, audio_env);
    EXPECT_EQ(status, 1);
    EXPECT_NE(read_file(dir / "crash.txt").find("Fatal error: "), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir / "error.log"));
}

TEST(Player, TruncatedPayloadEndsWithCrashReport) {
    TempDir dir;
    std::vector<uint8_t> payload = empty_document(480.0f);
    payload.resize(payload.size() - 6);  // cut inside the tempo floats
    const auto exe = make_player(dir, payload);
    const int status = run({exe.string()}, dir.path(), 30s, audio_env);
    EXPECT_EQ(status, 1);
    const std::string crash = read_file(dir / "crash.txt");
    EXPECT_NE(crash.find("truncated payload"), std::string::npos) << crash;
    EXPECT_NE(crash.rfind("\nExiting."), std::string::npos);
}

// Start-up failures: what the player says where, and its exit status. A
// player that does not fail ends by itself after a second with status 0.
struct StartFailureRow {
    const char* name;
    std::vector<std::string> env;
    bool unreadable;            // the player's file may be executed but not read
    int status;
    std::vector<std::string> on_stderr;  // texts standard error must hold; <exe>: the player's path
    const char* crash_report;   // the whole of crash.txt; null: no crash.txt
    std::vector<uint8_t> (*payload)() = nullptr;  // the package; null: an empty one
};

// Two text textures of 4 MiB each, with nothing else.
std::vector<uint8_t> two_text_textures() {
    Demo demo;
    for (const char* name : {"first", "second"}) {
        auto& t = demo.font_textures.emplace_back(std::make_unique<FontTexture>());
        t->name = name;
        t->width = t->height = 1024;
    }
    return write_demo_payload(demo);
}

void PrintTo(const StartFailureRow& row, std::ostream* os) { *os << row.name; }

std::string with_exe(std::string text, const std::string& exe) {
    const auto at = text.find("<exe>");
    if (at != std::string::npos) text.replace(at, 5, exe);
    return text;
}

class StartFailure : public testing::TestWithParam<StartFailureRow> {};

TEST_P(StartFailure, IsReportedWithItsExitStatus) {
    const StartFailureRow& row = GetParam();
    TempDir dir;
    XServer x;
    const auto exe = make_player(dir, row.payload ? row.payload() : empty_document(10.0f, 600.0f, 0.5f));
    // The player writes its reports into its working directory; one that
    // runs as nobody must be able to reach its file and write there.
    const auto cwd = dir / "run";
    std::filesystem::create_directory(cwd);
    using std::filesystem::perms;
    std::filesystem::permissions(dir.path(), perms::owner_all | perms::group_exec | perms::others_exec);
    std::filesystem::permissions(cwd, perms::all);
    if (row.unreadable) {
        std::filesystem::permissions(exe, perms::owner_exec | perms::group_exec | perms::others_exec);
    }
    // The row's entries first: the first of a name is the one a child sees.
    std::vector<std::string> env = row.env;
    env.insert(env.end(), {"SDL_AUDIODRIVER=dummy", x.env()});
    // Root reads any file whatever its mode, so the unreadable player runs as
    // nobody when the tests run as root.
    Process player({exe.string()}, cwd, env, row.unreadable);
    ASSERT_TRUE(player.wait(60s)) << "the player is still running";
    EXPECT_EQ(player.exit_status(), row.status) << player.out() << player.err();
    const std::string err = player.err();
    for (const std::string& text : row.on_stderr) {
        EXPECT_NE(err.find(with_exe(text, exe.string())), std::string::npos)
            << "standard error lacks \"" << with_exe(text, exe.string()) << "\":\n" << err;
    }
    if (row.crash_report) {
        EXPECT_EQ(read_file(cwd / "crash.txt"), with_exe(row.crash_report, exe.string()));
    } else {
        EXPECT_FALSE(std::filesystem::exists(cwd / "crash.txt")) << read_file(cwd / "crash.txt");
    }
    EXPECT_FALSE(std::filesystem::exists(cwd / "error.log")) << read_file(cwd / "error.log");
}

INSTANTIATE_TEST_SUITE_P(
    Rows, StartFailure,
    testing::Values(
        // SDL's log goes to standard error; SDL_Init fails as a whole.
        StartFailureRow{"NoAudioDriver", {"SDL_AUDIODRIVER=nonexistent"}, false, 1,
                        {"Failed to initialize SDL: ", "'nonexistent' not available"}, nullptr},
        StartFailureRow{"NoVideoDriver", {"SDL_VIDEODRIVER=nonexistent"}, false, 1,
                        {"Failed to initialize SDL: nonexistent not available"}, nullptr},
        // Without a display SDL would draw into memory, to nobody.
        StartFailureRow{"NoDisplay", {"DISPLAY=:9999", "WAYLAND_DISPLAY=qh-none"}, false, 1,
                        {"Cannot open a display: "},
                        "Fatal error: Cannot open a display: no X11 or Wayland display answered\nExiting."},
        // A GL that offers no 3.x context, as an old driver or indirect GL does.
        StartFailureRow{"NoCoreContext", {"MESA_GL_VERSION_OVERRIDE=2.1"}, false, 1,
                        {"Cannot create the OpenGL context: "},
                        "Fatal error: Cannot create the OpenGL context: Could not create GL context: "
                        "GLXBadFBConfig\nExiting."},
        StartFailureRow{"UnreadableExecutable", {}, true, 1,
                        {"Fatal error: <exe>: cannot read the file"},
                        "Fatal error: <exe>: cannot read the file\nExiting."},
        // Text textures choose their own sizes; loading ends on the one
        // that takes them past their budget, before any is made.
        StartFailureRow{"TextTexturesOverTheirBudget", {"QUILLHARBOR_TEXT_TEXTURE_BUDGET=6M"}, false, 1,
                        {"Fatal error: text texture \"second\""},
                        "Fatal error: text texture \"second\" asks for 1024 x 1024 (4.0 MiB), which "
                        "takes the text textures to 8.0 MiB, over their budget of 6.0 MiB "
                        "(QUILLHARBOR_TEXT_TEXTURE_BUDGET)\nExiting.",
                        two_text_textures},
        StartFailureRow{"MalformedTextTextureBudget", {"QUILLHARBOR_TEXT_TEXTURE_BUDGET=6 MB"}, false, 1,
                        {"Fatal error: QUILLHARBOR_TEXT_TEXTURE_BUDGET is \"6 MB\""},
                        "Fatal error: QUILLHARBOR_TEXT_TEXTURE_BUDGET is \"6 MB\": give a whole number "
                        "of bytes, optionally followed by K, M, G or T (powers of 1024), such as 8G"
                        "\nExiting."}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Player, ShowsABorderlessBlackWindowAcrossTheScreen) {
    TempDir dir;
    XServer x;
    const auto exe = make_player(dir, empty_document(20000.0f));  // never ends by itself
    Process player({exe.string()}, dir.path(), {audio_env[0], x.env()});
    const std::string window = x.wait_for_window(player_window_title(), 60s, &player);
    ASSERT_FALSE(window.empty()) << player.out() << player.err();

    // 16:9 across the screen's full width, with no frame around it.
    const Geometry g = x.geometry(window);
    EXPECT_EQ(g.x, 0);
    EXPECT_EQ(g.width, XServer::screen_width);
    EXPECT_EQ(g.height, XServer::screen_width * 9 / 16);
    ASSERT_GE(g.y, 0);
    ASSERT_LE(g.y + g.height, XServer::screen_height);

    // The empty screen is white: black must be the player's own frame, and
    // the screen above and below the window must still show through.
    const Geometry above{0, 0, XServer::screen_width, g.y};
    const Geometry below{0, g.y + g.height, XServer::screen_width, XServer::screen_height - g.y - g.height};
    ASSERT_GT(above.height + below.height, 0);
    const Image shot = x.wait_for_screen(
        [&](const Image& s) { return area_is(s, g, black); }, 60s, &player);
    ASSERT_FALSE(shot.empty()) << "the window never turned black; " << player.out() << player.err();
    if (above.height > 0) {
        EXPECT_TRUE(area_is(shot, above, white)) << "black above the window";
    }
    if (below.height > 0) {
        EXPECT_TRUE(area_is(shot, below, white)) << "black below the window";
    }
    EXPECT_FALSE(player.wait(0ms)) << "the player ended by itself";
    EXPECT_NE(player.out().find("OpenGL version: "), std::string::npos) << player.out();
}

// Blue on even beats, red on odd beats, at 240 bpm: the screen changes four
// times a second for as long as frames are drawn.
std::vector<uint8_t> blinking_payload() {
    Demo d;
    d.bpm = 240;
    d.beat_offset = 0;
    d.end_beat = 20000;  // never ends by itself
    test::add_effect_event(d, "blink",
                           "#version 150\nuniform float beat;\nout vec4 fragColor;\n"
                           "void main() { fragColor = mod(floor(beat), 2.0) < 0.5 ? vec4(0.0, 0.0, 1.0, 1.0)\n"
                           "                                                  : vec4(1.0, 0.0, 0.0, 1.0); }\n",
                           0, 20000);
    return write_demo_payload(d);
}

TEST(Player, EscapeEndsThePlayerWhenReleasedNotWhenPressed) {
    TempDir dir;
    XServer x;
    const auto exe = make_player(dir, blinking_payload());
    Process player({exe.string()}, dir.path(), {audio_env[0], x.env()});
    const std::string window = x.wait_for_window(player_window_title(), 60s, &player);
    ASSERT_FALSE(window.empty()) << player.out() << player.err();
    const Geometry g = x.geometry(window);
    const int cx = g.x + g.width / 2, cy = g.y + g.height / 2;
    x.move_pointer(cx, cy);  // keys go to the window under the pointer
    auto shows = [&](Rgb c) { return [=](const Image& s) { return s.at(cx, cy) == c; }; };
    const Rgb blue{0, 0, 255}, red{255, 0, 0};
    ASSERT_FALSE(x.wait_for_screen(shows(blue), 60s, &player).empty()) << player.out() << player.err();

    x.key_down("Escape");
    // Frames drawn well after the press, so its event has been taken from
    // the queue: two changes of colour are half a second of frames.
    EXPECT_FALSE(x.wait_for_screen(shows(red), 60s, &player).empty());
    EXPECT_FALSE(x.wait_for_screen(shows(blue), 60s, &player).empty());
    EXPECT_FALSE(player.wait(0ms)) << "the player ended on the key press";

    x.key_up("Escape");
    ASSERT_TRUE(player.wait(60s)) << "releasing Escape did not end the player";
    EXPECT_EQ(player.exit_status(), 0) << player.out() << player.err();
}

// Quit means quit, at once, in every phase: Escape, Alt-F4 (a window
// manager's close), SIGTERM and SIGINT (SDL turns both into the quit event a
// window's close gives) while the package is read, in the loading screen's
// hold after its chime, and in the demo.
// The blinking demo never ends by itself; 600 empty data records keep its
// loading screen up for 12 s (a pause of 20 ms after each).
enum class Phase { loading, hold, demo };
struct QuitCase {
    const char* name;
    Phase phase;
    int signal;                 // 0: the keys
    const char* keys = "Escape";  // alt+F4: the window manager closes the window
};

void PrintTo(const QuitCase& c, std::ostream* out) { *out << c.name; }

class QuitAtOnce : public testing::TestWithParam<QuitCase> {};

TEST_P(QuitAtOnce, EndsThePlayerWithStatusZero) {
    const QuitCase& c = GetParam();
    TempDir dir;
    XServer x;
    std::optional<WindowManager> wm;
    if (c.keys != std::string("Escape")) {
        wm.emplace(x, dir / "wm");
        if (!wm->failure().empty()) GTEST_SKIP() << wm->failure();
    }
    auto demo = read_demo_payload(blinking_payload());
    for (int i = 0; c.phase == Phase::loading && i < 600; ++i) demo->datas.push_back(std::make_unique<Data>());
    DiskAudioPlayer player(dir, write_demo_payload(*demo), &x);
    Process& p = player.process();
    const std::string window = x.wait_for_window(player_window_title(), 60s, &p);
    ASSERT_FALSE(window.empty()) << p.out() << p.err();
    const Geometry g = x.geometry(window);
    const int cx = g.x + g.width / 2, cy = g.y + g.height / 2;
    x.move_pointer(cx, cy);
    // Loading: before the chime; the hold: after it; the demo: its blue.
    const auto in_phase = [&](const Image& s) {
        if (c.phase == Phase::demo) return s.at(cx, cy) == Rgb{0, 0, 255};
        return player.written().empty() == (c.phase == Phase::loading);
    };
    ASSERT_FALSE(x.wait_for_screen(in_phase, 60s, &p).empty()) << "never in the phase asked for";
    if (c.signal) {
        p.send(c.signal);
    } else {
        x.key_down(c.keys);
        x.key_up(c.keys);
    }
    // The demo would otherwise play for 80 minutes.
    ASSERT_TRUE(p.wait(60s)) << "the player went on";
    EXPECT_EQ(p.exit_status(), 0) << p.out() << p.err();
    if (c.phase == Phase::loading) {
        EXPECT_TRUE(player.written().empty()) << "the loading screen went on to its chime";
    }
}

INSTANTIATE_TEST_SUITE_P(Phases, QuitAtOnce,
                         testing::Values(QuitCase{"EscapeWhileLoading", Phase::loading, 0},
                                         QuitCase{"AltF4WhileLoading", Phase::loading, 0, "alt+F4"},
                                         QuitCase{"SigtermWhileLoading", Phase::loading, SIGTERM},
                                         QuitCase{"SigintWhileLoading", Phase::loading, SIGINT},
                                         QuitCase{"EscapeInTheHold", Phase::hold, 0},
                                         QuitCase{"SigtermInTheHold", Phase::hold, SIGTERM},
                                         QuitCase{"SigtermInTheDemo", Phase::demo, SIGTERM},
                                         QuitCase{"SigintInTheDemo", Phase::demo, SIGINT}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Player, EndsByItselfAfterTheEndBeat) {
    TempDir dir;
    // 600 bpm: beat 10 (plus the 0.5 offset) falls 1.05 s after the start.
    const auto exe = make_player(dir, empty_document(10.0f, 600.0f, 0.5f));
    Process player({exe.string()}, dir.path(), audio_env);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(player.wait(120s)) << "the player did not end after its end beat";
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(player.exit_status(), 0) << player.out();
    EXPECT_GE(took, 1050ms);
}

}  // namespace
}  // namespace qh::e2e
