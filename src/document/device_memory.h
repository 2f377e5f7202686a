#pragma once
// How much device memory a document asks for, worked out from what its
// records declare, with no device: the line `quill check` prints, and the
// budget the text textures are held to while loading (a text texture chooses
// its own size, so a few bytes of package could ask for gigabytes).
//
//   const ScreenSize screen = ScreenSize::from_desktop_width(1920);
//   DeviceMemory m = device_memory(demo, screen);
//   describe(m);   // "9.6 MiB (text textures 16.0 KiB, images 16 B, ...)"
//
//   const uint64_t budget = text_texture_budget();  // ContentError when the variable is malformed
//   if (auto over = text_texture_overrun(demo, budget)) fail(over->message);
//
// Textures count 4 bytes a texel (RGBA8; a shadow target's depth as well);
// what a driver adds of its own (alignment, copies) is not counted. The
// player's own objects count too: they are made before any record's.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/runtime.h"

namespace qh {

class Demo;
class FontTexture;

struct DeviceMemory {
    uint64_t text_textures = 0;   // the declared sizes that can be drawn
    uint64_t images = 0;          // texture records and models' images (and mipmaps), as their headers give
    uint32_t unsized_images = 0;  // images whose header gives no usable size: not counted
    uint64_t model_buffers = 0;   // the models' glTF buffers and the copies of sparse accessors and morphed primitives
    uint64_t shadow_targets = 0;  // one per scene
    uint64_t render_targets = 0;  // each drawing effect's colour target, and its screen copy
    uint64_t player_own = 0;      // the sound texture, the loading screen's logo and target
    int32_t render_width = 0;     // the size the render targets were counted at
    int32_t render_height = 0;

    uint64_t total() const;
};

DeviceMemory device_memory(const Demo& demo, const ScreenSize& screen);

// "9.6 MiB (text textures 16.0 KiB, images 16 B, model buffers 648 B,
// shadow targets 0 B, render targets at 1280 x 720 7.0 MiB, the player's own
// 4.5 MiB)".
std::string describe(const DeviceMemory& memory);
// "512 B", "16.0 KiB", "1.3 GiB": binary units, one decimal.
std::string format_bytes(uint64_t bytes);

// What one text texture takes on the device: width x height x 4 when its
// size can be drawn (FontTexture::has_drawable_size), else nothing.
uint64_t text_texture_bytes(const FontTexture& texture);

// ---- The text texture budget ----------------------------------------------

inline constexpr const char* text_texture_budget_variable = "QUILLHARBOR_TEXT_TEXTURE_BUDGET";
inline constexpr uint64_t default_text_texture_budget = uint64_t(4) << 30;

// A whole number of bytes, optionally followed by K, M, G or T (either case;
// powers of 1024): "4294967296", "512M", "8g". Nothing else: no sign,
// fraction, space or "B". Empty when malformed or beyond 64 bits.
std::optional<uint64_t> parse_byte_count(std::string_view text);

// The budget from the environment variable; unset or empty: the default.
// A malformed value throws ContentError saying what is accepted.
uint64_t text_texture_budget();

// The first text texture, in table order, that takes their running total
// past `budget`: every text texture from it on cannot be made.
struct TextTextureOverrun {
    const FontTexture* record = nullptr;
    std::string reason;   // its size, the total it reaches and the budget
    std::string message;  // the same, naming the record first
};
std::optional<TextTextureOverrun> text_texture_overrun(const Demo& demo, uint64_t budget);

}  // namespace qh
