#pragma once
// What the track view shows and what its keys do, with no window: the cursor
// (a row and a track), the block selected from an anchor, the value being
// typed, the pins and the copied block, over a TrackEditor. The Dear ImGui
// layer (track_view.h) only draws this and turns keys and clicks into calls.
//
//   TrackPanel panel(demo);
//   ...each frame:  if (playing) panel.follow(clock_beat);  panel.refresh();
//   ...a key:       panel.move(CursorStep::beat, +1, shift);  clock.seek(panel.cursor_beat());
//                   panel.type('0'); panel.type('.'); panel.type('5'); panel.enter();
//
// The tracks are those at the cursor's beat (track_edit.h); the cursor keeps
// its track by identity when the columns change around it.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "track_edit.h"

namespace qh::quill {

class TrackPanel {
public:
    explicit TrackPanel(Demo& demo) : demo_(demo), editor_(demo) {}

    // The columns for the cursor's beat; call after the cursor or the
    // document changed.
    void refresh();
    // The cursor to the row the clock is on (while the demo plays).
    void follow(float beat);

    // Cursor moves; `extend` grows the selection from where it started.
    void move(CursorStep step, int count, bool extend = false);
    void move_to(size_t track, int64_t row);
    void select_track(int delta, bool extend = false);
    void set_rows_per_beat(int per_beat);

    // The value typed at the cursor: digits, one '.', a leading '-'.
    void type(char c);
    void erase_typed();
    const std::string& typed() const { return typed_; }
    // Sets a key of the typed value at the cursor; false when nothing (or
    // nothing readable) is typed.
    bool enter();
    bool nudge(float delta);
    // The selected track's curve to the next mode the document has.
    bool next_mode();
    bool delete_selection();
    void copy();
    bool paste();
    bool undo();
    bool redo();
    // Pins (or unpins) the cursor track's event.
    void toggle_pin();

    const BeatRows& rows() const { return rows_; }
    int64_t cursor_row() const { return row_; }
    float cursor_beat() const { return rows_.beat_of(row_); }
    const std::vector<Track>& tracks() const { return tracks_; }
    std::optional<size_t> cursor_track() const;
    // The selected block: tracks [first, last) and rows [from, to].
    struct Block {
        size_t first = 0, last = 0;
        int64_t from = 0, to = 0;
    };
    Block selection() const;
    TrackEditor& editor() { return editor_; }
    const TrackEditor& editor() const { return editor_; }
    Demo& demo() { return demo_; }

private:
    void drop_selection() { anchor_.reset(); }

    Demo& demo_;
    TrackEditor editor_;
    BeatRows rows_;
    int64_t row_ = 0;
    std::vector<Track> tracks_;
    std::optional<Track> track_;  // the cursor's, kept by identity
    size_t track_index_ = 0;      // where it was, for when it goes
    std::optional<std::pair<size_t, int64_t>> anchor_;
    std::string typed_;
    std::vector<size_t> pins_;
    KeyBlock clipboard_;
};

}  // namespace qh::quill
