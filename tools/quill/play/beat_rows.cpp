#include "beat_rows.h"

#include <algorithm>
#include <cmath>

#include "play_clock.h"

namespace qh::quill {

namespace {

// In rows: far below half a row, far above the float rounding of the beats a
// demo reaches.
constexpr double row_tolerance = 1.0 / 64.0;

int64_t floor_div(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

}  // namespace

float BeatRows::beat_of(int64_t row) const {
    return static_cast<float>(static_cast<double>(row) / per_beat);
}

int64_t BeatRows::row_at(double beat) const {
    return static_cast<int64_t>(std::floor(beat * per_beat + row_tolerance));
}

bool BeatRows::on_row(double beat, int64_t row) const {
    return std::abs(beat * per_beat - static_cast<double>(row)) < row_tolerance;
}

bool BeatRows::starts_bar(int64_t row) const {
    return row % (per_beat * static_cast<int64_t>(beats_per_bar)) == 0;
}

int64_t BeatRows::moved(int64_t row, CursorStep step, int count) const {
    if (step == CursorStep::row) return row + count;
    const int64_t span = step == CursorStep::beat ? per_beat : per_beat * static_cast<int64_t>(beats_per_bar);
    // From inside a span, the first step only reaches its own line.
    const int64_t line = floor_div(row, span);
    if (count > 0) return (line + count) * span;
    if (count < 0) return (line + count + (row % span != 0 ? 1 : 0)) * span;
    return row;
}

int64_t BeatRows::with_per_beat(int64_t row, int other) const {
    return BeatRows{other}.row_at(static_cast<double>(row) / per_beat);
}

int BeatRows::next_choice(int direction) const {
    const auto* at = std::find(rows_per_beat_choices.begin(), rows_per_beat_choices.end(), per_beat);
    if (at == rows_per_beat_choices.end()) return rows_per_beat_choices[3];
    const long i = std::clamp<long>(at - rows_per_beat_choices.begin() + direction, 0,
                                    static_cast<long>(rows_per_beat_choices.size()) - 1);
    return rows_per_beat_choices[static_cast<size_t>(i)];
}

}  // namespace qh::quill
