#include "curve_text.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>

#include "document/demo_tables.h"
#include "lint.h"
#include "package/errors.h"
#include "package/json_source.h"

namespace qh::quill {

namespace {

// The shortest text that reads back as `f`, as a floating JSON number (the
// readers take an integral one as 0): 0.33333334, not 0.3333333432674408.
JsonEditValue number(float f) {
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, f);
    return JsonEditValue(std::strtod(std::string(buf, r.ptr).c_str(), nullptr));
}

JsonEditValue point_json(const ControlPoint& p) {
    if (p.is_text()) return JsonEditValue{{"beat", number(p.beat)}, {"text", p.text}};
    return JsonEditValue{{"beat", number(p.beat)}, {"value", number(p.value)}};
}

std::string pointer_key(const std::string& key) {
    std::string out;
    for (char c : key) {
        if (c == '~') out += "~0";
        else if (c == '/') out += "~1";
        else out += c;
    }
    return out;
}

const JsonValue& at_pointer(const JsonValue& root, const std::string& path) {
    static const JsonValue none;
    try {
        const JsonValue::json_pointer p(path);
        return root.contains(p) ? root.at(p) : none;
    } catch (const JsonValue::exception&) {
        return none;
    }
}

ControlPointCurve curve_at(const JsonValue& root, const std::string& path) {
    ControlPointCurve c;
    c.from_json(at_pointer(root, path));
    return c;
}

// Point by point, both lists ascending by beat: a value changed in place, a
// point gone removed, a new one inserted where it goes.
void write_points(JsonSource& src, const std::string& path, const std::vector<ControlPoint>& before,
                  const std::vector<ControlPoint>& after) {
    size_t i = 0, j = 0, k = 0;
    while (i < before.size() || j < after.size()) {
        const std::string element = path + "/" + std::to_string(k);
        if (i < before.size() && j < after.size() && before[i].beat == after[j].beat) {
            if (!(before[i] == after[j])) {
                if (before[i].is_text() || after[j].is_text()) src.replace(element, point_json(after[j]));
                else src.replace(element + "/value", number(after[j].value));
            }
            ++i, ++j, ++k;
        } else if (j == after.size() || (i < before.size() && before[i].beat < after[j].beat)) {
            src.remove(element);
            ++i;
        } else {
            src.insert(path, k, point_json(after[j]));
            ++j, ++k;
        }
    }
}

void add_curve(JsonSource& src, const std::string& event_path, const std::string& name,
               const ControlPointCurve& c) {
    JsonEditValue points = JsonEditValue::array();
    for (const ControlPoint& p : c.control_points) points.push_back(point_json(p));
    const JsonEditValue curve{{"control_points", points}, {"mode", c.mode}, {"repeat", c.repeat}};
    if (src.has(event_path + "/control_points")) src.add_member(event_path + "/control_points", name, curve);
    else src.add_member(event_path, "control_points", JsonEditValue{{name, curve}});
}

void write_mode(JsonSource& src, const std::string& path, const JsonValue& before, int32_t mode) {
    if (json_has(before, "mode")) src.replace(path + "/mode", mode);
    else src.add_member(path, "mode", mode);
}

}  // namespace

CurveText write_curves(const std::string& text, const std::string& source, const Demo& demo,
                       std::span<const CurveId> curves) {
    CurveText out;
    try {
        JsonSource src(text, source);
        const JsonValue before = src.value();
        const JsonValue& events = json_member(before, "events");
        for (const CurveId& id : curves) {
            const Event& e = *demo.events.at(id.event);
            const std::string event_path = "/events/" + std::to_string(id.event);
            const std::string path = event_path + "/control_points/" + pointer_key(id.curve);
            if (!events.is_array() || id.event >= events.size() || json_text(events[id.event]["name"]) != e.name) {
                out.refused = source + " has no event \"" + e.name + "\" at " + event_path +
                              " any more: its events changed on disk";
                return out;
            }
            const ControlPointCurve* found = e.find_curve(id.curve);
            if (!at_pointer(before, path).is_object()) {
                // A curve the edits made (fly mode's keys): added whole, unless undone.
                if (found) add_curve(src, event_path, id.curve, *found);
                continue;
            }
            if (!found) continue;  // nothing the editor does removes a curve of the file
            const ControlPointCurve& live = *found;
            const ControlPointCurve was = curve_at(before, path);
            if (was.mode != live.mode) write_mode(src, path, at_pointer(before, path), live.mode);
            try {
                write_points(src, path + "/control_points", was.control_points, live.control_points);
            } catch (const ContentError&) {
                // A point without its value, say: checked and mended below.
            }
            if (curve_at(src.value(), path) != live) {
                JsonEditValue points = JsonEditValue::array();
                for (const ControlPoint& p : live.control_points) points.push_back(point_json(p));
                src.replace(path + "/control_points", points);
                out.rewritten.push_back(e.name + "." + id.curve);
            }
            if (curve_at(src.value(), path) != live) {
                out.refused = "event \"" + e.name + "\" curve \"" + id.curve + "\" does not read back as edited";
                return out;
            }
        }
        const std::vector<std::string> old_findings = lint_project(before);
        for (const std::string& f : lint_project(src.value())) {
            if (std::find(old_findings.begin(), old_findings.end(), f) == old_findings.end()) {
                out.refused = "quill check would say: " + f;
                return out;
            }
        }
        out.text = src.text();
    } catch (const std::exception& e) {
        out.refused = e.what();
    }
    return out;
}

}  // namespace qh::quill
