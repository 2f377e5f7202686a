#include "document/device_memory.h"

#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <span>

#include "audio/spectrum.h"
#include "document/demo_tables.h"
#include "package/errors.h"
#include "scene3d/image_header.h"
#include "scene3d/model_layout.h"

namespace qh {

namespace {

constexpr uint64_t bytes_per_texel = 4;

uint64_t texels(int64_t width, int64_t height) {
    return width > 0 && height > 0 ? uint64_t(width) * uint64_t(height) : 0;
}

// A full chain of mipmaps adds just under a third of the image.
void count_image(std::span<const uint8_t> encoded, DeviceMemory& m, bool mipmapped = false) {
    if (encoded.empty()) return;
    const ImageHeader header = read_image_header(encoded);
    if (header.problem.empty()) {
        const uint64_t bytes = texels(header.width, header.height) * bytes_per_texel;
        m.images += mipmapped ? bytes + bytes / 3 : bytes;
    } else {
        ++m.unsized_images;
    }
}

}  // namespace

uint64_t DeviceMemory::total() const {
    return text_textures + images + model_buffers + shadow_targets + render_targets + player_own;
}

uint64_t text_texture_bytes(const FontTexture& t) {
    return t.has_drawable_size() ? texels(t.width, t.height) * bytes_per_texel : 0;
}

DeviceMemory device_memory(const Demo& demo, const ScreenSize& screen) {
    DeviceMemory m;
    m.render_width = screen.render_width;
    m.render_height = screen.render_height;
    for (const auto& t : demo.font_textures) {
        if (t) m.text_textures += text_texture_bytes(*t);
    }
    for (const auto& t : demo.textures) {
        if (t && t->image_buffer) count_image(t->image_buffer->data, m);
    }
    for (const auto& model : demo.models) {
        if (!model || !model->parsed) continue;
        const ModelLayout layout = build_model_layout(model->gltf);
        for (size_t i = 0; i < model->gltf.images.size(); ++i) {
            const bool mipmapped = i < layout.mipmapped_images.size() && layout.mipmapped_images[i];
            count_image(model->gltf.images[i].image, m, mipmapped);
        }
        for (const tinygltf::Buffer& buffer : model->gltf.buffers) m.model_buffers += buffer.data.size();
        for (const auto& copy : layout.copied_buffers) m.model_buffers += copy.size();
    }
    // The size realize will make (Scene::default_shadow_size unless changed).
    for (const auto& s : demo.scenes) {
        if (s) m.shadow_targets += texels(s->gpu.shadow_width, s->gpu.shadow_height) * bytes_per_texel;
    }
    // Only an effect with a program makes a target; a copy of the screen is
    // made for feedback and for a screen texture alike.
    const uint64_t target = texels(screen.render_width, screen.render_height) * bytes_per_texel;
    for (const auto& e : demo.effects) {
        if (!e || !e->program) continue;
        m.render_targets += target * ((e->feedback || e->screen_texture) ? 2 : 1);
    }
    m.player_own = texels(SpectrumState::width, SpectrumState::height) * bytes_per_texel +
                   texels(loader_logo_side, loader_logo_side) * bytes_per_texel + target;
    return m;
}

std::string format_bytes(uint64_t bytes) {
    if (bytes < 1024) return std::to_string(bytes) + " B";
    static const char* const units[] = {"KiB", "MiB", "GiB", "TiB", "PiB", "EiB"};
    double value = double(bytes) / 1024;
    size_t unit = 0;
    while (value >= 1024 && unit + 1 < std::size(units)) {
        value /= 1024;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1f %s", value, units[unit]);
    return text;
}

std::string describe(const DeviceMemory& m) {
    std::string images = format_bytes(m.images);
    if (m.unsized_images > 0)
        images += " and " + std::to_string(m.unsized_images) + " of a size no header gives";
    return format_bytes(m.total()) + " (text textures " + format_bytes(m.text_textures) + ", images " +
           images + ", model buffers " + format_bytes(m.model_buffers) + ", shadow targets " +
           format_bytes(m.shadow_targets) + ", render targets at " + std::to_string(m.render_width) +
           " x " + std::to_string(m.render_height) + " " + format_bytes(m.render_targets) + ", the player's own " +
           format_bytes(m.player_own) + ")";
}

std::optional<uint64_t> parse_byte_count(std::string_view text) {
    if (text.empty()) return std::nullopt;
    int shift = 0;
    switch (text.back()) {
        case 'K': case 'k': shift = 10; break;
        case 'M': case 'm': shift = 20; break;
        case 'G': case 'g': shift = 30; break;
        case 'T': case 't': shift = 40; break;
        default: break;
    }
    if (shift != 0) text.remove_suffix(1);
    if (text.empty()) return std::nullopt;
    uint64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        const uint64_t digit = uint64_t(c - '0');
        if (value > (UINT64_MAX - digit) / 10) return std::nullopt;
        value = value * 10 + digit;
    }
    if (value > (UINT64_MAX >> shift)) return std::nullopt;
    return value << shift;
}

uint64_t text_texture_budget() {
    const char* value = std::getenv(text_texture_budget_variable);
    if (!value || !*value) return default_text_texture_budget;
    if (const auto budget = parse_byte_count(value)) return *budget;
    throw ContentError(std::string(text_texture_budget_variable) + " is \"" + value +
                       "\": give a whole number of bytes, optionally followed by K, M, G or T "
                       "(powers of 1024), such as 8G");
}

std::optional<TextTextureOverrun> text_texture_overrun(const Demo& demo, uint64_t budget) {
    uint64_t total = 0;
    for (const auto& t : demo.font_textures) {
        if (!t) continue;
        const uint64_t bytes = text_texture_bytes(*t);
        total += bytes;
        if (total <= budget) continue;
        std::string reason = "asks for " + std::to_string(t->width) + " x " + std::to_string(t->height) +
                             " (" + format_bytes(bytes) + "), which takes the text textures to " +
                             format_bytes(total) + ", over their budget of " + format_bytes(budget) +
                             " (" + text_texture_budget_variable + ")";
        std::string message = "text texture \"" + t->name + "\" " + reason;
        return TextTextureOverrun{t.get(), std::move(reason), std::move(message)};
    }
    return std::nullopt;
}

}  // namespace qh
