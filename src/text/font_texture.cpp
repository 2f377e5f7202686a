#include "text/font_texture.h"

#include "text/font.h"
#include "package/json_lint.h"

namespace qh {

JsonValue FontTexture::to_json(const ProjectDir*) const {
    JsonValue j = JsonValue::object();
    j["name"] = name;
    j["width"] = width;
    j["height"] = height;
    // No font (a dangling identity in the package it came from) is written as
    // null, which reads back as no font even if some font is named "".
    j["font"] = font ? JsonValue(font->name) : JsonValue();
    j["center"] = center;
    j["chars_per_beat"] = chars_per_beat;
    return j;
}

void FontTexture::write_binary(BinaryWriter& out) const {
    out.write_packed_string(name);
    out.write_i32(width);
    out.write_i32(height);
    out.write_ref(font);
    out.write_bool(center);
    out.write_i32(chars_per_beat);
}

void FontTexture::from_json(const JsonValue& value, const ProjectDir&) {
    name = json_text(json_member(value, "name"));
    width = json_integral(json_member(value, "width"));
    height = json_integral(json_member(value, "height"));
    // Absent: the defaults. Present but of another type: 0 / false, as
    // projects always have read (lint_font_texture_json warns of it).
    center = json_bool(json_member(value, "center"));
    chars_per_beat =
        json_has(value, "chars_per_beat") ? json_integral(json_member(value, "chars_per_beat")) : -1;
    font = nullptr;  // wire_names resolves "font"
    font_id = 0;
}

void FontTexture::read_binary(BinaryReader& in) {
    name = in.read_packed_string("text texture name");
    width = in.read_i32("text texture width");
    height = in.read_i32("text texture height");
    font_id = in.read_id("text texture font");
    center = in.read_bool("text texture center");
    chars_per_beat = in.read_i32("text texture chars_per_beat");
    font = nullptr;
}

void FontTexture::wire(const IdentityMap& ids) { font = ids.find<Font>(font_id); }

void FontTexture::wire_names(const JsonValue& value, NameTables& names) {
    const JsonValue& ref = json_member(value, "font");
    font = ref.is_string() ? lookup(names.fonts, ref.get<std::string>()) : nullptr;
}

bool FontTexture::has_drawable_size() const {
    return width > 0 && height > 0 && width <= max_side && height <= max_side;
}

void lint_font_texture_json(const JsonValue& value, std::vector<std::string>& warnings) {
    const std::string context = lint_context("text texture", json_text(json_member(value, "name")));
    if (!value.is_object()) {
        warnings.push_back(context + ": is not a JSON object, so every member reads as empty");
        return;
    }
    expect_present(value, "name", context, "the empty name, which no text curve can drive",
                   warnings);
    expect_text(value, "name", context, warnings);
    for (const char* key : {"width", "height"}) {
        expect_present(value, key, context, "0", warnings);
        expect_integral(value, key, context, warnings);
    }
    expect_present(value, "font", context, "no font, so the texture stays transparent", warnings);
    if (json_has(value, "font") && !json_member(value, "font").is_string()) {
        warnings.push_back(context +
                           ": \"font\" is not a font's name, so the texture stays transparent");
    }
    expect_bool(value, "center", context, warnings);
    // Present but not integral reads as 0 (not the default -1): only the
    // first character shows until the next control point.
    expect_integral(value, "chars_per_beat", context, warnings);

    FontTexture probe;
    probe.width = json_integral(json_member(value, "width"));
    probe.height = json_integral(json_member(value, "height"));
    if (!probe.has_drawable_size()) {
        warnings.push_back(context + ": size " + std::to_string(probe.width) + " x " +
                           std::to_string(probe.height) + " is outside 1 to " +
                           std::to_string(FontTexture::max_side) +
                           ", so no texture is created for it");
    }
}

}  // namespace qh
