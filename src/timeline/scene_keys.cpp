#include "timeline/scene_keys.h"

#include <cmath>
#include <limits>

#include "scene3d/animation.h"
#include "scene3d/model.h"
#include "scene3d/node.h"
#include "scene3d/scene.h"
#include "timeline/event.h"

namespace qh {

namespace {

std::optional<float> key_value(const Event& event, std::string_view key, float beat) {
    const ControlPointCurve* c = event.find_curve(key);
    if (!c) return std::nullopt;
    return evaluate_curve(c, event.start_beat, event.end_beat, beat);
}

// Float to integer toward zero, saturating: content may hold any float, and
// an out-of-range conversion is undefined.
int32_t truncate_to_int(float v) {
    if (std::isnan(v)) return 0;
    if (v >= 2147483648.0f) return std::numeric_limits<int32_t>::max();
    if (v <= -2147483648.0f) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(v);
}

}  // namespace

float animation_fraction(float position, float divider, float start, float end) {
    const float lo = start / divider;
    return std::fmod(position, 1.0f) * (end / divider - lo) + lo;
}

SceneKeys scene_keys(const Event& event, float beat) {
    SceneKeys keys;
    for (size_t i = 0; i < camera_keys.size(); ++i) keys.camera[i] = key_value(event, camera_keys[i], beat);
    const auto& [distance, x, y, z] = light_keys;
    keys.light.distance = key_value(event, distance, beat);
    keys.light.x = key_value(event, x, beat);
    keys.light.y = key_value(event, y, beat);
    keys.light.z = key_value(event, z, beat);
    keys.instance_count = truncate_to_int(key_value(event, instances_key, beat).value_or(1.0f));
    const auto& [index, position, divider, start, end] = animation_keys;
    keys.animation_index = truncate_to_int(key_value(event, index, beat).value_or(0.0f));
    keys.animation_position = animation_fraction(key_value(event, position, beat).value_or(0.0f),
                                                 key_value(event, divider, beat).value_or(1.0f),
                                                 key_value(event, start, beat).value_or(0.0f),
                                                 key_value(event, end, beat).value_or(1.0f));
    return keys;
}

void apply_scene_keys(Scene& scene, SceneView& view, const SceneKeys& keys) {
    if (Camera* c = view.camera ? &*view.camera : nullptr) {
        float* const floats[camera_keys.size()] = {
            &c->position.x,  &c->position.y,  &c->position.z,
            &c->direction.x, &c->direction.y, &c->direction.z,
            &c->up.x,        &c->up.y,        &c->up.z,
        };
        for (size_t i = 0; i < camera_keys.size(); ++i)
            if (keys.camera[i]) *floats[i] = *keys.camera[i];
    }
    // After the camera: the light looks at where the camera is this frame.
    place_light(view, keys.light);
    view.instance_count = keys.instance_count;
    Model* model = scene.root_node ? scene.root_node->model : nullptr;
    if (model && model->has_animations) {
        Animation::animate(*model, keys.animation_index, keys.animation_position);
    }
}

}  // namespace qh
