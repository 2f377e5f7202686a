#include "render/uniform_def.h"

#include "package/json_lint.h"

namespace qh {

JsonValue UniformDef::to_json(const ProjectDir*) const {
    JsonValue j = JsonValue::object();
    j["name"] = name;
    // Doubles keep the floats exact and stay floating in the text form.
    j["min_val"] = static_cast<double>(min_val);
    j["max_val"] = static_cast<double>(max_val);
    j["default_val"] = static_cast<double>(default_val);
    return j;
}

void UniformDef::write_binary(BinaryWriter& out) const {
    out.write_packed_string(name);
    out.write_f32(min_val);
    out.write_f32(max_val);
    out.write_f32(default_val);
}

void UniformDef::from_json(const JsonValue& value, const ProjectDir&) {
    // Every member replaces the creation value, even when absent: stored
    // projects without "max_val" have always read a range ending at 0.
    name = json_text(json_member(value, "name"));
    min_val = json_float(json_member(value, "min_val"));
    max_val = json_float(json_member(value, "max_val"));
    default_val = json_float(json_member(value, "default_val"));
}

void UniformDef::read_binary(BinaryReader& in) {
    name = in.read_packed_string("UniformDef name");
    min_val = in.read_f32("UniformDef min_val");
    max_val = in.read_f32("UniformDef max_val");
    default_val = in.read_f32("UniformDef default_val");
}

void lint_uniform_def_json(const JsonValue& value, std::vector<std::string>& warnings) {
    const std::string context = lint_context("uniform", json_text(json_member(value, "name")));
    if (!value.is_object()) {
        warnings.push_back(context + ": not an object; it reads as an unnamed uniform with range 0..0");
        return;
    }
    expect_text(value, "name", context, warnings);
    expect_present(value, "max_val", context, "0 (not 1)", warnings);
    for (const char* key : {"min_val", "max_val", "default_val"}) {
        expect_floating(value, key, context, warnings);
    }
}

}  // namespace qh
