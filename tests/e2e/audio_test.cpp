// What the packed player sends to the sound card, read back from the file
// SDL's disk audio driver writes, and what the sound analysis shows on screen.
// The disk driver keeps time by sleeping, and falls behind the wall clock when
// the machine is busy, while the player's beat clock and the end of a duck
// follow the wall clock. So every position is measured inside the written
// sound itself: where the music starts, where a sample starts and ends, where
// the music's level drops and comes back, each against the others.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <utility>

#include "e2e/e2e_support.h"
#include "support/sample_demo.h"
#include "support/wav.h"
#include "document/demo_io.h"
#include "document/demo_tables.h"

namespace qh::e2e {
namespace {

using namespace std::chrono_literals;

constexpr int rate = 44100;

using test::Tone;

// Cosines at 44.1 kHz, so the very first frame already sounds and marks the onset.
std::vector<Frame> tones(double seconds, Tone left, Tone right) { return test::tones(seconds, rate, left, right); }

// A 44.1 kHz 16-bit stereo WAV file: what the mixer takes as music and as samples.
std::vector<uint8_t> wav(const std::vector<Frame>& frames) { return test::wav_file(frames); }

// 60 bpm and no offset: beat n is n seconds after the music started.
std::unique_ptr<Demo> demo_of_seconds(float end_beat) {
    auto d = std::make_unique<Demo>();
    d->bpm = 60;
    d->beat_offset = 0;
    d->end_beat = end_beat;
    return d;
}

size_t first_sound(const std::vector<Frame>& out) {
    size_t i = 0;
    while (i < out.size() && silent(out[i])) ++i;
    return i;
}

constexpr size_t seconds(double s) { return static_cast<size_t>(s * rate); }

std::string at_seconds(size_t frames) { return std::to_string(static_cast<double>(frames) / rate) + " s"; }

// 50 ms windows: a whole number of cycles of every tone used here, so a
// steady tone that fills a window measures its amplitude exactly and other
// tones measure 0.
constexpr size_t window_frames = rate / 20;

using Side = test::Channel;

// The amplitude of `hz` on one side over the window starting at frame `from`.
double level(const std::vector<Frame>& out, size_t from, double hz, Side side) {
    return test::tone_level(out, from, window_frames, hz, rate, side);
}

struct Range {
    double low = 1e9;
    double high = -1e9;
};

// The lowest and highest level of `hz` over the windows that fit in
// [begin, end) frames, one window every 10 ms.
Range levels(const std::vector<Frame>& out, size_t begin, size_t end, double hz, Side side) {
    Range r;
    for (size_t w = begin; w + window_frames <= std::min(end, out.size()); w += rate / 100) {
        const double v = level(out, w, hz, side);
        r.low = std::min(r.low, v);
        r.high = std::max(r.high, v);
    }
    return r;
}

testing::AssertionResult steady(const std::vector<Frame>& out, size_t begin, size_t end, double hz,
                                Side side, double expected, double tolerance) {
    const Range r = levels(out, begin, end, hz, side);
    if (r.low > r.high) return testing::AssertionFailure() << "no whole window in " << begin << "..." << end;
    if (std::abs(r.low - expected) > tolerance || std::abs(r.high - expected) > tolerance) {
        return testing::AssertionFailure()
               << hz << " Hz ranges over " << r.low << " ... " << r.high << " from " << at_seconds(begin)
               << " to " << at_seconds(end) << ", not " << expected;
    }
    return testing::AssertionSuccess();
}

TEST(Audio, PackedMusicIsWhatThePlayerPlays) {
    TempDir dir;
    const std::vector<Frame> music = tones(2.0, {440, 12000}, {660, 6000});
    auto demo = demo_of_seconds(4);
    demo->music.data = wav(music);
    DiskAudioPlayer player(dir, write_demo_payload(*demo));
    const std::vector<Frame> out = player.finish();

    const size_t onset = first_sound(out);
    ASSERT_GE(out.size(), onset + music.size()) << "the music is missing or cut short";
    // At full volume and with nothing else playing, the output is the music's
    // own samples, bit for bit, both channels in place.
    size_t wrong = 0, first_wrong = 0;
    for (size_t i = 0; i < music.size(); ++i) {
        if (out[onset + i] == music[i]) continue;
        if (wrong++ == 0) first_wrong = i;
    }
    EXPECT_EQ(wrong, 0u) << "first differing music frame " << first_wrong << ": "
                         << out[onset + first_wrong].left << "," << out[onset + first_wrong].right
                         << " instead of " << music[first_wrong].left << "," << music[first_wrong].right;
    // Played once: silence after its end, while the timeline runs on.
    size_t after = 0;
    for (size_t i = onset + music.size(); i < out.size(); ++i) after += !silent(out[i]);
    EXPECT_EQ(after, 0u) << "sound after the music ended";
    EXPECT_GT(out.size() - onset - music.size(), seconds(0.5))
        << "the run should go on for two seconds after the music";
}

constexpr double music_amplitude = 16000;
constexpr double chime_amplitude = 4000;
constexpr double ducked = music_amplitude * 100 / 128;
constexpr double chime_seconds = 1.5;
constexpr size_t mixer_block = 1024;  // frames the mixer fills at a time

// Music on the left only, a chime on the right only: the right channel is the
// chime alone and the left the music alone, each at whatever volume it has.
std::vector<Frame> left_music(double seconds) {
    return tones(seconds, {440, music_amplitude}, {0, 0});
}

// A chime played by a one-beat event from `beat`. Longer than its event, so
// it plays once and the duck outlasts the event.
void add_chime(Demo& demo, float beat, const std::vector<Frame>& sound) {
    auto sample = std::make_unique<AudioSample>();
    sample->name = "chime.wav";
    sample->audio_buffer.data = wav(sound);
    auto event = std::make_unique<Event>();
    event->name = "chime";
    event->type = Event::type_audio_sample;
    event->audio_sample = sample.get();
    event->start_beat = beat;
    event->end_beat = beat + 1;
    demo.audio_samples.push_back(std::move(sample));
    demo.events.push_back(std::move(event));
}

std::vector<Frame> right_chime(double seconds = chime_seconds) {
    return tones(seconds, {0, 0}, {2000, chime_amplitude});
}

// Where each sound lies in the written output, in frames.
struct Landmarks {
    size_t music_start = 0;  // the first sound: the music's frame 0
    size_t chime_start = 0;  // the first sound on the right
    size_t chime_end = 0;    // one past the last sound on the right
    size_t duck_start = 0;   // the first left frame that is not the music at full volume
    size_t duck_end = 0;     // the next left frame that is the music at full volume again
};

Landmarks find_landmarks(const std::vector<Frame>& out, const std::vector<Frame>& music) {
    Landmarks m;
    m.music_start = first_sound(out);
    m.chime_start = m.music_start;
    while (m.chime_start < out.size() && out[m.chime_start].right == 0) ++m.chime_start;
    m.chime_end = out.size();
    while (m.chime_end > m.chime_start && out[m.chime_end - 1].right == 0) --m.chime_end;
    auto full = [&](size_t i) {
        const size_t k = i - m.music_start;
        return k < music.size() && out[i].left == music[k].left;
    };
    // A cosine crosses zero, where any volume gives the same sample: the
    // duck ends only where a whole block is the music at full volume again.
    auto block_full = [&](size_t i) {
        if (i + mixer_block > out.size()) return false;
        for (size_t k = i; k < i + mixer_block; ++k) {
            if (!full(k)) return false;
        }
        return true;
    };
    m.duck_start = m.music_start;
    while (m.duck_start < out.size() && full(m.duck_start)) ++m.duck_start;
    m.duck_end = m.duck_start;
    while (m.duck_end < out.size() && !block_full(m.duck_end)) ++m.duck_end;
    return m;
}

std::string describe(const Landmarks& m) {
    return "music from " + at_seconds(m.music_start) + ", chime " + at_seconds(m.chime_start) + " to " +
           at_seconds(m.chime_end) + ", duck " + at_seconds(m.duck_start) + " to " + at_seconds(m.duck_end);
}

TEST(Audio, SampleEventDucksTheMusicForTheSampleDuration) {
    // Four seconds of chime from a one-beat event: the duck that lasts the
    // sample ends three seconds after one that would last the event.
    constexpr double long_chime = 4;
    TempDir dir;
    auto demo = demo_of_seconds(7);
    const std::vector<Frame> music = left_music(7.0);
    demo->music.data = wav(music);
    const std::vector<Frame> chime = right_chime(long_chime);
    add_chime(*demo, 2, chime);

    DiskAudioPlayer player(dir, write_demo_payload(*demo));
    const std::vector<Frame> out = player.finish();
    const Landmarks m = find_landmarks(out, music);
    SCOPED_TRACE(describe(m));
    ASSERT_LT(m.chime_start, out.size()) << "the chime is missing";
    ASSERT_GE(out.size(), m.chime_start + seconds(long_chime + 0.6)) << "the output ends early";

    // The beat clock and the duck's timer run on the wall clock, which the
    // written sound follows only roughly (it falls behind on a busy
    // machine). So the chime starts nearer beat 2 of the written music than
    // beats 1 or 3, and the duck ends nearer the end of the chime (its
    // length in mixed frames) than the end of its event.
    EXPECT_NEAR(double(m.chime_start - m.music_start), double(seconds(2)), double(seconds(1)));
    EXPECT_NEAR(double(m.duck_end), double(m.chime_end), double(seconds(1.5)));
    // Played once, whole and unchanged.
    EXPECT_EQ(m.chime_end - m.chime_start, chime.size());
    size_t wrong = 0;
    for (size_t i = 0; i < chime.size(); ++i) wrong += out[m.chime_start + i].right != chime[i].right;
    EXPECT_EQ(wrong, 0u) << "chime frames differ from the sample";

    // The duck starts with the chime (in the same mixed block, or the next
    // when the mixer was in the middle of one).
    EXPECT_LE(std::max(m.duck_start, m.chime_start) - std::min(m.duck_start, m.chime_start), mixer_block);

    // The music's level between the landmarks, 50 ms from each edge: ducked
    // to 100/128 until the duck ends, then back at full volume for good.
    // (Up to the duck it is the music's own samples, by the landmark's making.)
    const size_t margin = window_frames;
    ASSERT_GE(out.size(), m.duck_end + seconds(0.6)) << "the output ends early";
    EXPECT_TRUE(steady(out, m.duck_start + margin, m.duck_end - margin, 440, Side::left, ducked,
                       ducked * 0.01));
    EXPECT_TRUE(steady(out, m.duck_end + margin, m.duck_end + seconds(0.5), 440, Side::left,
                       music_amplitude, music_amplitude * 0.01));
}

TEST(Audio, EndsCleanlyWhileASampleStillDucks) {
    TempDir dir;
    auto demo = demo_of_seconds(3);
    const std::vector<Frame> music = left_music(4.0);
    demo->music.data = wav(music);
    add_chime(*demo, 2, right_chime());

    // The timeline ends at 3 s, inside the duck (2 s to 3.5 s): the chime still
    // sounds and its timer is pending when the player quits SDL. finish()
    // checks the exit status.
    DiskAudioPlayer player(dir, write_demo_payload(*demo));
    const std::vector<Frame> out = player.finish();
    const Landmarks m = find_landmarks(out, music);
    SCOPED_TRACE(describe(m));
    ASSERT_LT(m.chime_start, out.size()) << "the chime is missing";
    ASSERT_GE(out.size(), m.chime_start + seconds(0.5)) << "the output ends early";
    EXPECT_EQ(m.chime_end, out.size()) << "the chime ended before the output";
    EXPECT_EQ(m.duck_end, out.size()) << "the duck ended before the output";
    EXPECT_TRUE(steady(out, m.duck_start + window_frames, m.chime_start + seconds(0.5), 440, Side::left,
                       ducked, ducked * 0.01));
    EXPECT_TRUE(steady(out, m.chime_start, m.chime_start + seconds(0.5), 2000, Side::right,
                       chime_amplitude, chime_amplitude * 0.01));
}

// Red wherever the sound texture holds anything or the sound level is above
// 0, green otherwise. Each pixel checks both texels of the column under it, so
// the window as a whole covers the texture.
const char* const sound_probe_shader =
    "#version 150\n"
    "uniform sampler2D sound_texture;\n"
    "uniform int sound;\n"
    "uniform vec2 resolution;\n"
    "out vec4 fragColor;\n"
    "void main() {\n"
    "    int column = min(int(gl_FragCoord.x * 1024.0 / resolution.x), 1023);\n"
    "    vec4 texels = texelFetch(sound_texture, ivec2(column, 0), 0)\n"
    "                + texelFetch(sound_texture, ivec2(column, 1), 0);\n"
    "    bool heard = sound > 0 || any(greaterThan(texels, vec4(0.0)));\n"
    "    fragColor = heard ? vec4(1.0, 0.0, 0.0, 1.0) : vec4(0.0, 1.0, 0.0, 1.0);\n"
    "}\n";

constexpr Rgb heard{255, 0, 0};
constexpr Rgb not_heard{0, 255, 0};

// Only the music registers the analysis: a sample in a demo without music is
// heard but never reaches the sound texture or the level.
struct SoundScreenRow {
    const char* name;
    bool loud_music;
    bool chime;          // a 1.5 s sample on both sides from beat 0.5
    bool probe_hears;    // red (something analysed) or green (all zero)
    double min_seconds;  // of sound in the written output
    double max_seconds;
};

void PrintTo(const SoundScreenRow& row, std::ostream* os) { *os << row.name; }

class SoundOnScreen : public testing::TestWithParam<SoundScreenRow> {};

TEST_P(SoundOnScreen, ProbeShowsWhetherAnythingWasAnalysed) {
    const SoundScreenRow& row = GetParam();
    TempDir dir;
    XServer x;
    auto demo = demo_of_seconds(4);
    if (row.loud_music) demo->music.data = wav(tones(3.0, {440, 20000}, {440, 20000}));
    if (row.chime) add_chime(*demo, 0.5f, tones(chime_seconds, {2000, chime_amplitude}, {2000, chime_amplitude}));
    test::add_effect_event(*demo, "probe", sound_probe_shader, 0, 4);

    DiskAudioPlayer player(dir, write_demo_payload(*demo), &x);
    const std::string window = x.wait_for_window(player_window_title(), 60s, &player.process());
    ASSERT_FALSE(window.empty()) << player.process().out() << player.process().err();
    const Geometry g = x.geometry(window);
    EXPECT_EQ(g.width * 9 / 16, g.height) << "not the player's window";
    auto whole_window = [&](Rgb c) { return [=](const Image& s) { return area_is(s, g, c); }; };

    if (row.probe_hears) {
        EXPECT_FALSE(x.wait_for_screen(whole_window(heard), 60s, &player.process()).empty())
            << "some pixel never saw sound";
    } else {
        EXPECT_FALSE(x.wait_for_screen(whole_window(not_heard), 60s, &player.process()).empty())
            << "the probe never covered the window";
        // Then green on every screenshot until the written sound shows the
        // chime (or, without one, the run) a good way on: each sample that
        // reached the output was mixed, and would have been analysed, before
        // the screenshot after it.
        const size_t wanted = seconds(row.chime ? 0.5 : 1.0);
        bool far_enough = false;
        int shots = 0;
        while (!far_enough && !player.process().wait(0ms)) {
            const std::vector<Frame> so_far = player.written();
            const size_t start = row.chime ? first_sound(so_far) : 0;
            far_enough = start < so_far.size() && so_far.size() - start >= wanted;
            const Image shot = x.screenshot();
            ++shots;
            if (area_is(shot, g, not_heard)) continue;
            if (player.process().wait(0ms)) break;  // the window has gone with the player
            FAIL() << "the probe saw sound in screenshot " << shots << ", at " << at_seconds(so_far.size())
                   << " of output";
        }
        EXPECT_TRUE(far_enough) << "the player ended before the sound got far enough";
    }

    const std::vector<Frame> out = player.finish();
    ASSERT_GT(out.size(), seconds(1.0)) << "the device wrote less than a second";
    const auto sounding = static_cast<double>(out.size() - static_cast<size_t>(std::count_if(
                                                               out.begin(), out.end(), silent))) / rate;
    EXPECT_GE(sounding, row.min_seconds);
    EXPECT_LE(sounding, row.max_seconds);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, SoundOnScreen,
    testing::Values(SoundScreenRow{"WithoutMusic", false, false, false, 0, 0},
                    SoundScreenRow{"WithoutMusicButASample", false, true, false, 1.45, 1.5},
                    SoundScreenRow{"WithLoudMusic", true, false, true, 2.95, 3.0}),
    [](const auto& info) { return std::string(info.param.name); });

// Every music format a demo may use, decoded by the packed player's own
// decoders: one second of 440 Hz on the left and 660 Hz on the right at
// 2048, encoded by tests/data/sound/README.md's commands (WAVE made here).
struct MusicFormatRow {
    const char* name;
    const char* file;  // under tests/data/sound; null: a WAVE file
    double tolerance;  // of each level: what the lossy codecs take off
};

void PrintTo(const MusicFormatRow& row, std::ostream* os) { *os << row.name; }

class MusicFormat : public testing::TestWithParam<MusicFormatRow> {};

TEST_P(MusicFormat, PlaysEachToneOnItsOwnSide) {
    const MusicFormatRow& row = GetParam();
    constexpr double amplitude = 2048;
    TempDir dir;
    auto demo = demo_of_seconds(2);
    if (row.file) {
        demo->music.data = test::test_sound_bytes(row.file);
    } else {
        demo->music.data = wav(tones(1.0, {440, amplitude}, {660, amplitude}));
    }
    DiskAudioPlayer player(dir, write_demo_payload(*demo));
    const std::vector<Frame> out = player.finish();
    // Half a second in: past any codec's priming delay, short of its end.
    const size_t at = first_sound(out) + seconds(0.5);
    ASSERT_GT(out.size(), at + window_frames) << "the music was not played";
    EXPECT_NEAR(level(out, at, 440, Side::left), amplitude, row.tolerance);
    EXPECT_NEAR(level(out, at, 660, Side::right), amplitude, row.tolerance);
    EXPECT_LT(level(out, at, 440, Side::right), row.tolerance) << "the channels are swapped or mixed";
}

INSTANTIATE_TEST_SUITE_P(Rows, MusicFormat,
                         testing::Values(MusicFormatRow{"Wave", nullptr, 1},
                                         MusicFormatRow{"Flac", "tone.flac", 2},
                                         MusicFormatRow{"OggVorbis", "tone.ogg", 100},
                                         MusicFormatRow{"Mp3", "tone.mp3", 150}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qh::e2e
