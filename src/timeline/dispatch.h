#pragma once
// Plays the timeline once per frame: which events are active at a beat, in
// which order their targets are updated and drawn, which beat each member of
// a group gets, and which value each uniform gets.
//
//   Timeline timeline(demo.events);
//   timeline.play(beat, actions);     // actions: a TimelineActions
//
// The order of the passes lives in Timeline, which does no GL: it calls a
// TimelineActions for everything that touches a device, so tests can record
// the calls. The player's implementation is playback/timeline_actions.h. The
// decisions (is_active, uniform_value, scene_keys, apply_scene_keys) are
// plain functions.
//
// The event table must outlive the Timeline and keep its events; build a new
// Timeline when events or groups change (groups are checked for recursion
// once, when it is built).
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "render/uniform_def.h"
#include "scene3d/scene.h"
#include "timeline/event.h"

namespace qh {

using EventTable = std::span<const std::unique_ptr<Event>>;

// A known type, the target for that type set, and start_beat <= beat < end_beat.
bool is_active(const Event& event, float beat);
// The target that matches the event's type is set (an unknown type has none).
bool has_target(const Event& event);

// The value `def` gets while `event` is drawn at `beat`, played by `parent`
// (null on the main timeline): the default outside the event's closed window;
// else the parent's curve "EventName.uniform" when the parent has one (its
// value for the parent's window, at the time since the event started counted
// from the parent's start; the default when it has no points); else the
// event's own curve of the uniform's name; the default when it has no points.
float uniform_value(const Event& event, const Event* parent, const UniformDef& def, float beat);

// Curve names that move a scene's camera, in the order of the camera's nine
// floats: position x, y, z, direction x, y, z, up x, y, z.
inline constexpr std::array<std::string_view, 9> camera_keys = {
    "camera_position_x",  "camera_position_y",  "camera_position_z",
    "camera_direction_x", "camera_direction_y", "camera_direction_z",
    "camera_up_x",        "camera_up_y",        "camera_up_z",
};

// What an effect event's own curves ask of the scene it draws; a parent never
// overrides these. A key's curve without points counts as 0.
struct SceneKeys {
    std::array<std::optional<float>, 9> camera;  // empty: that float stays as it is
    LightPlacement light;
    int32_t instance_count = 1;   // "render_instances", truncated toward zero
    int32_t animation_index = 0;  // "animation_index", truncated toward zero
    float animation_position = 0; // normalised by animation_fraction
};
SceneKeys scene_keys(const Event& event, float beat);

// The keys applied to the scene the event draws, in this order: the camera
// floats that have a key (into the scene's own camera, when it has one),
// then the light placed from the camera as it now stands, then the instance
// count of the scene's draws, then the pose of the root node's model when it
// has animations (Animation::animate).
void apply_scene_keys(Scene& scene, const SceneKeys& keys);

// fmod(position, 1) scaled into [start / divider, end / divider]; a negative
// position gives a fraction below the start.
float animation_fraction(float position, float divider, float start, float end);

// What the passes do outside the timeline.
class TimelineActions {
public:
    virtual ~TimelineActions() = default;
    // The text textures of an effect event's effect at `beat` (also members
    // of a group, with the playing event as `parent`).
    virtual void update_texts(const Event& event, float beat, const Event* parent) = 0;
    // An input effect of an active effect event: defaults set, drawn onto the
    // screen, the screen captured into its copy.
    virtual void refresh_input(Effect& input) = 0;
    // An effect event's effect drawn with the values its curves give at `beat`.
    virtual void draw_effect(const Event& event, float beat, const Event* parent) = 0;
    virtual void play_sample(AudioSample& sample) = 0;
};

class Timeline {
public:
    // Nested groups deeper than this are not played (a chain of groups, each
    // playing the next, could otherwise exhaust the stack); each group cut
    // off there is named in one "Warn:" line, the first time it is.
    static constexpr int max_group_depth = 32;

    // Refuses every group that plays itself (EventGroup::recurses), with a
    // "Warn:" line on standard output each.
    explicit Timeline(EventTable events);

    // The update pass, then the draw pass, over the active events in table
    // order. Returns the last effect drawn, or null. Events with no target
    // and refused groups are skipped; only visible events are drawn, but a
    // group draws its members whatever their flag.
    Effect* play(float beat, TimelineActions& actions) const;

    bool refuses(const EventGroup* group) const;
    // Groups that were not played because they lie deeper than max_group_depth.
    const std::vector<const EventGroup*>& too_deep() const { return too_deep_; }

private:
    Effect* render(const Event& event, float beat, const Event* parent, int depth,
                   TimelineActions& actions) const;
    void warn_too_deep(const EventGroup* group) const;

    EventTable events_;
    std::vector<const EventGroup*> refused_;
    // Only to say so once per group; playing is otherwise stateless.
    mutable std::vector<const EventGroup*> too_deep_;
};

}  // namespace qh
