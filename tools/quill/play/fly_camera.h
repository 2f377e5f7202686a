#pragma once
// quill play's fly mode: a camera turned by the mouse and moved by keys,
// begun from where a scene's camera stands, and what it shows written back as
// the keys an event stores for its camera and light (timeline/scene_keys.h).
//
//   FlyCamera fly(view_camera);                 // the camera as the keys put it
//   fly.turn(dx_pixels, dy_pixels);  fly.move({0, 0, 1}, metres);   // forward
//   views.hold(scene, fly.camera());            // the picture through it
//   editor.set_keys(track_of(event), rows, row, fly.camera_keys());
//
// Camera keys take the form the scene's camera reads them in: a direction
// for a camera in direction mode, else the point it looks at, as far ahead as
// the camera it began from looked.
#include <array>
#include <string_view>
#include <utility>

#include <glm/vec3.hpp>

#include "scene3d/camera.h"

namespace qh::quill {

using CurveKeys = std::array<std::pair<std::string_view, float>, 9>;
using LightKeys = std::array<std::pair<std::string_view, float>, 3>;

class FlyCamera {
public:
    explicit FlyCamera(const Camera& from);

    // Degrees a pixel of mouse movement turns.
    static constexpr float degrees_per_pixel = 0.2f;
    void turn(float dx_pixels, float dy_pixels);
    // Moves by `amount` along (right, up, forward) of the view.
    void move(const glm::vec3& along, float amount);

    Camera camera() const;
    glm::vec3 forward() const;
    // The nine camera keys for what the view shows, and for the camera it
    // began from.
    CurveKeys camera_keys() const;
    CurveKeys start_camera_keys() const;
    // The light keys that put the light behind the view, shining where it
    // looks, and those of the light the scene had.
    LightKeys light_keys() const;
    static LightKeys light_keys_of(const Camera& light, const glm::vec3& target);

private:
    Camera base_;
    glm::vec3 position_;
    float yaw_ = 0, pitch_ = 0;  // degrees; yaw 0 looks down -z
    float reach_ = 1;            // how far ahead a look-at point stands
};

}  // namespace qh::quill
