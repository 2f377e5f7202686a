#pragma once
// Whole documents from and to files: a package payload in memory, a JSON
// project on disk.
//
//   auto demo = read_demo_payload(payload, progress);      // throws FormatError
//   auto demo = read_project_file("dir/project.json");     // throws ContentError
//   write_project_file(*demo, "out/");                      // out/project.json + resources
#include <filesystem>
#include <memory>
#include <span>
#include <vector>

#include "document/demo.h"

namespace qh {

inline constexpr const char* project_file_name = "project.json";

std::unique_ptr<Demo> read_demo_payload(std::span<const uint8_t> payload,
                                        const LoadProgress& progress = {});
// Into an existing document (the player builds its device side as it reads).
void read_demo_payload(Demo& demo, std::span<const uint8_t> payload, const LoadProgress& progress,
                       const RecordRead& record_read);
std::vector<uint8_t> write_demo_payload(const Demo& demo);

// Relative names in the project resolve against the project file's directory.
std::unique_ptr<Demo> read_project_file(const std::filesystem::path& project_json,
                                        const LoadProgress& progress = {});
// Writes DIR/project.json and every external file beside it.
void write_project_file(const Demo& demo, const std::filesystem::path& dir);

}  // namespace qh
