// The packed player heard through the sound servers desktops run, started
// as a user starts it, with SDL_AUDIODRIVER unset: SDL takes the first back
// end that answers. Each row starts a server of its own with one null sink,
// records the sink's monitor while a demo whose music is a known pair of
// tones plays, and looks for the music in the recording.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "document/demo_io.h"
#include "document/demo_tables.h"
#include "e2e/e2e_support.h"
#include "e2e/sound_server.h"
#include "support/tree_paths.h"
#include "support/wav.h"

namespace qh::e2e {
namespace {

using namespace std::chrono_literals;
using test::Channel;
using test::Tone;

constexpr int rate = SoundServer::rate;
constexpr Tone left_tone{440, 8000};
constexpr Tone right_tone{660, 8000};
constexpr double music_seconds = 3;

// 50 ms, a whole number of cycles of both tones, so either measures 0 in a
// window the other fills; one every 10 ms.
constexpr size_t window = rate / 20;
constexpr size_t step = rate / 100;

// The music, as it was packed, in the window from `at`: each tone on its
// own side at its own level. A wrong rate shifts the tones off their
// frequencies, a wrong volume or channel order off their levels.
bool music_at(const std::vector<Frame>& heard, size_t at) {
    auto level = [&](const Tone& tone, Channel side) {
        return test::tone_level(heard, at, window, tone.hz, rate, side);
    };
    auto near = [](double measured, double amplitude) { return std::abs(measured - amplitude) < amplitude * 0.1; };
    return near(level(left_tone, Channel::left), left_tone.amplitude) &&
           near(level(right_tone, Channel::right), right_tone.amplitude) &&
           level(right_tone, Channel::left) < left_tone.amplitude * 0.1 &&
           level(left_tone, Channel::right) < right_tone.amplitude * 0.1;
}

struct ServerRow {
    const char* name;
    SoundStack stack;
};

void PrintTo(const ServerRow& row, std::ostream* os) { *os << row.name; }

class SoundServers : public testing::TestWithParam<ServerRow> {};

TEST_P(SoundServers, PackedDemoIsHeard) {
    TempDir dir;
    SoundServer server(GetParam().stack, dir);
    if (!server.failure().empty()) GTEST_SKIP() << server.failure();
    XServer x;

    // Music for three seconds, and the timeline a second longer (60 bpm).
    Demo demo;
    demo.bpm = 60;
    demo.beat_offset = 0;
    demo.end_beat = static_cast<float>(music_seconds + 1);
    demo.music.data = test::wav_file(test::tones(music_seconds, rate, left_tone, right_tone));
    const auto exe = make_player(dir, write_demo_payload(demo));

    ASSERT_TRUE(server.start_recording(dir / "heard.wav")) << "the sink's monitor could not be recorded";
    std::vector<std::string> env = server.client_env();
    env.insert(env.end(), {x.env(), "SDL_AUDIODRIVER"});
    Process player({exe.string()}, dir.path(), env);
    ASSERT_TRUE(player.wait(120s)) << "the player did not end after its end beat";
    EXPECT_EQ(player.exit_status(), 0) << player.out() << player.err();
    server.stop_recording(500ms);

    const std::vector<Frame> heard = test::wav_frames(read_file(dir / "heard.wav"));
    size_t music_windows = 0;
    for (size_t at = 0; at + window <= heard.size(); at += step) music_windows += music_at(heard, at);
    const double music_heard = static_cast<double>(music_windows * step) / rate;
    // A machine busy with other tests may drop some of the stream's periods
    // on the way: a good part of the music heard intact is enough.
    if (music_heard >= music_seconds / 3) return;
    const auto kept = test::build_dir() / "tests/sound-server-failures" / (std::string(GetParam().name) + ".wav");
    std::filesystem::create_directories(kept.parent_path());
    std::filesystem::copy_file(dir / "heard.wav", kept, std::filesystem::copy_options::overwrite_existing);
    ADD_FAILURE() << "heard " << music_heard << " s of the music in " << static_cast<double>(heard.size()) / rate
                  << " s recorded (kept in " << kept.string() << "); the player said:\n"
                  << player.out() << player.err();
}

INSTANTIATE_TEST_SUITE_P(Rows, SoundServers,
                         testing::Values(ServerRow{"PulseAudioNullSink", SoundStack::pulseaudio},
                                         ServerRow{"PipeWireWithoutPulseBridge", SoundStack::pipewire},
                                         ServerRow{"PipeWireWithPulseBridge", SoundStack::pipewire_pulse}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qh::e2e
