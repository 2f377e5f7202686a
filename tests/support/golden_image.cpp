#include "support/golden_image.h"

#include <SDL.h>
#include <SDL_image.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>

namespace qh::test {

namespace {

using Surface = std::unique_ptr<SDL_Surface, decltype(&SDL_FreeSurface)>;

int channel_gap(const RgbImage& a, size_t i, const RgbImage& b, size_t j) {
    int gap = 0;
    for (size_t c = 0; c < 3; ++c) gap = std::max(gap, std::abs(int(a.rgb[i + c]) - int(b.rgb[j + c])));
    return gap;
}

// For each pixel of `a`, the gap to the closest pixel of `b` in its 3 x 3
// neighbourhood; the largest of these.
int largest_neighbourhood_gap(const RgbImage& a, const RgbImage& b) {
    int largest = 0;
    for (int y = 0; y < a.height; ++y) {
        for (int x = 0; x < a.width; ++x) {
            const size_t i = (size_t(y) * size_t(a.width) + size_t(x)) * 3;
            int closest = 256;
            for (int ny = std::max(y - 1, 0); ny <= std::min(y + 1, a.height - 1) && closest > 0; ++ny) {
                for (int nx = std::max(x - 1, 0); nx <= std::min(x + 1, a.width - 1); ++nx) {
                    closest = std::min(closest, channel_gap(a, i, b, (size_t(ny) * size_t(a.width) + size_t(nx)) * 3));
                }
            }
            largest = std::max(largest, closest);
        }
    }
    return largest;
}

void expect_same_size(const RgbImage& a, const RgbImage& b) {
    if (a.width != b.width || a.height != b.height) {
        throw std::invalid_argument("images of different sizes: " + std::to_string(a.width) + "x" +
                                    std::to_string(a.height) + " and " + std::to_string(b.width) + "x" +
                                    std::to_string(b.height));
    }
}

}  // namespace

RgbImage read_png(const std::filesystem::path& file) {
    Surface loaded(IMG_Load(file.c_str()), SDL_FreeSurface);
    if (!loaded) throw std::runtime_error("cannot read " + file.string() + ": " + IMG_GetError());
    Surface rgb(SDL_ConvertSurfaceFormat(loaded.get(), SDL_PIXELFORMAT_RGB24, 0), SDL_FreeSurface);
    if (!rgb) throw std::runtime_error("cannot convert " + file.string() + ": " + SDL_GetError());
    RgbImage image;
    image.width = rgb->w;
    image.height = rgb->h;
    const size_t row = size_t(rgb->w) * 3;
    image.rgb.resize(row * size_t(rgb->h));
    for (int y = 0; y < rgb->h; ++y) {
        std::memcpy(image.rgb.data() + row * size_t(y), static_cast<const uint8_t*>(rgb->pixels) + y * rgb->pitch, row);
    }
    return image;
}

void write_png(const std::filesystem::path& file, const RgbImage& image) {
    Surface s(SDL_CreateRGBSurfaceWithFormatFrom(const_cast<uint8_t*>(image.rgb.data()), image.width, image.height,
                                                 24, image.width * 3, SDL_PIXELFORMAT_RGB24),
              SDL_FreeSurface);
    if (!s || IMG_SavePNG(s.get(), file.c_str()) != 0) {
        throw std::runtime_error("cannot write " + file.string() + ": " + IMG_GetError());
    }
}

ImageDifference compare_images(const RgbImage& a, const RgbImage& b) {
    expect_same_size(a, b);
    ImageDifference d;
    if (a.rgb.empty()) return d;
    uint64_t sum = 0;
    for (size_t i = 0; i < a.rgb.size(); ++i) sum += uint64_t(std::abs(int(a.rgb[i]) - int(b.rgb[i])));
    d.mean = double(sum) / double(a.rgb.size());
    d.largest = std::max(largest_neighbourhood_gap(a, b), largest_neighbourhood_gap(b, a));
    return d;
}

RgbImage difference_image(const RgbImage& a, const RgbImage& b, int gain) {
    expect_same_size(a, b);
    RgbImage d = a;
    for (size_t i = 0; i < a.rgb.size(); ++i) {
        d.rgb[i] = uint8_t(std::min(255, gain * std::abs(int(a.rgb[i]) - int(b.rgb[i]))));
    }
    return d;
}

}  // namespace qh::test
