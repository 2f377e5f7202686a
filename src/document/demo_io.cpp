#include "document/demo_io.h"

#include <fstream>
#include <sstream>
#include <utility>

#include "package/errors.h"
#include "package/project_dir.h"

namespace qh {

std::unique_ptr<Demo> read_demo_payload(std::span<const uint8_t> payload, const LoadProgress& progress) {
    auto demo = std::make_unique<Demo>();
    read_demo_payload(*demo, payload, progress, {});
    return demo;
}

void read_demo_payload(Demo& demo, std::span<const uint8_t> payload, const LoadProgress& progress,
                       const RecordRead& record_read) {
    DemoPayloadReader reader(demo, payload, progress, record_read);
    while (!reader.done()) reader.read_next();
}

DemoPayloadReader::DemoPayloadReader(Demo& demo, std::span<const uint8_t> payload, LoadProgress progress,
                                     RecordRead record_read)
    : in_(payload), reader_(demo, in_, std::move(progress), std::move(record_read)) {}

std::vector<uint8_t> write_demo_payload(const Demo& demo) {
    BinaryWriter out;
    demo.write_binary(out);
    return out.take_bytes();
}

JsonValue read_project_json(const std::filesystem::path& project_json) {
    std::ifstream in(project_json, std::ios::binary);
    if (!in) throw ResourceFileError(project_json.string());
    std::stringstream text;
    text << in.rdbuf();
    JsonValue j = parse_json_text(text.str(), project_json.string());
    if (!j.is_object()) throw ContentError(project_json.string() + ": the project is not a JSON object");
    return j;
}

ProjectDir project_dir_of(const std::filesystem::path& project_json) {
    return ProjectDir(project_json.has_parent_path() ? project_json.parent_path()
                                                     : std::filesystem::path("."));
}

std::unique_ptr<Demo> read_project_file(const std::filesystem::path& project_json,
                                        const LoadProgress& progress) {
    const JsonValue j = read_project_json(project_json);
    auto demo = std::make_unique<Demo>();
    demo->from_json(j, project_dir_of(project_json), progress);
    return demo;
}

void write_project_file(const Demo& demo, const std::filesystem::path& dir) {
    std::filesystem::create_directories(dir);
    const ProjectDir out(dir);
    out.write(project_file_name, dump_json_text(demo.to_json(&out)));
}

}  // namespace qh
