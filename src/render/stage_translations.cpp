#include "render/stage_translations.h"

#include <algorithm>
#include <cstdio>

#include "package/errors.h"
#include "package/json_value.h"

namespace qh {

std::string StageTranslations::key(std::string_view authored) {
    // FNV-1a: the table is made and read by programs of this tree alone.
    uint64_t hash = 0xcbf29ce484222325ull;
    for (const char c : authored) {
        hash ^= static_cast<uint8_t>(c);
        hash *= 0x100000001b3ull;
    }
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return text;
}

void StageTranslations::add(std::string_view authored, std::string translated) {
    by_key_[key(authored)] = std::move(translated);
}

const std::string* StageTranslations::find(std::string_view authored) const {
    const auto it = by_key_.find(key(authored));
    return it == by_key_.end() ? nullptr : &it->second;
}

std::string StageTranslations::to_json() const {
    JsonValue table = JsonValue::object();
    for (const auto& [k, text] : by_key_) table[k] = text;
    // "<" only stands in texts, where its escape reads the same.
    std::string out;
    for (const char c : table.dump()) {
        if (c == '<') out += "\\u003c";
        else out += c;
    }
    return out;
}

StageTranslations StageTranslations::from_json(std::string_view text) {
    const JsonValue table = parse_json_text(text, "the translated shader stages");
    if (!table.is_object()) throw ContentError("the translated shader stages are not an object");
    StageTranslations t;
    for (const auto& [k, value] : table.items()) {
        if (!value.is_string()) throw ContentError("the translated shader stage " + k + " is not a text");
        t.by_key_[k] = value.get<std::string>();
    }
    return t;
}

std::vector<CompiledStage> compiled_stages(ProgramTable programs) {
    std::vector<CompiledStage> stages;
    for (const std::unique_ptr<ShaderProgram>& p : programs) {
        if (!p) continue;
        stages.push_back({p.get(), false, p->vertex_shader_source, SourceMap(p->vertex_shader_filename)});
        CompiledStage fragment{p.get(), true, {}, {}};
        fragment.text = expand_includes(p->fragment_shader_source, programs, p.get(), nullptr,
                                        &fragment.map, p->fragment_shader_filename);
        stages.push_back(std::move(fragment));
    }
    return stages;
}

}  // namespace qh
