#pragma once
// Text values: what a text curve says at a beat. The text of the last point
// at or before the beat, with beat placeholders filled in, optionally typed
// out over the time until the next point.
//
//   std::string s = text_value(event, "title", beat, chars_per_beat, frame.beat);
//   text_for_texture(event, parent, texture.name, texture.chars_per_beat, beat,
//                    frame.beat, out);   // what a text texture shows (overrides too)
//
// `beat` is in the event's own beats (shifted for members of a group);
// `clock_beat` is the frame's beat, which "<BEAT>" and "<IBEAT>" show. The
// placeholders, each replaced at its first occurrence only, in this order:
//   <BEAT> <IBEAT>   the clock's beat, "%f" / truncated toward zero
//   <CP> <ICP>       the current point's beat relative to the event's start
//   <ACP> <IACP>     that beat plus the event's start_beat
// Typing (chars_per_beat != -1, and a point after the current one): the first
// k bytes, k = floor((beat - point - start) / span * length * chars_per_beat) + 1.
//
// Text is bytes: one byte is one character. Pure: no state, no device. The
// `out` forms reuse the string's storage, so a steady text costs no
// allocation per frame.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "timeline/control_point_curve.h"

namespace qh {

class Event;

inline constexpr int32_t no_typing = -1;

// The placeholders a text value fills, in the order it fills them; any other
// "<...>" shows as written.
inline constexpr std::array<std::string_view, 6> text_placeholders = {
    "<BEAT>", "<IBEAT>", "<CP>", "<ICP>", "<ACP>", "<IACP>",
};

// The text of `curve` at absolute `beat` for an event whose window is
// [start_beat, end_beat] (closed); empty outside it, for a null or empty
// curve and before the first point.
void text_value(const ControlPointCurve* curve, float start_beat, float end_beat, float beat,
                int32_t chars_per_beat, float clock_beat, std::string& out);
std::string text_value(const Event& event, std::string_view curve_name, float beat,
                       int32_t chars_per_beat, float clock_beat);

// The text a text texture named `texture_name` shows while `event` is played
// at `beat` by `parent` (null on the main timeline): empty outside the
// event's closed window; else the parent's curve "EventName.texture_name"
// when the parent has one (for the parent's window, at the time since the
// event started counted from the parent's start; empty when it has no
// points); else the event's own curve named like the texture.
void text_for_texture(const Event& event, const Event* parent, std::string_view texture_name,
                      int32_t chars_per_beat, float beat, float clock_beat, std::string& out);

}  // namespace qh
