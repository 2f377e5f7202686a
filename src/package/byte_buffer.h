#pragma once
// Opaque file images (images, sounds, fonts, music, glTF files, data blobs)
// and the Base64 codec of their JSON form.
//
//   ByteBuffer b = ByteBuffer::from_file(dir, "resources/logo.png");
//   b.write_binary(out);          // length, then the bytes scrambled
//   JsonValue j = b.to_json(nullptr);   // Base64 text
//
// `Data` is a named ByteBuffer; its name is also its file name beside the
// project.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "package/serializable.h"

namespace qh {

std::string base64_encode(const uint8_t* bytes, size_t count);
// Accepts the standard and URL-safe alphabets, mixed, with "=" or "." padding
// or none; anything else throws ContentError("Input is not valid
// base64-encoded data.").
std::vector<uint8_t> base64_decode(std::string_view text);

class ByteBuffer : public ISerializable {
public:
    ByteBuffer() = default;
    explicit ByteBuffer(std::vector<uint8_t> bytes) : data(std::move(bytes)) {}
    ByteBuffer(const uint8_t* bytes, size_t count) : data(bytes, bytes + count) {}
    static ByteBuffer from_file(const ProjectDir& dir, const std::string& name);

    uint64_t length() const { return data.size(); }
    bool empty() const { return data.empty(); }

    JsonValue to_json(const ProjectDir* external) const override;  // Base64; `external` ignored
    void write_binary(BinaryWriter& out) const override;
    void from_json(const JsonValue& value, const ProjectDir& dir) override;
    void read_binary(BinaryReader& in) override;

    std::vector<uint8_t> data;
};

// The file a record carries (an image, a sound, a font...) in the project
// form. Written: with `external`, the bytes go to the file `file_name` there
// and `record` gets no member; without, they are embedded in `record[key]` as
// Base64. Read: `record[key]` decoded when present, else the file
// `file_name` under `dir` (ResourceFileError when it is missing).
void put_file_bytes(JsonValue& record, const char* key, const std::string& file_name,
                    const std::vector<uint8_t>& bytes, const ProjectDir* external);
ByteBuffer take_file_bytes(const JsonValue& record, const char* key, const std::string& file_name,
                           const ProjectDir& dir);

class Data : public ISerializable {
public:
    JsonValue to_json(const ProjectDir* external) const override;
    void write_binary(BinaryWriter& out) const override;
    void from_json(const JsonValue& value, const ProjectDir& dir) override;
    void read_binary(BinaryReader& in) override;

    ByteBuffer buffer;
    std::string name;
};

}  // namespace qh
