// The mistakes a newcomer makes in a first project, each as the one change to
// a sound project, with the exact line `quill pack` and `quill check` print
// for it and their exit statuses.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <sstream>

#include "e2e/e2e_support.h"
#include "package/json_value.h"
#include "support/png.h"
#include "support/sample_demo.h"
#include "support/wav.h"

namespace qh::e2e {
namespace {

const char* const vertex_shader = "#version 150\nin vec3 vp;\nvoid main() { gl_Position = vec4(vp, 1.0); }\n";
const char* const common_glsl =  // line 3 is the one the rows break
    "// shared by the effects\n"
    "vec3 palette(float t) {\n"
    "    return 0.5 + 0.5 * cos(6.28318 * (t + vec3(0.0, 0.33, 0.67)));\n"
    "}\n";
const char* const plasma_frag =  // line 8 is the one the rows break
    "#version 150\n"
    "#include \"resources/common.glsl\"\n"
    "uniform float beat;\n"
    "uniform float intensity;\n"
    "uniform sampler2D tex;\n"
    "out vec4 fragColor;\n"
    "void main() {\n"
    "    vec3 c = palette(beat * 0.25) * intensity;\n"
    "    fragColor = vec4(c, 1.0) + 0.1 * texture(tex, vec2(0.5));\n"
    "}\n";

JsonValue curve(const char* key, JsonValue value) {
    return {{"mode", 1}, {"control_points", JsonValue::array({{{"beat", 0.0}, {key, value}}})}};
}

// A project that packs and checks clean: a shared include, one effect with
// an image and a text texture, a sample, a font and music.
JsonValue sound_project() {
    return {
        {"bpm", 120.0},
        {"beat_offset", 0.0},
        {"end_beat", 16.0},
        {"shaders",
         {{{"vertex_shader_filename", "resources/default.vert"},
           {"fragment_shader_filename", "resources/common.glsl"},
           {"uniform_defs", JsonValue::array()}},
          {{"vertex_shader_filename", "resources/default.vert"},
           {"fragment_shader_filename", "resources/plasma.frag"},
           {"uniform_defs",
            {{{"name", "intensity"}, {"min_val", 0.0}, {"max_val", 1.0}, {"default_val", 1.0}}}}}}},
        {"textures", {{{"name", "resources/logo.png"}}}},
        {"fonts", {{{"name", "sans"}, {"filename", "resources/sans.ttf"}, {"ptsize", 24}}}},
        {"font_textures", {{{"name", "title"}, {"width", 256}, {"height", 64}, {"font", "sans"}}}},
        {"audio_samples", {{{"name", "resources/hit.wav"}}}},
        {"effects",
         {{{"name", "plasma"},
           {"program", "resources/plasma.frag"},
           {"textures", {"resources/logo.png"}},
           {"font_textures", {"title"}}}}},
        {"events",
         {{{"type", 1},
           {"name", "bg"},
           {"effect", "plasma"},
           {"start_beat", 0.0},
           {"end_beat", 16.0},
           {"control_points",
            {{"intensity", curve("value", 0.8)}, {"title", curve("text", "beat <BEAT>")}}}},
          {{"type", 2}, {"name", "hit"}, {"audio_sample", "resources/hit.wav"}, {"beat", 4.0}}}},
    };
}

std::vector<uint8_t> tone() {
    std::vector<int16_t> samples(4410);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<int16_t>(8000 * std::sin(double(i) * 2 * M_PI * 440 / 44100));
    return test::wav_file(samples, 1);
}

void write_text(const TempDir& dir, const std::string& name, const std::string& text) {
    write_file(dir / name, test::bytes_of(text));
}

void write_project(const TempDir& dir, const JsonValue& project) {
    std::filesystem::create_directories(dir / "resources");
    write_text(dir, "project.json", dump_json_text(project));
    write_text(dir, "resources/default.vert", vertex_shader);
    write_text(dir, "resources/common.glsl", common_glsl);
    write_text(dir, "resources/plasma.frag", plasma_frag);
    write_file(dir / "resources/logo.png", test::solid_png(4, 4, 200, 120, 40));
    write_file(dir / "resources/sans.ttf", test::test_font_bytes());
    write_file(dir / "resources/hit.wav", tone());
    write_file(dir / "resources/music.mp3", tone());
}

// The project.json text with `from` replaced by `to` (the first occurrence).
void edit_text(const TempDir& dir, const std::string& file, const std::string& from, const std::string& to) {
    std::string text = read_file(dir / file);
    const size_t at = text.find(from);
    ASSERT_NE(at, std::string::npos) << from << " not in " << file;
    write_text(dir, file, text.replace(at, from.size(), to));
}

// Whether `text` holds `line` as one whole line.
bool has_line(const std::string& text, const std::string& line) {
    std::istringstream lines(text);
    for (std::string l; std::getline(lines, l);) {
        if (l == line) return true;
    }
    return false;
}

void rename_curve(JsonValue& project, const char* from, const char* to) {
    JsonValue& curves = project["events"][0]["control_points"];
    curves[to] = curves[from];
    curves.erase(from);
}

struct Mistake {
    const char* label;
    std::function<void(JsonValue&)> project;             // a change to the project
    std::function<void(const TempDir&)> files = nullptr;  // or to its files, after writing
    int pack_status;
    std::string pack_line;  // a whole line of pack's standard error; empty: prints none
    int check_status;
    std::string check_line;   // a whole line of check's output
    std::string render_line = {};  // a whole line of render's standard error; empty: not rendered
};

void no_change(JsonValue&) {}

// A slip in the JSON text: neither command gets further than reading it.
// `from` empty: the whole file becomes `to`.
Mistake json_slip(const char* label, std::string from, std::string to, const std::string& message) {
    auto edit = [=](const TempDir& d) {
        if (from.empty()) write_text(d, "project.json", to);
        else edit_text(d, "project.json", from, to);
    };
    return {label, no_change, edit, 1,
            "quill pack: error: " + message, 1, "quill check: error: " + message};
}

TEST(Newcomer, EachMistakeIsNamedWhereItIs) {
    const Mistake rows[] = {
        {"nothing wrong", no_change, nullptr, 0, "", 0, "  ok      resources/music.mp3: WAV"},
        {"integral tempo", [](JsonValue& p) { p["bpm"] = 120; }, nullptr, 0,
         "quill: warning: project.json: project: \"bpm\" is 120 (an integral number), which reads as 0; "
         "write 120.0",
         1,
         "  FAILED  tempo: \"bpm\" is 0, so the beat never moves and the demo never ends; write the tempo "
         "with a decimal point, for example \"bpm\": 120.0",
         "quill render: \"bpm\" is 0, so the beat never moves and the demo never ends; write the tempo "
         "with a decimal point, for example \"bpm\": 120.0"},
        {"a truth that is not text", [](JsonValue& p) { p["events"][0]["visible"] = true; }, nullptr, 0,
         "quill: warning: project.json: \"events\"[0]: event \"bg\": \"visible\" is not a string, which "
         "reads as false; write \"true\" or \"false\"",
         0,
         "  warning: \"events\"[0]: event \"bg\": \"visible\" is not a string, which reads as false; write "
         "\"true\" or \"false\""},
        {"a missing file", no_change, [](const TempDir& d) { std::filesystem::remove(d / "resources/hit.wav"); },
         1,
         "quill pack: error: project.json: the file resources/hit.wav, named by \"audio_samples\"[0] and "
         "\"events\"[1], is missing: looked for {dir}/resources/hit.wav",
         1,
         "quill check: error: project.json: the file resources/hit.wav, named by \"audio_samples\"[0] and "
         "\"events\"[1], is missing: looked for {dir}/resources/hit.wav"},
        {"no end beat", [](JsonValue& p) { p["end_beat"] = 0.0; }, nullptr, 0, "", 1,
         "  FAILED  end beat: \"end_beat\" is 0, so the demo ends as it starts; write the last beat with "
         "a decimal point, for example \"end_beat\": 64.0"},
        {"music that is text", no_change,
         [](const TempDir& d) { write_text(d, "resources/music.mp3", "These are the words of the song.\n"); },
         0, "", 1,
         "  FAILED  resources/music.mp3: does not decode as music in any format the mixer knows; save "
         "the track as Ogg Vorbis or MP3 under this name"},
        {"image that is text", no_change,
         [](const TempDir& d) { write_text(d, "resources/logo.png", "not an image\n"); }, 0, "", 1,
         "  FAILED  resources/logo.png: image does not decode"},
        {"sound that is text", no_change,
         [](const TempDir& d) { write_text(d, "resources/hit.wav", "not a sound\n"); }, 0, "", 1,
         "  FAILED  resources/hit.wav: sound does not decode"},
        {"font that is text", no_change,
         [](const TempDir& d) { write_text(d, "resources/sans.ttf", "not a font\n"); }, 0, "", 1,
         "  FAILED  title: 256 x 64 allocated, font sans; its font sans did not open, so no text shows; "
         "mend the font's row below"},
        {"a curve with a typo", [](JsonValue& p) { rename_curve(p, "intensity", "intensty"); }, nullptr, 0,
         "quill: warning: project.json: event \"bg\": curve \"intensty\" drives nothing: no uniform or text "
         "texture of that name (did you mean \"intensity\"?)",
         1,
         "  FAILED  bg: effect plasma; curve \"intensty\" drives nothing: no uniform or text texture of that "
         "name (did you mean \"intensity\"?)"},
        {"an event naming no effect", [](JsonValue& p) { p["events"][0]["effect"] = "plasm"; }, nullptr, 0,
         "quill: warning: project.json: event \"bg\": effect \"plasm\" names no effect (did you mean "
         "\"plasma\"?)",
         1, "  FAILED  bg: effect \"plasm\" names no effect (did you mean \"plasma\"?)"},
        {"an unknown placeholder",
         [](JsonValue& p) { p["events"][0]["control_points"]["title"] = curve("text", "bar <BAR>"); }, nullptr,
         0,
         "quill: warning: project.json: event \"bg\": curve \"title\": text placeholder \"<BAR>\" is unknown "
         "and shows as written",
         1,
         "  FAILED  bg: effect plasma; curve \"title\": text placeholder \"<BAR>\" is unknown and shows as "
         "written"},
        {"an effect texture naming nothing",
         [](JsonValue& p) { p["effects"][0]["textures"][0] = "resources/logo.pgn"; }, nullptr, 0,
         "quill: warning: project.json: effect \"plasma\": texture \"resources/logo.pgn\" names no texture "
         "(did you mean \"resources/logo.png\"?)",
         1,
         "  FAILED  plasma: target complete (1024 x 576); texture \"resources/logo.pgn\" names no texture "
         "(did you mean \"resources/logo.png\"?)"},
        {"a missing shader file", no_change,
         [](const TempDir& d) { std::filesystem::remove(d / "resources/plasma.frag"); }, 1,
         "quill pack: error: project.json: the project names files that do not exist:", 1,
         "  FAILED  resources/plasma.frag: fragment shader did not compile; not linked; no file "
         "\"resources/plasma.frag\" (fragment_shader_filename): looked for {dir}/resources/plasma.frag"},
        {"an include naming no program", no_change,
         [](const TempDir& d) { edit_text(d, "resources/plasma.frag", "/common.glsl", "/comon.glsl"); }, 0,
         "quill: warning: project.json: shader \"resources/plasma.frag\": #include \"resources/comon.glsl\" "
         "names no program's fragment file (did you mean \"resources/common.glsl\"?)",
         1,
         "  FAILED  resources/plasma.frag: fragment shader did not compile; not linked; #include "
         "\"resources/comon.glsl\" names no program's fragment file (did you mean \"resources/common.glsl\"?)"},
        {"a uniform missing from uniform_defs", [](JsonValue& p) { rename_curve(p, "intensity", "hue"); },
         [](const TempDir& d) { edit_text(d, "resources/plasma.frag", "uniform float beat;", "uniform float hue;"); },
         0,
         "quill: warning: project.json: event \"bg\": curve \"hue\" drives nothing: \"resources/plasma.frag\" "
         "declares uniform \"hue\" but the program's \"uniform_defs\" has no entry for it; add {\"name\": "
         "\"hue\", \"min_val\": 0.0, \"max_val\": 1.0, \"default_val\": 0.0} there",
         1,
         "  FAILED  bg: effect plasma; curve \"hue\" drives nothing: \"resources/plasma.frag\" declares uniform "
         "\"hue\" but the program's \"uniform_defs\" has no entry for it; add {\"name\": \"hue\", "
         "\"min_val\": 0.0, \"max_val\": 1.0, \"default_val\": 0.0} there"},
        {"a typo in the effect's shader", no_change,
         [](const TempDir& d) { edit_text(d, "resources/plasma.frag", "* intensity;", "* intensty;"); }, 0, "",
         1, "          resources/plasma.frag:8: error: `intensty' undeclared"},
        {"a typo in the shared include", no_change,
         [](const TempDir& d) { edit_text(d, "resources/common.glsl", "0.67)));", "0.67));"); }, 0, "", 1,
         "          resources/common.glsl:3: error: syntax error, unexpected ';', expecting ')' or ',' "
         "(included from resources/plasma.frag:2)"},
        json_slip("a trailing comma", "\"end_beat\": 16.0", "\"end_beat\": 16.0,\n}",
                  "project.json:21:19: a comma with nothing after it before '}'; remove the comma"),
        json_slip("a missing comma", "\"bpm\": 120.0,", "\"bpm\": 120.0",
                  "project.json:8:15: a comma is missing after this value (before what starts on line 9)"),
        json_slip("a key without quotes", "\"bpm\":", "bpm:",
                  "project.json:8:3: a key needs double quotes: write \"bpm\""),
        json_slip("single quotes", "\"bpm\":", "'bpm':",
                  "project.json:8:3: JSON writes texts and keys in double quotes (\"), not single quotes"),
        json_slip("an unclosed text", "\"end_beat\": 16.0", "\"end_beat\": \"16.0",
                  "project.json:21:21: a text runs on past the end of its line; close it with \" or write \\n"),
        json_slip("a doubled comma", "\"bpm\": 120.0,", "\"bpm\": 120.0,,",
                  "project.json:8:16: a comma where a key or a value should be; remove one of the commas"),
        json_slip("an unexpected end", "{", "{\"settings\": {",
                  "project.json:97:1: the text ends here, before every '{' and '[' is closed"),
        json_slip("a bad literal", "\"bpm\": 120.0,", "\"bpm\": yes,",
                  "project.json:8:10: not a value: write a number, a \"text\", true, false, null, a [list] or "
                  "an {object}"),
        json_slip("an empty file", "", "",
                  "project.json:1:1: the file is empty (or blank); a project is one JSON object: { ... }"),
    };
    // As on a machine with no display: no trace of one in the environment.
    const std::vector<std::string> headless = {"DISPLAY=", "WAYLAND_DISPLAY=", "XDG_RUNTIME_DIR="};
    for (const Mistake& row : rows) {
        SCOPED_TRACE(row.label);
        TempDir dir;
        const auto in_dir = [&](std::string line) {
            const size_t at = line.find("{dir}");
            return at == std::string::npos ? line : line.replace(at, 5, dir.path().string());
        };
        JsonValue project = sound_project();
        row.project(project);
        write_project(dir, project);
        if (row.files) row.files(dir);

        const QuillRun pack = quill(dir, {"pack", "project.json", "-o", "demo"});
        EXPECT_EQ(pack.status, row.pack_status) << pack.err;
        EXPECT_EQ(pack.out, "");  // what the player prints while reading stays hidden
        if (row.pack_line.empty()) {
            EXPECT_EQ(pack.err.find("warning"), std::string::npos) << pack.err;
        } else {
            EXPECT_TRUE(has_line(pack.err, in_dir(row.pack_line))) << pack.err;
        }
        const QuillRun check = quill(dir, {"check", "project.json"}, headless);
        EXPECT_EQ(check.status, row.check_status) << check.out << check.err;
        EXPECT_TRUE(has_line(check.out + check.err, in_dir(row.check_line))) << check.out << check.err;
        if (check.status == 0) {
            EXPECT_EQ(check.err, "");  // nothing said but the report
        }
        if (row.render_line.empty()) continue;
        const QuillRun render = quill(dir, {"render", "project.json", "-o", "frames", "--size", "64x36"}, headless);
        EXPECT_EQ(render.status, 1) << render.err;
        EXPECT_TRUE(has_line(render.err, row.render_line)) << render.err;
    }
}

}  // namespace
}  // namespace qh::e2e
