#include "timeline/dispatch.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

#include "render/effect.h"
#include "render/shader_program.h"
#include "render/texture.h"
#include "scene3d/animation.h"
#include "scene3d/model.h"
#include "scene3d/node.h"
#include "timeline/event_group.h"

namespace qh {

namespace {

// Float to integer toward zero, saturating: content may hold any float, and
// an out-of-range conversion is undefined.
int32_t truncate_to_int(float v) {
    if (std::isnan(v)) return 0;
    if (v >= 2147483648.0f) return std::numeric_limits<int32_t>::max();
    if (v <= -2147483648.0f) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(v);
}

std::optional<float> key_value(const Event& event, std::string_view key, float beat) {
    const ControlPointCurve* c = event.find_curve(key);
    if (!c) return std::nullopt;
    return evaluate_curve(c, event.start_beat, event.end_beat, beat);
}

}  // namespace

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

float animation_fraction(float position, float divider, float start, float end) {
    const float lo = start / divider;
    return std::fmod(position, 1.0f) * (end / divider - lo) + lo;
}

SceneKeys scene_keys(const Event& event, float beat) {
    SceneKeys keys;
    for (size_t i = 0; i < camera_keys.size(); ++i) keys.camera[i] = key_value(event, camera_keys[i], beat);
    keys.light.distance = key_value(event, "ldD", beat);
    keys.light.x = key_value(event, "ldX", beat);
    keys.light.y = key_value(event, "ldY", beat);
    keys.light.z = key_value(event, "ldZ", beat);
    keys.instance_count = truncate_to_int(key_value(event, "render_instances", beat).value_or(1.0f));
    keys.animation_index = truncate_to_int(key_value(event, "animation_index", beat).value_or(0.0f));
    keys.animation_position =
        animation_fraction(key_value(event, "animation_position", beat).value_or(0.0f),
                           key_value(event, "animation_divider", beat).value_or(1.0f),
                           key_value(event, "animation_start", beat).value_or(0.0f),
                           key_value(event, "animation_end", beat).value_or(1.0f));
    return keys;
}

void apply_scene_keys(Scene& scene, const SceneKeys& keys) {
    if (Camera* c = scene.camera.get()) {
        float* const floats[camera_keys.size()] = {
            &c->position.x,  &c->position.y,  &c->position.z,
            &c->direction.x, &c->direction.y, &c->direction.z,
            &c->up.x,        &c->up.y,        &c->up.z,
        };
        for (size_t i = 0; i < camera_keys.size(); ++i)
            if (keys.camera[i]) *floats[i] = *keys.camera[i];
    }
    // After the camera: the light looks at where the camera is this frame.
    scene.place_light_camera(keys.light);
    scene.gpu.instance_count = keys.instance_count;
    Model* model = scene.root_node ? scene.root_node->model : nullptr;
    if (model && model->has_animations) {
        Animation::animate(*model, keys.animation_index, keys.animation_position);
    }
}

// --- Timeline ---------------------------------------------------------------

Timeline::Timeline(EventTable events) : events_(events) {
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

bool Timeline::refuses(const EventGroup* group) const {
    return std::find(refused_.begin(), refused_.end(), group) != refused_.end();
}

void Timeline::warn_too_deep(const EventGroup* group) const {
    if (std::find(too_deep_.begin(), too_deep_.end(), group) != too_deep_.end()) return;
    too_deep_.push_back(group);
    std::printf("Warn: event group \"%s\" is nested more than %d groups deep; it is not played\n",
                group->name.c_str(), max_group_depth);
}

Effect* Timeline::play(float beat, TimelineActions& actions) const {
    // Update pass: text textures and input effects of everything active,
    // visible or not.
    for (const auto& p : events_) {
        if (!p || !is_active(*p, beat)) continue;
        const Event& e = *p;
        if (e.type == Event::type_effect) {
            actions.update_texts(e, beat, nullptr);
            for (Effect* input : e.effect->effects)
                if (input) actions.refresh_input(*input);
        } else if (e.type == Event::type_group && !refuses(e.group)) {
            // No window test: a member's own update clears its texts once its
            // group beat leaves its window.
            const float d = e.group->child_beat(e, beat);
            for (const Event* member : e.group->events)
                if (member && member->type == Event::type_effect && member->effect)
                    actions.update_texts(*member, d, &e);
        }
    }

    // Draw pass: visible events in table order, later ones over earlier ones.
    Effect* result = nullptr;
    for (const auto& p : events_) {
        if (!p || !p->visible || !is_active(*p, beat)) continue;
        if (Effect* drawn = render(*p, beat, nullptr, 0, actions)) result = drawn;
    }
    return result;
}

Effect* Timeline::render(const Event& event, float beat, const Event* parent, int depth,
                         TimelineActions& actions) const {
    switch (event.type) {
        case Event::type_effect:
            if (!event.effect) return nullptr;
            actions.draw_effect(event, beat, parent);
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
                if (Effect* drawn = render(*member, d, &event, depth + 1, actions)) result = drawn;
            }
            return result;
        }
        default:
            return nullptr;
    }
}

}  // namespace qh
