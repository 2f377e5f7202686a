#include "timeline/timeline_dispatch.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "render/effect.h"
#include "timeline/event_group.h"

namespace qh {

bool has_target(const Event& event) {
    switch (event.type) {
        case Event::type_effect: return event.effect != nullptr;
        case Event::type_audio_sample: return event.audio_sample != nullptr;
        case Event::type_group: return event.group != nullptr;
        default: return false;
    }
}

bool is_active(const Event& event, float beat) {
    return has_target(event) && event.start_beat <= beat && beat < event.end_beat;
}

float uniform_value(const Event& event, const Event* parent, const UniformDef& def, float beat) {
    if (beat < event.start_beat || beat > event.end_beat) return def.default_val;
    if (parent) {
        if (const ControlPointCurve* c = EventGroup::override_curve(*parent, event, def.name)) {
            if (c->control_points.empty()) return def.default_val;
            return evaluate_curve(c, parent->start_beat, parent->end_beat,
                                  EventGroup::override_beat(*parent, event, beat));
        }
    }
    const ControlPointCurve* own = event.find_curve(def.name);
    if (!own || own->control_points.empty()) return def.default_val;
    return evaluate_curve(own, event.start_beat, event.end_beat, beat);
}

TimelineDispatch::TimelineDispatch(EventTable events) : events_(events) {
    std::vector<const EventGroup*> checked;
    for (const auto& e : events_) {
        if (!e || e->type != Event::type_group || !e->group) continue;
        const EventGroup* g = e->group;
        if (std::find(checked.begin(), checked.end(), g) != checked.end()) continue;
        checked.push_back(g);
        if (g->recurses()) {
            refused_.push_back(g);
            std::printf("Warn: event group \"%s\" plays itself; it is not played\n", g->name.c_str());
        }
    }
}

bool TimelineDispatch::refuses(const EventGroup* group) const {
    return std::find(refused_.begin(), refused_.end(), group) != refused_.end();
}

void TimelineDispatch::warn_too_deep(const EventGroup* group) const {
    if (std::find(too_deep_.begin(), too_deep_.end(), group) != too_deep_.end()) return;
    too_deep_.push_back(group);
    std::printf("Warn: event group \"%s\" is nested more than %d groups deep; it is not played\n",
                group->name.c_str(), max_group_depth);
}

Effect* TimelineDispatch::play(const FrameContext& frame, TimelineActions& actions) const {
    const float beat = frame.beat;
    // Update pass: text textures and input effects of everything active,
    // visible or not.
    for (const auto& p : events_) {
        if (!p || !is_active(*p, beat)) continue;
        const Event& e = *p;
        if (e.type == Event::type_effect) {
            actions.update_texts(frame, e, beat, nullptr);
            for (Effect* input : e.effect->effects)
                if (input) actions.refresh_input(frame, *input);
        } else if (e.type == Event::type_group && !refuses(e.group)) {
            // No window test: a member's own update clears its texts once its
            // group beat leaves its window.
            const float d = e.group->child_beat(e, beat);
            for (const Event* member : e.group->events)
                if (member && member->type == Event::type_effect && member->effect)
                    actions.update_texts(frame, *member, d, &e);
        }
    }

    // Draw pass: visible events in table order, later ones over earlier ones.
    Effect* result = nullptr;
    for (const auto& p : events_) {
        if (!p || !p->visible || !is_active(*p, beat)) continue;
        if (Effect* drawn = render(frame, *p, beat, nullptr, 0, actions)) result = drawn;
    }
    return result;
}

Effect* TimelineDispatch::render(const FrameContext& frame, const Event& event, float beat,
                                 const Event* parent, int depth, TimelineActions& actions) const {
    switch (event.type) {
        case Event::type_effect:
            if (!event.effect) return nullptr;
            actions.draw_effect(frame, event, beat, parent);
            return event.effect;
        case Event::type_audio_sample:
            // Asked every active frame; the sample keeps itself from restarting.
            if (event.audio_sample) actions.play_sample(*event.audio_sample);
            return nullptr;
        case Event::type_group: {
            const EventGroup* group = event.group;
            if (!group || group->events.empty() || refuses(group)) return nullptr;
            if (depth >= max_group_depth) {
                warn_too_deep(group);
                return nullptr;
            }
            const float d = group->child_beat(event, beat);
            Effect* result = nullptr;
            // Members play whatever their own visible flag says.
            for (const Event* member : group->events) {
                if (!member || !has_target(*member) || !EventGroup::plays(*member, d)) continue;
                if (Effect* drawn = render(frame, *member, d, &event, depth + 1, actions)) result = drawn;
            }
            return result;
        }
        default:
            return nullptr;
    }
}

}  // namespace qh
