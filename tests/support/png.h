#pragma once
// Images made in code, for the tests' textures.
#include <cstdint>
#include <vector>

namespace qh::test {

// A PNG of width x height opaque pixels of one colour, encoded by the image library.
std::vector<uint8_t> solid_png(int width, int height, uint8_t r, uint8_t g, uint8_t b);

}  // namespace qh::test
