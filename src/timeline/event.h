#pragma once
// A timeline entry: a window of beats in which one target (an effect, an
// audio sample or an event group) is active, plus named curves that drive the
// target's parameters inside that window.
//
// Binary load:  e.read_binary(in);        // the target's identity stays in target_id
//               ...after every table is read: e.wire(ids);
// JSON load:    e.from_json(obj, dir);    // after effects, samples and groups are read:
//               e.wire_names(obj, names); // obj is this event's own JSON object
// Evaluation:   float a = e.curve_value("alpha", beat);
//
// Only the target pointer that matches `type` is ever set; any of them may be
// null (an unknown identity or name, or an unknown type), and users skip such
// events. An event of an unknown type keeps only its type and curves in the
// binary form and is never active.
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "package/serializable.h"
#include "timeline/control_point_curve.h"

namespace qh {

// Byte-wise name order (shorter first on a common prefix), which is also the
// order curves are written in.
using CurveMap = std::map<std::string, ControlPointCurve, std::less<>>;

class Event : public ISerializable {
public:
    static constexpr int32_t type_effect = 1;
    static constexpr int32_t type_audio_sample = 2;
    static constexpr int32_t type_group = 3;

    int32_t type = type_effect;
    Effect* effect = nullptr;              // type 1
    AudioSample* audio_sample = nullptr;   // type 2
    float start_beat = 0.0f;
    float end_beat = 0.0f;                 // type 2: always start_beat + 1 after reading
    std::string name;
    CurveMap curves;
    EventGroup* group = nullptr;           // type 3
    bool visible = true;

    // The identity read for the target matching `type`, until wire() resolves it.
    ResourceId target_id = 0;

    bool has_known_type() const { return type >= type_effect && type <= type_group; }

    const ControlPointCurve* find_curve(std::string_view curve_name) const;
    // The named curve at absolute `beat`, in this event's window; 0 for a
    // missing curve.
    float curve_value(std::string_view curve_name, float beat) const;

    JsonValue to_json(const ProjectDir* external) const override;
    void write_binary(BinaryWriter& out) const override;
    void from_json(const JsonValue& value, const ProjectDir& dir) override;
    void read_binary(BinaryReader& in) override;

    // Resolves target_id into the pointer matching `type`; an identity that is
    // unknown or names a record of another class gives null.
    void wire(const IdentityMap& ids);
    // Resolves the target named under "effect", "audio_sample" or "group"
    // (by `type`) in `value`, this event's JSON object. A missing name, or one
    // that is not a string, gives null without a lookup.
    void wire_names(const JsonValue& value, NameTables& names);
};

// Warnings about an event's JSON object for things that read back other than
// they look: a "visible" that is not the string "true" or "false", integral
// numbers where floating ones are read, an unknown type, keys that the type
// ignores, and the curve quirks of lint_curve_json.
void lint_event_json(const JsonValue& value, std::vector<std::string>& warnings);

}  // namespace qh
