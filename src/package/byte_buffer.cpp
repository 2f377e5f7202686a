#include "package/byte_buffer.h"

#include "package/errors.h"
#include "package/project_dir.h"

namespace qh {

namespace {

const char* const alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int base64_value(int c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+' || c == '-') return 62;
    if (c == '/' || c == '_') return 63;
    return -1;
}

bool is_padding(char c) { return c == '=' || c == '.'; }

[[noreturn]] void invalid_base64() {
    throw ContentError("Input is not valid base64-encoded data.");
}

}  // namespace

std::string base64_encode(const uint8_t* bytes, size_t count) {
    std::string out;
    out.reserve((count + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 3 <= count; i += 3) {
        const uint32_t v = (bytes[i] << 16) | (bytes[i + 1] << 8) | bytes[i + 2];
        out += alphabet[v >> 18];
        out += alphabet[(v >> 12) & 63];
        out += alphabet[(v >> 6) & 63];
        out += alphabet[v & 63];
    }
    if (count - i == 1) {
        const uint32_t v = bytes[i] << 16;
        out += alphabet[v >> 18];
        out += alphabet[(v >> 12) & 63];
        out += "==";
    } else if (count - i == 2) {
        const uint32_t v = (bytes[i] << 16) | (bytes[i + 1] << 8);
        out += alphabet[v >> 18];
        out += alphabet[(v >> 12) & 63];
        out += alphabet[(v >> 6) & 63];
        out += '=';
    }
    return out;
}

std::vector<uint8_t> base64_decode(std::string_view text) {
    std::vector<uint8_t> out;
    out.reserve(text.size() / 4 * 3 + 3);
    const size_t n = text.size();
    for (size_t g = 0; g < n; g += 4) {
        if (g + 1 >= n) invalid_base64();  // a lone character in the last group
        const int a = base64_value(text[g]);
        const int b = base64_value(text[g + 1]);
        if (a < 0 || b < 0) invalid_base64();
        out.push_back(static_cast<uint8_t>((a << 2) | (b >> 4)));
        if (g + 2 >= n || is_padding(text[g + 2])) continue;
        const int c = base64_value(text[g + 2]);
        if (c < 0) invalid_base64();
        out.push_back(static_cast<uint8_t>(((b & 15) << 4) | (c >> 2)));
        if (g + 3 >= n || is_padding(text[g + 3])) continue;
        const int d = base64_value(text[g + 3]);
        if (d < 0) invalid_base64();
        out.push_back(static_cast<uint8_t>(((c & 3) << 6) | d));
    }
    return out;
}

ByteBuffer ByteBuffer::from_file(const ProjectDir& dir, const std::string& name) {
    return ByteBuffer(dir.read(name));
}

JsonValue ByteBuffer::to_json(const ProjectDir*) const {
    return base64_encode(data.data(), data.size());
}

void ByteBuffer::write_binary(BinaryWriter& out) const {
    out.write_scrambled_bytes(data.data(), data.size());
}

void ByteBuffer::from_json(const JsonValue& value, const ProjectDir&) {
    data = base64_decode(json_text(value));
}

void ByteBuffer::read_binary(BinaryReader& in) { data = in.read_scrambled_bytes("byte buffer"); }

void put_file_bytes(JsonValue& record, const char* key, const std::string& file_name,
                    const std::vector<uint8_t>& bytes, const ProjectDir* external) {
    if (external) {
        external->write(file_name, bytes);
    } else {
        record[key] = base64_encode(bytes.data(), bytes.size());
    }
}

ByteBuffer take_file_bytes(const JsonValue& record, const char* key, const std::string& file_name,
                           const ProjectDir& dir) {
    if (!json_has(record, key)) return ByteBuffer::from_file(dir, file_name);
    ByteBuffer b;
    b.from_json(json_member(record, key), dir);
    return b;
}

JsonValue Data::to_json(const ProjectDir* external) const {
    JsonValue j = JsonValue::object();
    j["name"] = name;
    put_file_bytes(j, "data_buffer", name, buffer.data, external);
    return j;
}

void Data::write_binary(BinaryWriter& out) const {
    out.write_packed_string(name);
    buffer.write_binary(out);
}

void Data::from_json(const JsonValue& value, const ProjectDir& dir) {
    name = json_text(json_member(value, "name"));
    buffer = take_file_bytes(value, "data_buffer", name, dir);
}

void Data::read_binary(BinaryReader& in) {
    name = in.read_packed_string("data name");
    buffer.read_binary(in);
}

}  // namespace qh
