#pragma once
// What `quill play --watch` looks at: the files a project reads, which of its
// records read each, and whether any of them changed on disk.
//
//   std::vector<WatchedFile> files = project_files(project_json, demo);
//   FileWatch watch(dir.root(), names_of(files));
//   ...every few frames:
//   for (size_t i : watch.poll()) reload(files[i]);
//
// A file is seen to change when it appears, disappears, or its modification
// time or size differs from the last poll: an editor that saves by renaming a
// new file over the old one is seen like one that writes in place.
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "document/demo.h"

namespace qh::quill {

// A record that reads a file: its table and its place there (the same as its
// element's in the project's JSON array).
struct FileUse {
    RecordKind kind;
    size_t index;
    bool operator==(const FileUse&) const = default;
};

struct WatchedFile {
    std::string name;  // relative to the project's folder
    std::vector<FileUse> uses;
    bool music = false;  // the document's music
};

// The files `project` (as parsed) makes `demo` (as read from it) read: a
// shader's two sources unless it carries them inline, the files of textures,
// samples, fonts, datas and models without inline bytes, a text glTF's
// buffers and images, and the music unless it is inline. Each name once.
std::vector<WatchedFile> project_files(const JsonValue& project, const Demo& demo);

std::vector<std::string> names_of(const std::vector<WatchedFile>& files);

class FileWatch {
public:
    // Takes the files' present state; `root` is what relative names resolve against.
    FileWatch(std::filesystem::path root, std::vector<std::string> names);
    // Indices (into the names) of the files that changed since the last poll.
    std::vector<size_t> poll();

private:
    struct Stamp {
        bool exists = false;
        std::filesystem::file_time_type time{};
        uintmax_t size = 0;
        bool operator==(const Stamp&) const = default;
    };
    Stamp stamp(const std::string& name) const;

    std::filesystem::path root_;
    std::vector<std::string> names_;
    std::vector<Stamp> stamps_;
};

}  // namespace qh::quill
