// Damaged packages through the player's whole path, short of the process:
// reading with each record's device build right after it, what needs the
// links, the warm-up and a few frames. Cut at several hundred lengths and
// flipped at a thousand bits, every package either plays or is refused with
// the content error the player reports as fatal; a crash or a hang here
// ends the test program.
#include <gtest/gtest.h>

#include <GL/glew.h>

#include <algorithm>
#include <random>
#include <vector>

#include "document/demo_io.h"
#include "gl/gl_context.h"
#include "package/errors.h"
#include "playback/demo_playback.h"
#include "render/effect.h"
#include "support/sample_demo.h"

namespace qh {
namespace {

using gltest::GlTest;

enum class Outcome { played, refused };

// As the player loads and plays a package, with the fatal report replaced
// by the outcome.
Outcome play(std::span<const uint8_t> payload) {
    Demo demo;
    DemoPlayback playback(demo);
    try {
        read_demo_payload(demo, payload, {}, [&](const RecordRef& r) { playback.realize_record(r); });
    } catch (const ContentError&) {
        return Outcome::refused;
    }
    playback.realize_links();
    playback.prepare();
    playback.warm_up();
    for (const float beat : {0.0f, 2.5f, 33.0f}) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        playback.compose_frame(beat);
    }
    return Outcome::played;
}

class PackageSweep : public GlTest {};

TEST_F(PackageSweep, EveryCutOrFlippedPackagePlaysOrIsRefused) {
    const std::vector<uint8_t> payload = test::sceneless_payload();
    ASSERT_EQ(play(payload), Outcome::played);

    int played = 0, refused = 0;
    auto count = [&](Outcome o) { (o == Outcome::played ? played : refused)++; };
    // Cuts: every length up to 64 bytes (the header and first records), then
    // 300 more spread over the rest.
    std::vector<size_t> lengths;
    for (size_t n = 0; n < std::min<size_t>(64, payload.size()); ++n) lengths.push_back(n);
    for (size_t i = 0; i < 300; ++i) lengths.push_back(64 + i * (payload.size() - 64) / 300);
    for (const size_t n : lengths) {
        SCOPED_TRACE(testing::Message() << "cut at " << n << " of " << payload.size());
        count(play(std::span(payload).first(n)));
    }
    // Flips: a thousand single bits, at places a fixed seed picks.
    std::mt19937 random(20261208);
    std::uniform_int_distribution<size_t> bit(0, payload.size() * 8 - 1);
    for (int i = 0; i < 1000; ++i) {
        std::vector<uint8_t> damaged = payload;
        const size_t b = bit(random);
        damaged[b / 8] ^= uint8_t(1u << (b % 8));
        SCOPED_TRACE(testing::Message() << "bit " << b << " flipped");
        count(play(damaged));
    }
    // Both ends of the path were reached: damage that reads and plays, and
    // damage that is refused.
    EXPECT_GT(played, 0);
    EXPECT_GT(refused, 0);
    RecordProperty("played", played);
    RecordProperty("refused", refused);
    std::printf("sweep: %d played, %d refused\n", played, refused);
}

}  // namespace
}  // namespace qh
