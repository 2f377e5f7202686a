#include "render/shader_program.h"

#include <cstdio>

#include "package/errors.h"
#include "package/project_dir.h"
#include "package/json_lint.h"

namespace qh {

const char* const default_vertex_shader_source =
    "#version 150\n"
    "\n"
    "in vec3 vp;\n"
    "\n"
    "void main() {\n"
    "gl_Position = vec4(vp, 1.0);\n"
    "}\n";

const char* const default_vertex_shader_filename = "resources/default.vert";
const char* const default_fragment_shader_filename = "resources/untitled.frag";

const char* const fragment_shader_preamble =
    "#version 150\n"
    "#define mainImage(X,Y) main()\n"
    "#define iResolution resolution\n"
    "#define iTime beat\n"
    "#define fragCoord (gl_FragCoord.xy)\n"
    "#define iChannel0 tex\n"
    "#define iChannel1 tex1\n"
    "#define iChannel2 tex2\n"
    "#define iChannel3 tex3\n"
    "uniform int sound;\n"
    "uniform float beat;\n"
    "uniform sampler2D tex;\n"
    "uniform vec2 resolution;\n"
    "vec2 iMouse = vec2(0., 0.);\n"
    "out vec4 fragColor;\n"
    "\n";

const char* const default_fragment_shader_body =
    "void mainImage(out vec4 fragColor, in vec2 fragCoord)\n"
    "{\n"
    "    // normalized pixel coordinates\n"
    "    vec2 uv = fragCoord / iResolution.xy;\n"
    "    // time varying pixel color\n"
    "    vec3 col = 0.5 + 0.5 * cos(iTime + uv.xyx + vec3(0, 2, 4));\n"
    "    // output to screen\n"
    "    fragColor = vec4(col, 1.0);\n"
    "}\n";

namespace {

const char* const standard_names[] = {
    "beat", "iTime2", "sound",
    "tex", "tex1", "tex2", "tex3", "tex4", "tex5", "tex6", "tex7",
    "tex8", "tex9", "tex10", "tex11", "tex12", "tex13", "tex14", "tex15",
    "resolution", "camera_position", "camera_rotation", "sound_texture", "nodeIdx",
    "uModelViewProjMatrix", "uModelViewMatrix", "uNormalMatrix", "uModelMatrix", "uLightMVPMatrix",
    "uBaseColorFactor", "uBaseColorTexture", "uMetallicFactor", "uRougnessFactor",
    "uMetallicRoughnessTexture", nullptr, nullptr,
    "uShadowMapTexture", "uIsShadowRenderPass", "uTag", "uInstance",
};
static_assert(sizeof standard_names / sizeof standard_names[0] == standard_uniform_count);

// A source file named by a project without embedded sources. A missing file
// gives the empty text, which then fails to compile: the program stays in its
// table unusable and effects skip drawing with it, like any program with an
// error, so one missing file does not stop the rest of the demo.
std::string load_source(const ProjectDir& dir, const std::string& name) {
    std::printf("Loading file %s\n", name.c_str());
    bool found = false;
    std::vector<uint8_t> bytes = dir.read_optional(name, found);
    if (!found) {
        std::printf("File %s not found! Returning empty string, with possibly bad outcomes...\n",
                    name.c_str());
    }
    return std::string(bytes.begin(), bytes.end());
}

}  // namespace

const char* standard_uniform_name(StandardUniform which) {
    const int i = static_cast<int>(which);
    return i >= 0 && i < standard_uniform_count ? standard_names[i] : nullptr;
}

ShaderProgram::ShaderProgram()
    : vertex_shader_source(default_vertex_shader_source),
      vertex_shader_filename(default_vertex_shader_filename),
      fragment_shader_filename(default_fragment_shader_filename) {}

JsonValue ShaderProgram::to_json(const ProjectDir* external) const {
    JsonValue j = JsonValue::object();
    j["vertex_shader_filename"] = vertex_shader_filename;
    j["fragment_shader_filename"] = fragment_shader_filename;
    if (external) {
        if (vertex_shader_filename == fragment_shader_filename &&
            vertex_shader_source != fragment_shader_source) {
            throw ContentError("shader \"" + fragment_shader_filename +
                               "\": the vertex and fragment sources differ but name the same "
                               "file; give them different file names");
        }
        external->write(vertex_shader_filename, vertex_shader_source);
        external->write(fragment_shader_filename, fragment_shader_source);
    } else {
        j["vertex_shader_source"] = vertex_shader_source;
        j["fragment_shader_source"] = fragment_shader_source;
    }
    JsonValue defs = JsonValue::array();
    for (const UniformDef& def : uniform_defs) defs.push_back(def.to_json(external));
    j["uniform_defs"] = std::move(defs);
    return j;
}

void ShaderProgram::write_binary(BinaryWriter& out) const {
    out.write_packed_string(vertex_shader_filename);
    out.write_packed_string(vertex_shader_source);
    out.write_packed_string(fragment_shader_filename);
    out.write_packed_string(fragment_shader_source);
    out.write_u64(uniform_defs.size());
    for (const UniformDef& def : uniform_defs) def.write_binary(out);
}

void ShaderProgram::from_json(const JsonValue& value, const ProjectDir& dir) {
    vertex_shader_filename = json_text(json_member(value, "vertex_shader_filename"));
    fragment_shader_filename = json_text(json_member(value, "fragment_shader_filename"));
    // The fragment key alone decides where both texts come from.
    if (json_has(value, "fragment_shader_source")) {
        vertex_shader_source = json_text(json_member(value, "vertex_shader_source"));
        fragment_shader_source = json_text(json_member(value, "fragment_shader_source"));
    } else {
        vertex_shader_source = load_source(dir, vertex_shader_filename);
        fragment_shader_source = load_source(dir, fragment_shader_filename);
    }
    uniform_defs.clear();
    const JsonValue& defs = json_member(value, "uniform_defs");
    if (defs.is_array()) {
        uniform_defs.reserve(defs.size());
        for (const JsonValue& element : defs) {
            uniform_defs.emplace_back().from_json(element, dir);
        }
    }
}

void ShaderProgram::read_binary(BinaryReader& in) {
    vertex_shader_filename = in.read_packed_string("ShaderProgram vertex_shader_filename");
    vertex_shader_source = in.read_packed_string("ShaderProgram vertex_shader_source");
    fragment_shader_filename = in.read_packed_string("ShaderProgram fragment_shader_filename");
    fragment_shader_source = in.read_packed_string("ShaderProgram fragment_shader_source");
    const uint64_t count =
        in.read_count("ShaderProgram uniform_defs count", UniformDef::min_binary_size);
    uniform_defs.clear();
    uniform_defs.reserve(count);
    for (uint64_t i = 0; i < count; ++i) uniform_defs.emplace_back().read_binary(in);
}

std::string expand_includes(const std::string& source, ProgramTable programs,
                            const ShaderProgram* self, std::vector<const ShaderProgram*>* spliced,
                            SourceMap* map, const std::string& file) {
    std::vector<const ShaderProgram*> candidates;
    std::vector<SourceText> texts;
    for (const std::unique_ptr<ShaderProgram>& p : programs) {
        if (!p || p.get() == self) continue;
        candidates.push_back(p.get());
        texts.push_back({p->fragment_shader_filename, p->fragment_shader_source});
    }
    ExpandedSource e = expand_sources({file, source}, texts);
    if (spliced) {
        for (size_t i : e.spliced) spliced->push_back(candidates[i]);
    }
    if (map) *map = std::move(e.map);
    return std::move(e.text);
}

bool ShaderProgram::has_includes() const {
    return fragment_shader_source.find("#include \"") != std::string::npos;
}

std::vector<CompilerMessage> ShaderProgram::build_messages() const {
    std::vector<CompilerMessage> out;
    auto add = [&](const std::string& log, const SourceMap& map, const char* stage) {
        for (CompilerMessage& m : translate_log(log, map)) {
            if (m.place.empty()) m.message = stage + m.message;
            out.push_back(std::move(m));
        }
    };
    add(gpu.vertex.log, SourceMap(vertex_shader_filename), "vertex: ");
    add(gpu.fragment.log, gpu.fragment_map, "fragment: ");
    // After a stage that did not compile, the link's words only repeat that.
    if (gpu.vertex.ok && gpu.fragment.ok) add(gpu.link.log, SourceMap(), "link: ");
    return out;
}

void lint_shader_program_json(const JsonValue& value, std::vector<std::string>& warnings) {
    const std::string context =
        lint_context("shader", json_text(json_member(value, "fragment_shader_filename")));
    if (!value.is_object()) {
        warnings.push_back(context + ": not an object; it reads as a program with no sources");
        return;
    }
    for (const char* key : {"vertex_shader_filename", "fragment_shader_filename",
                            "vertex_shader_source", "fragment_shader_source"}) {
        expect_text(value, key, context, warnings);
    }
    if (json_has(value, "fragment_shader_source")) {
        expect_present(value, "vertex_shader_source", context,
                       "the empty text (the vertex file is not loaded when the fragment "
                       "source is embedded)",
                       warnings);
    } else if (json_has(value, "vertex_shader_source")) {
        warnings.push_back(context +
                           ": \"vertex_shader_source\" is ignored without "
                           "\"fragment_shader_source\"; both texts are loaded from their files");
    }
    if (expect_array(value, "uniform_defs", context, warnings)) {
        for (const JsonValue& def : json_member(value, "uniform_defs")) {
            lint_uniform_def_json(def, warnings);
        }
    }
}

}  // namespace qh
