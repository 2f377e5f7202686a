// Text values of text curves: which point is current, the beat placeholders,
// typing, and the override a group's playing event gives its members.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/curves.h"
#include "support/sample_demo.h"
#include "timeline/event.h"
#include "timeline/text_value.h"

namespace qh {
namespace {

using test::curve_of;

ControlPoint at(float beat, std::string text) { return {beat, 0, std::move(text)}; }

struct TextRow {
    const char* name;
    std::vector<ControlPoint> points;
    float start, end;  // the event's window
    float beat;        // in the event's beats
    float clock;       // the frame's beat
    int32_t chars_per_beat;
    std::string expected;
};
void PrintTo(const TextRow& row, std::ostream* os) { *os << row.name; }

class TextValue : public testing::TestWithParam<TextRow> {};

TEST_P(TextValue, Text) {
    const TextRow& row = GetParam();
    Event e;
    e.start_beat = row.start;
    e.end_beat = row.end;
    e.curves["title"] = curve_of(row.points);
    EXPECT_EQ(text_value(e, "title", row.beat, row.chars_per_beat, row.clock), row.expected);
}

const std::vector<ControlPoint> hello_world = {at(0, "Hello"), at(4, "World")};

INSTANTIATE_TEST_SUITE_P(
    Placeholders, TextValue,
    testing::Values(
        TextRow{"beat_only_first_occurrence", {at(0, "Beat <BEAT> / <BEAT>")}, 0, 10, 1, 3, -1,
                "Beat 3.000000 / <BEAT>"},
        TextRow{"ibeat_minus_half_is_zero", {at(0, "<IBEAT>")}, 0, 10, 1, -0.5f, -1, "0"},
        TextRow{"ibeat_minus_one_and_half", {at(0, "<IBEAT>")}, 0, 10, 1, -1.5f, -1, "-1"},
        TextRow{"ibeat_truncates_down_toward_zero", {at(0, "<IBEAT>")}, 0, 10, 1, 7.99f, -1, "7"},
        TextRow{"beat_negative", {at(0, "<BEAT>")}, 0, 10, 1, -2.25f, -1, "-2.250000"},
        // Past the 32-bit range the integer is still the exact truncation.
        TextRow{"ibeat_beyond_int_range", {at(0, "<IBEAT>")}, 0, 10, 1, 1e10f, -1, "10000000000"},
        TextRow{"ibeat_not_consumed_by_beat", {at(0, "<IBEAT>|<BEAT>")}, 0, 10, 1, 2.5f, -1,
                "2|2.500000"},
        TextRow{"cp_is_relative_and_icp_untouched", {at(2.75f, "<ICP> <CP>")}, 8, 20, 11, 0, -1,
                "2 2.750000"},
        TextRow{"acp_and_iacp_absolute", {at(2.75f, "<IACP> <ACP>")}, 8, 20, 11, 0, -1,
                "10 10.750000"},
        TextRow{"negative_event_start", {at(0.25f, "<ACP>/<IACP>")}, -8, 0, -7, 0, -1,
                "-7.750000/-7"},
        TextRow{"absolute_point_just_below_zero", {at(0.25f, "<IACP>")}, -1, 0, -0.5f, 0, -1, "0"},
        // Members of a group are evaluated at a shifted beat; <BEAT> still
        // shows the clock's.
        TextRow{"beat_is_the_clock_not_the_event_beat", {at(0, "<BEAT>")}, 16, 20, 17, 101, -1,
                "101.000000"},
        TextRow{"all_six_in_order", {at(1, "<BEAT><IBEAT><CP><ICP><ACP><IACP>")}, 2, 10, 3, 4.5f,
                -1, "4.5000004" "1.0000001" "3.0000003"},
        TextRow{"each_replaced_once", {at(0, "<CP><CP><ICP><ICP>")}, 0, 10, 1, 0, -1,
                "0.000000<CP>0<ICP>"}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    CurrentPoint, TextValue,
    testing::Values(
        TextRow{"before_window", hello_world, 10, 20, 9.99f, 0, -1, ""},
        TextRow{"after_window", hello_world, 10, 20, 20.01f, 0, -1, ""},
        TextRow{"end_of_window_is_inside", hello_world, 10, 20, 20, 0, -1, "World"},
        TextRow{"before_first_point", {at(1, "late")}, 0, 10, 0.5f, 0, -1, ""},
        TextRow{"no_points", {}, 0, 10, 1, 0, -1, ""},
        TextRow{"number_point_has_no_text", {{0, 3.5f}}, 0, 10, 1, 0, -1, ""},
        TextRow{"same_beat_later_point_wins", {at(1, "first"), at(1, "second")}, 0, 10, 1, 0, -1,
                "second"},
        // The whole list is searched: an unsorted later point at an earlier
        // beat is the current one.
        TextRow{"unsorted_last_match_in_list", {at(0, "A"), at(3, "B"), at(1, "C")}, 0, 10, 2, 0,
                -1, "C"}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Typing, TextValue,
    testing::Values(
        TextRow{"first_byte_at_the_point", hello_world, 0, 10, 0, 0, 1, "H"},
        TextRow{"f_1_25_shows_two", hello_world, 0, 10, 1, 0, 1, "He"},
        TextRow{"f_2_5_shows_three", hello_world, 0, 10, 2, 0, 1, "Hel"},
        TextRow{"complete_before_next_point", hello_world, 0, 10, 3.9f, 0, 1, "Hello"},
        TextRow{"last_point_never_typed", hello_world, 0, 10, 4, 0, 1, "World"},
        TextRow{"two_per_beat_complete_halfway", hello_world, 0, 10, 2, 0, 2, "Hello"},
        TextRow{"two_per_beat_quarter_way", hello_world, 0, 10, 1, 0, 2, "Hel"},
        TextRow{"zero_rate_first_byte_only", hello_world, 0, 10, 3.9f, 0, 0, "H"},
        TextRow{"minus_one_disables", hello_world, 0, 10, 0, 0, -1, "Hello"},
        TextRow{"event_start_offsets_the_span", hello_world, 10, 20, 11, 0, 1, "He"},
        // A negative k compares as a huge unsigned length: the whole text.
        TextRow{"negative_rate_whole_text", hello_world, 0, 10, 1, 0, -3, "Hello"},
        TextRow{"negative_rate_at_point_first_byte", hello_world, 0, 10, 0, 0, -3, "H"},
        // f beyond the 32-bit range counts as the most negative integer.
        TextRow{"huge_rate_whole_text", hello_world, 0, 10, 1, 0, 2147483647, "Hello"},
        // The length is taken after the placeholders are filled in.
        TextRow{"typed_after_replacement", {at(0, "<IBEAT>"), at(4, "")}, 0, 10, 1, 12345, 1,
                "12"}),
    [](const auto& info) { return std::string(info.param.name); });

// --- the text of a text texture, with a group's override --------------------

struct OverrideRow {
    const char* name;
    bool with_parent;
    const char* override_name;  // the parent's curve, or null for none
    std::vector<ControlPoint> override_points;
    float beat;  // the member's (group) beat
    std::string expected;
    int32_t chars_per_beat = no_typing;  // the texture's
};
void PrintTo(const OverrideRow& row, std::ostream* os) { *os << row.name; }

class TextForTexture : public testing::TestWithParam<OverrideRow> {};

// Member "Intro" over 16..30 with its own curve "title"; the playing event
// over 100..110 may carry "Intro.title" with points at 0 and 2.
TEST_P(TextForTexture, Text) {
    const OverrideRow& row = GetParam();
    auto [member, parent] = test::member_and_player(110);
    member.curves["title"] = curve_of({at(0, "own")});
    if (row.override_name) parent.curves[row.override_name] = curve_of(row.override_points);

    std::string out = "stale";
    text_for_texture(member, row.with_parent ? &parent : nullptr, "title", row.chars_per_beat, row.beat,
                     0, out);
    EXPECT_EQ(out, row.expected);
}

const std::vector<ControlPoint> two_override_points = {at(0, "first"), at(2, "second <ACP>")};

INSTANTIATE_TEST_SUITE_P(
    Rows, TextForTexture,
    testing::Values(
        OverrideRow{"own_curve_without_parent", false, "Intro.title", two_override_points, 17, "own"},
        OverrideRow{"override_at_time_since_member_start", true, "Intro.title", two_override_points,
                    17, "first"},
        OverrideRow{"override_evaluated_for_the_parent", true, "Intro.title", two_override_points,
                    18.5f, "second 102.000000"},
        // One beat into the override's two-beat span, at one character a
        // beat: floor(1 / 2 * 5) + 1 of "first".
        OverrideRow{"override_typed_over_its_own_span", true, "Intro.title", two_override_points, 17,
                    "fir", 1},
        OverrideRow{"override_without_points_is_empty", true, "Intro.title", {}, 17, ""},
        OverrideRow{"other_member_name_not_used", true, "Outro.title", two_override_points, 17, "own"},
        OverrideRow{"other_texture_name_not_used", true, "Intro.subtitle", two_override_points, 17,
                    "own"},
        OverrideRow{"name_prefix_is_not_a_match", true, "Intro.titles", two_override_points, 17,
                    "own"},
        OverrideRow{"parent_without_override_uses_own", true, nullptr, {}, 17, "own"},
        OverrideRow{"member_outside_its_window", true, "Intro.title", two_override_points, 30.5f, ""},
        // 27 maps to 111 for the parent, past its end.
        OverrideRow{"override_outside_parent_window", true, "Intro.title", two_override_points, 27,
                    ""}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qh
