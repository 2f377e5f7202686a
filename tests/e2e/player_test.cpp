// The player run as a user runs it: its exit status, its report files and its
// window, under the test run's X display.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "e2e/e2e_support.h"

namespace qh::e2e {
namespace {

using namespace std::chrono_literals;

const std::vector<std::string> audio_env = {"SDL_AUDIODRIVER=dummy"};

// An empty document in the package's binary layout: no records, no music,
// then the three tempo floats.
std::vector<uint8_t> empty_document(float end_beat, float bpm = 130.0f, float offset = 0.5f) {
    std::vector<uint8_t> out(8 * 13, 0);  // resource_count, eleven table counts, music length
    for (float f : {end_beat, bpm, offset}) {
        uint8_t b[4];
        std::memcpy(b, &f, 4);
        out.insert(out.end(), b, b + 4);
    }
    return out;
}

TEST(Player, PlainBuildWritesErrorLogAndExitsWithOne) {
    TempDir dir;
    std::filesystem::copy_file(player_path(), dir / "plain");
    const int status = run({(dir / "plain").string()}, dir.path(), 30s, audio_env);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(read_file(dir / "error.log"),
              "Cannot find DEMO in executable. Please follow the instructions in Quillharbor.\n");
    EXPECT_FALSE(std::filesystem::exists(dir / "crash.txt"));
}

TEST(Player, TrailerAnnouncingMoreThanTheFileEndsWithCrashReport) {
    TempDir dir;
    std::string exe = read_file(player_path());
    exe += std::string("\xff\xff\xff\x7f", 4) + "DEMO";  // a payload of 2 GiB that is not there
    write_file(dir / "broken", std::vector<uint8_t>(exe.begin(), exe.end()));
    std::filesystem::permissions(dir / "broken", std::filesystem::perms::owner_all);
    const int status = run({(dir / "broken").string()}, dir.path(), 30s, audio_env);
    EXPECT_EQ(status, 1);
    EXPECT_NE(read_file(dir / "crash.txt").find("Fatal error: "), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir / "error.log"));
}

TEST(Player, TruncatedPayloadEndsWithCrashReport) {
    TempDir dir;
    std::vector<uint8_t> payload = empty_document(480.0f);
    payload.resize(payload.size() - 6);  // cut inside the tempo floats
    const auto exe = make_player(dir, payload);
    const int status = run({exe.string()}, dir.path(), 30s, audio_env);
    EXPECT_EQ(status, 1);
    const std::string crash = read_file(dir / "crash.txt");
    EXPECT_NE(crash.find("truncated payload"), std::string::npos) << crash;
    EXPECT_NE(crash.rfind("\nExiting."), std::string::npos);
}

TEST(Player, ShowsBlackWindowAndEndsWhenEscapeIsReleased) {
    TempDir dir;
    const auto exe = make_player(dir, empty_document(20000.0f));  // never ends by itself
    Process player({exe.string()}, dir.path(), audio_env);
    ASSERT_TRUE(wait_for_window(player_window_title(), 20s)) << player.out() << player.err();
    std::this_thread::sleep_for(500ms);
    EXPECT_FALSE(player.wait(0ms)) << "the player ended before any key was sent";
    const Rgb centre = screen_pixel(dir, 640, 360);
    EXPECT_EQ(centre.r, 0);
    EXPECT_EQ(centre.g, 0);
    EXPECT_EQ(centre.b, 0);
    send_key("Escape");
    ASSERT_TRUE(player.wait(10s)) << "Escape did not end the player";
    EXPECT_EQ(player.exit_status(), 0) << player.out();
    EXPECT_NE(player.out().find("OpenGL version: "), std::string::npos);
}

TEST(Player, EndsByItselfAfterTheEndBeat) {
    TempDir dir;
    // 600 bpm: beat 10 (plus the 0.5 offset) falls 1.05 s after the start.
    const auto exe = make_player(dir, empty_document(10.0f, 600.0f, 0.5f));
    Process player({exe.string()}, dir.path(), audio_env);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(player.wait(20s)) << "the player did not end after its end beat";
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(player.exit_status(), 0) << player.out();
    EXPECT_GE(took, 1050ms);
}

}  // namespace
}  // namespace qh::e2e
