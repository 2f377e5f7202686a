// Shadertoy shaders as an author brings them: each row's shader is added to a
// project with quill shadertoy, packed, and one frame of it rendered at
// 2.625 s (a 32 x 32 frame at 8 a second, off every 60th of a second, so iFrame is
// 157 whatever the rounding); its middle pixel must show the row's colour.
// A refused shader leaves the project as it was and names what it needs (or
// the name it would take from another).
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "e2e/e2e_support.h"
#include "support/golden_image.h"
#include "support/png.h"

namespace qh::e2e {
namespace {

namespace fs = std::filesystem;

// An event for the effect the row adds, named "st", the whole demo long.
std::string project_json(const std::string& bpm) {
    return "{\n  \"bpm\": " + bpm + ",\n  \"end_beat\": 64.0,\n  \"events\": [\n"
           "    {\"type\": 1, \"effect\": \"st\", \"start_beat\": 0.0, \"end_beat\": 64.0}\n  ]\n}\n";
}

// The project in DIR/p, with the image four.png; its project.json text.
std::string make_project(const TempDir& dir, const std::string& bpm) {
    fs::create_directories(dir / "p/resources");
    const std::string project = project_json(bpm);
    write_text(dir / "p/project.json", project);
    write_text(dir / "p/resources/music.mp3", "");
    write_file(dir / "p/resources/four.png", test::solid_png(4, 2, 200, 100, 50));
    return project;
}

struct ShaderCase {
    const char* label;
    std::string shader;
    Rgb colour;                  // at the middle of the frame
    std::string needs = {};      // for a refused shader: what the refusal names
    std::string bpm = "120.0";
    bool taken = false;  // added once before, so that its names are taken
};

TEST(Shadertoy, ShadersAddedAsTheyAreDrawWhatTheyDrawThere) {
    const ShaderCase rows[] = {
        {"other parameter names, iResolution a vec3",
         "void mainImage(out vec4 O, in vec2 U) { O = vec4(U / iResolution.xy, iResolution.z, 1.0); }",
         {131, 123, 255}},
        {"a helper taking fragCoord",
         "vec3 shade(vec2 fragCoord) { return vec3(0.0, fragCoord.y / iResolution.y, 0.0); }\n"
         "void mainImage(out vec4 fragColor, in vec2 fragCoord) { fragColor = vec4(shade(fragCoord), 1.0); }",
         {0, 123, 0}},
        {"iMouse.z", "void mainImage(out vec4 c, in vec2 p) { c = vec4(0.0, 0.0, iMouse.z == 0.0 ? 1.0 : 0.5, 1.0); }",
         {0, 0, 255}},
        {"iFrame at 60 a second",
         "void mainImage(out vec4 c, in vec2 p) { c = vec4(float(iFrame) / 255.0, 0.0, 0.0, 1.0); }",
         {157, 0, 0}},
        {"iGlobalTime in seconds",
         "void mainImage(out vec4 c, in vec2 p) { c = vec4(0.0, iGlobalTime / 2.625, 0.0, 1.0); }",
         {0, 255, 0}},
        {"an alpha of 0.5 shows opaque",
         "void mainImage(out vec4 c, in vec2 p) { c = vec4(1.0, 0.0, 0.0, 0.5); }", {255, 0, 0}},
        {"a texture on iChannel0 and its resolution",
         "void mainImage(out vec4 c, in vec2 p) {\n"
         "    bool sized = iChannelResolution[0].xy == vec2(4.0, 2.0);\n"
         "    c = sized ? texture(iChannel0, p / iResolution.xy) : vec4(1.0, 0.0, 1.0, 1.0);\n}",
         {200, 100, 50}},
        {"fract(iTime) at 120 bpm",
         "void mainImage(out vec4 c, in vec2 p) { c = vec4(fract(iTime), 0.0, 0.0, 1.0); }", {159, 0, 0}},
        {"fract(iTime) at 90 bpm, the same",
         "void mainImage(out vec4 c, in vec2 p) { c = vec4(fract(iTime), 0.0, 0.0, 1.0); }", {159, 0, 0}, {},
         "90.0"},
        {"a keyboard channel is refused",
         "const int KEY_SPACE = 32;\n"
         "void mainImage(out vec4 c, in vec2 p) { c = texelFetch(iChannel1, ivec2(KEY_SPACE, 0), 0); }",
         {}, "the keyboard on iChannel1"},
        {"a cubemap channel is refused",
         "void mainImage(out vec4 c, in vec2 p) { vec3 rd = normalize(vec3(p, 1.0)); c = texture(iChannel0, rd); }",
         {}, "a cubemap or volume texture on iChannel0"},
        {"a second pass is refused",
         "void mainImage(out vec4 c, in vec2 p) { c = vec4(1.0); }\n"
         "void mainImage(out vec4 c, in vec2 p, in vec3 o) { c = vec4(o, 1.0); }",
         {}, "several passes"},
        {"a name that is taken is refused", "void mainImage(out vec4 c, in vec2 p) { c = vec4(1.0); }", {},
         "resources/st.frag exists already", "120.0", true},
    };
    for (const ShaderCase& row : rows) {
        SCOPED_TRACE(row.label);
        TempDir dir;
        std::string project = make_project(dir, row.bpm);
        write_text(dir / "st.glsl", row.shader);
        const std::vector<std::string> add = {"shadertoy", "st.glsl", "p/project.json", "--channel0",
                                              "resources/four.png"};
        if (row.taken) {
            ASSERT_EQ(quill(dir, add).status, 0);
            project = read_file(dir / "p/project.json");
        }
        const QuillRun added = quill(dir, add);
        if (!row.needs.empty()) {
            EXPECT_EQ(added.status, 1);
            EXPECT_NE(added.err.find(row.needs), std::string::npos) << added.err;
            EXPECT_EQ(read_file(dir / "p/project.json"), project);
            EXPECT_EQ(fs::exists(dir / "p/resources/st.frag"), row.taken);
            continue;
        }
        ASSERT_EQ(added.status, 0) << added.err;
        const QuillRun packed = quill(dir, {"pack", "p/project.json", "-o", "demo.bin"});
        ASSERT_EQ(packed.status, 0) << packed.err;
        const QuillRun rendered = quill(dir, {"render", "demo.bin", "-o", "frames", "--size", "32x32", "--fps",
                                              "8", "--from", "2.6", "--to", "2.7"});
        ASSERT_EQ(rendered.status, 0) << rendered.err;
        const test::RgbImage frame = test::read_png(dir / "frames/frame-000021.png");
        const uint8_t* px = &frame.rgb[(16 * 32 + 16) * 3];
        const Rgb shown{px[0], px[1], px[2]};
        EXPECT_TRUE(std::abs(shown.r - row.colour.r) <= 3 && std::abs(shown.g - row.colour.g) <= 3 &&
                    std::abs(shown.b - row.colour.b) <= 3)
            << "shows " << shown << ", must show " << row.colour;
    }
}

// An error on the pasted text's line 7 is told at the line of the .frag that
// holds it (the file says how the two count) and as line 7.
TEST(Shadertoy, CheckTellsAnErrorAtTheLineThatHoldsThePastedLine) {
    TempDir dir;
    make_project(dir, "120.0");
    write_text(dir / "st.glsl",
               "// 1\n// 2\n// 3\n// 4\n// 5\n// 6\nfloat broken = undeclared_name;\n"
               "void mainImage(out vec4 c, in vec2 p) { c = vec4(broken); }\n");
    ASSERT_EQ(quill(dir, {"shadertoy", "st.glsl", "p/project.json"}).status, 0);
    const std::string frag = read_file(dir / "p/resources/st.frag");
    const std::string marker = "its line L is this file's line L + ";
    const size_t at = frag.find(marker);
    ASSERT_NE(at, std::string::npos);
    const int offset = std::atoi(frag.c_str() + at + marker.size());
    const QuillRun checked = quill(dir, {"check", "p/project.json"});
    EXPECT_EQ(checked.status, 1);
    const size_t error = checked.out.find("resources/st.frag:" + std::to_string(7 + offset) + ": error");
    ASSERT_NE(error, std::string::npos) << checked.out;
    EXPECT_NE(checked.out.find("(line 7 as pasted)", error), std::string::npos) << checked.out;
}

}  // namespace
}  // namespace qh::e2e
