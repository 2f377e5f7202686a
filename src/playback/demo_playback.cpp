#include "playback/demo_playback.h"

#include "document/demo_tables.h"
#include "document/device_memory.h"
#include "playback/frame_composition.h"
#include "playback/prepare.h"
#include "render/texture.h"

namespace qh {

DemoPlayback::DemoPlayback(Demo& demo) : demo_(demo) {
    actions_.play_sample_hook = [this](AudioSample& s) { samples_.play(&s); };
    actions_.update_texts_hook = [this](const Event& e, float beat, const Event* parent,
                                        const FrameContext& frame) {
        update_event_texts(e, beat, parent, frame.beat, text_scratch_);
    };
}

// The members end in reverse order: the timeline and the samples go before
// the music, so a sample timer or the post-mix hook never outlives what it
// points at.
DemoPlayback::~DemoPlayback() = default;

FrameContext DemoPlayback::frame_at(float beat) {
    FrameContext frame = FrameContext::at(beat, runtime().screen);
    frame.scene_drawer = &scene_renderer_;
    frame.scene_views = &scene_views_;
    return frame;
}

void DemoPlayback::realize(const LoadProgress& progress) {
    const uint64_t total = demo_.record_count();
    uint64_t done = 0;
    for_each_table(demo_, [&](auto& table, const char*) {
        for (auto& record : table) {
            using T = std::decay_t<decltype(*record)>;
            realize_record(RecordRef{RecordKindOf<T>::value, record.get()});
            if (progress) progress(done++, total);
        }
    });
    realize_links();
    if (progress) progress(total, total);
}

// The device layer's list: what each record class has made while loading.
void DemoPlayback::realize_record(const RecordRef& record) {
    visit_record(record, Overloads{
        [](OneOf<ShaderProgram, Texture, Font, Model, Scene> auto& r) { r.realize(); },
        [this](AudioSample& sample) { samples_.load(&sample, sample.audio_buffer.data); },
        // Made in realize_links, once what they refer to is: effects, text
        // textures and the timeline. Data needs nothing made.
        [](OneOf<Effect, FontTexture, Event, EventGroup, Data> auto&) {},
    });
}

void DemoPlayback::realize_links() {
    for (auto& effect : demo_.effects) effect->realize(runtime().screen);
    // Sizes are decided before any is made: from the one that takes their
    // total past the budget on, text textures are left out (the player has
    // ended loading on that by now; the tools go on without them).
    const auto over = text_texture_overrun(demo_, text_texture_budget());
    bool over_budget = false;
    for (auto& text : demo_.font_textures) {
        over_budget = over_budget || (over && text.get() == over->record);
        if (over_budget) {
            text->leave_out(text.get() == over->record
                                ? over->reason
                                : "not made: the text textures are over their budget");
        } else {
            text->realize();  // its font is linked by now
        }
    }
    sound_texture_ = std::make_unique<Texture>(sound_capture_width, sound_capture_height);
    sound_texture_->realize();

    dispatch_ = std::make_unique<TimelineDispatch>(demo_.events);
}

void DemoPlayback::prepare() { qh::prepare(demo_.shaders, demo_.effects, runtime().screen); }

void DemoPlayback::warm_up() { qh::warm_up(demo_.effects, frame_at(0.0f)); }

bool DemoPlayback::start_music() {
    if (demo_.music.empty()) return false;
    return music_.start(demo_.music.data);
}

Effect* DemoPlayback::compose_frame(float beat) { return compose_frame(beat, music_.capture().latest()); }

void DemoPlayback::route_samples(std::function<void(AudioSample&)> play) {
    actions_.play_sample_hook = std::move(play);
}

Effect* DemoPlayback::compose_frame(float beat, const SpectrumState& sound) {
    FrameContext frame = frame_at(beat);
    frame.sound_level = sound.level();
    return qh::compose_frame(*dispatch_, actions_, frame, sound_texture_.get(), sound.capture.data());
}

}  // namespace qh
