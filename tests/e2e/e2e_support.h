#pragma once
// Helpers for tests that run the built programs: temporary directories, child
// processes with time limits, players with a package appended, the X display.
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace qh::e2e {

std::filesystem::path player_path();  // the plain player build
std::filesystem::path quill_path();

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

// A copy of the player with `payload` and its trailer appended, executable.
std::filesystem::path make_player(const TempDir& dir, const std::vector<uint8_t>& payload,
                                  const std::string& name = "demo");

// A child process; stdout and stderr go to files in `cwd`. Its environment is
// this process's, with `extra_env` entries ("NAME=value") added or replacing.
class Process {
public:
    Process(const std::vector<std::string>& argv, const std::filesystem::path& cwd,
            const std::vector<std::string>& extra_env = {});
    ~Process();  // kills the child if still running
    // Waits up to `timeout`; returns false (child still running) on timeout.
    bool wait(std::chrono::milliseconds timeout);
    int exit_status() const { return status_; }  // -signal when killed by a signal
    std::string out() const;
    std::string err() const;
    void kill();

private:
    int pid_ = -1;
    int status_ = -1000;
    std::filesystem::path cwd_;
};

// Runs to completion (killed after `timeout`); returns the exit status.
int run(const std::vector<std::string>& argv, const std::filesystem::path& cwd,
        std::chrono::milliseconds timeout = std::chrono::seconds(60),
        const std::vector<std::string>& extra_env = {}, std::string* out = nullptr,
        std::string* err = nullptr);

// quill run in `dir` with `args`; its exit status and what it printed.
struct QuillRun {
    int status;
    std::string out, err;
};
QuillRun quill(const TempDir& dir, std::vector<std::string> args);

// X helpers (xdotool, ImageMagick); need DISPLAY.
bool wait_for_window(const std::string& title, std::chrono::milliseconds timeout);
void send_key(const std::string& key);  // press and release
// Where the window's top left corner is on the root window (x, y); (-1, -1)
// when no window has that title.
std::pair<int, int> window_position(const std::string& title);
struct Rgb { int r, g, b; };
// Screenshot of the root window; the colour at (x, y).
Rgb screen_pixel(const TempDir& dir, int x, int y);

// One screenshot of the root window, kept as `file` in `dir`, for reading
// several pixels of the same moment. y counts from the top.
struct Screenshot {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;  // rows top first; empty when the shot failed
    Rgb at(int x, int y) const;
};
Screenshot take_screenshot(const TempDir& dir, const std::string& file = "shot.png");

}  // namespace qh::e2e
