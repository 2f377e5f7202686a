#pragma once
// Curves as the tests of several tiers write them.
#include <cstdint>
#include <utility>
#include <vector>

#include "timeline/control_point_curve.h"

namespace qh::test {

inline ControlPointCurve curve_of(std::vector<ControlPoint> points, int32_t mode = ControlPointCurve::mode_linear,
                                  bool repeat = false) {
    ControlPointCurve c;
    c.control_points = std::move(points);
    c.mode = mode;
    c.repeat = repeat;
    return c;
}

// A curve that holds `v` from the event's start on.
inline ControlPointCurve constant(float v) { return curve_of({{0, v}}); }

}  // namespace qh::test
