#include "document_io.h"

#include <unistd.h>

#include <fstream>
#include <optional>
#include <system_error>

#include "document/demo_io.h"
#include "package/byte_buffer.h"
#include "package/errors.h"
#include "package/trailer.h"
#include "package/web_page.h"

namespace qh::quill {

namespace {

// The payload of `packed` (a player and its package, or a package alone).
std::vector<uint8_t> payload_of(std::span<const uint8_t> packed, const std::string& name) {
    PackageLocation at;
    const TrailerStatus status = find_package(packed, at);
    if (status != TrailerStatus::found) throw ContentError(describe(status, name));
    const auto payload = packed.subspan(at.payload_offset, at.payload_size);
    return std::vector<uint8_t>(payload.begin(), payload.end());
}

// Whether `value` holds the text `name`, at any depth up to a few levels (a
// record's file name, a list of them, a scene's nodes).
bool holds_text(const JsonValue& value, const std::string& name, int depth = 0) {
    if (value.is_string()) return value.get_ref<const std::string&>() == name;
    if (depth > 8 || !value.is_structured()) return false;
    for (const JsonValue& v : value)
        if (holds_text(v, name, depth + 1)) return true;
    return false;
}

// Which records of the project name the missing file `name`:
// "\"audio_samples\"[0] and \"events\"[1]", or the music every project plays.
std::string namers(const JsonValue& project, const std::string& name) {
    if (name == music_file_name) return "the music every project plays";
    std::vector<std::string> found;
    for (const auto& [key, table] : project.items()) {
        if (!table.is_array()) continue;
        for (size_t i = 0; i < table.size(); ++i)
            if (holds_text(table[i], name)) found.push_back("\"" + key + "\"[" + std::to_string(i) + "]");
    }
    if (found.empty()) return "the project";
    std::string out = found[0];
    for (size_t i = 1; i < found.size(); ++i) out += (i + 1 == found.size() ? " and " : ", ") + found[i];
    return out;
}

// A project's reader names the missing file alone; this says which records
// name it and where it was looked for.
std::unique_ptr<Demo> read_project(const std::filesystem::path& path, const LoadProgress& progress,
                                   JsonValue* project) {
    JsonValue json = read_project_json(path);
    auto demo = std::make_unique<Demo>();
    try {
        demo->from_json(json, project_dir_of(path), progress);
    } catch (const ResourceFileError& e) {
        std::error_code ec;
        const std::filesystem::path looked =
            std::filesystem::absolute(project_dir_of(path).resolve(e.name()), ec).lexically_normal();
        throw ContentError(path.string() + ": the file " + e.name() + ", named by " + namers(json, e.name()) +
                           ", is missing: looked for " + looked.string());
    }
    if (project) *project = std::move(json);
    return demo;
}

}  // namespace

PackedFile split_packed_file(std::span<const uint8_t> file, const std::string& name) {
    PackedFile out;
    out.shares.file_bytes = file.size();
    if (is_web_player_page(file)) {
        const std::string_view page(reinterpret_cast<const char*>(file.data()), file.size());
        const std::optional<WebContent> content = find_web_content(page);
        if (!content || content->package_base64.empty())
            throw ContentError(name + ": the page is the web player alone, with no demo in it");
        std::vector<uint8_t> package;
        try {
            package = base64_decode(content->package_base64);
        } catch (const ContentError& e) {
            throw ContentError(name + ": the page's package: " + e.what());
        }
        out.payload = payload_of(package, name);
        out.player.assign(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(content->begin));
        out.player.insert(out.player.end(), file.begin() + static_cast<std::ptrdiff_t>(content->end), file.end());
    } else {
        out.payload = payload_of(file, name);
        out.player.assign(file.begin(), file.end() - static_cast<std::ptrdiff_t>(out.payload.size() + trailer_size));
    }
    out.shares.player_bytes = out.player.size();
    return out;
}

std::vector<uint8_t> read_file_bytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw ContentError(describe(TrailerStatus::unreadable, path.string()));
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string read_text(const std::filesystem::path& path) {
    const std::vector<uint8_t> bytes = read_file_bytes(path);
    return std::string(bytes.begin(), bytes.end());
}

void replace_file(const std::filesystem::path& link, const std::string& text) {
    // A linked file is replaced where it lies, the link kept; the new file
    // takes the old one's permissions.
    std::error_code ec;
    const std::filesystem::path path =
        std::filesystem::is_symlink(link) ? std::filesystem::canonical(link) : link;
    const std::filesystem::path temp = path.string() + ".quill-" + std::to_string(::getpid());
    {
        std::ofstream out(temp, std::ios::binary);
        out << text;
        if (!out.flush()) {
            std::filesystem::remove(temp, ec);
            throw ContentError("cannot write " + path.string());
        }
    }
    if (std::filesystem::exists(path, ec))
        std::filesystem::permissions(temp, std::filesystem::status(path).permissions(), ec);
    std::filesystem::rename(temp, path, ec);
    if (ec) {
        std::error_code ignored;
        std::filesystem::remove(temp, ignored);
        throw ContentError("cannot write " + path.string() + ": " + ec.message());
    }
}

std::unique_ptr<Demo> open_package(const std::filesystem::path& path, const LoadProgress& progress,
                                   PackedFile* parts) {
    PackedFile packed = split_packed_file(read_file_bytes(path), path.string());
    std::unique_ptr<Demo> demo;
    try {
        demo = read_demo_payload(packed.payload, progress);
    } catch (const ContentError& e) {
        throw ContentError(path.string() + ": " + e.what());
    }
    if (parts) *parts = std::move(packed);
    return demo;
}

std::unique_ptr<Demo> open_document(const std::filesystem::path& path, const LoadProgress& progress,
                                    PackedFile* parts, JsonValue* project) {
    if (path.extension() == ".json") return read_project(path, progress, project);
    return open_package(path, progress, parts);
}

}  // namespace qh::quill
