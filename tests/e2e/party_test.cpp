// quill check --party and quill render --capture as an entrant runs them: a
// small packed demo held to the parties' rules as quill carries them (and to
// rules written for one behaviour each), and the organisers' video measured
// with ffprobe against the rule it was made for.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "document/demo_io.h"
#include "e2e/e2e_support.h"
#include "support/sample_demo.h"
#include "support/tree_paths.h"
#include "support/wav.h"

namespace qh::e2e {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

const char* const filled =
    "#version 150\nout vec4 fragColor;\nvoid main() { fragColor = vec4(0.8, 0.5, 0.2, 1.0); }\n";
// The left half of the frame only: a picture short of the right edge.
const char* const left_half =
    "#version 150\nuniform vec2 resolution;\nout vec4 fragColor;\n"
    "void main() { fragColor = gl_FragCoord.x < resolution.x * 0.5 ? vec4(0.8, 0.5, 0.2, 1.0) : vec4(0, 0, 0, 1); }\n";

// Noise, so that the sound encoder has something to spend its bits on.
std::vector<uint8_t> noise_music(double seconds) {
    std::minstd_rand random(7);
    std::vector<int16_t> pcm(static_cast<size_t>(seconds * 44100) * 2);
    for (int16_t& s : pcm) s = static_cast<int16_t>(static_cast<int>(random() % 16001) - 8000);
    return test::wav_file(pcm, 2);
}

// One effect drawing `fragment` from beat 0 to `end_beat`, a beat a second.
std::unique_ptr<Demo> one_effect(const char* fragment, float end_beat) {
    auto d = std::make_unique<Demo>();
    d->bpm = 60;
    d->end_beat = end_beat;
    test::add_effect_event(*d, "picture", fragment, 0, end_beat);
    return d;
}

// The rules of a party quill carries.
json built_in_rules(const std::string& party) {
    std::ifstream in(test::source_dir() / ("tools/quill/parties/" + party + ".json"));
    return json::parse(in);
}

// A party of one rule: `rule`'s own fields, with its year and words.
json one_rule(json rule) {
    rule["year"] = 2024;
    rule["quote"] = "The " + rule["kind"].get<std::string>() + " rule of the test party.";
    return {{"party", "Test"}, {"year", 2024}, {"source", "the tests"}, {"rules", {rule}}};
}

// The line of the report that quotes `quote`.
std::string line_quoting(const std::string& out, const std::string& quote) {
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        if (line.find("\"" + quote + "\"") != std::string::npos) return line;
    }
    return {};
}

struct PartyCase {
    const char* name;
    std::string party;  // a party quill carries; empty: `rules`, written to a file
    json rules;
    const char* fragment;
    float end_beat;
    bool windows;                      // packed for Windows, else for Linux
    std::vector<std::string> failing;  // the kinds of the rules that fail
};

// Every rule gets one line that quotes it, failed or passed as the row says,
// and the exit status is 1 exactly when a rule that binds failed.
TEST(Party, EachRuleIsCheckedAndQuoted) {
    const PartyCase cases[] = {
        {"a small Linux demo passes Revision", "revision", {}, filled, 2, false, {}},
        // 478 s of timeline and the loading screen's 4 s hold: over 8 minutes.
        {"a demo over Assembly's 8 minutes", "assembly", {}, filled, 478, false, {"length"}},
        {"a Windows demo passes Evoke", "evoke", {}, filled, 2, true, {}},
        {"a Linux demo where only Windows runs", "",
         one_rule({{"kind", "systems"}, {"bare", true}, {"systems", {{{"system", "windows"}, {"name", "Windows 10"}}}}}),
         filled, 2, false, {"systems"}},
        {"a Linux demo on an older C library", "",
         one_rule({{"kind", "systems"},
                   {"systems", {{{"system", "linux"}, {"name", "Debian 9"}, {"glibc", "2.24"}}}}}),
         filled, 2, false, {"systems"}},
        {"over the size limit", "", one_rule({{"kind", "size"}, {"max_bytes", 4096}}), filled, 2, false, {"size"}},
        {"a screen narrower than 16:9 cuts the window", "",
         one_rule({{"kind", "resolutions"}, {"modes", {"2560x1080"}}, {"refresh_hz", 60}}), filled, 2, false,
         {"resolutions"}},
        {"a picture short of the window's edge", "",
         one_rule({{"kind", "resolutions"}, {"modes", {"640x480"}}, {"refresh_hz", 60}}), left_half, 2, false,
         {"resolutions"}},
    };
    for (const PartyCase& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.windows && !fs::exists(test::build_dir() / "quillharbor.exe")) {
            std::printf("skipped \"%s\": the build has no Windows player (no MinGW-w64 cross compiler)\n", c.name);
            continue;
        }
        TempDir dir;
        write_project_file(*one_effect(c.fragment, c.end_beat), dir / "project");
        std::vector<std::string> pack = {"pack", "project/project.json", "-o", "demo"};
        if (c.windows) pack.insert(pack.end(), {"--target", "windows"});
        const QuillRun packed = quill(dir, pack);
        ASSERT_EQ(packed.status, 0) << packed.err;

        std::string party = c.party;
        json rules = c.rules;
        if (party.empty()) {
            party = (dir / "rules.json").string();
            write_text(party, rules.dump(2));
        } else {
            rules = built_in_rules(party);
        }
        const QuillRun r = quill(dir, {"check", "--party", party, "demo"});
        bool binding_failed = false;
        for (const json& rule : rules["rules"]) {
            const std::string kind = rule["kind"];
            const bool fails = std::count(c.failing.begin(), c.failing.end(), kind) > 0;
            binding_failed |= fails && !rule.value("optional", false);
            // What the player does by its build is said as given, not as checked.
            const bool given = kind == "player" && rule["behaviour"] != "same_every_run";
            const std::string line = line_quoting(r.out, rule["quote"]);
            EXPECT_EQ(line.rfind((fails ? "  FAILED  " : given ? "  given   " : "  ok      ") + kind, 0), 0u)
                << kind << ": " << line << "\n" << r.out << r.err;
        }
        EXPECT_EQ(r.status, binding_failed ? 1 : 0) << r.out << r.err;
    }
}

// A party quill does not know, and rules it cannot read: what is wrong, and where.
TEST(Party, UnknownPartiesAndMalformedRulesAreNamed) {
    TempDir dir;
    write_file(dir / "demo", {});
    json broken = one_rule({{"kind", "length"}});  // no "max_seconds"
    broken["rules"].insert(broken["rules"].begin(), one_rule({{"kind", "size"}, {"max_bytes", 10}})["rules"][0]);
    write_text(dir / "broken.json", broken.dump(2));

    const QuillRun unknown = quill(dir, {"check", "--party", "nosuch", "demo"});
    EXPECT_EQ(unknown.status, 2);
    for (const char* known : {"assembly", "evoke", "revision"})
        EXPECT_NE(unknown.err.find(known), std::string::npos) << unknown.err;

    const QuillRun malformed = quill(dir, {"check", "--party", (dir / "broken.json").string(), "demo"});
    EXPECT_EQ(malformed.status, 1);
    EXPECT_NE(malformed.err.find((dir / "broken.json").string() + ": rule 2 (length): \"max_seconds\" is missing"),
              std::string::npos)
        << malformed.err;
}

// The video of Revision's capture rule: its size, rate and codecs, at its
// least bit rates or more, as ffprobe reads them.
TEST(Party, CaptureMeetsTheRuleItWasMadeFor) {
    TempDir dir;
    const std::unique_ptr<Demo> d = one_effect(filled, 2);
    d->music = ByteBuffer(noise_music(2.5));
    const fs::path demo = make_player(dir, write_demo_payload(*d));
    const QuillRun r = quill(dir, {"render", demo.string(), "-o", (dir / "out").string(), "--capture", "revision",
                                   "--no-frames"});
    ASSERT_EQ(r.status, 0) << r.out << r.err;

    std::string out, err;
    ASSERT_EQ(run({"/usr/bin/env", "ffprobe", "-v", "error", "-show_entries",
                   "stream=codec_type,codec_name,width,height,r_frame_rate,bit_rate", "-of", "json",
                   (dir / "out/revision-capture.mp4").string()},
                  dir.path(), std::chrono::seconds(60), {}, &out, &err),
              0)
        << err;
    json rule;
    const json revision = built_in_rules("revision");
    for (const json& r : revision["rules"]) {
        if (r["kind"] == "capture") rule = r;
    }
    ASSERT_TRUE(rule.is_object()) << "Revision's rules ask for a capture";
    json video, audio;
    const json probed = json::parse(out);
    for (const json& s : probed["streams"]) (s["codec_type"] == "video" ? video : audio) = s;
    EXPECT_EQ(video["codec_name"], "h264") << out;
    EXPECT_EQ(video["width"], rule["width"]) << out;
    EXPECT_EQ(video["height"], rule["height"]) << out;
    EXPECT_EQ(video["r_frame_rate"], std::to_string(rule["fps"].get<int>()) + "/1") << out;
    EXPECT_GE(std::stoi(video["bit_rate"].get<std::string>()), rule["video"]["min_kbps"].get<int>() * 1000) << out;
    EXPECT_EQ(audio["codec_name"], "aac") << out;
    EXPECT_GE(std::stoi(audio["bit_rate"].get<std::string>()), rule["audio"]["min_kbps"].get<int>() * 1000) << out;
}

}  // namespace
}  // namespace qh::e2e
