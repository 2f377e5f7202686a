// The track view's edits written into a project's own text: exactly the
// edited values change, laid out like their neighbours, and a file whose
// events moved on disk is not written.
#include <gtest/gtest.h>

#include <memory>

#include "curve_text.h"
#include "document/demo_tables.h"

namespace qh::quill {
namespace {

// Tabs, " : ", keys out of the usual order, 1.50 for 1.5, a curve with no mode.
const std::string project =
    "{\n"
    "\t\"events\" : [\n"
    "\t\t{ \"name\" : \"A\", \"control_points\" : {\n"
    "\t\t\t\"x\" : { \"repeat\": false, \"control_points\" : [\n"
    "\t\t\t\t{ \"value\" : 1.50, \"beat\" : 0.0 },\n"
    "\t\t\t\t{ \"value\" : 2.0, \"beat\" : 4.0 }\n"
    "\t\t\t], \"mode\" : 1 },\n"
    "\t\t\t\"y/z\" : { \"control_points\" : [ { \"beat\" : 1.0, \"value\" : 3.0 } ] }\n"
    "\t\t} }\n"
    "\t],\n"
    "\t\"bpm\" : 120.0\n"
    "}\n";

std::unique_ptr<Demo> demo_of(const std::string& text) {
    auto d = std::make_unique<Demo>();
    const JsonValue j = parse_json_text(text, "project.json");
    for (const JsonValue& e : j["events"]) {
        auto& ev = d->events.emplace_back(std::make_unique<Event>());
        ev->name = json_text(e["name"]);
        for (const auto& [name, curve] : e["control_points"].items()) ev->curves[name].from_json(curve);
    }
    return d;
}

TEST(CurveText, EditsStandWhereTheValuesStand) {
    const auto demo = demo_of(project);
    TrackEditor ed(*demo);
    const Track x{{0, "x"}, {}, false}, yz{{0, "y/z"}, {}, false};
    ASSERT_TRUE(ed.set_key(x, BeatRows{1}, 2, 1.75f));
    ASSERT_TRUE(ed.set_key(x, BeatRows{1}, 4, 2.5f));
    ASSERT_TRUE(ed.set_mode(x, ControlPointCurve::mode_smooth));
    ASSERT_TRUE(ed.delete_keys(std::vector<Track>{yz}, 0, 1, BeatRows{1}, 1, 1));
    ASSERT_TRUE(ed.set_key(yz, BeatRows{3}, 1, 0.25f));
    ASSERT_TRUE(ed.set_mode(yz, ControlPointCurve::mode_linear));

    const CurveText w = write_curves(project, "project.json", *demo, ed.touched());
    ASSERT_EQ(w.refused, "");
    EXPECT_EQ(w.text,
              "{\n"
              "\t\"events\" : [\n"
              "\t\t{ \"name\" : \"A\", \"control_points\" : {\n"
              "\t\t\t\"x\" : { \"repeat\": false, \"control_points\" : [\n"
              "\t\t\t\t{ \"value\" : 1.50, \"beat\" : 0.0 },\n"
              "\t\t\t\t{\n"
              "\t\t\t\t\t\"beat\" : 2.0,\n"
              "\t\t\t\t\t\"value\" : 1.75\n"
              "\t\t\t\t},\n"
              "\t\t\t\t{ \"value\" : 2.5, \"beat\" : 4.0 }\n"
              "\t\t\t], \"mode\" : 2 },\n"
              "\t\t\t\"y/z\" : { \"control_points\" : [ {\"beat\" : 0.33333334, \"value\" : 0.25} ], \"mode\" : 1 }\n"
              "\t\t} }\n"
              "\t],\n"
              "\t\"bpm\" : 120.0\n"
              "}\n");
    EXPECT_TRUE(w.rewritten.empty());
    EXPECT_EQ(demo_of(w.text)->events[0]->curves, demo->events[0]->curves) << "the text reads back as edited";

    std::string moved = project;
    moved.replace(moved.find("\"A\""), 3, "\"B\"");
    EXPECT_NE(write_curves(moved, "project.json", *demo, ed.touched()).refused.find("changed on disk"),
              std::string::npos);
}

}  // namespace
}  // namespace qh::quill
