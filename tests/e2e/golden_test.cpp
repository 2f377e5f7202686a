// Pictures that must not change unnoticed: `quill render` draws one frame of
// each scene below, at its stated time, 320x180, and the frame is compared
// with tests/golden/NAME.png. On a failure the frame and the difference
// (amplified) are written to <build>/tests/golden-failures/.
//
// QH_REGENERATE_GOLDEN=DIR writes each frame to DIR/NAME.png instead of
// comparing (scripts/regenerate-golden.sh); QH_GOLDEN_QUILL names another
// quill to draw with. A row without its golden image fails.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "document/demo_io.h"
#include "document/demo_tables.h"
#include "e2e/e2e_support.h"
#include "support/golden_image.h"
#include "support/model_shaders.h"
#include "support/sample_demo.h"
#include "support/tree_paths.h"

namespace qh::e2e {
namespace {

namespace fs = std::filesystem;
using test::RgbImage;

constexpr const char* frame_size = "320x180";
constexpr int fps = 4;  // quill draws every frame before the one kept: few, at this rate

struct Key {
    const char* name;
    float value;
};

struct GoldenScene {
    const char* name;
    const char* model;      // under tests/data/gltf; nullptr: the showcase itself
    float seconds;          // the frame drawn
    glm::vec3 eye, target;  // the camera looking at the model
    std::vector<Key> keys;  // constant keys of the event drawing it
    // Limits of ImageDifference::mean and ::largest (see each row for why).
    double mean_limit;
    int largest_limit;
    // Drawn with the shadow map (a surface the light cannot see darkened),
    // not lit by its normals.
    bool shadows = false;
    int joints = 100;  // the shader's joint block
};
void PrintTo(const GoldenScene& s, std::ostream* out) { *out << s.name; }

// llvmpipe draws a frame bit for bit the same on one machine; the limits are
// for another Mesa or LLVM. Edges rasterised onto neighbouring pixels cost
// the mean a little (a whole frame moved by a pixel, far more than that,
// costs these scenes 0.2 to 2.6) and the largest difference nothing; shader
// arithmetic and interpolation rounding otherwise move a shade by a few
// levels. A model drawn in the wrong place or pose, without its texture or
// its peaks differs by 160 and more (the faulty layouts against the mended
// ones: 167 to 209).
const std::vector<GoldenScene> scenes = {
    // Seven instances over a floor of rings: many edges and a floor shaded by
    // trigonometry (mean). Shadow-map texels whose depth compares within the
    // bias can flip between lit and shadowed: up to 0.65 of the brightest
    // lit channel, about 110 (largest).
    {"garden", nullptr, 36.0f, {}, {}, {}, 1.5, 110},
    // Glyph edges from another font rasteriser (anti-aliased levels up to a
    // quarter of the range apart) and the tunnel's trigonometry under the post
    // effect's aberration.
    {"title", nullptr, 6.0f, {}, {}, {}, 1.5, 64},
    // Lit models on black: outlines (mean), interpolated normals and linear
    // texture lookups rounding otherwise (largest).
    {"textured_box", "BoxTextured.glb", 1.0f, {1.2f, -2.2f, 1.6f}, {0, 0, 0}, {}, 1.0, 24},
    {"untextured_box", "Box.glb", 1.0f, {1.6f, 1.2f, 2.2f}, {0, 0, 0}, {}, 1.0, 24},
    {"skin_under_rotated_parent", "SkinUnderRotatedParent.gltf", 1.0f, {1.2f, 1.6f, 4}, {0, 0, 0},
     {{"skinned", 1}, {"animation_position", 0.5f}}, 1.0, 24},
    {"node_anim_under_scaled_parent", "NodeAnimUnderScaledParent.gltf", 1.0f, {0, 1.5f, 4.5f}, {0.5f, 0.25f, 0},
     {{"animation_index", 1}, {"animation_position", 0.5f}}, 1.0, 24},
    {"sparse_strip", "SparseStrip.gltf", 1.0f, {0, 3, 6.5f}, {0, 0.4f, 0}, {}, 1.0, 24},
    // A box floating over a plane and its shadow, which the garden's limits
    // (set for its flickering shadow edges) would not miss: drawn without the
    // shadow pass this frame differs by a mean of 3.0 and at most 138.
    {"box_over_plane_shadow", "BoxOverPlane.gltf", 1.0f, {0, 6, 8}, {0, 0, 0},
     {{"ldD", 12}, {"ldX", 0.6f}, {"ldY", 0.8f}, {"ldZ", 0.2f}}, 1.0, 110, true},
    // Morph targets at the mesh's weights, then halfway through its cubic-spline weights channel; cubic-spline
    // translation, rotation and scale between the first keys, on the middle one, between the last.
    {"morph_rest_weights", "MorphStrip.gltf", 1.0f, {0, 2.5f, 5}, {0, 0.4f, 0}, {}, 1.0, 24},
    {"morph_animated_weights", "MorphStrip.gltf", 1.0f, {0, 2.5f, 5}, {0, 0.4f, 0}, {{"animation_index", 1}, {"animation_position", 0.5f}}, 1.0, 24},
    {"cubic_path_early", "CubicPath.gltf", 1.0f, {0, 0.4f, 5}, {0, 0.4f, 0}, {{"animation_index", 1}, {"animation_position", 0.25f}}, 1.0, 24},
    {"cubic_path_middle", "CubicPath.gltf", 1.0f, {0, 0.4f, 5}, {0, 0.4f, 0}, {{"animation_index", 1}, {"animation_position", 0.5f}}, 1.0, 24},
    {"cubic_path_late", "CubicPath.gltf", 1.0f, {0, 0.4f, 5}, {0, 0.4f, 0}, {{"animation_index", 1}, {"animation_position", 0.75f}}, 1.0, 24},
    // Its texture is a JPEG: another decoder's inverse DCT rounds a few
    // levels otherwise, on top of the above (largest).
    {"cesium_man", "CesiumMan.glb", 1.0f, {0, 0.75f, 2.2f}, {0, 0.75f, 0},
     {{"skinned", 1}, {"animation_position", 0.3f}}, 1.0, 32},
    // Nearest filtering magnified: every texel edge is an edge.
    {"wrap_modes", "WrapModes.gltf", 1.0f, {1.3f, 1.4f, 2.6f}, {0, 0, 0}, {}, 1.5, 24},
    {"skin_without_inverse_binds", "SkinWithoutInverseBinds.gltf", 1.0f, {0, 0.3f, 4.2f}, {0, 0.3f, 0},
     {{"skinned", 1}, {"animation_position", 0.5f}}, 1.0, 24},
    {"many_joints", "ManyJoints.gltf", 1.0f, {-1, 1.1f, 6}, {-1, 1.1f, 0},
     {{"skinned", 1}, {"animation_position", 0.5f}}, 1.0, 24, false, 256},
};

// A project of one scene: the model as root node, lit by its normals.
fs::path write_model_project(const fs::path& dir, const GoldenScene& row, float end_beat = 4) {
    Camera camera;
    camera.position = row.eye;
    camera.direction = row.target;
    camera.aspect = 16.0f / 9.0f;
    camera.znear = 0.1f;
    camera.zfar = 100;
    CurveMap keys;
    for (const Key& k : row.keys) keys[k.name].control_points = {{0, k.value}};
    const std::string vertex = row.shadows ? test::lit_vertex_shader : test::normal_lit_vertex(row.joints);
    const std::string fragment = row.shadows ? test::lit_fragment_shader() : test::normal_lit_fragment_shader;
    auto demo = test::one_scene_demo(vertex, fragment, row.model, test::gltf_fixture(row.model), camera,
                                     std::move(keys), end_beat);
    demo->shaders.front()->uniform_defs.emplace_back().name = "skinned";
    write_project_file(*demo, dir);
    return dir / project_file_name;
}

fs::path quill_to_use() {
    const char* other = std::getenv("QH_GOLDEN_QUILL");
    return other && *other ? fs::path(other) : quill_path();
}

// The one frame quill renders of the row's scene (of `project` when given).
RgbImage render(const TempDir& dir, const GoldenScene& row, fs::path project = {},
                const std::string& size = frame_size) {
    if (project.empty()) {
        project = row.model ? write_model_project(dir / "project", row)
                            : test::source_dir() / "examples/showcase/project.json";
    }
    std::string out, err;
    const int status = run({quill_to_use().string(), "render", project.string(), "-o", (dir / "frames").string(),
                            "--size", size, "--fps", std::to_string(fps), "--from", std::to_string(row.seconds),
                            "--to", std::to_string(row.seconds + 1.0f / fps)},
                           dir.path(), std::chrono::minutes(5), {}, &out, &err);
    if (status != 0) throw std::runtime_error("quill render failed (" + std::to_string(status) + "): " + err);
    // A frame drawn past a GL error is no picture to trust.
    if (out.find("Error") != std::string::npos) throw std::runtime_error("quill render: " + out);
    for (const auto& f : fs::directory_iterator(dir / "frames")) {
        if (f.path().extension() == ".png") return test::read_png(f.path());
    }
    throw std::runtime_error("quill render wrote no frame: " + err);
}

class Golden : public testing::TestWithParam<GoldenScene> {};

TEST_P(Golden, FrameMatchesItsGoldenImage) {
    const GoldenScene& row = GetParam();
    const std::string name = row.name;
    const fs::path golden = test::source_dir() / "tests/golden" / (name + ".png");
    const char* regenerate = std::getenv("QH_REGENERATE_GOLDEN");
    if (!regenerate) {
        ASSERT_TRUE(fs::exists(golden)) << "no golden image " << golden << " (scripts/regenerate-golden.sh)";
    }

    TempDir dir;
    const RgbImage actual = render(dir, row);
    if (regenerate) {
        test::write_png(fs::path(regenerate) / (name + ".png"), actual);
        return;
    }
    const fs::path failures = test::build_dir() / "tests/golden-failures";
    const fs::path actual_file = failures / (name + "-actual.png"), diff_file = failures / (name + "-diff.png");
    fs::remove(actual_file);  // what an earlier run left
    fs::remove(diff_file);
    const RgbImage expected = test::read_png(golden);
    const bool same_size = actual.width == expected.width && actual.height == expected.height;
    const test::ImageDifference d = same_size ? test::compare_images(actual, expected) : test::ImageDifference{};
    if (same_size && d.mean <= row.mean_limit && d.largest <= row.largest_limit) return;

    fs::create_directories(failures);
    test::write_png(actual_file, actual);
    ASSERT_TRUE(same_size) << "the frame is " << actual.width << "x" << actual.height << ", the golden image "
                           << expected.width << "x" << expected.height << "; the frame: " << actual_file;
    test::write_png(diff_file, test::difference_image(actual, expected));
    ADD_FAILURE() << name << " differs from " << golden << ": mean " << d.mean << " (limit " << row.mean_limit
                  << "), largest " << d.largest << " (limit " << row.largest_limit << "); the frame: " << actual_file
                  << ", the difference: " << diff_file;
}

// The player draws a model without a base colour texture as quill render
// does, whatever the golden image holds: its window, once the loading screen
// has given way, matches a render of the same size within a row's limits.
TEST(GoldenPlayer, DrawsTheUntexturedBoxAsQuillRenders) {
    const GoldenScene& row = scenes[3];
    ASSERT_EQ(std::string(row.name), "untextured_box");
    TempDir dir;
    const fs::path project = write_model_project(dir / "project", row, 10000);  // never ends by itself
    const RgbImage rendered = render(dir, row, project, "640x360");
    // The box shows (a black window, before anything is drawn, must not pass).
    size_t lit = 0;
    for (size_t i = 0; i < rendered.rgb.size(); i += 3) lit += rendered.rgb[i] > 60;
    ASSERT_GT(lit, rendered.rgb.size() / 3 / 20) << "quill render drew the red box dark";
    ASSERT_EQ(quill(dir, {"pack", project.string(), "-o", (dir / "demo").string()}).status, 0);

    XServer x;
    Process player({(dir / "demo").string()}, dir.path(), {"SDL_AUDIODRIVER=dummy", x.env()});
    const std::string window = x.wait_for_window(player_window_title(), std::chrono::seconds(60), &player);
    ASSERT_FALSE(window.empty()) << player.out() << player.err();
    const Geometry g = x.geometry(window);
    ASSERT_EQ(g.width, rendered.width);
    test::ImageDifference last;
    const Image shot = x.wait_for_screen(
        [&](const Image& s) {
            RgbImage shown{g.width, g.height, {}};
            for (int y = g.y; y < g.y + g.height; ++y) {
                const auto row_start = s.rgb.begin() + (size_t(y) * size_t(s.width) + size_t(g.x)) * 3;
                shown.rgb.insert(shown.rgb.end(), row_start, row_start + g.width * 3);
            }
            last = test::compare_images(shown, rendered);
            return last.mean <= row.mean_limit && last.largest <= row.largest_limit;
        },
        std::chrono::seconds(60), &player);
    EXPECT_FALSE(shot.empty()) << "the window never showed what quill renders: mean " << last.mean << ", largest "
                               << last.largest << "; " << player.out();
    player.kill();
}

INSTANTIATE_TEST_SUITE_P(Scenes, Golden, testing::ValuesIn(scenes),
                         [](const testing::TestParamInfo<GoldenScene>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qh::e2e
