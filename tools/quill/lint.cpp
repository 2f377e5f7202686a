#include "lint.h"

#include <cstdio>

#include "document/demo_tables.h"
#include "package/json_lint.h"
#include "scene3d/gltf_features.h"

namespace qh::quill {

namespace {

using RecordLint = void (*)(const JsonValue&, std::vector<std::string>&);

struct TableLint {
    const char* key;
    RecordLint lint;  // null: nothing in the record reads surprisingly
};

const TableLint table_lints[] = {
    {"events", lint_event_json},
    {"effects", lint_effect_json},
    {"shaders", lint_shader_program_json},
    {"textures", lint_texture_json},
    {"audio_samples", lint_audio_sample_json},
    {"event_groups", lint_event_group_json},
    {"fonts", lint_font_json},
    {"font_textures", lint_font_texture_json},
    {"datas", nullptr},
    {"models", lint_model_json},
    {"scenes", lint_scene_json},
};

}  // namespace

std::vector<std::string> lint_project(const JsonValue& project) {
    std::vector<std::string> warnings;
    for (const char* key : {"bpm", "end_beat", "beat_offset"}) {
        expect_present(project, key, "project", "0", warnings);
        expect_floating(project, key, "project", warnings);
    }
    for (const TableLint& t : table_lints) {
        if (!json_has(project, t.key)) continue;
        const std::string where = std::string("\"") + t.key + "\"";
        if (!expect_array(project, t.key, "project", warnings) || !t.lint) continue;
        size_t index = 0;
        for (const JsonValue& record : json_member(project, t.key)) {
            std::vector<std::string> found;
            t.lint(record, found);
            for (std::string& w : found)
                warnings.push_back(where + "[" + std::to_string(index) + "]: " + std::move(w));
            ++index;
        }
    }
    return warnings;
}

std::vector<std::string> lint_models(const Demo& demo) {
    std::vector<std::string> warnings;
    for (const auto& model : demo.models) {
        if (!model) continue;
        for (const std::string& f : unsupported_features(model->gltf))
            warnings.push_back("model \"" + model->filename + "\": " + f);
    }
    return warnings;
}

void print_warnings(const std::string& file, const std::vector<std::string>& warnings) {
    for (const std::string& w : warnings)
        std::fprintf(stderr, "quill: warning: %s: %s\n", file.c_str(), w.c_str());
}

}  // namespace qh::quill
