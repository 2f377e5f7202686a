#pragma once
// A camera of a scene: where it stands, where it looks, and its projection.
//
//   Camera c;  c.read_binary(in);              // 53 bytes
//   glm::mat4 mvp = c.projection_matrix() * c.view_matrix() * model;
//
// `direction` is a point to look at, or with `direction_mode` a direction of
// any length. `orthographic` and `ortho_half_size` are never stored: a camera
// read from a record is a perspective one; the light camera of a scene is
// made orthographic when the scene is read. Degenerate values (aspect 0,
// near = far, eye on its target) give non-finite matrices, never a crash.
//
// JSON form: "position", "direction", "up" (three numbers each), "aspect",
// "fov", "znear", "zfar" (numbers), "direction_mode" (boolean, optional). As
// everywhere in the project form, a number that is missing or not floating
// (an integral 45 included) reads as 0, and anything but a boolean as false.
#include <string>
#include <vector>

#include <glm/mat4x4.hpp>
#include <glm/vec3.hpp>

#include "package/serializable.h"

namespace qh {

class Camera : public ISerializable {
public:
    static constexpr size_t binary_size = 53;

    JsonValue to_json(const ProjectDir* external) const override;
    void write_binary(BinaryWriter& out) const override;
    void from_json(const JsonValue& value, const ProjectDir& dir) override;
    void read_binary(BinaryReader& in) override;

    // Right-handed look-at from `position` toward the target (see above).
    glm::mat4 view_matrix() const;
    // Perspective (vertical `fov` degrees) or, when `orthographic`, the box
    // of half size `ortho_half_size`; depth maps to -1..1.
    glm::mat4 projection_matrix() const;
    // The way the camera looks: `direction` itself in direction mode, else
    // from `position` to the target point.
    glm::vec3 viewing_direction() const;

    glm::vec3 position{300.0f, 50.0f, 0.0f};
    glm::vec3 direction{0.0f, 0.0f, 0.0f};
    glm::vec3 up{0.0f, 1.0f, 0.0f};
    float aspect = 1.0f;
    float fov = 45.0f;
    float znear = 1.0f;
    float zfar = 1000.0f;
    bool direction_mode = false;
    bool orthographic = false;      // not stored
    float ortho_half_size = 100.0f;  // not stored
};

// Warns about numbers that are missing or not floating (they read as 0), a
// vector that is not three floating numbers (missing or other components read
// as 0), and a "direction_mode" that is not a boolean (it reads as false).
void lint_camera_json(const JsonValue& value, std::vector<std::string>& warnings);

}  // namespace qh
