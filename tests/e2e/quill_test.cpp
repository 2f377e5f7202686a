// quill as a user runs it: exit statuses, what it writes, and what it says.
#include <gtest/gtest.h>

#include <cstring>
#include <elf.h>
#include <map>

#include "e2e/e2e_support.h"
#include "document/demo_io.h"
#include "document/demo_tables.h"
#include "package/binary_stream.h"
#include "package/trailer.h"
#include "support/gltf_builder.h"
#include "support/sample_demo.h"
#include "support/tree_paths.h"
#include "support/xml_check.h"

namespace qh::e2e {
namespace {

using namespace std::chrono_literals;

std::vector<uint8_t> bytes(const std::filesystem::path& p) {
    const std::string s = read_file(p);
    return {s.begin(), s.end()};
}

TEST(Quill, EveryCommandHasHelpAndUsageErrorsExitWithTwo) {
    TempDir dir;
    for (const char* cmd : {"pack", "unpack", "info", "join", "shadertoy"}) {
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

TEST(Quill, PackAndCheckWarnAboutNumbersThatReadAsZeroAndModelsDrawnInPart) {
    TempDir dir;
    std::filesystem::create_directories(dir / "p/resources");
    write_file(dir / "p/resources/music.mp3", {});
    test::GltfBuilder b;
    b.root(b.node(b.quad_mesh({0, 0, 0}, {1, 0, 0}, {0, 1, 0})));
    b.model.cameras.emplace_back().type = "perspective";
    b.model.cameras[0].perspective.yfov = b.model.cameras[0].perspective.znear = 0.5;
    write_file(dir / "p/resources/figure.glb", b.glb());
    write_file(dir / "p/resources/morph.gltf", test::gltf_fixture("MorphStrip.gltf"));  // drawn and played in all
    write_file(dir / "p/project.json", test::bytes_of(R"({"bpm": 130, "end_beat": 8.0, "beat_offset": 0.5,
                                                          "models": [{"filename": "resources/figure.glb"},
                                                                     {"filename": "resources/morph.gltf"}]})"));
    const QuillRun r = quill(dir, {"pack", "p/project.json", "-o", "out"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("\"bpm\""), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("reads as 0"), std::string::npos) << r.err;
    const std::string cameras = "model \"resources/figure.glb\": uses cameras";
    const QuillRun json = quill(dir, {"check", "out", "--json"});
    const JsonValue warnings = JsonValue::parse(json.out)["warnings"];
    ASSERT_EQ(warnings.size(), 1u) << json.out;
    for (const std::string& said : {r.out + r.err, quill(dir, {"check", "p/project.json"}).out,
                                    quill(dir, {"check", "out"}).out, warnings[0].get<std::string>()}) {
        EXPECT_NE(said.find(cameras), std::string::npos) << said;
        EXPECT_EQ(said.find(cameras), said.rfind(cameras)) << said;
        for (const char* drawn : {"morph targets", "cubic"}) EXPECT_EQ(said.find(drawn), std::string::npos) << said;
    }
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

// The section names of a 64-bit ELF image (the players built here); empty
// for anything else.
std::vector<std::string> elf_section_names(const std::string& image) {
    Elf64_Ehdr eh;
    if (image.size() < sizeof eh || image.compare(0, SELFMAG, ELFMAG) != 0 || image[EI_CLASS] != ELFCLASS64)
        return {};
    std::memcpy(&eh, image.data(), sizeof eh);
    if (eh.e_shoff + uint64_t(eh.e_shnum) * sizeof(Elf64_Shdr) > image.size() || eh.e_shstrndx >= eh.e_shnum)
        return {};
    auto section = [&](size_t i) {
        Elf64_Shdr sh;
        std::memcpy(&sh, image.data() + eh.e_shoff + i * sizeof sh, sizeof sh);
        return sh;
    };
    const Elf64_Shdr names = section(eh.e_shstrndx);
    std::vector<std::string> out;
    for (size_t i = 0; i < eh.e_shnum; ++i) {
        const uint64_t at = names.sh_offset + section(i).sh_name;
        if (at < image.size()) out.emplace_back(image.c_str() + at);
    }
    return out;
}

std::vector<std::string> debug_sections(const std::string& image) {
    std::vector<std::string> found;
    for (const std::string& name : elf_section_names(image))
        if (name.rfind(".debug_", 0) == 0) found.push_back(name);
    return found;
}

TEST(Quill, TheBuildKeepsThePlayersDebugInformationApart) {
    const std::string full = read_file(packed_player_build_path());
    const std::string stripped = read_file(packed_player_path());
    const std::vector<std::string> stripped_sections = elf_section_names(stripped);
    ASSERT_FALSE(stripped_sections.empty()) << packed_player_path() << " is not an ELF file";
    EXPECT_EQ(debug_sections(stripped), std::vector<std::string>{});
    EXPECT_NE(std::find(stripped_sections.begin(), stripped_sections.end(), ".gnu_debuglink"),
              stripped_sections.end());
    // Whatever debug information the build gave the player is kept in its file.
    const std::vector<std::string> kept = debug_sections(read_file(player_debug_path()));
    for (const std::string& name : debug_sections(full))
        EXPECT_NE(std::find(kept.begin(), kept.end(), name), kept.end()) << name << " was not kept";
    EXPECT_LT(stripped.size(), full.size());
}

struct PackedPlayerCase {
    const char* name;
    std::vector<std::string> option;    // the --player option, if any
    std::filesystem::path (*player)();  // the player expected in front of the package
};

// A packed file is the player it was packed into, byte for byte, and then the
// package; `info` tells the two shares apart.
TEST(Quill, PackedFileIsItsPlayerPlusItsContent) {
    const PackedPlayerCase cases[] = {
        {"default: the stripped player", {}, packed_player_path},
        {"--player names the full player", {"--player", player_path().string()}, player_path},
    };
    TempDir dir;
    write_project_file(*test::make_full_demo(), dir / "project");
    for (const PackedPlayerCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> args = {"pack", "project/project.json", "-o", "demo"};
        args.insert(args.end(), c.option.begin(), c.option.end());
        const QuillRun packed = quill(dir, args);
        ASSERT_EQ(packed.status, 0) << packed.err;

        const std::string player = read_file(c.player());
        const std::vector<uint8_t> file = bytes(dir / "demo");
        ASSERT_GT(file.size(), player.size());
        EXPECT_TRUE(std::equal(player.begin(), player.end(), file.begin(),
                               [](char p, uint8_t f) { return static_cast<uint8_t>(p) == f; }))
            << "the player is not in front";
        PackageLocation at;
        ASSERT_EQ(find_package(file, at), TrailerStatus::found);
        EXPECT_EQ(at.payload_offset, player.size());
        EXPECT_EQ(at.payload_offset + at.payload_size + trailer_size, file.size());

        const QuillRun json = quill(dir, {"info", "demo", "--json"});
        ASSERT_EQ(json.status, 0) << json.err;
        const JsonValue j = JsonValue::parse(json.out);
        EXPECT_EQ(j["file_bytes"].get<uint64_t>(), file.size());
        EXPECT_EQ(j["player_bytes"].get<uint64_t>(), player.size());
        EXPECT_EQ(j["content_bytes"].get<uint64_t>(), file.size() - player.size());

        const QuillRun text = quill(dir, {"info", "demo"});
        ASSERT_EQ(text.status, 0) << text.err;
        const std::string player_line = "player:       " + std::to_string(player.size()) + " bytes, ";
        const std::string content_line = "content:      " + std::to_string(file.size() - player.size()) + " bytes, ";
        EXPECT_NE(text.out.find(player_line), std::string::npos) << text.out;
        EXPECT_NE(text.out.find(content_line), std::string::npos) << text.out;
    }
    // A project has no player to share the file with.
    const QuillRun project = quill(dir, {"info", "project/project.json"});
    ASSERT_EQ(project.status, 0) << project.err;
    EXPECT_NE(project.out.find("records:"), std::string::npos) << project.out;
    EXPECT_EQ(project.out.find("player:"), std::string::npos) << project.out;
}

struct NeedsCase {
    const char* name;
    std::vector<std::string> option;  // the --player option, if any
    std::vector<const char*> said;    // on standard output
    std::vector<const char*> warned;  // on standard error
};

// `info` says what the player part of a packed demo needs from the system,
// and warns of a player that runs only where its shared libraries are.
TEST(Quill, InfoSaysWhatThePackedPlayerNeeds) {
    TempDir dir;
    write_project_file(*test::make_full_demo(), dir / "project");
    write_file(dir / "script", test::bytes_of("#!/bin/sh\nexec echo a player\n"));
    const NeedsCase cases[] = {
        {"default player", {}, {"runs on:      Linux x86-64", "player needs: ", "glibc floor:  "}, {}},
        {"the development build", {"--player", player_path().string()}, {"player needs: ", "libSDL2"},
         {"a development build that needs ", "libSDL2", "`make build`", "build/quill pack"}},
        {"no executable", {"--player", "script"}, {"player needs: not known: the player is not a Linux x86-64"}, {}},
        {"a Windows player", {"--target", "windows", "--player", "player.exe"}, {"runs on:      Windows x86-64"}, {}},
    };
    // The headers of a 64-bit Windows image: "MZ", where "PE\0\0" starts, the machine.
    std::vector<uint8_t> exe(256);
    exe[0] = 'M', exe[1] = 'Z', exe[0x3c] = 0x80;
    const uint8_t pe[] = {'P', 'E', 0, 0, 0x64, 0x86};
    std::copy(std::begin(pe), std::end(pe), exe.begin() + 0x80);
    write_file(dir / "player.exe", exe);
    for (const NeedsCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> args = {"pack", "project/project.json", "-o", "demo"};
        args.insert(args.end(), c.option.begin(), c.option.end());
        ASSERT_EQ(quill(dir, args).status, 0);

        const QuillRun text = quill(dir, {"info", "demo"});
        ASSERT_EQ(text.status, 0) << text.err;
        for (const char* s : c.said) EXPECT_NE(text.out.find(s), std::string::npos) << s << " in\n" << text.out;
        for (const char* s : c.warned) EXPECT_NE(text.err.find(s), std::string::npos) << s << " in\n" << text.err;

        const QuillRun json = quill(dir, {"info", "demo", "--json"});
        ASSERT_EQ(json.status, 0) << json.err;
        EXPECT_TRUE(JsonValue::parse(json.out)["player_needs"]["libraries"].is_array()) << json.out;
        // What quill packs by default travels, unless the build was told otherwise.
        if (c.option.empty() && QH_PORTABLE_PLAYER) {
            EXPECT_EQ(text.err.find("development build"), std::string::npos) << text.err;
            EXPECT_NE(text.out.find("glibc floor:  GLIBC_2.3"), std::string::npos) << text.out;
        }
    }
    // --target is checked against the player: no Windows demo in front of a Linux player.
    const QuillRun wrong = quill(dir, {"pack", "project/project.json", "-o", "demo.exe", "--target", "windows",
                                       "--player", player_path().string()});
    EXPECT_EQ(wrong.status, 1);
    EXPECT_NE(wrong.err.find("is Linux x86-64, not Windows x86-64"), std::string::npos) << wrong.err;
    EXPECT_FALSE(std::filesystem::exists(dir / "demo.exe"));
    EXPECT_EQ(quill(dir, {"pack", "project/project.json", "-o", "demo", "--target", "mac"}).status, 2);
}

struct TimelineRun {
    const char* name;
    std::vector<std::string> args;  // "@demo" stands for the packed sample demo
    int status;
    std::string said;  // on standard error
    const char* written;  // the picture, when one is expected
};

void PrintTo(const TimelineRun& c, std::ostream* os) { *os << c.name; }

class QuillTimeline : public testing::TestWithParam<TimelineRun> {};

// `info --timeline` draws a packed demo or a project, and for input it cannot
// read or a picture it cannot write says why, exits with 1 and leaves no file.
TEST_P(QuillTimeline, DrawsOrSaysWhyNot) {
    const TimelineRun& c = GetParam();
    TempDir dir;
    const auto exe = make_player(dir, write_demo_payload(*test::make_full_demo()));
    write_project_file(*test::make_full_demo(), dir / "project");
    write_file(dir / "broken.json", test::bytes_of(R"({"events": [)"));
    std::filesystem::copy_file(player_path(), dir / "plain");

    std::vector<std::string> args = c.args;
    for (std::string& a : args)
        if (a == "@demo") a = exe.string();
    const QuillRun r = quill(dir, args);
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
    if (!c.written) {
        for (const auto& e : std::filesystem::directory_iterator(dir.path()))
            EXPECT_NE(e.path().extension(), ".svg") << e.path() << " was left behind";
        return;
    }
    test::XmlElement svg;
    ASSERT_NO_THROW(svg = test::parse_xml(read_file(dir / c.written)));
    EXPECT_EQ(svg.find_all([](const test::XmlElement& e) { return e.has_class("event-row"); }).size(), 3u);
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, QuillTimeline,
    testing::Values(
        TimelineRun{"PackedDemo", {"info", "@demo", "--timeline", "t.svg"}, 0, "timeline of 3 events", "t.svg"},
        TimelineRun{"Project", {"info", "project/project.json", "--timeline", "p.svg"}, 0, "p.svg", "p.svg"},
        TimelineRun{"MissingFile", {"info", "nothing.bin", "--timeline", "t.svg"}, 1, "cannot read", nullptr},
        TimelineRun{"NoPackage", {"info", "plain", "--timeline", "t.svg"}, 1, "no package", nullptr},
        TimelineRun{"MalformedProject", {"info", "broken.json", "--timeline", "t.svg"}, 1, "broken.json", nullptr},
        TimelineRun{"OutputInAMissingFolder", {"info", "@demo", "--timeline", "no/such/t.svg"}, 1,
                    "cannot create no/such/t.svg", nullptr},
        TimelineRun{"NoOutputNamed", {"info", "@demo", "--timeline"}, 2, "needs a value", nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

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

// Every file below `dir` with its content, by path relative to `dir`.
std::map<std::string, std::string> files_below(const std::filesystem::path& dir) {
    std::map<std::string, std::string> files;
    for (const auto& e : std::filesystem::recursive_directory_iterator(dir)) {
        const std::string name = std::filesystem::relative(e.path(), dir).string();
        files[name] = e.is_directory() ? "<dir>" : read_file(e.path());
    }
    return files;
}

struct UnpackCase {
    const char* name;
    const char* out;          // the -o argument, below "sub"
    bool out_exists;          // "sub/out" already holds keep.txt and resources/old.bin
    const char* second_name;  // of the second data record, after "resources/first.bin"
    bool refused;
};

void PrintTo(const UnpackCase& c, std::ostream* os) { *os << c.name; }

class QuillUnpackOutput : public testing::TestWithParam<UnpackCase> {};

// A refused name stops the unpacking before anything lands in the output
// folder: a new folder is not left behind, an existing one keeps what it held.
TEST_P(QuillUnpackOutput, IsWrittenWholeOrNotAtAll) {
    const UnpackCase& c = GetParam();
    TempDir dir;
    Demo demo;
    for (const char* name : {"resources/first.bin", c.second_name}) {
        auto data = std::make_unique<Data>();
        data->name = name;
        data->buffer = ByteBuffer(test::bytes_of(std::string("bytes of ") + name));
        demo.datas.push_back(std::move(data));
    }
    const auto exe = make_player(dir, write_demo_payload(demo));
    std::filesystem::create_directories(dir / "sub");
    if (c.out_exists) {
        std::filesystem::create_directories(dir / "sub/out/resources");
        write_file(dir / "sub/out/keep.txt", test::bytes_of("kept"));
        write_file(dir / "sub/out/resources/old.bin", test::bytes_of("old"));
    }
    const auto before = files_below(dir / "sub");

    const QuillRun r = quill(dir, {"unpack", exe.string(), "-o", std::string("sub/") + c.out});
    if (c.refused) {
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find("refusing"), std::string::npos) << r.err;
        EXPECT_EQ(files_below(dir / "sub"), before);
        return;
    }
    ASSERT_EQ(r.status, 0) << r.err;
    const auto after = files_below(dir / "sub");
    for (const auto& [name, content] : before) {
        const auto it = after.find(name);
        ASSERT_NE(it, after.end()) << name << " is gone";
        EXPECT_EQ(it->second, content) << name;
    }
    for (const auto& [name, content] : after)
        EXPECT_EQ(name.find(".quill-unpack"), std::string::npos) << name << " was left behind";
    const std::filesystem::path out = dir / "sub" / c.out;
    EXPECT_TRUE(std::filesystem::exists(out / "project.json"));
    for (const std::string name : {"resources/first.bin", c.second_name})
        EXPECT_EQ(read_file(out / name), "bytes of " + name);
}

INSTANTIATE_TEST_SUITE_P(
    Folders, QuillUnpackOutput,
    testing::Values(UnpackCase{"NewFolder", "out", false, "resources/second.bin", false},
                    UnpackCase{"NewNestedFolders", "out/deeper", false, "resources/second.bin", false},
                    UnpackCase{"ExistingFolder", "out", true, "resources/second.bin", false},
                    UnpackCase{"NewFolderRefused", "out", false, "../escaped.bin", true},
                    UnpackCase{"NewNestedFoldersRefused", "out/deeper", false, "/tmp/qh-absolute.bin", true},
                    UnpackCase{"ExistingFolderRefused", "out", true, "resources/../../up.bin", true}),
    [](const auto& info) { return std::string(info.param.name); });

struct PackFailure {
    const char* name;
    std::string project;  // project.json, beside an empty resources/music.mp3
    std::vector<std::pair<std::string, std::string>> files;  // more files of the project
    std::pair<std::string, uint64_t> run_file;  // and one of this many '/', when named
    std::vector<std::string> said;  // in what quill says, "@" standing for the project folder
};

void PrintTo(const PackFailure& c, std::ostream* os) { *os << c.name; }

class QuillPackFails : public testing::TestWithParam<PackFailure> {};

// A project the player could not play as written stops the packing with
// status 1, says why, and leaves no output behind.
TEST_P(QuillPackFails, WithStatusOneAndNoOutput) {
    const PackFailure& c = GetParam();
    TempDir dir;
    std::filesystem::create_directories(dir / "p/resources");
    write_file(dir / "p/resources/music.mp3", {});
    write_file(dir / "p/project.json", test::bytes_of(c.project));
    for (const auto& [name, text] : c.files) write_file(dir / "p" / name, test::bytes_of(text));
    if (!c.run_file.first.empty())
        write_file(dir / "p" / c.run_file.first, std::vector<uint8_t>(c.run_file.second, '/'));

    const QuillRun r = quill(dir, {"pack", "p/project.json", "-o", "out"});
    EXPECT_EQ(r.status, 1) << r.err;
    const std::string folder = (std::filesystem::canonical(dir.path()) / "p").string();
    for (std::string expected : c.said) {
        if (const size_t at = expected.find('@'); at != std::string::npos) expected.replace(at, 1, folder);
        EXPECT_NE(r.err.find(expected), std::string::npos) << "missing \"" << expected << "\" in\n" << r.err;
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "out"));
}

const char* const tempo = R"("bpm": 130.0, "end_beat": 8.0, "beat_offset": 0.5)";

std::string project_with(const std::string& members) { return "{" + members + ", " + tempo + "}"; }

const std::string missing_fragment = project_with(
    R"("shaders": [{"vertex_shader_filename": "resources/v.vert",
                    "fragment_shader_filename": "resources/missing.frag"}])");
const std::string missing_both = project_with(
    R"("shaders": [{"vertex_shader_filename": "shaders/gone.vert",
                    "fragment_shader_filename": "shaders/gone.frag"}])");
const std::string missing_shared = project_with(
    R"("shaders": [{"vertex_shader_filename": "resources/both.glsl",
                    "fragment_shader_filename": "resources/both.glsl"}])");
const std::string missing_texture = project_with(R"("textures": [{"name": "resources/logo.png"}])");
const std::string huge_shader = project_with(
    R"("shaders": [{"vertex_shader_filename": "resources/v.vert",
                    "fragment_shader_filename": "resources/huge.frag"}])");

INSTANTIATE_TEST_SUITE_P(
    Projects, QuillPackFails,
    testing::Values(
        PackFailure{"MissingFragmentShader",
                    missing_fragment,
                    {{"resources/v.vert", "void main() {}\n"}},
                    {},
                    {"\"resources/missing.frag\" (fragment_shader_filename): looked for @/resources/missing.frag"}},
        PackFailure{"MissingVertexAndFragmentShaders",
                    missing_both,
                    {},
                    {},
                    {"\"shaders/gone.vert\" (vertex_shader_filename): looked for @/shaders/gone.vert",
                     "\"shaders/gone.frag\" (fragment_shader_filename): looked for @/shaders/gone.frag"}},
        PackFailure{"MissingFileForBothShaders",
                    missing_shared,
                    {},
                    {},
                    {"\"resources/both.glsl\" (vertex_shader_filename): looked for @/resources/both.glsl"}},
        PackFailure{"MissingTexture", missing_texture, {}, {},
                    {"the file resources/logo.png, named by \"textures\"[0], is missing: looked for @/resources/logo.png"}},
        // Its one run compresses to a few bytes but reads as more than any text may.
        PackFailure{"TextLongerThanAnyTextMayBe",
                    huge_shader,
                    {{"resources/v.vert", "void main() {}\n"}},
                    {"resources/huge.frag", max_packed_text + 1},
                    {"does not read back", "Uncompressed data in message deemed too large"}}),
    [](const auto& info) { return std::string(info.param.name); });

// A shader holding a long run (a banner comment of 100 KB) compresses to a few
// bytes; the packed player reads it back and plays to its end beat.
TEST(Quill, ShaderWithALongRunPacksAndPlays) {
    TempDir dir;
    const std::string source = "#version 150\n// " + std::string(100000, '=') +
                               "\nout vec4 fragColor;\nvoid main() { fragColor = vec4(0.0, 0.0, 1.0, 1.0); }\n";
    Demo demo;
    demo.bpm = 240;
    demo.end_beat = 6;
    demo.beat_offset = 0;
    test::add_effect_event(demo, "banner", source, 0, 6);
    write_project_file(demo, dir / "p");
    ASSERT_EQ(read_file(dir / "p/resources/banner.frag"), source);

    const QuillRun packed = quill(dir, {"pack", "p/project.json", "-o", "demo"});
    ASSERT_EQ(packed.status, 0) << packed.err;
    const QuillRun unpacked = quill(dir, {"unpack", "demo", "-o", "u"});
    ASSERT_EQ(unpacked.status, 0) << unpacked.err;
    EXPECT_EQ(read_file(dir / "u/resources/banner.frag"), source);

    Process player({(dir / "demo").string()}, dir.path(), {"SDL_AUDIODRIVER=dummy"});
    ASSERT_TRUE(player.wait(120s)) << "the player did not end after its end beat";
    EXPECT_EQ(player.exit_status(), 0) << player.out();
    EXPECT_FALSE(std::filesystem::exists(dir / "crash.txt")) << read_file(dir / "crash.txt");
}

TEST(Quill, TextGltfIsStoredAsGlbUnderADerivedName) {
    TempDir dir;
    const std::filesystem::path src = qh::test::fixtures_dir() / "gltf/AnimatedCube";
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
    ASSERT_TRUE(player.wait(120s)) << "the player did not end after its end beat";
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(player.exit_status(), 0) << player.out();
    // Not before its end beat; how long after depends on the machine's load.
    EXPECT_GE(took, 1500ms);
}

}  // namespace
}  // namespace qh::e2e
