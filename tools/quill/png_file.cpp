#include "png_file.h"

#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstddef>
#include <cstring>
#include <stdexcept>
#include <string>

namespace qh::quill {

bool encode_png(std::FILE* file, const uint8_t* rgba, int width, int height) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    // The library reports failures by jumping back here; nothing below keeps
    // state across that jump.
    if (!info || setjmp(png_jmpbuf(png)) != 0) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, file);
    png_set_compression_level(png, 1);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    const size_t stride = static_cast<size_t>(width) * 4;
    for (int y = 0; y < height; ++y) png_write_row(png, const_cast<png_bytep>(rgba + static_cast<size_t>(y) * stride));
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return std::ferror(file) == 0;
}

void write_png_file(const std::filesystem::path& path, const uint8_t* rgba, int width, int height) {
    const std::filesystem::path part = path.string() + ".part";
    std::FILE* file = std::fopen(part.string().c_str(), "wb");
    if (!file) throw std::runtime_error("cannot write " + part.string() + ": " + std::strerror(errno));
    const bool encoded = encode_png(file, rgba, width, height);
    if (std::fclose(file) != 0 || !encoded) throw std::runtime_error("cannot write " + part.string());
    std::filesystem::rename(part, path);
}

}  // namespace qh::quill
