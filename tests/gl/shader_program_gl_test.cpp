// Shader programs on a real GL context: build outcome and logs, the location
// table, include expansion, and builds as a document loads.
#include <GL/glew.h>

#include <memory>
#include <vector>

#include "gl/gl_context.h"
#include "render/effect.h"
#include "playback/prepare.h"
#include "render/shader_program.h"
#include "support/solid_shader.h"

namespace qh {
namespace {

using gltest::GlTest;
using gltest::near;
using gltest::Rgba;

std::unique_ptr<ShaderProgram> program_named(const std::string& file, const std::string& source) {
    auto p = std::make_unique<ShaderProgram>();
    p->fragment_shader_filename = file;
    p->fragment_shader_source = source;
    return p;
}

// ---- include expansion as text ----

TEST(ExpandIncludes, ReplacesTheFirstDirectivePerProgramInTableOrder) {
    std::vector<std::unique_ptr<ShaderProgram>> table;
    table.push_back(program_named("a", "A"));
    table.push_back(program_named("b", "B[#include \"a\"][#include \"c\"]"));
    table.push_back(program_named("c", "C"));
    table.push_back(program_named("self", "S"));
    const ShaderProgram* self = table[3].get();

    struct Row {
        const char* name;
        std::string source;
        std::string expected;
    };
    const Row rows[] = {
        {"plain", "#include \"a\"", "A"},
        {"only the first duplicate", "#include \"a\" #include \"a\"", "A #include \"a\""},
        {"self left alone", "#include \"self\" #include \"c\"", "#include \"self\" C"},
        {"unknown name stays", "#include \"nowhere\"", "#include \"nowhere\""},
        {"no space is not a directive", "#include\"a\"", "#include\"a\""},
        // b's text brings directives for a (earlier: stays) and c (later: expanded).
        {"brought-in directives follow table order", "#include \"b\"",
         "B[#include \"a\"][C]"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(expand_includes(row.source, table, self), row.expected);
    }
}

// ---- building ----

class ShaderProgramGl : public GlTest {};

TEST_F(ShaderProgramGl, SuccessfulBuildFindsTheNamesItUses) {
    testing::internal::CaptureStdout();
    auto p = gltest::build_program(
        "#version 150\n"
        "out vec4 fragColor;\n"
        "uniform float beat; uniform vec2 resolution; uniform sampler2D tex; uniform sampler2D tex7;\n"
        "uniform sampler2D tex0;\n"  // slot 0 is only ever "tex"
        "uniform float gain;\n"
        "void main() { fragColor = texture(tex, vec2(beat)) + texture(tex7, resolution)\n"
        "    + texture(tex0, vec2(0.0)) + vec4(gain); }\n",
        {{"gain", 0.25f}, {"not_declared", 1.0f}});
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    ASSERT_TRUE(p->usable()) << p->gpu.status_text;
    EXPECT_EQ(p->gpu.status_text, "Compilation successful.");
    const auto& g = p->gpu;
    EXPECT_NE(g.location(StandardUniform::beat), -1);
    EXPECT_NE(g.location(StandardUniform::resolution), -1);
    EXPECT_NE(g.location(StandardUniform::tex0), -1);
    EXPECT_NE(g.location(static_cast<StandardUniform>(static_cast<int>(StandardUniform::tex0) + 7)), -1);
    EXPECT_EQ(g.location(static_cast<StandardUniform>(static_cast<int>(StandardUniform::tex0) + 1)), -1);
    EXPECT_EQ(g.location(StandardUniform::sound), -1);
    EXPECT_EQ(g.location(StandardUniform::tex0), glGetUniformLocation(g.program, "tex"));
    EXPECT_NE(g.vp_location, -1);
    EXPECT_NE(p->uniform_defs[0].gpu.location, -1);
    EXPECT_EQ(p->uniform_defs[1].gpu.location, -1);
    EXPECT_EQ(p->location_of("gain"), p->uniform_defs[0].gpu.location);
    EXPECT_EQ(p->location_of("missing"), -1);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(ShaderProgramGl, BrokenShaderLogsAndStaysUnusable) {
    testing::internal::CaptureStdout();
    auto broken = gltest::build_program("#version 150\nvoid main() { this is not glsl }\n");
    const std::string out = testing::internal::GetCapturedStdout();

    EXPECT_FALSE(broken->usable());
    const std::string& status = broken->gpu.status_text;
    const size_t linker = status.find("\nLINKER ERROR: ");
    ASSERT_NE(linker, std::string::npos) << status;
    const std::string compile_log = status.substr(0, linker);
    EXPECT_FALSE(compile_log.empty());
    EXPECT_NE(compile_log, "Compilation successful.");
    EXPECT_NE(out.find(compile_log + "\n"), std::string::npos) << out;
    EXPECT_NE(out.find("LINKER ERROR: " + status.substr(linker + 15)), std::string::npos) << out;
    EXPECT_NE(out.find("\nShader build failed: resources/untitled.frag\n"), std::string::npos) << out;
    for (int32_t l : broken->gpu.locations) EXPECT_EQ(l, -1);
    EXPECT_EQ(broken->location_of("anything"), -1);

    // Effects with it draw nothing and break nothing; the others still draw.
    auto red = gltest::build_program(test::solid_shader("vec4(1.0, 0.0, 0.0, 1.0)"));
    std::vector<std::unique_ptr<Effect>> effects;
    effects.push_back(std::make_unique<Effect>("broken", broken.get(), nullptr, nullptr, false, false, nullptr));
    effects.push_back(std::make_unique<Effect>("no program", nullptr, nullptr, nullptr, false, false, nullptr));
    effects.push_back(std::make_unique<Effect>("red", red.get(), nullptr, nullptr, false, false, nullptr));
    effects.front()->upload_uniform_defaults();
    broken->set_float(0, 1.0f);
    warm_up(effects, gltest::frame_at(0));
    EXPECT_TRUE(near(pixel(5, 5), {255, 0, 0, 255}));
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

// As a document loads: each program is built once, one with includes only
// once they can be resolved, and only real failures are reported; a text
// that only serves #include in others is no failure.
TEST_F(ShaderProgramGl, ProgramsBuildOnceWithTheirIncludesResolved) {
    std::vector<std::unique_ptr<ShaderProgram>> shaders;
    shaders.push_back(program_named("lib/colour.frag", "vec4 lib_colour() { return vec4(0.0, 0.0, 1.0, 1.0); }\n"));
    shaders.push_back(program_named("main.frag",
                                    "#version 150\n"
                                    "out vec4 fragColor;\n"
                                    "#include \"lib/colour.frag\"\n"
                                    "void main() { fragColor = lib_colour(); }\n"));
    shaders.push_back(program_named("self.frag",
                                    "#version 150\n"
                                    "out vec4 fragColor;\n"
                                    "#include \"self.frag\"\n"
                                    "void main() { fragColor = vec4(1.0); }\n"));
    shaders.push_back(program_named("plain.frag", test::solid_shader("vec4(1.0)")));
    ShaderProgram& main = *shaders[1];
    ShaderProgram& self = *shaders[2];
    ShaderProgram& plain = *shaders[3];
    std::vector<std::unique_ptr<Effect>> effects;
    effects.push_back(std::make_unique<Effect>("uses the library", &main, nullptr, nullptr, false, false, nullptr));

    testing::internal::CaptureStdout();
    for (auto& p : shaders) p->realize();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_FALSE(main.device_state().built());
    ASSERT_TRUE(plain.usable());
    // Built once: prepare leaves a program without includes as it was read.
    plain.fragment_shader_source = "not glsl";

    testing::internal::CaptureStdout();
    prepare_programs(shaders, effects);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_TRUE(plain.usable());
    ASSERT_TRUE(main.usable()) << main.gpu.status_text;
    EXPECT_EQ(main.gpu.expanded_fragment_source.find("#include"), std::string::npos);
    EXPECT_FALSE(self.usable());
    EXPECT_EQ(out.find("lib/colour.frag"), std::string::npos) << out;
    const size_t failed = out.find("Shader build failed: self.frag\n");
    ASSERT_NE(failed, std::string::npos) << out;
    EXPECT_EQ(out.find("Shader build failed", failed + 1), std::string::npos) << out;

    effects.front()->draw(gltest::frame_at(0), nullptr, false);
    EXPECT_TRUE(near(pixel(30, 20), {0, 0, 255, 255}));
}

}  // namespace
}  // namespace qh
