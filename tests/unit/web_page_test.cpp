// The web demo's page format and the shader stages it carries, with no browser.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "package/byte_buffer.h"
#include "package/errors.h"
#include "package/web_page.h"
#include "render/stage_translations.h"

namespace qh {
namespace {

const std::string player = "<!DOCTYPE html><p>a</p><!--quillharbor:content--><!--/quillharbor:content--><p>b</p>";

TEST(WebPage, HoldsThePackageAndStagesAndPacksAgainInPlace) {
    const std::vector<uint8_t> packed = {0, 1, 2, 250, 'D', 'E', 'M', 'O'};
    const std::string once = web_page_with_content(player, packed, "{\"a\":\"x\"}");
    const std::string twice = web_page_with_content(once, {packed.data(), 3}, "{}");
    ASSERT_TRUE(is_web_player_page({reinterpret_cast<const uint8_t*>(twice.data()), twice.size()}));
    const auto content = find_web_content(twice);
    ASSERT_TRUE(content);
    EXPECT_EQ(base64_decode(content->package_base64), std::vector<uint8_t>(packed.begin(), packed.begin() + 3));
    EXPECT_EQ(content->stages_json, "{}");
    // The player's own text is kept whole around the content.
    EXPECT_EQ(twice.substr(0, content->begin), player.substr(0, player.find("<!--/")));
    EXPECT_EQ(twice.substr(content->end), player.substr(player.find("<!--/")));
    EXPECT_THROW(web_page_with_content(player, packed, "{\"a\":\"</script>\"}"), ContentError);
    EXPECT_THROW(find_web_content("<!--quillharbor:content-->junk<!--/quillharbor:content-->"), ContentError);
    EXPECT_FALSE(find_web_content("<!DOCTYPE html><!--quillharbor:content-->"));
}

TEST(StageTranslations, TravelInAScriptElementAndAreFoundByTheirText) {
    StageTranslations t;
    t.add("#version 330\nvoid main() {} // </script>", "#version 300 es\n// a < b </script>");
    const std::string json = t.to_json();
    EXPECT_EQ(json.find('<'), std::string::npos) << json;
    const StageTranslations back = StageTranslations::from_json(json);
    const std::string* found = back.find("#version 330\nvoid main() {} // </script>");
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(*found, "#version 300 es\n// a < b </script>");
    EXPECT_EQ(back.find("#version 330\nvoid main() {}"), nullptr);
    EXPECT_THROW(StageTranslations::from_json("[1]"), ContentError);
    EXPECT_THROW(StageTranslations::from_json("{\"k\": 1}"), ContentError);
}

// The texts the player compiles: a fragment text with its include resolved.
TEST(StageTranslations, CompiledStagesAreWhatThePlayerCompiles) {
    std::vector<std::unique_ptr<ShaderProgram>> programs;
    for (const char* name : {"common.glsl", "main.frag"}) {
        programs.push_back(std::make_unique<ShaderProgram>());
        programs.back()->fragment_shader_filename = name;
    }
    programs[0]->fragment_shader_source = "float f() { return 1.0; }\n";
    programs[1]->fragment_shader_source = "#version 330\n#include \"common.glsl\"\nvoid main() {}\n";
    const std::vector<CompiledStage> stages = compiled_stages(programs);
    ASSERT_EQ(stages.size(), 4u);
    EXPECT_EQ(stages[3].text, "#version 330\nfloat f() { return 1.0; }\n\nvoid main() {}\n");
    EXPECT_EQ(stages[2].text, programs[1]->vertex_shader_source);
}

}  // namespace
}  // namespace qh
