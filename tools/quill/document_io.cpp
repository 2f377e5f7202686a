#include "document_io.h"

#include "package/errors.h"
#include "document/demo_io.h"
#include "package/trailer.h"

namespace qh::quill {

std::unique_ptr<Demo> open_package(const std::filesystem::path& path, const LoadProgress& progress,
                                   PackedShares* shares) {
    std::vector<uint8_t> payload;
    const TrailerStatus status = read_package_file(path.string(), payload);
    if (status != TrailerStatus::found) throw ContentError(describe(status, path.string()));
    if (shares) {
        std::error_code ec;
        shares->file_bytes = std::filesystem::file_size(path, ec);
        if (ec || shares->file_bytes < payload.size() + trailer_size)
            throw ContentError(path.string() + ": the file changed while it was read");
        shares->player_bytes = shares->file_bytes - payload.size() - trailer_size;
    }
    try {
        return read_demo_payload(payload, progress);
    } catch (const ContentError& e) {
        throw ContentError(path.string() + ": " + e.what());
    }
}

std::unique_ptr<Demo> open_document(const std::filesystem::path& path, const LoadProgress& progress,
                                    PackedShares* shares) {
    if (path.extension() == ".json") return read_project_file(path, progress);
    return open_package(path, progress, shares);
}

}  // namespace qh::quill
