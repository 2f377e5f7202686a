#pragma once
// The track view's document side: which curves show as tracks at the cursor,
// and the edits made on them. Each edit is a small change of one or more
// curves of the live Demo that can be undone and redone. No window, no GL.
//
//   std::vector<Track> tracks = tracks_at(demo, beat, pins);
//   TrackEditor editor(demo);
//   BeatRows rows{3};
//   editor.set_key(tracks[0], rows, row, 0.5f);
//   editor.set_mode(tracks[0], ControlPointCurve::mode_smooth);
//   KeyBlock b = editor.copy(tracks, 0, 2, rows, row, row + 7);  // tracks 0..1, 8 rows
//   editor.paste(tracks, 1, rows, row + 16, b);
//   editor.undo();  editor.redo();
//   for (const CurveId& c : editor.touched()) ...   // the curves a save writes
//
// Edits change curve values in place: events, their order and the curves'
// map entries stay, so a playback's pointers into the document stay good and
// the next frame shows the change with no reload and no jump of the clock.
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "beat_rows.h"
#include "document/demo.h"
#include "timeline/control_point_curve.h"

namespace qh::quill {

// The modes a curve can take, as the view names them.
inline constexpr std::array<std::pair<int32_t, const char*>, 3> curve_modes = {{
    {ControlPointCurve::mode_last_value, "step"},
    {ControlPointCurve::mode_linear, "linear"},
    {ControlPointCurve::mode_smooth, "smooth"},
}};
const char* curve_mode_name(int32_t mode);  // "?" for a mode the document does not have

// One curve of one event of demo.events.
struct CurveId {
    size_t event = 0;
    std::string curve;
    auto operator<=>(const CurveId&) const = default;
};

// A column of the view. A group's member plays at the group's beat, not the
// clock's: its track goes through the event that plays the group.
struct Track {
    CurveId id;
    std::optional<size_t> player;  // the event playing the member's group
    bool pinned = false;
    bool operator==(const Track&) const = default;
};

// The tracks at `beat`: first the curves of each pinned event (a pinned group
// event gives its members' curves, through it), then those of the events
// active at `beat` that are not pinned, in table order, each event's curves
// in name order.
std::vector<Track> tracks_at(const Demo& demo, float beat, std::span<const size_t> pins);

// The beat a track's curve counts for the clock's `beat` (relative to its
// event's start, computed as the player computes it), and back.
float curve_beat(const Demo& demo, const Track& track, float beat);
double clock_beat(const Demo& demo, const Track& track, float curve_beat);
// The track's value at the clock's `beat`, as the player evaluates it.
float track_value(const Demo& demo, const Track& track, float beat);
std::string track_label(const Demo& demo, const Track& track);

// Keys copied off a block of rows: per track, each key's beat from the
// block's first row and its value. Beats, not rows, so a block pastes on any grid.
struct KeyBlock {
    double beats = 0;  // the block's height
    std::vector<std::vector<std::pair<double, float>>> columns;
    bool empty() const { return columns.empty(); }
};

class TrackEditor {
public:
    explicit TrackEditor(Demo& demo) : demo_(demo) {}

    // Null when the track's event or curve is gone.
    const ControlPointCurve* curve(const Track& track) const;
    // The key standing on `row`, as an index into the curve's points.
    std::optional<size_t> key_at(const Track& track, const BeatRows& rows, int64_t row) const;
    // A curve with texts takes no number: its keys are shown, not edited.
    bool editable(const Track& track) const;

    // Each returns false and changes nothing when it cannot apply.
    bool set_key(const Track& track, const BeatRows& rows, int64_t row, float value);
    // Adds `delta` to the key on `row`, or sets one there at the value the
    // curve has there plus `delta`. Nudges of one key in a row are one edit.
    bool nudge_key(const Track& track, const BeatRows& rows, int64_t row, float delta);
    bool set_mode(const Track& track, int32_t mode);
    // Keys of several curves of the track's event on `row`, as one edit. A
    // curve the event lacks is made (linear) with a first key at the event's
    // start holding `was` (the value before any key: otherwise it would read
    // as 0 there), and goes again with the undo.
    using NamedValues = std::span<const std::pair<std::string_view, float>>;
    bool set_keys(const Track& track, const BeatRows& rows, int64_t row, NamedValues keys, NamedValues was);
    // The keys of tracks [first, last) on rows [from, to].
    bool delete_keys(std::span<const Track> tracks, size_t first, size_t last, const BeatRows& rows,
                     int64_t from, int64_t to);
    KeyBlock copy(std::span<const Track> tracks, size_t first, size_t last, const BeatRows& rows,
                  int64_t from, int64_t to) const;
    // The block's columns over tracks from `first` on, its first row at `at`;
    // the keys the block's rows cover there go.
    bool paste(std::span<const Track> tracks, size_t first, const BeatRows& rows, int64_t at,
               const KeyBlock& block);

    bool undo();
    bool redo();
    bool can_undo() const { return !done_.empty(); }
    bool can_redo() const { return !undone_.empty(); }

    // Whether the document differs from what was last saved (or read).
    bool unsaved() const { return top_serial() != saved_serial_; }
    void mark_saved() { saved_serial_ = top_serial(); }
    // Every curve an edit, done or undone, has changed since the editor began.
    std::vector<CurveId> touched() const;

private:
    struct CurveChange {
        CurveId id;
        ControlPointCurve before, after;
        bool created = false;  // the curve was not there before
    };
    struct Edit {
        std::vector<CurveChange> changes;
        std::string merge_key;  // equal keys in a row merge into one edit
        uint64_t serial = 0;
    };

    ControlPointCurve* live(const CurveId& id) const;
    void put(const CurveChange& c, bool after);
    bool commit(std::vector<CurveChange> changes, std::string merge_key = {});
    uint64_t top_serial() const { return done_.empty() ? 0 : done_.back().serial; }

    Demo& demo_;
    std::vector<Edit> done_, undone_;
    uint64_t next_serial_ = 1;
    uint64_t saved_serial_ = 0;
};

}  // namespace qh::quill
