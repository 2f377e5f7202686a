#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <cmath>

#include "app/fatal_report.h"
#include "core/runtime.h"
#include "document/demo.h"
#include "package/errors.h"
#include "support/scoped_env.h"
#include "support/scratch_dir.h"

namespace qh {
namespace {

TEST(ScreenSize, SixteenByNineFromDesktopWidthOnly) {
    struct Row { int32_t desktop; int32_t height; };
    for (Row r : {Row{2560, 1440}, Row{1366, 768}, Row{1920, 1080}, Row{1280, 720}, Row{1, 0}}) {
        const ScreenSize s = ScreenSize::from_desktop_width(r.desktop);
        EXPECT_EQ(s.width, r.desktop);
        EXPECT_EQ(s.render_width, r.desktop);
        EXPECT_EQ(s.height, r.height) << r.desktop;
        EXPECT_EQ(s.render_height, r.height) << r.desktop;
    }
}

TEST(BeatClock, DefaultTempoEndsJustAfter221769Milliseconds) {
    // A new document holds the default tempo: 130 bpm, offset 0.5, end beat
    // 480, so (480 + 0.5) * 60000 / 130 = 221769.2 ms.
    const Demo d;
    EXPECT_EQ(d.bpm, 130.0f);
    EXPECT_EQ(d.beat_offset, 0.5f);
    EXPECT_EQ(d.end_beat, 480.0f);
    EXPECT_FLOAT_EQ(beat_at(0, d.bpm, d.beat_offset), -0.5f);
    EXPECT_LT(beat_at(221769, d.bpm, d.beat_offset), d.end_beat);
    EXPECT_FALSE(timeline_ended(beat_at(221769, d.bpm, d.beat_offset), d.end_beat));
    EXPECT_TRUE(timeline_ended(beat_at(221770, d.bpm, d.beat_offset), d.end_beat));
}

TEST(BeatClock, EndBeatsOfTenThousandOrMoreNeverEnd) {
    EXPECT_FALSE(timeline_ended(20000.0f, 10000.0f));
    EXPECT_FALSE(timeline_ended(10000.0f, 9999.0f));  // the beat itself must stay below 10000
    EXPECT_TRUE(timeline_ended(9999.5f, 9999.0f));
    // A clock that wrapped around after 49 days still yields a finite beat.
    EXPECT_TRUE(std::isfinite(beat_at(0xFFFFFFFFu, 130.0f, 0.5f)));
}

class FatalReport : public ::testing::Test {
protected:
    void SetUp() override {
        old_ = std::filesystem::current_path();
        dir_ = scratch_.path();
        std::filesystem::current_path(dir_);
    }
    void TearDown() override {
        std::filesystem::current_path(old_);
    }
    static std::string slurp(const std::filesystem::path& p) {
        std::ifstream in(p, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    test::ScratchDir scratch_{"qh-fatal"};
    std::filesystem::path old_, dir_;
};

TEST_F(FatalReport, CrashFileHoldsMessageAndEndsThePlayer) {
    EXPECT_THROW(report_fatal_error("File not found: x.png"), FatalExit);
    EXPECT_EQ(slurp(dir_ / "crash.txt"), "Fatal error: File not found: x.png\nExiting.");
    EXPECT_FALSE(std::filesystem::exists(dir_ / "error.log"));
}

TEST_F(FatalReport, LongPathIsCutAfter239Characters) {
    const std::string path(300, 'p');
    const ResourceFileError err(path);
    EXPECT_EQ(std::string(err.what()), "File not found: " + std::string(239, 'p'));
    EXPECT_THROW(report_fatal_error(err.what()), FatalExit);
    EXPECT_EQ(slurp(dir_ / "crash.txt"),
              "Fatal error: File not found: " + std::string(239, 'p') + "\nExiting.");
}

TEST_F(FatalReport, MissingPackageWritesErrorLogOnly) {
    EXPECT_THROW(report_missing_package(), FatalExit);
    EXPECT_EQ(slurp(dir_ / "error.log"),
              "Cannot find DEMO in executable. Please follow the instructions in Quillharbor.\n");
    EXPECT_FALSE(std::filesystem::exists(dir_ / "crash.txt"));
}

// Where the working folder cannot take a report (read-only media), it goes
// into the temporary folder, and standard output says where.
TEST_F(FatalReport, UnwritableDirectoryPutsTheReportInTheTemporaryFolder) {
    const struct {
        void (*report)();
        const char* file;
        std::string text;
    } rows[] = {
        {[] { report_fatal_error("boom"); }, "crash.txt", "Fatal error: boom\nExiting."},
        {[] { report_missing_package(); }, "error.log",
         "Cannot find DEMO in executable. Please follow the instructions in Quillharbor.\n"},
    };
    // Root may write anywhere on disk, so use a directory no one can create files in.
    std::filesystem::current_path("/proc");
    const test::ScopedEnv tmpdir("TMPDIR", dir_.string());
    for (const auto& row : rows) {
        SCOPED_TRACE(row.file);
        ::testing::internal::CaptureStdout();
        EXPECT_THROW(row.report(), FatalExit);
        const std::string out = ::testing::internal::GetCapturedStdout();
        EXPECT_NE(out.find("Error opening file!"), std::string::npos) << out;
        EXPECT_NE(out.find("the report is in " + (dir_ / row.file).string() + "\n"), std::string::npos) << out;
        EXPECT_EQ(slurp(dir_ / row.file), row.text);
    }
}

}  // namespace
}  // namespace qh
