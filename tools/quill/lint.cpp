#include "lint.h"

#include <cmath>
#include <cstdio>

#include "document/demo_tables.h"
#include "package/json_lint.h"
#include "scene3d/gltf_features.h"

namespace qh::quill {

namespace {

// Each element of the table at `key` checked by `lint` (the document's list
// gives one per class; null: nothing in the record reads surprisingly).
void lint_table(const JsonValue& project, const char* key, JsonLint lint,
                std::vector<std::string>& warnings) {
    if (!json_has(project, key)) return;
    const std::string where = std::string("\"") + key + "\"";
    if (!expect_array(project, key, "project", warnings) || !lint) return;
    size_t index = 0;
    for (const JsonValue& record : json_member(project, key)) {
        std::vector<std::string> found;
        lint(record, found);
        for (std::string& w : found)
            warnings.push_back(where + "[" + std::to_string(index) + "]: " + std::move(w));
        ++index;
    }
}

std::string tempo_fault(const Demo& d) {
    if (d.bpm > 0 && std::isfinite(d.bpm)) return {};
    return "\"bpm\" is " + beats_text(d.bpm) +
           ", so the beat never moves and the demo never ends; write the tempo with a decimal point, for "
           "example \"bpm\": 120.0";
}

std::string end_fault(const Demo& d) {
    if (d.end_beat > 0) return {};
    return "\"end_beat\" is " + beats_text(d.end_beat) +
           ", so the demo ends as it starts; write the last beat with a decimal point, for example "
           "\"end_beat\": 64.0";
}

// The shader files of the project's programs that do not exist, each on its
// program's record.
std::vector<NameFinding> missing_shader_files(const Demo& demo, const JsonValue& project,
                                              const std::filesystem::path& root) {
    std::vector<NameFinding> missing;
    const JsonValue& shaders = json_member(project, "shaders");
    if (!shaders.is_array()) return missing;
    for (size_t i = 0; i < shaders.size(); ++i) {
        const JsonValue& program = shaders[i];
        // As in the reader: the fragment key alone decides whether both texts are embedded.
        if (json_has(program, "fragment_shader_source")) continue;
        const ShaderProgram* record = i < demo.shaders.size() ? demo.shaders[i].get() : nullptr;
        const std::string vertex = json_text(json_member(program, "vertex_shader_filename"));
        const std::string fragment = json_text(json_member(program, "fragment_shader_filename"));
        auto check = [&](const std::string& name, const char* key) {
            const std::filesystem::path path(name);
            const std::filesystem::path resolved = path.is_absolute() ? path : root / path;
            std::error_code ec;
            if (std::filesystem::exists(resolved, ec)) return;
            missing.push_back({record, lint_context("shader", fragment),
                               "no file \"" + name + "\" (" + key + "): looked for " +
                                   std::filesystem::absolute(resolved, ec).lexically_normal().string()});
        };
        check(vertex, "vertex_shader_filename");
        if (fragment != vertex) check(fragment, "fragment_shader_filename");
    }
    return missing;
}

}  // namespace

std::string beats_text(float v) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", double(v));
    return text;
}

std::vector<std::string> lint_project(const JsonValue& project) {
    std::vector<std::string> warnings;
    for (const char* key : {"bpm", "end_beat", "beat_offset"}) {
        expect_present(project, key, "project", "0", warnings);
        expect_floating(project, key, "project", warnings);
    }
    for_each_record_class([&](auto type) {
        using T = typename decltype(type)::type;
        lint_table(project, RecordTable<T>::key, DocumentRecord<T>::lint, warnings);
    });
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

std::vector<std::string> DocumentFindings::warnings() const {
    std::vector<std::string> lines = text;
    lines.insert(lines.end(), models.begin(), models.end());
    for (const std::string& n : name_warnings(names)) lines.push_back(n);
    for (const NameFinding& m : missing) lines.push_back(m.line());
    return lines;
}

DocumentFindings find_in_document(const Demo& demo, const JsonValue* project,
                                  const std::filesystem::path& root) {
    DocumentFindings f;
    if (project) {
        f.text = lint_project(*project);
        f.missing = missing_shader_files(demo, *project, root);
    }
    f.models = lint_models(demo);
    f.names = dangling_names(demo, project);
    f.tempo = tempo_fault(demo);
    f.end = end_fault(demo);
    return f;
}

void print_warnings(const std::string& file, const std::vector<std::string>& warnings) {
    for (const std::string& w : warnings)
        std::fprintf(stderr, "quill: warning: %s: %s\n", file.c_str(), w.c_str());
}

}  // namespace qh::quill
