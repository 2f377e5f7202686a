#include "render/program_use.h"

#include <vector>

namespace qh {

ProgramUse::ProgramUse(ProgramTable shaders, EffectTable effects) {
    for (const std::unique_ptr<Effect>& e : effects) {
        if (e && e->program) drawn.insert(e->program);
    }
    for (const std::unique_ptr<ShaderProgram>& p : shaders) {
        if (!p || !p->has_includes()) continue;
        std::vector<const ShaderProgram*> spliced;
        expand_includes(p->fragment_shader_source, shaders, p.get(), &spliced);
        for (const ShaderProgram* included : spliced) ++includers[included];
    }
}

int ProgramUse::included_by(const ShaderProgram& p) const {
    const auto it = includers.find(&p);
    return it == includers.end() ? 0 : it->second;
}

}  // namespace qh
