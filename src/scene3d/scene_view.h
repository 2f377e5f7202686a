#pragma once
// Where each scene is seen from while a demo plays. The events that draw a
// scene move its camera, its light and its instance count by their keys
// (timeline/scene_keys.h); a float without a key keeps what an earlier frame
// gave it. That running state belongs to one playback, never to the stored
// scene: a scene read from a package or project keeps the camera it was
// written with, and two playbacks of it move their own views.
//
//   SceneViews views;                              // one per playback
//   SceneView& v = views.of(scene);                // first use: as stored
//   v.instance_count = 3;  place_light(v, keys);
//   const Camera* c = views.active_camera(scene, shadow_pass);
#include <cstdint>
#include <optional>
#include <unordered_map>
#include <utility>

#include "scene3d/camera.h"

namespace qh {

class Scene;

// The light keys of an event that draws the scene ("ldD", "ldX", "ldY",
// "ldZ"); an absent key is empty.
struct LightPlacement {
    std::optional<float> distance;
    std::optional<float> x, y, z;
};

struct SceneView {
    // The light of a scene no key has placed yet: orthographic, 90 degrees.
    static Camera initial_light();

    std::optional<Camera> camera;  // the scene's own camera as moved; empty: it has none
    Camera light = initial_light();
    int32_t instance_count = 1;    // instances of the model per draw
};

// The light looks at the view camera's position p from distance d =
// `distance` (50 when absent) along (x, y, z): for each present axis the
// light's position is v * d + p and its target p. The orthographic box is d
// each way and the near plane 0.01, on every call. Up is y, or -z for a
// light straight above or below.
void place_light(SceneView& view, const LightPlacement& keys);

class SceneViews {
public:
    // The view of `scene`, made from its stored camera on first use.
    SceneView& of(const Scene& scene);

    // The camera a pass looks through, in order: the light during the shadow
    // pass; the own camera when no scene is borrowed from; the other scene's
    // own camera; or, borrowing only the direction, the own camera after
    // copying the other camera's viewing direction into its `direction`
    // (each time it is asked). Null when there is none.
    const Camera* active_camera(const Scene& scene, bool shadow_pass);

    // A camera held by hand (quill play's fly mode): `scene` is seen through
    // it, whatever the keys say, until released. The shadow pass keeps the light.
    void hold(const Scene& scene, const Camera& camera) { held_.emplace(&scene, camera); }
    void release() { held_.reset(); }

private:
    std::unordered_map<const Scene*, SceneView> views_;
    std::optional<std::pair<const Scene*, Camera>> held_;
};

}  // namespace qh
