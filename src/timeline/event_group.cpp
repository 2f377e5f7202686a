#include "timeline/event_group.h"

#include <algorithm>
#include <unordered_map>

#include "package/json_lint.h"
#include "timeline/event.h"

namespace qh {

float EventGroup::earliest_start() const {
    bool any = false;
    float m = 0.0f;
    for (const Event* e : events) {
        if (!e) continue;
        m = any ? std::min(m, e->start_beat) : e->start_beat;
        any = true;
    }
    return m;
}

float EventGroup::child_beat(const Event& player, float beat) const {
    return beat - player.start_beat + earliest_start();
}

bool EventGroup::plays(const Event& member, float d) {
    return member.start_beat <= d && d < member.end_beat;
}

float EventGroup::override_beat(const Event& player, const Event& member, float d) {
    return d - member.start_beat + player.start_beat;
}

namespace {

// The name "member.parameter", compared in place with the curve map's keys so
// that the lookup builds no string every frame.
struct DottedKey {
    std::string_view prefix;
    std::string_view suffix;
};

// Byte-wise order of `s` against prefix + "." + suffix: <0, 0 or >0.
int compare_with(std::string_view s, const DottedKey& key) {
    size_t at = 0;
    for (std::string_view part : {key.prefix, std::string_view("."), key.suffix}) {
        const size_t n = std::min(part.size(), s.size() - at);
        if (int c = s.substr(at, n).compare(part.substr(0, n)); c != 0) return c;
        if (n < part.size()) return -1;  // s ends inside the key
        at += n;
    }
    return at < s.size() ? 1 : 0;
}

bool operator<(const std::string& s, const DottedKey& key) { return compare_with(s, key) < 0; }
bool operator<(const DottedKey& key, const std::string& s) { return compare_with(s, key) > 0; }

}  // namespace

const ControlPointCurve* EventGroup::override_curve(const Event& player, const Event& member,
                                                    std::string_view parameter) {
    auto it = player.curves.find(DottedKey{member.name, parameter});
    return it == player.curves.end() ? nullptr : &it->second;
}

bool EventGroup::recurses() const {
    // Depth-first over the groups that members play, with an explicit stack:
    // a hostile package may nest groups deeper than the call stack allows.
    enum class Mark { unseen, on_path, done };
    std::unordered_map<const EventGroup*, Mark> marks;
    struct Frame {
        const EventGroup* group;
        size_t next;
    };
    std::vector<Frame> path{{this, 0}};
    marks[this] = Mark::on_path;
    while (!path.empty()) {
        Frame& top = path.back();
        if (top.next == top.group->events.size()) {
            marks[top.group] = Mark::done;
            path.pop_back();
            continue;
        }
        const Event* member = top.group->events[top.next++];
        if (!member || member->type != Event::type_group || !member->group) continue;
        Mark& mark = marks[member->group];
        if (mark == Mark::on_path) return true;
        if (mark == Mark::unseen) {
            mark = Mark::on_path;
            path.push_back({member->group, 0});
        }
    }
    return false;
}

JsonValue EventGroup::to_json(const ProjectDir*) const {
    JsonValue names = JsonValue::array();
    // A null member is written as null so that it stays null instead of
    // naming whichever event has an empty name.
    for (const Event* e : events) names.push_back(e ? JsonValue(e->name) : JsonValue());
    JsonValue j = JsonValue::object();
    j["name"] = name;
    j["events"] = std::move(names);
    return j;
}

void EventGroup::write_binary(BinaryWriter& out) const {
    out.write_packed_string(name);
    out.write_u64(events.size());
    for (const Event* e : events) out.write_ref(e);
}

void EventGroup::from_json(const JsonValue& value, const ProjectDir&) {
    name = json_text(json_member(value, "name"));
    events.clear();
    event_ids.clear();
}

void EventGroup::read_binary(BinaryReader& in) {
    name = in.read_packed_string("EventGroup name");
    const uint64_t count = in.read_count("EventGroup event count", sizeof(ResourceId));
    event_ids.clear();
    event_ids.reserve(count);
    for (uint64_t i = 0; i < count; ++i) event_ids.push_back(in.read_id("EventGroup event"));
    events.assign(event_ids.size(), nullptr);
}

void EventGroup::wire(const IdentityMap& ids) {
    events.clear();
    events.reserve(event_ids.size());
    for (ResourceId id : event_ids) events.push_back(ids.find<Event>(id));
}

void EventGroup::wire_names(const JsonValue& value, NameTables& names) {
    events.clear();
    const JsonValue& list = json_member(value, "events");
    if (!list.is_array()) return;
    events.reserve(list.size());
    for (const JsonValue& n : list) {
        events.push_back(n.is_string() ? lookup(names.events, n.get<std::string>()) : nullptr);
    }
}

void lint_event_group_json(const JsonValue& value, std::vector<std::string>& warnings) {
    if (!value.is_object()) {
        warnings.push_back("event group: not an object; it reads as a nameless group with no "
                           "events");
        return;
    }
    const std::string where = lint_context("event group", json_text(json_member(value, "name")));
    expect_text(value, "name", where, warnings);
    expect_text_array(value, "events", where, warnings);
}

}  // namespace qh
