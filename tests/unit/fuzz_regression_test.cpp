// Faults the document fuzzers (fuzz/fuzz_package_reader.cpp,
// fuzz/fuzz_project_reader.cpp) found, each reduced to the smallest input
// that shows it. The inputs that found them stay in fuzz/corpus/ as regress_*.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

#include "document/demo_io.h"
#include "document/demo_tables.h"
#include "package/errors.h"
#include "package/project_dir.h"

namespace qh {
namespace {

class EmptyDir {
public:
    EmptyDir()
        : path_(std::filesystem::temp_directory_path() /
                ("qh-fuzz-regress-" + std::to_string(::getpid()))) {
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~EmptyDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    ProjectDir dir() const { return ProjectDir(path_); }

private:
    std::filesystem::path path_;
};

struct ProjectRow {
    const char* name;
    const char* project;  // read against an empty directory
};

// A project saved and read again must pack to the same payload: the saved
// form may not link a reference to a record the original did not link to.
TEST(FuzzRegression, ProjectSavedAndReadAgainPacksTheSame) {
    const ProjectRow rows[] = {
        {"effect names a missing program beside a shader with no file name",
         R"({"music":"","shaders":[{"fragment_shader_source":""}],
             "effects":[{"name":"fx","program":"p.frag"}]})"},
        {"effect lists a missing texture beside a texture with the empty name",
         R"({"music":"","textures":[{"image_buffer":""}],
             "effects":[{"name":"fx","textures":["nope"]}]})"},
        {"effect lists a missing input beside an effect with the empty name",
         R"({"music":"","effects":[{"name":""},{"name":"fx","effects":["nope"]}]})"},
        {"effect lists a missing text texture beside one with the empty name",
         R"({"music":"","font_textures":[{}],
             "effects":[{"name":"fx","font_textures":["nope"]}]})"},
    };
    const EmptyDir empty;
    for (const ProjectRow& row : rows) {
        SCOPED_TRACE(row.name);
        Demo first;
        first.from_json(parse_json_text(row.project, "row.json"), empty.dir());
        const std::vector<uint8_t> packed = write_demo_payload(first);

        Demo in_memory;
        in_memory.from_json(first.to_json(nullptr), empty.dir());
        EXPECT_EQ(write_demo_payload(in_memory), packed);

        Demo through_text;
        through_text.from_json(parse_json_text(dump_json_text(first.to_json(nullptr)), "saved.json"),
                               empty.dir());
        EXPECT_EQ(write_demo_payload(through_text), packed);
    }
}

// Well-formed text the JSON library still refuses must come out as
// ContentError like any syntax error, never as the library's own exception.
TEST(FuzzRegression, UnreadableNumbersAreContentErrors) {
    struct Row {
        const char* name;
        const char* text;
    };
    const Row rows[] = {
        {"exponent beyond double range", R"({"bpm": 1e400})"},
        {"negative number beyond double range", R"({"events": [{"start_beat": -1e400}]})"},
        {"long exponent, as found", "1e777777777777777777777777777777739\n}\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        try {
            parse_json_text(row.text, "row.json");
            ADD_FAILURE() << "no error";
        } catch (const ContentError& e) {
            EXPECT_EQ(std::string(e.what()).rfind("row.json", 0), 0u) << e.what();
        }
    }
}

}  // namespace
}  // namespace qh
