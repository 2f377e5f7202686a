#include "cli.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace qh::quill {

bool Args::flag(const std::string& name) const {
    return std::find(flags.begin(), flags.end(), name) != flags.end();
}

std::string Args::value(const std::string& name, const std::string& fallback) const {
    auto it = values.find(name);
    return it == values.end() ? fallback : it->second;
}

Args parse_args(const std::vector<std::string>& argv, const std::vector<std::string>& value_options,
                const std::vector<std::string>& flag_options) {
    auto is_in = [](const std::vector<std::string>& v, const std::string& s) {
        return std::find(v.begin(), v.end(), s) != v.end();
    };
    Args args;
    for (size_t i = 0; i < argv.size(); ++i) {
        const std::string& a = argv[i];
        if (a == "-h" || a == "--help") {
            args.flags.push_back("--help");
        } else if (is_in(value_options, a)) {
            if (i + 1 >= argv.size()) throw UsageError("option " + a + " needs a value");
            args.values[a] = argv[++i];
        } else if (is_in(flag_options, a)) {
            args.flags.push_back(a);
        } else if (a.size() > 1 && a[0] == '-') {
            throw UsageError("unknown option " + a);
        } else {
            args.positional.push_back(a);
        }
    }
    return args;
}

std::vector<std::string> split_lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    while (!lines.empty() && lines.back().find_first_not_of(" \t\r") == std::string::npos)
        lines.pop_back();
    return lines;
}

double number_option(const Args& args, const std::string& name, double fallback) {
    if (!args.has(name)) return fallback;
    const std::string text = args.value(name);
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !std::isfinite(v))
        throw UsageError(name + " needs a number, not \"" + text + "\"");
    return v;
}

std::pair<int, int> size_option(const std::string& option, const std::string& text) {
    int w = 0, h = 0;
    char x = 0, extra = 0;
    if (std::sscanf(text.c_str(), "%d%c%d%c", &w, &x, &h, &extra) != 3 || (x != 'x' && x != 'X') || w < 1 ||
        h < 1) {
        throw UsageError(option + " needs WIDTHxHEIGHT, for example 1280x720, not \"" + text + "\"");
    }
    return {w, h};
}

Redirect::Redirect(int fd, int to) : fd_(fd) {
    if (fd == to) return;
    std::fflush(stdout);
    saved_ = ::dup(fd);
    if (saved_ < 0) return;
    const int target = to == nowhere ? ::open("/dev/null", O_WRONLY | O_CLOEXEC) : to;
    if (target < 0 || ::dup2(target, fd) < 0) {
        ::close(saved_);
        saved_ = -1;
    }
    if (to == nowhere && target >= 0) ::close(target);
}

Redirect::~Redirect() {
    if (saved_ < 0) return;
    std::fflush(stdout);
    ::dup2(saved_, fd_);
    ::close(saved_);
}

PlayerLines::PlayerLines(bool verbose, bool stdout_is_report)
    : out_(1, !verbose ? Redirect::nowhere : stdout_is_report ? 2 : 1), err_(2, verbose ? 2 : Redirect::nowhere) {}

ProgressBar::ProgressBar(std::string label) : label_(std::move(label)) {
    if (!::isatty(2)) return;
    const int fd = ::dup(2);
    if (fd >= 0 && !(out_ = ::fdopen(fd, "w"))) ::close(fd);
}

ProgressBar::~ProgressBar() {
    if (!out_) return;
    if (drawn_) std::fprintf(out_, "\n");
    std::fclose(out_);
}

void ProgressBar::update(uint64_t done, uint64_t total) { update(done, total, std::string()); }

void ProgressBar::update(uint64_t done, uint64_t total, const std::string& note) {
    if (!out_) return;
    const int percent = total == 0 ? 100 : static_cast<int>(std::min<uint64_t>(done * 100 / total, 100));
    if (percent == last_percent_ && note == last_note_) return;
    last_percent_ = percent;
    last_note_ = note;
    const int width = 30, filled = percent * width / 100;
    // Spaces after the note wipe a longer one drawn before.
    std::fprintf(out_, "\r%s [%s%s] %3d%% %s   ", label_.c_str(), std::string(filled, '#').c_str(),
                 std::string(width - filled, ' ').c_str(), percent, note.c_str());
    std::fflush(out_);
    drawn_ = true;
}

}  // namespace qh::quill
