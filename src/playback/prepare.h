#pragma once
// The document-wide device steps of rendering, run by the Demo's owner once
// every table has been read and wired and each record realized
// (DemoPlayback::realize; GL context current):
//
//   prepare_programs(demo.shaders, demo.effects);  // those with #include, resolved
//   create_effect_objects(demo.effects, screen);   // again, with the rebuilt "vp"
//   ...loading screen finale...
//   warm_up(demo.effects, frame);          // each effect drawn once, no swap
#include <memory>
#include <span>

#include "render/effect.h"
#include "render/frame_context.h"
#include "render/shader_program.h"

namespace qh {

// Builds, in table order, every program that has includes (resolved against
// the table) or was not built yet, and reports each build (report_build),
// but for texts that only serve #include in others: alone they never link.
void prepare_programs(ProgramTable shaders, EffectTable effects);
// create_gpu_objects at `screen` for every effect, in table order.
void create_effect_objects(EffectTable effects, const ScreenSize& screen);
// Both, in that order: the document's `prepare`.
void prepare(ProgramTable shaders, EffectTable effects, const ScreenSize& screen);
// Draws every effect once into the bound framebuffer, in table order, with no
// hook and without drawing its inputs.
void warm_up(EffectTable effects, const FrameContext& frame);

}  // namespace qh
