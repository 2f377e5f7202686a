// quill play in a window of its own X server: shader files saved while it
// plays, and seeking with the keys, heard in the sound the disk driver writes
// and seen on screen. The test shaders colour the picture by the beat, so a
// screenshot tells where the clock stands.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "document/demo_io.h"
#include "document/demo_tables.h"
#include "e2e/e2e_support.h"
#include "support/wav.h"

namespace qh::e2e {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr const char* shader_file = "resources/beat.frag";

// Red, green: what an edit changes; blue: the beat / 64, so it climbs while
// the clock runs and would drop back were the preview restarted.
std::string beat_shader(const std::string& red_green) {
    return "#version 150\nuniform float beat;\nout vec4 fragColor;\n"
           "void main() { fragColor = vec4(" + red_green + ", clamp(beat / 64.0, 0.0, 1.0), 1.0); }\n";
}

// Red: the bar (4 beats) / 16.
const char* const bar_shader =
    "#version 150\nuniform float beat;\nout vec4 fragColor;\n"
    "void main() { fragColor = vec4(floor(beat / 4.0) / 16.0, 0.0, 0.0, 1.0); }\n";

// One effect event over the whole run, drawn with `fragment`, at 120 bpm (a
// bar is 2 s); written as a project whose shader lives in its own file.
std::filesystem::path write_project(const TempDir& dir, const std::string& fragment,
                                    std::vector<uint8_t> music = {}) {
    Demo d;
    d.bpm = 120;
    d.beat_offset = 0;
    d.end_beat = 10000;  // never ends by itself
    d.music.data = std::move(music);
    auto p = std::make_unique<ShaderProgram>();
    p->fragment_shader_filename = shader_file;
    p->fragment_shader_source = fragment;
    auto e = std::make_unique<Effect>();
    e->name = "beat";
    e->program = p.get();
    auto ev = std::make_unique<Event>();
    ev->name = "Beat";
    ev->effect = e.get();
    ev->start_beat = -1;
    ev->end_beat = 10000;
    d.shaders.push_back(std::move(p));
    d.effects.push_back(std::move(e));
    d.events.push_back(std::move(ev));
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
    // From 8 s, beat 16: blue starts near 64, where a restart would bring it back.
    PlayWindow play(x, dir, project, {"--watch", "--from", "8"}, {"SDL_AUDIODRIVER=dummy"});
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
    const Image green = x.wait_for_screen(is(false, true, blue_before + 1), 60s, &play.process);
    ASSERT_FALSE(green.empty()) << "the saved shader never showed; " << play.process.out();
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

// Bar n of the music holds the level 1000 (n + 1) on both sides.
constexpr int rate = 44100;
constexpr int bars = 24;
constexpr int frames_per_bar = rate * 2;

std::vector<uint8_t> bar_levels_music() {
    std::vector<int16_t> samples;
    samples.reserve(static_cast<size_t>(bars) * frames_per_bar * 2);
    for (int bar = 0; bar < bars; ++bar)
        samples.insert(samples.end(), static_cast<size_t>(frames_per_bar) * 2, static_cast<int16_t>(1000 * (bar + 1)));
    return test::wav_file(samples, 2);
}

// The bar each written frame belongs to (-1: silence or no bar's level).
std::vector<int> bars_heard(const std::string& raw) {
    std::vector<int> heard;
    for (size_t i = 0; i + 4 <= raw.size(); i += 4) {
        const auto left = static_cast<int16_t>(static_cast<uint8_t>(raw[i]) | (static_cast<uint8_t>(raw[i + 1]) << 8));
        const int bar = (left + 500) / 1000 - 1;
        heard.push_back(left > 0 && std::abs(left - 1000 * (bar + 1)) < 50 ? bar : -1);
    }
    return heard;
}

TEST(QuillPlay, SeekKeyMovesTheWrittenSoundAndThePicture) {
    TempDir dir;
    XServer x;
    const auto project = write_project(dir, bar_shader, bar_levels_music());
    const auto raw = dir / "sound.raw";
    PlayWindow play(x, dir, project, {}, {"SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=" + raw.string()});
    ASSERT_TRUE(play.open()) << play.process.out() << play.process.err();

    auto heard = [&](auto ok) {
        const auto deadline = Clock::now() + 60s;
        while (Clock::now() < deadline && !play.process.wait(0ms)) {
            const std::vector<int> b = bars_heard(read_file(raw));
            if (std::any_of(b.begin(), b.end(), ok)) return true;
            std::this_thread::sleep_for(20ms);
        }
        return false;
    };
    ASSERT_TRUE(heard([](int b) { return b == 0; })) << "the first bar was never written; " << play.process.out();

    x.key_down("shift+Right");
    x.key_up("shift+Right");
    ASSERT_TRUE(heard([](int b) { return b >= 8; })) << "the sound never reached bar 9; " << play.process.out();
    // The sound jumped: from the first bars straight to the ninth or later,
    // nothing of bars 3 to 8 in between.
    const std::vector<int> b = bars_heard(read_file(raw));
    const auto jump = std::find_if(b.begin(), b.end(), [](int v) { return v >= 8; });
    const auto before = std::find_if(std::make_reverse_iterator(jump), b.rend(), [](int v) { return v >= 0; });
    ASSERT_NE(before, b.rend());
    EXPECT_LE(*before, 1) << "bars between were played";
    EXPECT_EQ(*jump, *before + 8) << "the seek did not move the sound by eight bars";

    // The picture follows: red is the bar / 16, 8 / 16 right after the seek.
    const Image shot = x.wait_for_screen(
        [&](const Image& s) { const Rgb c = play.at(s); return c.r >= 124 && c.r <= 180 && c.g == 0; }, 60s,
        &play.process);
    EXPECT_FALSE(shot.empty()) << "the picture did not follow the seek; " << play.process.out();
    quit(x, play);
}

}  // namespace
}  // namespace qh::e2e
