// Effects on a real GL context: uniform values, the texture-unit order of
// every kind of input (proved by a shader that shows each sampler in its own
// strip), input effects drawn into their targets, blending order, the screen
// copy, the scene hook and the colour target's completeness report.
#include <GL/glew.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/runtime.h"
#include "gl/gl_context.h"
#include "render/effect.h"
#include "render/scene_drawer.h"
#include "render/shader_program.h"
#include "render/texture.h"
#include "scene3d/scene.h"
#include "support/solid_shader.h"
#include "text/font_texture.h"

namespace qh {
namespace {

using gltest::GlTest;
using gltest::near;
using gltest::Rgba;
using test::solid_shader;

constexpr Rgba black{0, 0, 0, 255};
constexpr Rgba red{255, 0, 0, 255};
constexpr Rgba green{0, 255, 0, 255};
constexpr Rgba blue{0, 0, 255, 255};
constexpr Rgba orange{200, 100, 50, 255};  // what is on screen before the effect draws
constexpr Rgba teal{0, 128, 128, 255};

// Strip i of four across the screen shows sampler slot i ("tex", "tex1"...).
constexpr const char* strip_shader =
    "#version 150\n"
    "out vec4 fragColor;\n"
    "uniform vec2 resolution;\n"
    "uniform sampler2D tex; uniform sampler2D tex1; uniform sampler2D tex2; uniform sampler2D tex3;\n"
    "void main() {\n"
    "    vec2 uv = gl_FragCoord.xy / resolution;\n"
    "    int strip = int(uv.x * 4.0);\n"
    "    vec4 c = strip == 0 ? texture(tex, uv) : strip == 1 ? texture(tex1, uv)\n"
    "           : strip == 2 ? texture(tex2, uv) : texture(tex3, uv);\n"
    "    fragColor = vec4(c.rgb, 1.0);\n"
    "}\n";

Rgba strip_pixel(int strip) { return GlTest::pixel(strip * GlTest::width / 4 + 8, GlTest::height / 2); }

std::unique_ptr<Texture> solid_texture(Rgba c) {
    auto t = std::make_unique<Texture>("solid", gltest::encode_png(1, 1, {c}, true));
    t->realize();
    return t;
}

void fill_screen(Rgba c) {
    glClearColor(c.r / 255.0f, c.g / 255.0f, c.b / 255.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glClearColor(0, 0, 0, 1);
}

class EffectGl : public GlTest {};

TEST_F(EffectGl, UniformsTakeDefaultsHookValuesAndStandardValues) {
    auto p = gltest::build_program(
        "#version 150\nout vec4 fragColor;\nuniform float gain; uniform float other;\n"
        "uniform vec2 iTime2; uniform vec2 resolution;\n"
        "void main() { fragColor = vec4(gain, other, iTime2.y + resolution.x / 256.0, 1.0); }\n",
        {{"gain", 0.5f}, {"other", 0.25f}, {"not_in_shader", 0.75f}});
    ASSERT_TRUE(p->usable()) << p->gpu.status_text;
    Effect e("uniforms", p.get(), nullptr, nullptr, false, false, nullptr);

    struct Row {
        const char* name;
        float beat;
        std::function<void(ShaderProgram*)> hook;
        Rgba expected;
    };
    const Row rows[] = {
        // blue: frac(beat) + 64 / 256
        {"defaults", 2.0f, nullptr, {128, 64, 64, 255}},
        {"fraction of the beat", 3.25f, nullptr, {128, 64, 128, 255}},
        {"hook overrides a default", 0.0f,
         [&](ShaderProgram* none) {
             EXPECT_EQ(none, nullptr);
             p->set_float(p->location_of("gain"), 1.0f);
         },
         {255, 64, 64, 255}},
        // iTime2.y is negative for negative beats: truncation toward zero
        {"negative beat", -0.75f, nullptr, {128, 64, 0, 255}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        fill_screen({0, 0, 0, 255});
        e.upload_uniform_defaults();
        e.draw(gltest::frame_at(row.beat), row.hook, true);
        EXPECT_TRUE(near(pixel(20, 20), row.expected));
    }
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(EffectGl, InputsTakeUnitsInTheirFixedOrder) {
    auto strips = gltest::build_program(strip_shader);
    auto green_program = gltest::build_program(solid_shader("vec4(0.0, 1.0, 0.0, 1.0)"));
    ASSERT_TRUE(strips->usable()) << strips->gpu.status_text;
    auto t_red = solid_texture(red), t_green = solid_texture(green), t_blue = solid_texture(blue);
    Effect green_input("green input", green_program.get(), nullptr, nullptr, false, false, nullptr);
    // A text texture whose GL texture shows teal, and one never realized.
    FontTexture text, unrealized;
    text.gpu.texture = std::move(solid_texture(teal)->gpu.texture);

    struct Row {
        const char* name;
        bool feedback, screen_texture;
        std::vector<Texture*> textures;
        std::vector<FontTexture*> font_textures;
        std::vector<Effect*> inputs;
        std::vector<Rgba> expected;  // strips 0..n-1
    };
    const Row rows[] = {
        {"feedback then three textures", true, false, {t_red.get(), t_green.get(), t_blue.get()},
         {}, {}, {orange, red, green, blue}},
        {"two textures then the screen", false, true, {t_red.get(), t_green.get()}, {}, {},
         {red, green, orange}},
        {"a null texture keeps its unit", false, false, {t_red.get(), nullptr, t_blue.get()}, {},
         {}, {red, black, blue}},
        {"text textures after textures, inputs after text", false, false, {t_blue.get()},
         {&text}, {&green_input}, {blue, teal, green}},
        {"a text texture with no texture keeps its unit", false, false, {t_blue.get()},
         {&unrealized, nullptr}, {&green_input}, {blue, black, black, green}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Effect e("strips", strips.get(), nullptr, nullptr, row.feedback, row.screen_texture, nullptr);
        e.textures = row.textures;
        e.font_textures = row.font_textures;
        e.effects = row.inputs;

        fill_screen(orange);
        if (row.feedback) {
            e.capture_screen(gltest::frame_at(0));  // what the frame composition does after drawing it
            fill_screen({0, 0, 0, 255});
        }
        e.draw(gltest::frame_at(0), nullptr, true);
        for (size_t i = 0; i < row.expected.size(); ++i) {
            EXPECT_TRUE(near(strip_pixel(static_cast<int>(i)), row.expected[i])) << "strip " << i;
        }
        if (HasFailure()) break;  // keep the failing image
    }
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(EffectGl, InputEffectOutputIsSampledByTheEffectThatListsIt) {
    // The input writes (0.2, 0.6, 1.0); the consumer swizzles what it samples,
    // so the screen shows a sample of the target, not leftovers of the input.
    auto input_program = gltest::build_program(solid_shader("vec4(0.2, 0.6, 1.0, 1.0)"));
    auto consumer_program = gltest::build_program(
        "#version 150\nout vec4 fragColor;\nuniform sampler2D tex; uniform vec2 resolution;\n"
        "void main() { fragColor = vec4(texture(tex, gl_FragCoord.xy / resolution).bgr, 1.0); }\n");
    Effect input("input", input_program.get(), nullptr, nullptr, false, false, nullptr);
    Effect consumer("consumer", consumer_program.get(), nullptr, &input, false, false, nullptr);

    consumer.draw(gltest::frame_at(0), nullptr, true);
    EXPECT_TRUE(near(pixel(10, 10), {255, 153, 51, 255}));
    EXPECT_TRUE(near(pixel(60, 30), {255, 153, 51, 255}));

    // Without render-inputs the target keeps what was drawn into it last.
    fill_screen({0, 0, 0, 255});
    input.program = consumer_program.get();  // would now draw something else
    consumer.draw(gltest::frame_at(0), nullptr, false);
    EXPECT_TRUE(near(pixel(10, 10), {255, 153, 51, 255}));
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(EffectGl, LaterEffectsBlendOverEarlierOnes) {
    auto opaque_red = gltest::build_program(solid_shader("vec4(1.0, 0.0, 0.0, 1.0)"));
    auto half_blue = gltest::build_program(solid_shader("vec4(0.0, 0.0, 1.0, 0.5)"));
    Effect a("red", opaque_red.get(), nullptr, nullptr, false, false, nullptr);
    Effect b("half blue", half_blue.get(), nullptr, nullptr, false, false, nullptr);
    struct Row {
        const char* name;
        std::vector<Effect*> order;
        Rgba expected;
    };
    const Row rows[] = {
        {"half blue over red", {&a, &b}, {128, 0, 128, 0}},
        {"red over half blue", {&b, &a}, {255, 0, 0, 0}},
        {"half blue over black", {&b}, {0, 0, 128, 0}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        fill_screen({0, 0, 0, 255});
        for (Effect* e : row.order) e->draw(gltest::frame_at(0), nullptr, true);
        EXPECT_TRUE(near(colour_at(32, 18), row.expected));
    }
}

TEST_F(EffectGl, CopyTargetFollowsTheRenderSize) {
    auto p = gltest::build_program(solid_shader("vec4(1.0)"));
    Effect e("copy", p.get(), nullptr, nullptr, false, true, nullptr);
    e.ensure_copy_target(runtime().screen);
    int w = 0, h = 0;
    gltest::texture_texels(e.gpu.copy_texture, &w, &h);
    EXPECT_EQ(w, width);
    EXPECT_EQ(h, height);

    runtime().screen.render_width = 32;
    runtime().screen.render_height = 18;
    e.ensure_copy_target(runtime().screen);
    gltest::texture_texels(e.gpu.copy_texture, &w, &h);
    EXPECT_EQ(w, 32);
    EXPECT_EQ(h, 18);
}

// The copy is what a read-back of the framebuffer being drawn gives, texel
// for texel, from the window's back buffer (the player) and from a
// framebuffer object (the offline render), which stays bound.
TEST_F(EffectGl, ScreenCopyMatchesAReadBackOfTheFramebuffer) {
    auto picture = gltest::build_program(
        "#version 150\nout vec4 fragColor;\nuniform float beat;\nvoid main() { vec2 p = gl_FragCoord.xy;\n"
        "    fragColor = vec4(p.x / 64.0, p.y / 36.0, fract(p.x * p.y / 17.0 + beat), fract(p.x / 5.0)); }\n");
    Effect e("copy", picture.get(), nullptr, nullptr, false, false, nullptr);
    GLint test_framebuffer = 0;
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &test_framebuffer);
    struct Row {
        const char* name;
        GLint framebuffer;
        float beat;  // a picture of its own: a copy of the other row's framebuffer differs
    };
    const Row rows[] = {{"window", 0, 0.0f}, {"framebuffer object", test_framebuffer, 0.5f}};
    for (const auto& [name, framebuffer, beat] : rows) {
        SCOPED_TRACE(name);
        glBindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(framebuffer));
        glClear(GL_COLOR_BUFFER_BIT);
        e.draw(gltest::frame_at(beat), nullptr, true);
        std::vector<Rgba> reference(width * height);  // bottom row first, GL's order
        glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, reference.data());
        e.capture_screen(gltest::frame_at(0));
        GLint read = -1, draw = -1;
        glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &read);
        glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &draw);
        EXPECT_EQ(std::make_pair(read, draw), std::make_pair(framebuffer, framebuffer));
        ASSERT_NE(reference.front(), reference[width - 1]);  // the picture reached the framebuffer
        EXPECT_EQ(gltest::texture_texels(e.gpu.copy_texture), reference);
    }
    glBindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(test_framebuffer));
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(EffectGl, IncompleteTargetIsReported) {
    auto p = gltest::build_program(solid_shader("vec4(1.0)"));
    struct Row {
        const char* name;
        int w, h;
        bool reported;
    };
    const Row rows[] = {{"render size", width, height, false}, {"no size", 0, 0, true}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ScreenSize size = runtime().screen;
        size.render_width = row.w;
        size.render_height = row.h;
        Effect e("target", p.get(), nullptr, nullptr, false, false, nullptr);
        testing::internal::CaptureStdout();
        e.create_gpu_objects(size);
        const std::string out = testing::internal::GetCapturedStdout();
        if (row.reported) {
            EXPECT_EQ(out.rfind("FB Error! Status: 0x8c", 0), 0u) << out;
        } else {
            EXPECT_EQ(out, "");
        }
    }
    glGetError();  // the empty target's own complaints
}

// Every record's device side says where it stands the same way: not built
// until its device step runs, then ready, or failed with what went wrong.
TEST_F(EffectGl, DeviceStatesBeforeAndAfterTheirStep) {
    struct Row {
        const char* name;
        std::function<DeviceState()> before, after;
        DeviceState::Kind kind;
        std::vector<std::string> problems;
    };
    auto broken = std::make_unique<ShaderProgram>();
    broken->fragment_shader_source = "#version 150\nnot glsl\n";
    auto good = gltest::build_program(solid_shader("vec4(1.0)"));
    Texture undecodable("junk.png", {1, 2, 3});
    Effect no_size("no size", good.get(), nullptr, nullptr, false, false, nullptr);
    Scene scene;
    scene.gpu.shadow_width = scene.gpu.shadow_height = 16;
    const Row rows[] = {
        {"program that does not compile", [&] { return broken->device_state(); },
         [&] { broken->realize(); return broken->device_state(); }, DeviceState::Kind::failed,
         {"fragment shader did not compile", "not linked"}},
        {"texture that does not decode", [&] { return undecodable.device_state(); },
         [&] { undecodable.realize(); return undecodable.device_state(); }, DeviceState::Kind::failed,
         {"image does not decode"}},
        {"effect target of no size", [&] { return no_size.device_state(); },
         [&] { no_size.create_gpu_objects(ScreenSize{}); return no_size.device_state(); },
         DeviceState::Kind::failed, {}},
        {"shadow target", [&] { return scene.device_state(); },
         [&] { scene.realize(); return scene.device_state(); }, DeviceState::Kind::ready, {}},
    };
    testing::internal::CaptureStdout();  // the build logs and "FB Error!" lines
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_FALSE(row.before().built());
        const DeviceState after = row.after();
        EXPECT_EQ(after.kind, row.kind);
        if (!row.problems.empty()) {
            EXPECT_EQ(after.problems, row.problems);
        }
        EXPECT_EQ(after.failed(), !after.problems.empty());
    }
    testing::internal::GetCapturedStdout();
    glGetError();  // the empty target's own complaints
}

// Records what an effect asks of the scene side, and the program state each
// pass draws with.
class RecordingSceneDrawer : public SceneDrawer {
public:
    explicit RecordingSceneDrawer(uint32_t shadow) : shadow_(shadow) {}
    void begin_shadow_pass(Scene&) override {
        calls.push_back("begin shadow");
        glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &outer_);  // where the effect draws
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
        glViewport(0, 0, 8, 8);
    }
    uint32_t shadow_texture(Scene&) override { return shadow_; }
    void draw(Scene&, ShaderProgram& p, const ScenePass& pass) override {
        GLint flag = -1, framebuffer = -1, viewport[4] = {}, current = 0, bound = 0;
        glGetUniformiv(p.gpu.program, p.gpu.location(StandardUniform::uIsShadowRenderPass), &flag);
        glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &framebuffer);
        glGetIntegerv(GL_VIEWPORT, viewport);
        glGetIntegerv(GL_CURRENT_PROGRAM, &current);
        glActiveTexture(pass.texture_units[ScenePass::shadow_map_unit]);
        glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
        glActiveTexture(GL_TEXTURE0);
        calls.push_back(std::string(pass.shadow ? "draw shadow" : "draw main") +
                        " flag=" + std::to_string(flag) + " fb=" +
                        (framebuffer == GLint(framebuffer_) ? "shadow"
                         : framebuffer == outer_          ? "outer"
                                                          : std::to_string(framebuffer)) +
                        " viewport=" + std::to_string(viewport[2]) + "x" + std::to_string(viewport[3]) +
                        (current == GLint(p.gpu.program.get()) ? " current" : " not current") +
                        (bound == GLint(shadow_) ? " shadow map bound" : " shadow map missing"));
    }
    std::vector<std::string> calls;

private:
    uint32_t shadow_;
    GLint outer_ = -1;
    GlFramebuffer framebuffer_ = GlFramebuffer::generate();
};

TEST_F(EffectGl, SceneGoesThroughTheFramesDrawer) {
    auto p = gltest::build_program(
        "#version 150\nout vec4 fragColor;\nuniform int uIsShadowRenderPass; uniform sampler2D tex;\n"
        "void main() { fragColor = texture(tex, vec2(0.5)) + vec4(float(uIsShadowRenderPass)); }\n");
    ASSERT_TRUE(p->usable()) << p->gpu.status_text;
    Scene scene;
    auto t_red = solid_texture(red);
    auto shadow_map = solid_texture(blue);
    Effect e("scene", p.get(), t_red.get(), nullptr, false, false, &scene);

    // No drawer in the frame: nothing drawn, one warning for any number of draws.
    testing::internal::CaptureStdout();
    e.draw(gltest::frame_at(0), nullptr, true);
    e.draw(gltest::frame_at(0), nullptr, true);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "Warn: effect scene draws a scene, but the frame has no scene renderer; "
                   "nothing is drawn\n");
    EXPECT_TRUE(near(pixel(5, 5), black));

    RecordingSceneDrawer drawer(shadow_map->gl_name());
    FrameContext frame = gltest::frame_at(0);
    frame.scene_drawer = &drawer;
    ScenePass pass;
    EXPECT_EQ(e.bind_inputs(frame, *p, false, &pass), 5);  // the texture, then four for the scene
    const auto& units = pass.texture_units;
    EXPECT_EQ(units[ScenePass::shadow_map_unit], GLenum(GL_TEXTURE1));
    EXPECT_EQ(units[ScenePass::base_color_unit], GLenum(GL_TEXTURE2));
    EXPECT_EQ(units[ScenePass::metallic_roughness_unit], GLenum(GL_TEXTURE3));
    EXPECT_EQ(units[ScenePass::material_extra_unit], GLenum(GL_TEXTURE4));

    drawer.calls.clear();
    int hooks = 0;
    e.draw(frame, [&](ShaderProgram*) { ++hooks; }, true);
    const std::vector<std::string> expected = {
        "begin shadow",
        "draw shadow flag=1 fb=shadow viewport=8x8 current shadow map bound",
        "draw main flag=0 fb=outer viewport=64x36 current shadow map bound",
    };
    EXPECT_EQ(drawer.calls, expected);
    EXPECT_EQ(hooks, 2);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

}  // namespace
}  // namespace qh
