#include "package/project_dir.h"

#include <fstream>
#include <iterator>

#include "package/errors.h"

namespace qh {

ProjectDir::ProjectDir(std::filesystem::path root) : root_(std::move(root)) {}

std::filesystem::path ProjectDir::resolve(const std::string& name) const {
    std::filesystem::path p(name);
    return p.is_absolute() ? p : root_ / p;
}

std::vector<uint8_t> ProjectDir::read_optional(const std::string& name, bool& found) const {
    const std::filesystem::path path = resolve(name);
    std::error_code ec;
    found = false;
    if (!std::filesystem::exists(path, ec)) return {};
    // A device or a pipe named by a project ("/dev/zero") would never end.
    if (!std::filesystem::is_regular_file(path, ec))
        throw ContentError(name + " is not a regular file");
    std::ifstream in(path, std::ios::binary);
    found = static_cast<bool>(in);
    if (!found) return {};
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<uint8_t> ProjectDir::read(const std::string& name) const {
    bool found = false;
    std::vector<uint8_t> bytes = read_optional(name, found);
    if (!found) throw ResourceFileError(name);
    return bytes;
}

bool ProjectDir::is_safe_name(const std::string& name) {
    if (name.empty() || name.find('\0') != std::string::npos) return false;
    std::filesystem::path p(name);
    if (p.is_absolute() || p.has_root_name() || p.has_root_directory()) return false;
    for (const auto& part : p) {
        if (part == "..") return false;
    }
    return true;
}

void ProjectDir::write(const std::string& name, const std::vector<uint8_t>& bytes) const {
    if (!is_safe_name(name)) {
        throw ContentError("refusing to write \"" + name +
                           "\": resource names must be relative and stay inside " +
                           root_.string());
    }
    const std::filesystem::path target = root_ / name;
    std::error_code ec;
    if (target.has_parent_path()) std::filesystem::create_directories(target.parent_path(), ec);
    std::ofstream out(target, std::ios::binary | std::ios::trunc);
    if (!out) throw ContentError("cannot create " + target.string());
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw ContentError("cannot write " + target.string());
}

void ProjectDir::write(const std::string& name, const std::string& text) const {
    write(name, std::vector<uint8_t>(text.begin(), text.end()));
}

}  // namespace qh
