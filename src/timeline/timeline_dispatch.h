#pragma once
// The pure dispatch of the timeline, once per frame: which events are active
// at a beat, in which order their targets are updated and drawn, which beat
// each member of a group gets, and which value each uniform gets.
//
//   TimelineDispatch dispatch(demo.events);
//   dispatch.play(frame, actions);     // actions: a TimelineActions
//
// The order of the passes lives here and does no GL: everything that touches
// a device is a call on TimelineActions, given the frame, so tests can record
// the calls. The GL implementation is GlTimelineActions
// (playback/gl_timeline_actions.h). The decisions (is_active, uniform_value,
// and the scene keys of timeline/scene_keys.h) are plain functions.
//
// The event table must outlive the dispatch and keep its events; build a new
// one when events or groups change (groups are checked for recursion once,
// when it is built).
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "render/frame_context.h"
#include "render/uniform_def.h"
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

// What the passes do outside the timeline, each given the frame being played
// (`beat` is the event's own: a group member's is shifted).
class TimelineActions {
public:
    virtual ~TimelineActions() = default;
    // The text textures of an effect event's effect at `beat` (also members
    // of a group, with the playing event as `parent`).
    virtual void update_texts(const FrameContext& frame, const Event& event, float beat,
                              const Event* parent) = 0;
    // An input effect of an active effect event: defaults set, drawn onto the
    // screen, the screen captured into its copy.
    virtual void refresh_input(const FrameContext& frame, Effect& input) = 0;
    // An effect event's effect drawn with the values its curves give at `beat`.
    virtual void draw_effect(const FrameContext& frame, const Event& event, float beat,
                             const Event* parent) = 0;
    virtual void play_sample(AudioSample& sample) = 0;
};

class TimelineDispatch {
public:
    // Nested groups deeper than this are not played (a chain of groups, each
    // playing the next, could otherwise exhaust the stack); each group cut
    // off there is named in one "Warn:" line, the first time it is.
    static constexpr int max_group_depth = 32;

    // Refuses every group that plays itself (EventGroup::recurses), with a
    // "Warn:" line on standard output each.
    explicit TimelineDispatch(EventTable events);

    // The update pass, then the draw pass, over the events active at the
    // frame's beat, in table order. Returns the last effect drawn, or null.
    // Events with no target and refused groups are skipped; only visible
    // events are drawn, but a group draws its members whatever their flag.
    Effect* play(const FrameContext& frame, TimelineActions& actions) const;

    bool refuses(const EventGroup* group) const;
    // Groups that were not played because they lie deeper than max_group_depth.
    const std::vector<const EventGroup*>& too_deep() const { return too_deep_; }

private:
    Effect* render(const FrameContext& frame, const Event& event, float beat, const Event* parent,
                   int depth, TimelineActions& actions) const;
    void warn_too_deep(const EventGroup* group) const;

    EventTable events_;
    std::vector<const EventGroup*> refused_;
    // Only to say so once per group; playing is otherwise stateless.
    mutable std::vector<const EventGroup*> too_deep_;
};

}  // namespace qh
