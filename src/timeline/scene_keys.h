#pragma once
// What an effect event's own curves ask of the scene it draws, and how that
// moves the scene's view in a playback (scene3d/scene_view.h):
//
//   apply_scene_keys(scene, views.of(scene), scene_keys(event, beat));
//
// A group never overrides these keys: a member moves its scene by its own
// curves. Plain functions, no GL.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "scene3d/scene_view.h"

namespace qh {

class Event;
class Scene;

// Curve names that move a scene's camera, in the order of the camera's nine
// floats: position x, y, z, direction x, y, z, up x, y, z.
inline constexpr std::array<std::string_view, 9> camera_keys = {
    "camera_position_x",  "camera_position_y",  "camera_position_z",
    "camera_direction_x", "camera_direction_y", "camera_direction_z",
    "camera_up_x",        "camera_up_y",        "camera_up_z",
};

// The light keys: the distance, then the direction's x, y and z.
inline constexpr std::array<std::string_view, 4> light_keys = {"ldD", "ldX", "ldY", "ldZ"};
inline constexpr std::string_view instances_key = "render_instances";
// The animation keys: which animation, where in it, and the divider, start
// and end of animation_fraction.
inline constexpr std::array<std::string_view, 5> animation_keys = {
    "animation_index", "animation_position", "animation_divider", "animation_start",
    "animation_end",
};

// Every curve name scene_keys reads.
inline constexpr auto scene_key_names = [] {
    std::array<std::string_view, camera_keys.size() + light_keys.size() + 1 + animation_keys.size()> all{};
    size_t i = 0;
    for (std::string_view k : camera_keys) all[i++] = k;
    for (std::string_view k : light_keys) all[i++] = k;
    all[i++] = instances_key;
    for (std::string_view k : animation_keys) all[i++] = k;
    return all;
}();

// A key's curve without points counts as 0.
struct SceneKeys {
    std::array<std::optional<float>, 9> camera;  // empty: that float stays as it is
    LightPlacement light;
    int32_t instance_count = 1;   // "render_instances", truncated toward zero
    int32_t animation_index = 0;  // "animation_index", truncated toward zero
    float animation_position = 0; // normalised by animation_fraction
};
SceneKeys scene_keys(const Event& event, float beat);

// The keys applied in this order: the camera floats that have a key (into
// the view's camera, when the scene has one), then the light placed from the
// camera as it now stands, then the instance count, then the pose of the
// root node's model when it has animations (Animation::animate).
void apply_scene_keys(Scene& scene, SceneView& view, const SceneKeys& keys);

// fmod(position, 1) scaled into [start / divider, end / divider]; a negative
// position gives a fraction below the start.
float animation_fraction(float position, float divider, float start, float end);

}  // namespace qh
