#pragma once
// An image of the document: the encoded file (PNG, JPEG, ...) kept as bytes
// for writing back, decoded and uploaded by a later step. The same class
// serves for blank textures of a given size whose texels are replaced at run
// time (the sound texture); those carry no image bytes.
//
//   Texture t("resources/logo.png", bytes);   // from encoded bytes in memory
//   Texture blank(1024, 2);                   // named "Texture 0x... (1024 x 2)"
//   t.to_json(&dir);                          // bytes go to the file named `name`
//
// Reading and writing never decode; `gpu.width`/`gpu.height` are 0 until the
// image is decoded (or the size a blank texture was made with). The device side (a
// current GL context) makes the GL texture:
//
//   t.realize();                              // decode + upload, or a blank upload
//   glBindTexture(GL_TEXTURE_2D, t.gl_name()); // 0 when the image did not decode
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/device_state.h"
#include "package/byte_buffer.h"
#include "package/serializable.h"
#include "render/gl/gl_objects.h"

namespace qh {

class Texture : public ISerializable {
public:
    Texture() = default;
    Texture(std::string name, std::vector<uint8_t> encoded_image);
    Texture(int32_t width, int32_t height);  // blank

    bool is_blank() const { return !image_buffer.has_value(); }

    // A blank texture is written like an image with no bytes (an empty
    // buffer, embedded in JSON even with `external`), so a record stream
    // holding one stays readable; it reads back as an undecodable image.
    JsonValue to_json(const ProjectDir* external) const override;
    void write_binary(BinaryWriter& out) const override;
    // Without "image_buffer" the bytes come from the file named `name`
    // (ResourceFileError when it is missing).
    void from_json(const JsonValue& value, const ProjectDir& dir) override;
    void read_binary(BinaryReader& in) override;

    std::optional<ByteBuffer> image_buffer;  // empty for blank textures
    std::string name;  // unique in the document; the image file's path when external

    // ---- Device side: needs a current GL context ----

    // decode_and_upload for an image, upload_blank for a blank texture.
    void realize();
    // Ready with a GL texture; failed when its bytes are missing or do not
    // decode (or the device cannot hold them); not built before realize.
    DeviceState device_state() const;
    // Decodes `image_buffer` (any format the image library reads) and uploads
    // it as RGBA8, clamped, linear. Colours of images with alpha come out
    // multiplied by their alpha; images without alpha get alpha 255. An image
    // that does not decode (or is too large for the device) gives GL name 0
    // and a 0 x 0 size, silently; one the device has no memory for, the same
    // with a "Warn:" line.
    void decode_and_upload();
    // A transparent black RGBA8 texture of `width` x `height` (GL name 0 when
    // the size is not positive or too large for the device).
    void upload_blank();
    uint32_t gl_name() const { return gpu.texture; }

    // Not persisted; filled by the device side (a blank texture is made with
    // its size).
    struct Gpu {
        GlTexture texture;  // 0 when decoding failed
        int32_t width = 0;  // of the decoded image; 0 x 0 when it did not decode
        int32_t height = 0;
        bool tried = false;  // realize ran
    } gpu;

private:
    // The GL texture of gpu.width x gpu.height from `pixels`; 0 and a
    // "Warn:" line when the device cannot make it.
    void make_texture(const void* pixels);
};

// Warns about a "name" that is not a text (the file read would be "") and an
// "image_buffer" that is not a text (it reads as an image with no bytes).
void lint_texture_json(const JsonValue& value, std::vector<std::string>& warnings);

}  // namespace qh
