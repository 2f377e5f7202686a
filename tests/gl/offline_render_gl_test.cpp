// Frames drawn offline (playback/offline_render.h) against the frames the
// player composes: the same beat gives the same picture, and the frame
// count, clock and refusals follow the document's tempo and end.
#include <GL/glew.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "document/demo.h"
#include "gl/gl_context.h"
#include "playback/demo_playback.h"
#include "playback/offline_render.h"
#include "render/effect.h"
#include "render/shader_program.h"
#include "support/sample_demo.h"
#include "timeline/event.h"

namespace qh {
namespace {

using gltest::GlTest;
using gltest::Rgba;

// 120 bpm, half a beat of offset: a colour sweep over the beat, and over it
// a post effect that reads the screen back and mirrors it.
std::unique_ptr<Demo> sweep_demo() {
    auto d = std::make_unique<Demo>();
    d->bpm = 120;
    d->beat_offset = 0.5f;
    d->end_beat = 6;
    test::add_effect_event(*d, "sweep",
        "#version 150\nuniform float beat;\nuniform vec2 resolution;\nout vec4 fragColor;\n"
        "void main() { vec2 uv = gl_FragCoord.xy / resolution;\n"
        "  fragColor = vec4(fract(beat + uv.x), uv.y, fract(beat * 0.25), 1.0); }\n",
        0, 6);
    test::add_effect_event(*d, "mirror",
        "#version 150\nuniform sampler2D tex;\nuniform vec2 resolution;\nout vec4 fragColor;\n"
        "void main() { vec2 uv = gl_FragCoord.xy / resolution;\n"
        "  fragColor = texture(tex, vec2(1.0 - uv.x, uv.y)); }\n",
        0, 6)
        .screen_texture = true;
    return d;
}

class OfflineRenderGl : public GlTest {
protected:
    void SetUp() override {
        GlTest::SetUp();
        glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &test_framebuffer);
        demo = sweep_demo();
        playback = std::make_unique<DemoPlayback>(*demo);
        playback->realize();
        playback->prepare();
    }

    RenderSettings settings(int fps) const {
        RenderSettings s;
        s.fps = fps;
        s.width = width;
        s.height = height;
        return s;
    }

    GLint test_framebuffer = 0;
    std::unique_ptr<Demo> demo;
    std::unique_ptr<DemoPlayback> playback;
};

// The player composes frame n's beat into the test framebuffer; the offline
// render draws frame n into its own. Top row first against bottom row first.
TEST_F(OfflineRenderGl, FramesMatchWhatThePlayerComposesAtTheSameBeat) {
    OfflineRender render(*demo, *playback, settings(30));
    // Frame n starts at floor(n * 1000 / 30) ms; at 120 bpm that is beat
    // ms / 500 - 0.5. Frame 8 is the first whose beat has reached the events.
    const struct {
        uint64_t n;
        float beat;
    } frames[] = {{8, 0.032f}, {31, 1.566f}, {64, 3.766f}, {90, 5.5f}};
    for (const auto& [n, beat] : frames) {
        SCOPED_TRACE(testing::Message() << "frame " << n);
        render.draw(n);
        const std::vector<uint8_t> offline = render.read();
        // Not a blank frame: green runs from the top row (1) to the bottom (0).
        EXPECT_GT(offline[1] - offline[size_t((height - 1) * width) * 4 + 1], 200);

        glBindFramebuffer(GL_FRAMEBUFFER, GLuint(test_framebuffer));
        glViewport(0, 0, width, height);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        playback->compose_frame(beat);
        const std::vector<Rgba> composed = read_back();

        int worst = 0;
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const Rgba c = composed[size_t((height - 1 - y) * width + x)];
                const uint8_t* o = &offline[size_t(y * width + x) * 4];
                worst = std::max({worst, std::abs(c.r - o[0]), std::abs(c.g - o[1]), std::abs(c.b - o[2])});
            }
        }
        EXPECT_LE(worst, 2) << "largest difference in a channel";
    }
}

TEST_F(OfflineRenderGl, FramesFollowThePlayersClockToTheEndBeat) {
    OfflineRender render(*demo, *playback, settings(25));
    // Beat 6 (with the offset of 0.5) falls at 3.25 s: frames 0 to 81 are drawn.
    EXPECT_EQ(render.first_frame(), 0u);
    EXPECT_EQ(render.end_frame(), 82u);
    EXPECT_EQ(render.ms_of(81), 3240u);
    EXPECT_NEAR(render.beat_of(81), 5.98f, 1e-5f);

    RenderSettings part = settings(25);
    part.from = 1.01;  // the next whole frame: 26 (1.04 s)
    part.to = 2.0;
    OfflineRender later(*demo, *playback, part);
    EXPECT_EQ(later.first_frame(), 26u);
    EXPECT_EQ(later.end_frame(), 50u);
    // No music: the sound of the range is silence, as long as the range.
    const std::span<const int16_t> sound = later.sound();
    EXPECT_EQ(sound.size(), size_t(50 - 26) * 1764 * 2);
}

TEST_F(OfflineRenderGl, RangesThatCannotBeDrawnAreRefused) {
    const struct {
        const char* name;
        void (*change)(Demo&, RenderSettings&);
    } rows[] = {
        {"no_tempo", [](Demo& d, RenderSettings&) { d.bpm = 0; }},
        {"never_ends", [](Demo& d, RenderSettings&) { d.end_beat = 20000; }},
        {"empty", [](Demo&, RenderSettings& s) { s.from = s.to.emplace(1.0); }},
        {"backwards", [](Demo&, RenderSettings& s) { s.from = 2, s.to = 1.0; }},
        {"huge", [](Demo&, RenderSettings& s) { s.width = 100000; }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Demo& d = *demo;
        const float bpm = d.bpm, end = d.end_beat;
        RenderSettings s = settings(25);
        row.change(d, s);
        EXPECT_THROW(OfflineRender(d, *playback, s), RenderRangeError);
        d.bpm = bpm;
        d.end_beat = end;
    }
}

}  // namespace
}  // namespace qh
