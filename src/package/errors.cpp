#include "package/errors.h"

#include <cstdio>

namespace qh {

namespace {
std::string with_offset(const std::string& what, size_t offset) {
    return what + " (at payload offset " + std::to_string(offset) + ")";
}

std::string file_not_found(const std::string& path) {
    char buf[256];
    std::snprintf(buf, sizeof buf, "File not found: %s", path.c_str());
    return buf;
}
}  // namespace

FormatError::FormatError(const std::string& what, size_t offset)
    : ContentError(with_offset(what, offset)), offset_(offset) {}

ResourceFileError::ResourceFileError(const std::string& path) : ContentError(file_not_found(path)), name_(path) {}

}  // namespace qh
