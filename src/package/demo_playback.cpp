#include "package/demo_playback.h"

#include "package/demo_tables.h"
#include "render/frame_composition.h"
#include "render/frame_values.h"
#include "render/prepare.h"
#include "timeline/dispatch.h"

namespace qh {

DemoPlayback::DemoPlayback(Demo& demo) : demo_(demo) {}

// The timeline and the samples go before the music: a sample timer or the
// post-mix hook must not outlive what it points at.
DemoPlayback::~DemoPlayback() = default;

void DemoPlayback::realize() {
    for (auto& program : demo_.shaders) program->realize();
    for (auto& texture : demo_.textures) texture->realize();
    for (auto& effect : demo_.effects) effect->realize();
    for (auto& sample : demo_.audio_samples)
        sample->duration = samples_.load(sample.get(), sample->audio_buffer.data);
    demo_.sound_texture = std::make_unique<Texture>(sound_capture_width, sound_capture_height);
    demo_.sound_texture->realize();

    dispatch_ = std::make_unique<TimelineDispatch>(demo_.events, demo_.sound_texture.get());
    dispatch_->actions.play_sample_hook = [this](AudioSample& s) { samples_.play(&s); };
}

void DemoPlayback::prepare() { qh::prepare(demo_.shaders, demo_.effects); }

void DemoPlayback::warm_up() { qh::warm_up(demo_.effects); }

bool DemoPlayback::start_music() {
    if (demo_.music.empty()) return false;
    return music_.start(demo_.music.data);
}

Effect* DemoPlayback::compose_frame(float beat) {
    const SpectrumState& sound = music_.capture().latest();
    frame_values().sound_level = sound.level();
    return qh::compose_frame(*dispatch_, demo_.sound_texture.get(), sound.capture.data(), beat);
}

}  // namespace qh
