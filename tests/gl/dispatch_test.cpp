// The timeline drawn by the frame composition on a real GL context: curve
// values reaching uniforms, defaults for uniforms no curve drives, group
// overrides, blending in table order, the input effects of the update pass and
// the sound texture on its unit.
#include <GL/glew.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "gl/gl_context.h"
#include "render/effect.h"
#include "playback/frame_composition.h"
#include "playback/gl_timeline_actions.h"
#include "render/shader_program.h"
#include "render/texture.h"
#include "support/curves.h"
#include "support/solid_shader.h"
#include "timeline/timeline_dispatch.h"
#include "timeline/event.h"
#include "timeline/event_group.h"

namespace qh {
namespace {

using gltest::GlTest;
using gltest::near;
using gltest::Rgba;
using test::curve_of;
using test::solid_shader;

constexpr Rgba black{0, 0, 0, 255};

std::unique_ptr<Event> effect_event(const std::string& name, Effect* effect, float start, float end) {
    auto e = std::make_unique<Event>();
    e->name = name;
    e->effect = effect;
    e->start_beat = start;
    e->end_beat = end;
    return e;
}

void clear_screen() {
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
}

class DispatchGl : public GlTest {};

TEST_F(DispatchGl, CurvesDriveUniformsAndOthersTakeTheirDefaults) {
    auto program = gltest::build_program(
        "#version 150\nout vec4 fragColor;\nuniform float level; uniform float fixed_level;\n"
        "void main() { fragColor = vec4(level, fixed_level, 0.0, 1.0); }\n",
        {{"level", 0.25f}, {"fixed_level", 0.5f}});
    ASSERT_TRUE(program->usable()) << program->gpu.status_text;
    Effect effect("levels", program.get(), nullptr, nullptr, false, false, nullptr);

    std::vector<std::unique_ptr<Event>> events;
    events.push_back(effect_event("Ramp", &effect, 4, 8));
    events.back()->curves["level"] = curve_of({{0, 0}, {4, 1}});
    // The same effect after the ramp, with no curve: the program must not keep
    // the ramp's last value.
    events.push_back(effect_event("Still", &effect, 8, 10));
    TimelineDispatch dispatch(events);
    GlTimelineActions actions;

    struct Row {
        const char* name;
        float beat;
        Rgba expected;
        Effect* result;
    };
    const Row rows[] = {
        {"before the window", 3.5f, black, nullptr},
        {"a quarter in", 5, {64, 128, 0, 255}, &effect},
        {"three quarters in", 7, {191, 128, 0, 255}, &effect},
        {"window end belongs to the next event", 8, {64, 128, 0, 255}, &effect},
        {"nothing active", 10, black, nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        clear_screen();
        EXPECT_EQ(compose_frame(dispatch, actions, gltest::frame_at(row.beat), nullptr, nullptr), row.result);
        EXPECT_TRUE(near(pixel(20, 20), row.expected));
        if (HasFailure()) break;  // keep the failing image
    }
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(DispatchGl, GroupOverridesReachTheMembersUniform) {
    auto program = gltest::build_program(
        "#version 150\nout vec4 fragColor;\nuniform float level;\n"
        "void main() { fragColor = vec4(level, 0.0, 0.0, 1.0); }\n",
        {{"level", 0.0f}});
    Effect effect("levels", program.get(), nullptr, nullptr, false, false, nullptr);
    std::vector<std::unique_ptr<Event>> events;
    events.push_back(effect_event("Intro", &effect, 16, 20));
    events.back()->visible = false;  // only through the group
    events.back()->curves["level"] = curve_of({{0, 0.25f}});
    EventGroup group;
    group.events = {events.back().get()};
    auto player = std::make_unique<Event>();
    player->name = "Player";
    player->type = Event::type_group;
    player->group = &group;
    player->start_beat = 100;
    player->end_beat = 110;
    player->curves["Intro.level"] = curve_of({{0, 0.5f}, {4, 1}});
    events.push_back(std::move(player));
    TimelineDispatch dispatch(events);
    GlTimelineActions actions;

    const std::array<std::pair<float, Rgba>, 3> rows = {{
        {102, {191, 0, 0, 255}},  // the parent's curve 2 beats in
        {104, black},             // the member's window has ended
        {17, black},              // on its own the member is invisible
    }};
    for (const auto& [beat, expected] : rows) {
        SCOPED_TRACE(beat);
        clear_screen();
        compose_frame(dispatch, actions, gltest::frame_at(beat), nullptr, nullptr);
        EXPECT_TRUE(near(pixel(20, 20), expected));
    }
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(DispatchGl, OverlappingEventsBlendInTableOrder) {
    auto half_red = gltest::build_program(solid_shader("vec4(1.0, 0.0, 0.0, 0.5)"));
    auto half_green = gltest::build_program(solid_shader("vec4(0.0, 1.0, 0.0, 0.5)"));
    Effect red("red", half_red.get(), nullptr, nullptr, false, false, nullptr);
    Effect green("green", half_green.get(), nullptr, nullptr, false, false, nullptr);
    struct Row {
        const char* name;
        Effect* first;
        Effect* second;
        Rgba expected;
    };
    // Black, then half of the first, then half of the second over that.
    const Row rows[] = {
        {"green over red", &red, &green, {64, 128, 0, 0}},
        {"red over green", &green, &red, {128, 64, 0, 0}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<std::unique_ptr<Event>> events;
        events.push_back(effect_event("first", row.first, 0, 10));
        events.push_back(effect_event("second", row.second, 5, 15));
        TimelineDispatch dispatch(events);
        GlTimelineActions actions;
        clear_screen();
        EXPECT_EQ(compose_frame(dispatch, actions, gltest::frame_at(6), nullptr, nullptr), row.second);
        EXPECT_TRUE(near(colour_at(30, 20), row.expected));
    }
}

TEST_F(DispatchGl, InvisibleEventStillDrawsItsInputsOnScreen) {
    auto red_program = gltest::build_program(solid_shader("vec4(1.0, 0.0, 0.0, 1.0)"));
    auto blue_program = gltest::build_program(solid_shader("vec4(0.0, 0.0, 1.0, 1.0)"));
    Effect input("blue input", blue_program.get(), nullptr, nullptr, false, false, nullptr);
    Effect main_effect("red", red_program.get(), nullptr, &input, false, false, nullptr);
    std::vector<std::unique_ptr<Event>> events;
    events.push_back(effect_event("Main", &main_effect, 0, 10));
    TimelineDispatch dispatch(events);
    GlTimelineActions actions;

    for (bool visible : {false, true}) {
        SCOPED_TRACE(visible ? "visible" : "invisible");
        events[0]->visible = visible;
        clear_screen();
        compose_frame(dispatch, actions, gltest::frame_at(1), nullptr, nullptr);
        // The update pass drew the input on screen; only a visible event covers it.
        EXPECT_TRUE(near(pixel(20, 20), visible ? Rgba{255, 0, 0, 255} : Rgba{0, 0, 255, 255}));
    }
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(DispatchGl, SoundCaptureReachesTheShaderOnItsUnit) {
    auto program = gltest::build_program(
        "#version 150\nout vec4 fragColor;\nuniform sampler2D sound_texture;\n"
        "void main() { fragColor = texture(sound_texture, vec2(0.5, 0.25)); }\n");
    ASSERT_TRUE(program->usable()) << program->gpu.status_text;
    Effect effect("sound", program.get(), nullptr, nullptr, false, false, nullptr);
    Texture sound(sound_capture_width, sound_capture_height);
    sound.realize();
    ASSERT_NE(sound.gl_name(), 0u);

    std::vector<uint8_t> capture(sound_capture_width * sound_capture_height * 4, 0);
    for (int x = 0; x < sound_capture_width; ++x) {  // row 0 only
        const uint8_t texel[] = {10, 200, 30, 255};
        std::copy(texel, texel + 4, capture.begin() + x * 4);
    }
    std::vector<std::unique_ptr<Event>> events;
    events.push_back(effect_event("Sound", &effect, 0, 10));
    TimelineDispatch dispatch(events);
    GlTimelineActions actions;

    compose_frame(dispatch, actions, gltest::frame_at(1), &sound, capture.data());
    EXPECT_TRUE(near(pixel(20, 20), {10, 200, 30, 255}, 2));

    // The unit is left empty for whatever draws next.
    GLint bound = -1;
    glActiveTexture(GL_TEXTURE0 + sound_texture_unit);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    glActiveTexture(GL_TEXTURE0);
    EXPECT_EQ(bound, 0);

    // Without a capture the texture keeps what it had.
    clear_screen();
    compose_frame(dispatch, actions, gltest::frame_at(1), &sound, nullptr);
    EXPECT_TRUE(near(pixel(20, 20), {10, 200, 30, 255}, 2));
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

}  // namespace
}  // namespace qh
