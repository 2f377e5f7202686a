#pragma once
// Which programs a document draws with, and which serve only as `#include`
// text for others. Such a library text has no main of its own and never
// links alone; that is no failure unless an effect draws with it.
//
//   const ProgramUse use(demo.shaders, demo.effects);
//   if (use.include_only(program)) ...   // its text builds in its includers
#include <map>
#include <memory>
#include <set>
#include <span>

#include "render/effect.h"
#include "render/shader_program.h"

namespace qh {

struct ProgramUse {
    // Pure text work: what each program's text takes in, as its build would.
    ProgramUse(ProgramTable shaders, EffectTable effects);

    int included_by(const ShaderProgram& p) const;
    bool include_only(const ShaderProgram& p) const { return included_by(p) > 0 && !drawn.contains(&p); }

    std::set<const ShaderProgram*> drawn;
    std::map<const ShaderProgram*, int> includers;  // how many programs take each in
};

}  // namespace qh
