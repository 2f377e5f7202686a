#include "timeline/event.h"

#include <cstddef>

#include "audio/audio_sample.h"
#include "render/effect.h"
#include "package/json_lint.h"
#include "timeline/event_group.h"

namespace qh {

namespace {

// Curve name (at least its 8-byte length), mode, repeat and point count.
constexpr size_t min_curve_size = 8 + 4 + 1 + 8;

// The type byte of the binary form. A type that does not fit in it is stored
// as 0, an unknown type: the layout written then matches the byte the reader
// sees, and the event stays inactive as it was.
uint8_t stored_type(int32_t type) {
    return type >= 0 && type <= 255 ? static_cast<uint8_t>(type) : 0;
}

const char* target_key(int32_t type) {
    switch (type) {
        case Event::type_effect: return "effect";
        case Event::type_audio_sample: return "audio_sample";
        case Event::type_group: return "group";
        default: return nullptr;
    }
}

// A null target is written as JSON null so that it reads back as null rather
// than as whatever record happens to have an empty name.
template <class T>
JsonValue name_or_null(const T* record) {
    return record ? JsonValue(record->name) : JsonValue();
}

template <class T>
T* named(const JsonValue& value, const char* key, NameMap<T>& map) {
    const JsonValue& v = json_member(value, key);
    return v.is_string() ? lookup(map, v.get<std::string>()) : nullptr;
}

}  // namespace

const ControlPointCurve* Event::find_curve(std::string_view curve_name) const {
    auto it = curves.find(curve_name);
    return it == curves.end() ? nullptr : &it->second;
}

float Event::curve_value(std::string_view curve_name, float beat) const {
    return evaluate_curve(find_curve(curve_name), start_beat, end_beat, beat);
}

JsonValue Event::to_json(const ProjectDir*) const {
    JsonValue j = JsonValue::object();
    j["type"] = type;
    j["name"] = name;
    j["visible"] = visible ? "true" : "false";
    switch (type) {
        case type_effect:
            j["effect"] = name_or_null(effect);
            break;
        case type_audio_sample:
            j["audio_sample"] = name_or_null(audio_sample);
            break;
        case type_group:
            j["group"] = name_or_null(group);
            break;
        default:
            break;
    }
    if (type == type_audio_sample) {
        j["beat"] = static_cast<double>(start_beat);
    } else if (has_known_type()) {
        j["start_beat"] = static_cast<double>(start_beat);
        j["end_beat"] = static_cast<double>(end_beat);
    }
    JsonValue curves_json = JsonValue::object();
    for (const auto& [curve_name, curve] : curves) curves_json[curve_name] = curve.to_json();
    j["control_points"] = std::move(curves_json);
    return j;
}

void Event::write_binary(BinaryWriter& out) const {
    const uint8_t stored = stored_type(type);
    out.write_u8(stored);
    out.write_u64(curves.size());
    for (const auto& [curve_name, curve] : curves) {
        out.write_packed_string(curve_name);
        curve.write_binary(out);
    }
    switch (stored) {
        case type_effect:
            out.write_bool(visible);
            out.write_ref(effect);
            out.write_f32(start_beat);
            out.write_f32(end_beat);
            break;
        case type_audio_sample:
            out.write_bool(visible);
            out.write_ref(audio_sample);
            out.write_f32(start_beat);
            break;
        case type_group:
            out.write_bool(visible);
            out.write_ref(group);
            out.write_f32(start_beat);
            out.write_f32(end_beat);
            break;
        default:
            return;  // an unknown type ends with its curves
    }
    out.write_packed_string(name);
}

void Event::from_json(const JsonValue& value, const ProjectDir&) {
    *this = Event();
    if (json_has(value, "type")) type = json_integral(json_member(value, "type"));
    name = json_text(json_member(value, "name"));
    // Only the exact string "true" is visible; a boolean true is not.
    if (json_has(value, "visible")) visible = json_text(json_member(value, "visible")) == "true";
    if (type == type_audio_sample) {
        start_beat = json_float(json_member(value, "beat"));
        end_beat = start_beat + 1.0f;
    } else if (type == type_effect || type == type_group) {
        start_beat = json_float(json_member(value, "start_beat"));
        end_beat = json_float(json_member(value, "end_beat"));
    }
    const JsonValue& curves_json = json_member(value, "control_points");
    if (curves_json.is_object()) {
        for (const auto& [curve_name, curve_json] : curves_json.items()) {
            curves[curve_name].from_json(curve_json);
        }
    }
}

void Event::read_binary(BinaryReader& in) {
    *this = Event();
    type = in.read_u8("Event type");
    const uint64_t count = in.read_count("Event curve count", min_curve_size);
    for (uint64_t i = 0; i < count; ++i) {
        std::string curve_name = in.read_packed_string("Event curve name");
        ControlPointCurve curve;
        curve.read_binary(in);
        // A repeated name keeps one entry, with the later curve's content.
        curves[std::move(curve_name)] = std::move(curve);
    }
    if (!has_known_type()) return;
    visible = in.read_bool("Event visible");
    target_id = in.read_id("Event target");
    start_beat = in.read_f32("Event start_beat");
    end_beat = type == type_audio_sample ? start_beat + 1.0f : in.read_f32("Event end_beat");
    name = in.read_packed_string("Event name");
}

void Event::wire(const IdentityMap& ids) {
    switch (type) {
        case type_effect: effect = ids.find<Effect>(target_id); break;
        case type_audio_sample: audio_sample = ids.find<AudioSample>(target_id); break;
        case type_group: group = ids.find<EventGroup>(target_id); break;
        default: break;
    }
}

void Event::wire_names(const JsonValue& value, NameTables& names) {
    switch (type) {
        case type_effect: effect = named(value, "effect", names.effects); break;
        case type_audio_sample:
            audio_sample = named(value, "audio_sample", names.audio_samples);
            break;
        case type_group: group = named(value, "group", names.event_groups); break;
        default: break;
    }
}

void lint_event_json(const JsonValue& value, std::vector<std::string>& warnings) {
    if (!value.is_object()) {
        warnings.push_back("event: not an object; it reads as a nameless effect event with no "
                           "effect");
        return;
    }
    const std::string where = lint_context("event", json_text(json_member(value, "name")));
    expect_text(value, "name", where, warnings);

    int32_t type = Event::type_effect;
    if (json_has(value, "type")) {
        const JsonValue& t = json_member(value, "type");
        type = json_integral(t);
        if (!t.is_number_integer()) {
            warnings.push_back(where + ": \"type\" is not an integral number, which reads as 0, "
                                       "an unknown type");
        }
    }
    if (type < Event::type_effect || type > Event::type_group) {
        warnings.push_back(where + ": type " + std::to_string(type) +
                           " is unknown; the event is never active and its binary form keeps "
                           "only its type and curves (no name, visibility or window)" +
                           (stored_type(type) == type ? "" : "; it is packed as type 0"));
    }

    if (json_has(value, "visible")) {
        const JsonValue& v = json_member(value, "visible");
        if (!v.is_string()) {
            warnings.push_back(where + ": \"visible\" is not a string, which reads as false; "
                                       "write \"true\" or \"false\"");
        } else if (v.get<std::string>() != "true" && v.get<std::string>() != "false") {
            warnings.push_back(where + ": \"visible\" is neither \"true\" nor \"false\", which "
                                       "reads as false");
        }
    }

    const auto ignored = [&](const char* key, const char* why) {
        if (json_has(value, key)) {
            warnings.push_back(where + ": \"" + key + "\" is ignored " + why);
        }
    };
    if (type == Event::type_audio_sample) {
        expect_floating(value, "beat", where, warnings);
        ignored("start_beat", "on a sample event (its window is \"beat\" to \"beat\" + 1)");
        ignored("end_beat", "on a sample event (its window is \"beat\" to \"beat\" + 1)");
    } else if (type == Event::type_effect || type == Event::type_group) {
        expect_floating(value, "start_beat", where, warnings);
        expect_floating(value, "end_beat", where, warnings);
        ignored("beat", "on an effect or group event (its window is \"start_beat\" to "
                        "\"end_beat\")");
        if (json_float(json_member(value, "end_beat")) <
            json_float(json_member(value, "start_beat"))) {
            warnings.push_back(where + ": \"end_beat\" is before \"start_beat\"; the event is "
                                       "never active");
        }
    }

    for (int32_t t = Event::type_effect; t <= Event::type_group; ++t) {
        const char* key = target_key(t);
        if (t != type) {
            ignored(key, "for this type");
        } else if (!json_member(value, key).is_string()) {
            warnings.push_back(where + ": \"" + key + "\" is " +
                               (json_has(value, key) ? "not a string" : "missing") +
                               "; the event has no target and never plays");
        }
    }

    if (!json_has(value, "control_points")) return;
    const JsonValue& curves_json = json_member(value, "control_points");
    if (!curves_json.is_object()) {
        warnings.push_back(where + ": \"control_points\" is not an object; the event has no "
                                   "curves");
        return;
    }
    for (const auto& [curve_name, curve_json] : curves_json.items()) {
        lint_curve_json(curve_json, where + " curve " + JsonValue(curve_name).dump(
                                        -1, ' ', false, JsonValue::error_handler_t::replace),
                        warnings);
    }
}

}  // namespace qh
