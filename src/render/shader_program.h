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
// Reading and writing never need a GL context. The device side (a current
// context) compiles, links and looks up the uniforms into `gpu`:
//
//   p.realize();                          // as read; one with #include waits
//   p.rebuild(demo.shaders);              // includes resolved against the table
//   if (p.usable()) { p.use(); p.set_float(p.location_of("gain"), 0.5f); }
//
// A build prints the driver's logs on standard output and keeps the outcome
// in `gpu.status_text`; a failed build then prints "Shader build failed: "
// and the fragment file. A program that failed to compile or link stays in its
// table, not usable: every location is -1 and effects skip drawing with it.
// `build_messages()` gives the logs in the lines of the files the author wrote.
#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "core/device_state.h"
#include "package/serializable.h"
#include "render/gl/gl_objects.h"
#include "render/shader_log.h"
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

class ShaderProgram;

// The programs `#include "NAME"` directives are resolved against (the
// document's shader table).
using ProgramTable = std::span<const std::unique_ptr<ShaderProgram>>;

// The text compiled for `source`: for each program P of `programs` in table
// order, except `self`, the first `#include "F"` naming P's fragment file F
// is replaced by P's authored fragment text. Later duplicates stay as
// written; a directive brought in by a replacement is expanded only when its
// target comes later in the table. Pure text work, no GL. `spliced`, when
// given, receives the programs whose text went in, in table order; `map`,
// where each compiled line came from (`file` names `source`).
std::string expand_includes(const std::string& source, ProgramTable programs,
                            const ShaderProgram* self,
                            std::vector<const ShaderProgram*>* spliced = nullptr,
                            SourceMap* map = nullptr, const std::string& file = {});

// Sampler slot i reads texture unit i; the sound texture sits on this unit.
inline constexpr int sampler_slot_count = 16;
inline constexpr int sound_texture_unit = 16;

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

    // ---- Device side: needs a current GL context ----

    // Deletes the program and both shaders, then compiles the vertex text and
    // the fragment text (with includes resolved against `include_sources`;
    // none when empty), links and looks every location up; then
    // report_build(). The first build of a program is a rebuild of nothing.
    void rebuild(ProgramTable include_sources = {});
    // The same build, saying nothing.
    void build(ProgramTable include_sources = {});
    // Prints what the last build's driver said, each stage's log cut at
    // 1 KiB, then "Shader build failed: " and the fragment file if it failed.
    void report_build() const;
    // The build right after reading, saying nothing yet. A program whose
    // fragment text has an `#include` is left unbuilt: prepare_programs
    // builds it once every program is known and its includes can be
    // resolved, and reports every build.
    void realize();
    // Whether the fragment text holds an `#include "..."` directive.
    bool has_includes() const;

    // Linked successfully: drawing with it makes sense.
    // device_state().ready(), for the drawing code, which asks every frame.
    bool usable() const { return gpu.linked; }
    // Ready once linked; failed with the stages that did not compile and
    // "not linked"; not built before the first build.
    DeviceState device_state() const;
    // glUseProgram; does nothing for a program that is not usable.
    void use() const;
    // The location of any uniform by name; -1 when absent or not usable.
    int32_t location_of(const std::string& uniform) const;
    // What the last build's logs say, in the coordinates of the files the
    // author wrote: the vertex stage's, the fragment stage's (a line the
    // driver gave no place for keeps "vertex: " or "fragment: " before it),
    // then the link's ("link: " before each) unless a stage did not compile.
    // Pure text work.
    std::vector<CompilerMessage> build_messages() const;
    // Make the program current and set one uniform; location -1 is skipped.
    void set_float(int32_t location, float v);
    void set_int(int32_t location, int32_t v);

    // Not persisted: filled by `rebuild` (include expansion, compile, link,
    // lookup).
    struct Gpu {
        // One step of the last build: whether it succeeded and the driver's
        // whole log (empty when it said nothing).
        struct Outcome {
            bool ok = false;
            std::string log;
        };
        Outcome vertex, fragment, link;
        std::vector<const ShaderProgram*> included;  // spliced into the fragment text
        std::string expanded_fragment_source;  // what is compiled
        SourceMap fragment_map;                // its lines in the authored files
        std::string compiled_vertex_source;    // the vertex text of the last build
        std::string status_text;               // outcome of the last build, for display
        GlShader vertex_shader;
        GlShader fragment_shader;
        GlProgram program;
        bool linked = false;  // false: never built, or the last build failed
        std::array<int32_t, standard_uniform_count> locations = minus_ones();
        int32_t vp_location = -1;                 // attribute "vp" of the quad
        uint32_t matrices_block = 0xFFFFFFFFu;    // GL_INVALID_INDEX until looked up
        int32_t matrices_block_bytes = 0;         // what the block declares; 0 without it

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
