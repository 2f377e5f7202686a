#include "timeline_svg.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <limits>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/runtime.h"
#include "document/demo_tables.h"
#include "timeline/timeline_dispatch.h"

namespace qh::quill {

namespace {

// Layout, in SVG user units (pixels).
constexpr double chart_left = 270;     // the label column lies left of it
constexpr double right_margin = 24;
constexpr double title_y = 16;
constexpr double beat_ruler_y = 44;    // the ruler's base line; labels above it
constexpr double seconds_ruler_y = 70;
constexpr double rows_top = 82;
constexpr double heading_height = 22;
constexpr double row_height = 30;  // the name, and under it the curves' names
constexpr double bar_inset = 3;        // between a row's edge and its bar
constexpr double indent_per_level = 14;
constexpr double pixels_per_beat = 16;  // unless the chart would be too narrow or wide
constexpr double min_chart_width = 640;
constexpr double max_chart_width = 4000;
constexpr double min_tick_spacing = 44;
constexpr size_t max_label_chars = 40;
constexpr int max_curve_samples = 200;

const char* const palette[] = {"#c0392b", "#2471a3", "#229954", "#7d3c98",
                               "#d68910", "#17a589", "#6e2c00", "#b03a8a"};

const char* const style =
    "text{font-family:sans-serif;font-size:11px;fill:#222}"
    ".title{font-size:13px;font-weight:bold}"
    ".heading{font-weight:bold;fill:#555}"
    ".ruler{stroke:#444;stroke-width:1}"
    ".beat-tick,.second-tick{stroke:#444;stroke-width:1}"
    ".grid{stroke:#e4e4e4;stroke-width:1}"
    ".end-beat{stroke:#c0392b;stroke-width:1.5;stroke-dasharray:4 3}"
    ".bar{fill:#dce8f5;stroke:#5d7fa6;stroke-width:1}"
    ".member-row .bar{fill:#eef3e4;stroke:#7a9a4a}"
    ".hidden .bar{fill-opacity:.35;stroke-dasharray:3 2}"
    ".curve{fill:none;stroke-width:1.2}"
    ".text-point{stroke:#333;stroke-width:1.5}"
    ".legend{font-size:9px}"
    ".note{fill:#999;font-style:italic}";

// One code point of UTF-8 at `s[i]`, advancing `i`; -1 (one byte consumed)
// for bytes that are not well-formed UTF-8.
long next_code_point(std::string_view s, size_t& i) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char b0 = byte(i);
    int length;
    long cp, min;
    if (b0 < 0x80) { ++i; return b0; }
    if ((b0 & 0xE0) == 0xC0) { length = 2; cp = b0 & 0x1F; min = 0x80; }
    else if ((b0 & 0xF0) == 0xE0) { length = 3; cp = b0 & 0x0F; min = 0x800; }
    else if ((b0 & 0xF8) == 0xF0) { length = 4; cp = b0 & 0x07; min = 0x10000; }
    else { ++i; return -1; }
    if (i + length > s.size()) { ++i; return -1; }
    for (int k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) { ++i; return -1; }
        cp = (cp << 6) | (byte(i + k) & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) { ++i; return -1; }
    i += length;
    return cp;
}

// `s` as XML character data or attribute text: markup escaped, and anything
// XML may not hold (bytes that are not UTF-8, control characters) replaced,
// since names come from files anyone may have made. Cut to `max_chars` code
// points with an ellipsis.
std::string xml_text(std::string_view s, size_t max_chars = std::string::npos) {
    std::string out;
    size_t chars = 0;
    for (size_t i = 0; i < s.size();) {
        if (chars++ == max_chars) {
            out += "\u2026";
            break;
        }
        const size_t from = i;
        const long cp = next_code_point(s, i);
        const bool allowed = cp == '\t' || cp == '\n' || (cp >= 0x20 && cp != 0xFFFE && cp != 0xFFFF);
        if (!allowed) {
            out += "\uFFFD";
            continue;
        }
        switch (cp) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&apos;"; break;
            default: out.append(s.substr(from, i - from));
        }
    }
    return out;
}

// A coordinate or value for an attribute: two decimals at most, no trailing zeros.
std::string num(double v) {
    if (!std::isfinite(v)) v = 0;
    char buf[48];
    std::snprintf(buf, sizeof buf, "%.2f", v);
    std::string s = buf;
    while (s.back() == '0') s.pop_back();
    if (s.back() == '.') s.pop_back();
    return s == "-0" ? "0" : s;
}

std::string number_text(double v) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "%g", v);
    return buf;
}

std::string seconds_text(double s) {
    if (s < 60) return number_text(s) + " s";
    char buf[48];
    const long whole = std::lround(s);
    std::snprintf(buf, sizeof buf, "%ld:%02ld", whole / 60, whole % 60);
    return buf;
}

bool drawable(double start, double end) { return std::isfinite(start) && std::isfinite(end) && end >= start; }

// Beats from start to end, both finite, end not before start.
struct Window {
    double start = 0, end = 0;

    static std::optional<Window> of(double start, double end) {
        if (!drawable(start, end)) return std::nullopt;
        return Window{start, end};
    }
    // The part within `to`; none when it is empty, as nothing plays there.
    std::optional<Window> clipped(const Window& to) const {
        const double s = std::max(start, to.start), e = std::min(end, to.end);
        if (!(e > s)) return std::nullopt;
        return Window{s, e};
    }
};

// A numeric curve as a row draws it: its name and its value at a beat of the
// event's own (group) time.
struct CurveLine {
    std::string name;
    std::function<float(float)> at;
};

// A text point, at a beat of the event's own (group) time.
struct TextPoint {
    std::string curve;
    float beat;
    std::string text;
};

const UniformDef* uniform_of(const Event& e, std::string_view name) {
    if (e.type != Event::type_effect || !e.effect || !e.effect->program) return nullptr;
    for (const UniformDef& def : e.effect->program->uniform_defs)
        if (def.name == name) return &def;
    return nullptr;
}

bool text_texture_of(const Event& e, std::string_view name) {
    if (e.type != Event::type_effect || !e.effect) return false;
    for (const FontTexture* t : e.effect->font_textures)
        if (t && t->name == name) return true;
    return false;
}

bool has_numeric_point(const ControlPointCurve& c) {
    return std::any_of(c.control_points.begin(), c.control_points.end(),
                       [](const ControlPoint& p) { return !p.is_text(); });
}

// The parameters of `e` that have curves while `parent` plays it (null on the
// main timeline): its own curves, and the parent's "Name.param" overrides.
std::vector<std::string> parameter_names(const Event& e, const Event* parent) {
    std::vector<std::string> names;
    for (const auto& [name, curve] : e.curves) names.push_back(name);
    if (parent) {
        const std::string prefix = e.name + ".";
        for (auto it = parent->curves.lower_bound(prefix);
             it != parent->curves.end() && it->first.compare(0, prefix.size(), prefix) == 0; ++it) {
            std::string param = it->first.substr(prefix.size());
            if (!e.curves.count(param)) names.push_back(std::move(param));
        }
    }
    return names;
}

// What a row of `e` draws, following the player: a uniform played by a group
// takes the group event's override when it has one (uniform_value), a text
// texture likewise; every other key comes from the event's own curve.
void curves_of(const Event& e, const Event* parent, std::vector<CurveLine>& lines,
               std::vector<TextPoint>& texts) {
    for (const std::string& name : parameter_names(e, parent)) {
        const ControlPointCurve* own = e.find_curve(name);
        const ControlPointCurve* over = parent ? EventGroup::override_curve(*parent, e, name) : nullptr;
        const UniformDef* def = uniform_of(e, name);
        if (over && def) {
            if (has_numeric_point(*over) || (own && has_numeric_point(*own)))
                lines.push_back({name, [&e, parent, def](float d) { return uniform_value(e, parent, *def, d); }});
        } else if (own && has_numeric_point(*own)) {
            lines.push_back({name, [&e, own](float d) { return evaluate_curve(own, e.start_beat, e.end_beat, d); }});
        }
        // An override's points lie at the time since the member started, as the member's own do.
        const ControlPointCurve* text = over && text_texture_of(e, name) ? over : own;
        if (!text) continue;
        for (const ControlPoint& p : text->control_points)
            if (p.is_text()) texts.push_back({name, e.start_beat + p.beat, p.text});
    }
}

class Picture {
public:
    explicit Picture(const Demo& demo) : demo_(demo) {
        for (size_t i = 0; i < demo.events.size(); ++i) index_of_[demo.events[i].get()] = i;
        set_scale();
    }

    std::string render() {
        sections();
        const double height = y_ + 16;
        const double width = chart_left + chart_width_ + right_margin;
        std::string svg = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
        svg += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + num(width) + "\" height=\"" +
               num(height) + "\" viewBox=\"0 0 " + num(width) + " " + num(height) + "\">\n";
        svg += std::string("<style>") + style + "</style>\n";
        svg += "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
        svg += "<text class=\"title\" x=\"8\" y=\"" + num(title_y) + "\">" + title() + "</text>\n";
        svg += rulers(height);
        svg += rows_;
        svg += "</svg>\n";
        return svg;
    }

private:
    double x_of(double beat) const { return chart_left + (beat - lo_) * ppb_; }

    // The beats shown: from 0 (or the earliest event) to the end beat (or the
    // latest event, when the demo never ends by itself or runs past it).
    void set_scale() {
        lo_ = 0;
        hi_ = std::isfinite(demo_.end_beat) && demo_.end_beat < 10000.0f ? demo_.end_beat : 0;
        for (const auto& e : demo_.events) {
            if (!e || !drawable(e->start_beat, e->end_beat)) continue;
            lo_ = std::min<double>(lo_, e->start_beat);
            hi_ = std::max<double>(hi_, e->end_beat);
        }
        if (!(hi_ - lo_ >= 1)) hi_ = lo_ + 16;
        chart_width_ = std::clamp((hi_ - lo_) * pixels_per_beat, min_chart_width, max_chart_width);
        ppb_ = chart_width_ / (hi_ - lo_);
    }

    std::string title() const {
        std::string t = "Timeline: " + number_text(demo_.bpm) + " bpm, beat offset " +
                        number_text(demo_.beat_offset) + ", end beat " + number_text(demo_.end_beat);
        if (!timeline_ends()) t += " (never ends by itself)";
        return xml_text(t);
    }

    bool timeline_ends() const { return demo_.end_beat < 10000.0f; }

    // The beat ruler, the seconds ruler, the grid behind the rows and the end.
    std::string rulers(double height) const {
        std::string s = "<g class=\"rulers\">\n";
        s += label(8, beat_ruler_y - 4, "beats", "heading");
        s += line("ruler", chart_left, beat_ruler_y, chart_left + chart_width_, beat_ruler_y);
        double step = 1;
        while (step * ppb_ < min_tick_spacing) step *= 2;
        for (double b = std::ceil(lo_ / step) * step; b <= hi_; b += step) {
            const double x = x_of(b);
            s += line("grid", x, rows_top, x, height - 8);
            s += line("beat-tick", x, beat_ruler_y - 5, x, beat_ruler_y + 3, " data-beat=\"" + num(b) + "\"");
            s += label(x + 2, beat_ruler_y - 6, number_text(b));
        }

        s += label(8, seconds_ruler_y - 4, "seconds", "heading");
        if (!(demo_.bpm > 0) || !std::isfinite(demo_.bpm) || !std::isfinite(demo_.beat_offset)) {
            s += label(chart_left, seconds_ruler_y - 4, "no tempo: the clock stands still", "note");
        } else {
            s += line("ruler", chart_left, seconds_ruler_y, chart_left + chart_width_, seconds_ruler_y);
            const double pixels_per_second = ppb_ * demo_.bpm / 60.0;
            static const double steps[] = {1, 2, 5, 10, 15, 30, 60, 120, 300, 600, 1800, 3600};
            double sstep = steps[0];
            for (double candidate : steps) {
                sstep = candidate;
                if (candidate * pixels_per_second >= min_tick_spacing) break;
            }
            while (sstep * pixels_per_second < min_tick_spacing) sstep *= 2;
            // Second 0 is where the music starts; beat_at is the player's own clock.
            const double max_ms = std::numeric_limits<uint32_t>::max();
            for (double sec = 0; sec * 1000 <= max_ms; sec += sstep) {
                const double b = beat_at(static_cast<uint32_t>(sec * 1000), demo_.bpm, demo_.beat_offset);
                if (b > hi_) break;
                if (b < lo_) continue;
                const double x = x_of(b);
                s += line("second-tick", x, seconds_ruler_y - 5, x, seconds_ruler_y + 3,
                          " data-second=\"" + num(sec) + "\"");
                s += label(x + 2, seconds_ruler_y - 6, seconds_text(sec));
            }
        }

        if (timeline_ends() && std::isfinite(demo_.end_beat)) {
            const double x = x_of(demo_.end_beat);
            s += line("end-beat", x, beat_ruler_y - 12, x, height - 8);
            s += label(x - 24, beat_ruler_y - 18, "end");
        }
        return s + "</g>\n";
    }

    static std::string line(const char* cls, double x1, double y1, double x2, double y2,
                            const std::string& extra = {}) {
        return std::string("<line class=\"") + cls + "\" x1=\"" + num(x1) + "\" y1=\"" + num(y1) +
               "\" x2=\"" + num(x2) + "\" y2=\"" + num(y2) + "\"" + extra + "/>\n";
    }

    static std::string label(double x, double y, std::string_view text, const char* cls = nullptr) {
        std::string s = "<text";
        if (cls) s += std::string(" class=\"") + cls + "\"";
        return s + " x=\"" + num(x) + "\" y=\"" + num(y) + "\">" + xml_text(text, max_label_chars) + "</text>\n";
    }

    // Events by the record they target, in table order within each.
    void sections() {
        y_ = rows_top;
        std::unordered_map<const void*, std::vector<const Event*>> by_target;
        std::vector<const Event*> untargeted;
        for (const auto& e : demo_.events) {
            const void* target = !e || !has_target(*e) ? nullptr
                                 : e->type == Event::type_effect      ? static_cast<const void*>(e->effect)
                                 : e->type == Event::type_audio_sample ? static_cast<const void*>(e->audio_sample)
                                                                       : static_cast<const void*>(e->group);
            if (target) by_target[target].push_back(e.get());
            else if (e) untargeted.push_back(e.get());
        }
        // A target the tables do not hold (not in a document as read) has no section of its own.
        auto take = [&](const void* target) {
            auto it = by_target.find(target);
            if (it == by_target.end()) return std::vector<const Event*>{};
            std::vector<const Event*> events = std::move(it->second);
            by_target.erase(it);
            return events;
        };
        for (const auto& r : demo_.effects) section("effect " + r->name, take(r.get()));
        for (const auto& r : demo_.audio_samples) section("sample " + r->name, take(r.get()));
        for (const auto& r : demo_.event_groups) section("group " + r->name, take(r.get()));
        for (auto& [target, events] : by_target) untargeted.insert(untargeted.end(), events.begin(), events.end());
        std::sort(untargeted.begin(), untargeted.end(),
                  [&](const Event* a, const Event* b) { return index_of_.at(a) < index_of_.at(b); });
        section("no target", untargeted);
    }

    void section(const std::string& heading, const std::vector<const Event*>& events) {
        if (events.empty()) return;
        rows_ += "<g class=\"section\" data-target=\"" + xml_text(heading) + "\">\n";
        rows_ += label(8, y_ + 15, heading, "heading");
        y_ += heading_height;
        for (const Event* e : events) {
            const std::optional<Window> window = Window::of(e->start_beat, e->end_beat);
            row(*e, nullptr, 0, window, 0);
            if (window && e->type == Event::type_group && e->group) members(*e, 0, *window, 1);
        }
        rows_ += "</g>\n";
    }

    // The members of the group `player` plays, each at the beats it plays
    // at: `offset` turns a beat of the player's time into an absolute beat,
    // `shown` is where the player itself plays.
    void members(const Event& player, double offset, const Window& shown, int depth) {
        const EventGroup& group = *player.group;
        if (group.recurses() || depth > TimelineDispatch::max_group_depth) return;
        const double inner = offset + player.start_beat - group.earliest_start();
        const std::optional<Window> playing = shown.clipped({player.start_beat + offset, player.end_beat + offset});
        for (const Event* m : group.events) {
            if (!m) continue;
            std::optional<Window> w = Window::of(m->start_beat + inner, m->end_beat + inner);
            if (w && playing) w = w->clipped(*playing);
            else w.reset();
            row(*m, &player, inner, w, depth);
            if (w && m->type == Event::type_group && m->group) members(*m, inner, *w, depth + 1);
        }
    }

    // One row: the label, the bar over `window` (absolute beats; none when
    // empty), the curves inside it. `offset` turns the event's own (group)
    // beats into absolute ones.
    void row(const Event& e, const Event* parent, double offset, const std::optional<Window>& window,
             int depth) {
        const size_t index = index_of_.count(&e) ? index_of_.at(&e) : demo_.events.size();
        // A group plays its members whatever their own flag says.
        const bool hidden = !e.visible && !parent;
        rows_ += std::string("<g class=\"") + (parent ? "member-row" : "event-row") + (hidden ? " hidden" : "") + "\"";
        rows_ += parent ? " data-event=\"" + std::to_string(index) + "\""
                        : " id=\"event-" + std::to_string(index) + "\"";
        rows_ += " data-name=\"" + xml_text(e.name) + "\">\n";

        std::vector<CurveLine> lines;
        std::vector<TextPoint> texts;
        curves_of(e, parent, lines, texts);

        const double x = 8 + depth * indent_per_level;
        std::string text = (parent ? "\u21b3 " : "") + (e.name.empty() ? std::string("(unnamed)") : e.name);
        if (hidden) text += " (hidden)";
        if (e.type == Event::type_group && e.group && e.group->recurses()) text += " (plays itself: never played)";
        rows_ += label(x, y_ + 13, text);
        rows_ += legend(x, y_ + 25, lines, texts);

        const double top = y_ + bar_inset, bottom = y_ + row_height - bar_inset;
        if (window) {
            const double x0 = x_of(window->start), x1 = x_of(window->end);
            rows_ += "<rect class=\"bar\" x=\"" + num(x0) + "\" y=\"" + num(top) + "\" width=\"" +
                     num(std::max(x1 - x0, 1.0)) + "\" height=\"" + num(bottom - top) + "\" data-start=\"" +
                     num(window->start) + "\" data-end=\"" + num(window->end) + "\"><title>" +
                     xml_text((e.name.empty() ? "(unnamed)" : e.name) + ": beats " + number_text(window->start) +
                              " to " + number_text(window->end)) +
                     "</title></rect>\n";
            draw_curves(lines, texts, offset, *window, top + 2, bottom - 2);
        } else {
            rows_ += label(chart_left + 4, y_ + 18, parent ? "not played" : "no window", "note");
        }
        rows_ += "</g>\n";
        y_ += row_height;
    }

    // The curve names under the event's name, each in its line's colour.
    static std::string legend(double x, double y, const std::vector<CurveLine>& lines,
                              const std::vector<TextPoint>& texts) {
        std::vector<std::pair<std::string, const char*>> names;
        for (size_t i = 0; i < lines.size(); ++i) names.emplace_back(lines[i].name, colour(i));
        for (const TextPoint& t : texts)
            if (std::none_of(names.begin(), names.end(), [&](const auto& n) { return n.first == t.curve; }))
                names.emplace_back(t.curve, "#333");
        if (names.empty()) return {};
        std::string s = "<text class=\"legend\" x=\"" + num(x) + "\" y=\"" + num(y) + "\">";
        size_t room = max_label_chars + 8;
        for (size_t i = 0; i < names.size() && room > 0; ++i) {
            // Spaced by an offset: white space between two spans collapses away.
            const std::string& name = names[i].first;
            s += std::string("<tspan") + (i ? " dx=\"6\"" : "") + " fill=\"" + names[i].second + "\">" +
                 xml_text(name, room) + "</tspan>";
            room = name.size() < room ? room - name.size() : 0;
        }
        return s + "</text>\n";
    }

    static const char* colour(size_t i) { return palette[i % std::size(palette)]; }

    void draw_curves(const std::vector<CurveLine>& lines, const std::vector<TextPoint>& texts, double offset,
                     const Window& w, double top, double bottom) {
        const double width = x_of(w.end) - x_of(w.start);
        const int n = std::clamp(static_cast<int>(width / 3), 2, max_curve_samples);
        size_t colour_index = 0;
        for (const CurveLine& c : lines) {
            std::vector<double> xs(n), vs(n);
            for (int i = 0; i < n; ++i) {
                const double b = w.start + (w.end - w.start) * i / (n - 1);
                const float v = c.at(static_cast<float>(b - offset));
                xs[i] = x_of(b);
                vs[i] = std::isfinite(v) ? v : 0.0;
            }
            const auto [lo, hi] = std::minmax_element(vs.begin(), vs.end());
            const double low = *lo, range = *hi - *lo;
            std::string points;
            for (int i = 0; i < n; ++i) {
                // A flat curve runs through the middle of the bar.
                const double f = range > 0 ? (vs[i] - low) / range : 0.5;
                points += (i ? " " : "") + num(xs[i]) + "," + num(bottom - f * (bottom - top));
            }
            const char* stroke = colour(colour_index++);
            rows_ += "<polyline class=\"curve\" stroke=\"" + std::string(stroke) + "\" data-curve=\"" +
                     xml_text(c.name) + "\" points=\"" + points + "\"><title>" +
                     xml_text(c.name + ": " + number_text(low) + " to " + number_text(*hi)) +
                     "</title></polyline>\n";
        }
        for (const TextPoint& t : texts) {
            const double b = t.beat + offset;
            if (!(b >= w.start && b <= w.end)) continue;
            const double x = x_of(b);
            rows_ += "<line class=\"text-point\" x1=\"" + num(x) + "\" y1=\"" + num(top) + "\" x2=\"" + num(x) +
                     "\" y2=\"" + num(bottom) + "\" data-curve=\"" + xml_text(t.curve) + "\"><title>" +
                     xml_text(t.curve + ": " + t.text, 200) + "</title></line>\n";
        }
    }

    const Demo& demo_;
    std::unordered_map<const Event*, size_t> index_of_;
    double lo_ = 0, hi_ = 0, ppb_ = 1, chart_width_ = min_chart_width;
    double y_ = rows_top;
    std::string rows_;
};

}  // namespace

std::string timeline_svg(const Demo& demo) { return Picture(demo).render(); }

}  // namespace qh::quill
