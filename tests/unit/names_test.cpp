// Names that refer to nothing, as quill pack warns of them and quill check
// fails on them: each row misspells one name of the sample document's project
// form, and the same document is read back from a package, which keeps no
// name for a link that resolved to nothing.
#include <gtest/gtest.h>

#include <functional>
#include <optional>

#include "document/demo_io.h"
#include "names.h"
#include "package/project_dir.h"
#include "support/sample_demo.h"
#include "support/scratch_dir.h"

namespace qh {
namespace {

std::vector<std::string> lines(const Demo& demo, const JsonValue* project) {
    std::vector<std::string> out;
    for (const quill::NameFinding& f : quill::dangling_names(demo, project)) out.push_back(f.line());
    return out;
}

JsonValue& curves(JsonValue& j, int event) { return j["events"][event]["control_points"]; }
JsonValue text_curve(const std::string& text) {
    return {{"mode", 1}, {"repeat", false}, {"control_points", JsonValue::array({{{"beat", 0.0}, {"text", text}}})}};
}

struct NameCase {
    const char* label;
    std::function<void(JsonValue&)> edit;  // of the sample document's project form
    std::vector<std::string> project;
    std::optional<std::vector<std::string>> package = std::nullopt;  // none: as the project
};

TEST(DanglingNames, SayWhichRecordWhatNameAndTheClosestKnownOne) {
    const NameCase rows[] = {
        {"a sound document", [](JsonValue&) {}, {}},
        {"event effect, the byte-wise smaller of two as close",
         [](JsonValue& j) {
             j["effects"].push_back({{"name", "maim"}, {"program", "resources/main.frag"}});
             j["events"][0]["effect"] = "mai";
         },
         {R"(event "Intro": effect "mai" names no effect (did you mean "maim"?))"},
         std::vector<std::string>{R"(event "Intro": effect event with no effect)"}},
        {"event sample", [](JsonValue& j) { j["events"][1]["audio_sample"] = "resources/hti.wav"; },
         {R"(event "Hit": audio_sample "resources/hti.wav" names no audio sample (did you mean "resources/hit.wav"?))"},
         std::vector<std::string>{R"(event "Hit": sample event with no sample)"}},
        {"event group, nothing close", [](JsonValue& j) { j["events"][2]["group"] = "verse"; },
         {R"(event "Chorus": group "verse" names no event group)"},
         std::vector<std::string>{R"(event "Chorus": group event with no group)"}},
        {"group member", [](JsonValue& j) { j["event_groups"][0]["events"][1] = "Hti"; },
         {R"(event group "chorus": member event "Hti" names no event (did you mean "Hit"?))"},
         std::vector<std::string>{R"(event group "chorus": 1 unresolved member event)"}},
        {"effect program", [](JsonValue& j) { j["effects"][0]["program"] = "resources/mian.frag"; },
         {R"(effect "input": program "resources/mian.frag" names no shader (did you mean "resources/main.frag"?))"},
         std::vector<std::string>{R"(effect "input": no program (draws nothing))"}},
        {"effect inputs",
         [](JsonValue& j) {
             j["effects"][1]["textures"] = {"resources/logo.pgn"};
             j["effects"][1]["font_textures"] = {"titel"};
             j["effects"][1]["effects"] = {"inptu", "input"};
         },
         {R"(effect "main": texture "resources/logo.pgn" names no texture (did you mean "resources/logo.png"?))",
          R"(effect "main": text texture "titel" names no text texture (did you mean "title"?))",
          R"(effect "main": input effect "inptu" names no effect (did you mean "input"?))"},
         std::vector<std::string>{R"(effect "main": 1 unresolved texture)", R"(effect "main": 1 unresolved text texture)",
                                  R"(effect "main": 1 unresolved input effect)"}},
        {"effect scene, its keys not judged", [](JsonValue& j) {
             j["effects"][1]["scene"] = "boxs";
             curves(j, 0)["ldX"] = curves(j, 0)["speed"];
         },
         {R"(effect "main": scene "boxs" names no scene (did you mean "boxes"?))"},
         std::vector<std::string>{R"(event "Intro": curve "ldX" drives nothing: effect "main" draws no scene)"}},
        {"text texture font", [](JsonValue& j) { j["font_textures"][0]["font"] = "snas"; },
         {R"(text texture "title": font "snas" names no font (did you mean "sans"?))"},
         std::vector<std::string>{R"(text texture "title": no font (renders nothing))"}},
        {"curve", [](JsonValue& j) { curves(j, 0)["sped"] = curves(j, 0)["speed"]; },
         {R"(event "Intro": curve "sped" drives nothing: no uniform, text texture, camera, light or animation key of that name (did you mean "speed"?))"}},
        {"scene keys of an effect with no scene",
         [](JsonValue& j) {
             j["effects"][1].erase("scene");
             curves(j, 0)["ldX"] = curves(j, 0)["ldY"] = curves(j, 0)["speed"];
         },
         {R"(event "Intro": curves "ldX", "ldY" drive nothing: effect "main" draws no scene)"}},
        {"uniform the GLSL does not declare",
         [](JsonValue& j) { j["shaders"][0]["fragment_shader_source"] = "void main() {}\n"; },
         {R"(event "Intro": curve "speed" drives nothing: uniform "speed" is not in the GLSL of "resources/main.frag")"}},
        {"group override",
         [](JsonValue& j) {
             curves(j, 2)["Intro.speed"] = curves(j, 2)["Intro.sped"] = curves(j, 0)["speed"];
             curves(j, 2)["Intro.title"] = text_curve("over");
         },
         {R"(event "Chorus": curve "Intro.sped" drives nothing: no MEMBER.PARAMETER of a member's uniform or text texture (did you mean "Intro.speed"?))"}},
        {"sample event curve", [](JsonValue& j) { curves(j, 1)["gain"] = curves(j, 0)["speed"]; },
         {R"(event "Hit": curve "gain" drives nothing: a sample event has no parameters)"}},
        {"text placeholders", [](JsonValue& j) { curves(j, 0)["title"] = text_curve("<IBEAT> <BAR> <IBAET> <BAR> <b> <3"); },
         {R"(event "Intro": curve "title": text placeholder "<BAR>" is unknown and shows as written)",
          R"(event "Intro": curve "title": text placeholder "<IBAET>" is unknown and shows as written (did you mean "<IBEAT>"?))"}},
    };
    test::ScratchDir dir("qh-names");
    for (const NameCase& row : rows) {
        SCOPED_TRACE(row.label);
        JsonValue project = test::make_full_demo()->to_json(nullptr);
        row.edit(project);
        Demo demo;
        demo.from_json(project, ProjectDir(dir.path()));
        EXPECT_EQ(lines(demo, &project), row.project);
        const auto packed = read_demo_payload(write_demo_payload(demo));
        EXPECT_EQ(lines(*packed, nullptr), row.package.value_or(row.project));
    }
}

}  // namespace
}  // namespace qh
