#include "document_io.h"

#include "package/errors.h"
#include "document/demo_io.h"
#include "package/trailer.h"

namespace qh::quill {

std::unique_ptr<Demo> open_package(const std::filesystem::path& path, const LoadProgress& progress) {
    std::vector<uint8_t> payload;
    const TrailerStatus status = read_package_file(path.string(), payload);
    if (status != TrailerStatus::found) throw ContentError(describe(status, path.string()));
    try {
        return read_demo_payload(payload, progress);
    } catch (const ContentError& e) {
        throw ContentError(path.string() + ": " + e.what());
    }
}

std::unique_ptr<Demo> open_document(const std::filesystem::path& path, const LoadProgress& progress) {
    if (path.extension() == ".json") return read_project_file(path, progress);
    return open_package(path, progress);
}

}  // namespace qh::quill
