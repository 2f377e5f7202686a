#include "scene3d/gltf_io.h"

#include <filesystem>
#include <limits>
#include <optional>
#include <sstream>

#include <stb/stb_image.h>
#include <stb/stb_image_write.h>

#include "package/binary_stream.h"
#include "package/byte_buffer.h"
#include "package/json_value.h"
#include "package/errors.h"
#include "package/project_dir.h"
#include "scene3d/gltf_check.h"

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

// Every image becomes 8-bit RGBA, whatever its stored depth and channels:
// that is what the texture upload expects.
bool decode_image(tinygltf::Image* image, const int index, std::string* err, std::string*, int, int,
                  const unsigned char* bytes, int size, void* user) {
    auto* ctx = static_cast<LoadContext*>(user);
    const std::string what = "image " + std::to_string(index) + " (\"" + image->name + "\")";
    int w = 0, h = 0, channels = 0;
    if (size <= 0 || !stbi_info_from_memory(bytes, size, &w, &h, &channels)) {
        append(err, what + ": unknown image format or damaged data");
        return false;
    }
    const uint64_t pixels = uint64_t(w) * uint64_t(h);
    if (w <= 0 || h <= 0 || pixels > max_image_pixels) {
        append(err, what + " is " + std::to_string(w) + " x " + std::to_string(h) +
                        " pixels, more than the " + std::to_string(max_image_pixels) + " allowed");
        return false;
    }
    if (ctx->decoded_bytes + pixels * 4 > max_decoded_image_bytes_per_asset) {
        append(err, what + ": the asset's images would take more than " +
                        std::to_string(max_decoded_image_bytes_per_asset >> 20) + " MiB decoded");
        return false;
    }
    unsigned char* rgba = stbi_load_from_memory(bytes, size, &w, &h, &channels, 4);
    if (!rgba) {
        append(err, what + ": " + stbi_failure_reason());
        return false;
    }
    const size_t count = size_t(w) * size_t(h) * 4;
    image->width = w;
    image->height = h;
    image->component = 4;
    image->bits = 8;
    image->pixel_type = TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE;
    image->image.assign(rgba, rgba + count);
    stbi_image_free(rgba);
    ctx->decoded_bytes += count;
    return true;
}

void append_bytes(void* context, void* data, int size) {
    auto* out = static_cast<std::vector<uint8_t>*>(context);
    const auto* bytes = static_cast<const uint8_t*>(data);
    out->insert(out->end(), bytes, bytes + size);
}

// Images that are data URIs stay as they are; images read from files are
// embedded as PNG, so the GLB needs no file beside it. An image whose file
// was missing keeps its reference.
bool embed_image(const std::string*, const std::string*, const tinygltf::Image* image, bool,
                 std::string* out_uri, void*) {
    if (image->uri.rfind("data:", 0) == 0) {
        *out_uri = image->uri;
        return true;
    }
    if (image->image.empty() || image->component != 4 || image->bits != 8) return false;
    std::vector<uint8_t> png;
    if (!stbi_write_png_to_func(&append_bytes, &png, image->width, image->height, 4,
                                image->image.data(), image->width * 4)) {
        return false;
    }
    *out_uri = "data:image/png;base64," + base64_encode(png.data(), png.size());
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
    loader.SetImageLoader(&decode_image, &ctx);
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
