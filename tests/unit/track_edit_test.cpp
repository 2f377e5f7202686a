// The track view's pure side: rows per beat, cursor moves, the edits on the
// live document with their undo, block copy and paste, and the tracks shown.
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "document/demo_tables.h"
#include "support/curves.h"
#include "fly_camera.h"
#include "timeline/scene_keys.h"
#include "track_edit.h"
#include "track_panel.h"

namespace qh::quill {
namespace {

TEST(BeatRows, MovesAndGridChanges) {
    struct Row { int per_beat; int64_t row; CursorStep step; int count; int64_t to; };
    const Row rows[] = {
        {4, 5, CursorStep::row, -6, -1},   {4, 5, CursorStep::beat, 1, 8},   {4, 5, CursorStep::beat, -1, 4},
        {4, 4, CursorStep::beat, -1, 0},   {3, 1, CursorStep::bar, 1, 12},   {3, 12, CursorStep::bar, 2, 36},
        {3, -1, CursorStep::bar, -1, -12}, {6, -7, CursorStep::beat, 1, -6}, {8, 3, CursorStep::bar, -1, 0},
    };
    for (const Row& r : rows)
        EXPECT_EQ(BeatRows{r.per_beat}.moved(r.row, r.step, r.count), r.to) << r.per_beat << " " << r.row;

    // A triplet row's float beat is read back as that row, on every grid.
    for (int64_t k = -7; k < 100; ++k) {
        EXPECT_EQ(BeatRows{3}.row_at(BeatRows{3}.beat_of(k)), k);
        EXPECT_EQ(BeatRows{3}.with_per_beat(k, 6), 2 * k);
    }
    EXPECT_EQ(BeatRows{4}.with_per_beat(5, 3), 3) << "beat 1.25 is in the triplet row of beat 1";
    EXPECT_EQ(BeatRows{8}.next_choice(1), 8);
    EXPECT_EQ(BeatRows{4}.next_choice(-1), 3);
}

struct Fixture {
    Demo demo;
    Effect effect;
    Fixture() {
        effect.name = "fx";
        for (float start : {8.0f, 0.0f}) {
            auto e = std::make_unique<Event>();
            e->name = start == 8.0f ? "A" : "B";
            e->effect = &effect;
            e->start_beat = start;
            e->end_beat = 40;
            e->curves["x"] = test::curve_of({{0, 1}, {4, 2}});
            e->curves["y"] = test::curve_of({{2, 5}});
            demo.events.push_back(std::move(e));
        }
    }
    std::vector<ControlPoint>& points(size_t event, const char* curve) {
        return demo.events[event]->curves[curve].control_points;
    }
};

TEST(TrackEditor, EditsUndoAndRedo) {
    using Points = std::vector<ControlPoint>;
    struct Row {
        const char* name;
        std::function<bool(TrackEditor&, const std::vector<Track>&)> edit;
        Points a_x, b_x;  // after the edit
        int edits = 1;    // undo steps
    };
    const Points a_x = {{0, 1}, {4, 2}}, b_x = {{0, 1}, {4, 2}};
    // Tracks at beat 8: A.x, A.y, B.x, B.y; A starts at beat 8.
    const Row rows[] = {
        {"a key replaced on its row", [](auto& ed, auto& t) { return ed.set_key(t[0], BeatRows{4}, 48, 7); },
         {{0, 1}, {4, 7}}, b_x},
        {"a key set between keys", [](auto& ed, auto& t) { return ed.set_key(t[0], BeatRows{2}, 19, 3); },
         {{0, 1}, {1.5f, 3}, {4, 2}}, b_x},
        {"a key set before the first", [](auto& ed, auto& t) { return ed.set_key(t[2], BeatRows{1}, -1, 3); },
         a_x, {{-1, 3}, {0, 1}, {4, 2}}},
        {"nudged where there is no key: the curve's value there plus the step",
         [](auto& ed, auto& t) { return ed.nudge_key(t[0], BeatRows{1}, 10, 0.5f); }, {{0, 1}, {2, 2}, {4, 2}}, b_x},
        {"two nudges of one key are one edit",
         [](auto& ed, auto& t) { return ed.nudge_key(t[0], BeatRows{1}, 8, 0.5f) && ed.nudge_key(t[0], BeatRows{1}, 8, 0.25f); },
         {{0, 1.75f}, {4, 2}}, b_x},
        {"a block of rows deleted across tracks",
         [](auto& ed, auto& t) { return ed.delete_keys(t, 0, 3, BeatRows{4}, 0, 35); }, {{4, 2}}, {}},
        {"a block pasted one track to the right, triplets kept",
         [](auto& ed, auto& t) {
             ed.set_key(t[0], BeatRows{3}, 25, 9);  // A.x at beat 8 1/3
             const KeyBlock b = ed.copy(t, 0, 1, BeatRows{3}, 24, 26);
             return ed.delete_keys(t, 0, 1, BeatRows{3}, 25, 25) && ed.paste(t, 2, BeatRows{6}, 12, b);
         },
         a_x, {{0, 1}, {2, 1}, {static_cast<float>(7.0 / 3), 9}, {4, 2}}, 3},
    };
    for (const Row& r : rows) {
        Fixture f;
        TrackEditor ed(f.demo);
        const std::vector<Track> t = tracks_at(f.demo, 8, {});
        ASSERT_EQ(t.size(), 4u);
        ASSERT_TRUE(r.edit(ed, t)) << r.name;
        EXPECT_EQ(f.points(0, "x"), r.a_x) << r.name;
        EXPECT_EQ(f.points(1, "x"), r.b_x) << r.name;
        EXPECT_TRUE(ed.unsaved()) << r.name;
        int edits = 0;
        while (ed.undo()) ++edits;
        EXPECT_EQ(edits, r.edits) << r.name;
        EXPECT_EQ(f.points(0, "x"), a_x) << r.name << ": undone";
        EXPECT_EQ(f.points(1, "x"), b_x) << r.name << ": undone";
        EXPECT_FALSE(ed.unsaved()) << r.name;
        while (ed.redo()) {
        }
        EXPECT_EQ(f.points(0, "x"), r.a_x) << r.name << ": redone";
        EXPECT_EQ(f.points(1, "x"), r.b_x) << r.name << ": redone";
    }
}

TEST(TrackEditor, TripletKeysPlayOnTheirBeats) {
    for (const float start : {0.0f, 8.0f, 0.5f, 3.25f}) {
        Fixture f;
        f.demo.events[0]->start_beat = start;
        TrackEditor ed(f.demo);
        const Track a_y = tracks_at(f.demo, 20, {})[1];
        ASSERT_TRUE(ed.set_mode(a_y, ControlPointCurve::mode_last_value));
        for (int64_t k = 60; k < 66; ++k) {
            ASSERT_TRUE(ed.set_key(a_y, BeatRows{3}, k, static_cast<float>(k)));
            const float beat = BeatRows{3}.beat_of(k);  // what the clock shows on the row
            EXPECT_EQ(track_value(f.demo, a_y, beat), static_cast<float>(k)) << start << " row " << k;
            EXPECT_EQ(track_value(f.demo, a_y, std::nextafter(beat, 0.0f)), k == 60 ? 5.0f : k - 1.0f);
            EXPECT_EQ(ed.key_at(a_y, BeatRows{3}, k), f.points(0, "y").size() - 1);
        }
    }
}

TEST(TrackEditor, SavedStateFollowsUndo) {
    Fixture f;
    TrackEditor ed(f.demo);
    const Track t = tracks_at(f.demo, 8, {})[0];
    ed.set_key(t, BeatRows{4}, 40, 2);
    ed.mark_saved();
    EXPECT_FALSE(ed.unsaved());
    ed.undo();
    EXPECT_TRUE(ed.unsaved()) << "undoing past a save leaves the file behind";
    ed.redo();
    EXPECT_FALSE(ed.unsaved());
    ed.nudge_key(t, BeatRows{4}, 40, 1);
    ed.mark_saved();
    ed.nudge_key(t, BeatRows{4}, 40, 1);
    EXPECT_TRUE(ed.unsaved()) << "a nudge merged into a saved edit is not saved";
    EXPECT_FALSE(ed.set_mode(t, 7)) << "a mode the document does not have";
    f.points(0, "x").push_back({6, 0, "text"});
    EXPECT_FALSE(ed.set_key(t, BeatRows{4}, 44, 2)) << "a curve of texts";
    EXPECT_EQ(ed.touched(), (std::vector<CurveId>{{0, "x"}}));
}

TEST(Tracks, PinsAndGroupMembersThroughTheirPlayer) {
    Fixture f;
    EventGroup group;
    group.events = {f.demo.events[0].get()};  // A, from beat 8
    auto player = std::make_unique<Event>();
    player->type = Event::type_group;
    player->group = &group;
    player->name = "P";
    player->start_beat = 100;
    player->end_beat = 120;
    player->curves["A.x"] = test::constant(1);
    f.demo.events.push_back(std::move(player));

    const size_t pins[] = {2};
    const std::vector<Track> t = tracks_at(f.demo, 0, pins);
    std::vector<std::string> labels;
    for (const Track& x : t) labels.push_back(track_label(f.demo, x));
    EXPECT_EQ(labels, (std::vector<std::string>{"P.A.x", "A.x", "A.y", "B.x", "B.y"}));
    EXPECT_EQ(t[1].player, 2u);
    // A's beat 4 plays at the player's beat 104.
    EXPECT_EQ(curve_beat(f.demo, t[1], 104), 4.0f);
    EXPECT_EQ(clock_beat(f.demo, t[1], 4), 104.0);
    EXPECT_EQ(track_value(f.demo, t[1], 104), 2.0f);
}

TEST(TrackPanel, CursorTypingAndBlocks) {
    Fixture f;
    TrackPanel p(f.demo);
    p.refresh();
    ASSERT_EQ(p.tracks().size(), 2u) << "only B plays at beat 0";
    p.select_track(1);
    p.move(CursorStep::bar, 2);  // beat 8, where A comes in before B
    EXPECT_EQ(track_label(f.demo, p.tracks()[*p.cursor_track()]), "B.y") << "the cursor keeps its track";
    p.select_track(-1);
    for (char c : std::string("-1.5.x")) p.type(c);
    EXPECT_EQ(p.typed(), "-1.5");
    ASSERT_TRUE(p.enter());
    EXPECT_EQ(f.points(1, "x"), (std::vector<ControlPoint>{{0, 1}, {4, 2}, {8, -1.5f}}));

    p.set_rows_per_beat(3);
    EXPECT_EQ(p.cursor_row(), 24);
    p.move(CursorStep::row, 2, true);
    p.select_track(-2, true);  // A.x to B.x, beats 8 to 8 2/3
    const TrackPanel::Block b = p.selection();
    EXPECT_EQ((std::vector<int64_t>{int64_t(b.first), int64_t(b.last), b.from, b.to}),
              (std::vector<int64_t>{0, 3, 24, 26}));
    p.copy();
    p.move(CursorStep::beat, 1);  // beat 9, track A.x
    ASSERT_TRUE(p.paste());
    EXPECT_EQ(f.points(0, "x"), (std::vector<ControlPoint>{{0, 1}, {1, 1}, {4, 2}}));
    EXPECT_EQ(f.points(1, "x"), (std::vector<ControlPoint>{{0, 1}, {4, 2}, {8, -1.5f}, {9, -1.5f}}));
    EXPECT_TRUE(p.undo());
    EXPECT_EQ(f.points(0, "x"), (std::vector<ControlPoint>{{0, 1}, {4, 2}}));
}

TEST(FlyCamera, RecordedAtTwoRowsMovesTheCameraBetweenThem) {
    Fixture f;  // A starts at beat 8 and has no camera curves
    Camera base;
    base.position = {0, 0, 10};
    base.direction = {0, 0, 0};  // a point looked at, 10 ahead
    FlyCamera fly(base);
    TrackEditor ed(f.demo);
    const Track a{{0, {}}, std::nullopt, false};
    ASSERT_TRUE(ed.set_keys(a, BeatRows{4}, 40, fly.camera_keys(), fly.start_camera_keys()));  // beat 10
    fly.move({0, 0, 1}, 4);  // forward, down -z
    ASSERT_TRUE(ed.set_keys(a, BeatRows{4}, 48, fly.camera_keys(), fly.start_camera_keys()));  // beat 12
    struct Row { float beat, position_z, direction_z; };
    for (const Row r : {Row{9, 10, 0}, Row{10, 10, 0}, Row{11, 8, -2}, Row{12, 6, -4}}) {
        const SceneKeys k = scene_keys(*f.demo.events[0], r.beat);
        EXPECT_FLOAT_EQ(k.camera[2].value_or(-99), r.position_z) << r.beat;
        EXPECT_FLOAT_EQ(k.camera[5].value_or(-99), r.direction_z) << r.beat;
    }
    ed.undo();
    ed.undo();
    EXPECT_EQ(f.demo.events[0]->find_curve("camera_position_z"), nullptr) << "made curves go with their undo";
}

}  // namespace
}  // namespace qh::quill
