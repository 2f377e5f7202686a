#include "track_panel.h"

#include <algorithm>
#include <charconv>

namespace qh::quill {

void TrackPanel::refresh() {
    tracks_ = tracks_at(demo_, cursor_beat(), pins_);
    if (track_) {
        const auto at = std::find(tracks_.begin(), tracks_.end(), *track_);
        if (at != tracks_.end()) {
            track_index_ = static_cast<size_t>(at - tracks_.begin());
            return;
        }
    }
    // Its track is gone at this beat: the one now standing in its place.
    if (tracks_.empty()) return;
    track_index_ = std::min(track_index_, tracks_.size() - 1);
    track_ = tracks_[track_index_];
}

void TrackPanel::follow(float beat) {
    const int64_t row = rows_.row_at(beat);
    if (row == row_) return;
    row_ = row;
    drop_selection();
    refresh();
}

void TrackPanel::move(CursorStep step, int count, bool extend) {
    if (extend && !anchor_) anchor_.emplace(track_index_, row_);
    if (!extend) drop_selection();
    row_ = rows_.moved(row_, step, count);
    typed_.clear();
    refresh();
}

void TrackPanel::move_to(size_t track, int64_t row) {
    drop_selection();
    typed_.clear();
    row_ = row;
    if (track < tracks_.size()) {
        track_ = tracks_[track];
        track_index_ = track;
    }
    refresh();
}

void TrackPanel::select_track(int delta, bool extend) {
    if (tracks_.empty()) return;
    if (extend && !anchor_) anchor_.emplace(track_index_, row_);
    if (!extend) drop_selection();
    const long i = std::clamp<long>(static_cast<long>(track_index_) + delta, 0, static_cast<long>(tracks_.size()) - 1);
    track_index_ = static_cast<size_t>(i);
    track_ = tracks_[track_index_];
    typed_.clear();
}

void TrackPanel::set_rows_per_beat(int per_beat) {
    row_ = rows_.with_per_beat(row_, per_beat);
    if (anchor_) anchor_->second = rows_.with_per_beat(anchor_->second, per_beat);
    rows_.per_beat = per_beat;
    refresh();
}

std::optional<size_t> TrackPanel::cursor_track() const {
    if (tracks_.empty() || !track_) return std::nullopt;
    return track_index_;
}

TrackPanel::Block TrackPanel::selection() const {
    Block b{track_index_, track_index_ + 1, row_, row_};
    if (anchor_) {
        b.first = std::min(anchor_->first, track_index_);
        b.last = std::max(anchor_->first, track_index_) + 1;
        b.from = std::min(anchor_->second, row_);
        b.to = std::max(anchor_->second, row_);
    }
    if (tracks_.empty()) b.last = b.first;
    return b;
}

void TrackPanel::type(char c) {
    const bool digit = c >= '0' && c <= '9';
    if (digit || (c == '.' && typed_.find('.') == std::string::npos) || (c == '-' && typed_.empty()))
        typed_ += c;
}

void TrackPanel::erase_typed() {
    if (!typed_.empty()) typed_.pop_back();
}

bool TrackPanel::enter() {
    const auto t = cursor_track();
    float value = 0;
    const char* end = typed_.data() + typed_.size();
    const auto [ptr, ec] = std::from_chars(typed_.data(), end, value);
    typed_.clear();
    if (!t || ec != std::errc() || ptr != end) return false;
    return editor_.set_key(tracks_[*t], rows_, row_, value);
}

bool TrackPanel::nudge(float delta) {
    const auto t = cursor_track();
    return t && editor_.nudge_key(tracks_[*t], rows_, row_, delta);
}

bool TrackPanel::next_mode() {
    const auto t = cursor_track();
    const ControlPointCurve* c = t ? editor_.curve(tracks_[*t]) : nullptr;
    if (!c) return false;
    size_t i = 0;
    while (i < curve_modes.size() && curve_modes[i].first != c->mode) ++i;
    return editor_.set_mode(tracks_[*t], curve_modes[(i + 1) % curve_modes.size()].first);
}

bool TrackPanel::delete_selection() {
    const Block b = selection();
    return editor_.delete_keys(tracks_, b.first, b.last, rows_, b.from, b.to);
}

void TrackPanel::copy() {
    const Block b = selection();
    clipboard_ = editor_.copy(tracks_, b.first, b.last, rows_, b.from, b.to);
}

bool TrackPanel::paste() {
    return !clipboard_.empty() && editor_.paste(tracks_, track_index_, rows_, row_, clipboard_);
}

bool TrackPanel::undo() { return editor_.undo(); }
bool TrackPanel::redo() { return editor_.redo(); }

void TrackPanel::toggle_pin() {
    const auto t = cursor_track();
    if (!t) return;
    const size_t event = tracks_[*t].player.value_or(tracks_[*t].id.event);
    const auto at = std::find(pins_.begin(), pins_.end(), event);
    if (at == pins_.end()) pins_.push_back(event);
    else pins_.erase(at);
    refresh();
}

}  // namespace qh::quill
