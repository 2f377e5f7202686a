// Damaged packages through the player's whole path, short of the process:
// reading with each record's device build right after it, what needs the
// links, the warm-up and a few frames, with the mixer open and the font
// library initialised as in the player. The package holds real images,
// sounds, a font and a model, so damage reaches their decoders. Cut at
// several hundred lengths and flipped at a thousand bits, every package
// either plays or is refused with the content error the player reports as
// fatal; a crash or a hang here ends the test program.
#include <gtest/gtest.h>

#include <GL/glew.h>
#include <SDL.h>
#include <SDL_mixer.h>
#include <SDL_ttf.h>

#include <algorithm>
#include <random>
#include <set>
#include <vector>

#include "document/demo_io.h"
#include "document/demo_tables.h"
#include "gl/gl_context.h"
#include "package/binary_stream.h"
#include "package/errors.h"
#include "audio/sample_player.h"
#include "playback/demo_playback.h"
#include "render/effect.h"
#include "support/sample_demo.h"

namespace qh {
namespace {

using gltest::GlTest;

enum class Outcome { played, refused };

// Resources handed to their device build with bytes no record of the intact
// package holds: damage that reached a decoder, by kind.
class DamageSeen {
public:
    explicit DamageSeen(const Demo& intact) {
        for (const auto& t : intact.textures)
            if (t->image_buffer) images_.intact.insert(t->image_buffer->data);
        for (const auto& a : intact.audio_samples) sounds_.intact.insert(a->audio_buffer.data);
        for (const auto& f : intact.fonts) fonts_.intact.insert(f->font_buffer.data);
        for (const auto& m : intact.models) models_.intact.insert(m->buffer.data);
    }

    // Where each resource's bytes lie in `payload`: a buffer is scrambled on
    // its own, so its stored form is found by storing it alone.
    std::vector<std::span<const uint8_t>> places(std::span<const uint8_t> payload) const {
        std::vector<std::span<const uint8_t>> found;
        for (const Kind* k : {&images_, &sounds_, &fonts_, &models_}) {
            for (const std::vector<uint8_t>& bytes : k->intact) {
                BinaryWriter out;
                out.write_scrambled_bytes(bytes.data(), bytes.size());
                const auto at = std::search(payload.begin(), payload.end(), out.bytes().begin(), out.bytes().end());
                if (at != payload.end()) found.push_back(payload.subspan(at - payload.begin(), out.bytes().size()));
            }
        }
        return found;
    }

    void saw(const RecordRef& r) {
        if (const Texture* t = r.as<Texture>(); t && t->image_buffer) note(images_, t->image_buffer->data);
        if (const AudioSample* a = r.as<AudioSample>()) note(sounds_, a->audio_buffer.data);
        if (const Font* f = r.as<Font>()) note(fonts_, f->font_buffer.data);
        if (const Model* m = r.as<Model>()) note(models_, m->buffer.data);
    }

    int images() const { return images_.damaged; }
    int sounds() const { return sounds_.damaged; }
    int fonts() const { return fonts_.damaged; }
    int models() const { return models_.damaged; }

private:
    struct Kind {
        std::set<std::vector<uint8_t>> intact;
        int damaged = 0;
    };
    static void note(Kind& k, const std::vector<uint8_t>& bytes) {
        if (!bytes.empty() && !k.intact.count(bytes)) ++k.damaged;
    }
    Kind images_, sounds_, fonts_, models_;
};

// Whether every resource of an intact package decoded: without it, damage
// handed to a device build might never reach a decoder.
void expect_all_decoded(const Demo& demo) {
    for (const auto& t : demo.textures) EXPECT_GT(t->gpu.width, 0) << t->name;
    for (const auto& f : demo.fonts) EXPECT_TRUE(f->gpu.font) << f->name << ": " << f->gpu.error;
    for (const auto& m : demo.models) EXPECT_TRUE(m->gpu.ready && m->gpu.problems.empty()) << m->filename;
    for (const auto& a : demo.audio_samples) {
        Mix_Chunk* chunk = decode_sound(a->audio_buffer.data);
        EXPECT_TRUE(chunk) << a->name << ": " << Mix_GetError();
        if (chunk) Mix_FreeChunk(chunk);
    }
}

// As the player loads and plays a package, with the fatal report replaced
// by the outcome.
Outcome play(std::span<const uint8_t> payload, DamageSeen* seen = nullptr,
             void (*inspect)(const Demo&) = nullptr) {
    Demo demo;
    DemoPlayback playback(demo);
    try {
        read_demo_payload(demo, payload, {}, [&](const RecordRef& r) {
            if (seen) seen->saw(r);
            // A full-size shadow target for every one of some 1500 builds
            // would keep a software renderer busy for an hour; the scene's
            // code runs the same on a small one.
            if (Scene* scene = r.as<Scene>()) scene->gpu.shadow_width = scene->gpu.shadow_height = 256;
            playback.realize_record(r);
        });
    } catch (const ContentError&) {
        return Outcome::refused;
    }
    playback.realize_links();
    playback.prepare();
    if (inspect) inspect(demo);
    playback.warm_up();
    for (const float beat : {0.0f, 2.5f, 33.0f}) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        playback.compose_frame(beat);
    }
    return Outcome::played;
}

class PackageSweep : public GlTest {};

TEST_F(PackageSweep, EveryCutOrFlippedPackagePlaysOrIsRefused) {
    // Samples decode only with the mixer open, text only with the font library.
    ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_AUDIO), 0) << SDL_GetError();
    ASSERT_EQ(Mix_OpenAudio(44100, AUDIO_S16LSB, 2, 1024), 0) << Mix_GetError();
    if (!TTF_WasInit()) {
        ASSERT_EQ(TTF_Init(), 0) << TTF_GetError();
    }
    struct CloseMixer {
        ~CloseMixer() { Mix_CloseAudio(); }
    } close_mixer;

    const std::vector<uint8_t> payload = test::sweep_payload();
    DamageSeen seen(*read_demo_payload(payload, {}));
    ASSERT_EQ(play(payload, &seen, expect_all_decoded), Outcome::played);
    ASSERT_FALSE(HasFailure()) << "the intact package does not decode";
    ASSERT_EQ(seen.images() + seen.sounds() + seen.fonts() + seen.models(), 0);

    int played = 0, refused = 0;
    auto count = [&](Outcome o) { (o == Outcome::played ? played : refused)++; };
    // Cuts: every length up to 64 bytes (the header and first records), then
    // 300 more spread over the rest.
    std::vector<size_t> lengths;
    for (size_t n = 0; n < std::min<size_t>(64, payload.size()); ++n) lengths.push_back(n);
    for (size_t i = 0; i < 300; ++i) lengths.push_back(64 + i * (payload.size() - 64) / 300);
    for (const size_t n : lengths) {
        SCOPED_TRACE(testing::Message() << "cut at " << n << " of " << payload.size());
        count(play(std::span(payload).first(n), &seen));
    }
    // Flips: a thousand single bits, at places a fixed seed picks.
    std::mt19937 random(20261208);
    std::uniform_int_distribution<size_t> bit(0, payload.size() * 8 - 1);
    for (int i = 0; i < 1000; ++i) {
        std::vector<uint8_t> damaged = payload;
        const size_t b = bit(random);
        damaged[b / 8] ^= uint8_t(1u << (b % 8));
        SCOPED_TRACE(testing::Message() << "bit " << b << " flipped");
        count(play(damaged, &seen));
    }
    // Flips inside each resource's own bytes, which the flips above seldom
    // reach in the small ones: 25 in each.
    const std::vector<std::span<const uint8_t>> places = seen.places(payload);
    ASSERT_EQ(places.size(), 5u) << "a resource's bytes were not found in the package";
    for (const std::span<const uint8_t> place : places) {
        std::uniform_int_distribution<size_t> inside(0, place.size() * 8 - 1);
        const size_t offset = static_cast<size_t>(place.data() - payload.data());
        for (int i = 0; i < 25; ++i) {
            std::vector<uint8_t> damaged = payload;
            const size_t b = offset * 8 + inside(random);
            damaged[b / 8] ^= uint8_t(1u << (b % 8));
            SCOPED_TRACE(testing::Message() << "bit " << b << " flipped inside a resource");
            count(play(damaged, &seen));
        }
    }
    // Both ends of the path were reached: damage that reads and plays, and
    // damage that is refused; and damage reached every kind of decoder.
    EXPECT_GT(played, 0);
    EXPECT_GT(refused, 0);
    EXPECT_GT(seen.images(), 0);
    EXPECT_GT(seen.sounds(), 0);
    EXPECT_GT(seen.fonts(), 0);
    EXPECT_GT(seen.models(), 0);
    std::printf("sweep: %d played, %d refused; damaged resources decoded: %d images, %d sounds, %d fonts, "
                "%d models\n", played, refused, seen.images(), seen.sounds(), seen.fonts(), seen.models());
}

}  // namespace
}  // namespace qh
