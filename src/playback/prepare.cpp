#include "playback/prepare.h"

namespace qh {

void prepare_programs(ProgramTable shaders) {
    for (const std::unique_ptr<ShaderProgram>& p : shaders) {
        if (p) p->rebuild(shaders);
    }
}

void create_effect_objects(EffectTable effects, const ScreenSize& screen) {
    for (const std::unique_ptr<Effect>& e : effects) {
        if (e) e->create_gpu_objects(screen);
    }
}

void prepare(ProgramTable shaders, EffectTable effects, const ScreenSize& screen) {
    prepare_programs(shaders);
    create_effect_objects(effects, screen);
}

void warm_up(EffectTable effects, const FrameContext& frame) {
    for (const std::unique_ptr<Effect>& e : effects) {
        if (e) e->draw(frame, nullptr, false);
    }
}

}  // namespace qh
