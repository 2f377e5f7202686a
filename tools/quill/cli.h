#pragma once
// Command-line plumbing shared by the quill commands: argument parsing,
// errors with their exit statuses, and the progress bar.
#include <cstdint>
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

// A progress bar on standard error, drawn only when standard error is a terminal.
class ProgressBar {
public:
    explicit ProgressBar(std::string label);
    ~ProgressBar();
    void update(uint64_t done, uint64_t total);
    // With a note after the bar ("120/600 frames, 0:42 left"), redrawn when it changes.
    void update(uint64_t done, uint64_t total, const std::string& note);

private:
    std::string label_;
    bool enabled_;
    bool drawn_ = false;
    int last_percent_ = -1;
    std::string last_note_;
};

}  // namespace qh::quill
