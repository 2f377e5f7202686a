#include "render/texture.h"

#include <cstdio>

#include "package/project_dir.h"
#include "package/json_lint.h"

namespace qh {

Texture::Texture(std::string name_, std::vector<uint8_t> encoded_image)
    : image_buffer(ByteBuffer(std::move(encoded_image))), name(std::move(name_)) {}

Texture::Texture(int32_t width, int32_t height) {
    gpu.width = width;
    gpu.height = height;
    // Named after the object so that every blank texture has a distinct name.
    char buf[96];
    std::snprintf(buf, sizeof buf, "Texture %p (%d x %d)", static_cast<const void*>(this), width,
                  height);
    name = buf;
}

JsonValue Texture::to_json(const ProjectDir* external) const {
    JsonValue j = JsonValue::object();
    j["name"] = name;
    if (image_buffer) {
        put_file_bytes(j, "image_buffer", name, image_buffer->data, external);
    } else {
        j["image_buffer"] = "";
    }
    return j;
}

void Texture::write_binary(BinaryWriter& out) const {
    out.write_packed_string(name);
    if (image_buffer) {
        image_buffer->write_binary(out);
    } else {
        out.write_scrambled_bytes(nullptr, 0);
    }
}

void Texture::from_json(const JsonValue& value, const ProjectDir& dir) {
    name = json_text(json_member(value, "name"));
    image_buffer = take_file_bytes(value, "image_buffer", name, dir);
    gpu = Gpu();
}

void Texture::read_binary(BinaryReader& in) {
    name = in.read_packed_string("Texture name");
    image_buffer.emplace();
    image_buffer->read_binary(in);
    gpu = Gpu();
}

void lint_texture_json(const JsonValue& value, std::vector<std::string>& warnings) {
    const std::string context = lint_context("texture", json_text(json_member(value, "name")));
    if (!value.is_object()) {
        warnings.push_back(context + ": not an object; it reads the image file \"\"");
        return;
    }
    expect_text(value, "name", context, warnings);
    expect_text(value, "image_buffer", context, warnings);
}

}  // namespace qh
