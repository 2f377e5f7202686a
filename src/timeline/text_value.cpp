#include "timeline/text_value.h"

#include <cmath>
#include <cstdio>
#include <limits>

#include "timeline/event.h"
#include "timeline/event_group.h"

namespace qh {

namespace {

// The characters "%f" gives for any float fit easily: at most 39 integer
// digits, a sign, the point and six decimals.
using Digits = char[64];

std::string_view fixed(float value, Digits& buf) {
    const int n = std::snprintf(buf, sizeof buf, "%f", static_cast<double>(value));
    return {buf, static_cast<size_t>(n)};
}

// Toward zero, printed exactly however large (a cast to int would be
// undefined beyond its range); "-0" never shows. Infinities and NaN print as
// "%f" prints them.
std::string_view truncated(float value, Digits& buf) {
    if (!std::isfinite(value)) return fixed(value, buf);
    double whole = std::trunc(static_cast<double>(value));
    if (whole == 0.0) whole = 0.0;  // drops the sign of -0
    const int n = std::snprintf(buf, sizeof buf, "%.0f", whole);
    return {buf, static_cast<size_t>(n)};
}

void replace_first(std::string& s, std::string_view placeholder, std::string_view value) {
    const size_t at = s.find(placeholder);
    if (at != std::string::npos) s.replace(at, placeholder.size(), value);
}

// floor() as a 32-bit integer the way the typing rule counts it: anything that
// does not fit (infinite, NaN, out of range) is the most negative integer,
// which never shortens the text.
int32_t floor_to_int32(float f) {
    const float floored = std::floor(f);
    if (!(floored >= -2147483648.0f && floored < 2147483648.0f))
        return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(floored);
}

}  // namespace

void text_value(const ControlPointCurve* curve, float start_beat, float end_beat, float beat,
                int32_t chars_per_beat, float clock_beat, std::string& out) {
    out.clear();
    if (beat < start_beat || beat > end_beat || !curve) return;
    const std::vector<ControlPoint>& pts = curve->control_points;
    const float t = beat - start_beat;

    // Unlike numeric curves, the whole list is searched: a later point at an
    // earlier beat still wins.
    size_t cur = pts.size();
    for (size_t i = 0; i < pts.size(); ++i)
        if (pts[i].beat <= t) cur = i;
    if (cur == pts.size()) return;
    const ControlPoint& point = pts[cur];

    out.assign(point.text);
    Digits buf;
    const auto& [beat_p, ibeat_p, cp_p, icp_p, acp_p, iacp_p] = text_placeholders;
    replace_first(out, beat_p, fixed(clock_beat, buf));
    replace_first(out, ibeat_p, truncated(clock_beat, buf));
    replace_first(out, cp_p, fixed(point.beat, buf));
    replace_first(out, icp_p, truncated(point.beat, buf));
    const float absolute = point.beat + start_beat;
    replace_first(out, acp_p, fixed(absolute, buf));
    replace_first(out, iacp_p, truncated(absolute, buf));

    // The last point is never typed: it has no span to type over.
    if (chars_per_beat == no_typing || cur + 1 == pts.size()) return;
    const float length = static_cast<float>(out.size());
    const float span = pts[cur + 1].beat - point.beat;
    const float f = (beat - point.beat - start_beat) / span * length * static_cast<float>(chars_per_beat);
    const int32_t k = floor_to_int32(f) + 1;
    // Compared as unsigned 64-bit, so a negative k exceeds every length and
    // shows the whole text.
    const uint64_t shown = static_cast<uint64_t>(static_cast<int64_t>(k));
    if (k != -1 && !out.empty() && out.size() > shown) out.resize(static_cast<size_t>(shown));
}

std::string text_value(const Event& event, std::string_view curve_name, float beat,
                       int32_t chars_per_beat, float clock_beat) {
    std::string out;
    text_value(event.find_curve(curve_name), event.start_beat, event.end_beat, beat,
               chars_per_beat, clock_beat, out);
    return out;
}

void text_for_texture(const Event& event, const Event* parent, std::string_view texture_name,
                      int32_t chars_per_beat, float beat, float clock_beat, std::string& out) {
    out.clear();
    if (beat < event.start_beat || beat > event.end_beat) return;
    if (parent) {
        if (const ControlPointCurve* c = EventGroup::override_curve(*parent, event, texture_name)) {
            text_value(c, parent->start_beat, parent->end_beat,
                       EventGroup::override_beat(*parent, event, beat), chars_per_beat,
                       clock_beat, out);
            return;
        }
    }
    text_value(event.find_curve(texture_name), event.start_beat, event.end_beat, beat,
               chars_per_beat, clock_beat, out);
}

}  // namespace qh
