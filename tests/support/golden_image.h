#pragma once
// Rendered pictures against golden PNGs (tests/golden/), with tolerances
// that survive another Mesa or LLVM version but not a changed picture.
//
//   RgbImage actual = read_png(frame), golden = read_png(golden_path);
//   ImageDifference d = compare_images(actual, golden);   // same size only
//   if (d.mean > 1.0 || d.largest > 40) {
//       write_png(dir / "x-actual.png", actual);
//       write_png(dir / "x-diff.png", difference_image(actual, golden));
//   }
#include <cstdint>
#include <filesystem>
#include <vector>

namespace qh::test {

struct RgbImage {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;  // rows top first, 3 bytes a pixel
};

// Any PNG the image library reads, as 8-bit RGB (alpha dropped); throws
// std::runtime_error saying which file and why when it cannot be read.
RgbImage read_png(const std::filesystem::path& file);
void write_png(const std::filesystem::path& file, const RgbImage& image);

struct ImageDifference {
    // The mean absolute difference of one channel, over every channel of
    // every pixel (0 to 255).
    double mean = 0;
    // The largest difference (the channel furthest apart) between a pixel
    // and the closest pixel of the other image at most one pixel away, both
    // ways round: an edge that moved by one pixel counts nothing, a shape
    // that moved further, appeared or vanished counts fully.
    int largest = 0;
};

// `a` and `b` must have the same size (std::invalid_argument otherwise).
ImageDifference compare_images(const RgbImage& a, const RgbImage& b);

// |a - b| per channel, multiplied by `gain` and clipped, so that small
// differences show.
RgbImage difference_image(const RgbImage& a, const RgbImage& b, int gain = 8);

}  // namespace qh::test
