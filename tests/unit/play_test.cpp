// quill play's parts that need no window: its clock, the overlay's text and
// what the watch looks at.
#include <gtest/gtest.h>

#include <fstream>

#include "document/demo_tables.h"
#include "play_clock.h"
#include "play_status.h"
#include "project_watch.h"
#include "support/scratch_dir.h"

namespace qh::quill {
namespace {

TEST(PlayClock, PausesSeeksAndStepsInBars) {
    PlayClock c(120, 0.5f);  // 2 beats a second; the music starts at beat -0.5
    c.start(1000, -0.5f);
    EXPECT_FLOAT_EQ(c.beat(3000), 3.5f);
    c.pause(3000);
    EXPECT_FLOAT_EQ(c.beat(9000), 3.5f) << "a paused clock stands";
    c.seek(10.0f, 0);
    EXPECT_FLOAT_EQ(c.beat(9000), 10.0f) << "a seek while paused moves it and keeps it paused";
    EXPECT_TRUE(c.paused());
    c.resume(5000 - 5250);  // the origin the music gives for beat 10 at tick 5000
    EXPECT_FLOAT_EQ(c.beat(5000), 10.0f);
    EXPECT_FLOAT_EQ(c.beat(6000), 12.0f);

    struct Row { float beat; int bars; float to; };
    for (Row r : {Row{10, 1, 14}, Row{10, -1, 6}, Row{10, 8, 42}, Row{10, -8, -0.5f}, Row{-0.5f, -1, -0.5f}})
        EXPECT_FLOAT_EQ(c.step_target(r.beat, r.bars), r.to) << r.beat << " " << r.bars;
    EXPECT_NEAR(c.beat_of_seconds(8.0), 15.5f, 1e-5);
    EXPECT_NEAR(c.seconds_of_beat(15.5f), 8.0, 1e-6);
}

TEST(PlayClock, MarksSetAndClearALoop) {
    PlayClock c(120, 0);
    struct Step { float mark_at; std::optional<float> from, to; std::optional<float> back_at_20; };
    const Step steps[] = {
        {16, 16, std::nullopt, std::nullopt},  // first mark: no loop yet
        {8, 8, 16, 8},                         // second mark before the first: the loop runs 8 to 16
        {30, std::nullopt, std::nullopt, std::nullopt},  // third: cleared
        {4, 4, std::nullopt, std::nullopt},
        {4, 4, std::nullopt, std::nullopt},  // a second mark at the same place makes no loop
    };
    for (const Step& s : steps) {
        c.mark(s.mark_at);
        EXPECT_EQ(c.loop_start(), s.from) << s.mark_at;
        EXPECT_EQ(c.loop_end(), s.to) << s.mark_at;
        EXPECT_EQ(c.loop_target(20), s.back_at_20) << s.mark_at;
    }
    c.set_loop(8, 16);
    EXPECT_EQ(c.loop_target(15.99f), std::nullopt);
    EXPECT_EQ(c.loop_target(16), 8.0f);
}

TEST(PlayClock, LoopOptionText) {
    struct Row { const char* text; std::optional<std::pair<double, double>> loop; };
    const Row rows[] = {
        {"4:8", std::make_pair(4.0, 8.0)}, {"0:0.5", std::make_pair(0.0, 0.5)},
        {"8:4", std::nullopt},             {"4:4", std::nullopt},
        {"-1:4", std::nullopt},            {"4", std::nullopt},
        {"a:b", std::nullopt},             {"4:8x", std::nullopt},
        {":8", std::nullopt},              {"4:nan", std::nullopt},
    };
    for (const Row& r : rows) EXPECT_EQ(parse_loop_seconds(r.text), r.loop) << r.text;
}

std::unique_ptr<Demo> two_events() {
    auto d = std::make_unique<Demo>();
    auto e = std::make_unique<Effect>();
    e->name = "tunnel";
    auto ev = [&](const char* name, float from, float to, bool visible) {
        auto x = std::make_unique<Event>();
        x->name = name;
        x->effect = e.get();
        x->start_beat = from;
        x->end_beat = to;
        x->visible = visible;
        d->events.push_back(std::move(x));
    };
    ev("Intro", 0, 8, true);
    ev("Under", 4, 16, false);
    d->effects.push_back(std::move(e));
    return d;
}

TEST(PlayStatus, LinesSayWhereTheClockIsAndWhatPlays) {
    const auto d = two_events();
    struct Row { float beat; const char* bar; std::vector<std::string> events; };
    const Row rows[] = {
        {-0.5f, "bar 0.4", {}},
        {0, "bar 1.1", {"Intro: effect tunnel, beats 0 to 8"}},
        {5.5f, "bar 2.2", {"Intro: effect tunnel, beats 0 to 8", "Under: effect tunnel, beats 4 to 16 (hidden)"}},
        {8, "bar 3.1", {"Under: effect tunnel, beats 4 to 16 (hidden)"}},  // an end beat is outside
        {16, "bar 5.1", {}},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(bar_text(r.beat), r.bar) << r.beat;
        EXPECT_EQ(active_event_lines(*d, r.beat), r.events) << r.beat;
    }

    PlayStatus s;
    s.seconds = 62.25;
    s.beat = 5.5f;
    s.fps = 59.6f;
    s.paused = true;
    s.loop_from = 4;
    s.problems = {"x.frag does not build"};
    const std::vector<std::string> lines = status_lines(s, *d);
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[0], "01:02.250  beat 5.50  bar 2.2  60 fps  PAUSED");
    EXPECT_EQ(lines[1], "loop: mark at beat 4.00 (L again sets the end)");
    EXPECT_EQ(lines[2], "active events:");
    EXPECT_EQ(lines[5], "x.frag does not build");
}

TEST(ProjectWatch, FilesOfRecordsThatReadFiles) {
    const JsonValue project = parse_json_text(R"({
        "shaders": [{"vertex_shader_filename": "resources/default.vert", "fragment_shader_filename": "resources/a.frag"},
                    {"vertex_shader_filename": "resources/default.vert", "fragment_shader_filename": "b.frag",
                     "vertex_shader_source": "", "fragment_shader_source": ""}],
        "textures": [{"name": "resources/logo.png"}, {"name": "inline.png", "image_buffer": ""}],
        "audio_samples": [{"name": "resources/hit.wav"}],
        "fonts": [{"name": "f", "filename": "resources/font.ttf"}],
        "music": ""
    })", "test");
    Demo empty;
    const std::vector<WatchedFile> files = project_files(project, empty);
    struct Row { const char* name; std::vector<FileUse> uses; };
    const Row rows[] = {
        {"resources/default.vert", {{RecordKind::shaders, 0}}},
        {"resources/a.frag", {{RecordKind::shaders, 0}}},
        {"resources/logo.png", {{RecordKind::textures, 0}}},
        {"resources/font.ttf", {{RecordKind::fonts, 0}}},
        {"resources/hit.wav", {{RecordKind::audio_samples, 0}}},
    };
    ASSERT_EQ(files.size(), std::size(rows)) << "inline sources and the inline music read no file";
    for (size_t i = 0; i < files.size(); ++i) {
        EXPECT_EQ(files[i].name, rows[i].name);
        EXPECT_EQ(files[i].uses, rows[i].uses) << rows[i].name;
        EXPECT_FALSE(files[i].music);
    }
    const std::vector<WatchedFile> with_music = project_files(parse_json_text("{}", "test"), empty);
    ASSERT_EQ(with_music.size(), 1u);
    EXPECT_EQ(with_music[0].name, music_file_name);
    EXPECT_TRUE(with_music[0].music);
}

TEST(ProjectWatch, SeesWritesSizesAppearingAndDisappearingFiles) {
    test::ScratchDir scratch;
    const auto root = scratch.path();
    auto write = [&](const char* name, const std::string& text) { std::ofstream(root / name) << text; };
    write("a.frag", "one");
    write("b.frag", "two");
    FileWatch watch(root, {"a.frag", "b.frag", "c.frag"});
    EXPECT_TRUE(watch.poll().empty());

    write("a.frag", "one and more");  // another size, whatever the clock's grain
    EXPECT_EQ(watch.poll(), std::vector<size_t>{0});
    EXPECT_TRUE(watch.poll().empty()) << "a change is told once";

    std::filesystem::last_write_time(root / "b.frag", std::filesystem::last_write_time(root / "b.frag") +
                                                          std::chrono::seconds(5));
    write("c.frag", "new");
    EXPECT_EQ(watch.poll(), (std::vector<size_t>{1, 2}));
    std::filesystem::remove(root / "a.frag");
    EXPECT_EQ(watch.poll(), std::vector<size_t>{0});
}

}  // namespace
}  // namespace qh::quill
