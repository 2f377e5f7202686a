// The showcase (examples/showcase) as a demo maker meets it: quill check
// builds all of it, quill pack packs it, the packed player plays it with
// sound, and its generated resources are what their generators make.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstdint>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "e2e/e2e_support.h"
#include "support/tree_paths.h"
#include "support/xml_check.h"

namespace qh::e2e {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const fs::path showcase = test::source_dir() / "examples/showcase";
const fs::path project = showcase / "project.json";

TEST(Showcase, CheckBuildsEveryRecord) {
    TempDir dir;
    const QuillRun r = quill(dir, {"check", project.string()});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("nothing failed"), std::string::npos) << r.out;
    // Every program that an effect draws with compiled and linked; the
    // shared include is listed as such.
    EXPECT_EQ(r.out.find("failed:"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("resources/common.glsl: included by 8 programs"), std::string::npos) << r.out;
    for (const char* program : {"tunnel", "title", "trails", "pulse", "sky", "garden", "flash", "rings", "post"}) {
        EXPECT_NE(r.out.find(std::string("resources/") + program + ".frag: compiled, linked"), std::string::npos)
            << program;
    }
}

// Packing, checking and rendering the showcase, a clean project, print no
// line that reads like something went wrong.
TEST(Showcase, CleanProjectGivesCleanOutput) {
    TempDir dir;
    const std::vector<std::vector<std::string>> commands = {
        {"pack", project.string(), "-o", (dir / "showcase").string()},
        {"check", project.string()},
        {"render", project.string(), "-o", (dir / "frames").string(), "--size", "160x90", "--to", "0.1"},
    };
    for (const auto& command : commands) {
        const QuillRun r = quill(dir, command);
        EXPECT_EQ(r.status, 0) << command[0] << "\n" << r.out << r.err;
        std::string lower = r.out + r.err;
        std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
        for (const char* alarming : {"error", "warn", "not found", "couldn't"})
            EXPECT_EQ(lower.find(alarming), std::string::npos) << command[0] << ": " << alarming << "\n" << r.out << r.err;
        EXPECT_EQ(r.out.find("FAILED"), std::string::npos) << r.out;
    }
}

// The timeline picture is well-formed SVG with a row for every event.
TEST(Showcase, TimelinePictureHasARowPerEvent) {
    TempDir dir;
    const QuillRun r = quill(dir, {"info", project.string(), "--timeline", (dir / "t.svg").string()});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    const test::XmlElement svg = test::parse_xml(read_file(dir / "t.svg"));
    EXPECT_EQ(svg.name, "svg");
    // 18 events; the group's two members appear again under each of its two events.
    EXPECT_EQ(svg.find_all([](const test::XmlElement& e) { return e.has_class("event-row"); }).size(), 18u);
    EXPECT_EQ(svg.find_all([](const test::XmlElement& e) { return e.has_class("member-row"); }).size(), 4u);
}

// The packed showcase is the player without its debug information, the
// project's files and a little more: the package's own framing.
TEST(Showcase, PackedShowcaseIsThePlayerAndItsContent) {
    TempDir dir;
    const fs::path packed = dir / "showcase";
    ASSERT_EQ(quill(dir, {"pack", project.string(), "-o", packed.string()}).status, 0);
    uintmax_t content = fs::file_size(project);
    for (const auto& f : fs::directory_iterator(showcase / "resources")) {
        if (f.path().extension() != ".LICENSE") content += f.file_size();
    }
    const uintmax_t player = fs::file_size(test::build_dir() / QH_PACKED_PLAYER_NAME);
    EXPECT_LE(fs::file_size(packed), player + content + 8 * 1024)
        << "player " << player << ", content " << content;
}

bool colourful(Rgb c) { return std::max({c.r, c.g, c.b}) - std::min({c.r, c.g, c.b}) > 60; }

// The first sound of `sound`, up to 10 ms of silence: its frames, and whether
// that silence has come.
struct FirstSound {
    std::vector<Frame> frames;
    bool ended = false;
};

FirstSound first_sound(const std::vector<Frame>& sound) {
    constexpr size_t gap = 441;
    auto end = std::find_if_not(sound.begin(), sound.end(), silent);
    const auto start = end;
    size_t quiet = 0;
    for (; end != sound.end() && quiet < gap; ++end) quiet = silent(*end) ? quiet + 1 : 0;
    return {std::vector<Frame>(start, end - static_cast<std::ptrdiff_t>(quiet)), quiet == gap};
}

// Packed and played until its first section shows, with the music in the
// written sound, then ended with Escape.
TEST(Showcase, PackedShowcasePlaysWithItsMusic) {
    TempDir dir;
    const QuillRun packed = quill(dir, {"pack", project.string(), "-o", (dir / "showcase").string()});
    ASSERT_EQ(packed.status, 0) << packed.out << packed.err;

    XServer x;
    DiskAudioPlayer player(dir, dir / "showcase", &x);
    const std::string window = x.wait_for_window(player_window_title(), 60s, &player.process());
    ASSERT_FALSE(window.empty()) << player.process().out() << player.process().err();
    const Geometry g = x.geometry(window);
    const int cx = g.x + g.width / 2, cy = g.y + g.height / 2;
    x.move_pointer(cx, cy);
    // The loading screen is grey on black; the tunnel is in colour.
    const Image shown = x.wait_for_screen(
        [&](const Image& s) { return colourful(s.at(g.x + g.width / 4, cy)) || colourful(s.at(cx, g.y + g.height / 4)); },
        120s, &player.process());
    ASSERT_FALSE(shown.empty()) << "the first section never showed; " << player.process().out();

    // After the loader's chime and the silence that follows it, the music:
    // its pad sounds from the first beat without a break, where the first
    // sound effect, a blip at beat 2, lasts a quarter of a second.
    constexpr size_t half_a_second = 22050;
    FirstSound music;
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    while (!music.ended && music.frames.size() < half_a_second && std::chrono::steady_clock::now() < deadline &&
           !player.process().wait(0ms)) {
        std::this_thread::sleep_for(20ms);
        music = first_sound(player.written());
    }
    EXPECT_GE(music.frames.size(), half_a_second) << "the first sound after the chime is not the music";
    const auto loud = std::count_if(music.frames.begin(), music.frames.end(), [](Frame f) {
        return std::abs(f.left) > 1000 || std::abs(f.right) > 1000;
    });
    EXPECT_GT(loud, 1000) << "the music is too quiet";

    x.key_down("Escape");
    x.key_up("Escape");
    ASSERT_TRUE(player.process().wait(60s)) << "Escape did not end the player";
    EXPECT_EQ(player.process().exit_status(), 0) << player.process().out() << player.process().err();
}

// The resources that code made are the ones their generators make now.
TEST(Showcase, GeneratedResourcesAreUpToDate) {
    TempDir dir;
    const fs::path tools = test::build_dir() / "examples";
    ASSERT_EQ(run({(tools / "make_showcase_art").string(), (dir / "garden.glb").string(),
                   (dir / "grain.png").string()},
                  dir.path()),
              0);
    ASSERT_EQ(run({(tools / "make_showcase_music").string(), (dir / "music.wav").string(),
                   (dir / "hit.wav").string(), (dir / "blip.wav").string()},
                  dir.path()),
              0);
    for (const char* file : {"garden.glb", "grain.png", "hit.wav", "blip.wav"}) {
        EXPECT_EQ(read_file(dir / file), read_file(showcase / "resources" / file))
            << file << " differs from what its generator makes: run examples/showcase/generate/regenerate.sh";
    }
}

}  // namespace
}  // namespace qh::e2e
