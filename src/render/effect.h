#pragma once
// One drawing pass: a ShaderProgram applied to a full-screen quad, or to a 3D
// scene, with input textures (images, text textures, other effects' targets,
// optionally a copy of its own last output and of the screen).
//
// Reading a package:                      Reading a project:
//   e.read_binary(in);   // keeps ids       e.from_json(obj, dir);
//   ...all tables read...                   ...effects table read...
//   e.wire(identity_map);                   e.wire_names(obj, name_tables);
//
// A reference that names nothing, or a record of another class, becomes null.
// Null entries stay in the three lists (the list position decides the texture
// unit of every later input), so the drawing step must skip them; a null
// `program` draws nothing, a null `scene` draws the quad.
//
// The JSON form names font textures and scenes, whose classes live above
// render/; `install_effect_name_readers` says how to read those names and must
// run before an effect with such references is written to JSON.
#include <cstdint>
#include <string>
#include <vector>

#include "package/serializable.h"

namespace qh {

class Effect : public ISerializable {
public:
    JsonValue to_json(const ProjectDir* external) const override;
    void write_binary(BinaryWriter& out) const override;
    // Takes the name and flags; references stay null until `wire_names`.
    void from_json(const JsonValue& value, const ProjectDir& dir) override;
    // Takes the name, flags and raw ids; references stay null until `wire`.
    void read_binary(BinaryReader& in) override;

    void wire(const IdentityMap& ids);
    // `value` is this effect's own JSON object. A missing or non-array name
    // list reads as empty.
    void wire_names(const JsonValue& value, NameTables& names);

    std::vector<Texture*> textures;
    std::vector<Effect*> effects;  // inputs, each drawn into its own target first
    std::vector<FontTexture*> font_textures;
    ShaderProgram* program = nullptr;
    Scene* scene = nullptr;
    std::string name;
    bool feedback = false;        // bind the copy of the last output as the first input
    bool screen_texture = false;  // bind a copy of the screen after the other inputs

    // Identities as read from a package, until `wire` replaces them.
    std::vector<ResourceId> texture_ids;
    std::vector<ResourceId> effect_ids;
    std::vector<ResourceId> font_texture_ids;
    ResourceId program_id = 0;
    ResourceId scene_id = 0;

    // Not persisted; created by the GPU step (quad, colour target, copy of
    // the screen; the copy's CPU pixel buffer joins it there).
    struct Gpu {
        uint32_t quad_buffer = 0;
        uint32_t quad_vertex_array = 0;
        uint32_t copy_texture = 0;
        uint32_t target_framebuffer = 0;
        uint32_t target_texture = 0;
    } gpu;

private:
    void clear_references();  // links and ids of an earlier read
};

// How the JSON form reads the names of records it cannot see; the Demo, which
// knows every class, installs both. Writing an effect that holds a font
// texture or scene while the matching reader is missing throws
// std::logic_error rather than writing a wrong name.
struct EffectNameReaders {
    const std::string& (*font_texture)(const FontTexture&) = nullptr;
    const std::string& (*scene)(const Scene&) = nullptr;
};
// Replaces the installed readers and returns the previous ones.
EffectNameReaders install_effect_name_readers(const EffectNameReaders& readers);

// Warns about members that read differently from what was written: flags that
// are not booleans (they read as false), name lists that are missing or hold
// non-texts, a "program" or "scene" that is not a text.
void lint_effect_json(const JsonValue& value, std::vector<std::string>& warnings);

}  // namespace qh
