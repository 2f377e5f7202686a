#pragma once
// A picture of a document's timeline over beats, as SVG text, for demo makers
// who would rather look than read the project's JSON.
//
//   std::string svg = timeline_svg(demo);
//
// From top to bottom: a beat ruler, a seconds ruler (the player's clock: the
// document's bpm and beat offset, second 0 where the music starts), then one
// section per record the events target (effects in table order, then audio
// samples, then groups, then events without a target). A section holds one
// row per event of its target (class "event-row", id "event-N" with N the
// event's index in the table); under a group event's row, one row per member
// (class "member-row") at the beats the group plays it, nested groups under
// theirs. Each row has a bar over its window (class "bar", with
// data-start/data-end in beats) and, inside it, each numeric curve sampled by
// the player's own evaluation and scaled to its own range (class "curve"),
// and each text point as a tick (class "text-point"). Names are escaped and
// bytes that are not UTF-8 replaced, so any document gives well-formed XML.
#include <string>

#include "document/demo.h"

namespace qh::quill {

std::string timeline_svg(const Demo& demo);

}  // namespace qh::quill
