// Packed demos with a 3D scene. A box wearing the BoxTextured image stands
// on a plane, lit (with the shadow pass) from the light keys, and the camera
// keys move the camera across at beat 5: the box must show on the left of
// the window, then on the right, in the image's colours, its shadow darker
// than the lit plane. A walking figure (CesiumMan, skinned) is
// posed by the animation keys: its outline at beat 5 is not the one before.
#include <gtest/gtest.h>

#include <algorithm>

#include "document/demo_io.h"
#include "document/demo_tables.h"
#include "e2e/e2e_support.h"
#include "package/binary_stream.h"
#include "scene3d/model.h"
#include "support/curves.h"
#include "support/gltf_builder.h"
#include "support/model_shaders.h"
#include "support/sample_demo.h"

namespace qh::e2e {
namespace {

using namespace std::chrono_literals;




// A box two units high on a dark plane six units wide, centred on the origin.
std::vector<uint8_t> stage_glb() {
    test::GltfBuilder b;
    const int image = b.texture(test::fixture_image("BoxTextured.glb"), "image/png");
    const int box = b.node(b.mesh({b.box({0, 1, 0}, {1, 1, 1}, b.material({1, 1, 1, 1}, image))}));
    const int plane = b.node(b.quad_mesh({-3, 0, 3}, {6, 0, 0}, {0, 0, -6}, b.material({0.15f, 0.15f, 0.15f, 1})));
    b.root(plane);
    b.root(box);
    return b.glb();
}

constexpr float camera_x_before = 2.5f, camera_x_after = -2.5f;

Camera stage_camera(float x) {
    Camera c;
    c.position = {x, 3, 7};
    c.direction = {0, -2, -7};
    c.direction_mode = true;
    c.aspect = 16.0f / 9.0f;
    c.fov = 45;
    c.znear = 0.1f;
    c.zfar = 100;
    return c;
}

// A demo of one event, "stage", drawing a scene of one model through
// `camera` with one program, from beat 0 to `end_beat` at 60 bpm.
std::vector<uint8_t> one_scene_payload(const std::string& vertex, const std::string& fragment,
                                       std::vector<uint8_t> glb, const Camera& camera, CurveMap curves,
                                       float end_beat) {
    return write_demo_payload(
        *test::one_scene_demo(vertex, fragment, "stage.glb", std::move(glb), camera, std::move(curves), end_beat));
}

std::vector<uint8_t> scene_payload() {
    // The camera stands right of the box until beat 5, then left of it.
    return one_scene_payload(test::lit_vertex_shader, test::lit_fragment_shader(), stage_glb(), stage_camera(0),
                             {{"camera_position_x", test::curve_of({{0, camera_x_before}, {5, camera_x_after}},
                                                                   ControlPointCurve::mode_last_value)},
                              {"ldD", test::curve_of({{0, 10}})},
                              {"ldX", test::curve_of({{0, 0.4f}})},
                              {"ldY", test::curve_of({{0, 1}})},
                              {"ldZ", test::curve_of({{0, 0.6f}})}},
                             14);
}

// Where `point` shows through the camera at `x`, in window `g`, on the screen.
std::pair<int, int> on_screen(float x, glm::vec3 point, const Geometry& g) {
    const Camera c = stage_camera(x);
    const glm::vec4 clip = c.projection_matrix() * c.view_matrix() * glm::vec4(point, 1);
    return {g.x + int((clip.x / clip.w * 0.5f + 0.5f) * float(g.width)),
            g.y + int((0.5f - clip.y / clip.w * 0.5f) * float(g.height))};
}

// The upper middle of the box's front face: the sky of the image.
std::pair<int, int> box_on_screen(float x, const Geometry& g) { return on_screen(x, {0, 1.6f, 1}, g); }

bool bright(Rgb c) { return c.r + c.g + c.b > 300; }
bool sky_blue(Rgb c) { return c.b > c.r + 60 && c.b > c.g + 20; }
int brightness(Rgb c) { return c.r + c.g + c.b; }

TEST(ScenePlayback, CameraKeysMoveTheTexturedShadowedModel) {
    TempDir dir;
    XServer x;
    const auto exe = make_player(dir, scene_payload());
    Process player({exe.string()}, dir.path(), {"SDL_AUDIODRIVER=dummy", x.env()});
    const std::string window = x.wait_for_window(player_window_title(), 60s, &player);
    ASSERT_FALSE(window.empty()) << player.out() << player.err();
    const Geometry g = x.geometry(window);
    const auto left = box_on_screen(camera_x_before, g);  // the camera stands right of the box
    const auto right = box_on_screen(camera_x_after, g);
    ASSERT_LT(left.first + g.width / 8, right.first);
    // The box shows at one place and not at the other; the screen is polled,
    // so a slow frame only makes the wait longer.
    auto box_at = [](std::pair<int, int> shown, std::pair<int, int> empty) {
        return [=](const Image& s) {
            return bright(s.at(shown.first, shown.second)) && !bright(s.at(empty.first, empty.second));
        };
    };
    EXPECT_FALSE(x.wait_for_screen(box_at(left, right), 60s, &player).empty())
        << "the box never showed on the left; " << player.out();
    const Image moved = x.wait_for_screen(box_at(right, left), 60s, &player);
    ASSERT_FALSE(moved.empty()) << "the box never moved to the right; " << player.out();

    // The box wears the image, and the light, from up right and in front,
    // casts its shadow left of it and behind: there the plane is darker than
    // right of the box.
    const auto at = [&](glm::vec3 p) {
        const auto xy = on_screen(camera_x_after, p, g);
        return moved.at(xy.first, xy.second);
    };
    EXPECT_TRUE(sky_blue(moved.at(right.first, right.second))) << moved.at(right.first, right.second);
    const Rgb shaded = at({-1.4f, 0, -0.4f}), lit = at({1.8f, 0, 0.5f});
    EXPECT_LT(brightness(shaded) * 3, brightness(lit) * 2) << "in shadow " << shaded << ", in light " << lit;

    ASSERT_TRUE(player.wait(60s)) << "the player did not end after its end beat";
    EXPECT_EQ(player.exit_status(), 0) << player.out();
    EXPECT_NE(player.err().find("Number of VAOs: 2\n"), std::string::npos) << player.err();
    EXPECT_EQ(player.out().find("ERROR!"), std::string::npos) << player.out();
    EXPECT_EQ(player.out().find("FB Error!"), std::string::npos) << player.out();
}

// The figure is green before beat 5 and cyan from then on, when the
// animation position jumps from 0.1 to 0.6 of the walk.
const char* const pose_colour_source = R"(#version 330
uniform float beat;
out vec4 fragColor;
void main() { fragColor = beat < 5.0 ? vec4(0.0, 1.0, 0.0, 1.0) : vec4(0.0, 1.0, 1.0, 1.0); }
)";

std::vector<uint8_t> walker_payload() {
    Camera camera = stage_camera(0);
    camera.position = {0, 0.75f, 2.2f};
    camera.direction = {0, 0, -1};
    return one_scene_payload(
        test::skinned_vertex_shader, pose_colour_source, test::gltf_fixture("CesiumMan.glb"), camera,
        {{"animation_position", test::curve_of({{0, 0.1f}, {5, 0.6f}}, ControlPointCurve::mode_last_value)}}, 12);
}

// The pixels of window `g` that have colour `c`, as a mask.
std::vector<bool> pixels_of(const Image& shot, const Geometry& g, Rgb c) {
    std::vector<bool> mask(size_t(g.width * g.height));
    for (int y = 0; y < g.height; ++y)
        for (int x = 0; x < g.width; ++x) mask[size_t(y * g.width + x)] = shot.at(g.x + x, g.y + y) == c;
    return mask;
}

size_t count(const std::vector<bool>& mask) { return size_t(std::count(mask.begin(), mask.end(), true)); }

TEST(ScenePlayback, AnimationKeysChangeTheSkinnedFiguresPose) {
    TempDir dir;
    XServer x;
    const auto exe = make_player(dir, walker_payload());
    Process player({exe.string()}, dir.path(), {"SDL_AUDIODRIVER=dummy", x.env()});
    const std::string window = x.wait_for_window(player_window_title(), 60s, &player);
    ASSERT_FALSE(window.empty()) << player.out() << player.err();
    const Geometry g = x.geometry(window);
    const Rgb green{0, 255, 0}, cyan{0, 255, 255};
    constexpr size_t figure = 1000;  // pixels: the figure stands about 200 high

    const Image before = x.wait_for_screen(
        [&](const Image& s) { return count(pixels_of(s, g, green)) > figure; }, 60s, &player);
    ASSERT_FALSE(before.empty()) << "the figure never showed; " << player.out();
    const Image after = x.wait_for_screen(
        [&](const Image& s) { return count(pixels_of(s, g, cyan)) > figure; }, 60s, &player);
    ASSERT_FALSE(after.empty()) << "the figure never turned cyan; " << player.out();

    // Half a walk later the legs are elsewhere: the outlines differ.
    const std::vector<bool> a = pixels_of(before, g, green), b = pixels_of(after, g, cyan);
    size_t moved = 0;
    for (size_t i = 0; i < a.size(); ++i) moved += a[i] != b[i];
    EXPECT_GT(moved, count(a) / 10) << "the pose did not change";

    ASSERT_TRUE(player.wait(60s)) << "the player did not end after its end beat";
    EXPECT_EQ(player.exit_status(), 0) << player.out();
    EXPECT_NE(player.out().find("name of skeleton: "), std::string::npos) << player.out();
    EXPECT_EQ(player.out().find("Error"), std::string::npos) << player.out();
}

}  // namespace
}  // namespace qh::e2e
