#pragma once
// Helpers for tests that run the built programs: temporary directories, child
// processes with time limits, players with a package appended, X servers
// of their own for the tests that look at windows.
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "support/sound_frames.h"

namespace qh::e2e {

std::filesystem::path player_path();  // the plain player build
// The copy without debug information that quill packs by default; its debug
// information is in player_debug_path().
std::filesystem::path packed_player_path();
std::filesystem::path player_debug_path();
// The build that copy was made from: the travelling player's, unless the
// build packs the plain one.
std::filesystem::path packed_player_build_path();
std::filesystem::path quill_path();
// The title of the player's window, which carries the project version.
std::string player_window_title();

class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

std::string read_file(const std::filesystem::path& p);
void write_file(const std::filesystem::path& p, const std::vector<uint8_t>& bytes);
void write_text(const std::filesystem::path& p, std::string_view text);

// A copy of the player quill packs by default (the travelling one) with
// `payload` and its trailer appended, executable.
std::filesystem::path make_player(const TempDir& dir, const std::vector<uint8_t>& payload,
                                  const std::string& name = "demo");

// A child process; stdout and stderr go to files in `cwd`. Its environment is
// this process's, with `extra_env` entries ("NAME=value") added or replacing,
// and those named alone ("NAME") taken out.
// An `unprivileged` child run by root runs as the user and group nobody
// (65534), to whom file permissions apply; the files are opened before.
class Process {
public:
    Process(const std::vector<std::string>& argv, const std::filesystem::path& cwd,
            const std::vector<std::string>& extra_env = {}, bool unprivileged = false);
    ~Process();  // kills the child if still running
    // Waits up to `timeout`; returns false (child still running) on timeout.
    bool wait(std::chrono::milliseconds timeout);
    int exit_status() const { return status_; }  // -signal when killed by a signal
    std::string out() const;
    std::string err() const;
    void kill();
    // Sends `signal` (SIGINT: what Ctrl-C sends) while the child runs.
    void send(int signal);
    int pid() const { return pid_; }

private:
    int pid_ = -1;
    int status_ = -1000;
    std::filesystem::path cwd_;
};

// Holds the running process `pid` to the address space it has now and
// `more` bytes beyond; false when that cannot be read or set.
bool limit_address_space(int pid, uint64_t more);

// Runs to completion (killed after `timeout`); returns the exit status.
int run(const std::vector<std::string>& argv, const std::filesystem::path& cwd,
        std::chrono::milliseconds timeout = std::chrono::seconds(60),
        const std::vector<std::string>& extra_env = {}, std::string* out = nullptr,
        std::string* err = nullptr);

// How many frames the loading screen's chime lasts at 44100 Hz: every
// player run writes it first.
size_t loader_sound_frames();

// quill run in `dir` with `args` (and `extra_env` as Process takes it); its
// exit status and what it printed.
struct QuillRun {
    int status;
    std::string out, err;
};
QuillRun quill(const TempDir& dir, std::vector<std::string> args,
               const std::vector<std::string>& extra_env = {});

struct Rgb {
    int r = -1, g = -1, b = -1;
    bool operator==(const Rgb&) const = default;
};
std::ostream& operator<<(std::ostream& out, const Rgb& c);
inline constexpr Rgb black{0, 0, 0};
inline constexpr Rgb white{255, 255, 255};

// A screenshot, 8 bits per channel; empty when it could not be taken.
struct Image {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;  // rows top first
    bool empty() const { return width == 0; }
    Rgb at(int x, int y) const;
};

// Where a window lies on the screen.
struct Geometry {
    int x = -1, y = -1, width = 0, height = 0;
};

// Whether every pixel of `area` has colour `c`, judged on a grid 8 pixels
// apart plus the area's last row and column; false for an empty area.
bool area_is(const Image& shot, const Geometry& area, Rgb c);

// An X server of one test's own: Xvfb on a display number it picks itself
// (-displayfd), so tests that look at windows or send keys never see one
// another's. Its root window is white, so an empty screen never passes for a
// black window. The server ends, by its process id, with the object.
class XServer {
public:
    static constexpr int screen_width = 640;  // the player's window: 640 x 360
    static constexpr int screen_height = 480;

    XServer();
    ~XServer();
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;

    const std::string& display() const { return display_; }  // ":N"
    // The environment entry that sends a child process's windows here.
    std::string env() const { return "DISPLAY=" + display_; }

    // The id of a visible window with exactly this title, once there is one;
    // empty if none appears before the deadline or `running` has ended.
    std::string wait_for_window(const std::string& title, std::chrono::milliseconds timeout,
                                Process* running = nullptr) const;
    Geometry geometry(const std::string& window) const;

    // Key events through the XTEST extension, to the window under the
    // pointer; `move_pointer` puts the pointer at a point first.
    void move_pointer(int x, int y) const;
    void key_down(const std::string& key) const;
    void key_up(const std::string& key) const;

    // The whole screen.
    Image screenshot() const;
    // Screenshots until one satisfies `ok` (returned), or until the deadline
    // passes or `running` ends (an empty image then).
    Image wait_for_screen(const std::function<bool(const Image&)>& ok,
                          std::chrono::milliseconds timeout, Process* running = nullptr) const;

private:
    std::string x_command(const std::string& command) const;

    int pid_ = -1;
    std::string display_;
};

// A window manager (openbox) on `x`, for what only one gives: Alt-F4 closes
// the focused window. failure() says in one line why none took the screen;
// it ends with the object. `dir` takes what it prints.
class WindowManager {
public:
    WindowManager(const XServer& x, const std::filesystem::path& dir);
    const std::string& failure() const { return failure_; }

private:
    std::unique_ptr<Process> process_;
    std::string failure_;
};

using test::Frame;
using test::frames_of;
using test::silent;

// A packed demo (`exe`, or `payload` made into one) with its sound going to
// a file in `dir`, and its window on `x` when given (else on the test run's
// display).
class DiskAudioPlayer {
public:
    DiskAudioPlayer(const TempDir& dir, const std::filesystem::path& exe, const XServer* x = nullptr);
    DiskAudioPlayer(const TempDir& dir, const std::vector<uint8_t>& payload, const XServer* x = nullptr);

    Process& process() { return process_; }

    // What the driver has written so far (it writes through a small buffer)
    // after the loading screen's chime, the first sound of every run: frame 0
    // is the first frame after it. Empty while the chime is not whole.
    std::vector<Frame> written() const;

    // Waits for the run to end by itself (a minute at most: a guard against
    // a hang) and expects status 0; the frames written after the chime (the
    // device is closed, and the file complete, when the player quits SDL).
    std::vector<Frame> finish();

private:
    std::filesystem::path raw_;
    Process process_;
};

}  // namespace qh::e2e
