// Damaged packages through the player as a user runs it: each cut or
// flipped package either plays to its end (status 0) or ends with the fatal
// report and status 1, never a signal or a hang. The in-process sweep
// (tests/gl) covers many more damages; this one adds the process around
// them: the trailer, the report files and the exit status.
#include <gtest/gtest.h>

#include <random>

#include "e2e/e2e_support.h"
#include "support/sample_demo.h"

namespace qh::e2e {
namespace {

using namespace std::chrono_literals;

TEST(PlayerSweep, DamagedPackagesPlayOrEndWithTheFatalReport) {
    // Four beats at 140 bpm: a package that reads plays for under two seconds.
    const std::vector<uint8_t> payload = test::sweep_payload(4.0f);
    struct Damage {
        std::string what;
        std::vector<uint8_t> payload;
    };
    std::vector<Damage> damages;
    for (int i = 1; i <= 8; ++i) {
        const size_t n = i * payload.size() / 9;
        damages.push_back({"cut at " + std::to_string(n), {payload.begin(), payload.begin() + n}});
    }
    std::mt19937 random(20261208);
    std::uniform_int_distribution<size_t> bit(0, payload.size() * 8 - 1);
    for (int i = 0; i < 8; ++i) {
        const size_t b = bit(random);
        Damage d{"bit " + std::to_string(b) + " flipped", payload};
        d.payload[b / 8] ^= uint8_t(1u << (b % 8));
        damages.push_back(std::move(d));
    }

    TempDir dir;
    XServer x;
    int played = 0, refused = 0;
    for (size_t i = 0; i < damages.size(); ++i) {
        const Damage& d = damages[i];
        SCOPED_TRACE(d.what);
        const auto cwd = dir / std::to_string(i);
        std::filesystem::create_directory(cwd);
        const auto exe = make_player(dir, d.payload, std::to_string(i) + "/demo");
        Process player({exe.string()}, cwd, {"SDL_AUDIODRIVER=dummy", x.env()});
        ASSERT_TRUE(player.wait(180s)) << "the player hangs";
        const int status = player.exit_status();
        ASSERT_TRUE(status == 0 || status == 1) << "status " << status << "\n" << player.err();
        if (status == 0) {
            ++played;
            EXPECT_FALSE(std::filesystem::exists(cwd / "crash.txt"));
        } else {
            ++refused;
            const std::string report = read_file(cwd / "crash.txt");
            EXPECT_EQ(report.rfind("Fatal error: ", 0), 0u) << report;
        }
    }
    EXPECT_GT(played, 0);
    EXPECT_GT(refused, 0);
    std::printf("player sweep: %d played, %d refused\n", played, refused);
}

}  // namespace
}  // namespace qh::e2e
