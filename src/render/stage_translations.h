#pragma once
// Shader stages translated for WebGL2 (ESSL 3.00), each found by the text it
// was translated from: the text the desktop player compiles for that stage.
// `quill pack --target web` makes the table, and the page carries it beside
// the package, whose bytes stay those every other system reads.
//
//   StageTranslations t;
//   for (const CompiledStage& s : compiled_stages(demo.shaders)) t.add(s.text, essl_of(s.text));
//   std::string json = t.to_json();                 // into the page
//   StageTranslations t2 = StageTranslations::from_json(json);  // ContentError when malformed
//   if (const std::string* essl = t2.find(text)) ...compile *essl instead of text
//
// Pure text work, no GL.
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "render/shader_log.h"
#include "render/shader_program.h"

namespace qh {

class StageTranslations {
public:
    void add(std::string_view authored, std::string translated);
    const std::string* find(std::string_view authored) const;
    size_t size() const { return by_key_.size(); }

    // One object of 16-hex-digit keys (the authored text's hash) and texts.
    // The text holds no "<", so it may stand inside an HTML script element.
    std::string to_json() const;
    static StageTranslations from_json(std::string_view text);

    static std::string key(std::string_view authored);

private:
    std::unordered_map<std::string, std::string> by_key_;
};

// A stage as the player compiles it once the document is ready: a program's
// vertex text, or its fragment text with the includes resolved.
struct CompiledStage {
    const ShaderProgram* program;
    bool fragment;
    std::string text;
    SourceMap map;  // where its lines were written
};
std::vector<CompiledStage> compiled_stages(ProgramTable programs);

// Device side: every program built from now on compiles `table`'s
// translation of a stage in place of its text (null: the texts as they are).
// The table must outlive those builds.
void use_stage_translations(const StageTranslations* table);

}  // namespace qh
