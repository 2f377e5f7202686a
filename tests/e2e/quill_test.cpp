// quill as a user runs it: exit statuses, what it writes, and what it says.
#include <gtest/gtest.h>

#include "e2e/e2e_support.h"
#include "package/demo_io.h"
#include "package/trailer.h"
#include "support/sample_demo.h"

namespace qh::e2e {
namespace {

using namespace std::chrono_literals;

std::vector<uint8_t> bytes(const std::filesystem::path& p) {
    const std::string s = read_file(p);
    return {s.begin(), s.end()};
}

TEST(Quill, EveryCommandHasHelpAndUsageErrorsExitWithTwo) {
    TempDir dir;
    for (const char* cmd : {"pack", "unpack", "info"}) {
        const QuillRun help = quill(dir, {cmd, "--help"});
        EXPECT_EQ(help.status, 0) << cmd;
        EXPECT_NE(help.out.find(std::string("usage: quill ") + cmd), std::string::npos) << help.out;
        EXPECT_EQ(quill(dir, {cmd}).status, 2) << cmd;
        EXPECT_EQ(quill(dir, {cmd, "x", "--no-such-option"}).status, 2) << cmd;
    }
    EXPECT_EQ(quill(dir, {}).status, 2);
    EXPECT_EQ(quill(dir, {"frobnicate"}).status, 2);
    EXPECT_EQ(quill(dir, {"--help"}).status, 0);
}

TEST(Quill, PackIsDeterministicAndSurvivesUnpackAndRepack) {
    TempDir dir;
    write_project_file(*test::make_full_demo(), dir / "project");
    ASSERT_EQ(quill(dir, {"pack", "project/project.json", "-o", "a"}).status, 0);
    ASSERT_EQ(quill(dir, {"pack", "project/project.json", "-o", "b"}).status, 0);
    EXPECT_EQ(bytes(dir / "a"), bytes(dir / "b"));
    EXPECT_TRUE((std::filesystem::status(dir / "a").permissions() & std::filesystem::perms::owner_exec) !=
                std::filesystem::perms::none);

    const QuillRun unpacked = quill(dir, {"unpack", "a", "-o", "again"});
    ASSERT_EQ(unpacked.status, 0) << unpacked.err;
    EXPECT_TRUE(std::filesystem::exists(dir / "again/resources/music.mp3"));
    EXPECT_TRUE(std::filesystem::exists(dir / "again/resources/blob.bin"));
    ASSERT_EQ(quill(dir, {"pack", "again/project.json", "-o", "c"}).status, 0);
    EXPECT_EQ(bytes(dir / "a"), bytes(dir / "c"));

    // Packing a packed player again replaces its package instead of stacking one.
    ASSERT_EQ(quill(dir, {"pack", "project/project.json", "-o", "d", "--player", "a"}).status, 0);
    EXPECT_EQ(bytes(dir / "a"), bytes(dir / "d"));
}

TEST(Quill, PackWarnsAboutNumbersThatReadAsZero) {
    TempDir dir;
    std::filesystem::create_directories(dir / "p/resources");
    write_file(dir / "p/resources/music.mp3", {});
    write_file(dir / "p/project.json", test::bytes_of(R"({"bpm": 130, "end_beat": 8.0, "beat_offset": 0.5})"));
    const QuillRun r = quill(dir, {"pack", "p/project.json", "-o", "out"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("\"bpm\""), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("reads as 0"), std::string::npos) << r.err;
}

TEST(Quill, InfoListsTempoTablesAndRunningTime) {
    TempDir dir;
    auto demo = test::make_full_demo();
    const auto exe = make_player(dir, write_demo_payload(*demo));
    const QuillRun text = quill(dir, {"info", exe.string()});
    ASSERT_EQ(text.status, 0) << text.err;
    EXPECT_NE(text.out.find("140 bpm"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("Intro"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("resources/Box.glb"), std::string::npos) << text.out;

    const QuillRun json = quill(dir, {"info", exe.string(), "--json"});
    ASSERT_EQ(json.status, 0);
    const JsonValue j = JsonValue::parse(json.out);
    EXPECT_DOUBLE_EQ(j["running_time_seconds"].get<double>(), (64 + 0.25) * 60 / 140);
    EXPECT_EQ(j["tables"]["effects"].size(), 2u);
    EXPECT_EQ(j["tables"]["effects"][1]["name"], "main");
    EXPECT_GT(j["tables"]["models"][0]["bytes"].get<uint64_t>(), 1000u);
}

TEST(Quill, MalformedPackagesAreReportedWithTheirOffset) {
    TempDir dir;
    std::vector<uint8_t> payload = write_demo_payload(*test::make_full_demo());
    payload.resize(payload.size() / 2);
    const auto truncated = make_player(dir, payload, "truncated");
    std::filesystem::copy_file(player_path(), dir / "plain");

    for (const char* cmd : {"info", "unpack"}) {
        const QuillRun r = cmd == std::string("info") ? quill(dir, {cmd, "truncated"})
                                                 : quill(dir, {cmd, "truncated", "-o", "out"});
        EXPECT_EQ(r.status, 1) << cmd;
        EXPECT_NE(r.err.find("truncated payload"), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("payload offset"), std::string::npos) << r.err;
    }
    const QuillRun plain = quill(dir, {"info", "plain"});
    EXPECT_EQ(plain.status, 1);
    EXPECT_NE(plain.err.find("no package"), std::string::npos) << plain.err;
    EXPECT_EQ(quill(dir, {"info", "does-not-exist"}).status, 1);
}

TEST(Quill, UnpackRefusesNamesThatLeaveTheDirectory) {
    // An absolute name points into a directory of this test's own.
    const TempDir elsewhere;
    const std::string absolute = (elsewhere / "absolute-escape.bin").string();
    for (const std::string& hostile : {std::string("../escaped.bin"), absolute,
                                       std::string("resources/../../up.bin")}) {
        SCOPED_TRACE(hostile);
        TempDir dir;
        Demo demo;
        auto data = std::make_unique<Data>();
        data->name = hostile;
        data->buffer = ByteBuffer(test::bytes_of("evil"));
        demo.datas.push_back(std::move(data));
        const auto exe = make_player(dir, write_demo_payload(demo));
        std::filesystem::create_directories(dir / "sub");
        const QuillRun r = quill(dir, {"unpack", exe.string(), "-o", "sub/out"});
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find("refusing"), std::string::npos) << r.err;
        EXPECT_FALSE(std::filesystem::exists(dir / "sub/escaped.bin"));
        EXPECT_FALSE(std::filesystem::exists(dir / "up.bin"));
        EXPECT_FALSE(std::filesystem::exists(absolute));
    }
}

TEST(Quill, TextGltfIsStoredAsGlbUnderADerivedName) {
    TempDir dir;
    const std::filesystem::path src = std::filesystem::path(QH_FIXTURES_DIR) / "gltf/AnimatedCube";
    std::filesystem::create_directories(dir / "p/resources");
    for (const auto& f : std::filesystem::directory_iterator(src))
        std::filesystem::copy_file(f.path(), dir / "p/resources" / f.path().filename());
    write_file(dir / "p/resources/music.mp3", {});
    write_file(dir / "p/project.json",
               test::bytes_of(R"({"bpm":130.0,"end_beat":8.0,"beat_offset":0.5,
                                 "models":[{"filename":"resources/AnimatedCube.gltf"}]})"));
    const QuillRun packed = quill(dir, {"pack", "p/project.json", "-o", "demo"});
    ASSERT_EQ(packed.status, 0) << packed.err;
    const QuillRun unpacked = quill(dir, {"unpack", "demo", "-o", "u"});
    ASSERT_EQ(unpacked.status, 0) << unpacked.err;
    const std::string glb = read_file(dir / "u/resources/AnimatedCube.gltf.glb");
    ASSERT_GE(glb.size(), 12u);
    EXPECT_EQ(glb.substr(0, 4), "glTF");
}

TEST(Quill, PackedProjectPlaysAndEndsAfterItsEndBeat) {
    TempDir dir;
    Demo demo;
    demo.bpm = 240;
    demo.end_beat = 6;
    demo.beat_offset = 0;  // beat 6 at 1.5 s
    write_project_file(demo, dir / "p");
    ASSERT_EQ(quill(dir, {"pack", "p/project.json", "-o", "demo"}).status, 0);
    Process player({(dir / "demo").string()}, dir.path(), {"SDL_AUDIODRIVER=dummy"});
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(player.wait(30s));
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(player.exit_status(), 0) << player.out();
    EXPECT_GE(took, 1500ms);
    EXPECT_LT(took, 15s);
}

}  // namespace
}  // namespace qh::e2e
