#pragma once
// A fixed-size RGBA texture that a text is rendered into with a Font, for an
// effect's shader to sample. Its name is also the name of the text curve that
// drives it; `chars_per_beat` types the text out (-1: no typing).
//
// Reading a package:
//   FontTexture t;  t.read_binary(in);   // keeps the font's identity in font_id
//   ...after every table is read:        t.wire(ids);   // font_id -> font
// Reading a project:
//   t.from_json(value, dir);  t.wire_names(value, names);   // fonts are read first
//
// Binary form: name (packed string), width, height (int32), font identity
// (u64), center (bool), chars_per_beat (int32). JSON form: "name", "width",
// "height", "font" (a font's name), "center", "chars_per_beat".
//
// Device side (a current GL context; the font opened first, Font::open):
//   t.realize();               // transparent RGBA surface and GL texture, width x height
//   t.set_text("Hello");       // rendered white, wrapped at width, top-aligned,
//                              // centred when `center`; uploaded only on a change
//   glBindTexture(GL_TEXTURE_2D, t.gl_name());
// The surface holds the text top row first. Colours are premultiplied: a
// texel half covered by a glyph is (128, 128, 128, 128).
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/device_state.h"
#include "package/serializable.h"
#include "render/gl/gl_objects.h"
#include "text/device_handle.h"

struct SDL_Surface;

namespace qh {

class FontTexture : public ISerializable {
public:
    // Largest width or height the device side will allocate for; a record
    // asking for more (or for nothing) gets no texture.
    static constexpr int32_t max_side = 16384;

    JsonValue to_json(const ProjectDir* external) const override;
    void write_binary(BinaryWriter& out) const override;
    void from_json(const JsonValue& value, const ProjectDir& dir) override;
    void read_binary(BinaryReader& in) override;

    // Binary form: resolves `font_id`; an unknown identity or one naming a
    // record of another class gives no font.
    void wire(const IdentityMap& ids);
    // JSON form: resolves the font named by "font" in `value` (this record's
    // own object). An unknown name, or a "font" that is not a string, gives
    // no font.
    void wire_names(const JsonValue& value, NameTables& names);

    // Both sides positive and at most max_side: the surface and texture can
    // be created.
    bool has_drawable_size() const;

    std::string name;
    int32_t width = 0;   // also the wrap width of the text
    int32_t height = 0;
    Font* font = nullptr;       // null: the texture stays transparent
    ResourceId font_id = 0;     // as read from the binary form, until wire()
    bool center = false;        // centre the rendered block horizontally
    int32_t chars_per_beat = -1;

    // ---- Device side: needs a current GL context ----

    // Makes the cleared surface and texture (again, dropping the text). A size
    // that cannot be drawn, or that the device cannot hold, gets neither, a
    // reason in gpu.problem and a "Warn:" line.
    void realize();
    // Ready with a GL texture; failed with why it was not made (left out,
    // too large, no surface); not built before realize.
    DeviceState device_state() const;
    // Drops the surface and texture, keeps `why` in gpu.problem and prints
    // the "Warn:" line: what realize does for a texture it cannot make.
    void leave_out(const std::string& why);
    // Renders and uploads `text` unless it equals the current text. With no
    // texture, or no open font, the texture stays (or becomes) transparent.
    void set_text(std::string_view text);
    uint32_t gl_name() const { return gpu.texture; }

    // Not persisted.
    struct Gpu {
        DeviceHandle<SDL_Surface> surface;  // width x height, bytes R, G, B, A
        GlTexture texture;                  // 0: none (see problem)
        std::string text;                   // the text last set
        uint64_t uploads = 0;               // images set_text uploaded
        std::string problem;                // why there is no texture; empty otherwise
    } gpu;
};

// Members of a text texture's JSON object that the reader takes in a
// surprising way (a floating "width" reads as 0, a floating "chars_per_beat"
// as 0 rather than -1, a non-boolean "center" as false...); one warning per
// finding, for the packer to print.
void lint_font_texture_json(const JsonValue& value, std::vector<std::string>& warnings);

}  // namespace qh
