#include "track_edit.h"

#include <algorithm>
#include <cmath>
#include <set>

#include "document/demo_tables.h"
#include "timeline/timeline_dispatch.h"

namespace qh::quill {

namespace {

// Every grid's rows fall on 24ths of a beat (1, 2, 3, 4, 6 and 8 divide 24).
constexpr double finest_row = 1.0 / 24.0;

// A copied key's beat on the finest grid when float rounding is all that
// keeps it off, so that a block of triplets pastes as triplets.
double snapped(double beat) {
    const double r = std::round(beat / finest_row);
    return std::abs(beat / finest_row - r) < 1.0 / 64.0 ? r * finest_row : beat;
}

const Event* event_of(const Demo& demo, size_t index) {
    return index < demo.events.size() ? demo.events[index].get() : nullptr;
}

// The members' clock through the event playing their group; null when the
// track does not go through one (or it is gone).
const Event* player_of(const Demo& demo, const Track& track) {
    if (!track.player) return nullptr;
    const Event* p = event_of(demo, *track.player);
    return p && p->type == Event::type_group && p->group ? p : nullptr;
}

// The clock's beat as the track's event sees it (a member's group beat).
float local_beat(const Demo& demo, const Track& track, float beat) {
    const Event* p = player_of(demo, track);
    return p ? p->group->child_beat(*p, beat) : beat;
}

void add_curves(const Demo& demo, size_t event, std::optional<size_t> player, bool pinned,
                std::vector<Track>& out) {
    for (const auto& [name, curve] : demo.events[event]->curves) {
        Track t{{event, name}, player, pinned};
        if (std::find(out.begin(), out.end(), t) == out.end()) out.push_back(std::move(t));
    }
}

size_t index_of(const Demo& demo, const Event* e) {
    for (size_t i = 0; i < demo.events.size(); ++i)
        if (demo.events[i].get() == e) return i;
    return demo.events.size();
}

// Inserts `p` after the points at or before its beat, keeping the order.
void insert_sorted(std::vector<ControlPoint>& points, ControlPoint p) {
    auto at = std::upper_bound(points.begin(), points.end(), p.beat,
                               [](float b, const ControlPoint& q) { return b < q.beat; });
    points.insert(at, std::move(p));
}

bool has_text(const ControlPointCurve& c) {
    return std::any_of(c.control_points.begin(), c.control_points.end(),
                       [](const ControlPoint& p) { return p.is_text(); });
}

}  // namespace

const char* curve_mode_name(int32_t mode) {
    for (const auto& [m, name] : curve_modes)
        if (m == mode) return name;
    return "?";
}

std::vector<Track> tracks_at(const Demo& demo, float beat, std::span<const size_t> pins) {
    std::vector<Track> out;
    for (size_t pin : pins) {
        const Event* e = event_of(demo, pin);
        if (!e) continue;
        add_curves(demo, pin, std::nullopt, true, out);
        if (e->type != Event::type_group || !e->group) continue;
        for (const Event* member : e->group->events) {
            const size_t m = index_of(demo, member);
            if (m < demo.events.size()) add_curves(demo, m, pin, true, out);
        }
    }
    for (size_t i = 0; i < demo.events.size(); ++i) {
        if (!is_active(*demo.events[i], beat) || std::find(pins.begin(), pins.end(), i) != pins.end())
            continue;
        add_curves(demo, i, std::nullopt, false, out);
    }
    return out;
}

float curve_beat(const Demo& demo, const Track& track, float beat) {
    const Event* e = event_of(demo, track.id.event);
    return e ? local_beat(demo, track, beat) - e->start_beat : 0.0f;
}

double clock_beat(const Demo& demo, const Track& track, float curve_beat) {
    const Event* e = event_of(demo, track.id.event);
    if (!e) return 0.0;
    double b = static_cast<double>(curve_beat) + e->start_beat;
    if (const Event* p = player_of(demo, track))
        b += static_cast<double>(p->start_beat) - p->group->earliest_start();
    return b;
}

float track_value(const Demo& demo, const Track& track, float beat) {
    const Event* e = event_of(demo, track.id.event);
    if (!e) return 0.0f;
    return evaluate_curve(e->find_curve(track.id.curve), e->start_beat, e->end_beat,
                          local_beat(demo, track, beat));
}

std::string track_label(const Demo& demo, const Track& track) {
    const Event* e = event_of(demo, track.id.event);
    return (e ? e->name : std::string("?")) + "." + track.id.curve;
}

ControlPointCurve* TrackEditor::live(const CurveId& id) const {
    if (id.event >= demo_.events.size()) return nullptr;
    auto& curves = demo_.events[id.event]->curves;
    auto it = curves.find(id.curve);
    return it == curves.end() ? nullptr : &it->second;
}

const ControlPointCurve* TrackEditor::curve(const Track& track) const { return live(track.id); }

void TrackEditor::put(const CurveChange& c, bool after) {
    if (c.id.event >= demo_.events.size()) return;
    CurveMap& curves = demo_.events[c.id.event]->curves;
    // A curve made by the edit leaves with its undo: a key's empty curve would read as 0.
    if (!after && c.created) curves.erase(c.id.curve);
    else curves[c.id.curve] = after ? c.after : c.before;
}

bool TrackEditor::editable(const Track& track) const {
    const ControlPointCurve* c = curve(track);
    return c && !has_text(*c);
}

std::optional<size_t> TrackEditor::key_at(const Track& track, const BeatRows& rows, int64_t row) const {
    const ControlPointCurve* c = curve(track);
    if (!c) return std::nullopt;
    for (size_t i = 0; i < c->control_points.size(); ++i)
        if (rows.on_row(clock_beat(demo_, track, c->control_points[i].beat), row)) return i;
    return std::nullopt;
}

bool TrackEditor::set_key(const Track& track, const BeatRows& rows, int64_t row, float value) {
    if (!editable(track) || !std::isfinite(value)) return false;
    ControlPointCurve after = *curve(track);
    if (const auto k = key_at(track, rows, row)) {
        if (after.control_points[*k].value == value) return false;
        after.control_points[*k].value = value;
    } else {
        insert_sorted(after.control_points, ControlPoint(curve_beat(demo_, track, rows.beat_of(row)), value));
    }
    return commit({{track.id, *curve(track), std::move(after)}});
}

bool TrackEditor::nudge_key(const Track& track, const BeatRows& rows, int64_t row, float delta) {
    if (!editable(track)) return false;
    const auto k = key_at(track, rows, row);
    const float from = k ? curve(track)->control_points[*k].value : track_value(demo_, track, rows.beat_of(row));
    std::string merge = "nudge " + std::to_string(track.id.event) + " " + track.id.curve + " " +
                        std::to_string(row) + "/" + std::to_string(rows.per_beat);
    ControlPointCurve after = *curve(track);
    if (k) after.control_points[*k].value = from + delta;
    else insert_sorted(after.control_points, ControlPoint(curve_beat(demo_, track, rows.beat_of(row)), from + delta));
    if (!std::isfinite(from + delta)) return false;
    return commit({{track.id, *curve(track), std::move(after)}}, std::move(merge));
}

bool TrackEditor::set_mode(const Track& track, int32_t mode) {
    const ControlPointCurve* c = curve(track);
    if (!c || c->mode == mode || std::string_view(curve_mode_name(mode)) == "?") return false;
    ControlPointCurve after = *c;
    after.mode = mode;
    return commit({{track.id, *c, std::move(after)}});
}

bool TrackEditor::set_keys(const Track& track, const BeatRows& rows, int64_t row, NamedValues keys,
                           NamedValues was) {
    if (track.id.event >= demo_.events.size() || keys.size() != was.size()) return false;
    std::vector<CurveChange> changes;
    for (size_t i = 0; i < keys.size(); ++i) {
        const auto& [name, value] = keys[i];
        Track t = track;
        t.id.curve = std::string(name);
        const ControlPointCurve* c = curve(t);
        if ((c && !editable(t)) || !std::isfinite(value)) return false;
        ControlPointCurve after = c ? *c : ControlPointCurve{};
        if (!c && curve_beat(demo_, t, rows.beat_of(row)) > 0) after.control_points.emplace_back(0.0f, was[i].second);
        const auto k = c ? key_at(t, rows, row) : std::nullopt;
        if (k) after.control_points[*k].value = value;
        else insert_sorted(after.control_points, ControlPoint(curve_beat(demo_, t, rows.beat_of(row)), value));
        if (!c || after != *c) changes.push_back({t.id, c ? *c : ControlPointCurve{}, std::move(after), !c});
    }
    return commit(std::move(changes));
}

bool TrackEditor::delete_keys(std::span<const Track> tracks, size_t first, size_t last, const BeatRows& rows,
                              int64_t from, int64_t to) {
    std::vector<CurveChange> changes;
    for (size_t t = first; t < std::min(last, tracks.size()); ++t) {
        const ControlPointCurve* c = curve(tracks[t]);
        if (!c) continue;
        ControlPointCurve after = *c;
        std::erase_if(after.control_points, [&](const ControlPoint& p) {
            const int64_t r = rows.row_at(clock_beat(demo_, tracks[t], p.beat));
            return r >= from && r <= to;
        });
        if (after != *c) changes.push_back({tracks[t].id, *c, std::move(after)});
    }
    return commit(std::move(changes));
}

KeyBlock TrackEditor::copy(std::span<const Track> tracks, size_t first, size_t last, const BeatRows& rows,
                           int64_t from, int64_t to) const {
    KeyBlock block;
    if (to < from) return block;
    block.beats = static_cast<double>(to + 1 - from) / rows.per_beat;
    const double origin = static_cast<double>(from) / rows.per_beat;
    for (size_t t = first; t < std::min(last, tracks.size()); ++t) {
        auto& column = block.columns.emplace_back();
        const ControlPointCurve* c = curve(tracks[t]);
        if (!c || has_text(*c)) continue;
        for (const ControlPoint& p : c->control_points) {
            const double at = snapped(clock_beat(demo_, tracks[t], p.beat)) - origin;
            if (at >= -finest_row / 2 && at < block.beats - finest_row / 2) column.emplace_back(std::max(at, 0.0), p.value);
        }
    }
    return block;
}

bool TrackEditor::paste(std::span<const Track> tracks, size_t first, const BeatRows& rows, int64_t at,
                        const KeyBlock& block) {
    std::vector<CurveChange> changes;
    const double origin = static_cast<double>(at) / rows.per_beat;
    for (size_t c = 0; c < block.columns.size() && first + c < tracks.size(); ++c) {
        const Track& track = tracks[first + c];
        if (!editable(track)) continue;
        ControlPointCurve after = *curve(track);
        std::erase_if(after.control_points, [&](const ControlPoint& p) {
            const double b = clock_beat(demo_, track, p.beat) - origin;
            return b >= -finest_row / 2 && b < block.beats - finest_row / 2;
        });
        for (const auto& [beat, value] : block.columns[c])
            insert_sorted(after.control_points,
                          ControlPoint(curve_beat(demo_, track, static_cast<float>(origin + beat)), value));
        if (after != *curve(track)) changes.push_back({track.id, *curve(track), std::move(after)});
    }
    return commit(std::move(changes));
}

bool TrackEditor::commit(std::vector<CurveChange> changes, std::string merge_key) {
    if (changes.empty()) return false;
    for (const CurveChange& c : changes) put(c, true);
    undone_.clear();
    const uint64_t serial = next_serial_++;
    if (!merge_key.empty() && !done_.empty() && done_.back().merge_key == merge_key) {
        // The same key nudged again: one edit from the first value to the last.
        done_.back().changes.front().after = changes.front().after;
        done_.back().serial = serial;
        return true;
    }
    done_.push_back({std::move(changes), std::move(merge_key), serial});
    return true;
}

bool TrackEditor::undo() {
    if (done_.empty()) return false;
    Edit e = std::move(done_.back());
    done_.pop_back();
    for (auto c = e.changes.rbegin(); c != e.changes.rend(); ++c) put(*c, false);
    e.merge_key.clear();  // a nudge after an undo is an edit of its own
    undone_.push_back(std::move(e));
    return true;
}

bool TrackEditor::redo() {
    if (undone_.empty()) return false;
    Edit e = std::move(undone_.back());
    undone_.pop_back();
    for (const CurveChange& c : e.changes) put(c, true);
    done_.push_back(std::move(e));
    return true;
}

std::vector<CurveId> TrackEditor::touched() const {
    std::set<CurveId> ids;
    for (const auto* list : {&done_, &undone_})
        for (const Edit& e : *list)
            for (const CurveChange& c : e.changes) ids.insert(c.id);
    return {ids.begin(), ids.end()};
}

}  // namespace qh::quill
