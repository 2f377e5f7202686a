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
// render/; whoever writes it (the Demo) hands `to_json` the readers of those
// names.
//
// Drawing (a current GL context):
//   e.create_gpu_objects(screen);           // after wiring, and again once the
//                                           // program was rebuilt (prepare.h)
//   e.upload_uniform_defaults();
//   e.draw(frame, hook, true);              // hook sets the event's uniforms;
//                                           // a scene draws through frame.scene_drawer
//   e.capture_screen(frame);                // the screen into the copy texture
// Inputs take texture units in this order: feedback copy, textures, text
// textures, input effects' targets, screen copy, then four for a scene;
// sampler "tex" reads unit 0 and "texN" unit N. A null entry binds nothing
// but still takes its unit.
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "core/device_state.h"
#include "package/serializable.h"
#include "render/frame_context.h"
#include "render/gl/gl_objects.h"

namespace qh {

struct ScenePass;

// How the JSON form reads the names of records it cannot see; the Demo, which
// knows every class, hands both to Effect::to_json.
struct EffectNameReaders {
    const std::string& (*font_texture)(const FontTexture&) = nullptr;
    const std::string& (*scene)(const Scene&) = nullptr;
};

class Effect : public ISerializable {
public:
    Effect() = default;
    // An effect built in code (the loading screen, tests): the texture and
    // the input effect join their lists when not null. Its GPU objects are
    // made by create_gpu_objects, or at the first draw at the frame's size.
    Effect(std::string name, ShaderProgram* program, Texture* texture, Effect* input,
           bool feedback, bool screen_texture, Scene* scene);

    // Without name readers: an effect that holds a font texture or a scene
    // throws std::logic_error rather than write a wrong name.
    JsonValue to_json(const ProjectDir* external) const override;
    JsonValue to_json(const ProjectDir* external, const EffectNameReaders& names) const;
    void write_binary(BinaryWriter& out) const override;
    // Takes the name and flags; references stay null until `wire_names`.
    void from_json(const JsonValue& value, const ProjectDir& dir) override;
    // Takes the name, flags and raw ids; references stay null until `wire`.
    void read_binary(BinaryReader& in) override;

    void wire(const IdentityMap& ids);
    // `value` is this effect's own JSON object. A missing or non-array name
    // list reads as empty; a list entry, "program" or "scene" that is not a
    // text (to_json writes null for a null link) reads as null.
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

    // ---- Device side: needs a current GL context ----

    // The quad and the colour target at `screen`'s render size, made again on
    // every call (the old ones are released). No program: no objects. An
    // incomplete target prints "FB Error! Status: 0x%x" (gpu.target_complete
    // says which); one the device has no memory for throws
    // DeviceAllocationError (render/gl/device_allocation.h).
    void create_gpu_objects(const ScreenSize& screen);
    void realize(const ScreenSize& screen) { create_gpu_objects(screen); }
    // Ready with a complete target; failed with its framebuffer status; not
    // built without a program or before create_gpu_objects.
    DeviceState device_state() const;
    // The copy texture (black until the first copy) and the framebuffer the
    // copy is blitted into, at the frame's render size; throws as
    // create_gpu_objects does.
    void ensure_copy_target(const ScreenSize& screen);
    // Binds every input to its unit (drawing the input effects into their
    // targets first when `render_inputs`) and makes `program` current.
    // Returns the number of units used; with a scene, `pass` gets the units
    // set aside for it.
    int bind_inputs(const FrameContext& frame, ShaderProgram& program, bool render_inputs,
                    ScenePass* pass = nullptr);
    // "beat", "iTime2", "sound", "sound_texture", the samplers, "resolution",
    // "camera_position", "camera_rotation" of the current program; absent
    // uniforms are skipped.
    void upload_standard_uniforms(const FrameContext& frame);
    // Makes the program current and sets every definition to its default.
    void upload_uniform_defaults();
    // Draws onto the bound framebuffer (the screen) with blending as it is
    // set. `hook` (may be empty) runs with the program current and the
    // standard uniforms set, just before the draw call (for a scene, before
    // each pass); it gets null and reaches the program through the effect.
    // No program, or one that failed to build: nothing is drawn. A scene
    // draws its shadow pass, then its main pass, through the frame's scene
    // drawer with the frame's scene views.
    void draw(const FrameContext& frame, const std::function<void(ShaderProgram*)>& hook,
              bool render_inputs);
    // Copies the render-size rectangle of the framebuffer bound for reading
    // (the screen, or the target this effect draws into as an input) into the
    // copy texture, on the device; leaves the copy bound on the active unit
    // and every other binding as it was.
    void capture_screen(const FrameContext& frame);

    // Not persisted.
    struct Gpu {
        GlBuffer quad_buffer;
        GlVertexArray quad_vertex_array;
        GlTexture copy_texture;               // copy of the screen (feedback, screen texture)
        GlFramebuffer copy_framebuffer;       // the copy texture as a blit target
        int32_t copy_width = 0;               // the copy texture's size
        int32_t copy_height = 0;
        GlFramebuffer target_framebuffer;     // where this effect draws as an input
        GlTexture target_texture;             // what effects that list this one sample
        // The target's framebuffer status at the last create_gpu_objects
        // (0 before any, or without a program); complete is what drawing as
        // an input needs.
        uint32_t target_status = 0;
        bool target_complete = false;
        bool scene_warning_given = false;
    } gpu;

private:
    void clear_references();  // links and ids of an earlier read
    void draw_scene(const FrameContext& frame, ShaderProgram& program,
                    const std::function<void(ShaderProgram*)>& hook, bool render_inputs);
};

// A document's effects, in table order.
using EffectTable = std::span<const std::unique_ptr<Effect>>;

// Warns about members that read differently from what was written: flags that
// are not booleans (they read as false), name lists that are missing or hold
// non-texts, a "program" or "scene" that is not a text.
void lint_effect_json(const JsonValue& value, std::vector<std::string>& warnings);

}  // namespace qh
