#pragma once
// The shader stages of a document translated for WebGL2, as the web player
// compiles them, by Debian's glslang (desktop GLSL to SPIR-V) and SPIRV-Cross
// (SPIR-V to ESSL 3.00). Each stage is translated as the player compiles it:
// the vertex text, and the fragment text with its includes resolved.
//
//   StageTranslations t = translate_for_web(demo);
//   // ContentError: each stage that cannot be translated, with the author's
//   // file and line ("resources/a.frag:12: error: ..."), or a missing tool
//
// A program that only serves #include and draws nothing does not build on
// its own on the desktop either: its stages are left as they are when they
// do not translate.
#include "document/demo.h"
#include "render/stage_translations.h"

namespace qh::quill {

StageTranslations translate_for_web(const Demo& demo);

}  // namespace qh::quill
