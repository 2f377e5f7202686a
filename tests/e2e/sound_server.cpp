#include "e2e/sound_server.h"

#include <csignal>
#include <cstdlib>
#include <functional>
#include <sstream>
#include <thread>
#include <unistd.h>

namespace qh::e2e {
namespace {

using namespace std::chrono_literals;

// Far beyond what a server needs to answer on a loaded machine.
constexpr auto start_deadline = 60s;

// The program's path as the shell would find it; empty when it is not installed.
std::string find_program(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::istringstream dirs(path ? path : "/usr/bin:/bin");
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        const std::filesystem::path candidate = std::filesystem::path(dir) / name;
        if (::access(candidate.c_str(), X_OK) == 0) return candidate.string();
    }
    return {};
}

bool wait_until(const std::function<bool()>& done, std::chrono::milliseconds timeout, Process* running) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        if (done()) return true;
        if (running && running->wait(0ms)) return false;
        std::this_thread::sleep_for(50ms);
    }
    return done();
}

std::string last_line(const std::string& text) {
    std::string line, last;
    std::istringstream lines(text);
    while (std::getline(lines, line)) {
        if (!line.empty()) last = line;
    }
    return last;
}

void end(Process& p) {
    p.send(SIGTERM);
    if (!p.wait(10s)) p.kill();
}

// One sink that plays nowhere, in PipeWire's own graph.
constexpr const char* pipewire_null_sink = R"(context.objects = [
    { factory = adapter
        args = {
            factory.name     = support.null-audio-sink
            node.name        = "qh-null"
            node.description = "Null sink"
            media.class      = "Audio/Sink"
            audio.position   = "FL,FR"
        }
    }
]
)";

// The session manager leaves the machine's sound cards and cameras alone:
// the null sink is the only device, so the default one.
constexpr const char* wireplumber_no_devices = R"(alsa_monitor.enabled = false
v4l2_monitor.enabled = false
libcamera_monitor.enabled = false
)";

}  // namespace

SoundServer::SoundServer(SoundStack stack, const TempDir& dir) : root_(dir / "sound-server"), stack_(stack) {
    for (const char* sub : {"run", "home", "config/pipewire/pipewire.conf.d", "config/wireplumber/main.lua.d",
                            "state", "probe"}) {
        std::filesystem::create_directories(root_ / sub);
    }
    std::filesystem::permissions(root_ / "run", std::filesystem::perms::owner_all);
    write_text(root_ / "config/pipewire/pipewire.conf.d/qh-null-sink.conf", pipewire_null_sink);
    write_text(root_ / "config/wireplumber/main.lua.d/51-qh-no-devices.lua", wireplumber_no_devices);
    // A client that finds no PulseAudio server would otherwise start one of
    // its own (where it is installed and the user is not root).
    write_text(root_ / "client.conf", "autospawn = no\n");
    const std::string bus = (root_ / "bus").string();
    env_ = {"XDG_RUNTIME_DIR=" + (root_ / "run").string(),
            "HOME=" + (root_ / "home").string(),
            "XDG_CONFIG_HOME=" + (root_ / "config").string(),
            "XDG_STATE_HOME=" + (root_ / "state").string(),
            "DBUS_SESSION_BUS_ADDRESS=unix:path=" + bus,
            "PULSE_CLIENTCONFIG=" + (root_ / "client.conf").string(),
            // Addresses of servers other than this one, taken out.
            "PULSE_SERVER", "PULSE_RUNTIME_PATH", "PULSE_COOKIE", "PIPEWIRE_REMOTE", "PIPEWIRE_RUNTIME_DIR"};

    if (!start("dbus-daemon",
               {"--session", "--nofork", "--nopidfile", "--address=unix:path=" + bus, "--print-address=1"},
               [&] { return std::filesystem::exists(bus); }))
        return;
    const auto answers = [this](std::vector<std::string> probe) {
        return [this, probe] {
            const std::string program = find_program(probe[0]);
            std::vector<std::string> argv = probe;
            argv[0] = program;
            return !program.empty() && run(argv, root_ / "probe", 10s, env_) == 0;
        };
    };
    if (stack_ == SoundStack::pulseaudio) {
        start("pulseaudio",
              {"--daemonize=no", "-n", "--exit-idle-time=-1", "--use-pid-file=no", "--log-target=stderr",
               "--load=module-native-protocol-unix auth-anonymous=1",
               "--load=module-null-sink sink_name=qh_null rate=44100"},
              answers({"pactl", "info"}));
        return;
    }
    if (!start("pipewire", {}, answers({"pw-cli", "info", "0"}))) return;
    // Streams are linked to the sink once the session manager has chosen it.
    if (!start("wireplumber", {}, answers({"wpctl", "inspect", "@DEFAULT_AUDIO_SINK@"}))) return;
    if (stack_ == SoundStack::pipewire_pulse) start("pipewire-pulse", {}, answers({"pactl", "info"}));
}

SoundServer::~SoundServer() {
    if (recorder_) end(*recorder_);
    for (auto p = running_.rbegin(); p != running_.rend(); ++p) end(**p);
}

bool SoundServer::start(const std::string& program, std::vector<std::string> args,
                        const std::function<bool()>& ready) {
    const std::string path = find_program(program);
    if (path.empty()) {
        failure_ = program + " is not installed (scripts/install-deps.sh installs it)";
        return false;
    }
    const std::filesystem::path cwd = root_ / program;
    std::filesystem::create_directories(cwd);
    args.insert(args.begin(), path);
    running_.push_back(std::make_unique<Process>(args, cwd, env_));
    Process& p = *running_.back();
    if (wait_until(ready, start_deadline, &p)) return true;
    const bool ended = p.wait(0ms);
    failure_ = program + (ended ? " ended at start" : " did not answer in time");
    const std::string said = last_line(p.err());
    if (!said.empty()) failure_ += ": " + said;
    return false;
}

bool SoundServer::start_recording(const std::filesystem::path& wav) {
    recording_ = wav;
    std::vector<std::string> argv;
    if (stack_ == SoundStack::pulseaudio) {
        argv = {find_program("parec"), "--device=qh_null.monitor", "--rate=44100", "--channels=2",
                "--format=s16le", "--file-format=wav", wav.string()};
    } else {
        // A capture stream of the sink itself reads its monitor.
        argv = {find_program("pw-record"), "--target", "qh-null", "-P", "{ stream.capture.sink = true }",
                "--rate", "44100", "--channels", "2", "--format", "s16", wav.string()};
    }
    if (argv[0].empty()) return false;
    const std::filesystem::path cwd = root_ / "recorder";
    std::filesystem::create_directories(cwd);
    recorder_ = std::make_unique<Process>(argv, cwd, env_);
    // Past its header: the monitor's silence is coming in.
    return wait_until([&] { return std::filesystem::exists(wav) && std::filesystem::file_size(wav) > 4096; },
                      start_deadline, recorder_.get());
}

void SoundServer::stop_recording(std::chrono::milliseconds more) {
    if (!recorder_) return;
    std::error_code ec;
    const auto bytes = [&] { return std::filesystem::file_size(recording_, ec); };
    const auto wanted = bytes() + static_cast<uintmax_t>(more.count()) * rate / 1000 * 4;
    wait_until([&] { return bytes() >= wanted; }, start_deadline, recorder_.get());
    // SIGINT, as at a terminal: the recorder writes the rest and its header.
    recorder_->send(SIGINT);
    if (!recorder_->wait(10s)) recorder_->kill();
    recorder_.reset();
}

}  // namespace qh::e2e
