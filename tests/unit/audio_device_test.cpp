// Music, samples and ducking through a real mixer on SDL's disk audio driver:
// the sound the mixer produces is read back from the file the driver writes.
// The driver keeps time by sleeping and falls behind the wall clock on a busy
// machine, while a duck ends by a wall-clock timer: the tests wait for what
// they check (sound in the file, a state of the player) and place the end of
// a duck between the file positions seen just before and just after it.
#include <SDL.h>
#include <SDL_mixer.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <list>
#include <optional>
#include <string>
#include <vector>

#include "audio/music.h"
#include "audio/offline_mix.h"
#include "audio/sample_player.h"
#include "audio/wave_headers.h"
#include "core/runtime.h"
#include "support/fuzz_corpus.h"
#include "support/scoped_env.h"
#include "support/scratch_dir.h"
#include "support/sound_frames.h"
#include "support/wav.h"

namespace qh {
namespace {

constexpr int rate = 44100;
constexpr int block_frames = 1024;

using test::Frame;

constexpr size_t frames_in(int ms) {
    return static_cast<size_t>(ms) * rate / 1000;
}

// A 44.1 kHz 16-bit stereo WAV file.
std::vector<uint8_t> wav(size_t frames, const std::function<Frame(size_t)>& frame) {
    std::vector<int16_t> samples;
    for (size_t i = 0; i < frames; ++i) {
        const Frame f = frame(i);
        samples.insert(samples.end(), {f.left, f.right});
    }
    return test::wav_file(samples, 2, rate);
}

std::vector<uint8_t> constant_wav(int ms, int16_t value) {
    return wav(frames_in(ms), [=](size_t) { return Frame{value, value}; });
}

// Music whose every frame tells its own position, so the output shows which
// part of the music played where.
Frame numbered_frame(size_t i) {
    return Frame{static_cast<int16_t>(1 + i % 30000), static_cast<int16_t>(1 + i / 30000)};
}
std::optional<size_t> frame_number(Frame f) {
    if (f.left < 1 || f.left > 30000 || f.right < 1) return std::nullopt;
    return static_cast<size_t>(f.left - 1) + static_cast<size_t>(f.right - 1) * 30000;
}

using test::frames_of;

size_t first_sound(const std::vector<Frame>& out) {
    size_t i = 0;
    while (i < out.size() && out[i] == Frame{}) ++i;
    return i;
}

// Polls `done` until it holds; false after a minute.
bool wait_until(const std::function<bool()>& done) {
    const Uint32 deadline = SDL_GetTicks() + 60000;
    while (!done()) {
        if (SDL_TICKS_PASSED(SDL_GetTicks(), deadline)) return false;
        SDL_Delay(2);
    }
    return true;
}

class AudioDevice : public testing::Test {
protected:
    void SetUp() override {
        path_ = (scratch_ / "sound.raw").string();
        env_.emplace_back("SDL_AUDIODRIVER", "disk");
        env_.emplace_back("SDL_DISKAUDIOFILE", path_);
        ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_AUDIO | SDL_INIT_TIMER), 0) << SDL_GetError();
        ASSERT_EQ(Mix_OpenAudio(44100, AUDIO_S16LSB, 2, 1024), 0) << Mix_GetError();
        open_ = true;
        int frequency = 0, channels = 0;
        Uint16 format = 0;
        Mix_QuerySpec(&frequency, &format, &channels);
        ASSERT_EQ(frequency, rate);
        ASSERT_EQ(channels, 2);
    }

    void TearDown() override {
        if (open_) Mix_CloseAudio();
        SDL_QuitSubSystem(SDL_INIT_AUDIO | SDL_INIT_TIMER);
        env_.clear();
    }

public:
    // What the driver has written so far. It writes through a buffer of
    // about a block, and each block after the mixer (and the analysis) ran.
    std::vector<Frame> written() const {
        std::ifstream in(path_, std::ios::binary);
        return frames_of(std::string(std::istreambuf_iterator<char>(in), {}));
    }
    size_t frames_written() const {
        std::error_code ec;
        const auto bytes = std::filesystem::file_size(path_, ec);
        return ec ? 0 : static_cast<size_t>(bytes / 4);
    }

    // Polls the written output until `done` holds for it; false after a minute.
    bool wait_for_output(const std::function<bool(const std::vector<Frame>&)>& done) const {
        return wait_until([&] { return done(written()); });
    }

protected:
    // Closes the device, which flushes the file, and returns what it played.
    std::vector<Frame> close_and_read() {
        Mix_CloseAudio();
        open_ = false;
        return written();
    }

private:
    test::ScratchDir scratch_{"qh-audio"};
    std::string path_;
    bool open_ = false;
    std::list<test::ScopedEnv> env_;
};

TEST_F(AudioDevice, MusicBytesReachTheOutputAndTheCapture) {
    const std::vector<uint8_t> track = wav(frames_in(1000), numbered_frame);
    {
        Music music;
        ASSERT_TRUE(music.start(track));
        EXPECT_TRUE(music.playing());
        // Written means mixed and analysed.
        ASSERT_TRUE(wait_for_output(
            [](const std::vector<Frame>& out) { return out.size() > first_sound(out) + frames_in(200); }));
        const SpectrumState& sound = music.capture().latest();
        EXPECT_GT(sound.level(), 0);
        // The waveform row shows the rising music above the middle line.
        EXPECT_GT(sound.capture[(SpectrumState::width + 1) * 4], 128);
    }
    const std::vector<Frame> out = close_and_read();
    const size_t start = first_sound(out);
    ASSERT_LT(start + frames_in(200), out.size()) << "no music written";
    size_t matching = 0;
    while (start + matching < out.size() && matching < frames_in(1000) &&
           out[start + matching] == numbered_frame(matching)) {
        ++matching;
    }
    // Everything from the first frame on is the music, up to where it was stopped.
    EXPECT_GE(matching, frames_in(200));
    EXPECT_TRUE(start + matching == out.size() || matching == frames_in(1000) ||
                out[start + matching] == Frame{})
        << "music differs from its bytes at frame " << matching;
}

TEST_F(AudioDevice, NoMusicIsSilentAndLeavesTheCaptureZero) {
    {
        Music music;
        EXPECT_FALSE(music.start({}));
        EXPECT_FALSE(music.playing());
        EXPECT_EQ(Mix_PlayingMusic(), 0);
        ASSERT_TRUE(wait_until([&] { return frames_written() >= 4 * block_frames; }));
        const SpectrumState& sound = music.capture().latest();
        EXPECT_EQ(sound.capture, decltype(sound.capture){}) << "analysis ran without music";
        EXPECT_EQ(sound.level(), 0);
    }
    const std::vector<Frame> out = close_and_read();
    EXPECT_GE(out.size(), 4u * block_frames) << "the device wrote nothing";
    EXPECT_EQ(first_sound(out), out.size());
}

TEST_F(AudioDevice, UndecodableMusicIsSilentButTheAnalysisRuns) {
    const std::vector<uint8_t> garbage(4000, 0x5a);
    Music music;
    EXPECT_FALSE(music.start(garbage));
    EXPECT_FALSE(music.playing());
    ASSERT_TRUE(wait_until([&] { return frames_written() >= 4 * block_frames; }));
    // Silence analysed: the waveform row sits at the middle.
    const SpectrumState& sound = music.capture().latest();
    EXPECT_EQ(sound.capture[SpectrumState::width * 4], 128);
    EXPECT_EQ(sound.level(), 0);
}

TEST_F(AudioDevice, SeekMovesMusicAndClockTogether) {
    const std::vector<uint8_t> track = wav(frames_in(5000), numbered_frame);
    uint32_t start_ticks = 0;
    {
        Music music;
        ASSERT_TRUE(music.start(track));
        ASSERT_TRUE(wait_for_output(
            [](const std::vector<Frame>& out) { return out.size() > first_sound(out) + block_frames; }));
        // The returned start makes "now", some moment inside seek(), beat 8.
        const Uint32 before = SDL_GetTicks();
        start_ticks = music.seek(8.0f, 120.0f, 0.0f);
        const Uint32 after = SDL_GetTicks();
        EXPECT_LE(beat_at(before - start_ticks, 120.0f, 0.0f), 8.0f);
        EXPECT_GE(beat_at(after + 1 - start_ticks, 120.0f, 0.0f), 8.0f);
        ASSERT_TRUE(wait_for_output([](const std::vector<Frame>& out) {
            return std::any_of(out.begin(), out.end(),
                               [](Frame f) { return frame_number(f) == frames_in(4100); });
        }));
    }
    const std::vector<Frame> out = close_and_read();
    // The music position after the seek is 4 s; from there it plays on.
    const size_t target = frames_in(4000);
    size_t at = out.size();
    for (size_t i = 0; i < out.size(); ++i) {
        if (frame_number(out[i]) == target) { at = i; break; }
    }
    ASSERT_LT(at, out.size()) << "position 4.000 s never played";
    ASSERT_GT(at, 0u);
    EXPECT_LT(*frame_number(out[at - 1]), frames_in(1000)) << "the seek was not a jump from the start";
    for (size_t k = 1; k < frames_in(100) && at + k < out.size(); ++k) {
        ASSERT_EQ(frame_number(out[at + k]), target + k) << "at " << k << " frames after the seek";
    }
}

TEST_F(AudioDevice, SeekAfterTheEndPlaysTheMusicAgain) {
    const std::vector<uint8_t> track = wav(frames_in(200), numbered_frame);
    {
        Music music;
        ASSERT_TRUE(music.start(track));
        // Its last frame written and two blocks of silence after it.
        ASSERT_TRUE(wait_for_output([](const std::vector<Frame>& out) {
            const size_t start = first_sound(out);
            return out.size() >= start + frames_in(200) + 2 * block_frames;
        }));
        EXPECT_FALSE(music.playing()) << "plays once, not in a loop";
        music.seek(0.2f, 120.0f, 0.0f);  // 100 ms in
        EXPECT_TRUE(music.playing());
        ASSERT_TRUE(wait_until([&] { return !music.playing(); }));
        const size_t end = frames_written();
        ASSERT_TRUE(wait_until([&] { return frames_written() >= end + 2 * block_frames; }));
    }
    const std::vector<Frame> out = close_and_read();
    int heard = 0;
    for (const Frame& f : out) heard += frame_number(f) == frames_in(100);
    EXPECT_EQ(heard, 2);
}

// The music of the ducking tests is a constant 16000 on both channels, so a
// frame tells the music's volume and the samples mixed over it.
constexpr int16_t music_level = 16000;
constexpr int ducked_level = music_level * music_ducked_volume / music_full_volume;  // 12500

struct Mixed {
    bool ducked;
    int samples;  // what the samples add on top
};

Mixed classify(Frame f) {
    EXPECT_EQ(f.left, f.right);
    const bool ducked = f.left < music_level;
    return {ducked, f.left - (ducked ? ducked_level : music_level)};
}

struct Span {
    size_t begin = 0, end = 0;  // frames [begin, end)
};

struct Runs {
    std::vector<Span> ducks;               // stretches of music at 100
    size_t undimmed_sound = 0;             // frames where a sample sounds over full music
    std::vector<size_t> sample_frames;     // per sample value: frames where it sounds
    std::vector<size_t> sample_first;      // per sample value: its first frame
    size_t music_end = 0;                  // one past the last frame of music
};

// Tallies from the music's start to its last written frame (the device may
// write silence after the music stopped); `values` are the sample levels.
Runs tally(const std::vector<Frame>& out, const std::vector<int>& values) {
    Runs r;
    r.sample_frames.assign(values.size(), 0);
    r.sample_first.assign(values.size(), SIZE_MAX);
    r.music_end = out.size();
    while (r.music_end > 0 && out[r.music_end - 1] == Frame{}) --r.music_end;
    bool in_duck = false;
    for (size_t i = first_sound(out); i < r.music_end; ++i) {
        const Mixed m = classify(out[i]);
        if (m.ducked && !in_duck) r.ducks.push_back({i, i});
        if (m.ducked) r.ducks.back().end = i + 1;
        in_duck = m.ducked;
        r.undimmed_sound += !m.ducked && m.samples != 0;
        for (size_t v = 0; v < values.size(); ++v) {
            if ((m.samples & values[v]) == 0) continue;
            ++r.sample_frames[v];
            r.sample_first[v] = std::min(r.sample_first[v], i);
        }
    }
    return r;
}

size_t distance(size_t a, size_t b) { return a > b ? a - b : b - a; }

// The file positions on either side of the moment a duck ended: the last
// count of written frames taken while `ducking` still held (all mixed with the
// duck on) and the first taken after it stopped holding.
struct DuckEnd {
    size_t written_while_ducked = 0;
    size_t written_after = 0;
};

template <class Fixture>
DuckEnd wait_for_duck_end(const Fixture& f, const std::function<bool()>& ducking) {
    DuckEnd e;
    const bool ended = wait_until([&] {
        const size_t n = f.frames_written();  // before asking: these were mixed ducked
        if (ducking()) {
            e.written_while_ducked = n;
            return false;
        }
        return true;
    });
    EXPECT_TRUE(ended) << "the duck never ended";
    e.written_after = f.frames_written();
    return e;
}

// The mixer may have filled a block the file does not show yet, the file
// lags by its buffer, and a volume change can land between two blocks.
constexpr size_t unseen_frames = 3 * block_frames;

testing::AssertionResult ends_between(const Span& duck, const DuckEnd& seen) {
    const size_t low = seen.written_while_ducked, high = seen.written_after + unseen_frames;
    if (duck.end >= low && duck.end <= high) return testing::AssertionSuccess();
    return testing::AssertionFailure() << "the duck ends at frame " << duck.end << ", not within "
                                       << low << " ... " << high;
}

TEST_F(AudioDevice, SampleDucksTheMusicForItsDuration) {
    const std::vector<uint8_t> track = constant_wav(30000, music_level);
    const std::vector<uint8_t> sound = constant_wav(400, 1024);
    const int key = 0;
    DuckEnd seen;
    {
        Music music;
        SamplePlayer samples;
        ASSERT_EQ(samples.load(&key, sound), 400);
        ASSERT_TRUE(music.start(track));
        ASSERT_TRUE(wait_for_output(
            [](const std::vector<Frame>& out) { return out.size() > first_sound(out) + frames_in(300); }));
        const Uint32 played = SDL_GetTicks();
        EXPECT_TRUE(samples.play(&key));
        EXPECT_EQ(Mix_VolumeMusic(-1), music_ducked_volume);
        EXPECT_FALSE(samples.play(&key)) << "restarted within its duration";
        seen = wait_for_duck_end(*this, [&] { return samples.playing(&key); });
        EXPECT_GE(SDL_GetTicks() - played, 400u) << "the duck ended before the sample's duration";
        EXPECT_EQ(Mix_VolumeMusic(-1), music_full_volume);
        // The whole sample and some full music after it in the file.
        ASSERT_TRUE(wait_for_output([](const std::vector<Frame>& out) {
            const Runs r = tally(out, {1024});
            return r.sample_frames[0] == frames_in(400) && out.size() >= r.sample_first[0] + frames_in(600);
        }));
    }
    const std::vector<Frame> out = close_and_read();
    const Runs r = tally(out, {1024});
    EXPECT_EQ(r.sample_frames[0], frames_in(400)) << "the sample sounds once, in full";
    ASSERT_EQ(r.ducks.size(), 1u);
    EXPECT_LE(distance(r.ducks[0].begin, r.sample_first[0]), block_frames) << "the duck starts with the sample";
    EXPECT_TRUE(ends_between(r.ducks[0], seen));
    // Up to the duck's end the sample sounds over ducked music only.
    for (size_t i = r.sample_first[0]; i < r.ducks[0].end; ++i) {
        const Mixed m = classify(out[i]);
        ASSERT_TRUE(m.ducked || m.samples == 0 || i < r.ducks[0].begin) << "frame " << i;
    }
    EXPECT_EQ(out[r.music_end - 1], (Frame{music_level, music_level})) << "music not back to full";
}

TEST_F(AudioDevice, OverlappingSamplesKeepTheDuckAndPlayAgain) {
    const std::vector<uint8_t> track = constant_wav(30000, music_level);
    // The first is long enough to be seen still playing on a slow, loaded
    // machine (the sanitizer builds); the second outlasts it.
    constexpr int first_ms = 1500, second_ms = 2000;
    int first = 0;
    int second = 0;
    DuckEnd both_seen, again_seen;
    {
        Music music;
        SamplePlayer samples;
        ASSERT_EQ(samples.load(&first, constant_wav(first_ms, 1024)), first_ms);
        ASSERT_EQ(samples.load(&second, constant_wav(second_ms, 2048)), second_ms);
        ASSERT_TRUE(music.start(track));
        ASSERT_TRUE(wait_for_output(
            [](const std::vector<Frame>& out) { return out.size() > first_sound(out) + frames_in(200); }));
        EXPECT_TRUE(samples.play(&first));
        ASSERT_TRUE(wait_for_output([](const std::vector<Frame>& out) {
            return tally(out, {1024}).sample_frames[0] > 0;
        }));
        // Started while the first sample's duck runs: it gets its own.
        ASSERT_TRUE(samples.playing(&first));
        EXPECT_TRUE(samples.play(&second));
        ASSERT_TRUE(wait_until([&] { return !samples.playing(&first); }));
        if (samples.playing(&second)) {
            EXPECT_EQ(Mix_VolumeMusic(-1), music_ducked_volume) << "first duck ended the second";
        }
        both_seen = wait_for_duck_end(*this, [&] { return samples.playing(&second); });
        EXPECT_EQ(Mix_VolumeMusic(-1), music_full_volume);
        // The duck ends by the wall clock; the file may still lack the end of
        // the sound. Played again only once that is out, the two plays do not
        // overlap in the file and each counts alone.
        ASSERT_TRUE(wait_for_output([](const std::vector<Frame>& out) {
            return tally(out, {1024, 2048}).sample_frames[1] == frames_in(second_ms);
        }));
        EXPECT_TRUE(samples.play(&second)) << "cannot be played again";
        again_seen = wait_for_duck_end(*this, [&] { return samples.playing(&second); });
        EXPECT_EQ(Mix_VolumeMusic(-1), music_full_volume);
        ASSERT_TRUE(wait_for_output([](const std::vector<Frame>& out) {
            const Runs r = tally(out, {1024, 2048});
            return r.sample_frames[1] == 2 * frames_in(second_ms) && r.ducks.size() == 2 &&
                   out.size() >= r.ducks[1].end + frames_in(300);
        }));
    }
    const std::vector<Frame> out = close_and_read();
    const Runs r = tally(out, {1024, 2048});
    EXPECT_EQ(r.sample_frames[0], frames_in(first_ms));
    EXPECT_EQ(r.sample_frames[1], 2 * frames_in(second_ms)) << "the second sample sounds twice";
    ASSERT_EQ(r.ducks.size(), 2u) << "one duck over both samples, one over the second again";
    EXPECT_LE(distance(r.ducks[0].begin, r.sample_first[0]), block_frames);
    EXPECT_TRUE(ends_between(r.ducks[0], both_seen));
    EXPECT_TRUE(ends_between(r.ducks[1], again_seen));
    EXPECT_EQ(out[r.music_end - 1], (Frame{music_level, music_level}));
}

TEST_F(AudioDevice, UndecodableSampleNeverPlaysOrDucks) {
    SamplePlayer samples;
    const int key = 0;
    const std::vector<uint8_t> garbage(1000, 0x33);
    EXPECT_EQ(samples.load(&key, garbage), 0);
    EXPECT_FALSE(samples.play(&key));
    EXPECT_FALSE(samples.playing(&key));
    EXPECT_FALSE(samples.play(&samples)) << "never loaded";
    EXPECT_EQ(Mix_VolumeMusic(-1), music_full_volume);
}

// With every channel busy the sound is lost, but it must not start later in
// its event's window, out of time with the music, nor duck the music.
TEST_F(AudioDevice, SampleWithNoFreeChannelCountsAsPlayed) {
    SamplePlayer samples;
    const int key = 0;
    ASSERT_EQ(samples.load(&key, constant_wav(300, 1024)), 300);
    const int channels = Mix_AllocateChannels(-1);
    Mix_AllocateChannels(0);
    const Uint32 missed_at = SDL_GetTicks();
    EXPECT_FALSE(samples.play(&key));
    EXPECT_EQ(Mix_VolumeMusic(-1), music_full_volume);
    Mix_AllocateChannels(channels);
    // Asked again on the next frames, as the timeline does: nothing starts
    // until the missed play's duration has passed.
    bool started = false;
    Uint32 started_at = 0;
    while (!started && SDL_GetTicks() - missed_at < 10000) {
        started = samples.play(&key);
        started_at = SDL_GetTicks();
        SDL_Delay(5);
    }
    EXPECT_TRUE(started) << "never played again after its duration";
    EXPECT_GE(started_at - missed_at, 300u);
}

TEST_F(AudioDevice, ReloadOrDestroyWhileDuckingLiftsTheDuck) {
    const int key = 0;
    const std::vector<uint8_t> sound = constant_wav(300, 1000);
    {
        SamplePlayer samples;
        ASSERT_EQ(samples.load(&key, sound), 300);
        ASSERT_TRUE(samples.play(&key));
        ASSERT_EQ(samples.load(&key, constant_wav(100, 1000)), 100);
        EXPECT_FALSE(samples.playing(&key));
        EXPECT_EQ(Mix_VolumeMusic(-1), music_full_volume);
        ASSERT_TRUE(samples.play(&key));
        EXPECT_EQ(Mix_VolumeMusic(-1), music_ducked_volume);
    }
    EXPECT_EQ(Mix_VolumeMusic(-1), music_full_volume);
    SDL_Delay(200);  // the cancelled timer's time passes harmlessly
    EXPECT_EQ(Mix_VolumeMusic(-1), music_full_volume);
}

}  // namespace
}  // namespace qh

namespace qh {
namespace {

// ---------------------------------------------------------------- offline mix

// Music at 10000 for a second; a 200 ms sample at 5000 started at 0.1 s, asked
// again at 0.2 s (still within its duration: refused) and at 0.35 s. The
// music is ducked to 100/128 while a start's duration runs; past the music's
// end only the sample sounds; a sum past the 16-bit range clips.
TEST_F(AudioDevice, OfflineMixDucksAndMixesAsThePlayerDoes) {
    OfflineMix mix(constant_wav(1000, 10000));
    const int key = 0, loud = 0;
    EXPECT_EQ(mix.load(&key, constant_wav(200, 5000)), 200);
    EXPECT_EQ(mix.load(&loud, constant_wav(100, 30000)), 100);
    EXPECT_EQ(mix.load(nullptr, {}), 0);
    EXPECT_TRUE(mix.play(&key, frames_in(100)));
    EXPECT_FALSE(mix.play(&key, frames_in(200)));
    EXPECT_TRUE(mix.play(&key, frames_in(350)));
    EXPECT_TRUE(mix.play(&loud, frames_in(960)));
    EXPECT_FALSE(mix.play(nullptr, frames_in(970)));
    mix.finish(frames_in(1500));
    ASSERT_EQ(mix.pcm().size(), frames_in(1500) * 2);

    const int16_t ducked = 10000 * 100 / 128;
    const struct {
        int ms;
        int16_t value;
    } rows[] = {{50, 10000}, {150, int16_t(ducked + 5000)}, {320, 10000}, {400, int16_t(ducked + 5000)},
                {980, 32767}, {1020, 30000}, {1200, 0}};
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << row.ms << " ms");
        EXPECT_EQ(mix.pcm()[frames_in(row.ms) * 2], row.value);
        EXPECT_EQ(mix.pcm()[frames_in(row.ms) * 2 + 1], row.value);
    }
}

// The analysis sees whole blocks only, as the mixer hands them over, and
// nothing at all when there is no music (no analysis is registered then).
TEST_F(AudioDevice, OfflineAnalysisTakesWholeBlocksAndNothingWithoutMusic) {
    OfflineMix with_music(constant_wav(100, 12000));
    with_music.finish(frames_in(100));
    SoundAnalysis analysis(with_music.pcm(), with_music.analysed());
    EXPECT_EQ(analysis.at(OfflineMix::block_frames - 1).level(), 0);
    const SpectrumState& two = analysis.at(2 * OfflineMix::block_frames + 5);
    SpectrumAnalyzer by_hand;
    SpectrumState expected;
    for (size_t b = 0; b < 2; ++b) {
        by_hand.analyze(reinterpret_cast<const uint8_t*>(with_music.pcm().data() + b * OfflineMix::block_frames * 2),
                        OfflineMix::block_frames * 4, expected);
    }
    EXPECT_EQ(two.capture, expected.capture);
    EXPECT_EQ(two.level(), expected.level());
    EXPECT_GT(two.level(), 0);

    OfflineMix no_music({});
    const int key = 0;
    no_music.load(&key, constant_wav(100, 12000));
    no_music.play(&key, 0);
    no_music.finish(frames_in(100));
    EXPECT_EQ(no_music.pcm()[10], 12000);
    SoundAnalysis silent(no_music.pcm(), no_music.analysed());
    EXPECT_EQ(silent.at(frames_in(100)).level(), 0);
}

void put_length(std::vector<uint8_t>& file, size_t at, uint32_t length) {
    for (int i = 0; i < 4; ++i) file[at + i] = static_cast<uint8_t>(length >> (8 * i));
}

// The mixer's WAVE loader trusts what the headers claim: chunks claiming
// more than follows are cut to what follows, so a short record never asks
// for gigabytes (the sanitizer run caps one allocation at 1 GiB) and a
// truncated sound still plays what it holds; a sound stated to last longer
// than a sample may (a rate of 2 Hz) is refused before it is resampled.
TEST_F(AudioDevice, WaveHeadersAreCheckedBeforeTheMixerTrustsThem) {
    const std::vector<uint8_t> whole = constant_wav(100, 1000);
    constexpr size_t fmt_length_at = 16;
    constexpr size_t rate_at = 24;
    constexpr size_t data_length_at = 40;  // after RIFF, WAVE and a 16-byte fmt chunk
    const uint32_t data_left = static_cast<uint32_t>(whole.size() - data_length_at - 4);
    struct Case {
        const char* what;
        size_t at;
        uint32_t value;
        bool cut;  // the length at `at` is cut to what follows
        int duration_ms;  // 0: refused
    };
    const Case cases[] = {
        {"as written", rate_at, 44100, false, 100},
        {"data claims 4 GB", data_length_at, 0xFFFFFFF0u, true, 100},
        {"data claims one byte more", data_length_at, data_left + 1, true, 100},
        {"fmt claims 4 GB", fmt_length_at, 0xFFFFFFF0u, true, 0},
        {"rate 2 Hz: 2205 s", rate_at, 2, false, 0},
        {"rate 100 Hz: 44.1 s", rate_at, 100, false, 44100},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> file = whole;
        put_length(file, c.at, c.value);
        const std::optional<WaveHeaders> headers = read_wave_headers(file);
        ASSERT_TRUE(headers) << c.what;
        EXPECT_EQ(headers->overlong, c.cut) << c.what;
        if (c.cut) {
            std::vector<uint8_t> expected = file;
            put_length(expected, c.at, static_cast<uint32_t>(file.size() - c.at - 4));
            EXPECT_EQ(fit_wave_chunks(file), expected) << c.what;
        }
        SamplePlayer samples;
        EXPECT_EQ(samples.load(&samples, file), c.duration_ms) << c.what;
    }
    std::vector<uint8_t> not_wave = whole;
    not_wave[8] = 'X';
    EXPECT_FALSE(read_wave_headers(not_wave));

    // The record the media fuzz target found: 11 kB claiming 2.4 GB of data.
    const std::vector<uint8_t> found = test::fuzz_corpus_file("media/regress_sample_wave_claims_gigabytes");
    ASSERT_GT(found.size(), 1000u);
    Mix_Chunk* chunk = decode_sound(std::span(found).subspan(1));  // byte 0 picks the kind
    ASSERT_NE(chunk, nullptr);
    EXPECT_LT(chunk->alen, 4 * found.size());
    Mix_FreeChunk(chunk);
    // And one at 2 Hz: 21 kB resampled to 1.9 GB.
    const std::vector<uint8_t> slow = test::fuzz_corpus_file("media/regress_sample_wave_rate_2_hz");
    ASSERT_GT(slow.size(), 1000u);
    EXPECT_EQ(decode_sound(std::span(slow).subspan(1)), nullptr);
}

// A sample the media fuzz target found: the mixer's loader refused it and,
// asked to close the stream itself, leaked it (a leak the sanitizer builds'
// leak checker reports). Decoding closes the stream itself now.
TEST_F(AudioDevice, UndecodableSoundFromTheFuzzerIsRefused) {
    const std::vector<uint8_t> input = test::fuzz_corpus_file("media/regress_sample_stream_leak");
    ASSERT_EQ(input.size(), 12u);
    EXPECT_EQ(decode_sound(std::span(input).subspan(1)), nullptr);  // byte 0 picks the kind
}

}  // namespace
}  // namespace qh
