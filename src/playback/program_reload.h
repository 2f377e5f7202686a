#pragma once
// Building again what edited program sources change, and no more: the live
// preview's answer to a saved shader file.
//
//   program.fragment_shader_source = text_from_disk;   // any number of edits
//   ProgramReload r = rebuild_stale_programs(demo.shaders, demo.effects, screen);
//   for (auto& f : r.failed) show(f.program, f.log);   // the last good build stays
//
// A program is stale when its build no longer matches its sources: the vertex
// text differs from the one compiled, or its fragment text with #include
// resolved against the table differs from the one compiled. So an edit of a
// program rebuilds it and every program whose text takes it in, whatever the
// depth, and nothing else. A stale program whose new build fails keeps its
// last good build (GL objects, locations) and is reported with the driver's
// messages; it stays stale, so the next edit that fixes it builds it again,
// and an edit back to the good text settles it without a build. Effects that
// draw with a rebuilt program re-create their GPU objects at `screen`, as
// prepare does.
// Main thread, GL context current.
#include <string>
#include <vector>

#include "playback/prepare.h"

namespace qh {

struct ProgramFailure {
    const ShaderProgram* program;
    std::string log;  // the driver's messages, each line labelled with its stage
    std::vector<CompilerMessage> messages;  // the same, placed in the authored files
};

struct ProgramReload {
    std::vector<const ShaderProgram*> rebuilt;  // built anew, in table order
    std::vector<ProgramFailure> failed;         // kept their last good build, or never had one
};

// Pure text work, no GL.
bool program_is_stale(const ShaderProgram& program, ProgramTable shaders);

ProgramReload rebuild_stale_programs(ProgramTable shaders, EffectTable effects,
                                     const ScreenSize& screen);

// The programs effects draw with whose last build failed, in table order,
// with what it said: what the live preview shows after (re)loading a document.
std::vector<ProgramFailure> failed_programs(ProgramTable shaders, EffectTable effects);

// What the last build of `program` said, "vertex: ", "fragment: " and "link: "
// before each of its stages' lines; empty when the driver said nothing.
std::string build_log(const ShaderProgram& program);

}  // namespace qh
