#pragma once
// The track view's rows: a beat cut into 1, 2, 3, 4, 6 or 8 rows, rows
// counted from beat 0 (negative before it), bars of beats_per_bar beats.
//
//   BeatRows rows{3};                       // triplets
//   int64_t r = rows.row_at(clock_beat);    // the row the clock is on
//   float b = rows.beat_of(r);              // the beat the player reaches for it
//   r = rows.moved(r, CursorStep::bar, +1); // the next bar line
//   r = rows.with_per_beat(r, 4);           // the same place on another grid
//
// A row's beat is the float nearest n / per_beat, the value the player's
// clock shows there, so a key set on a triplet row is met at that beat.
#include <array>
#include <cstdint>

namespace qh::quill {

inline constexpr std::array<int, 6> rows_per_beat_choices = {1, 2, 3, 4, 6, 8};

enum class CursorStep { row, beat, bar };

struct BeatRows {
    int per_beat = 4;

    float beat_of(int64_t row) const;
    // The row whose span [beat_of(r), beat_of(r + 1)) holds `beat`.
    int64_t row_at(double beat) const;
    // Whether `beat` stands on `row` (within a small fraction of a row, for
    // beats that went through text or another grid).
    bool on_row(double beat, int64_t row) const;
    bool starts_bar(int64_t row) const;
    bool starts_beat(int64_t row) const { return row % per_beat == 0; }

    // `count` rows, or to the next (previous) beat or bar line `count` times.
    int64_t moved(int64_t row, CursorStep step, int count) const;
    // `row` of this grid on a grid of `per_beat` rows: the row holding its beat.
    int64_t with_per_beat(int64_t row, int per_beat) const;
    // The next choice after (or before) the present one, clamped to the list.
    int next_choice(int direction) const;
};

}  // namespace qh::quill
