#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "audio/audio_sample.h"
#include "package/binary_stream.h"
#include "package/errors.h"
#include "package/project_dir.h"
#include "render/effect.h"
#include "timeline/event.h"
#include "timeline/event_group.h"
#include "support/curves.h"
#include "support/scratch_dir.h"
#include "support/truncation.h"

namespace qh {
namespace {

// A scratch project directory; events and groups write no files, but
// from_json takes one.
class TempProject {
public:
    const ProjectDir& dir() const { return dir_; }

private:
    test::ScratchDir scratch_{"qh-timeline"};
    ProjectDir dir_{scratch_.path()};
};

template <class T>
T read_back(const std::vector<uint8_t>& bytes) {
    BinaryReader r(bytes);
    T out;
    out.read_binary(r);
    EXPECT_EQ(r.remaining(), 0u) << "the record must end where its writer stopped";
    return out;
}

template <class T>
T json_back(const JsonValue& j) {
    TempProject project;
    T out;
    out.from_json(j, project.dir());
    return out;
}

using test::curve_of;

Event make_event(int32_t type, const std::string& name, float start, float end,
                 bool visible = true) {
    Event e;
    e.type = type;
    e.name = name;
    e.start_beat = start;
    e.end_beat = end;
    e.visible = visible;
    e.curves["alpha"] = curve_of({{0, 0.25f}, {2.5f, 1}}, ControlPointCurve::mode_smooth, true);
    e.curves["Zoom"] = curve_of({{1, 2}}, ControlPointCurve::mode_last_value);
    e.curves["caption"] = curve_of({{0, 0, "Beat <BEAT>"}, {4, 0, "World"}}, 1);
    return e;
}

void expect_same_fields(const Event& actual, const Event& expected) {
    EXPECT_EQ(actual.type, expected.type);
    EXPECT_EQ(actual.name, expected.name);
    EXPECT_EQ(actual.start_beat, expected.start_beat);
    EXPECT_EQ(actual.end_beat, expected.end_beat);
    EXPECT_EQ(actual.visible, expected.visible);
    EXPECT_EQ(actual.curves, expected.curves);
}

// --- Event: the two forms ---------------------------------------------------

struct EventFormRow {
    const char* name;
    Event event;
    Event expected;  // what either form reads back
};
void PrintTo(const EventFormRow& row, std::ostream* os) { *os << row.name; }

Event with_end(Event e, float end) {
    e.end_beat = end;
    return e;
}

Event unknown_type_as_read(Event e) {
    // Only the type and the curves survive the binary form of an unknown type.
    Event out;
    out.type = e.type;
    out.curves = e.curves;
    return out;
}

std::vector<EventFormRow> event_form_rows() {
    return {
        {"effect", make_event(1, "Intro", 16, 32.5f), make_event(1, "Intro", 16, 32.5f)},
        {"invisible_group", make_event(3, "Chorus", 64, 96, false),
         make_event(3, "Chorus", 64, 96, false)},
        {"sample_end_is_start_plus_one", make_event(2, "Kick", 8.25f, 100),
         with_end(make_event(2, "Kick", 8.25f, 100), 9.25f)},
        {"no_curves", [] {
             Event e;
             e.name = "bare";
             return e;
         }(),
         [] {
             Event e;
             e.name = "bare";
             return e;
         }()},
    };
}

class EventForms : public testing::TestWithParam<EventFormRow> {};

TEST_P(EventForms, BinaryRoundTrip) {
    BinaryWriter w;
    GetParam().event.write_binary(w);
    expect_same_fields(read_back<Event>(w.bytes()), GetParam().expected);
}

TEST_P(EventForms, JsonRoundTrip) {
    expect_same_fields(json_back<Event>(GetParam().event.to_json(nullptr)), GetParam().expected);
}

TEST_P(EventForms, WrittenJsonDrawsNoLintWarning) {
    std::vector<std::string> warnings;
    JsonValue j = GetParam().event.to_json(nullptr);
    lint_event_json(j, warnings);
    // A null target is reported; everything else the writer emits must read
    // back as written.
    for (const std::string& w : warnings) {
        EXPECT_NE(w.find("no target"), std::string::npos) << w;
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, EventForms, testing::ValuesIn(event_form_rows()),
                         [](const testing::TestParamInfo<EventFormRow>& info) {
                             return std::string(info.param.name);
                         });

TEST(EventBinary, UnknownTypeKeepsOnlyTypeAndCurves) {
    const Event e = make_event(7, "lost", 1, 2, false);
    BinaryWriter w;
    e.write_binary(w);

    // Exactly the type byte and the curves.
    BinaryWriter expected;
    expected.write_u8(7);
    expected.write_u64(e.curves.size());
    for (const auto& [name, curve] : e.curves) {
        expected.write_packed_string(name);
        curve.write_binary(expected);
    }
    EXPECT_EQ(w.bytes(), expected.bytes());
    expect_same_fields(read_back<Event>(w.bytes()), unknown_type_as_read(e));
}

TEST(EventBinary, TypeThatDoesNotFitInItsByteIsStoredAsUnknown) {
    // 257 would otherwise be stored as byte 1 followed by the unknown-type
    // layout, and the reader would take the next record's bytes as its window.
    for (int32_t type : {257, -1, 1000}) {
        const Event e = make_event(type, "odd", 1, 2);
        BinaryWriter w;
        e.write_binary(w);
        const Event back = read_back<Event>(w.bytes());
        EXPECT_EQ(back.type, 0) << type;
        EXPECT_FALSE(back.has_known_type());
        EXPECT_EQ(back.curves, e.curves);
    }
}

TEST(EventBinary, CurvesAreWrittenInByteWiseNameOrder) {
    Event e = make_event(1, "order", 0, 1);
    e.curves["\xC3\xA9t\xC3\xA9"] = {};  // a byte above 'z' sorts last
    BinaryWriter w;
    e.write_binary(w);
    BinaryReader r(w.bytes());
    r.read_u8("type");
    const uint64_t count = r.read_u64("count");
    std::vector<std::string> names;
    for (uint64_t i = 0; i < count; ++i) {
        names.push_back(r.read_packed_string("name"));
        ControlPointCurve skipped;
        skipped.read_binary(r);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"Zoom", "alpha", "caption", "\xC3\xA9t\xC3\xA9"}));
}

TEST(EventBinary, RepeatedCurveNameTakesTheLaterCurve) {
    BinaryWriter w;
    w.write_u8(1);
    w.write_u64(3);
    w.write_packed_string("a");
    curve_of({{0, 1}}, 0).write_binary(w);
    w.write_packed_string("b");
    curve_of({{0, 2}}, 1).write_binary(w);
    w.write_packed_string("a");
    curve_of({{0, 3}, {1, 4}}, 2, true).write_binary(w);
    w.write_bool(true);
    w.write_u64(0);
    w.write_f32(0);
    w.write_f32(1);
    w.write_packed_string("dup");

    const Event e = read_back<Event>(w.bytes());
    ASSERT_EQ(e.curves.size(), 2u);
    EXPECT_EQ(e.curves.at("a"), curve_of({{0, 3}, {1, 4}}, 2, true));
    EXPECT_EQ(e.curves.at("b"), curve_of({{0, 2}}, 1));
    EXPECT_EQ(e.name, "dup");
}

TEST(EventBinary, TextPointStoredWithValueReadsZero) {
    Event e = make_event(1, "t", 0, 4);
    e.curves["caption"].control_points[1].value = 42;
    BinaryWriter w;
    e.write_binary(w);
    EXPECT_EQ(read_back<Event>(w.bytes()).curves.at("caption").control_points[1].value, 0.0f);
}

TEST(EventBinary, EveryTruncationThrowsFormatError) {
    BinaryWriter w;
    make_event(1, "Intro", 16, 32).write_binary(w);
    test::expect_every_prefix_fails(w.bytes(), [](BinaryReader& r) { Event().read_binary(r); });
}

TEST(EventBinary, HugeCurveCountIsRejectedBeforeAllocating) {
    BinaryWriter w;
    w.write_u8(1);
    w.write_u64(~uint64_t{0});
    w.write_u64(0);
    BinaryReader r(w.bytes());
    Event e;
    EXPECT_THROW(e.read_binary(r), FormatError);
}

// --- Event: the project form as authors write it --------------------------

struct EventJsonRow {
    const char* name;
    const char* json;
    int32_t type;
    bool visible;
    float start, end;
    const char* event_name;
};
void PrintTo(const EventJsonRow& row, std::ostream* os) { *os << row.name; }

class EventJsonReading : public testing::TestWithParam<EventJsonRow> {};

TEST_P(EventJsonReading, Reads) {
    const EventJsonRow& row = GetParam();
    const Event e = json_back<Event>(JsonValue::parse(row.json));
    EXPECT_EQ(e.type, row.type);
    EXPECT_EQ(e.visible, row.visible);
    EXPECT_EQ(e.start_beat, row.start);
    EXPECT_EQ(e.end_beat, row.end);
    EXPECT_EQ(e.name, row.event_name);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, EventJsonReading,
    testing::Values(
        EventJsonRow{"missing_type_is_effect", R"({"name": "a"})", 1, true, 0, 0, "a"},
        EventJsonRow{"missing_name_is_empty", R"({"type": 3})", 3, true, 0, 0, ""},
        EventJsonRow{"visible_true", R"({"visible": "true"})", 1, true, 0, 0, ""},
        EventJsonRow{"visible_false", R"({"visible": "false"})", 1, false, 0, 0, ""},
        EventJsonRow{"visible_upper_case", R"({"visible": "TRUE"})", 1, false, 0, 0, ""},
        EventJsonRow{"visible_yes", R"({"visible": "yes"})", 1, false, 0, 0, ""},
        EventJsonRow{"visible_boolean_true", R"({"visible": true})", 1, false, 0, 0, ""},
        EventJsonRow{"visible_null", R"({"visible": null})", 1, false, 0, 0, ""},
        EventJsonRow{"window", R"({"start_beat": 4.5, "end_beat": 8.0})", 1, true, 4.5f, 8, ""},
        EventJsonRow{"integral_window_reads_zero", R"({"start_beat": 4, "end_beat": 8})", 1,
                     true, 0, 0, ""},
        EventJsonRow{"sample_window_from_beat",
                     R"({"type": 2, "beat": 4.5, "start_beat": 1.0, "end_beat": 99.0})", 2, true,
                     4.5f, 5.5f, ""},
        EventJsonRow{"sample_without_beat", R"({"type": 2})", 2, true, 0, 1, ""},
        EventJsonRow{"effect_ignores_beat", R"({"type": 1, "beat": 3.0})", 1, true, 0, 0, ""},
        EventJsonRow{"floating_type_reads_zero", R"({"type": 1.0, "start_beat": 2.0})", 0, true,
                     0, 0, ""},
        EventJsonRow{"unknown_type_keeps_name", R"({"type": 9, "name": "x", "start_beat": 2.0})",
                     9, true, 0, 0, "x"},
        EventJsonRow{"not_an_object", R"([1])", 1, true, 0, 0, ""}),
    [](const testing::TestParamInfo<EventJsonRow>& info) { return std::string(info.param.name); });

TEST(EventJson, CurvesAndTextPoints) {
    const Event e = json_back<Event>(JsonValue::parse(R"({
        "control_points": {
            "alpha": {"mode": 2, "repeat": true,
                      "control_points": [{"beat": 0.0, "value": 1.0}, {"beat": 2.0, "value": 0.5}]},
            "caption": {"mode": 1, "control_points": [{"beat": 1.0, "text": "hi", "value": 3.0}]},
            "nomode": {"control_points": []},
            "junk": 4
        }})"));
    ASSERT_EQ(e.curves.size(), 4u);
    EXPECT_EQ(e.curves.at("alpha"), curve_of({{0, 1}, {2, 0.5f}}, 2, true));
    EXPECT_EQ(e.curves.at("caption"), curve_of({{1, 0, "hi"}}, 1));
    EXPECT_EQ(e.curves.at("nomode").mode, ControlPointCurve::mode_last_value);
    EXPECT_TRUE(e.curves.at("junk").control_points.empty());
}

TEST(EventJson, UnknownTypeWritesNoTargetOrWindow) {
    const JsonValue j = make_event(7, "u", 1, 2, false).to_json(nullptr);
    EXPECT_EQ(j["type"], 7);
    EXPECT_EQ(j["visible"], "false");
    for (const char* key : {"effect", "audio_sample", "group", "start_beat", "end_beat", "beat"}) {
        EXPECT_FALSE(j.contains(key)) << key;
    }
    EXPECT_EQ(j["control_points"].size(), 3u);
}

TEST(EventCurves, ValueUsesTheEventWindow) {
    Event e;
    e.start_beat = 10;
    e.end_beat = 20;
    e.curves["x"] = curve_of({{0, 1}, {4, 5}}, 1);
    EXPECT_FLOAT_EQ(e.curve_value("x", 12), 3);
    EXPECT_EQ(e.curve_value("x", 20.5f), 0);
    EXPECT_EQ(e.curve_value("missing", 12), 0);
    EXPECT_EQ(e.find_curve("missing"), nullptr);
}

// --- Event: references --------------------------------------------------------

struct Targets {
    Effect effect;
    AudioSample sample;
    EventGroup group;
    Event other_event;
    Targets() {
        effect.name = "fx";
        sample.name = "kick";
        group.name = "verse";
        other_event.name = "ev";
    }
};

// The pointer an event holds for its own type.
const void* target_of(const Event& e) {
    switch (e.type) {
        case 1: return e.effect;
        case 2: return e.audio_sample;
        case 3: return e.group;
        default: return nullptr;
    }
}

struct WireRow {
    const char* name;
    int32_t type;
    // How the map registers id 5: which record, under which class.
    enum class Registered { effect, sample, group, event_under_5, nothing } registered;
    bool resolves;
};
void PrintTo(const WireRow& row, std::ostream* os) { *os << row.name; }

class EventWiring : public testing::TestWithParam<WireRow> {};

TEST_P(EventWiring, ById) {
    const WireRow& row = GetParam();
    Targets t;
    IdentityMap ids;
    switch (row.registered) {
        case WireRow::Registered::effect: ids.add(5, &t.effect); break;
        case WireRow::Registered::sample: ids.add(5, &t.sample); break;
        case WireRow::Registered::group: ids.add(5, &t.group); break;
        case WireRow::Registered::event_under_5: ids.add(5, &t.other_event); break;
        case WireRow::Registered::nothing: break;
    }
    // Written with the target's identity 5, read back, wired.
    Event e = make_event(row.type, "e", 0, 1);
    e.effect = &t.effect;
    e.audio_sample = &t.sample;
    e.group = &t.group;
    BinaryWriter w;
    w.assign_id(&t.effect, 5);
    w.assign_id(&t.sample, 5);
    w.assign_id(&t.group, 5);
    e.write_binary(w);
    Event back = read_back<Event>(w.bytes());
    EXPECT_EQ(back.target_id, 5u);
    back.wire(ids);

    const void* expected = nullptr;
    if (row.resolves) {
        expected = row.type == 1 ? static_cast<const void*>(&t.effect)
                   : row.type == 2 ? static_cast<const void*>(&t.sample)
                                   : static_cast<const void*>(&t.group);
    }
    EXPECT_EQ(target_of(back), expected);
    // The pointers of the other types stay null.
    EXPECT_EQ((back.effect != nullptr) + (back.audio_sample != nullptr) + (back.group != nullptr),
              row.resolves ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, EventWiring,
    testing::Values(WireRow{"effect", 1, WireRow::Registered::effect, true},
                    WireRow{"sample", 2, WireRow::Registered::sample, true},
                    WireRow{"group", 3, WireRow::Registered::group, true},
                    WireRow{"effect_id_naming_a_sample", 1, WireRow::Registered::sample, false},
                    WireRow{"sample_id_naming_an_effect", 2, WireRow::Registered::effect, false},
                    WireRow{"group_id_naming_an_event", 3, WireRow::Registered::event_under_5,
                            false},
                    WireRow{"dangling_effect", 1, WireRow::Registered::nothing, false},
                    WireRow{"dangling_group", 3, WireRow::Registered::nothing, false}),
    [](const testing::TestParamInfo<WireRow>& info) { return std::string(info.param.name); });

TEST(EventWiringEdges, UnknownTypeIsLeftAlone) {
    Targets t;
    IdentityMap ids;
    ids.add(0, &t.effect);
    Event e;
    e.type = 9;
    e.wire(ids);
    EXPECT_EQ(e.effect, nullptr);
}

TEST(EventWiringEdges, ByName) {
    Targets t;
    NameTables names;
    names.effects["fx"] = &t.effect;
    names.audio_samples["kick"] = &t.sample;
    names.event_groups["verse"] = &t.group;

    struct Case {
        int32_t type;
        const char* json;
        const void* expected;
    };
    const Case cases[] = {
        {1, R"({"type": 1, "effect": "fx"})", &t.effect},
        {2, R"({"type": 2, "audio_sample": "kick"})", &t.sample},
        {3, R"({"type": 3, "group": "verse"})", &t.group},
        {1, R"({"type": 1, "effect": "nope"})", nullptr},
        {1, R"({"type": 1, "audio_sample": "kick"})", nullptr},  // the key of another type
        {2, R"({"type": 2, "audio_sample": 3})", nullptr},
        {3, R"({"type": 3})", nullptr},
    };
    for (const Case& c : cases) {
        const JsonValue j = JsonValue::parse(c.json);
        Event e = json_back<Event>(j);
        ASSERT_EQ(e.type, c.type);
        e.wire_names(j, names);
        EXPECT_EQ(target_of(e), c.expected) << c.json;
    }
    // Only the string names were looked up: "nope" was entered with no record.
    EXPECT_EQ(names.effects.count("nope"), 1u);
    EXPECT_EQ(names.effects.at("nope"), nullptr);
    EXPECT_EQ(names.event_groups.size(), 1u);
}

TEST(EventWiringEdges, JsonRoundTripWithTargets) {
    Targets t;
    NameTables names;
    names.effects["fx"] = &t.effect;
    names.event_groups["verse"] = &t.group;
    for (int32_t type : {1, 3}) {
        Event e = make_event(type, "e", 0, 1);
        e.effect = &t.effect;
        e.group = &t.group;
        const JsonValue j = e.to_json(nullptr);
        Event back = json_back<Event>(j);
        back.wire_names(j, names);
        EXPECT_EQ(target_of(back), target_of(e));
    }
}

TEST(EventWiringEdges, NullTargetIsWrittenAsJsonNullAndNotLookedUp) {
    Targets t;
    NameTables names;
    names.effects[""] = &t.effect;  // an effect with an empty name must not be picked up
    const JsonValue j = make_event(1, "e", 0, 1).to_json(nullptr);
    EXPECT_TRUE(j["effect"].is_null());
    Event back = json_back<Event>(j);
    back.wire_names(j, names);
    EXPECT_EQ(back.effect, nullptr);
}

// --- Event: lint ----------------------------------------------------------------

struct EventLintRow {
    const char* name;
    const char* json;
    const char* expected;  // part of some warning
};
void PrintTo(const EventLintRow& row, std::ostream* os) { *os << row.name; }

class EventLint : public testing::TestWithParam<EventLintRow> {};

TEST_P(EventLint, Warns) {
    std::vector<std::string> warnings;
    lint_event_json(JsonValue::parse(GetParam().json), warnings);
    bool found = false;
    for (const std::string& w : warnings) found |= w.find(GetParam().expected) != std::string::npos;
    EXPECT_TRUE(found) << "no warning mentions: " << GetParam().expected
                       << (warnings.empty() ? "" : "\nfirst: " + warnings.front());
}

INSTANTIATE_TEST_SUITE_P(
    Rows, EventLint,
    testing::Values(
        EventLintRow{"boolean_visible", R"({"effect": "a", "visible": true})",
                     "\"visible\" is not a string"},
        EventLintRow{"upper_case_visible", R"({"effect": "a", "visible": "TRUE"})",
                     "neither \"true\" nor \"false\""},
        EventLintRow{"integral_start", R"({"effect": "a", "start_beat": 4, "end_beat": 8.0})",
                     "write 4.0"},
        EventLintRow{"integral_sample_beat", R"({"type": 2, "audio_sample": "a", "beat": 4})",
                     "write 4.0"},
        EventLintRow{"end_before_start",
                     R"({"effect": "a", "start_beat": 8.0, "end_beat": 4.0})", "never active"},
        EventLintRow{"floating_type", R"({"type": 1.0, "effect": "a"})", "\"type\" is not"},
        EventLintRow{"unknown_type", R"({"type": 7})", "keeps only its type and curves"},
        EventLintRow{"type_beyond_a_byte", R"({"type": 300})", "packed as type 0"},
        EventLintRow{"missing_target", R"({"type": 3, "name": "x"})",
                     "event \"x\": \"group\" is missing"},
        EventLintRow{"target_key_of_another_type", R"({"type": 2, "effect": "a", "beat": 1.0})",
                     "\"effect\" is ignored"},
        EventLintRow{"window_keys_on_sample",
                     R"({"type": 2, "audio_sample": "a", "end_beat": 1.0})",
                     "\"end_beat\" is ignored"},
        EventLintRow{"curve_quirk",
                     R"({"effect": "a", "control_points": {"alpha": {"control_points": []}}})",
                     "curve \"alpha\": \"mode\" is missing"},
        EventLintRow{"curves_not_object", R"({"effect": "a", "control_points": []})",
                     "no curves"},
        EventLintRow{"not_an_object", R"("event")", "not an object"}),
    [](const testing::TestParamInfo<EventLintRow>& info) { return std::string(info.param.name); });

// --- EventGroup -------------------------------------------------------------------

struct GroupFixture {
    Event a = make_event(1, "a", 16, 20);
    Event b = make_event(1, "b", 20, 24);
    Event c = make_event(2, "c", 18, 19);
    EventGroup group;
    GroupFixture() {
        group.name = "verse";
        group.events = {&a, &b, &c};
    }
};

TEST(EventGroupForms, BinaryRoundTripAndWiring) {
    GroupFixture f;
    EventGroup other;
    BinaryWriter w;
    w.assign_id(&f.a, 1);
    w.assign_id(&f.b, 2);
    w.assign_id(&f.c, 3);
    f.group.events.push_back(nullptr);  // stays null through both steps
    f.group.write_binary(w);

    EventGroup back = read_back<EventGroup>(w.bytes());
    EXPECT_EQ(back.name, "verse");
    EXPECT_EQ(back.event_ids, (std::vector<ResourceId>{1, 2, 3, 0}));

    IdentityMap ids;
    ids.add(1, &f.a);
    ids.add(2, &other);  // an identity naming a group, not an event
    ids.add(3, &f.c);
    back.wire(ids);
    EXPECT_EQ(back.events, (std::vector<Event*>{&f.a, nullptr, &f.c, nullptr}));
}

TEST(EventGroupForms, JsonRoundTripAndWiringByName) {
    GroupFixture f;
    f.group.events.push_back(nullptr);
    const JsonValue j = f.group.to_json(nullptr);
    EXPECT_EQ(j["events"], JsonValue::parse(R"(["a", "b", "c", null])"));

    Event unnamed;
    NameTables names;
    names.events["a"] = &f.a;
    names.events["b"] = &f.b;
    names.events["c"] = &f.c;
    names.events[""] = &unnamed;  // a null member must not turn into this one
    EventGroup back = json_back<EventGroup>(j);
    EXPECT_EQ(back.name, "verse");
    EXPECT_TRUE(back.events.empty());  // members come with wire_names
    back.wire_names(j, names);
    EXPECT_EQ(back.events, (std::vector<Event*>{&f.a, &f.b, &f.c, nullptr}));
}

TEST(EventGroupForms, JsonNamesThatResolveToNothing) {
    NameTables names;
    const JsonValue j = JsonValue::parse(R"({"name": "g", "events": ["ghost", 3]})");
    EventGroup g = json_back<EventGroup>(j);
    g.wire_names(j, names);
    EXPECT_EQ(g.events, (std::vector<Event*>{nullptr, nullptr}));

    const JsonValue no_list = JsonValue::parse(R"({"name": "g", "events": "a"})");
    g.wire_names(no_list, names);
    EXPECT_TRUE(g.events.empty());
}

TEST(EventGroupForms, MalformedBinary) {
    GroupFixture f;
    BinaryWriter w;
    f.group.write_binary(w);
    test::expect_every_prefix_fails(w.bytes(), [](BinaryReader& r) { EventGroup().read_binary(r); });
    BinaryWriter huge;
    huge.write_packed_string("g");
    huge.write_u64(uint64_t{1} << 61);
    BinaryReader r(huge.bytes());
    EventGroup g;
    EXPECT_THROW(g.read_binary(r), FormatError);
}

TEST(EventGroupLint, Warnings) {
    std::vector<std::string> warnings;
    lint_event_group_json(JsonValue::parse(R"({"name": "g", "events": ["a", 3]})"), warnings);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("null link"), std::string::npos) << warnings[0];

    warnings.clear();
    GroupFixture f;
    lint_event_group_json(f.group.to_json(nullptr), warnings);
    EXPECT_TRUE(warnings.empty());
}

// --- EventGroup: time mapping ------------------------------------------------------

struct MappingRow {
    const char* name;
    float beat;               // the clock's beat
    std::vector<bool> plays;  // per member a, b, c
    float d;                  // the members' beat
};
void PrintTo(const MappingRow& row, std::ostream* os) { *os << row.name; }

class GroupTimeMapping : public testing::TestWithParam<MappingRow> {};

TEST_P(GroupTimeMapping, ShiftsToThePlayer) {
    GroupFixture f;  // members at 16-20, 20-24 and 18-19; earliest 16
    const Event player = make_event(3, "player", 100, 110);
    const float d = f.group.child_beat(player, GetParam().beat);
    EXPECT_FLOAT_EQ(d, GetParam().d);
    std::vector<bool> plays;
    for (const Event* member : f.group.events) plays.push_back(EventGroup::plays(*member, d));
    EXPECT_EQ(plays, GetParam().plays);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, GroupTimeMapping,
    testing::Values(MappingRow{"first_starts_with_player", 100, {true, false, false}, 16},
                    MappingRow{"inside_first_and_third", 102.5f, {true, false, true}, 18.5f},
                    MappingRow{"second_takes_over_at_its_start", 104, {false, true, false}, 20},
                    MappingRow{"last_just_before_its_end", 107.99f, {false, true, false}, 23.99f},
                    MappingRow{"nothing_after_the_group", 108, {false, false, false}, 24},
                    MappingRow{"nothing_before_the_player", 99, {false, false, false}, 15}),
    [](const testing::TestParamInfo<MappingRow>& info) { return std::string(info.param.name); });

TEST(GroupTimeMappingEdges, EarliestStartSkipsNullMembers) {
    GroupFixture f;
    f.group.events.insert(f.group.events.begin(), nullptr);
    EXPECT_EQ(f.group.earliest_start(), 16);
    EXPECT_EQ(EventGroup().earliest_start(), 0);

    // A group whose events start at 0 is a plain shift.
    Event zero = make_event(1, "z", 0, 4);
    EventGroup g;
    g.events = {&zero};
    EXPECT_EQ(g.child_beat(make_event(3, "p", 32, 40), 33.5f), 1.5f);
}

TEST(GroupTimeMappingEdges, OverrideBeatCountsFromThePlayersStart) {
    GroupFixture f;
    const Event player = make_event(3, "player", 100, 110);
    // Member b started at group beat 20; at d = 21 it has run one beat.
    EXPECT_EQ(EventGroup::override_beat(player, f.b, 21), 101);
}

// --- EventGroup: recursion -----------------------------------------------------------

struct Graph {
    std::vector<std::unique_ptr<EventGroup>> groups;
    std::vector<std::unique_ptr<Event>> players;
    explicit Graph(size_t n) {
        for (size_t i = 0; i < n; ++i) groups.push_back(std::make_unique<EventGroup>());
    }
    // Group `from` gets a member event that plays group `to`.
    void link(size_t from, size_t to) {
        auto e = std::make_unique<Event>();
        e->type = Event::type_group;
        e->group = groups[to].get();
        groups[from]->events.push_back(e.get());
        players.push_back(std::move(e));
    }
};

struct RecursionRow {
    const char* name;
    size_t groups;
    std::vector<std::pair<size_t, size_t>> links;
    bool recurses;  // for group 0
};
void PrintTo(const RecursionRow& row, std::ostream* os) { *os << row.name; }

class GroupRecursion : public testing::TestWithParam<RecursionRow> {};

TEST_P(GroupRecursion, Detects) {
    Graph g(GetParam().groups);
    for (auto [from, to] : GetParam().links) g.link(from, to);
    g.groups[0]->events.push_back(nullptr);  // null members are harmless
    EXPECT_EQ(g.groups[0]->recurses(), GetParam().recurses);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, GroupRecursion,
    testing::Values(RecursionRow{"empty", 1, {}, false},
                    RecursionRow{"plays_itself", 1, {{0, 0}}, true},
                    RecursionRow{"through_another", 2, {{0, 1}, {1, 0}}, true},
                    RecursionRow{"reaches_a_cycle_elsewhere", 3, {{0, 1}, {1, 2}, {2, 1}}, true},
                    RecursionRow{"chain", 3, {{0, 1}, {1, 2}}, false},
                    RecursionRow{"diamond_is_fine", 4, {{0, 1}, {0, 2}, {1, 3}, {2, 3}}, false}),
    [](const testing::TestParamInfo<RecursionRow>& info) { return std::string(info.param.name); });

TEST(GroupRecursionEdges, DeepChainDoesNotExhaustTheStack) {
    const size_t n = 200000;
    Graph g(n);
    for (size_t i = 0; i + 1 < n; ++i) g.link(i, i + 1);
    EXPECT_FALSE(g.groups[0]->recurses());
    g.link(n - 1, 0);
    EXPECT_TRUE(g.groups[0]->recurses());
}

}  // namespace
}  // namespace qh
