// Rebuilding after edited sources: what is rebuilt, what is kept, and what
// the effects then draw.
#include <GL/glew.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "gl/gl_context.h"
#include "playback/prepare.h"
#include "playback/program_reload.h"
#include "render/effect.h"
#include "render/shader_program.h"
#include "support/solid_shader.h"

namespace qh {
namespace {

using gltest::GlTest;
using gltest::near;
using gltest::Rgba;

std::string colour_lib(const char* rgb) {
    return std::string("vec4 colour() { return vec4(") + rgb + ", 1.0); }\n";
}
const char* const uses_lib =
    "#version 150\nout vec4 fragColor;\n#include \"lib.glsl\"\nvoid main() { fragColor = colour(); }\n";
const char* const broken = "vec4 colour() { return vec4(1.0) }\n";
const char* const nonsense = "#version 150\nvoid main() { nonsense; }\n";
// Blue as bright as its one uniform definition, "level" (default 1).
const char* const level_blue =
    "#version 150\nuniform float level;\nout vec4 fragColor;\n"
    "void main() { fragColor = vec4(0.0, 0.0, level, 1.0); }\n";

// lib.glsl (only #included), a.frag (includes it), b.frag (stands alone);
// effects "a" and "b" draw with the last two.
class ProgramReloadTest : public GlTest {
protected:
    void SetUp() override {
        GlTest::SetUp();
        add("lib.glsl", colour_lib("1.0, 0.0, 0.0"));
        add("a.frag", uses_lib);
        add("b.frag", level_blue);
        UniformDef& level = shaders[2]->uniform_defs.emplace_back();
        level.name = "level";
        level.default_val = 1;
        for (int i = 1; i <= 2; ++i) {
            auto e = std::make_unique<Effect>();
            e->program = shaders[i].get();
            effects.push_back(std::move(e));
        }
        prepare(shaders, effects, runtime().screen);
    }
    void add(const char* file, const std::string& source) {
        auto p = std::make_unique<ShaderProgram>();
        p->fragment_shader_filename = file;
        p->fragment_shader_source = source;
        shaders.push_back(std::move(p));
    }
    ShaderProgram& program(int i) { return *shaders[i]; }
    Rgba drawn(int effect) {
        glClear(GL_COLOR_BUFFER_BIT);
        effects[effect]->upload_uniform_defaults();
        effects[effect]->draw(gltest::frame_at(0), nullptr, false);
        return pixel(width / 2, height / 2);
    }
    std::vector<std::string> rebuilt(const ProgramReload& r) {
        std::vector<std::string> names;
        for (const ShaderProgram* p : r.rebuilt) names.push_back(p->fragment_shader_filename);
        return names;
    }
    std::vector<std::string> failed(const ProgramReload& r) {
        std::vector<std::string> names;
        for (const ProgramFailure& f : r.failed) names.push_back(f.program->fragment_shader_filename);
        return names;
    }

    std::vector<std::unique_ptr<ShaderProgram>> shaders;
    std::vector<std::unique_ptr<Effect>> effects;
};

TEST_F(ProgramReloadTest, AnEditRebuildsItsProgramAndItsIncludersOnly) {
    struct Row {
        const char* name;
        int edited;  // program index
        std::string text;
        std::vector<std::string> rebuilt;
        Rgba a, b;  // what effects a and b draw afterwards
    };
    const Rgba red{255, 0, 0, 255}, green{0, 255, 0, 255}, blue{0, 0, 255, 255}, white{255, 255, 255, 255};
    const Row rows[] = {
        {"included text", 0, colour_lib("0.0, 1.0, 0.0"), {"a.frag"}, green, blue},
        {"standalone program", 2, test::solid_shader("vec4(1.0, 1.0, 1.0, 1.0)"), {"b.frag"}, green, white},
        {"includer itself", 1, std::string(uses_lib) + "// edited\n", {"a.frag"}, green, white},
        {"nothing changed", 2, test::solid_shader("vec4(1.0, 1.0, 1.0, 1.0)"), {}, green, white},
        {"back to the start", 0, colour_lib("1.0, 0.0, 0.0"), {"a.frag"}, red, white},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const GLuint untouched_a = program(1).gpu.program, untouched_b = program(2).gpu.program;
        program(row.edited).fragment_shader_source = row.text;
        const ProgramReload r = rebuild_stale_programs(shaders, effects, runtime().screen);
        EXPECT_EQ(rebuilt(r), row.rebuilt);
        EXPECT_TRUE(r.failed.empty());
        if (std::find(row.rebuilt.begin(), row.rebuilt.end(), "a.frag") == row.rebuilt.end()) {
            EXPECT_EQ(program(1).gpu.program, untouched_a);
        }
        if (row.rebuilt != std::vector<std::string>{"b.frag"}) {
            EXPECT_EQ(program(2).gpu.program, untouched_b);
        }
        for (const auto& p : shaders) EXPECT_FALSE(program_is_stale(*p, shaders)) << p->fragment_shader_filename;
        EXPECT_TRUE(near(drawn(0), row.a));
        EXPECT_TRUE(near(drawn(1), row.b));
    }
}

TEST_F(ProgramReloadTest, ABrokenEditKeepsTheLastGoodBuildUntilFixed) {
    const GLuint good = program(1).gpu.program;
    program(0).fragment_shader_source = broken;
    ProgramReload r = rebuild_stale_programs(shaders, effects, runtime().screen);
    ASSERT_EQ(r.failed.size(), 1u);
    EXPECT_EQ(r.failed[0].program, &program(1)) << "the includer fails, not the included text";
    EXPECT_NE(r.failed[0].log.find("fragment: "), std::string::npos) << r.failed[0].log;
    EXPECT_TRUE(program(1).usable());
    EXPECT_EQ(program(1).gpu.program, good);
    EXPECT_TRUE(program_is_stale(program(1), shaders)) << "a failed program must be tried again";
    EXPECT_TRUE(near(drawn(0), {255, 0, 0, 255})) << "the last good picture";

    // c.frag, drawn by an effect, never linked: nothing to keep, and it says
    // so. b.frag keeps its good build and the locations of its uniforms, so
    // a new value of "level" still reaches the picture.
    add("c.frag", nonsense);
    effects.push_back(std::make_unique<Effect>());
    effects.back()->program = &program(3);
    program(2).fragment_shader_source = nonsense;
    r = rebuild_stale_programs(shaders, effects, runtime().screen);
    EXPECT_EQ(failed(r), (std::vector<std::string>{"a.frag", "b.frag", "c.frag"}));
    EXPECT_FALSE(program(3).usable());
    EXPECT_TRUE(program(2).usable()) << "b.frag was good before: it keeps that build";
    program(2).uniform_defs[0].default_val = 0.5f;
    EXPECT_TRUE(near(drawn(1), {0, 0, 128, 255})) << "the kept build lost its uniform locations";

    program(0).fragment_shader_source = colour_lib("0.0, 1.0, 0.0");
    program(2).fragment_shader_source = level_blue;  // its last good text: nothing to build
    r = rebuild_stale_programs(shaders, effects, runtime().screen);
    EXPECT_TRUE(r.failed.empty());
    EXPECT_EQ(rebuilt(r), std::vector<std::string>{"a.frag"});
    EXPECT_TRUE(near(drawn(0), {0, 255, 0, 255}));
    EXPECT_TRUE(near(drawn(1), {0, 0, 128, 255}));
}

}  // namespace
}  // namespace qh
