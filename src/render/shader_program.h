#pragma once
// A GLSL vertex and fragment shader pair with the tunable uniforms its
// fragment shader exposes. Effects and scenes draw with programs; a program is
// known in the project form by its `fragment_shader_filename`, which is also
// what `#include "..."` directives name.
//
//   ShaderProgram p;                      // default vertex shader, empty fragment text
//   p.read_binary(in);                    // or p.from_json(obj, dir)
//   p.to_json(&dir);                      // sources go to their two files
//
// This class holds the persisted record only. Compiling, linking and the
// uniform lookup belong to a separate step that fills `gpu`; reading and
// writing never need a GL context.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "package/serializable.h"
#include "render/uniform_def.h"

namespace qh {

// The standard uniforms a linked program is asked for, in the order of its
// location table. The sixteen sampler slots are `tex0 + i` ("tex" for slot 0,
// "tex1" ... "tex15"); the two extra material slots are never looked up.
enum class StandardUniform : int {
    beat, iTime2, sound,
    tex0, tex15 = tex0 + 15,
    resolution, camera_position, camera_rotation, sound_texture, nodeIdx,
    uModelViewProjMatrix, uModelViewMatrix, uNormalMatrix, uModelMatrix, uLightMVPMatrix,
    uBaseColorFactor, uBaseColorTexture, uMetallicFactor, uRougnessFactor,
    uMetallicRoughnessTexture, material_extra0, material_extra1,
    uShadowMapTexture, uIsShadowRenderPass, uTag, uInstance,
    count
};
constexpr int standard_uniform_count = static_cast<int>(StandardUniform::count);

// The GLSL name of a standard uniform; null for the two extra material slots.
const char* standard_uniform_name(StandardUniform which);

// Authoring texts: the default vertex shader of a new program, and the
// preamble and body offered for a new fragment shader (the player never
// inserts them; stored fragment texts carry their own preamble).
extern const char* const default_vertex_shader_source;
extern const char* const default_vertex_shader_filename;   // "resources/default.vert"
extern const char* const default_fragment_shader_filename; // "resources/untitled.frag"
extern const char* const fragment_shader_preamble;
extern const char* const default_fragment_shader_body;

class ShaderProgram : public ISerializable {
public:
    ShaderProgram();

    // Both filename fields name the files the sources are written to (with
    // `external`) and read from (when the object carries no sources). A
    // program whose two filenames are equal but whose texts differ cannot be
    // written externally: one file would silently replace the other, so
    // ContentError is thrown instead.
    JsonValue to_json(const ProjectDir* external) const override;
    void write_binary(BinaryWriter& out) const override;
    // A source file that cannot be found reads as the empty text, after the
    // player's "Loading file"/"not found" lines on standard output.
    void from_json(const JsonValue& value, const ProjectDir& dir) override;
    void read_binary(BinaryReader& in) override;

    std::string vertex_shader_source;
    std::string fragment_shader_source;  // as authored, may hold #include directives
    std::string vertex_shader_filename;
    std::string fragment_shader_filename;  // also the program's name
    std::vector<UniformDef> uniform_defs;  // in file order

    // Not persisted: filled by the build step (include expansion, compile,
    // link, lookup). GL names are plain integers so this header needs no GL.
    struct Gpu {
        std::string expanded_fragment_source;  // what is compiled
        std::string status_text;               // outcome of the last build, for display
        uint32_t vertex_shader = 0;
        uint32_t fragment_shader = 0;
        uint32_t program = 0;
        std::array<int32_t, standard_uniform_count> locations = minus_ones();
        int32_t vp_location = -1;                 // attribute "vp" of the quad
        uint32_t matrices_block = 0xFFFFFFFFu;    // GL_INVALID_INDEX until looked up
        // Texture units (GL_TEXTURE0 + n) an effect assigns before a scene is
        // drawn: base colour, metallic-roughness, third material, shadow map.
        std::array<uint32_t, 4> scene_texture_units{};

        int32_t location(StandardUniform which) const {
            return locations[static_cast<size_t>(which)];
        }

    private:
        static std::array<int32_t, standard_uniform_count> minus_ones() {
            std::array<int32_t, standard_uniform_count> a;
            a.fill(-1);
            return a;
        }
    } gpu;
};

// Warns about members that read differently from what was written: sources
// that are not texts, a fragment source without a vertex source (the vertex
// text is then empty rather than loaded from its file), a "uniform_defs" that
// is not an array, and every warning of each uniform definition.
void lint_shader_program_json(const JsonValue& value, std::vector<std::string>& warnings);

}  // namespace qh
