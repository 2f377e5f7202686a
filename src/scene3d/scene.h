#pragma once
// What an effect draws in 3D: a root node naming the model, the scene's own
// camera, its shadow target, and optionally another scene whose camera (or
// only its viewing direction) this one borrows.
//
// Reading a package:                     Reading a project:
//   s.read_binary(in);   // keeps ids      s.from_json(obj, dir);
//   ...all tables read...                  ...scenes table read...
//   s.wire(identity_map);                  s.wire_names(obj, name_tables);
//
// What a playback does to the cameras (the events' keys, the light, the
// instance count) lives in its scene views (scene_view.h), never here.
//
// Binary form: name (packed string); an 8-byte marker, non-zero when a Camera
// record follows; the same for a Node record; the identity of `camera_scene`
// (0: none); `camera_scene_only_direction` (1 byte). JSON form: "name",
// "camera" and "root_node" (objects, optional), "camera_scene" (a scene's
// name, optional), "camera_scene_only_direction" (boolean, optional).
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/device_state.h"
#include "package/serializable.h"
#include "render/gl/gl_objects.h"
#include "scene3d/camera.h"
#include "scene3d/node.h"

namespace qh {

class Scene : public ISerializable {
public:
    static constexpr int32_t default_shadow_size = 8192;

    JsonValue to_json(const ProjectDir* external) const override;
    void write_binary(BinaryWriter& out) const override;
    // Both reads replace everything, links included; `camera_scene` and the
    // node's model stay null until wired.
    void from_json(const JsonValue& value, const ProjectDir& dir) override;
    void read_binary(BinaryReader& in) override;

    void wire(const IdentityMap& ids);
    // `value` is this scene's own JSON object; scenes are keyed by name and
    // models by file name.
    void wire_names(const JsonValue& value, NameTables& names);

    std::unique_ptr<Node> root_node;
    std::unique_ptr<Camera> camera;
    std::string name;
    Scene* camera_scene = nullptr;
    bool camera_scene_only_direction = false;

    ResourceId camera_scene_id = 0;  // as read from a package, until `wire`

    // ---- Device side: needs a current GL context ----

    // The shadow target: a depth texture of `gpu.shadow_width` x
    // `gpu.shadow_height` (float, linear, repeat) as the only attachment of
    // its framebuffer. An incomplete one prints "FB Error! Status: 0x%x";
    // one the device has no memory for, a "Warn:" line; the shadow pass then
    // draws nothing (scene_gpu.cpp).
    void realize();
    // Ready with a complete shadow target; failed when it could not be made
    // (the scene then draws with no shadow pass); not built before realize.
    DeviceState device_state() const;

    // Not persisted: the scene's shadow target and the warnings given.
    struct Gpu {
        // Set before realize to change the size (tests and benchmarks do).
        int32_t shadow_width = default_shadow_size;
        int32_t shadow_height = default_shadow_size;
        GlTexture shadow_texture;
        GlFramebuffer shadow_framebuffer;
        uint32_t shadow_status = 0;   // framebuffer status at realize; 0 before
        std::string shadow_problem;   // why the target was not made; empty otherwise
        bool shadow_complete = false;
        bool camera_warning_given = false;
        bool instance_warning_given = false;
    } gpu;
};

// Warns about members that read differently from what was written: a
// "camera" or "root_node" that is not an object (it reads as an all-zero
// camera, or an unnamed node without model), a "camera_scene" that is not a
// text or names the scene itself, a flag that is not a boolean, and what the
// camera and node lints find.
void lint_scene_json(const JsonValue& value, std::vector<std::string>& warnings);

}  // namespace qh
