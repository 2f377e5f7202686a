#include "playback/prepare.h"

#include "render/program_use.h"

namespace qh {

void prepare_programs(ProgramTable shaders, EffectTable effects) {
    const ProgramUse use(shaders, effects);
    for (const std::unique_ptr<ShaderProgram>& p : shaders) {
        if (!p) continue;
        // One without includes was built as it was read, to the same text.
        if (p->has_includes() || !p->device_state().built()) p->build(shaders);
        if (!use.include_only(*p)) p->report_build();
    }
}

void create_effect_objects(EffectTable effects, const ScreenSize& screen) {
    for (const std::unique_ptr<Effect>& e : effects) {
        if (e) e->create_gpu_objects(screen);
    }
}

void prepare(ProgramTable shaders, EffectTable effects, const ScreenSize& screen) {
    prepare_programs(shaders, effects);
    create_effect_objects(effects, screen);
}

void warm_up(EffectTable effects, const FrameContext& frame) {
    for (const std::unique_ptr<Effect>& e : effects) {
        if (e) e->draw(frame, nullptr, false);
    }
}

}  // namespace qh
