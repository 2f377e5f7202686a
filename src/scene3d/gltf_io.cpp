#include "scene3d/gltf_io.h"

#include <filesystem>
#include <limits>
#include <optional>
#include <sstream>

#include "package/binary_stream.h"
#include "package/byte_buffer.h"
#include "package/json_value.h"
#include "package/errors.h"
#include "package/project_dir.h"
#include "scene3d/gltf_check.h"
#include "scene3d/image_header.h"

namespace qh {

namespace {

// What the library's callbacks share during one parse.
struct LoadContext {
    const ProjectDir* files = nullptr;
    std::string refused;  // names that would have left `files`
    uint64_t decoded_bytes = 0;
};

void append(std::string* text, const std::string& line) {
    if (text) *text += line + "\n";
}

// The name relative to the directory, or nothing when it would leave it.
// Unlike a project's own file names, URIs may step up and back down
// ("textures/../a.png"), so the check is made on the normalised form.
std::optional<std::filesystem::path> inside(const std::string& name) {
    if (name.empty() || name.find('\0') != std::string::npos) return std::nullopt;
    const std::filesystem::path p = std::filesystem::path(name).lexically_normal();
    if (p.empty() || p.is_absolute() || p.has_root_name() || p.has_root_directory()) return std::nullopt;
    if (*p.begin() == "..") return std::nullopt;
    return p;
}

bool file_exists(const std::string& path, void* user) {
    auto* ctx = static_cast<LoadContext*>(user);
    const auto rel = inside(path);
    if (!rel) {
        const std::string line = "refused to read \"" + path + "\": it lies outside " +
                                 ctx->files->root().string() + "\n";
        if (ctx->refused.find(line) == std::string::npos) ctx->refused += line;
        return false;
    }
    std::error_code ec;
    return std::filesystem::is_regular_file(ctx->files->root() / *rel, ec);
}

std::string expand_path(const std::string& path, void*) { return path; }

bool read_file(std::vector<unsigned char>* out, std::string* err, const std::string& path,
               void* user) {
    auto* ctx = static_cast<LoadContext*>(user);
    const auto rel = inside(path);
    bool found = false;
    if (rel) *out = ctx->files->read_optional(rel->string(), found);
    if (!found) append(err, "cannot read \"" + path + "\"");
    return found;
}

bool refuse_write(std::string* err, const std::string& path, const std::vector<unsigned char>&,
                  void*) {
    append(err, "the glTF reader does not write files (\"" + path + "\")");
    return false;
}

// Images stay encoded (`as_is`): the device side decodes them when it makes
// their textures. Here only the header is read, so that an image no decoder
// of the player reads, or one too large to decode, still fails the parse as
// decoding it now would: putting the decode off must not change which models
// read as empty, and the fault is reported while reading, before any device
// work.
bool keep_encoded_image(tinygltf::Image* image, const int index, std::string* err, std::string*,
                        int, int, const unsigned char* bytes, int size, void* user) {
    auto* ctx = static_cast<LoadContext*>(user);
    const std::string what = "image " + std::to_string(index) + " (\"" + image->name + "\")";
    if (size <= 0) {
        append(err, what + " has no bytes");
        return false;
    }
    const std::span<const uint8_t> encoded(bytes, size_t(size));
    const ImageHeader header = read_image_header(encoded);
    if (!header.problem.empty()) {
        append(err, what + ": " + header.problem);
        return false;
    }
    const uint64_t decoded = uint64_t(header.width) * header.height * 4;
    if (ctx->decoded_bytes + decoded > max_decoded_image_bytes_per_asset) {
        append(err, what + ": the asset's images would take more than " +
                        std::to_string(max_decoded_image_bytes_per_asset >> 20) + " MiB decoded");
        return false;
    }
    ctx->decoded_bytes += decoded;
    image->as_is = true;
    image->width = int(header.width);
    image->height = int(header.height);
    image->component = 4;
    image->bits = 8;
    image->pixel_type = TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE;
    image->image.assign(encoded.begin(), encoded.end());
    return true;
}

// Images that are data URIs or sit in buffer views stay as they are; images
// read from files are embedded as data URIs of their own bytes, so the GLB
// needs no file beside it. An image whose file was missing keeps its
// reference.
bool embed_image(const std::string*, const std::string*, const tinygltf::Image* image, bool,
                 std::string* out_uri, void*) {
    if (image->uri.rfind("data:", 0) == 0) {
        *out_uri = image->uri;
        return true;
    }
    if (image->image.empty() || !image->as_is) return false;
    const char* mime = image_mime_type(read_image_header(image->image).format);
    if (*mime == '\0') return false;
    *out_uri = std::string("data:") + mime + ";base64," +
               base64_encode(image->image.data(), image->image.size());
    return true;
}

// The library writes an object whose members all hold default values (a bare
// node or scene) as null, which it then refuses to read back. Such entries
// become empty objects again; the GLB is rebuilt only when one was found.
std::vector<uint8_t> repair_empty_objects(std::vector<uint8_t> glb) {
    std::string_view json;
    if (!check_glb_container(glb, json).empty()) {
        throw ContentError("the glTF library wrote a malformed GLB");
    }
    JsonValue doc = JsonValue::parse(json, nullptr, /*allow_exceptions=*/false);
    if (!doc.is_object()) throw ContentError("the glTF library wrote malformed JSON");
    bool changed = false;
    auto fix = [&](JsonValue& list) {
        if (!list.is_array()) return;
        for (JsonValue& entry : list) {
            if (entry.is_null()) {
                entry = JsonValue::object();
                changed = true;
            }
        }
    };
    for (auto& [key, value] : doc.items()) fix(value);
    auto fix_members = [&](const char* table, std::initializer_list<const char*> lists) {
        if (!doc.contains(table) || !doc[table].is_array()) return;
        for (JsonValue& record : doc[table]) {
            if (!record.is_object()) continue;
            for (const char* list : lists) {
                if (record.contains(list)) fix(record[list]);
            }
        }
    };
    fix_members("meshes", {"primitives"});
    fix_members("animations", {"channels", "samplers"});
    if (!changed) return glb;

    std::string text = doc.dump(-1, ' ', false, JsonValue::error_handler_t::replace);
    while (text.size() % 4) text += ' ';
    const size_t bin_at = 20 + json.size();  // the BIN chunk, header included
    BinaryWriter out;
    out.write_u32(0x46546C67u);  // "glTF"
    out.write_u32(2);
    out.write_u32(uint32_t(20 + text.size() + (glb.size() - bin_at)));
    out.write_u32(uint32_t(text.size()));
    out.write_u32(0x4E4F534Au);  // "JSON"
    out.write_raw(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    out.write_raw(glb.data() + bin_at, glb.size() - bin_at);
    return out.take_bytes();
}

std::string trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
}

}  // namespace

GltfParse parse_gltf(std::span<const uint8_t> bytes, GltfSource source, const ProjectDir& files,
                     const std::string& base_dir, tinygltf::Model& out) {
    GltfParse result;
    out = tinygltf::Model();

    std::string problem;
    std::string_view json;
    if (bytes.empty()) {
        problem = "the glTF file is empty";
    } else if (bytes.size() > std::numeric_limits<uint32_t>::max()) {
        problem = "the glTF file is larger than 4 GiB";
    } else if (source == GltfSource::glb) {
        problem = check_glb_container(bytes, json);
    } else {
        json = std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    }
    if (problem.empty()) problem = check_gltf_json(json);
    if (!problem.empty()) {
        result.errors = problem;
        return result;
    }

    LoadContext ctx;
    ctx.files = &files;
    tinygltf::TinyGLTF loader;
    loader.SetFsCallbacks({&file_exists, &expand_path, &read_file, &refuse_write, &ctx});
    loader.SetImageLoader(&keep_encoded_image, &ctx);
    std::string err, warn;
    bool ok = false;
    try {
        const auto length = static_cast<unsigned int>(bytes.size());
        ok = source == GltfSource::glb
                 ? loader.LoadBinaryFromMemory(&out, &err, &warn, bytes.data(), length, base_dir,
                                               tinygltf::REQUIRE_VERSION)
                 : loader.LoadASCIIFromString(&out, &err, &warn,
                                              reinterpret_cast<const char*>(bytes.data()), length,
                                              base_dir, tinygltf::REQUIRE_VERSION);
    } catch (const std::exception& e) {
        ok = false;
        err += std::string("glTF library error: ") + e.what() + "\n";
    }
    err = ctx.refused + err;
    if (ok) {
        problem = check_gltf_model(out);
        if (!problem.empty()) {
            ok = false;
            err += problem + "\n";
        }
    }
    if (!ok) out = tinygltf::Model();
    result.ok = ok;
    result.errors = trimmed(err);
    result.warnings = trimmed(warn);
    return result;
}

std::vector<uint8_t> write_glb(const tinygltf::Model& asset) {
    tinygltf::Model copy = asset;
    // The library puts the first buffer into the BIN chunk only when it has
    // no URI of its own.
    if (!copy.buffers.empty()) copy.buffers[0].uri.clear();
    tinygltf::TinyGLTF writer;
    writer.SetImageWriter(&embed_image, nullptr);
    std::ostringstream out;
    bool ok = false;
    try {
        ok = writer.WriteGltfSceneToStream(&copy, out, /*prettyPrint=*/false, /*writeBinary=*/true);
    } catch (const std::exception& e) {
        throw ContentError(std::string("cannot write the glTF asset as GLB: ") + e.what());
    }
    if (!ok || !out) throw ContentError("cannot write the glTF asset as GLB");
    const std::string glb = std::move(out).str();
    return repair_empty_objects(std::vector<uint8_t>(glb.begin(), glb.end()));
}

}  // namespace qh
