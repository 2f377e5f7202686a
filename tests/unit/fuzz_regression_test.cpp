// Faults the fuzzers (fuzz/fuzz_*.cpp) found. Every input that found one is
// kept in fuzz/corpus/<reader>/ as regress_*; each, and every seed beside
// it, is fed again to the entry point that reads that folder (built in under
// its own name), so the fuzzers' own checks judge it, in the sanitizer build
// too. The reduced cases below name what each fault was.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "document/demo_io.h"
#include "document/demo_tables.h"
#include "package/errors.h"
#include "package/project_dir.h"
#include "support/scratch_dir.h"
#include "support/tree_paths.h"

// The fuzz targets' entry points (tests/CMakeLists.txt renames them).
extern "C" int qh_fuzz_stream_readers(const uint8_t* data, size_t size);
extern "C" int qh_fuzz_package_reader(const uint8_t* data, size_t size);
extern "C" int qh_fuzz_project_reader(const uint8_t* data, size_t size);
extern "C" int qh_fuzz_gltf_import(const uint8_t* data, size_t size);

namespace qh {
namespace {

namespace fs = std::filesystem;
using FuzzEntry = int (*)(const uint8_t*, size_t);

// Which target reads the inputs of each corpus folder (fuzz/README.md).
const std::map<std::string, FuzzEntry> entry_of_folder = {
    {"stream", qh_fuzz_stream_readers},
    {"package", qh_fuzz_package_reader},
    {"project", qh_fuzz_project_reader},
    {"gltf", qh_fuzz_gltf_import},
};

// fuzz/corpus/media belongs to a target that needs a GL context and a mixer;
// its inputs are replayed where those are (audio_device_test.cpp,
// texture_gl_test.cpp).
std::vector<fs::path> corpus_inputs() {
    std::vector<fs::path> found;
    for (const auto& entry : fs::recursive_directory_iterator(test::fuzz_corpus_dir())) {
        if (entry.is_regular_file() && entry.path().parent_path().filename() != "media")
            found.push_back(entry.path());
    }
    return found;
}

// A target that finds a fault aborts with its reason on standard error, so
// each input runs in a child process of its own and the others still run.
TEST(FuzzRegression, EveryKeptInputAndSeedPassesItsTarget) {
    const std::vector<fs::path> inputs = corpus_inputs();
    const auto kept = std::count_if(inputs.begin(), inputs.end(), [](const fs::path& p) {
        return p.filename().string().rfind("regress_", 0) == 0;
    });
    ASSERT_GT(kept, 0) << "no regress_* input under " << test::fuzz_corpus_dir();
    for (const fs::path& input : inputs) {
        SCOPED_TRACE(input.string());
        const std::string folder = input.parent_path().filename().string();
        const auto entry = entry_of_folder.find(folder);
        ASSERT_NE(entry, entry_of_folder.end()) << "no fuzz target reads fuzz/corpus/" << folder;
        std::ifstream in(input, std::ios::binary);
        const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
        ASSERT_EQ(bytes.size(), fs::file_size(input));
        EXPECT_EXIT(
            {
                entry->second(bytes.data(), bytes.size());
                std::exit(0);
            },
            testing::ExitedWithCode(0), "");
    }
}

class EmptyDir {
public:
    ProjectDir dir() const { return ProjectDir(scratch_.path()); }

private:
    test::ScratchDir scratch_{"qh-fuzz-regress"};
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
