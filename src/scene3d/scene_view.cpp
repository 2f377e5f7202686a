#include "scene3d/scene_view.h"

#include <cmath>

#include "scene3d/scene.h"

namespace qh {

Camera SceneView::initial_light() {
    Camera light;
    light.fov = 90.0f;
    light.orthographic = true;
    return light;
}

void place_light(SceneView& view, const LightPlacement& keys) {
    const float d = keys.distance.value_or(50.0f);
    Camera& light = view.light;
    light.ortho_half_size = d;
    light.znear = 0.01f;
    const glm::vec3 p = view.camera ? view.camera->position : glm::vec3(0.0f);
    const std::optional<float>* axes[3] = {&keys.x, &keys.y, &keys.z};
    for (int i = 0; i < 3; ++i) {
        if (!axes[i]->has_value()) continue;
        light.position[i] = **axes[i] * d + p[i];
        light.direction[i] = p[i];
    }
    // The view needs an up that is not along the line of sight; a light
    // straight above or below looks along y, and z serves as its up.
    const glm::vec3 sight = light.direction - light.position;
    const bool along_y = std::abs(sight.x) + std::abs(sight.z) <= 1e-4f * std::abs(sight.y);
    light.up = along_y ? glm::vec3(0.0f, 0.0f, -1.0f) : glm::vec3(0.0f, 1.0f, 0.0f);
}

SceneView& SceneViews::of(const Scene& scene) {
    auto found = views_.find(&scene);
    if (found != views_.end()) return found->second;
    SceneView view;
    if (scene.camera) view.camera = *scene.camera;
    return views_.emplace(&scene, std::move(view)).first->second;
}

const Camera* SceneViews::active_camera(const Scene& scene, bool shadow_pass) {
    SceneView& own = of(scene);
    if (shadow_pass) return &own.light;
    if (held_ && held_->first == &scene) return &held_->second;
    if (!scene.camera_scene) return own.camera ? &*own.camera : nullptr;
    SceneView& other = of(*scene.camera_scene);  // the table's nodes stay where they are
    const Camera* borrowed = other.camera ? &*other.camera : nullptr;
    if (!scene.camera_scene_only_direction) return borrowed;
    if (borrowed && own.camera) own.camera->direction = borrowed->viewing_direction();
    return own.camera ? &*own.camera : nullptr;
}

}  // namespace qh
