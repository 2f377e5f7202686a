#include "play_status.h"

#include <cmath>
#include <cstdio>

#include "document/demo_tables.h"
#include "play_clock.h"

namespace qh::quill {

namespace {

std::string format(const char* fmt, double a, double b = 0, double c = 0) {
    char buf[128];
    std::snprintf(buf, sizeof buf, fmt, a, b, c);
    return buf;
}

std::string target_of(const Event& e) {
    switch (e.type) {
        case Event::type_effect: return e.effect ? "effect " + e.effect->name : "effect (none)";
        case Event::type_audio_sample:
            return e.audio_sample ? "sample " + e.audio_sample->name : "sample (none)";
        case Event::type_group: return e.group ? "group " + e.group->name : "group (none)";
        default: return "type " + std::to_string(e.type);
    }
}

}  // namespace

std::string bar_text(float beat) {
    const double bar = std::floor(beat / beats_per_bar);
    const double in_bar = beat - bar * beats_per_bar;
    return format("bar %.0f.%.0f", bar + 1, std::floor(in_bar) + 1);
}

std::vector<std::string> active_event_lines(const Demo& demo, float beat) {
    std::vector<std::string> lines;
    for (const auto& e : demo.events) {
        if (!e || !(e->start_beat <= beat && beat < e->end_beat)) continue;
        std::string line = (e->name.empty() ? std::string("(unnamed)") : e->name) + ": " + target_of(*e) +
                           format(", beats %g to %g", e->start_beat, e->end_beat);
        if (!e->visible) line += " (hidden)";
        lines.push_back(std::move(line));
    }
    return lines;
}

std::vector<std::string> status_lines(const PlayStatus& s, const Demo& demo) {
    const double minutes = std::floor(s.seconds / 60.0);
    std::vector<std::string> lines;
    lines.push_back(format("%02.0f:%06.3f", minutes, s.seconds - minutes * 60.0) +
                    format("  beat %.2f  ", s.beat) + bar_text(s.beat) + format("  %.0f fps", s.fps) +
                    (s.paused ? "  PAUSED" : ""));
    if (s.loop_from && s.loop_to) {
        lines.push_back(format("loop: beats %.2f to %.2f (L clears)", *s.loop_from, *s.loop_to));
    } else if (s.loop_from) {
        lines.push_back(format("loop: mark at beat %.2f (L again sets the end)", *s.loop_from));
    }
    const std::vector<std::string> events = active_event_lines(demo, s.beat);
    lines.push_back(events.empty() ? "no event active" : "active events:");
    for (const std::string& e : events) lines.push_back("  " + e);
    for (const std::string& p : s.problems) lines.push_back(p);
    return lines;
}

}  // namespace qh::quill
