// The demo as one web page: quill pack --target web, the page in the
// system's browsers (tests/web/play_page.mjs drives them as a viewer would),
// and quill reading the page back.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "e2e/e2e_support.h"
#include "package/byte_buffer.h"
#include "package/trailer.h"
#include "package/web_page.h"
#include "support/golden_image.h"
#include "support/tree_paths.h"

namespace qh::e2e {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const fs::path project = test::source_dir() / "examples/showcase/project.json";
// The page without the program in it: all that packing and reading need.
const fs::path bare_page = test::source_dir() / "src/app/web/page.html";
const fs::path web_player = test::build_dir() / "quillharbor-web.html";
const std::string size = "640x360";
constexpr int grid_ms = 50;  // quill render's frames at 20 per second

// The page as a browser shows it: what play_page.mjs reported, or why the
// browser could not be had here.
struct Viewing {
    nlohmann::json report;
    std::string skipped;
};

Viewing view_page(const TempDir& dir, const std::string& browser, const fs::path& page,
                  const std::vector<std::string>& extra) {
    std::vector<std::string> argv = {"/usr/bin/env", "node", (test::source_dir() / "tests/web/play_page.mjs").string(),
                                     "--browser", browser, "--page", page.string(), "--out",
                                     (dir / browser).string(), "--size", size};
    argv.insert(argv.end(), extra.begin(), extra.end());
    // Firefox draws WebGL only with a display: one of this test's own.
    std::unique_ptr<XServer> display;
    std::vector<std::string> env;
    if (browser == "firefox") {
        display = std::make_unique<XServer>();
        env.push_back(display->env());
    }
    std::string out, err;
    const int status = run(argv, dir.path(), 400s, env, &out, &err);
    if (status == 77) return {{}, err};
    EXPECT_EQ(status, 0) << out << err;
    return {nlohmann::json::parse(read_file(dir / browser / "report.json")), {}};
}

fs::path pack_web(const TempDir& dir, const fs::path& player) {
    const fs::path page = dir / "demo.html";
    const QuillRun r = quill(dir, {"pack", "--target", "web", "--player", player.string(), project.string(),
                                   "-o", page.string()});
    EXPECT_EQ(r.status, 0) << r.err;
    return page;
}

// A section of the showcase at its beat, and how far the browser's frame may
// stand from quill render's: the mean difference of a channel. Both draw in
// software, but the browser draws whenever it can (about 20 to 50 frames a
// second here) while the render draws 20 a second exactly, so grain,
// feedback trails, falling particles and sound-driven bars stand a little
// apart, and a few pixels of them fully apart (the largest difference says
// nothing here). WebGL filters the shadow map by nearest texel. A missing
// text, model or section moves the mean by far more than these limits.
struct Section {
    const char* name;
    int ms;
    double mean_limit;
    bool follows_sound;  // comparable only where the page's sound runs
};
const Section sections[] = {
    {"title", 10000, 2.0, false},    // text over the tunnel (seen: 0.1 to 1.0)
    {"pulse", 24000, 20.0, true},    // spectrum bars with trails (seen: 8.4 to 13.1)
    {"garden", 40000, 4.0, false},   // animated models, shadows, particles (seen: 0.1 to 2.0)
    {"credits", 58000, 2.0, false},  // text over the tunnel, strobe trails (seen: 0.4 to 0.8)
};

class WebShowcase : public testing::TestWithParam<std::string> {};

TEST_P(WebShowcase, ShowsItsSectionsAsQuillRendersThemAndPlaysItsMusic) {
    if (!fs::exists(web_player)) GTEST_SKIP() << "no web player: the build makes it where emscripten is installed";
    TempDir dir;
    const fs::path page = pack_web(dir, web_player);
    // The reference sound: the render's mix of the music and the samples.
    const int last_ms = sections[std::size(sections) - 1].ms;
    ASSERT_EQ(quill(dir, {"render", page.string(), "-o", (dir / "sound").string(), "--fps", "1", "--size",
                          "64x36", "--to", std::to_string(last_ms / 1000)})
                  .status,
              0);
    std::string targets;
    for (const Section& s : sections) targets += std::to_string(s.ms) + ",";
    // Chromium as an organiser's kiosk, which lets the page sound at once;
    // Firefox as a viewer's browser, which waits for a click.
    std::vector<std::string> options = {"--capture-ms", targets, "--grid-ms", std::to_string(grid_ms), "--escape",
                                        "--reference-wav", (dir / "sound/sound.wav").string()};
    if (GetParam() == "firefox") options.push_back("--click");
    const Viewing v = view_page(dir, GetParam(), page, options);
    if (!v.skipped.empty()) GTEST_SKIP() << v.skipped;
    const nlohmann::json& r = v.report;
    ASSERT_FALSE(r.contains("error")) << r.dump(1);
    EXPECT_TRUE(r["requests"].empty()) << "the page asked the network: " << r["requests"].dump();
    EXPECT_EQ(r["message"], "The demo has ended.") << r.dump(1);
    if (GetParam() == "firefox") {
        EXPECT_EQ(r["asked_for_gesture"], true);
    }
    // The level rises and sinks again as the package is read: it shows only
    // where the page presented frames from the middle of reading, not just
    // the empty screens before and after.
    EXPECT_GT(r["loading"]["highest"].get<double>(), 0.25) << r["loading"].dump();
    ASSERT_EQ(r["frames"].size(), std::size(sections)) << r.dump(1);

    // Firefox starts no sound where the machine has no sound device.
    const bool sounding = r["audio_state"] == "running";
    if (GetParam() == "chromium") {
        EXPECT_TRUE(sounding) << r["audio_state"];
    }
    for (size_t i = 0; i < std::size(sections); ++i) {
        const Section& s = sections[i];
        const nlohmann::json& f = r["frames"][i];
        if (s.follows_sound && !sounding) continue;
        const int n = static_cast<int>(std::lround(f["ms"].get<double>() / grid_ms));
        const fs::path rendered = dir / (std::string("render-") + s.name);
        const std::string from = std::to_string(n * grid_ms / 1000.0);
        ASSERT_EQ(quill(dir, {"render", page.string(), "-o", rendered.string(), "--fps", "20", "--size", size,
                              "--from", from, "--to", std::to_string((n * grid_ms + 10) / 1000.0)})
                      .status,
                  0);
        char name[32];
        std::snprintf(name, sizeof name, "frame-%06d.png", n);
        const test::RgbImage shown = test::read_png(dir / GetParam() / f["file"].get<std::string>());
        const test::RgbImage expected = test::read_png(rendered / name);
        const test::ImageDifference d = test::compare_images(shown, expected);
        std::printf("%s: %s at %s ms: mean %.2f, largest %d\n", GetParam().c_str(), s.name, f["ms"].dump().c_str(),
                    d.mean, d.largest);
        if (d.mean <= s.mean_limit) continue;
        const fs::path kept = test::build_dir() / "web-failures";
        fs::create_directories(kept);
        test::write_png(kept / (GetParam() + "-" + s.name + "-shown.png"), shown);
        test::write_png(kept / (GetParam() + "-" + s.name + "-rendered.png"), expected);
        ADD_FAILURE() << s.name << " at " << f["ms"] << " ms differs from quill render's frame " << n << ": mean "
                      << d.mean << " (limit " << s.mean_limit << "); both in " << kept;
    }

    // Heard: about as loud as the render's mix, its power around the same
    // frequencies (the spectra's centroids). The page's sound is fed from its
    // main thread, which software WebGL keeps busy: on a loaded machine it
    // drops out now and then, each gap's clicks adding high frequencies
    // (ratios of 1.03 to 1.32 were seen). Half or double speed, noise or a
    // garbled decode fall outside.
    if (!sounding) {
        std::printf("%s played no sound (its audio context: %s)\n", GetParam().c_str(), r["audio_state"].dump().c_str());
        return;
    }
    const nlohmann::json& heard = r["sound"];
    const nlohmann::json& reference = r["reference"];
    ASSERT_GT(heard["windows"].get<int>(), 100) << r.dump(1);
    const double level = heard["rms"].get<double>() / reference["rms"].get<double>();
    EXPECT_GT(level, 0.8) << heard.dump() << reference.dump();
    EXPECT_LT(level, 1.25) << heard.dump() << reference.dump();
    const double centroid = heard["centroid_hz"].get<double>() / reference["centroid_hz"].get<double>();
    EXPECT_GT(centroid, 0.7) << heard.dump() << reference.dump();
    EXPECT_LT(centroid, 2.0) << heard.dump() << reference.dump();
}

INSTANTIATE_TEST_SUITE_P(Browsers, WebShowcase, testing::Values("chromium", "firefox"),
                         [](const auto& info) { return info.param; });

// A page whose package is damaged says so on the page: the player's fatal
// report, never a blank page.
TEST(WebDemo, DamagedPackageShowsTheFatalReport) {
    if (!fs::exists(web_player)) GTEST_SKIP() << "no web player: the build makes it where emscripten is installed";
    TempDir dir;
    const std::string player = read_file(web_player);
    // Four payload bytes whose trailer claims a thousand.
    std::vector<uint8_t> damaged = {'Q', 'H', 'Q', 'H', 0xe8, 0x03, 0, 0, 'D', 'E', 'M', 'O'};
    const std::string page = web_page_with_content(player, damaged, "{}");
    write_text(dir / "damaged.html", page);
    const Viewing v = view_page(dir, "chromium", dir / "damaged.html", {});
    if (!v.skipped.empty()) GTEST_SKIP() << v.skipped;
    EXPECT_EQ(v.report["report"], "Fatal error: the page: truncated package: the trailer announces more payload "
                                  "bytes than the file holds\nExiting.")
        << v.report.dump(1);
}

// A stage glslang cannot take is named where its author wrote it, by pack
// (which writes no page) and by check.
TEST(WebPack, UntranslatableStageIsNamedByFileAndLine) {
    TempDir dir;
    fs::create_directories(dir / "p/resources");
    write_text(dir / "p/resources/broken.frag", "#version 330\nout vec4 c;\nvoid main() {\n    c = vec4(undeclared);\n}\n");
    write_text(dir / "p/resources/default.vert", "#version 150\nin vec3 vp;\nvoid main() { gl_Position = vec4(vp, 1.0); }\n");
    write_text(dir / "p/project.json", R"({"bpm": 120.0, "beat_offset": 0.0, "end_beat": 8.0, "music": "",
        "shaders": [{"vertex_shader_filename":
        "resources/default.vert", "fragment_shader_filename": "resources/broken.frag"}]})");
    const std::string project_file = (dir / "p/project.json").string();
    const std::vector<std::vector<std::string>> commands = {
        {"pack", "--target", "web", "--player", bare_page.string(), project_file, "-o", (dir / "out.html").string()},
        {"check", "--target", "web", project_file},
    };
    for (const auto& command : commands) {
        const QuillRun r = quill(dir, command);
        if (r.err.find("did not run") != std::string::npos) GTEST_SKIP() << r.err;
        EXPECT_EQ(r.status, 1) << command[0];
        EXPECT_NE((r.out + r.err).find("resources/broken.frag:4: error: 'undeclared' : undeclared identifier"),
                  std::string::npos)
            << command[0] << ": " << r.out << r.err;
    }
    EXPECT_FALSE(fs::exists(dir / "out.html"));
}

// quill reads a page as it reads a packed executable: the same records, and
// a project that packs to the same package bytes.
TEST(WebPack, PageReadsBackAsTheLinuxDemoDoes) {
    TempDir dir;
    const fs::path page = pack_web(dir, bare_page);
    const fs::path linux_demo = dir / "demo";
    ASSERT_EQ(quill(dir, {"pack", project.string(), "-o", linux_demo.string()}).status, 0);
    const auto tables = [&](const fs::path& file) {
        const QuillRun r = quill(dir, {"info", "--json", file.string()});
        EXPECT_EQ(r.status, 0) << r.err;
        return nlohmann::json::parse(r.out)["tables"];
    };
    EXPECT_EQ(tables(page), tables(linux_demo));

    ASSERT_EQ(quill(dir, {"unpack", page.string(), "-o", (dir / "unpacked").string()}).status, 0);
    ASSERT_EQ(quill(dir, {"pack", (dir / "unpacked/project.json").string(), "-o", (dir / "again").string()}).status, 0);
    const std::string packed = read_file(linux_demo), again = read_file(dir / "again");
    PackageLocation a, b;
    ASSERT_EQ(find_package(std::span(reinterpret_cast<const uint8_t*>(packed.data()), packed.size()), a),
              TrailerStatus::found);
    ASSERT_EQ(find_package(std::span(reinterpret_cast<const uint8_t*>(again.data()), again.size()), b),
              TrailerStatus::found);
    EXPECT_EQ(packed.substr(a.payload_offset), again.substr(b.payload_offset));
}

}  // namespace
}  // namespace qh::e2e
