#include "text/font.h"

#include "package/project_dir.h"
#include "package/json_lint.h"

namespace qh {

JsonValue Font::to_json(const ProjectDir* external) const {
    JsonValue j = JsonValue::object();
    j["name"] = name;
    j["filename"] = filename;
    j["ptsize"] = ptsize;
    put_file_bytes(j, "font_buffer", filename, font_buffer.data, external);
    return j;
}

void Font::write_binary(BinaryWriter& out) const {
    out.write_packed_string(name);
    out.write_packed_string(filename);
    out.write_i32(ptsize);
    font_buffer.write_binary(out);
}

void Font::close() {
    gpu.font.reset();
    gpu.stream.reset();
    gpu.tried = false;
    gpu.error.clear();
}

void Font::from_json(const JsonValue& value, const ProjectDir& dir) {
    close();  // the open font reads the bytes about to be replaced
    name = json_text(json_member(value, "name"));
    filename = json_text(json_member(value, "filename"));
    ptsize = json_integral(json_member(value, "ptsize"));
    font_buffer = take_file_bytes(value, "font_buffer", filename, dir);
}

void Font::read_binary(BinaryReader& in) {
    close();
    name = in.read_packed_string("font name");
    filename = in.read_packed_string("font filename");
    ptsize = in.read_i32("font ptsize");
    font_buffer.data = in.read_scrambled_bytes("font bytes");
}

void lint_font_json(const JsonValue& value, std::vector<std::string>& warnings) {
    const std::string context = lint_context("font", json_text(json_member(value, "name")));
    if (!value.is_object()) {
        warnings.push_back(context + ": is not a JSON object, so every member reads as empty");
        return;
    }
    expect_present(value, "name", context, "the empty name", warnings);
    expect_text(value, "name", context, warnings);
    expect_present(value, "ptsize", context, "a point size of 0", warnings);
    expect_integral(value, "ptsize", context, warnings);
    const JsonValue& ptsize = json_member(value, "ptsize");
    if (ptsize.is_number_integer() && json_integral(ptsize) <= 0) {
        warnings.push_back(context + ": \"ptsize\" is " + std::to_string(json_integral(ptsize)) +
                           "; the font renderer needs a positive point size");
    }
    if (json_has(value, "font_buffer")) {
        expect_text(value, "font_buffer", context, warnings);  // the empty text: no font bytes
    } else {
        expect_present(value, "filename", context,
                       "the file name \"\", so the font bytes cannot be read", warnings);
        expect_text(value, "filename", context, warnings);
    }
}

}  // namespace qh
