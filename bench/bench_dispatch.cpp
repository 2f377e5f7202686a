// CPU cost of the timeline's decision pass (TimelineDispatch::play: the update pass,
// then the draw pass) with no GPU anywhere. The actions evaluate every
// uniform value the player would upload (uniform_value for each definition of
// the drawn effect's program) and count the calls, but issue no GL, so the
// numbers are the dispatch logic and the curve evaluation alone.
//
//   ./bench_dispatch --benchmark_min_time=0.5 --benchmark_repetitions=3
//
// Rows:
//   BM_Dispatch/active:A/inactive:I  A effect events active at the beat, I more
//                                    outside it (a long demo's table), in
//                                    table order, each with its own program
//   BM_DispatchGroup/members:M       one group event playing M effect members,
//                                    the group overriding one uniform of each
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "render/effect.h"
#include "render/shader_program.h"
#include "timeline/timeline_dispatch.h"
#include "timeline/event.h"
#include "timeline/event_group.h"

namespace qh {
namespace {

// Uniforms every program declares; the first three are driven by curves.
const char* const uniform_names[] = {"zoom", "hue", "warp", "fade"};
constexpr int driven_uniforms = 3;

// Does everything the player's actions do outside GL: the value of every
// uniform of the drawn program at the beat. Locations are not looked at (no
// program is linked here), so every definition is evaluated.
class EvaluatingActions : public TimelineActions {
public:
    void update_texts(const FrameContext&, const Event&, float, const Event*) override { ++texts; }
    void refresh_input(const FrameContext&, Effect&) override { ++inputs; }
    void draw_effect(const FrameContext&, const Event& event, float beat, const Event* parent) override {
        ++draws;
        for (const UniformDef& def : event.effect->program->uniform_defs) {
            sink += uniform_value(event, parent, def, beat);
            ++uniforms;
        }
    }
    void play_sample(AudioSample&) override { ++samples; }

    int64_t texts = 0, inputs = 0, draws = 0, uniforms = 0, samples = 0;
    float sink = 0;
};

ControlPointCurve curve(int32_t mode, int points, float length, int seed) {
    ControlPointCurve c;
    c.mode = mode;
    for (int i = 0; i < points; ++i) {
        const float beat = length * static_cast<float>(i) / static_cast<float>(points - 1);
        c.control_points.emplace_back(beat, static_cast<float>((seed * 7 + i * 13) % 17) / 16.0f);
    }
    return c;
}

// Programs, effects and events of one benchmark table. No GL: programs are
// never built, effects never realized.
struct Table {
    std::vector<std::unique_ptr<ShaderProgram>> programs;
    std::vector<std::unique_ptr<Effect>> effects;
    std::vector<std::unique_ptr<Event>> events;
    std::vector<std::unique_ptr<EventGroup>> groups;

    Effect* add_effect(int index) {
        auto& p = programs.emplace_back(std::make_unique<ShaderProgram>());
        p->fragment_shader_filename = "fx" + std::to_string(index) + ".frag";
        for (const char* n : uniform_names) {
            UniformDef& def = p->uniform_defs.emplace_back();
            def.name = n;
            def.default_val = 0.5f;
        }
        auto& e = effects.emplace_back(std::make_unique<Effect>());
        e->name = "fx" + std::to_string(index);
        e->program = p.get();
        return e.get();
    }

    // An effect event over [start, end) with a curve per driven uniform
    // (linear, smooth and last-value, 6 points each) and a camera key the
    // draw does not read.
    Event* add_event(int index, float start, float end) {
        auto& ev = events.emplace_back(std::make_unique<Event>());
        ev->name = "Event" + std::to_string(index);
        ev->effect = add_effect(index);
        ev->start_beat = start;
        ev->end_beat = end;
        const int32_t modes[] = {ControlPointCurve::mode_linear, ControlPointCurve::mode_smooth,
                                 ControlPointCurve::mode_last_value};
        for (int u = 0; u < driven_uniforms; ++u)
            ev->curves[uniform_names[u]] = curve(modes[u], 6, end - start, index + u);
        ev->curves["camera_position_x"] = curve(ControlPointCurve::mode_linear, 2, end - start, index);
        return ev.get();
    }
};

// Active events span beats [0, 64); inactive ones lie after them.
constexpr float active_end = 64.0f;

void BM_Dispatch(benchmark::State& state) {
    const int active = static_cast<int>(state.range(0));
    const int inactive = static_cast<int>(state.range(1));
    Table table;
    for (int i = 0; i < active; ++i) table.add_event(i, 0.0f, active_end);
    for (int i = 0; i < inactive; ++i) {
        const float start = active_end + 4.0f * static_cast<float>(i);
        table.add_event(active + i, start, start + 4.0f);
    }
    const TimelineDispatch timeline(table.events);
    EvaluatingActions actions;

    float beat = 1.0f;
    for (auto _ : state) {
        benchmark::DoNotOptimize(timeline.play(FrameContext::at(beat, {}), actions));
        beat += 0.01f;  // a frame at 130 bpm and 60 fps is ~0.036 beats
        if (beat >= active_end - 1.0f) beat = 1.0f;
    }
    benchmark::DoNotOptimize(actions.sink);
    const double frames = static_cast<double>(state.iterations());
    state.counters["draws/frame"] = static_cast<double>(actions.draws) / frames;
    state.counters["uniforms/frame"] = static_cast<double>(actions.uniforms) / frames;
    state.counters["texts/frame"] = static_cast<double>(actions.texts) / frames;
}
BENCHMARK(BM_Dispatch)
    ->ArgNames({"active", "inactive"})
    ->Args({1, 0})
    ->Args({100, 0})
    ->Args({100, 900})
    ->Unit(benchmark::kMicrosecond);

void BM_DispatchGroup(benchmark::State& state) {
    const int members = static_cast<int>(state.range(0));
    Table table;
    auto& group = table.groups.emplace_back(std::make_unique<EventGroup>());
    group->name = "Scene";
    for (int i = 0; i < members; ++i) {
        Event* m = table.add_event(i, 0.0f, active_end);
        m->visible = false;  // played only through the group
        group->events.push_back(m);
    }
    auto player = std::make_unique<Event>();
    player->name = "Player";
    player->type = Event::type_group;
    player->group = group.get();
    player->start_beat = 0.0f;
    player->end_beat = active_end;
    for (int i = 0; i < members; ++i)
        player->curves["Event" + std::to_string(i) + ".fade"] =
            curve(ControlPointCurve::mode_linear, 4, active_end, i);
    table.events.push_back(std::move(player));
    const TimelineDispatch timeline(table.events);
    EvaluatingActions actions;

    float beat = 1.0f;
    for (auto _ : state) {
        benchmark::DoNotOptimize(timeline.play(FrameContext::at(beat, {}), actions));
        beat += 0.01f;
        if (beat >= active_end - 1.0f) beat = 1.0f;
    }
    benchmark::DoNotOptimize(actions.sink);
    const double frames = static_cast<double>(state.iterations());
    state.counters["draws/frame"] = static_cast<double>(actions.draws) / frames;
    state.counters["uniforms/frame"] = static_cast<double>(actions.uniforms) / frames;
}
BENCHMARK(BM_DispatchGroup)->ArgNames({"members"})->Arg(100)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace qh

BENCHMARK_MAIN();
