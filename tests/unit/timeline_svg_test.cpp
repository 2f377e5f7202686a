// The timeline picture of `quill info --timeline`: well-formed whatever the
// document holds, a row per event, bars where the rulers put their beats, and
// members drawn as their group plays them.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>
#include <set>
#include <sstream>

#include "document/demo_tables.h"
#include "support/sample_demo.h"
#include "support/xml_check.h"
#include "timeline_svg.h"

namespace qh {
namespace {

using test::XmlElement;

std::vector<const XmlElement*> with_class(const XmlElement& root, const std::string& cls) {
    return root.find_all([&](const XmlElement& e) { return e.has_class(cls); });
}

const XmlElement& only(const std::vector<const XmlElement*>& found, const std::string& what) {
    if (found.size() != 1) throw std::runtime_error(what + ": " + std::to_string(found.size()) + " found");
    return *found[0];
}

const XmlElement& child_with_class(const XmlElement& parent, const std::string& cls) {
    return only(with_class(parent, cls), "<" + cls + "> in " + parent.attr("data-name"));
}

// Where the beat ruler puts each beat: x = x0 + beat * pixels_per_beat,
// checked to be one straight scale over all its ticks.
struct Ruler {
    double x0 = 0, pixels_per_beat = 0;

    explicit Ruler(const XmlElement& root) {
        std::map<double, double> ticks;
        for (const XmlElement* t : with_class(root, "beat-tick")) ticks[t->number("data-beat")] = t->number("x1");
        if (ticks.size() < 3) throw std::runtime_error("too few beat ticks");
        const auto [b0, first] = *ticks.begin();
        const auto [b1, last] = *ticks.rbegin();
        pixels_per_beat = (last - first) / (b1 - b0);
        x0 = first - b0 * pixels_per_beat;
        for (const auto& [beat, x] : ticks) EXPECT_NEAR(x, x_of(beat), 0.02) << "tick of beat " << beat;
    }
    double x_of(double beat) const { return x0 + beat * pixels_per_beat; }
};

void expect_bar(const XmlElement& row, const Ruler& ruler, double start, double end) {
    const XmlElement& bar = child_with_class(row, "bar");
    EXPECT_NEAR(bar.number("x"), ruler.x_of(start), 0.02) << row.attr("data-name");
    EXPECT_NEAR(bar.number("width"), (end - start) * ruler.pixels_per_beat, 0.03) << row.attr("data-name");
}

// The (x, y) points of a row's curve.
std::vector<std::pair<double, double>> curve_points(const XmlElement& row, const std::string& curve) {
    const XmlElement& line = only(row.find_all([&](const XmlElement& e) {
        return e.has_class("curve") && e.attr("data-curve") == curve;
    }), "curve " + curve + " of " + row.attr("data-name"));
    std::vector<std::pair<double, double>> points;
    std::istringstream in(line.attr("points"));
    double x, y;
    char comma;
    while (in >> x >> comma >> y) points.emplace_back(x, y);
    return points;
}

enum class Slope { rising, falling };

// Up the picture is up the curve: y grows downwards.
void expect_slope(const XmlElement& row, const std::string& curve, Slope slope) {
    const auto points = curve_points(row, curve);
    ASSERT_GE(points.size(), 2u);
    const double first = points.front().second, last = points.back().second;
    if (slope == Slope::rising) EXPECT_LT(last, first) << curve << " of " << row.attr("data-name");
    else EXPECT_GT(last, first) << curve << " of " << row.attr("data-name");
}

TEST(TimelineSvg, SampleDocumentHasARowPerEventWithBarsAtTheRulersBeats) {
    const auto demo = test::make_full_demo();  // Intro 0-16, Hit 4-5, Chorus 32-48 plays both
    const XmlElement root = test::parse_xml(quill::timeline_svg(*demo));
    ASSERT_EQ(root.name, "svg");

    const auto rows = with_class(root, "event-row");
    ASSERT_EQ(rows.size(), demo->events.size());
    std::set<std::string> ids;
    for (const XmlElement* r : rows) ids.insert(r->attr("id"));
    EXPECT_EQ(ids, (std::set<std::string>{"event-0", "event-1", "event-2"}));

    const Ruler ruler(root);
    // Rows sit in the section of what they target; members under their group's event.
    struct Expected {
        const char* section;
        const char* row_class;
        const char* event;  // id, or data-event of a member row
        double start, end;
    };
    const Expected expected[] = {
        {"effect main", "event-row", "event-0", 0, 16},
        {"sample resources/hit.wav", "event-row", "event-1", 4, 5},
        {"group chorus", "event-row", "event-2", 32, 48},
        {"group chorus", "member-row", "0", 32, 48},  // Intro through Chorus
        {"group chorus", "member-row", "1", 36, 37},  // Hit through Chorus
    };
    for (const Expected& x : expected) {
        SCOPED_TRACE(std::string(x.section) + " / " + x.event);
        const XmlElement& section = only(root.find_all([&](const XmlElement& e) {
            return e.has_class("section") && e.attr("data-target") == x.section;
        }), x.section);
        const bool member = std::string(x.row_class) == "member-row";
        const XmlElement& row = only(section.find_all([&](const XmlElement& e) {
            return e.has_class(x.row_class) && e.attr(member ? "data-event" : "id") == x.event;
        }), x.event);
        expect_bar(row, ruler, x.start, x.end);
    }

    // Intro's "speed" rises 0 to 1 over its window, from the bar's left edge to its right.
    const XmlElement& intro = only(root.find_all([](const XmlElement& e) { return e.attr("id") == "event-0"; }), "Intro");
    const XmlElement& bar = child_with_class(intro, "bar");
    const auto points = curve_points(intro, "speed");
    ASSERT_GE(points.size(), 2u);
    EXPECT_NEAR(points.front().first, bar.number("x"), 0.02);
    EXPECT_NEAR(points.back().first, bar.number("x") + bar.number("width"), 0.02);
    for (const auto& [x, y] : points) {
        EXPECT_GE(y, bar.number("y"));
        EXPECT_LE(y, bar.number("y") + bar.number("height"));
    }
    expect_slope(intro, "speed", Slope::rising);

    // Second s falls on the beat the player's clock gives it: s * 140 / 60 - 0.25.
    const auto seconds = with_class(root, "second-tick");
    ASSERT_GE(seconds.size(), 3u);
    for (const XmlElement* t : seconds) {
        const double s = t->number("data-second");
        EXPECT_NEAR(t->number("x1"), ruler.x_of(s * 140 / 60 - 0.25), 0.05) << s << " s";
    }
}

Event* add_event(Demo& d, const std::string& name, int32_t type, float start, float end) {
    auto e = std::make_unique<Event>();
    e->name = name;
    e->type = type;
    e->start_beat = start;
    e->end_beat = end;
    d.events.push_back(std::move(e));
    return d.events.back().get();
}

ControlPointCurve line_from(float from, float to, float beats) {
    ControlPointCurve c;
    c.control_points = {{0, from}, {beats, to}};
    return c;
}

// A member's row shows what the player draws: a uniform takes the group
// event's "Member.uniform" curve, every other key the member's own curve.
TEST(TimelineSvg, MemberRowsTakeTheGroupEventsOverridesOfUniformsOnly) {
    Demo d;
    auto program = std::make_unique<ShaderProgram>();
    program->fragment_shader_filename = "resources/fade.frag";
    UniformDef alpha;
    alpha.name = "alpha";
    program->uniform_defs.push_back(alpha);
    auto effect = std::make_unique<Effect>();
    effect->name = "fx";
    effect->program = program.get();

    Event* fade = add_event(d, "Fade", Event::type_effect, 4, 12);
    fade->effect = effect.get();
    fade->curves["alpha"] = line_from(0, 1, 8);
    fade->curves["camera_position_x"] = line_from(0, 5, 8);
    auto group = std::make_unique<EventGroup>();
    group->name = "g";
    group->events = {fade};
    Event* play = add_event(d, "Play", Event::type_group, 16, 24);
    play->group = group.get();
    play->curves["Fade.alpha"] = line_from(1, 0, 8);
    play->curves["Fade.camera_position_x"] = line_from(5, 0, 8);  // the player ignores this one
    d.shaders.push_back(std::move(program));
    d.effects.push_back(std::move(effect));
    d.event_groups.push_back(std::move(group));

    const XmlElement root = test::parse_xml(quill::timeline_svg(d));
    const XmlElement& own = only(root.find_all([](const XmlElement& e) { return e.attr("id") == "event-0"; }), "Fade");
    const XmlElement& member = child_with_class(
        only(root.find_all([](const XmlElement& e) { return e.has_class("section") && e.attr("data-target") == "group g"; }),
             "group g"),
        "member-row");
    expect_bar(member, Ruler(root), 16, 24);
    expect_slope(own, "alpha", Slope::rising);
    expect_slope(member, "alpha", Slope::falling);
    expect_slope(own, "camera_position_x", Slope::rising);
    expect_slope(member, "camera_position_x", Slope::rising);
}

// Names and windows from a file anyone may have made still give a picture an
// XML reader takes; the names read back as they were (bytes that are not
// UTF-8 replaced), bad windows draw no bar, a group that plays itself ends.
TEST(TimelineSvg, AnyNamesAndWindowsGiveWellFormedXml) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    struct Row {
        std::string name;
        float start, end;
        bool bar;
        std::string reads_back;  // the data-name attribute as parsed
    };
    const std::vector<Row> rows = {
        {"a<b>&\"c'd", 0, 4, true, "a<b>&\"c'd"},
        {"\xc3\xbc and \xe2\x9c\x93", 2, 3, true, "\xc3\xbc and \xe2\x9c\x93"},
        {std::string("ctl\x01\x1f", 5), 1, 2, true, "ctl\xef\xbf\xbd\xef\xbf\xbd"},
        {"bad \xff\xfe utf8 \xc3", 1, 2, true, "bad \xef\xbf\xbd\xef\xbf\xbd utf8 \xef\xbf\xbd"},
        {"", 0, 1, true, ""},
        {"not a number", nan, 4, false, "not a number"},
        {"endless", 0, inf, false, "endless"},
        {"backwards", 8, 2, false, "backwards"},
        {"far out", -1e30f, 1e30f, true, "far out"},
    };
    Demo d;
    d.bpm = 0;  // no clock: no seconds ruler
    auto effect = std::make_unique<Effect>();
    effect->name = "<fx & co>";
    for (const Row& r : rows) {
        Event* e = add_event(d, r.name, Event::type_effect, r.start, r.end);
        e->effect = effect.get();
        e->curves[r.name + "<&>"] = line_from(0, 1, 1);
        e->curves["title"].control_points = {{0, 0, "<b>&amp; " + r.name}};
    }
    d.effects.push_back(std::move(effect));
    // A group whose member plays the group again.
    auto loop = std::make_unique<EventGroup>();
    loop->name = "loop";
    Event* again = add_event(d, "again", Event::type_group, 0, 8);
    again->group = loop.get();
    loop->events = {again};
    d.event_groups.push_back(std::move(loop));

    XmlElement root;
    ASSERT_NO_THROW(root = test::parse_xml(quill::timeline_svg(d)));
    const auto found = with_class(root, "event-row");
    ASSERT_EQ(found.size(), d.events.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(i);
        const XmlElement& row = *found[i];
        EXPECT_EQ(row.attr("id"), "event-" + std::to_string(i));
        EXPECT_EQ(row.attr("data-name"), rows[i].reads_back);
        EXPECT_EQ(with_class(row, "bar").size(), rows[i].bar ? 1u : 0u);
    }
    EXPECT_NE(found.back()->all_text().find("plays itself"), std::string::npos);
    EXPECT_TRUE(with_class(root, "member-row").empty());
    EXPECT_TRUE(with_class(root, "second-tick").empty());
}

}  // namespace
}  // namespace qh
