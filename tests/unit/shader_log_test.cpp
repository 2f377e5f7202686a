// Compiler messages taken back from the expanded text to the files the
// author wrote, and said once across programs.
#include <gtest/gtest.h>

#include "render/shader_log.h"

namespace qh {
namespace {

// plasma.frag includes common.glsl on its line 2, which includes noise.glsl
// on its line 2. Compiled lines: 1 plasma:1, 2 common:1, 3-4 noise:1-2,
// 5 common:2 (after its directive), 6 common:3, 7 plasma:2 (after its
// directive), 8-9 plasma:3-4.
const SourceText others[] = {
    {"resources/common.glsl", "// shared\n#include \"resources/noise.glsl\"\nvec4 tint() { return vec4(1.0); }\n"},
    {"resources/noise.glsl", "float noise(vec2 p) { return 0.0; }\nfloat bad() { return x; }\n"},
};
const SourceText plasma{"resources/plasma.frag",
                        "#version 150\n#include \"resources/common.glsl\"\nout vec4 c;\nvoid main() { c = tint(); }\n"};

TEST(ShaderLog, DriverLinesNameTheAuthoredFileAndLine) {
    const ExpandedSource e = expand_sources(plasma, others);
    ASSERT_EQ(e.spliced, (std::vector<size_t>{0, 1}));
    const std::string common = " (included from resources/plasma.frag:2)";
    struct Row {
        const char* driver;
        std::string expected;
    };
    const Row rows[] = {
        {"0:1(10): error: own line", "resources/plasma.frag:1: error: own line"},
        {"0:2(1): error: first spliced line", "resources/common.glsl:1: error: first spliced line" + common},
        {"0:4(23): error: `x' undeclared",
         "resources/noise.glsl:2: error: `x' undeclared (included from resources/common.glsl:2, "
         "resources/plasma.frag:2)"},
        {"0:5(1): error: after the directive", "resources/common.glsl:2: error: after the directive" + common},
        {"0:6(1): warning: after the inner one", "resources/common.glsl:3: warning: after the inner one" + common},
        {"0:8(5): error: after the splice", "resources/plasma.frag:3: error: after the splice"},
        {"0(9) : error C1008: undefined variable", "resources/plasma.frag:4: error C1008: undefined variable"},
        {"ERROR: 0:9: 'c' : undeclared", "resources/plasma.frag:4: error: 'c' : undeclared"},
        {"0:12(1): error: past the end", "resources/plasma.frag:7: error: past the end"},
        {"0:0(0): error: before the first line", "0:0(0): error: before the first line"},
        {"error: linking with uncompiled shader", "error: linking with uncompiled shader"},
        {"0:3 error: no column", "0:3 error: no column"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.driver);
        const std::vector<CompilerMessage> m = translate_log(std::string(row.driver) + "\r\n\n", e.map);
        ASSERT_EQ(m.size(), 1u);
        EXPECT_EQ(m[0].text(), row.expected);
    }
}

TEST(ShaderLog, AMessageSaidByAnEarlierProgramIsSaidOnce) {
    const SourceMap tunnel_map = expand_sources({"resources/tunnel.frag", "#include \"resources/common.glsl\"\n"},
                                                std::span(others, 1)).map;
    const SourceMap sky_map = expand_sources({"resources/sky.frag", "\n#include \"resources/common.glsl\"\n"},
                                             std::span(others, 1)).map;
    const std::string shared = "error: `y' undeclared\nerror: linking failed\n";
    MessagesOnce once;
    EXPECT_EQ(once.lines(translate_log("0:3(1): " + shared, tunnel_map)),
              (std::vector<std::string>{
                  "resources/common.glsl:3: error: `y' undeclared (included from resources/tunnel.frag:1)",
                  "error: linking failed"}));
    EXPECT_EQ(once.lines(translate_log("0:1(1): error: own\n0:4(1): " + shared, sky_map)),
              (std::vector<std::string>{"resources/sky.frag:1: error: own",
                                        "(resources/common.glsl: 1 message shown above)",
                                        "error: linking failed"}));
}

}  // namespace
}  // namespace qh
