#include "timeline/control_point_curve.h"

#include <cstddef>

#include "package/json_lint.h"

namespace qh {

namespace {

// beat, value and at least the 8-byte length of the text.
constexpr size_t min_point_size = 4 + 4 + 8;

ControlPoint point_from_json(const JsonValue& value) {
    ControlPoint p;
    p.beat = json_float(json_member(value, "beat"));
    if (json_has(value, "text")) {
        p.text = json_text(json_member(value, "text"));
    } else {
        p.value = json_float(json_member(value, "value"));
    }
    return p;
}

JsonValue point_to_json(const ControlPoint& p) {
    JsonValue j = JsonValue::object();
    j["beat"] = static_cast<double>(p.beat);
    if (p.is_text()) {
        j["text"] = p.text;
    } else {
        j["value"] = static_cast<double>(p.value);
    }
    return j;
}

// The index after `i` at the end of the list: the first point when the curve
// repeats, the last one (so the value holds) otherwise.
size_t wrap(size_t i, size_t n, bool repeat) {
    if (i < n) return i;
    return repeat ? 0 : n - 1;
}

float catmull_rom(float p0, float p1, float p2, float p3, float u) {
    return 0.5f * (2.0f * p1 + (p2 - p0) * u + (2.0f * p0 - 5.0f * p1 + 4.0f * p2 - p3) * u * u +
                   (3.0f * p1 - p0 - 3.0f * p2 + p3) * u * u * u);
}

// A neighbour this close (or earlier, after wrapping) would bend the spline
// wildly, so the segment's own end value stands in for it. The gap is a float
// compared in double precision, which makes a gap of 0.05f (slightly above
// 0.05) count as far enough.
bool far_enough(float gap) { return static_cast<double>(gap) > 0.05; }

}  // namespace

void ControlPointCurve::write_binary(BinaryWriter& out) const {
    out.write_i32(mode);
    out.write_bool(repeat);
    out.write_u64(control_points.size());
    for (const ControlPoint& p : control_points) {
        out.write_f32(p.beat);
        out.write_f32(p.value);
        out.write_packed_string(p.text);
    }
}

void ControlPointCurve::read_binary(BinaryReader& in) {
    mode = in.read_i32("curve mode");
    repeat = in.read_bool("curve repeat");
    const uint64_t count = in.read_count("control point count", min_point_size);
    control_points.clear();
    control_points.reserve(count);
    for (uint64_t i = 0; i < count; ++i) {
        ControlPoint p;
        p.beat = in.read_f32("control point beat");
        p.value = in.read_f32("control point value");
        p.text = in.read_packed_string("control point text");
        if (p.is_text()) p.value = 0.0f;
        control_points.push_back(std::move(p));
    }
}

JsonValue ControlPointCurve::to_json() const {
    JsonValue j = JsonValue::object();
    j["mode"] = mode;
    j["repeat"] = repeat;
    JsonValue points = JsonValue::array();
    for (const ControlPoint& p : control_points) points.push_back(point_to_json(p));
    j["control_points"] = std::move(points);
    return j;
}

void ControlPointCurve::from_json(const JsonValue& value) {
    mode = json_integral(json_member(value, "mode"));
    repeat = json_bool(json_member(value, "repeat"));
    control_points.clear();
    const JsonValue& points = json_member(value, "control_points");
    if (!points.is_array()) return;
    control_points.reserve(points.size());
    for (const JsonValue& p : points) control_points.push_back(point_from_json(p));
}

float evaluate_curve(const ControlPointCurve* curve, float start_beat, float end_beat, float beat) {
    if (beat < start_beat || beat > end_beat || !curve || curve->control_points.empty()) {
        return 0.0f;
    }
    const std::vector<ControlPoint>& pts = curve->control_points;
    const size_t n = pts.size();
    const float t = beat - start_beat;

    // The last point at or before t, up to the first later point beyond t.
    // A linear walk over the stored order, so unsorted lists behave as stored.
    bool found = false;
    size_t cur = 0;
    size_t stop = n;
    for (size_t i = 0; i < n; ++i) {
        if (t >= pts[i].beat) {
            cur = i;
            found = true;
        } else if (found) {
            stop = i;
            break;
        }
    }
    if (!found) return 0.0f;

    const bool repeat = curve->repeat;
    const size_t next = stop < n ? stop : wrap(cur + 1, n, repeat);
    const float b_cur = pts[cur].beat;
    const float v_cur = pts[cur].value;

    switch (curve->mode) {
        case ControlPointCurve::mode_last_value:
            return v_cur;
        case ControlPointCurve::mode_linear: {
            const float d = pts[next].beat - b_cur;
            if (d == 0.0f) return v_cur;
            const float f = (t - b_cur) / d;
            return (1.0f - f) * v_cur + f * pts[next].value;
        }
        case ControlPointCurve::mode_smooth: {
            const float d = pts[next].beat - b_cur;
            if (d == 0.0f) return v_cur;
            const size_t next2 = wrap(next + 1, n, repeat);
            const size_t prev = cur > 0 ? cur - 1 : (repeat ? n - 1 : 0);
            const float u = (t - b_cur) / d;
            const float p1 = v_cur;
            const float p2 = pts[next].value;
            const float p0 = far_enough(b_cur - pts[prev].beat) ? pts[prev].value : p1;
            const float p3 = far_enough(pts[next2].beat - pts[next].beat) ? pts[next2].value : p2;
            return catmull_rom(p0, p1, p2, p3, u);
        }
        default:
            return 0.0f;
    }
}

void lint_curve_json(const JsonValue& value, const std::string& where,
                     std::vector<std::string>& warnings) {
    if (!value.is_object()) {
        warnings.push_back(where + ": the curve is not an object; it reads as a curve with no "
                                   "points");
        return;
    }
    const JsonValue& mode = json_member(value, "mode");
    if (!json_has(value, "mode")) {
        warnings.push_back(where + ": \"mode\" is missing, which reads as 0 (Last value), not "
                                   "1 (Linear)");
    } else if (!mode.is_number_integer()) {
        warnings.push_back(where + ": \"mode\" is not an integral number, which reads as 0 "
                                   "(Last value)");
    } else if (json_integral(mode) < 0 || json_integral(mode) > 2) {
        warnings.push_back(where + ": \"mode\" " + std::to_string(json_integral(mode)) +
                           " is not 0, 1 or 2; the curve is 0 everywhere");
    }
    expect_bool(value, "repeat", where, warnings);
    if (!json_has(value, "control_points")) return;
    const JsonValue& points = json_member(value, "control_points");
    if (!points.is_array()) {
        warnings.push_back(where + ": \"control_points\" is not an array; the curve has no points");
        return;
    }
    bool have_previous = false;
    float previous_beat = 0.0f;
    for (size_t i = 0; i < points.size(); ++i) {
        const JsonValue& p = points[i];
        const std::string at = where + " point " + std::to_string(i);
        if (!p.is_object()) {
            warnings.push_back(at + ": not an object; it reads as beat 0, value 0");
            continue;
        }
        expect_floating(p, "beat", at, warnings);
        if (json_has(p, "text")) {
            expect_text(p, "text", at, warnings);
            if (json_text(json_member(p, "text")).empty()) {
                warnings.push_back(at + ": no text, so this is a number point with value 0");
            }
            if (json_has(p, "value")) {
                warnings.push_back(at + ": \"value\" is ignored on a point with \"text\"");
            }
        } else {
            expect_floating(p, "value", at, warnings);
        }
        const float beat = json_float(json_member(p, "beat"));
        if (have_previous && beat < previous_beat) {
            warnings.push_back(at + ": its beat is before the previous point's; points are "
                                    "evaluated in stored order, never sorted");
        }
        have_previous = true;
        previous_beat = beat;
    }
}

}  // namespace qh
