// quill render as a demo maker runs it: the same range twice gives the same
// files, a range rendered in two parts gives the frames of one render, and
// the video holds every frame with its sound in step.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <csignal>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "audio/audio_sample.h"
#include "document/demo_io.h"
#include "document/demo_tables.h"
#include "e2e/e2e_support.h"
#include "support/sample_demo.h"
#include "support/tree_paths.h"
#include "support/wav.h"

namespace qh::e2e {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const fs::path showcase = test::source_dir() / "examples/showcase/project.json";

// Every file of a render folder, by name.
std::map<std::string, std::string> files_of(const fs::path& dir) {
    std::map<std::string, std::string> out;
    for (const auto& f : fs::directory_iterator(dir)) out[f.path().filename().string()] = read_file(f.path());
    return out;
}

QuillRun render(const TempDir& dir, const std::string& out, std::vector<std::string> more) {
    std::vector<std::string> args = {"render", showcase.string(), "-o", (dir / out).string(), "--size", "96x54",
                                     "--fps", "10"};
    args.insert(args.end(), more.begin(), more.end());
    return quill(dir, args);
}

// The trails section: a feedback effect, the sound texture, a sample event
// at its first beat. 31.5 s to 33.5 s, in one render, again, and in two parts.
TEST(Render, SameRangeGivesSameFilesAndPartsJoinWithoutGapOrRepeat) {
    TempDir dir;
    for (const auto& [out, from, to] : {std::tuple{"one", "31.5", "33.5"}, {"again", "31.5", "33.5"},
                                        {"first", "31.5", "32.5"}, {"second", "32.5", "33.5"}}) {
        const QuillRun r = render(dir, out, {"--from", from, "--to", to});
        ASSERT_EQ(r.status, 0) << out << ": " << r.out << r.err;
    }
    const auto one = files_of(dir / "one");
    EXPECT_EQ(one.size(), 21u);  // frames 315 to 334 and the sound
    EXPECT_TRUE(one.count("frame-000315.png") && one.count("frame-000334.png") && one.count("sound.wav"));
    EXPECT_TRUE(one == files_of(dir / "again")) << "two renders of one range differ";

    auto parts = files_of(dir / "first");
    const auto second = files_of(dir / "second");
    parts.erase("sound.wav");
    for (const auto& [name, bytes] : second) {
        if (name == "sound.wav") continue;
        EXPECT_TRUE(parts.emplace(name, bytes).second) << name << " is in both parts";
    }
    auto whole = one;
    whole.erase("sound.wav");
    EXPECT_EQ(parts.size(), whole.size());
    for (const auto& [name, bytes] : whole) {
        EXPECT_TRUE(parts.count(name) && parts.at(name) == bytes) << name << " differs between the parts and the whole";
    }
    // The sound of the parts joins into the sound of the whole.
    const std::string joined = read_file(dir / "first/sound.wav").substr(44) + read_file(dir / "second/sound.wav").substr(44);
    EXPECT_EQ(joined, one.at("sound.wav").substr(44));
}

// 60 bpm: a tone from 0 to 0.2 s and again from 1 s to 1.2 s; the picture is
// white from beat 1 to 1.2, black otherwise. A chime sample from
// `chime_beat` when it is not negative.
std::vector<uint8_t> beeps_payload(float chime_beat = -1) {
    constexpr int rate = 44100;
    std::vector<int16_t> pcm(static_cast<size_t>(2 * rate) * 2, 0);
    for (int f = 0; f < 2 * rate; ++f) {
        const double t = double(f) / rate;
        if (t < 0.2 || (t >= 1.0 && t < 1.2)) {
            const auto v = static_cast<int16_t>(12000 * std::sin(2 * M_PI * 441.0 * t));
            pcm[size_t(f) * 2] = pcm[size_t(f) * 2 + 1] = v;
        }
    }

    Demo d;
    d.bpm = 60;
    d.beat_offset = 0;
    d.end_beat = 2;
    d.music = ByteBuffer(test::wav_file(pcm, 2));
    test::add_effect_event(d, "flash",
                           "#version 150\nuniform float beat;\nout vec4 fragColor;\n"
                           "void main() { fragColor = beat >= 1.0 && beat < 1.2 ? vec4(1.0) : vec4(0.0, 0.0, 0.0, 1.0); }\n",
                           0, 2);
    if (chime_beat >= 0) {
        auto chime = std::make_unique<AudioSample>();
        chime->name = "chime.wav";
        chime->audio_buffer.data = test::wav_file(std::vector<int16_t>(4000, 9000), 2);
        auto event = std::make_unique<Event>();
        event->type = Event::type_audio_sample;
        event->audio_sample = chime.get();
        event->start_beat = chime_beat;
        event->end_beat = chime_beat + 1;
        d.audio_samples.push_back(std::move(chime));
        d.events.push_back(std::move(event));
    }
    return write_demo_payload(d);
}

// A program found on the PATH, run to its end; what it printed.
std::string command_output(const TempDir& dir, std::vector<std::string> argv) {
    argv.insert(argv.begin(), "/usr/bin/env");
    std::string out, err;
    const int status = run(argv, dir.path(), 120s, {}, &out, &err);
    EXPECT_EQ(status, 0) << argv[1] << ": " << err;
    return out;
}

// The video holds every frame, and its sound starts with the music's first
// samples and stays within a frame of the picture.
TEST(Render, VideoHoldsEveryFrameWithItsSoundInStep) {
    TempDir dir;
    const fs::path demo = make_player(dir, beeps_payload());
    const fs::path video = dir / "beeps.mp4";
    const QuillRun r = quill(dir, {"render", demo.string(), "-o", (dir / "frames").string(), "--size", "64x36",
                                   "--fps", "25", "--video", video.string()});
    ASSERT_EQ(r.status, 0) << r.out << r.err;

    // The player ends once the beat passes 2: frames 0 to 50 (at 2 s exactly).
    const std::string probe = command_output(
        dir, {"ffprobe", "-v", "error", "-count_frames", "-select_streams", "v:0", "-show_entries",
              "stream=nb_read_frames:format=duration", "-of", "default=noprint_wrappers=1", video.string()});
    EXPECT_NE(probe.find("nb_read_frames=51"), std::string::npos) << probe;
    const double duration = std::stod(probe.substr(probe.find("duration=") + 9));
    EXPECT_NEAR(duration, 51.0 / 25.0, 1.0 / 25.0) << probe;

    const std::string grey = command_output(dir, {"ffmpeg", "-v", "error", "-i", video.string(), "-f", "rawvideo",
                                                  "-pix_fmt", "gray", "-"});
    const size_t frame_bytes = 64 * 36;
    ASSERT_EQ(grey.size(), 51 * frame_bytes);
    int first_white = -1;
    for (int k = 0; k < 51 && first_white < 0; ++k) {
        if (uint8_t(grey[size_t(k) * frame_bytes + frame_bytes / 2]) > 200) first_white = k;
    }
    EXPECT_EQ(first_white, 25) << "the flash shows at frame 25 (1 s)";

    const std::string sound = command_output(
        dir, {"ffmpeg", "-v", "error", "-i", video.string(), "-f", "s16le", "-ac", "1", "-ar", "44100", "-"});
    auto loud_from = [&](size_t from_frame) {
        for (size_t f = from_frame; f + 1 < sound.size() / 2; ++f) {
            const auto v = int16_t(uint8_t(sound[2 * f]) | uint8_t(sound[2 * f + 1]) << 8);
            if (std::abs(v) > 3000) return long(f);
        }
        return -1L;
    };
    const long frame_samples = 44100 / 25;
    const long first = loud_from(0);
    ASSERT_GE(first, 0) << "no sound in the video";
    EXPECT_LT(first, frame_samples) << "the sound does not start with the music";
    const long second = loud_from(size_t(0.6 * 44100));  // after the first tone
    EXPECT_NEAR(double(second), 44100.0, double(frame_samples)) << "the second tone is out of step";

    // Without frame files, the frames that reach ffmpeg are the same.
    const fs::path bare = dir / "bare.mp4";
    const QuillRun b = quill(dir, {"render", demo.string(), "-o", (dir / "bare").string(), "--size", "64x36",
                                   "--fps", "25", "--video", bare.string(), "--no-frames"});
    ASSERT_EQ(b.status, 0) << b.err;
    EXPECT_EQ(files_of(dir / "bare").size(), 1u) << "a frame file written with --no-frames";
    EXPECT_TRUE(command_output(dir, {"ffmpeg", "-v", "error", "-i", bare.string(), "-f", "framemd5", "-"}) ==
                command_output(dir, {"ffmpeg", "-v", "error", "-i", video.string(), "-f", "framemd5", "-"}));
}

// Ctrl-C while rendering: the run stops with 130, every frame file written
// is a whole PNG, and the video holds exactly those frames.
TEST(Render, CtrlCKeepsTheFramesWrittenAndClosesTheVideo) {
    TempDir dir;
    const fs::path frames = dir / "frames", video = dir / "part.mp4";
    Process quill_render({quill_path().string(), "render", showcase.string(), "-o", frames.string(), "--size",
                          "160x90", "--fps", "30", "--video", video.string()},
                         dir.path());
    auto count_frames = [&] {
        size_t n = 0;
        std::error_code ec;
        for (const auto& f : fs::directory_iterator(frames, ec)) n += f.path().extension() == ".png";
        return n;
    };
    // Wait for some frames (a guard against a hung render, not a time limit).
    for (int i = 0; i < 6000 && count_frames() < 10 && !quill_render.wait(0ms); ++i) std::this_thread::sleep_for(10ms);
    ASSERT_GE(count_frames(), 10u) << quill_render.err();
    quill_render.send(SIGINT);
    ASSERT_TRUE(quill_render.wait(120s)) << "Ctrl-C did not stop the render";
    EXPECT_EQ(quill_render.exit_status(), 130) << quill_render.err();
    EXPECT_NE(quill_render.err().find("stopped by Ctrl-C"), std::string::npos) << quill_render.err();

    const size_t written = count_frames();
    EXPECT_LT(written, 1900u) << "the render ran to its end";
    for (const auto& f : fs::directory_iterator(frames)) {
        EXPECT_NE(f.path().extension(), ".part") << "a frame left half written";
        if (f.path().extension() != ".png") continue;
        const std::string png = read_file(f.path());
        EXPECT_EQ(png.substr(1, 3), "PNG") << f.path();
        EXPECT_EQ(png.substr(png.size() - 8, 4), "IEND") << f.path() << " is cut short";
    }
    const std::string probe = command_output(
        dir, {"ffprobe", "-v", "error", "-count_frames", "-select_streams", "v:0", "-show_entries",
              "stream=nb_read_frames", "-of", "default=noprint_wrappers=1", video.string()});
    EXPECT_EQ(probe, "nb_read_frames=" + std::to_string(written) + "\n");
}

// Three segments rendered by three runs are the whole render: its frame
// files, its sound sample for sample, and joined, its video. At 6 fps frames
// do not start on whole milliseconds; the chime at beat 0.6 starts with frame
// 4, 30 sound frames before the second segment's sound begins.
TEST(Render, SegmentsRenderedApartAreTheWholeRenderAndJoinIntoItsVideo) {
    TempDir dir;
    const fs::path demo = make_player(dir, beeps_payload(0.6f));
    const bool ffmpeg = run({"/usr/bin/env", "ffmpeg", "-version"}, dir.path()) == 0;
    auto render_to = [&](const std::string& out, std::vector<std::string> args) {
        args.insert(args.begin(), {"render", demo.string(), "-o", (dir / out).string(), "--size", "64x36", "--fps", "6"});
        if (ffmpeg) args.insert(args.end(), {"--video", (dir / out / "video.mp4").string()});
        const QuillRun r = quill(dir, args);
        EXPECT_EQ(r.status, 0) << out << ": " << r.err;
        auto files = files_of(dir / out);
        files.erase("video.mp4");
        files.erase("segment.json");
        return files;
    };
    auto whole = render_to("whole", {});
    std::map<std::string, std::string> frames;
    std::string sound;
    for (const std::string k : {"1", "2", "3"}) {
        auto part = render_to("part" + k, {"--segment", k + "/3"});
        sound += part["sound.wav"].substr(std::min<size_t>(44, part["sound.wav"].size()));
        part.erase("sound.wav");
        for (const auto& [name, bytes] : part) EXPECT_TRUE(frames.emplace(name, bytes).second) << name << " twice";
    }
    EXPECT_TRUE(sound == whole["sound.wav"].substr(44)) << "the segments' sound is not the whole's";
    whole.erase("sound.wav");
    EXPECT_EQ(whole.size(), 13u);
    EXPECT_TRUE(frames == whole) << "the segments' frames are not the whole's";

    if (!ffmpeg) GTEST_SKIP() << "no ffmpeg: the joined video is not checked";
    const QuillRun j = quill(dir, {"join", (dir / "part3").string(), (dir / "part1").string(),
                                   (dir / "part2").string(), "-o", (dir / "joined.mp4").string()});
    ASSERT_EQ(j.status, 0) << j.err;
    // A video's frame times and sizes, and its pictures' hashes, decoded.
    auto frames_of_video = [&](const std::string& video) {
        std::pair<std::string, std::string> times_and_hashes;
        std::istringstream lines(command_output(
            dir, {"ffmpeg", "-v", "error", "-i", (dir / video).string(), "-map", "0:v", "-f", "framemd5", "-"}));
        for (std::string line; std::getline(lines, line);) {
            if (line.empty() || line[0] == '#') continue;
            times_and_hashes.first += line.substr(0, line.rfind(',')) + "\n";
            times_and_hashes.second += line.substr(line.rfind(',')) + "\n";
        }
        return times_and_hashes;
    };
    // The pictures are the parts' as they were encoded (an encode of the whole
    // differs wherever a part starts), at the whole's times.
    const auto joined = frames_of_video("joined.mp4");
    EXPECT_EQ(joined.first, frames_of_video("whole/video.mp4").first);
    EXPECT_EQ(joined.second, frames_of_video("part1/video.mp4").second + frames_of_video("part2/video.mp4").second +
                                 frames_of_video("part3/video.mp4").second);
    auto sound_of_video = [&](const std::string& video) {
        return command_output(dir, {"ffmpeg", "-v", "error", "-i", (dir / video).string(), "-f", "s16le", "-"});
    };
    EXPECT_TRUE(sound_of_video("joined.mp4") == sound_of_video("whole/video.mp4")) << "the joined sound differs";
}

// Parts that do not make one render are refused by name, and no video is
// written. Each part is two segments' record, a stand-in video and the sound
// of its frames at 10 fps (4410 sound frames a picture).
TEST(Join, RefusesPartsThatDoNotFitTogether) {
    struct Part {
        int segment, first, last, fps, width;
        int sound_frames = -1;  // -1: the length its frames have
    };
    const Part one{1, 0, 9, 10, 64}, two{2, 10, 19, 10, 64};
    const struct {
        const char* name;
        std::vector<Part> parts;
        const char* says;
    } rows[] = {
        {"overlapping", {one, {2, 9, 19, 10, 64}}, "they overlap"},
        {"gapped", {one, {2, 11, 19, 10, 64}}, "frames are missing between them"},
        {"duplicate", {one, one, two}, "are both segment 1/2"},
        {"another fps", {one, {2, 10, 19, 12, 64}}, "12 fps"},
        {"another size", {one, {2, 10, 19, 10, 96}}, "96x36"},
        {"a missing part", {one}, "segment 2/2 is missing"},
        {"sound of another length", {one, {2, 10, 19, 10, 64, 4410 * 10 - 1}}, "holds 44099 sound frames"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        TempDir dir;
        std::vector<std::string> args = {"join"};
        for (size_t i = 0; i < row.parts.size(); ++i) {
            const Part& p = row.parts[i];
            const fs::path part = dir / ("part" + std::to_string(i));
            fs::create_directories(part);
            write_text(part / "segment.json",
                       nlohmann::json{{"segment", p.segment}, {"segments", 2}, {"first_frame", p.first},
                                      {"last_frame", p.last}, {"fps", p.fps}, {"width", p.width}, {"height", 36},
                                      {"video", "video.mp4"}}
                           .dump());
            write_text(part / "video.mp4", "stands in for a video");
            const int frames = p.sound_frames >= 0 ? p.sound_frames
                                                   : (p.last + 1) * 44100 / p.fps - p.first * 44100 / p.fps;
            write_file(part / "sound.wav", test::wav_file(std::vector<int16_t>(2 * frames, 0), 2));
            args.push_back(part.string());
        }
        args.insert(args.end(), {"-o", (dir / "joined.mp4").string()});
        const QuillRun r = quill(dir, args);
        EXPECT_EQ(r.status, 1) << r.err;
        EXPECT_NE(r.err.find(row.says), std::string::npos) << r.err;
        EXPECT_FALSE(fs::exists(dir / "joined.mp4"));
    }
}

TEST(Render, RangesThatCannotBeRenderedAreRefused) {
    TempDir dir;
    const struct {
        std::vector<std::string> args;
        int status;
        const char* says;
    } rows[] = {
        {{"--from", "10", "--to", "10"}, 1, "no frame"},
        {{"--from", "-1"}, 1, "--from"},
        {{"--size", "12by7"}, 2, "--size"},
        {{"--fps", "0"}, 2, "--fps"},
        {{"--size", "95x54", "--video", "x.mp4"}, 2, "even"},
        {{"--segment", "4/3"}, 2, "--segment"},
        {{"--segment", "1/0"}, 2, "--segment"},
        {{"--segment", "1/2", "--from", "3"}, 2, "--from"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.args.front() + " " + row.args.back());
        const QuillRun r = render(dir, "refused", row.args);
        EXPECT_EQ(r.status, row.status) << r.out << r.err;
        EXPECT_NE(r.err.find(row.says), std::string::npos) << r.err;
    }
}

}  // namespace
}  // namespace qh::e2e
