#include "scene3d/camera.h"

#include <cmath>

#include <glm/ext/matrix_clip_space.hpp>
#include <glm/ext/matrix_transform.hpp>
#include <glm/geometric.hpp>

#include "package/json_lint.h"

namespace qh {

namespace {

// pi/180 in single precision (the same float glm::radians uses). Stored
// cameras give their field of view in degrees, and the conversion stays in
// float so projections match those the cameras were authored against.
constexpr float degrees_to_radians = 0.017453292f;

JsonValue vec3_json(const glm::vec3& v) { return JsonValue::array({v.x, v.y, v.z}); }

glm::vec3 vec3_from(const JsonValue& v) {
    auto component = [&](size_t i) {
        return v.is_array() && i < v.size() ? json_float(v[i]) : 0.0f;
    };
    return {component(0), component(1), component(2)};
}

}  // namespace

JsonValue Camera::to_json(const ProjectDir*) const {
    JsonValue j = JsonValue::object();
    j["position"] = vec3_json(position);
    j["direction"] = vec3_json(direction);
    j["up"] = vec3_json(up);
    j["aspect"] = double(aspect);
    j["fov"] = double(fov);
    j["znear"] = double(znear);
    j["zfar"] = double(zfar);
    j["direction_mode"] = direction_mode;
    return j;
}

void Camera::write_binary(BinaryWriter& out) const {
    out.write_vec3(position);
    out.write_vec3(direction);
    out.write_vec3(up);
    out.write_f32(aspect);
    out.write_f32(fov);
    out.write_f32(znear);
    out.write_f32(zfar);
    out.write_bool(direction_mode);
}

void Camera::from_json(const JsonValue& value, const ProjectDir&) {
    *this = Camera();
    position = vec3_from(json_member(value, "position"));
    direction = vec3_from(json_member(value, "direction"));
    up = vec3_from(json_member(value, "up"));
    aspect = json_float(json_member(value, "aspect"));
    fov = json_float(json_member(value, "fov"));
    znear = json_float(json_member(value, "znear"));
    zfar = json_float(json_member(value, "zfar"));
    direction_mode = json_bool(json_member(value, "direction_mode"));
}

void Camera::read_binary(BinaryReader& in) {
    *this = Camera();
    position = in.read_vec3("Camera position");
    direction = in.read_vec3("Camera direction");
    up = in.read_vec3("Camera up");
    aspect = in.read_f32("Camera aspect");
    fov = in.read_f32("Camera fov");
    znear = in.read_f32("Camera znear");
    zfar = in.read_f32("Camera zfar");
    direction_mode = in.read_bool("Camera direction_mode");
}

glm::vec3 Camera::viewing_direction() const {
    return direction_mode ? direction : direction - position;
}

glm::mat4 Camera::view_matrix() const {
    const glm::vec3 target = direction_mode ? position + glm::normalize(direction) : direction;
    return glm::lookAtRH(position, target, up);
}

glm::mat4 Camera::projection_matrix() const {
    if (orthographic) {
        const float h = ortho_half_size;
        return glm::orthoRH_NO(-h, h, -h, h, znear, zfar);
    }
    // GLM's right-handed perspective with depth -1..1, written out because
    // GLM asserts on an aspect of 0, which a project may well hold.
    const float tan_half = std::tan(fov * degrees_to_radians / 2.0f);
    glm::mat4 m(0.0f);
    m[0][0] = 1.0f / (aspect * tan_half);
    m[1][1] = 1.0f / tan_half;
    m[2][2] = -(zfar + znear) / (zfar - znear);
    m[2][3] = -1.0f;
    m[3][2] = -(2.0f * zfar * znear) / (zfar - znear);
    return m;
}

void lint_camera_json(const JsonValue& value, std::vector<std::string>& warnings) {
    const std::string context = "camera";
    for (const char* key : {"position", "direction", "up"}) {
        const JsonValue& v = json_member(value, key);
        bool ok = v.is_array() && v.size() == 3;
        for (size_t i = 0; ok && i < 3; ++i) ok = v[i].is_number_float();
        if (!ok) {
            warnings.push_back(context + ": \"" + key + "\" is " +
                               (v.is_null() ? "missing" : "not three floating numbers") +
                               "; missing components and other values read as 0");
        }
    }
    for (const char* key : {"aspect", "fov", "znear", "zfar"}) {
        expect_present(value, key, context, "0", warnings);
        expect_floating(value, key, context, warnings);
    }
    expect_bool(value, "direction_mode", context, warnings);
}

}  // namespace qh
