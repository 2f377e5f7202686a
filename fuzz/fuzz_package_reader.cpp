// Arbitrary bytes as a whole package payload.
//
// - read_demo_payload may only throw ContentError (FormatError and its kin);
//   any other exception, a crash, a leak, a hang or an allocation far beyond
//   the input is a finding.
// - The progress callback runs once per record read and once more at the end.
// - A payload that reads is written back and read again: that must read, and
//   writing the second document must give the first written bytes exactly.
//   The one refusal the writer is allowed is a model named as text glTF whose
//   bytes did not parse (there is no GLB to store); such a document is not
//   written.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <span>
#include <vector>

#include "document/demo_io.h"
#include "document/demo_tables.h"
#include "package/errors.h"

namespace {

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "fuzz_package_reader: %s\n", what);
    std::abort();
}

void check(bool ok, const char* what) {
    if (!ok) fail(what);
}

// Reads the payload, counting progress calls; any error but ContentError
// escapes and ends the run.
std::unique_ptr<qh::Demo> read_counted(std::span<const uint8_t> payload) {
    uint64_t calls = 0, last_index = 0, last_total = 0;
    auto demo = qh::read_demo_payload(payload, [&](uint64_t index, uint64_t total) {
        ++calls;
        last_index = index;
        last_total = total;
    });
    check(calls == demo->record_count() + 1, "progress: not one call per record plus one");
    check(last_index == last_total && last_total == demo->resource_count,
          "progress: the last call is not index == total == resource_count");
    return demo;
}

bool writer_refuses(const qh::Demo& demo) {
    for (const auto& m : demo.models) {
        if (qh::has_gltf_text_extension(m->filename) && !m->parsed) return true;
    }
    return false;
}

void round_trip(const qh::Demo& demo) {
    if (writer_refuses(demo)) return;
    const std::vector<uint8_t> first = qh::write_demo_payload(demo);
    std::unique_ptr<qh::Demo> again;
    try {
        again = read_counted(first);
    } catch (const qh::ContentError& e) {
        std::fprintf(stderr, "written payload does not read: %s\n", e.what());
        fail("round trip: the written payload does not read");
    }
    check(again->record_count() == demo.record_count(), "round trip: record count changed");
    check(qh::write_demo_payload(*again) == first, "round trip: second write differs");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t size) {
    std::unique_ptr<qh::Demo> demo;
    try {
        demo = read_counted({input, size});
    } catch (const qh::ContentError&) {
        return 0;
    }
    try {
        round_trip(*demo);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "round trip threw: %s\n", e.what());
        fail("round trip: writing or reading back threw");
    }
    return 0;
}
