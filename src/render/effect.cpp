#include "render/effect.h"

#include <stdexcept>

#include "package/json_lint.h"
#include "render/shader_program.h"
#include "render/texture.h"

namespace qh {

namespace {

// A null entry is written as JSON null, which reads back as null: written as
// "" it would come back as whichever record has the empty name. The list
// keeps its length and order either way.
template <class T, class NameOf>
JsonValue names_of(const std::vector<T*>& records, NameOf name_of) {
    JsonValue out = JsonValue::array();
    for (const T* r : records) out.push_back(r ? JsonValue(name_of(*r)) : JsonValue());
    return out;
}

// The record a name refers to; anything but a text (null, a number, a missing
// key) is no reference and looks nothing up.
template <class T>
T* named(const JsonValue& name, NameMap<T>& map) {
    return name.is_string() ? lookup(map, name.get<std::string>()) : nullptr;
}

template <class T>
const std::string& name_via(const std::string& (*reader)(const T&), const T& record,
                            const char* what) {
    if (!reader) {
        throw std::logic_error(std::string("Effect::to_json: no name reader given for ") + what);
    }
    return reader(record);
}

template <class T>
void resolve_ids(std::vector<T*>& out, const std::vector<ResourceId>& ids, const IdentityMap& map) {
    out.clear();
    out.reserve(ids.size());
    for (ResourceId id : ids) out.push_back(map.find<T>(id));
}

template <class T>
void resolve_names(std::vector<T*>& out, const JsonValue& list, NameMap<T>& map) {
    out.clear();
    if (!list.is_array()) return;
    out.reserve(list.size());
    for (const JsonValue& name : list) out.push_back(named(name, map));
}

template <class T>
void write_refs(BinaryWriter& out, const std::vector<T*>& records) {
    out.write_u64(records.size());
    for (const T* r : records) out.write_ref(r);
}

std::vector<ResourceId> read_ids(BinaryReader& in, const char* what) {
    const uint64_t count = in.read_count(what, sizeof(ResourceId));
    std::vector<ResourceId> ids;
    ids.reserve(count);
    for (uint64_t i = 0; i < count; ++i) ids.push_back(in.read_id(what));
    return ids;
}

}  // namespace

JsonValue Effect::to_json(const ProjectDir* external) const { return to_json(external, {}); }

JsonValue Effect::to_json(const ProjectDir*, const EffectNameReaders& name_readers) const {
    JsonValue j = JsonValue::object();
    j["name"] = name;
    j["textures"] = names_of(textures, [](const Texture& t) { return t.name; });
    j["effects"] = names_of(effects, [](const Effect& e) { return e.name; });
    j["font_textures"] = names_of(font_textures, [&](const FontTexture& f) {
        return name_via(name_readers.font_texture, f, "FontTexture");
    });
    j["program"] = program ? JsonValue(program->fragment_shader_filename) : JsonValue();
    j["feedback"] = feedback;
    j["screen_texture"] = screen_texture;
    if (scene) j["scene"] = name_via(name_readers.scene, *scene, "Scene");
    return j;
}

void Effect::write_binary(BinaryWriter& out) const {
    write_refs(out, textures);
    write_refs(out, effects);
    write_refs(out, font_textures);
    out.write_ref(program);
    out.write_packed_string(name);
    out.write_bool(feedback);
    out.write_bool(screen_texture);
    out.write_ref(scene);
}

void Effect::clear_references() {
    textures.clear();
    effects.clear();
    font_textures.clear();
    program = nullptr;
    scene = nullptr;
    texture_ids.clear();
    effect_ids.clear();
    font_texture_ids.clear();
    program_id = scene_id = 0;
}

void Effect::from_json(const JsonValue& value, const ProjectDir&) {
    clear_references();
    name = json_text(json_member(value, "name"));
    feedback = json_bool(json_member(value, "feedback"));
    screen_texture = json_bool(json_member(value, "screen_texture"));  // false when absent
}

void Effect::read_binary(BinaryReader& in) {
    clear_references();
    texture_ids = read_ids(in, "Effect texture ids");
    effect_ids = read_ids(in, "Effect input effect ids");
    font_texture_ids = read_ids(in, "Effect font texture ids");
    program_id = in.read_id("Effect program id");
    name = in.read_packed_string("Effect name");
    feedback = in.read_bool("Effect feedback");
    screen_texture = in.read_bool("Effect screen_texture");
    scene_id = in.read_id("Effect scene id");
}

void Effect::wire(const IdentityMap& ids) {
    resolve_ids(textures, texture_ids, ids);
    resolve_ids(effects, effect_ids, ids);
    resolve_ids(font_textures, font_texture_ids, ids);
    program = ids.find<ShaderProgram>(program_id);
    scene = scene_id != 0 ? ids.find<Scene>(scene_id) : nullptr;
}

void Effect::wire_names(const JsonValue& value, NameTables& names) {
    resolve_names(effects, json_member(value, "effects"), names.effects);
    resolve_names(textures, json_member(value, "textures"), names.textures);
    resolve_names(font_textures, json_member(value, "font_textures"), names.font_textures);
    scene = named(json_member(value, "scene"), names.scenes);
    // Programs are known by their fragment shader's file name.
    program = named(json_member(value, "program"), names.shaders);
}

void lint_effect_json(const JsonValue& value, std::vector<std::string>& warnings) {
    const std::string context = lint_context("effect", json_text(json_member(value, "name")));
    if (!value.is_object()) {
        warnings.push_back(context + ": not an object; it reads as an unnamed effect with no program");
        return;
    }
    expect_text(value, "name", context, warnings);
    // The input lists may be left out: an absent list is the empty one,
    // which is what an author who left it out means.
    for (const char* key : {"textures", "effects", "font_textures"}) {
        expect_text_array(value, key, context, warnings);
    }
    expect_present(value, "program", context, "no program: the effect draws nothing", warnings);
    expect_text(value, "program", context, warnings);
    expect_text(value, "scene", context, warnings);
    expect_bool(value, "feedback", context, warnings);
    expect_bool(value, "screen_texture", context, warnings);
}

}  // namespace qh
