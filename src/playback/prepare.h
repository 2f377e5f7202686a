#pragma once
// The document-wide device steps of rendering, run by the Demo's owner once
// every table has been read and wired and each record realized
// (DemoPlayback::realize; GL context current):
//
//   prepare_programs(demo.shaders);                // rebuilt with #include resolved
//   create_effect_objects(demo.effects, screen);   // again, with the rebuilt "vp"
//   ...loading screen finale...
//   warm_up(demo.effects, frame);          // each effect drawn once, no swap
#include <memory>
#include <span>

#include "render/effect.h"
#include "render/frame_context.h"
#include "render/shader_program.h"

namespace qh {

using EffectTable = std::span<const std::unique_ptr<Effect>>;

// Rebuilds every program in table order, resolving includes against the table.
void prepare_programs(ProgramTable shaders);
// create_gpu_objects at `screen` for every effect, in table order.
void create_effect_objects(EffectTable effects, const ScreenSize& screen);
// Both, in that order: the document's `prepare`.
void prepare(ProgramTable shaders, EffectTable effects, const ScreenSize& screen);
// Draws every effect once into the bound framebuffer, in table order, with no
// hook and without drawing its inputs.
void warm_up(EffectTable effects, const FrameContext& frame);

}  // namespace qh
