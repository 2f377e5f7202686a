#include "play_clock.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "core/runtime.h"

namespace qh::quill {

void PlayClock::start(uint32_t origin, float beat) {
    origin_ = origin;
    paused_beat_ = beat;
}

float PlayClock::beat(uint32_t now) const {
    return paused_ ? paused_beat_ : beat_at(now - origin_, bpm_, beat_offset_);
}

void PlayClock::pause(uint32_t now) {
    if (paused_) return;
    paused_beat_ = beat(now);
    paused_ = true;
}

void PlayClock::resume(uint32_t origin) {
    origin_ = origin;
    paused_ = false;
}

void PlayClock::seek(float beat, uint32_t origin) {
    origin_ = origin;
    paused_beat_ = beat;
}

float PlayClock::beat_of_seconds(double seconds) const {
    return static_cast<float>(seconds * bpm_ / 60.0 - beat_offset_);
}

double PlayClock::seconds_of_beat(float beat) const {
    return bpm_ > 0.0f ? (static_cast<double>(beat) + beat_offset_) * 60.0 / bpm_ : 0.0;
}

float PlayClock::step_target(float beat, int bars) const {
    return std::max(start_beat(), beat + static_cast<float>(bars) * beats_per_bar);
}

void PlayClock::mark(float beat) {
    if (loop_from_ && loop_to_) {
        clear_loop();
    } else if (loop_from_) {
        set_loop(*loop_from_, beat);
    } else {
        loop_from_ = beat;
    }
}

void PlayClock::set_loop(float from, float to) {
    if (to < from) std::swap(from, to);
    if (to - from < 1e-3f) {
        // Two marks at one place make no loop: keep the first mark only.
        loop_from_ = from;
        loop_to_.reset();
        return;
    }
    loop_from_ = from;
    loop_to_ = to;
}

void PlayClock::clear_loop() {
    loop_from_.reset();
    loop_to_.reset();
}

std::optional<float> PlayClock::loop_target(float beat) const {
    if (!loop_from_ || !loop_to_ || beat < *loop_to_) return std::nullopt;
    return loop_from_;
}

namespace {

bool parse_number(const std::string& text, double& out) {
    if (text.empty()) return false;
    char* end = nullptr;
    out = std::strtod(text.c_str(), &end);
    return end == text.c_str() + text.size() && std::isfinite(out);
}

}  // namespace

std::optional<std::pair<double, double>> parse_loop_seconds(const std::string& text) {
    const size_t colon = text.find(':');
    double a = 0, b = 0;
    if (colon == std::string::npos || !parse_number(text.substr(0, colon), a) ||
        !parse_number(text.substr(colon + 1), b) || a < 0 || b <= a)
        return std::nullopt;
    return std::make_pair(a, b);
}

}  // namespace qh::quill
