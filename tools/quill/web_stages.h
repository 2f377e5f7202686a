#pragma once
// The shader stages of a document translated for WebGL2, as the web player
// compiles them, by Debian's glslang (desktop GLSL to SPIR-V) and SPIRV-Cross
// (SPIR-V to ESSL 3.00). Each stage is translated as the player compiles it:
// the vertex text, and the fragment text with its includes resolved.
//
//   WebStages w = translate_for_web(demo);   // ContentError: a tool is missing
//   w.table                                  // every stage that translated
//   w.faults                                 // each that did not, where its author
//                                            // wrote it: "resources/a.frag:12: error: ..."
//
// A program that only serves #include and draws nothing does not build on
// its own on the desktop either: its stages are left as they are when they
// do not translate.
#include "document/demo.h"
#include "render/stage_translations.h"

namespace qh::quill {

struct WebStages {
    StageTranslations table;
    std::vector<std::string> faults;
    size_t stages = 0;  // how many distinct stages were translated or tried
};

WebStages translate_for_web(const Demo& demo);

}  // namespace qh::quill
