#pragma once
// The errors that reading content can raise. Everything that reads untrusted
// bytes or a project from disk throws a ContentError; the player turns it into
// the fatal report, `quill` prints it and exits non-zero.
#include <cstddef>
#include <stdexcept>
#include <string>

namespace qh {

class ContentError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Malformed or truncated package bytes. `offset` is the payload offset at
// which the problem was found; it is also part of the message.
class FormatError : public ContentError {
public:
    FormatError(const std::string& what, size_t offset);
    size_t offset() const { return offset_; }

private:
    size_t offset_;
};

// A resource file named by a project that cannot be opened. The message is
// "File not found: PATH", cut to 255 characters as the crash report expects;
// `name()` is the name whole, as the project wrote it.
class ResourceFileError : public ContentError {
public:
    explicit ResourceFileError(const std::string& path);
    const std::string& name() const { return name_; }

private:
    std::string name_;
};

}  // namespace qh
