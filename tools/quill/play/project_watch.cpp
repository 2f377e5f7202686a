#include "project_watch.h"

#include <algorithm>

#include "document/demo_tables.h"

namespace qh::quill {

namespace {

class FileList {
public:
    void add(const std::string& name, std::optional<FileUse> use, bool music = false) {
        if (name.empty()) return;
        auto it = std::find_if(files_.begin(), files_.end(),
                               [&](const WatchedFile& f) { return f.name == name; });
        if (it == files_.end()) it = files_.insert(files_.end(), WatchedFile{name, {}, false});
        if (use && std::find(it->uses.begin(), it->uses.end(), *use) == it->uses.end())
            it->uses.push_back(*use);
        it->music = it->music || music;
    }
    std::vector<WatchedFile> take() { return std::move(files_); }

private:
    std::vector<WatchedFile> files_;
};

// Each element of a table that reads `name_key`'s file unless `inline_key` is present.
void add_table(FileList& list, const JsonValue& project, const char* table, RecordKind kind,
               const char* inline_key, std::initializer_list<const char*> name_keys) {
    const JsonValue& array = json_member(project, table);
    if (!array.is_array()) return;
    for (size_t i = 0; i < array.size(); ++i) {
        if (json_has(array[i], inline_key)) continue;
        for (const char* key : name_keys) list.add(json_text(json_member(array[i], key)), FileUse{kind, i});
    }
}

// Buffers and images of a text glTF read from files beside it.
void add_gltf_files(FileList& list, const JsonValue& project, const Demo& demo) {
    const JsonValue& array = json_member(project, "models");
    for (size_t i = 0; i < demo.models.size() && array.is_array() && i < array.size(); ++i) {
        const Model& m = *demo.models[i];
        if (json_has(array[i], "buffer") || !m.parsed) continue;
        const std::filesystem::path base = std::filesystem::path(m.filename).parent_path();
        auto add = [&](const std::string& uri) {
            if (uri.empty() || uri.rfind("data:", 0) == 0) return;
            list.add((base / uri).lexically_normal().generic_string(), FileUse{RecordKind::models, i});
        };
        for (const auto& b : m.gltf.buffers) add(b.uri);
        for (const auto& image : m.gltf.images) add(image.uri);
    }
}

}  // namespace

std::vector<WatchedFile> project_files(const JsonValue& project, const Demo& demo) {
    FileList list;
    add_table(list, project, "shaders", RecordKind::shaders, "fragment_shader_source",
              {"vertex_shader_filename", "fragment_shader_filename"});
    add_table(list, project, "textures", RecordKind::textures, "image_buffer", {"name"});
    add_table(list, project, "fonts", RecordKind::fonts, "font_buffer", {"filename"});
    add_table(list, project, "datas", RecordKind::datas, "data_buffer", {"name"});
    add_table(list, project, "models", RecordKind::models, "buffer", {"filename"});
    add_table(list, project, "audio_samples", RecordKind::audio_samples, "audio_buffer", {"name"});
    add_gltf_files(list, project, demo);
    if (!json_has(project, "music")) list.add(music_file_name, std::nullopt, true);
    return list.take();
}

std::vector<std::string> names_of(const std::vector<WatchedFile>& files) {
    std::vector<std::string> names;
    for (const WatchedFile& f : files) names.push_back(f.name);
    return names;
}

FileWatch::FileWatch(std::filesystem::path root, std::vector<std::string> names)
    : root_(std::move(root)), names_(std::move(names)) {
    for (const std::string& n : names_) stamps_.push_back(stamp(n));
}

FileWatch::Stamp FileWatch::stamp(const std::string& name) const {
    std::error_code ec;
    const std::filesystem::path p = root_ / name;
    Stamp s;
    const auto status = std::filesystem::status(p, ec);
    if (ec || !std::filesystem::exists(status)) return s;
    s.exists = true;
    s.time = std::filesystem::last_write_time(p, ec);
    if (std::filesystem::is_regular_file(status)) s.size = std::filesystem::file_size(p, ec);
    return s;
}

std::vector<size_t> FileWatch::poll() {
    std::vector<size_t> changed;
    for (size_t i = 0; i < names_.size(); ++i) {
        Stamp now = stamp(names_[i]);
        if (now == stamps_[i]) continue;
        stamps_[i] = now;
        changed.push_back(i);
    }
    return changed;
}

}  // namespace qh::quill
