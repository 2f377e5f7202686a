#pragma once
// The directory a JSON project lives in. Every relative name a project uses
// ("resources/music.mp3", a data blob's name, a shader's file name) resolves
// against it, never against the process's working directory.
//
//   ProjectDir dir("examples/showcase");
//   std::vector<uint8_t> bytes = dir.read("resources/logo.png");   // throws ResourceFileError
//   dir.write("resources/logo.png", bytes);                        // refuses unsafe names
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace qh {

class ProjectDir {
public:
    explicit ProjectDir(std::filesystem::path root);

    const std::filesystem::path& root() const { return root_; }

    // The whole file; throws ResourceFileError ("File not found: NAME") when
    // it cannot be opened.
    std::vector<uint8_t> read(const std::string& name) const;
    // The whole file, or nullopt-like empty result with `found` false; for
    // loaders that go on without the file.
    std::vector<uint8_t> read_optional(const std::string& name, bool& found) const;

    // Writes the file, creating parent directories. Names come from content
    // that may be hostile, so an empty name, an absolute one or one with a
    // ".." part is refused with ContentError and nothing is written.
    void write(const std::string& name, const std::vector<uint8_t>& bytes) const;
    void write(const std::string& name, const std::string& text) const;

    // True when `name` stays inside the directory.
    static bool is_safe_name(const std::string& name);

    // Where `name` is looked for.
    std::filesystem::path resolve(const std::string& name) const;

private:
    std::filesystem::path root_;
};

}  // namespace qh
