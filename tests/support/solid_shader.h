#pragma once
// The one-colour fragment shader the tests of several tiers draw with.
#include <string>

namespace qh::test {

// Every pixel `colour`, a GLSL vec4 expression ("vec4(1.0, 0.0, 0.0, 0.5)").
inline std::string solid_shader(const std::string& colour) {
    return "#version 150\nout vec4 fragColor;\nvoid main() { fragColor = " + colour + "; }\n";
}

}  // namespace qh::test
