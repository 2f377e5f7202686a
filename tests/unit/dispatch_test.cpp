#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "audio/audio_sample.h"
#include "render/effect.h"
#include "render/uniform_def.h"
#include "scene3d/camera.h"
#include "scene3d/scene.h"
#include "support/curves.h"
#include "support/sample_demo.h"
#include "timeline/scene_keys.h"
#include "timeline/timeline_dispatch.h"
#include "timeline/event.h"
#include "timeline/event_group.h"

namespace qh {
namespace {

FrameContext at(float beat) { return FrameContext::at(beat, {}); }

using test::constant;
using test::curve_of;

// Writes each call of the passes as one readable line.
class Recorder : public TimelineActions {
public:
    std::vector<std::string> calls;

    void update_texts(const FrameContext&, const Event& e, float beat, const Event* parent) override {
        calls.push_back("text " + label(e, beat, parent));
    }
    void refresh_input(const FrameContext&, Effect& input) override { calls.push_back("input " + input.name); }
    void draw_effect(const FrameContext&, const Event& e, float beat, const Event* parent) override {
        calls.push_back("draw " + label(e, beat, parent));
    }
    void play_sample(AudioSample& sample) override { calls.push_back("sample " + sample.name); }

private:
    static std::string label(const Event& e, float beat, const Event* parent) {
        char at[32];
        std::snprintf(at, sizeof at, "@%g", beat);
        return e.name + at + (parent ? " in " + parent->name : "");
    }
};

using Calls = std::vector<std::string>;

// An event table with the records its events point at.
struct Table {
    std::vector<std::unique_ptr<Event>> events;
    std::vector<std::unique_ptr<Effect>> effects;
    std::vector<std::unique_ptr<EventGroup>> groups;
    std::vector<std::unique_ptr<AudioSample>> samples;

    Effect* effect(const std::string& name) {
        effects.push_back(std::make_unique<Effect>());
        effects.back()->name = name;
        return effects.back().get();
    }
    EventGroup* group(const std::string& name, std::vector<Event*> members) {
        groups.push_back(std::make_unique<EventGroup>());
        groups.back()->name = name;
        groups.back()->events = std::move(members);
        return groups.back().get();
    }
    Event* event(const std::string& name, int32_t type, float start, float end) {
        events.push_back(std::make_unique<Event>());
        Event* e = events.back().get();
        e->name = name;
        e->type = type;
        e->start_beat = start;
        e->end_beat = end;
        return e;
    }
    Event* effect_event(const std::string& name, float start, float end, Effect* fx = nullptr) {
        Event* e = event(name, Event::type_effect, start, end);
        e->effect = fx ? fx : effect(name + "_fx");
        return e;
    }
    Event* sample_event(const std::string& name, float start) {
        Event* e = event(name, Event::type_audio_sample, start, start + 1);
        samples.push_back(std::make_unique<AudioSample>());
        samples.back()->name = name + "_snd";
        e->audio_sample = samples.back().get();
        return e;
    }
    Event* group_event(const std::string& name, float start, float end, EventGroup* g) {
        Event* e = event(name, Event::type_group, start, end);
        e->group = g;
        return e;
    }

    Calls play(float beat, Effect** result = nullptr) {
        TimelineDispatch timeline(events);
        Recorder r;
        Effect* drawn = timeline.play(at(beat), r);
        if (result) *result = drawn;
        return r.calls;
    }
};

// --- activity and visibility -------------------------------------------------

struct WindowRow {
    const char* name;
    bool visible;
    float beat;
    Calls expected;
};
void PrintTo(const WindowRow& row, std::ostream* os) { *os << row.name; }

class DispatchWindow : public testing::TestWithParam<WindowRow> {};

TEST_P(DispatchWindow, UpdatesAndDraws) {
    const WindowRow& row = GetParam();
    Table t;
    Effect* fx = t.effect("fx");
    fx->effects = {t.effect("in1"), nullptr, t.effect("in2")};
    t.effect_event("A", 4, 8, fx)->visible = row.visible;
    Effect* result = nullptr;
    EXPECT_EQ(t.play(row.beat, &result), row.expected);
    const bool drawn = !row.expected.empty() && row.expected.back().starts_with("draw");
    EXPECT_EQ(result, drawn ? fx : nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, DispatchWindow,
    testing::Values(
        WindowRow{"before_start", true, 3.999f, {}},
        WindowRow{"at_start", true, 4, {"text A@4", "input in1", "input in2", "draw A@4"}},
        WindowRow{"just_before_end", true, 7.999f,
                  {"text A@7.999", "input in1", "input in2", "draw A@7.999"}},
        WindowRow{"at_end", true, 8, {}},
        WindowRow{"invisible_updates_only", false, 5, {"text A@5", "input in1", "input in2"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Dispatch, UpdatePassRunsBeforeDrawPassAndLastDrawWins) {
    Table t;
    Effect* first = t.effect("first");
    Effect* second = t.effect("second");
    t.effect_event("A", 0, 10, first);
    t.sample_event("S", 1);
    t.effect_event("B", 0, 10, second);
    t.sample_event("Later", 5);  // not active at 1.5
    Effect* result = nullptr;
    EXPECT_EQ(t.play(1.5f, &result),
              (Calls{"text A@1.5", "text B@1.5", "draw A@1.5", "sample S_snd", "draw B@1.5"}));
    EXPECT_EQ(result, second);  // a sample after the last effect does not replace it

    Table only_sample;
    only_sample.sample_event("S", 1);
    EXPECT_EQ(only_sample.play(1.5f, &result), Calls{"sample S_snd"});
    EXPECT_EQ(result, nullptr);
}

TEST(Dispatch, EventsWithoutTargetAndEmptyGroupsAreSkipped) {
    Table t;
    t.event("no_effect", Event::type_effect, 0, 10);
    t.event("no_sample", Event::type_audio_sample, 0, 10);
    t.event("no_group", Event::type_group, 0, 10);
    t.event("unknown", 7, 0, 10);
    t.events.push_back(nullptr);
    EventGroup* g = t.group("g", {nullptr, t.event("member_without_effect", Event::type_effect, 0, 10)});
    t.group_event("G", 0, 10, g);
    t.group_event("Empty", 0, 10, t.group("empty", {}));
    Effect* result = nullptr;
    EXPECT_EQ(t.play(1, &result), Calls{});
    EXPECT_EQ(result, nullptr);
}

// --- groups ------------------------------------------------------------------

struct GroupRow {
    const char* name;
    float beat;
    Calls expected;
};
void PrintTo(const GroupRow& row, std::ostream* os) { *os << row.name; }

class DispatchGroup : public testing::TestWithParam<GroupRow> {};

// Members at 16..20 and 20..24 (the second invisible, and later in the table
// than its group event) played by an event over 100..110.
TEST_P(DispatchGroup, MembersPlayAtShiftedBeats) {
    const GroupRow& row = GetParam();
    Table t;
    Event* first = t.effect_event("First", 16, 20);
    Event* second = t.effect_event("Second", 20, 24);
    second->visible = false;
    EventGroup* g = t.group("g", {first, second});
    t.group_event("Player", 100, 110, g);
    EXPECT_EQ(t.play(row.beat), row.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, DispatchGroup,
    testing::Values(
        // Members update at their group beat whether or not they are active.
        GroupRow{"first_member", 102,
                 {"text First@18 in Player", "text Second@18 in Player", "draw First@18 in Player"}},
        GroupRow{"second_member", 104,
                 {"text First@20 in Player", "text Second@20 in Player", "draw Second@20 in Player"}},
        GroupRow{"after_members", 108, {"text First@24 in Player", "text Second@24 in Player"}},
        // At its own beats the first member also plays on the main timeline.
        GroupRow{"member_on_its_own", 17, {"text First@17", "draw First@17"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Dispatch, NestedGroupSeesItsOwnPlayerAsParent) {
    Table t;
    Event* leaf = t.effect_event("Leaf", 0, 4);
    EventGroup* inner = t.group("inner", {leaf});
    Event* middle = t.group_event("Middle", 10, 20, inner);
    middle->visible = false;  // drawn only through the outer group
    EventGroup* outer = t.group("outer", {middle});
    t.group_event("Outer", 50, 60, outer);
    // Outer at 51 -> Middle at 11 -> Leaf at 11 - 10 + 0 = 1.
    EXPECT_EQ(t.play(51), (Calls{"draw Leaf@1 in Middle"}));
}

TEST(Dispatch, GroupThatPlaysItselfIsRefused) {
    Table t;
    EventGroup* g = t.group("loop", {});
    Event* self = t.group_event("Self", 0, 10, g);
    g->events = {t.effect_event("Inside", 0, 10), self};
    Event* other = t.effect_event("Other", 0, 10);
    TimelineDispatch timeline(t.events);
    EXPECT_TRUE(timeline.refuses(g));
    Recorder r;
    EXPECT_EQ(timeline.play(at(5), r), other->effect);
    EXPECT_EQ(r.calls, (Calls{"text Inside@5", "text Other@5", "draw Inside@5", "draw Other@5"}));
}

TEST(Dispatch, GroupsNestedTooDeepAreNotPlayed) {
    // A chain of group events G0..Gn-1, each playing a group of the one
    // before, G0's group holding an effect event. Every Gi is also on the
    // main timeline and reaches the leaf through i nested groups.
    auto leaf_draws_through_groups = [](int groups) {
        Table t;
        Event* next = t.effect_event("Leaf", 0, 10);
        for (int i = 0; i < groups; ++i)
            next = t.group_event("G" + std::to_string(i), 0, 10, t.group("g", {next}));
        int draws = 0;
        for (const std::string& call : t.play(5)) draws += call == "draw Leaf@5 in G0";
        return draws;
    };
    // Up to the limit every chain event reaches the leaf; one more and the
    // top one does not.
    EXPECT_EQ(leaf_draws_through_groups(TimelineDispatch::max_group_depth), TimelineDispatch::max_group_depth);
    EXPECT_EQ(leaf_draws_through_groups(TimelineDispatch::max_group_depth + 1), TimelineDispatch::max_group_depth);
}

TEST(Dispatch, AGroupCutOffByDepthIsNamedOnceNotEveryFrame) {
    Table t;
    Event* next = t.effect_event("Leaf", 0, 10);
    for (int i = 0; i <= TimelineDispatch::max_group_depth; ++i)
        next = t.group_event("G" + std::to_string(i), 0, 10, t.group("g" + std::to_string(i), {next}));
    TimelineDispatch timeline(t.events);
    Recorder r;
    testing::internal::CaptureStdout();
    for (float beat : {1.0f, 2.0f, 3.0f}) timeline.play(at(beat), r);
    const std::string out = testing::internal::GetCapturedStdout();
    // Only the top chain event reaches g0 deeper than the limit.
    EXPECT_EQ(out, "Warn: event group \"g0\" is nested more than 32 groups deep; it is not played\n");
    ASSERT_EQ(timeline.too_deep().size(), 1u);
    EXPECT_EQ(timeline.too_deep()[0], t.groups[0].get());
}

// --- uniform values ----------------------------------------------------------

struct UniformRow {
    const char* name;
    CurveMap child_curves;   // child "Intro", window 16..30
    CurveMap parent_curves;  // parent "Player", window 100..105; none: no parent
    bool has_parent;
    float beat;  // the child's beat
    float expected;
};
void PrintTo(const UniformRow& row, std::ostream* os) { *os << row.name; }

class UniformValue : public testing::TestWithParam<UniformRow> {};

TEST_P(UniformValue, Value) {
    const UniformRow& row = GetParam();
    auto [child, parent] = test::member_and_player(105);
    child.curves = row.child_curves;
    parent.curves = row.parent_curves;
    UniformDef speed;
    speed.name = "speed";
    speed.default_val = 0.5f;
    EXPECT_FLOAT_EQ(uniform_value(child, row.has_parent ? &parent : nullptr, speed, row.beat),
                    row.expected);
}

const CurveMap own_speed = {{"speed", curve_of({{0, 1}, {4, 5}})}};  // 1 at 16, 5 from 20 on

INSTANTIATE_TEST_SUITE_P(
    Rows, UniformValue,
    testing::Values(
        UniformRow{"no_curve_gives_default", {{"other", constant(9)}}, {}, false, 18, 0.5f},
        UniformRow{"curve_without_points_gives_default", {{"speed", curve_of({})}}, {}, false, 18, 0.5f},
        UniformRow{"own_curve", own_speed, {}, false, 18, 3},
        UniformRow{"own_curve_at_window_end", own_speed, {}, false, 30, 5},
        UniformRow{"before_window_gives_default", own_speed, {}, false, 15.99f, 0.5f},
        UniformRow{"after_window_gives_default", own_speed, {}, false, 30.01f, 0.5f},
        UniformRow{"own_curve_before_first_point", {{"speed", curve_of({{1, 7}})}}, {}, false, 16.5f, 0},
        // Child beat 18 is 2 beats into the child: the parent's curve is read at 102.
        UniformRow{"parent_override", own_speed,
                   {{"Intro.speed", curve_of({{0, 10}, {5, 20}})}}, true, 18, 14},
        UniformRow{"override_without_points_gives_default", own_speed,
                   {{"Intro.speed", curve_of({})}}, true, 18, 0.5f},
        // Child beat 26 maps to 110, past the parent's end: 0, neither the
        // child's own value nor the default.
        UniformRow{"override_outside_parent_window", own_speed,
                   {{"Intro.speed", constant(10)}}, true, 26, 0},
        UniformRow{"other_names_do_not_override", own_speed,
                   {{"Intro", constant(10)}, {"Intro.", constant(10)}, {"Intro.spee", constant(10)},
                    {"Intro.speedy", constant(10)}, {"Intro2.speed", constant(10)},
                    {"Intr.speed", constant(10)}, {"Outro.speed", constant(10)},
                    {"speed", constant(10)}},
                   true, 18, 3},
        UniformRow{"override_among_neighbours", own_speed,
                   {{"Intro.", constant(1)}, {"Intro.spee", constant(2)},
                    {"Intro.speed", constant(42)}, {"Intro.speed0", constant(3)},
                    {"Intro.speee", constant(4)}},
                   true, 18, 42},
        UniformRow{"parent_curves_ignored_without_parent", own_speed,
                   {{"Intro.speed", constant(10)}}, false, 18, 3}),
    [](const auto& info) { return std::string(info.param.name); });

// --- scene keys --------------------------------------------------------------

Event scene_event(CurveMap curves) {
    Event e;
    e.start_beat = 0;
    e.end_beat = 10;
    e.curves = std::move(curves);
    return e;
}

TEST(SceneKeys, AbsentKeysGiveDefaults) {
    const SceneKeys keys = scene_keys(scene_event({{"speed", constant(3)}}), 1);
    for (const auto& c : keys.camera) EXPECT_FALSE(c.has_value());
    EXPECT_FALSE(keys.light.distance || keys.light.x || keys.light.y || keys.light.z);
    EXPECT_EQ(keys.instance_count, 1);
    EXPECT_EQ(keys.animation_index, 0);
    EXPECT_FLOAT_EQ(keys.animation_position, 0);
}

TEST(SceneKeys, CameraKeysFillTheirOwnFloats) {
    const SceneKeys keys = scene_keys(
        scene_event({{"camera_position_y", constant(2)}, {"camera_up_z", constant(9)},
                     {"camera_direction_x", curve_of({})}}),
        1);
    for (size_t i = 0; i < keys.camera.size(); ++i) {
        SCOPED_TRACE(std::string(camera_keys[i]));
        switch (i) {
            case 1: EXPECT_EQ(keys.camera[i], 2.0f); break;
            case 3: EXPECT_EQ(keys.camera[i], 0.0f); break;  // present without points
            case 8: EXPECT_EQ(keys.camera[i], 9.0f); break;
            default: EXPECT_FALSE(keys.camera[i].has_value());
        }
    }
}

TEST(SceneKeys, LightFollowsTheSceneCamera) {
    const SceneKeys keys = scene_keys(scene_event({{"ldX", constant(0.5f)}}), 1);
    Scene scene;
    scene.camera = std::make_unique<Camera>();
    scene.camera->position = {1, 2, 3};
    SceneViews views;
    SceneView& view = views.of(scene);
    const Camera before = view.light;
    place_light(view, keys.light);
    const Camera& light = view.light;
    EXPECT_FLOAT_EQ(light.position.x, 26);
    EXPECT_FLOAT_EQ(light.direction.x, 1);
    EXPECT_EQ(light.position.y, before.position.y);
    EXPECT_EQ(light.position.z, before.position.z);
    EXPECT_FLOAT_EQ(light.ortho_half_size, 50);
    EXPECT_FLOAT_EQ(light.znear, 0.01f);
}

struct CountRow {
    const char* name;
    float value;
    int32_t expected;
};
void PrintTo(const CountRow& row, std::ostream* os) { *os << row.name; }

class SceneKeyCounts : public testing::TestWithParam<CountRow> {};

TEST_P(SceneKeyCounts, TruncateTowardZero) {
    const CountRow& row = GetParam();
    const SceneKeys keys = scene_keys(
        scene_event({{"render_instances", constant(row.value)}, {"animation_index", constant(row.value)}}),
        1);
    EXPECT_EQ(keys.instance_count, row.expected);
    EXPECT_EQ(keys.animation_index, row.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, SceneKeyCounts,
    testing::Values(CountRow{"positive_fraction", 2.9f, 2}, CountRow{"negative_fraction", -1.5f, -1},
                    CountRow{"zero", 0, 0},
                    CountRow{"huge_saturates", 1e20f, std::numeric_limits<int32_t>::max()},
                    CountRow{"huge_negative_saturates", -1e20f, std::numeric_limits<int32_t>::min()},
                    CountRow{"infinity_saturates", std::numeric_limits<float>::infinity(),
                             std::numeric_limits<int32_t>::max()}),
    [](const auto& info) { return std::string(info.param.name); });

// --- applying the scene keys --------------------------------------------------

Scene scene_with_camera_at(glm::vec3 position) {
    Scene s;
    s.camera = std::make_unique<Camera>();
    s.camera->position = position;
    return s;
}

// Each of the nine camera keys lands in its own float of the scene camera
// and in no other.
TEST(ApplySceneKeys, EveryCameraKeyMovesItsOwnFloat) {
    for (size_t i = 0; i < camera_keys.size(); ++i) {
        SCOPED_TRACE(std::string(camera_keys[i]));
        Scene scene = scene_with_camera_at({1, 2, 3});
        const Camera before = *scene.camera;
        SceneViews views;
        apply_scene_keys(scene, views.of(scene), scene_keys(scene_event({{std::string(camera_keys[i]), constant(100)}}), 1));
        const Camera& c = *views.of(scene).camera;
        const float now[9] = {c.position.x, c.position.y, c.position.z, c.direction.x, c.direction.y,
                              c.direction.z, c.up.x, c.up.y, c.up.z};
        const float was[9] = {before.position.x, before.position.y, before.position.z,
                              before.direction.x, before.direction.y, before.direction.z,
                              before.up.x, before.up.y, before.up.z};
        for (size_t j = 0; j < 9; ++j) EXPECT_EQ(now[j], j == i ? 100.0f : was[j]) << "float " << j;
    }
}

struct ApplyRow {
    const char* name;
    CurveMap curves;
    glm::vec3 light_position;  // the light camera afterwards
    glm::vec3 light_target;
    float half_size;
    int32_t instances;
};
void PrintTo(const ApplyRow& row, std::ostream* os) { *os << row.name; }

class ApplySceneKeysOrder : public testing::TestWithParam<ApplyRow> {};

// The scene camera starts at (1, 2, 3); the light starts where a new light
// camera stands, (300, 50, 0) looking at the origin.
TEST_P(ApplySceneKeysOrder, LightFollowsTheCameraOfTheSameFrame) {
    const ApplyRow& row = GetParam();
    Scene scene = scene_with_camera_at({1, 2, 3});
    SceneViews views;
    SceneView& view = views.of(scene);
    view.instance_count = 7;  // from an earlier frame
    apply_scene_keys(scene, view, scene_keys(scene_event(row.curves), 1));
    const Camera& light = view.light;
    EXPECT_EQ(light.position, row.light_position);
    EXPECT_EQ(light.direction, row.light_target);
    EXPECT_FLOAT_EQ(light.ortho_half_size, row.half_size);
    EXPECT_FLOAT_EQ(light.znear, 0.01f);
    EXPECT_EQ(view.instance_count, row.instances);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ApplySceneKeysOrder,
    testing::Values(
        ApplyRow{"no_keys", {}, {300, 50, 0}, {0, 0, 0}, 50, 1},
        ApplyRow{"light_from_unmoved_camera", {{"ldX", constant(0.5f)}}, {26, 50, 0}, {1, 0, 0}, 50, 1},
        // The camera moves to x = 10 in the same frame: the light is placed
        // from there, not from where the camera was.
        ApplyRow{"light_after_camera_moves",
                 {{"camera_position_x", constant(10)}, {"ldX", constant(0.5f)}}, {35, 50, 0}, {10, 0, 0}, 50, 1},
        ApplyRow{"distance_scales_every_axis",
                 {{"ldD", constant(10)}, {"ldY", constant(2)}, {"ldZ", constant(-1)}, {"camera_position_z", constant(5)}},
                 {300, 22, -5}, {0, 2, 5}, 10, 1},
        ApplyRow{"instances", {{"render_instances", constant(3.7f)}}, {300, 50, 0}, {0, 0, 0}, 50, 3},
        ApplyRow{"instances_without_points_are_zero", {{"render_instances", curve_of({})}}, {300, 50, 0}, {0, 0, 0}, 50, 0}),
    [](const auto& info) { return std::string(info.param.name); });

// A scene with no camera of its own takes no camera keys, and its light is
// placed from the origin.
TEST(ApplySceneKeys, SceneWithoutCamera) {
    Scene scene;
    SceneViews views;
    SceneView& view = views.of(scene);
    apply_scene_keys(scene, view, scene_keys(scene_event({{"camera_position_x", constant(10)}, {"ldX", constant(1)}}), 1));
    EXPECT_FALSE(view.camera);
    EXPECT_FLOAT_EQ(view.light.position.x, 50);
    EXPECT_FLOAT_EQ(view.light.direction.x, 0);
}

struct AnimationRow {
    const char* name;
    float position, divider, start, end;
    float expected;
};
void PrintTo(const AnimationRow& row, std::ostream* os) { *os << row.name; }

class AnimationFraction : public testing::TestWithParam<AnimationRow> {};

TEST_P(AnimationFraction, Value) {
    const AnimationRow& r = GetParam();
    EXPECT_FLOAT_EQ(animation_fraction(r.position, r.divider, r.start, r.end), r.expected);
    const SceneKeys keys = scene_keys(scene_event({{"animation_position", constant(r.position)},
                                                   {"animation_divider", constant(r.divider)},
                                                   {"animation_start", constant(r.start)},
                                                   {"animation_end", constant(r.end)}}),
                                      1);
    EXPECT_FLOAT_EQ(keys.animation_position, r.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, AnimationFraction,
    testing::Values(AnimationRow{"whole_range", 2.25f, 1, 0, 1, 0.25f},
                    AnimationRow{"divided", 2.25f, 2, 0, 1, 0.125f},
                    AnimationRow{"sub_range", 0.5f, 1, 0.2f, 0.6f, 0.4f},
                    AnimationRow{"negative_position", -0.25f, 1, 0, 1, -0.25f}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qh
