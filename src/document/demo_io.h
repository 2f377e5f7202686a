#pragma once
// Whole documents from and to files: a package payload in memory, a JSON
// project on disk.
//
//   auto demo = read_demo_payload(payload, progress);      // throws FormatError
//   DemoPayloadReader reader(demo, payload, progress, record_read);
//   while (!reader.done()) reader.read_next();             // a record a call
//   auto demo = read_project_file("dir/project.json");     // throws ContentError
//   write_project_file(*demo, "out/");                      // out/project.json + resources
#include <filesystem>
#include <memory>
#include <span>
#include <vector>

#include "document/demo.h"
#include "package/project_dir.h"

namespace qh {

inline constexpr const char* project_file_name = "project.json";

std::unique_ptr<Demo> read_demo_payload(std::span<const uint8_t> payload,
                                        const LoadProgress& progress = {});
// Into an existing document (the player builds its device side as it reads).
void read_demo_payload(Demo& demo, std::span<const uint8_t> payload, const LoadProgress& progress,
                       const RecordRead& record_read);
// read_demo_payload a record at a time (DemoReader over the payload's own
// BinaryReader); `payload` must outlive it.
class DemoPayloadReader {
public:
    DemoPayloadReader(Demo& demo, std::span<const uint8_t> payload, LoadProgress progress = {},
                      RecordRead record_read = {});
    void read_next() { reader_.read_next(); }
    bool done() const { return reader_.done(); }

private:
    BinaryReader in_;
    DemoReader reader_;
};
std::vector<uint8_t> write_demo_payload(const Demo& demo);

// Relative names in the project resolve against the project file's directory.
std::unique_ptr<Demo> read_project_file(const std::filesystem::path& project_json,
                                        const LoadProgress& progress = {});
// The two halves of read_project_file, for callers that keep the JSON (the
// live preview reads single records of it again): the parsed file, an object
// (ContentError otherwise), and the folder its names resolve against.
JsonValue read_project_json(const std::filesystem::path& project_json);
ProjectDir project_dir_of(const std::filesystem::path& project_json);
// Writes DIR/project.json and every external file beside it.
void write_project_file(const Demo& demo, const std::filesystem::path& dir);

}  // namespace qh
