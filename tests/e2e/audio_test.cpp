// What the packed player sends to the sound card, read back from the file
// SDL's disk audio driver writes, and what the sound analysis shows on screen.
// The disk driver writes in real time (it sleeps one block per block), so the
// file's timeline follows the wall clock to within a few blocks.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>
#include <thread>

#include "e2e/e2e_support.h"
#include "package/demo_io.h"
#include "package/demo_tables.h"

namespace qh::e2e {
namespace {

using namespace std::chrono_literals;

constexpr int rate = 44100;
constexpr double pi = 3.14159265358979323846;
const std::string window_title = player_window_title();

struct Frame {
    int16_t left = 0;
    int16_t right = 0;
    bool operator==(const Frame&) const = default;
};

bool silent(Frame f) { return f == Frame{}; }

struct Tone {
    double hz = 0;
    double amplitude = 0;
};

// Cosines, so the very first frame already sounds and marks the onset.
std::vector<Frame> tones(double seconds, Tone left, Tone right) {
    std::vector<Frame> frames(static_cast<size_t>(seconds * rate));
    for (size_t i = 0; i < frames.size(); ++i) {
        const double t = static_cast<double>(i) / rate;
        frames[i].left = static_cast<int16_t>(std::lround(left.amplitude * std::cos(2 * pi * left.hz * t)));
        frames[i].right = static_cast<int16_t>(std::lround(right.amplitude * std::cos(2 * pi * right.hz * t)));
    }
    return frames;
}

// A 44.1 kHz 16-bit stereo WAV file: what the mixer takes as music and as samples.
std::vector<uint8_t> wav(const std::vector<Frame>& frames) {
    std::vector<uint8_t> out;
    auto u32 = [&](uint32_t v) { for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i))); };
    auto u16 = [&](uint16_t v) { out.push_back(static_cast<uint8_t>(v)); out.push_back(static_cast<uint8_t>(v >> 8)); };
    auto tag = [&](const char* t) { for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(t[i])); };
    const auto data_bytes = static_cast<uint32_t>(frames.size() * 4);
    tag("RIFF"); u32(36 + data_bytes); tag("WAVE");
    tag("fmt "); u32(16); u16(1); u16(2); u32(rate); u32(rate * 4); u16(4); u16(16);
    tag("data"); u32(data_bytes);
    for (const Frame& f : frames) {
        u16(static_cast<uint16_t>(f.left));
        u16(static_cast<uint16_t>(f.right));
    }
    return out;
}

// 60 bpm and no offset: beat n is n seconds after the music started.
std::unique_ptr<Demo> demo_of_seconds(float end_beat) {
    auto d = std::make_unique<Demo>();
    d->bpm = 60;
    d->beat_offset = 0;
    d->end_beat = end_beat;
    return d;
}

// The packed player with its sound going to a file in `dir`.
class DiskAudioPlayer {
public:
    DiskAudioPlayer(const TempDir& dir, const Demo& demo)
        : raw_(dir / "sound.raw"),
          process_({make_player(dir, write_demo_payload(demo)).string()}, dir.path(),
                   {"SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=" + raw_.string()}) {}

    Process& process() { return process_; }

    // Waits for the run to end by itself; the frames the driver wrote (the
    // device is closed, and the file complete, when the player quits SDL).
    std::vector<Frame> finish() {
        EXPECT_TRUE(process_.wait(30s)) << "the player did not end after its end beat";
        EXPECT_EQ(process_.exit_status(), 0) << process_.out() << process_.err();
        const std::string raw = read_file(raw_);
        std::vector<Frame> frames(raw.size() / 4);
        for (size_t i = 0; i < frames.size(); ++i) {
            auto at = [&](size_t b) { return static_cast<uint8_t>(raw[4 * i + b]); };
            frames[i].left = static_cast<int16_t>(at(0) | (at(1) << 8));
            frames[i].right = static_cast<int16_t>(at(2) | (at(3) << 8));
        }
        return frames;
    }

private:
    std::filesystem::path raw_;
    Process process_;
};

size_t first_sound(const std::vector<Frame>& out) {
    size_t i = 0;
    while (i < out.size() && silent(out[i])) ++i;
    return i;
}

// 50 ms windows: a whole number of cycles of every tone used here, so a
// steady tone measures its amplitude exactly and other tones measure 0.
constexpr size_t window_frames = rate / 20;
constexpr double window_seconds = 0.05;

// Amplitude of `hz` in the left channel, window by window from `from`.
std::vector<double> left_levels(const std::vector<Frame>& out, size_t from, double hz) {
    std::vector<double> levels;
    for (size_t w = from; w + window_frames <= out.size(); w += window_frames) {
        double c = 0, s = 0;
        for (size_t i = 0; i < window_frames; ++i) {
            const double phase = 2 * pi * hz * static_cast<double>(i) / rate;
            c += out[w + i].left * std::cos(phase);
            s += out[w + i].left * std::sin(phase);
        }
        levels.push_back(2 * std::hypot(c, s) / window_frames);
    }
    return levels;
}

struct Range {
    double low = 1e9;
    double high = -1e9;
};

// The lowest and highest level of the windows lying inside [t0, t1) seconds.
Range levels_between(const std::vector<double>& levels, double t0, double t1) {
    Range r;
    for (size_t w = 0; w < levels.size(); ++w) {
        const double t = static_cast<double>(w) * window_seconds;
        if (t < t0 || t + window_seconds > t1) continue;
        r.low = std::min(r.low, levels[w]);
        r.high = std::max(r.high, levels[w]);
    }
    return r;
}

std::string describe(const std::vector<double>& levels, double t0, double t1) {
    std::ostringstream s;
    for (size_t w = 0; w < levels.size(); ++w) {
        const double t = static_cast<double>(w) * window_seconds;
        if (t >= t0 && t < t1) s << t << "s:" << std::lround(levels[w]) << " ";
    }
    return s.str();
}

TEST(Audio, PackedMusicIsWhatThePlayerPlays) {
    TempDir dir;
    const std::vector<Frame> music = tones(2.0, {440, 12000}, {660, 6000});
    auto demo = demo_of_seconds(3);
    demo->music.data = wav(music);
    DiskAudioPlayer player(dir, *demo);
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
    EXPECT_GT(out.size() - onset - music.size(), static_cast<size_t>(rate / 2))
        << "the run should go on for about a second after the music";
}

constexpr double music_amplitude = 16000;
constexpr double chime_amplitude = 4000;
constexpr double ducked = music_amplitude * 100 / 128;

std::vector<uint8_t> steady_music(double seconds) {
    return wav(tones(seconds, {440, music_amplitude}, {440, music_amplitude}));
}

// A 1.5 s chime played by a one-beat event from `beat`. Another frequency than
// the music, so each is measured on its own; longer than its event, so it
// plays once and the duck outlasts the event.
void add_chime(Demo& demo, float beat) {
    auto sample = std::make_unique<AudioSample>();
    sample->name = "chime.wav";
    sample->audio_buffer.data = wav(tones(1.5, {2000, chime_amplitude}, {2000, chime_amplitude}));
    auto event = std::make_unique<Event>();
    event->name = "chime";
    event->type = Event::type_audio_sample;
    event->audio_sample = sample.get();
    event->start_beat = beat;
    event->end_beat = beat + 1;
    demo.audio_samples.push_back(std::move(sample));
    demo.events.push_back(std::move(event));
}

TEST(Audio, SampleEventDucksTheMusicForTheSampleDuration) {
    TempDir dir;
    auto demo = demo_of_seconds(5);
    demo->music.data = steady_music(5.0);
    add_chime(*demo, 2);

    DiskAudioPlayer player(dir, *demo);
    const std::vector<Frame> out = player.finish();
    const size_t onset = first_sound(out);
    ASSERT_GT(out.size(), onset + static_cast<size_t>(4.7 * rate)) << "the music is missing";
    const std::vector<double> music = left_levels(out, onset, 440);
    const std::vector<double> chime = left_levels(out, onset, 2000);

    // Seconds since the music started. The duck runs from 2 s to 3.5 s by the
    // clock; the file may drift from it by a few blocks and a frame or two.
    struct Stretch {
        const char* name;
        double t0, t1;
        double music_level;
        double chime_level;
    };
    const Stretch stretches[] = {
        {"before", 0.2, 1.7, music_amplitude, 0},
        {"during", 2.35, 3.15, ducked, chime_amplitude},
        {"after", 3.85, 4.6, music_amplitude, 0},
    };
    for (const Stretch& s : stretches) {
        SCOPED_TRACE(s.name);
        const Range m = levels_between(music, s.t0, s.t1);
        EXPECT_NEAR(m.low, s.music_level, s.music_level * 0.01) << describe(music, s.t0, s.t1);
        EXPECT_NEAR(m.high, s.music_level, s.music_level * 0.01) << describe(music, s.t0, s.t1);
        const Range c = levels_between(chime, s.t0, s.t1);
        EXPECT_NEAR(c.low, s.chime_level, 50 + s.chime_level * 0.02) << describe(chime, s.t0, s.t1);
        EXPECT_NEAR(c.high, s.chime_level, 50 + s.chime_level * 0.02) << describe(chime, s.t0, s.t1);
    }

    // Where the duck begins and ends: the first and last window at the ducked
    // level (a window straddling an edge measures in between).
    double first = -1, last = -1;
    for (size_t w = 0; w < music.size() && w * window_seconds < 4.6; ++w) {
        if (std::abs(music[w] - ducked) > ducked * 0.01) continue;
        if (first < 0) first = static_cast<double>(w) * window_seconds;
        last = static_cast<double>(w + 1) * window_seconds;
    }
    EXPECT_NEAR(first, 2.0, 0.25) << describe(music, 1.5, 4.0);
    EXPECT_NEAR(last, 3.5, 0.25) << describe(music, 1.5, 4.0);
}

TEST(Audio, EndsCleanlyWhileASampleStillDucks) {
    TempDir dir;
    auto demo = demo_of_seconds(3);
    demo->music.data = steady_music(4.0);
    add_chime(*demo, 2);

    // The timeline ends at 3 s, inside the duck (2 s to 3.5 s): the chime still
    // sounds and its timer is pending when the player quits SDL. finish()
    // checks the exit status.
    DiskAudioPlayer player(dir, *demo);
    const std::vector<Frame> out = player.finish();
    const size_t onset = first_sound(out);
    ASSERT_GT(out.size(), onset + static_cast<size_t>(2.7 * rate)) << "the output ends early";
    const std::vector<double> music = left_levels(out, onset, 440);
    const std::vector<double> chime = left_levels(out, onset, 2000);
    const Range m = levels_between(music, 2.3, 2.7);
    EXPECT_NEAR(m.low, ducked, ducked * 0.01) << describe(music, 1.5, 3.0);
    EXPECT_NEAR(m.high, ducked, ducked * 0.01) << describe(music, 1.5, 3.0);
    EXPECT_NEAR(levels_between(chime, 2.3, 2.7).low, chime_amplitude, 50 + chime_amplitude * 0.02)
        << describe(chime, 1.5, 3.0);
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

struct ChannelRange {
    double red_low = -1, red_high = -1, green_low = -1, green_high = -1;
    int width = 0, height = 0;
};

std::string command_output(const std::string& cmd) {
    std::string result;
    if (FILE* f = ::popen(cmd.c_str(), "r")) {
        char buf[256];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) result.append(buf, n);
        ::pclose(f);
    }
    return result;
}

// The lowest and highest red and green (0 ... 255) over the player's window.
ChannelRange window_colours(const TempDir& dir) {
    const std::string shot = (dir / "window.png").string();
    const std::string id = command_output("xdotool search --name '" + window_title +
                                          "' 2>/dev/null | head -n 1");
    if (id.empty()) return ChannelRange{};
    command_output("import -window " + id.substr(0, id.find('\n')) + " " + shot + " 2>/dev/null");
    const std::string stats = command_output(
        "convert " + shot + " -format '%[fx:minima.r*255] %[fx:maxima.r*255] "
        "%[fx:minima.g*255] %[fx:maxima.g*255] %w %h' info: 2>/dev/null");
    ChannelRange c;
    if (std::sscanf(stats.c_str(), "%lf %lf %lf %lf %d %d", &c.red_low, &c.red_high, &c.green_low,
                    &c.green_high, &c.width, &c.height) != 6)
        return ChannelRange{};
    return c;
}

// Only the music registers the analysis: a sample in a demo without music is
// heard but never reaches the sound texture or the level.
struct SoundScreenRow {
    const char* name;
    bool loud_music;
    bool chime;          // a 1.5 s sample from beat 0.5
    bool probe_hears;    // red (something analysed) or green (all zero)
    double min_seconds;  // of sound in the written output
    double max_seconds;
};

void PrintTo(const SoundScreenRow& row, std::ostream* os) { *os << row.name; }

class SoundOnScreen : public testing::TestWithParam<SoundScreenRow> {};

TEST_P(SoundOnScreen, ProbeShowsWhetherAnythingWasAnalysed) {
    const SoundScreenRow& row = GetParam();
    TempDir dir;
    auto demo = demo_of_seconds(3);
    if (row.loud_music) demo->music.data = wav(tones(3.0, {440, 20000}, {440, 20000}));
    if (row.chime) add_chime(*demo, 0.5f);
    auto program = std::make_unique<ShaderProgram>();
    program->fragment_shader_filename = "resources/sound_probe.frag";
    program->fragment_shader_source = sound_probe_shader;
    auto effect = std::make_unique<Effect>();
    effect->name = "probe";
    effect->program = program.get();
    auto event = std::make_unique<Event>();
    event->name = "probe";
    event->type = Event::type_effect;
    event->effect = effect.get();
    event->start_beat = 0;
    event->end_beat = 3;
    demo->shaders.push_back(std::move(program));
    demo->effects.push_back(std::move(effect));
    demo->events.push_back(std::move(event));

    DiskAudioPlayer player(dir, *demo);
    ASSERT_TRUE(wait_for_window(window_title, 20s)) << player.process().out();
    std::this_thread::sleep_for(1500ms);  // loaded, and well into the timeline (and the chime)
    const ChannelRange c = window_colours(dir);
    const std::vector<Frame> out = player.finish();

    ASSERT_GE(c.red_low, 0) << "no screenshot";
    EXPECT_EQ(c.width * 9 / 16, c.height) << "not the player's window";
    const std::string seen = "red " + std::to_string(c.red_low) + "..." + std::to_string(c.red_high) +
                             ", green " + std::to_string(c.green_low) + "..." +
                             std::to_string(c.green_high) + "\n" + player.process().out();
    if (row.probe_hears) {
        EXPECT_GT(c.red_low, 200) << "some pixel saw no sound: " << seen;
        EXPECT_LT(c.green_high, 50) << seen;
    } else {
        EXPECT_LT(c.red_high, 50) << "some pixel saw sound: " << seen;
        EXPECT_GT(c.green_low, 200) << "the probe did not cover the window: " << seen;
    }

    ASSERT_GT(out.size(), static_cast<size_t>(rate)) << "the device wrote less than a second";
    const auto sounding = static_cast<double>(out.size() - static_cast<size_t>(std::count_if(
                                                               out.begin(), out.end(), silent))) / rate;
    EXPECT_GE(sounding, row.min_seconds);
    EXPECT_LE(sounding, row.max_seconds);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, SoundOnScreen,
    testing::Values(SoundScreenRow{"WithoutMusic", false, false, false, 0, 0},
                    SoundScreenRow{"WithoutMusicButASample", false, true, false, 1.45, 1.5},
                    SoundScreenRow{"WithLoudMusic", true, false, true, 2.5, 3.0}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qh::e2e
