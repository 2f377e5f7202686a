#pragma once
// Control-point curves: the one way any value changes over time.
//
//   ControlPointCurve c;                       // mode Linear, no repeat
//   c.control_points = {{0, 1}, {4, 5}};       // beats relative to the event's start
//   float v = evaluate_curve(&c, 10, 20, 12);  // window 10..20, beat 12 -> 3
//
// A curve is a plain value owned by its event under a name; its binary and
// JSON forms are pieces of the event's record, so they take no name here.
// Evaluation is pure: it depends only on the window, the curve and the beat.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "package/binary_stream.h"
#include "package/json_value.h"

namespace qh {

// Either a number (`text` empty) or a text (`value` then reads as 0).
struct ControlPoint {
    ControlPoint() = default;
    ControlPoint(float point_beat, float point_value, std::string point_text = {})
        : beat(point_beat), value(point_value), text(std::move(point_text)) {}

    float beat = 0.0f;  // relative to the event's start_beat
    float value = 0.0f;
    std::string text;

    bool is_text() const { return !text.empty(); }
    bool operator==(const ControlPoint&) const = default;
};

struct ControlPointCurve {
    static constexpr int32_t mode_last_value = 0;
    static constexpr int32_t mode_linear = 1;
    static constexpr int32_t mode_smooth = 2;  // uniform Catmull-Rom

    // In stored order; the authoring side keeps them ascending by beat and
    // nothing here sorts them.
    std::vector<ControlPoint> control_points;
    int32_t mode = mode_linear;
    // Picks wrapped neighbours at the ends; it does not repeat the curve in time.
    bool repeat = false;

    bool operator==(const ControlPointCurve&) const = default;

    // Binary: mode (i32), repeat (byte), point count (u64), then per point beat
    // (f32), value (f32), text (packed string). A point read with a text gets
    // value 0.
    void write_binary(BinaryWriter& out) const;
    void read_binary(BinaryReader& in);

    // JSON: {"mode", "repeat", "control_points": [{"beat", "value"} or
    // {"beat", "text"}]}, read leniently (a missing "mode" reads as 0).
    JsonValue to_json() const;
    void from_json(const JsonValue& value);
};

// The curve's value at absolute beat `beat` for an event whose window is
// [start_beat, end_beat] (closed). 0 outside the window, for a null or empty
// curve, before the first point and for an unknown mode.
float evaluate_curve(const ControlPointCurve* curve, float start_beat, float end_beat, float beat);

// Warnings about a curve's JSON object that reads back other than it looks
// (integral numbers where floating ones belong, a missing mode, ...). Each
// warning starts with `where`.
void lint_curve_json(const JsonValue& value, const std::string& where,
                     std::vector<std::string>& warnings);

}  // namespace qh
