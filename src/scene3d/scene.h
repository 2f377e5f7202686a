#pragma once
// What an effect draws in 3D: a root node naming the model, the scene's own
// camera, a light camera for the shadow pass, and optionally another scene
// whose camera (or only its viewing direction) this one borrows.
//
// Reading a package:                     Reading a project:
//   s.read_binary(in);   // keeps ids      s.from_json(obj, dir);
//   ...all tables read...                  ...scenes table read...
//   s.wire(identity_map);                  s.wire_names(obj, name_tables);
//
// Drawing asks `active_camera()` for the camera to look through (it may be
// null when the scene has no camera of its own and borrows none); the event
// dispatch moves the light with `place_light_camera`. `light_camera` always
// exists; it is orthographic and never stored.
//
// Binary form: name (packed string); an 8-byte marker, non-zero when a Camera
// record follows; the same for a Node record; the identity of `camera_scene`
// (0: none); `camera_scene_only_direction` (1 byte). JSON form: "name",
// "camera" and "root_node" (objects, optional), "camera_scene" (a scene's
// name, optional), "camera_scene_only_direction" (boolean, optional).
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "package/serializable.h"
#include "render/gl/gl_objects.h"
#include "scene3d/camera.h"
#include "scene3d/node.h"

namespace qh {

// The light keys of an event that draws the scene ("ldD", "ldX", "ldY",
// "ldZ"); an absent key is empty.
struct LightPlacement {
    std::optional<float> distance;
    std::optional<float> x, y, z;
};

class Scene : public ISerializable {
public:
    static constexpr int32_t default_shadow_size = 8192;

    Scene();

    JsonValue to_json(const ProjectDir* external) const override;
    void write_binary(BinaryWriter& out) const override;
    // Both reads replace everything, links included, and make a fresh light
    // camera; `camera_scene` and the node's model stay null until wired.
    void from_json(const JsonValue& value, const ProjectDir& dir) override;
    void read_binary(BinaryReader& in) override;

    void wire(const IdentityMap& ids);
    // `value` is this scene's own JSON object; scenes are keyed by name and
    // models by file name.
    void wire_names(const JsonValue& value, NameTables& names);

    // In order: the light camera during the shadow pass; the own camera when
    // no scene is borrowed from; the other scene's own camera; or, borrowing
    // only the direction, the own camera after copying the other camera's
    // viewing direction into its `direction` (each time it is asked).
    Camera* active_camera();

    // The light looks at the scene camera's position p from distance d =
    // `distance` (50 when absent) along (x, y, z): for each present axis the
    // light's position is v * d + p and its target p. The orthographic box
    // is d each way and the near plane 0.01, on every call.
    void place_light_camera(const LightPlacement& keys);

    std::unique_ptr<Node> root_node;
    std::unique_ptr<Camera> camera;
    std::unique_ptr<Camera> light_camera;
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

    // Not persisted: the drawing state of the scene renderer.
    struct Gpu {
        bool shadow_pass = false;  // raised around the shadow pass's draw
        // Set before realize to change the size (tests and benchmarks do).
        int32_t shadow_width = default_shadow_size;
        int32_t shadow_height = default_shadow_size;
        // Instances of the model per draw: set by each event that draws the
        // scene (apply_scene_keys in timeline/dispatch.h), kept until the next.
        int32_t instance_count = 1;
        GlTexture shadow_texture;
        GlFramebuffer shadow_framebuffer;
        uint32_t shadow_status = 0;   // framebuffer status at realize; 0 before
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
