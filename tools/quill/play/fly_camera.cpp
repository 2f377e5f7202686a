#include "fly_camera.h"

#include <algorithm>
#include <cmath>

#include <glm/geometric.hpp>
#include <glm/trigonometric.hpp>

#include "timeline/scene_keys.h"

namespace qh::quill {

namespace {

// Straight up or down the view's right vector is lost.
constexpr float max_pitch = 89.0f;

}  // namespace

FlyCamera::FlyCamera(const Camera& from) : base_(from), position_(from.position) {
    glm::vec3 d = from.viewing_direction();
    const float length = glm::length(d);
    if (!(length > 1e-6f)) d = {0, 0, -1};
    else d /= length;
    reach_ = from.direction_mode || !(length > 1e-6f) ? 1.0f : length;
    yaw_ = glm::degrees(std::atan2(d.x, -d.z));
    pitch_ = glm::degrees(std::asin(std::clamp(d.y, -1.0f, 1.0f)));
}

void FlyCamera::turn(float dx_pixels, float dy_pixels) {
    yaw_ += dx_pixels * degrees_per_pixel;
    pitch_ = std::clamp(pitch_ - dy_pixels * degrees_per_pixel, -max_pitch, max_pitch);
}

glm::vec3 FlyCamera::forward() const {
    const float yaw = glm::radians(yaw_), pitch = glm::radians(pitch_);
    return {std::sin(yaw) * std::cos(pitch), std::sin(pitch), -std::cos(yaw) * std::cos(pitch)};
}

void FlyCamera::move(const glm::vec3& along, float amount) {
    const glm::vec3 f = forward();
    const glm::vec3 right = glm::normalize(glm::cross(f, glm::vec3(0, 1, 0)));
    position_ += (right * along.x + glm::vec3(0, 1, 0) * along.y + f * along.z) * amount;
}

Camera FlyCamera::camera() const {
    Camera c = base_;
    c.position = position_;
    c.direction = c.direction_mode ? forward() : position_ + forward() * reach_;
    c.up = {0, 1, 0};
    return c;
}

namespace {

CurveKeys keys_of(const Camera& c) {
    const float v[9] = {c.position.x, c.position.y, c.position.z, c.direction.x, c.direction.y,
                        c.direction.z, c.up.x,       c.up.y,       c.up.z};
    CurveKeys keys;
    for (size_t i = 0; i < keys.size(); ++i) keys[i] = {qh::camera_keys[i], v[i]};
    return keys;
}

}  // namespace

CurveKeys FlyCamera::camera_keys() const { return keys_of(camera()); }
CurveKeys FlyCamera::start_camera_keys() const { return keys_of(base_); }

LightKeys FlyCamera::light_keys_of(const Camera& light, const glm::vec3& target) {
    glm::vec3 v = light.position - target;
    const float length = glm::length(v);
    v = length > 1e-6f ? v / length : glm::vec3(0, 1, 0);
    return {{{qh::light_keys[1], v.x}, {qh::light_keys[2], v.y}, {qh::light_keys[3], v.z}}};
}

LightKeys FlyCamera::light_keys() const {
    // The light stands at the camera's position plus this direction times
    // its distance, looking back at it.
    const glm::vec3 back = -forward();
    return {{{qh::light_keys[1], back.x}, {qh::light_keys[2], back.y}, {qh::light_keys[3], back.z}}};
}

}  // namespace qh::quill
