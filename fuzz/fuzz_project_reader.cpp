// Arbitrary bytes as the text of a JSON project, read against an empty
// directory (so every external file a project names is missing).
//
// - parse_json_text and Demo::from_json may only throw ContentError (a syntax
//   error, invalid Base64, ResourceFileError for a missing file); anything
//   else, a crash, a leak, a hang or an allocation far beyond the input is a
//   finding. Reading never writes into the directory.
// - A project that reads is written to JSON with everything embedded
//   (to_json(nullptr)) and read again: that must read, and the two documents
//   must pack to the same payload bytes. As in fuzz_package_reader, a model
//   named as text glTF that did not parse cannot be packed, and such a
//   document is not compared.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include <unistd.h>

#include "document/demo_io.h"
#include "document/demo_tables.h"
#include "package/errors.h"
#include "package/project_dir.h"

namespace {

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "fuzz_project_reader: %s\n", what);
    std::abort();
}

void check(bool ok, const char* what) {
    if (!ok) fail(what);
}

// One empty directory per process, removed at a normal exit.
class EmptyDir {
public:
    EmptyDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "qh-fuzz-project-XXXXXX").string();
        if (!mkdtemp(pattern.data())) fail("cannot create the temporary directory");
        path_ = pattern;
    }
    ~EmptyDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

const EmptyDir& empty_dir() {
    static const EmptyDir dir;
    return dir;
}

bool writer_refuses(const qh::Demo& demo) {
    for (const auto& m : demo.models) {
        if (qh::has_gltf_text_extension(m->filename) && !m->parsed) return true;
    }
    return false;
}

void round_trip(const qh::Demo& demo, const qh::ProjectDir& dir) {
    if (writer_refuses(demo)) return;
    const std::vector<uint8_t> first = qh::write_demo_payload(demo);
    const qh::JsonValue project = demo.to_json(nullptr);
    qh::Demo again;
    try {
        again.from_json(project, dir);
    } catch (const qh::ContentError& e) {
        std::fprintf(stderr, "written project does not read: %s\n", e.what());
        fail("round trip: the written project does not read");
    }
    check(again.record_count() == demo.record_count(), "round trip: record count changed");
    check(qh::write_demo_payload(again) == first, "round trip: payloads differ");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t size) {
    const qh::ProjectDir dir(empty_dir().path());
    const std::string_view text(reinterpret_cast<const char*>(input), size);
    qh::Demo demo;
    try {
        demo.from_json(qh::parse_json_text(text, "fuzz.json"), dir);
    } catch (const qh::ContentError&) {
        check(std::filesystem::is_empty(dir.root()), "reading wrote into the project directory");
        return 0;
    }
    check(std::filesystem::is_empty(dir.root()), "reading wrote into the project directory");
    try {
        round_trip(demo, dir);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "round trip threw: %s\n", e.what());
        fail("round trip: writing or reading back threw");
    }
    return 0;
}
