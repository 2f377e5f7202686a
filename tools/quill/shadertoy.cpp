// quill shadertoy: a shader written for Shadertoy added to a project as it
// is. The player inserts nothing into a shader, so the adapting happens once,
// here, into an ordinary shader file: the pasted text stands unchanged
// between a header that declares what Shadertoy gives (from what the player
// sets) and a main that calls the shader's mainImage.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <string>
#include <system_error>
#include <unistd.h>
#include <vector>

#include "cli.h"
#include "commands.h"
#include "document_io.h"
#include "package/errors.h"
#include "package/json_source.h"
#include "package/project_dir.h"
#include "render/shader_program.h"
#include "shadertoy.h"

namespace qh::quill {

namespace {

const char* const usage =
    "usage: quill shadertoy SHADER.glsl PROJECT/project.json [--name NAME]\n"
    "                       [--channel0 TEXTURE] ... [--channel3 TEXTURE]\n"
    "\n"
    "Adds a shader written for Shadertoy (its mainImage, as pasted from the site)\n"
    "to a project: writes resources/NAME.frag, the shader's text unchanged between\n"
    "a short header and a main of its own, and adds a program and an effect named\n"
    "NAME to project.json, its formatting kept. NAME is the shader file's name\n"
    "without its extension unless given. --channelN puts an image of the project\n"
    "(e.g. resources/rock.png) on iChannelN, from iChannel0 up.\n"
    "\n"
    "iTime runs in seconds at the project's tempo, which is written into the file:\n"
    "change it there if the tempo changes. A shader that needs what the player\n"
    "cannot give (the keyboard, a cubemap or volume channel, several passes) is\n"
    "refused, naming what it needs, and nothing is written.\n";

constexpr int channel_count = 4;

// The header's last line starts with this and ends with the offset; the
// main's first line is main_marker. pasted_line reads both back.
const char* const pasted_marker = "// The shader as pasted: its line L is this file's line L + ";
const char* const main_marker = "// Shadertoy's inputs, then the shader's own mainImage";
constexpr double frames_per_second = 60.0;

// The text with its comments blanked out (line feeds kept), so a word in a
// comment neither refuses a shader nor hides a line number.
std::string without_comments(const std::string& text) {
    std::string out = text;
    for (size_t i = 0; i + 1 < out.size(); ++i) {
        if (out[i] == '/' && out[i + 1] == '/') {
            while (i < out.size() && out[i] != '\n') out[i++] = ' ';
        } else if (out[i] == '/' && out[i + 1] == '*') {
            const size_t end = out.find("*/", i + 2);
            const size_t stop = end == std::string::npos ? out.size() : end + 2;
            for (; i < stop; ++i) {
                if (out[i] != '\n') out[i] = ' ';
            }
            --i;
        }
    }
    return out;
}

int line_at(const std::string& text, size_t pos) {
    return 1 + static_cast<int>(std::count(text.begin(), text.begin() + static_cast<long>(pos), '\n'));
}

// The argument of a call that starts at `pos` (after the comma before it), up
// to the comma or parenthesis that closes it.
std::string argument_at(const std::string& text, size_t pos) {
    int depth = 0;
    size_t end = pos;
    for (; end < text.size(); ++end) {
        const char c = text[end];
        if (c == '(' || c == '[') ++depth;
        if ((c == ')' || c == ']') && depth-- == 0) break;
        if (c == ',' && depth == 0) break;
    }
    const std::string arg = text.substr(pos, end - pos);
    const size_t first = arg.find_first_not_of(" \t\r\n");
    const size_t last = arg.find_last_not_of(" \t\r\n");
    return first == std::string::npos ? std::string() : arg.substr(first, last - first + 1);
}

bool names_a_key(const std::string& argument) {
    static const std::regex identifier("[A-Za-z_][A-Za-z0-9_]*");
    for (std::sregex_iterator it(argument.begin(), argument.end(), identifier), end; it != end; ++it) {
        std::string word = it->str();
        for (char& c : word) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (word.rfind("key", 0) == 0 || word.find("_key") != std::string::npos) return true;
    }
    return false;
}

// The names the code declares as vec3: `vec3 a = vec3(1), b;`, `in vec3 rd`.
std::set<std::string> vec3_names(const std::string& code) {
    std::set<std::string> names;
    static const std::regex declaration("\\bvec3\\s+");
    static const std::regex name("^\\s*([A-Za-z_][A-Za-z0-9_]*)\\s*([A-Za-z_]?)");
    for (std::sregex_iterator it(code.begin(), code.end(), declaration), end; it != end; ++it) {
        // The declarators, split at commas outside brackets, up to the ';',
        // '{' or unmatched ')' that ends the declaration.
        std::vector<std::string> parts(1);
        int depth = 0;
        for (size_t i = static_cast<size_t>(it->position() + it->length()); i < code.size(); ++i) {
            const char c = code[i];
            if (depth == 0 && (c == ';' || c == '{' || c == ')')) break;
            if (c == '(' || c == '[') ++depth;
            if (c == ')' || c == ']') --depth;
            if (depth == 0 && c == ',') {
                parts.emplace_back();
            } else {
                parts.back() += c;
            }
        }
        for (const std::string& part : parts) {
            std::smatch m;
            // "float t" after "vec3 p, " is a parameter of another type.
            if (!std::regex_search(part, m, name) || m[2].length() != 0) break;
            names.insert(m[1]);
        }
    }
    return names;
}

bool is_direction(const std::string& argument, const std::string& code) {
    static const std::regex made("^vec3\\s*\\(");
    if (std::regex_search(argument, made)) {  // the whole of it, not vec3(...).xy
        int depth = 0;
        size_t close = argument.find('(');
        for (; close < argument.size(); ++close) {
            if (argument[close] == '(') ++depth;
            if (argument[close] == ')' && --depth == 0) break;
        }
        return close + 1 == argument.size();
    }
    static const std::regex swizzle("\\.[xyzrgbstp]{3}$");
    if (std::regex_search(argument, swizzle)) return true;
    static const std::regex plain("^[A-Za-z_][A-Za-z0-9_]*$");
    return std::regex_match(argument, plain) && vec3_names(code).count(argument) != 0;
}

// What the shader needs that the player cannot give, each with its line.
std::vector<std::string> unmet_needs(const std::string& text) {
    const std::string code = without_comments(text);
    std::vector<std::string> needs;
    auto need = [&](const std::string& what, size_t pos) {
        needs.push_back(what + " (line " + std::to_string(line_at(code, pos)) + ")");
    };
    static const std::regex entry("\\b[A-Za-z_]\\w*\\s+(mainImage|mainSound|mainCubemap)\\s*\\(");
    int images = 0;
    for (std::sregex_iterator it(code.begin(), code.end(), entry), end; it != end; ++it) {
        const std::string kind = (*it)[1];
        const auto pos = static_cast<size_t>(it->position());
        if (kind == "mainSound") need("a sound pass (mainSound)", pos);
        if (kind == "mainCubemap") need("a cubemap pass (mainCubemap)", pos);
        if (kind == "mainImage" && ++images == 2) need("several passes (a second mainImage)", pos);
    }
    if (images == 0) needs.push_back("an image pass: it has no mainImage");
    static const std::regex version("(^|\\n)\\s*#\\s*version\\b");
    std::smatch m;
    if (std::regex_search(code, m, version)) {
        need("a #version of its own: it is a plain shader, add it as one", static_cast<size_t>(m.position()));
    }
    static const std::regex cube("\\b(samplerCube|sampler3D)\\b");
    if (std::regex_search(code, m, cube)) {
        need("a cubemap or volume channel (" + m[1].str() + ")", static_cast<size_t>(m.position()));
    }
    static const std::regex read("\\b(texture|textureLod|textureGrad|texelFetch)\\s*\\(\\s*iChannel([0-9])\\s*,");
    for (std::sregex_iterator it(code.begin(), code.end(), read), end; it != end; ++it) {
        const std::string channel = "iChannel" + (*it)[2].str();
        const auto pos = static_cast<size_t>(it->position());
        const std::string at = argument_at(code, pos + static_cast<size_t>(it->length()));
        static const std::regex fixed_texel("^ivec2\\s*\\(\\s*\\d+\\s*,\\s*\\d+\\s*\\)$");
        if (names_a_key(at)) {
            need("the keyboard on " + channel + " (read at " + at + ")", pos);
        } else if ((*it)[1] == "texelFetch" && std::regex_match(at, fixed_texel)) {
            need("the keyboard or a buffer's stored state on " + channel + " (read at the fixed texel " + at + ")",
                 pos);
        } else if (is_direction(at, code)) {
            need("a cubemap or volume texture on " + channel + " (read with the direction " + at + ")", pos);
        }
    }
    return needs;
}

// The floating literal GLSL and JSON both write for `value` (120.0, 127.5).
std::string floating_literal(double value) { return JsonEditValue(value).dump(); }

// What Shadertoy gives a shader, declared from what the player sets; the line
// on which the pasted text begins is said in the last line.
std::string header(const std::string& name, double bpm) {
    std::string h =
        "#version 330\n"
        "// " + name + ": a Shadertoy shader added by quill shadertoy. Its text stands\n"
        "// unchanged below this header; the main at the end calls its mainImage.\n"
        "//\n"
        "// iTime is in seconds: the beat at the project's tempo, " + floating_literal(bpm) + " bpm when\n"
        "// this file was written. Change quill_bpm if the project's tempo changes.\n"
        "const float quill_bpm = " + floating_literal(bpm) + ";\n"
        "uniform float beat;\n"
        "uniform vec2 resolution;\n"
        "// iChannel0 to 3 are the effect's first four inputs (its \"textures\").\n"
        "uniform sampler2D tex, tex1, tex2, tex3;\n"
        "#define iChannel0 tex\n"
        "#define iChannel1 tex1\n"
        "#define iChannel2 tex2\n"
        "#define iChannel3 tex3\n"
        "out vec4 fragColor;\n"
        "// Frames are counted at a stated 60 a second; there is no mouse.\n"
        "const float iFrameRate = " + floating_literal(frames_per_second) + ";\n"
        "const float iTimeDelta = 1.0 / iFrameRate;\n"
        "const float iSampleRate = 44100.0;\n"
        "const vec4 iMouse = vec4(0.0);\n"
        "// Set by main before mainImage runs (the zeros keep the compiler quiet).\n"
        "float iTime = 0.0, iGlobalTime = 0.0;\n"
        "int iFrame = 0;\n"
        "vec3 iResolution = vec3(0.0);\n"
        "vec4 iDate = vec4(0.0);  // 1 January 2000, the time of day being iTime\n"
        "vec3 iChannelResolution[4] = vec3[4](vec3(0.0), vec3(0.0), vec3(0.0), vec3(0.0));\n"
        "float iChannelTime[4] = float[4](0.0, 0.0, 0.0, 0.0);\n";
    // The marker line is the header's last; the pasted text starts after it.
    const int header_lines = line_at(h, h.size());
    return h + pasted_marker + std::to_string(header_lines) + ".\n";
}

const std::string shader_main = std::string("\n") + main_marker +
    ", shown opaque as\n"
    "// Shadertoy shows it.\n"
    "void main() {\n"
    "    iTime = beat * (60.0 / quill_bpm);\n"
    "    iGlobalTime = iTime;\n"
    "    iFrame = int(floor(iTime * iFrameRate));\n"
    "    iResolution = vec3(resolution, 1.0);\n"
    "    iDate = vec4(2000.0, 0.0, 1.0, mod(iTime, 86400.0));\n"
    "    iChannelResolution[0] = vec3(textureSize(iChannel0, 0), 1.0);\n"
    "    iChannelResolution[1] = vec3(textureSize(iChannel1, 0), 1.0);\n"
    "    iChannelResolution[2] = vec3(textureSize(iChannel2, 0), 1.0);\n"
    "    iChannelResolution[3] = vec3(textureSize(iChannel3, 0), 1.0);\n"
    "    for (int i = 0; i < 4; ++i) iChannelTime[i] = iTime;\n"
    "    mainImage(fragColor, gl_FragCoord.xy);\n"
    "    fragColor.a = 1.0;\n"
    "}\n";

// Whether a table of the project holds a record whose `key` is `value`.
bool table_holds(const JsonValue& project, const char* table, const char* key, const std::string& value) {
    const JsonValue& records = json_member(project, table);
    if (!records.is_array()) return false;
    for (const JsonValue& r : records) {
        if (json_text(json_member(r, key)) == value) return true;
    }
    return false;
}

void append_record(JsonSource& project, const char* table, const JsonEditValue& record) {
    const std::string path = std::string("/") + table;
    if (project.has(path)) {
        project.append(path, record);
    } else {
        project.add_member("", table, JsonEditValue::array({record}));
    }
}

}  // namespace

int pasted_line(std::string_view fragment_text, int file_line) {
    const size_t marker = fragment_text.find(pasted_marker);
    const size_t main = fragment_text.rfind(main_marker);
    if (marker == std::string_view::npos || main == std::string_view::npos) return 0;
    const int offset = std::atoi(std::string(fragment_text.substr(marker + std::strlen(pasted_marker), 9)).c_str());
    const std::string text(fragment_text.substr(0, main));
    const int last = line_at(text, text.size()) - 2;  // the line before main's blank one
    return file_line > offset && file_line <= last ? file_line - offset : 0;
}

int cmd_shadertoy(const std::vector<std::string>& argv) {
    const Args args = parse_args(argv, {"--name", "--channel0", "--channel1", "--channel2", "--channel3"}, {});
    if (args.flag("--help")) {
        std::fputs(usage, stdout);
        return exit_ok;
    }
    if (args.positional.size() != 2) throw UsageError("shadertoy needs a shader file and a project.json");
    const std::filesystem::path shader_path = args.positional[0];
    const std::filesystem::path project_path = args.positional[1];
    const std::string name = args.value("--name", shader_path.stem().string());
    const bool plain = std::all_of(name.begin(), name.end(), [](char c) {
        return static_cast<unsigned char>(c) >= 0x20 && c != 0x7F && c != '/' && c != '\\';
    });
    if (name.empty() || !plain || name[0] == '.') {
        throw UsageError("\"" + name + "\" cannot name a shader file; give --name NAME");
    }
    std::vector<std::string> channels;
    for (int i = 0; i < channel_count; ++i) {
        const std::string option = "--channel" + std::to_string(i);
        if (!args.has(option)) continue;
        if (static_cast<int>(channels.size()) != i) {
            throw UsageError(option + " needs the channels before it: inputs fill iChannel0 up");
        }
        channels.push_back(args.value(option));
    }

    const std::string text = read_text(shader_path);
    if (text.find(main_marker) != std::string::npos) {
        throw ContentError(shader_path.string() + " was made by quill shadertoy already; add the shader as pasted");
    }
    const std::vector<std::string> needs = unmet_needs(text);
    if (!needs.empty()) {
        std::string list;
        for (const std::string& n : needs) list += "\n  " + n;
        throw ContentError(shader_path.string() + " needs what the player cannot give:" + list +
                           "\nnothing was written");
    }

    JsonSource project(read_text(project_path), project_path.string());
    const JsonValue doc = project.value();
    if (!doc.is_object()) throw ContentError(project_path.string() + " is not a project (no object)");
    const double bpm = json_floating(json_member(doc, "bpm"));
    if (!(bpm > 0)) {
        throw ContentError(project_path.string() + ": \"bpm\" is not a floating number above 0 (write 120.0, " +
                           "not 120), and iTime is counted from it");
    }
    const ProjectDir dir(project_path.parent_path());
    const std::string frag = "resources/" + name + ".frag";
    if (std::filesystem::exists(dir.resolve(frag))) {
        throw ContentError(frag + " exists already; give another --name");
    }
    if (table_holds(doc, "shaders", "fragment_shader_filename", frag)) {
        throw ContentError("the project has a program " + frag + " already; give another --name");
    }
    if (table_holds(doc, "effects", "name", name)) {
        throw ContentError("the project has an effect \"" + name + "\" already; give another --name");
    }
    for (const std::string& c : channels) {
        if (!std::filesystem::exists(dir.resolve(c)) && !table_holds(doc, "textures", "name", c)) {
            throw ContentError(c + " is neither a file of the project nor one of its textures");
        }
    }

    for (const std::string& c : channels) {
        if (!table_holds(doc, "textures", "name", c)) append_record(project, "textures", {{"name", c}});
    }
    append_record(project, "shaders",
                  {{"vertex_shader_filename", default_vertex_shader_filename},
                   {"fragment_shader_filename", frag},
                   {"uniform_defs", JsonEditValue::array()}});
    JsonEditValue effect = {{"name", name}, {"program", frag}};
    if (!channels.empty()) effect["textures"] = channels;
    append_record(project, "effects", effect);

    const bool write_vertex = !std::filesystem::exists(dir.resolve(default_vertex_shader_filename));
    std::string body = text;
    if (!body.empty() && body.back() != '\n') body += '\n';
    dir.write(frag, header(name, bpm) + body + shader_main);
    try {
        if (write_vertex) dir.write(default_vertex_shader_filename, std::string(default_vertex_shader_source));
        replace_file(project_path, project.text());
    } catch (...) {
        std::error_code ec;
        std::filesystem::remove(dir.resolve(frag), ec);
        if (write_vertex) std::filesystem::remove(dir.resolve(default_vertex_shader_filename), ec);
        throw;
    }
    std::fprintf(stderr, "added %s, its program and the effect \"%s\" (iTime at %s bpm)%s\n", frag.c_str(),
                 name.c_str(), floating_literal(bpm).c_str(),
                 write_vertex ? "; wrote resources/default.vert" : "");
    return exit_ok;
}

}  // namespace qh::quill
