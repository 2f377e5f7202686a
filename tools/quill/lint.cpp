#include "lint.h"

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

}  // namespace

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

void print_warnings(const std::string& file, const std::vector<std::string>& warnings) {
    for (const std::string& w : warnings)
        std::fprintf(stderr, "quill: warning: %s: %s\n", file.c_str(), w.c_str());
}

}  // namespace qh::quill
