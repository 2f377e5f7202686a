#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "package/binary_stream.h"
#include "package/errors.h"
#include "timeline/control_point_curve.h"
#include "support/curves.h"

namespace qh {
namespace {

using test::curve_of;

constexpr int32_t last_value = ControlPointCurve::mode_last_value;
constexpr int32_t linear = ControlPointCurve::mode_linear;
constexpr int32_t smooth = ControlPointCurve::mode_smooth;

struct EvalRow {
    const char* name;
    std::vector<ControlPoint> points;
    int32_t mode;
    bool repeat;
    float start, end;  // the event's window
    float beat;        // absolute
    float expected;
};
void PrintTo(const EvalRow& row, std::ostream* os) { *os << row.name; }

// Catmull-Rom on the segment (p1, p2) at u = 0.5, for the neighbour rows.
float spline_mid(float p0, float p1, float p2, float p3) {
    const float u = 0.5f;
    return 0.5f * (2 * p1 + (p2 - p0) * u + (2 * p0 - 5 * p1 + 4 * p2 - p3) * u * u +
                   (3 * p1 - p0 - 3 * p2 + p3) * u * u * u);
}

const std::vector<ControlPoint> two_points = {{0, 1}, {4, 5}};
const std::vector<ControlPoint> wave = {{0, 0}, {1, 1}, {2, 0}, {3, 1}};

class CurveEvaluation : public testing::TestWithParam<EvalRow> {};

TEST_P(CurveEvaluation, Value) {
    const EvalRow& row = GetParam();
    const ControlPointCurve c = curve_of(row.points, row.mode, row.repeat);
    EXPECT_NEAR(evaluate_curve(&c, row.start, row.end, row.beat), row.expected, 1e-5f);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, CurveEvaluation,
    testing::Values(
        EvalRow{"linear_inside_window", two_points, linear, false, 10, 20, 12, 3},
        EvalRow{"linear_just_before_window", two_points, linear, false, 10, 20, 9.99f, 0},
        EvalRow{"linear_just_after_window", two_points, linear, false, 10, 20, 20.01f, 0},
        EvalRow{"linear_holds_up_to_end_beat", two_points, linear, false, 10, 20, 20, 5},
        EvalRow{"linear_at_window_start", two_points, linear, false, 10, 20, 10, 1},
        EvalRow{"linear_repeat_follows_line_to_first_point", two_points, linear, true, 10, 20, 16,
                7},
        EvalRow{"single_point_before_it", {{2, 7}}, linear, false, 0, 10, 1.5f, 0},
        EvalRow{"single_point_linear", {{2, 7}}, linear, false, 0, 10, 2, 7},
        EvalRow{"single_point_smooth", {{2, 7}}, smooth, false, 0, 10, 6, 7},
        EvalRow{"single_point_last_value", {{2, 7}}, last_value, false, 0, 10, 9, 7},
        EvalRow{"single_point_repeat_smooth", {{2, 7}}, smooth, true, 0, 10, 6, 7},
        EvalRow{"before_first_point_last_value", {{1, 4}, {2, 6}}, last_value, false, 0, 10, 0.5f,
                0},
        EvalRow{"step_just_before_point", {{0, 1}, {1, 2}}, last_value, false, 0, 10, 0.999f, 1},
        EvalRow{"step_at_point", {{0, 1}, {1, 2}}, last_value, false, 0, 10, 1, 2},
        EvalRow{"smooth_worked_value", wave, smooth, false, 0, 10, 1.5f, 0.5f},
        // First segment: prev is the point itself, so p0 = p1.
        EvalRow{"smooth_first_segment", wave, smooth, false, 0, 10, 0.5f,
                spline_mid(0, 0, 1, 0)},
        // After the last point with repeat: next wraps to 0 (d = -2, u = -0.25),
        // next2 to 1 and prev is 1.
        EvalRow{"smooth_repeat_after_last", {{0, 0}, {1, 1}, {2, 0}}, smooth, true, 0, 10, 2.5f,
                0.15625f},
        // prev lies 0.04 before cur: too close, so p0 = p1.
        EvalRow{"smooth_prev_too_close", {{0, 10}, {0.04f, 0}, {1.04f, 1}, {2.04f, 0}}, smooth,
                false, 0, 10, 0.54f, spline_mid(0, 0, 1, 0)},
        EvalRow{"smooth_prev_far_enough", {{0, 10}, {0.5f, 0}, {1.5f, 1}, {2.5f, 0}}, smooth,
                false, 0, 10, 1.0f, spline_mid(10, 0, 1, 0)},
        // The gap is a float widened to double: 0.05f is a little above 0.05...
        EvalRow{"smooth_prev_gap_of_0_05f_is_far_enough", {{0, 10}, {0.05f, 0}, {1.05f, 1},
                {2.05f, 0}}, smooth, false, 0, 10, 0.55f, spline_mid(10, 0, 1, 0)},
        // ...while 1.05f - 1 is a little below it.
        EvalRow{"smooth_prev_gap_just_under_0_05_is_too_close", {{1, 10}, {1.05f, 0}, {2.05f, 1},
                {3.05f, 0}}, smooth, false, 0, 10, 1.55f, spline_mid(0, 0, 1, 0)},
        EvalRow{"smooth_next2_too_close", {{0, 0}, {1, 1}, {1.04f, 5}}, smooth, false, 0, 10,
                0.5f, spline_mid(0, 0, 1, 1)},
        EvalRow{"unknown_mode_at_point", two_points, 5, false, 0, 10, 0, 0},
        EvalRow{"unknown_mode_between_points", two_points, 5, false, 0, 10, 2, 0},
        EvalRow{"negative_mode", two_points, -1, false, 0, 10, 4, 0},
        // Stored order rules: the walk stops at the first later point after
        // the current one, even if an earlier beat follows.
        EvalRow{"unsorted_walk_stops_at_first_later_point", {{0, 1}, {5, 2}, {1, 3}}, linear,
                false, 0, 10, 2, 1.4f},
        EvalRow{"same_beat_later_point_wins", {{0, 1}, {2, 5}, {2, 9}}, linear, false, 0, 10, 3,
                9},
        EvalRow{"nan_beat", two_points, linear, false, 0, 10,
                std::numeric_limits<float>::quiet_NaN(), 0}),
    [](const testing::TestParamInfo<EvalRow>& info) { return std::string(info.param.name); });

TEST(CurveEvaluationEdges, MissingOrEmptyCurveIsZero) {
    const ControlPointCurve empty;
    EXPECT_EQ(evaluate_curve(nullptr, 0, 10, 5), 0.0f);
    EXPECT_EQ(evaluate_curve(&empty, 0, 10, 5), 0.0f);
}

// The binary form of the curve (its name belongs to the event).
TEST(ControlPointCurveForms, BinaryRoundTripZeroesTextPointValues) {
    const ControlPointCurve c =
        curve_of({{0, 1.5f}, {2.25f, 9, "Hello <BEAT>"}, {4, -3}}, smooth, true);
    BinaryWriter w;
    c.write_binary(w);
    BinaryReader r(w.bytes());
    ControlPointCurve back;
    back.read_binary(r);
    EXPECT_EQ(r.remaining(), 0u);

    ControlPointCurve expected = c;
    expected.control_points[1].value = 0;  // a text point reads back with value 0
    EXPECT_EQ(back, expected);
}

TEST(ControlPointCurveForms, JsonRoundTrip) {
    const ControlPointCurve c = curve_of({{0, 1.1f}, {0.3f, 0, "text"}, {7.7f, -2.2f}}, last_value);
    ControlPointCurve back;
    back.from_json(c.to_json());
    EXPECT_EQ(back, c);

    const JsonValue j = c.to_json();
    EXPECT_TRUE(j["control_points"][0].contains("value"));
    EXPECT_FALSE(j["control_points"][1].contains("value"));  // text points carry no value
    EXPECT_TRUE(j["control_points"][0]["beat"].is_number_float());
}

TEST(ControlPointCurveForms, ReadingReplacesEarlierContent) {
    ControlPointCurve c = curve_of({{1, 1}}, smooth, true);
    c.from_json(JsonValue::parse(R"({"mode": 1})"));
    EXPECT_EQ(c, curve_of({}, linear));
}

struct JsonReadRow {
    const char* name;
    const char* json;
    ControlPointCurve expected;
};
void PrintTo(const JsonReadRow& row, std::ostream* os) { *os << row.name; }

class CurveJsonReading : public testing::TestWithParam<JsonReadRow> {};

TEST_P(CurveJsonReading, Reads) {
    ControlPointCurve c;
    c.from_json(JsonValue::parse(GetParam().json));
    EXPECT_EQ(c, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, CurveJsonReading,
    testing::Values(
        JsonReadRow{"missing_mode_is_last_value", R"({"control_points": []})",
                    curve_of({}, last_value)},
        JsonReadRow{"floating_mode_reads_0", R"({"mode": 2.0})", curve_of({}, last_value)},
        JsonReadRow{"string_repeat_reads_false", R"({"mode": 1, "repeat": "true"})",
                    curve_of({}, linear)},
        JsonReadRow{"integral_beat_and_value_read_0",
                    R"({"mode": 1, "control_points": [{"beat": 3, "value": 4}]})",
                    curve_of({{0, 0}}, linear)},
        JsonReadRow{"text_point_ignores_value",
                    R"({"mode": 0, "control_points": [{"beat": 1.0, "text": "hi", "value": 4.0}]})",
                    curve_of({{1, 0, "hi"}}, last_value)},
        JsonReadRow{"non_object_point_is_zero",
                    R"({"mode": 1, "control_points": [5, {"beat": 1.0, "value": 2.0}]})",
                    curve_of({{0, 0}, {1, 2}}, linear)},
        JsonReadRow{"control_points_not_array", R"({"mode": 1, "control_points": {}})",
                    curve_of({}, linear)},
        JsonReadRow{"not_an_object", R"([1, 2])", curve_of({}, last_value)}),
    [](const testing::TestParamInfo<JsonReadRow>& info) { return std::string(info.param.name); });

TEST(ControlPointCurveForms, HugePointCountIsRejectedBeforeAllocating) {
    BinaryWriter w;
    w.write_i32(1);
    w.write_bool(false);
    w.write_u64(uint64_t{1} << 60);
    w.write_f32(0);
    BinaryReader r(w.bytes());
    ControlPointCurve c;
    EXPECT_THROW(c.read_binary(r), FormatError);
}

struct LintRow {
    const char* name;
    const char* json;
    const char* expected;  // a part of one warning; null for none
};
void PrintTo(const LintRow& row, std::ostream* os) { *os << row.name; }

class CurveJsonLint : public testing::TestWithParam<LintRow> {};

TEST_P(CurveJsonLint, Warns) {
    std::vector<std::string> warnings;
    lint_curve_json(JsonValue::parse(GetParam().json), "curve \"a\"", warnings);
    if (!GetParam().expected) {
        EXPECT_TRUE(warnings.empty()) << warnings.front();
        return;
    }
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find(GetParam().expected), std::string::npos) << warnings[0];
    EXPECT_EQ(warnings[0].rfind("curve \"a\"", 0), 0u) << warnings[0];
}

INSTANTIATE_TEST_SUITE_P(
    Rows, CurveJsonLint,
    testing::Values(
        LintRow{"clean",
                R"({"mode": 2, "repeat": true, "control_points": [{"beat": 0.0, "value": 1.0},
                    {"beat": 1.0, "text": "x"}]})",
                nullptr},
        LintRow{"missing_mode", R"({"control_points": []})", "Last value"},
        LintRow{"unknown_mode", R"({"mode": 5})", "0 everywhere"},
        LintRow{"integral_beat", R"({"mode": 1, "control_points": [{"beat": 3, "value": 1.0}]})",
                "write 3.0"},
        LintRow{"integral_value", R"({"mode": 1, "control_points": [{"beat": 3.0, "value": 1}]})",
                "write 1.0"},
        LintRow{"empty_text", R"({"mode": 1, "control_points": [{"beat": 3.0, "text": ""}]})",
                "number point with value 0"},
        LintRow{"value_beside_text",
                R"({"mode": 1, "control_points": [{"beat": 3.0, "text": "a", "value": 2.0}]})",
                "ignored"},
        LintRow{"descending_beats",
                R"({"mode": 1, "control_points": [{"beat": 3.0, "value": 1.0},
                    {"beat": 1.0, "value": 1.0}]})",
                "stored order"},
        LintRow{"string_repeat", R"({"mode": 1, "repeat": "yes"})", "false"},
        LintRow{"not_an_object", R"(3)", "not an object"}),
    [](const testing::TestParamInfo<LintRow>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qh
