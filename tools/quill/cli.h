#pragma once
// Command-line plumbing shared by the quill commands: argument parsing,
// errors with their exit statuses, and the progress bar.
#include <cstdint>
#include <cstdio>
#include <map>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace qh::quill {

// Exit statuses: 0 success, 1 failure, 2 usage error.
inline constexpr int exit_ok = 0;
inline constexpr int exit_failure = 1;
inline constexpr int exit_usage = 2;

class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Parsed command line of one command: positional arguments, and options that
// were declared as flags (no value) or as taking a value.
struct Args {
    std::vector<std::string> positional;
    std::map<std::string, std::string> values;
    std::vector<std::string> flags;

    bool flag(const std::string& name) const;
    std::string value(const std::string& name, const std::string& fallback = {}) const;
    bool has(const std::string& name) const { return values.count(name) != 0; }
};

// Throws UsageError for an unknown option or a missing value. "-h"/"--help"
// become the flag "--help".
Args parse_args(const std::vector<std::string>& argv, const std::vector<std::string>& value_options,
                const std::vector<std::string>& flag_options);

// The value of a numeric option, `fallback` when it is absent; UsageError
// for a text that is not a finite number.
double number_option(const Args& args, const std::string& name, double fallback);

// A window or frame size, "WIDTHxHEIGHT" (an upper-case X too), each at least
// 1; UsageError naming `option` otherwise.
std::pair<int, int> size_option(const std::string& option, const std::string& text);

// The lines of a driver's or tool's log, without their line feeds and without
// blank lines at the end.
std::vector<std::string> split_lines(const std::string& text);

// Sends what is written to descriptor `fd` elsewhere while it lives: to
// descriptor `to`, or nowhere when `to` is `nowhere`. Does nothing when `fd`
// is `to`. Standard output's buffer is flushed on both edges.
class Redirect {
public:
    static constexpr int nowhere = -1;
    Redirect(int fd, int to);
    ~Redirect();
    Redirect(const Redirect&) = delete;
    Redirect& operator=(const Redirect&) = delete;

private:
    int fd_;
    int saved_ = -1;
};

// While it lives, what the player's own code prints while it reads and
// builds a document goes nowhere: "Loading file ...", the driver's logs,
// "Number of VAOs: ...", and what the audio system says while the mixer
// looks for a device. quill says what matters in its own words; `verbose`
// (--verbose) lets them through, standard output's to standard error while a
// report owns standard output. A ProgressBar made before it still draws.
//
//   ProgressBar bar("building");
//   PlayerLines lines(args.flag("--verbose"), json);
class PlayerLines {
public:
    explicit PlayerLines(bool verbose, bool stdout_is_report = false);

private:
    Redirect out_, err_;
};

// A progress bar on standard error, drawn only when standard error is a
// terminal; it keeps drawing there while PlayerLines made after it live.
class ProgressBar {
public:
    explicit ProgressBar(std::string label);
    ~ProgressBar();
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;
    void update(uint64_t done, uint64_t total);
    // With a note after the bar ("120/600 frames, 0:42 left"), redrawn when it changes.
    void update(uint64_t done, uint64_t total, const std::string& note);

private:
    std::string label_;
    std::FILE* out_ = nullptr;  // standard error as it was made; null: not drawn
    bool drawn_ = false;
    int last_percent_ = -1;
    std::string last_note_;
};

}  // namespace qh::quill
