#pragma once
// A sound server of one test's own, started as a desktop session runs it: in
// a D-Bus session of its own, with its runtime, configuration and state
// folders in the test's folder, and one sink that plays nowhere, whose
// monitor a recorder reads. Nothing else on the machine (a desktop's own
// server, its sound card) is seen by it or by its clients.
//
//   SoundServer server(SoundStack::pipewire, dir);
//   if (!server.failure().empty()) GTEST_SKIP() << server.failure();
//   ASSERT_TRUE(server.start_recording(dir / "heard.wav"));
//   Process client({exe}, dir.path(), server.client_env());
//   ... client.wait(...);
//   server.stop_recording(500ms);  // then test::wav_frames(read_file(dir / "heard.wav"))
//
// Everything it started ends, by process id, with the object.
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "e2e/e2e_support.h"

namespace qh::e2e {

enum class SoundStack {
    pulseaudio,      // PulseAudio alone
    pipewire,        // PipeWire and its session manager, without the PulseAudio bridge
    pipewire_pulse,  // PipeWire, its session manager and pipewire-pulse, its PulseAudio server
};

class SoundServer {
public:
    static constexpr int rate = 44100;  // of the recording

    SoundServer(SoundStack stack, const TempDir& dir);
    ~SoundServer();
    SoundServer(const SoundServer&) = delete;
    SoundServer& operator=(const SoundServer&) = delete;

    // Why it could not be started, in one line; empty when it runs.
    const std::string& failure() const { return failure_; }

    // The environment entries (as Process takes them) that make a child a
    // client of this server and of no other.
    const std::vector<std::string>& client_env() const { return env_; }

    // Records the sink's monitor into `wav`, 16-bit stereo, until
    // stop_recording; false when the recorder wrote nothing in time.
    bool start_recording(const std::filesystem::path& wav);
    // Lets the recording grow by `more` (what was played last reaches the
    // monitor), then ends it.
    void stop_recording(std::chrono::milliseconds more);

private:
    // Starts `program` (looked up in PATH) and waits until `ready`; false,
    // with failure() saying why, when it is missing, ends or never is.
    bool start(const std::string& program, std::vector<std::string> args, const std::function<bool()>& ready);

    std::filesystem::path root_;
    SoundStack stack_;
    std::vector<std::string> env_;
    std::vector<std::unique_ptr<Process>> running_;  // in the order started
    std::unique_ptr<Process> recorder_;
    std::filesystem::path recording_;
    std::string failure_;
};

}  // namespace qh::e2e
