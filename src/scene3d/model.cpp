#include "scene3d/model.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "package/errors.h"
#include "package/project_dir.h"
#include "package/json_lint.h"
#include "scene3d/gltf_io.h"

namespace qh {

namespace {

// Where the content keeps files that assets name by URI.
const char* const resources_dir = "resources";

// The characters from the last "." on, at most `count` of them; "" without a ".".
std::string extension(const std::string& name, size_t count) {
    const size_t dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : name.substr(dot, count);
}

std::string directory_of(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

void parse_into(Model& m, GltfSource source, const ProjectDir& files, const std::string& base_dir) {
    const GltfParse r = parse_gltf(m.buffer.data, source, files, base_dir, m.gltf);
    if (!r.warnings.empty()) std::printf("Warn: %s\n", r.warnings.c_str());
    if (!r.errors.empty()) std::printf("Err: %s\n", r.errors.c_str());
    m.parsed = r.ok;
    if (!r.ok) {
        m.parse_error = r.errors.empty() ? std::string("the glTF loader failed") : r.errors;
        std::printf("Failed to parse glTF\n");
    }
}

// False (after the message) when the name gives no way to choose a parser.
bool has_extension(Model& m) {
    if (m.filename.find('.') != std::string::npos) return true;
    std::printf("Expected a file extension in name %s\n", m.filename.c_str());
    m.parse_error = "Expected a file extension in name " + m.filename;
    return false;
}

}  // namespace

bool has_gltf_text_extension(const std::string& filename) {
    const std::string e = extension(filename, 5);
    return e == ".gltf" || e == ".GLTF";
}

bool has_glb_extension(const std::string& filename) {
    const std::string e = extension(filename, 4);
    return e == ".glb" || e == ".GLB";
}

bool Model::stores_as_glb() const { return parsed && has_gltf_text_extension(filename); }

std::string Model::stored_filename() const {
    return stores_as_glb() ? filename + ".glb" : filename;
}

std::vector<uint8_t> Model::stored_bytes() const {
    return stores_as_glb() ? write_glb(gltf) : buffer.data;
}

JsonValue Model::to_json(const ProjectDir* external) const {
    JsonValue j = JsonValue::object();
    const std::string name = stored_filename();
    const std::vector<uint8_t> bytes = stored_bytes();
    j["filename"] = name;
    put_file_bytes(j, "buffer", name, bytes, external);
    return j;
}

void Model::write_binary(BinaryWriter& out) const {
    if (has_gltf_text_extension(filename) && !parsed) {
        throw ContentError("model \"" + filename +
                           "\" cannot be packed: it is text glTF that did not parse, so there is "
                           "no GLB to store (" + parse_error + ")");
    }
    out.write_packed_string(stored_filename());
    if (stores_as_glb()) {
        ByteBuffer(write_glb(gltf)).write_binary(out);
    } else {
        buffer.write_binary(out);
    }
}

void Model::from_json(const JsonValue& value, const ProjectDir& dir) {
    *this = Model();
    filename = json_text(json_member(value, "filename"));
    if (json_has(value, "buffer")) {
        buffer.from_json(json_member(value, "buffer"), dir);
        if (!has_extension(*this)) return;
        if (has_glb_extension(filename)) {
            parse_into(*this, GltfSource::glb, dir, "");
        } else {
            parse_into(*this, GltfSource::text, ProjectDir(dir.root() / resources_dir), "");
        }
    } else {
        buffer = ByteBuffer::from_file(dir, filename);
        if (!has_extension(*this)) return;
        parse_into(*this, has_glb_extension(filename) ? GltfSource::glb : GltfSource::text, dir,
                   directory_of(filename));
    }
}

void Model::read_binary(BinaryReader& in) {
    *this = Model();
    filename = in.read_packed_string("Model filename");
    buffer.read_binary(in);
    // Always GLB here, whatever the name says.
    parse_into(*this, GltfSource::glb, ProjectDir(resources_dir), "");
}

void lint_model_json(const JsonValue& value, std::vector<std::string>& warnings) {
    const std::string name = json_text(json_member(value, "filename"));
    const std::string context = lint_context("model", name);
    expect_text(value, "filename", context, warnings);
    expect_text(value, "buffer", context, warnings);
    if (!json_member(value, "filename").is_string()) return;
    if (name.find('.') == std::string::npos) {
        warnings.push_back(context + ": the name has no extension, so the model is not parsed");
        return;
    }
    const std::string four = extension(name, 4);
    std::string lower = four;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    if (lower == ".glb" && !has_glb_extension(name)) {
        warnings.push_back(context + ": \"" + four +
                           "\" is read as text glTF; only \".glb\" and \".GLB\" are read as GLB");
    } else if (has_glb_extension(name) && extension(name, std::string::npos).size() > 4) {
        warnings.push_back(context + ": \"" + extension(name, std::string::npos) +
                           "\" is read as GLB, since only its first four characters count");
    }
}

}  // namespace qh
