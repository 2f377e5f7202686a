#include "e2e/e2e_support.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <grp.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include <gtest/gtest.h>

#include "app/loader_assets.h"
#include "package/trailer.h"
#include "qh_version.h"
#include "support/tree_paths.h"

extern char** environ;

namespace qh::e2e {

size_t loader_sound_frames() {
    // A 16-bit PCM WAV as the generator writes it: channels at byte 22,
    // the data chunk's size at byte 40.
    const auto& w = embedded::loader_sound;
    const unsigned channels = w[22] | (w[23] << 8);
    const uint32_t data = w[40] | (w[41] << 8) | (w[42] << 16) | (uint32_t(w[43]) << 24);
    return data / (2 * channels);
}

std::filesystem::path player_path() { return test::build_dir() / "quillharbor"; }
std::filesystem::path packed_player_path() {
    return test::build_dir() / QH_PACKED_PLAYER_NAME;
}
std::filesystem::path player_debug_path() {
    return test::build_dir() / QH_PLAYER_DEBUG_NAME;
}
std::filesystem::path packed_player_build_path() { return test::packed_player_build(); }
std::filesystem::path quill_path() { return test::build_dir() / "quill"; }
std::string player_window_title() { return "Quillharbor :: " QH_VERSION; }

TempDir::TempDir() {
    std::string templ = (std::filesystem::temp_directory_path() / "qh-e2e-XXXXXX").string();
    if (!::mkdtemp(templ.data())) throw std::runtime_error("mkdtemp failed");
    path_ = templ;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::string read_file(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void write_text(const std::filesystem::path& p, std::string_view text) {
    write_file(p, std::vector<uint8_t>(text.begin(), text.end()));
}

void write_file(const std::filesystem::path& p, const std::vector<uint8_t>& bytes) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::filesystem::path make_player(const TempDir& dir, const std::vector<uint8_t>& payload,
                                  const std::string& name) {
    const std::string exe = read_file(packed_player_path());
    const std::vector<uint8_t> image(exe.begin(), exe.end());
    const auto path = dir / name;
    write_file(path, append_package(image, payload));
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
    return path;
}

Process::Process(const std::vector<std::string>& argv, const std::filesystem::path& cwd,
                 const std::vector<std::string>& extra_env, bool unprivileged)
    : cwd_(cwd) {
    // An extra entry replaces an inherited one of the same name: the child's
    // getenv would find the inherited one first.
    auto name_of = [](const std::string& entry) { return entry.substr(0, entry.find('=')); };
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        const bool replaced = std::any_of(extra_env.begin(), extra_env.end(), [&](const std::string& x) {
            return name_of(x) == name_of(entry);
        });
        if (!replaced) env.push_back(entry);
    }
    std::copy_if(extra_env.begin(), extra_env.end(), std::back_inserter(env),
                 [](const std::string& entry) { return entry.find('=') != std::string::npos; });
    pid_ = ::fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) {
        if (::chdir(cwd.c_str()) != 0) ::_exit(127);
        const int out = ::open("stdout.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = ::open("stderr.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(out, 1);
        ::dup2(err, 2);
        if (unprivileged && ::geteuid() == 0) {
            constexpr uid_t nobody = 65534;
            if (::setgroups(0, nullptr) != 0 || ::setgid(nobody) != 0 || ::setuid(nobody) != 0) ::_exit(126);
        }
        std::vector<char*> args, envp;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        for (const auto& e : env) envp.push_back(const_cast<char*>(e.c_str()));
        envp.push_back(nullptr);
        ::execve(args[0], args.data(), envp.data());
        ::_exit(127);
    }
}

Process::~Process() { kill(); }

void Process::send(int signal) {
    if (pid_ > 0 && status_ == -1000) ::kill(pid_, signal);
}

void Process::kill() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        wait(std::chrono::seconds(5));
    }
}

bool Process::wait(std::chrono::milliseconds timeout) {
    if (pid_ <= 0) return true;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        int st = 0;
        const int r = ::waitpid(pid_, &st, WNOHANG);
        if (r == pid_) {
            status_ = WIFEXITED(st) ? WEXITSTATUS(st) : -WTERMSIG(st);
            pid_ = -1;
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

std::string Process::out() const { return read_file(cwd_ / "stdout.txt"); }
std::string Process::err() const { return read_file(cwd_ / "stderr.txt"); }

bool limit_address_space(int pid, uint64_t more) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmSize:", 0) != 0) continue;
        const uint64_t now = std::stoull(line.substr(7)) * 1024;  // in kB
        const rlimit limit{now + more, now + more};
        return prlimit(pid, RLIMIT_AS, &limit, nullptr) == 0;
    }
    return false;
}

int run(const std::vector<std::string>& argv, const std::filesystem::path& cwd,
        std::chrono::milliseconds timeout, const std::vector<std::string>& extra_env,
        std::string* out, std::string* err) {
    Process p(argv, cwd, extra_env);
    if (!p.wait(timeout)) {
        p.kill();
        return -1000;
    }
    if (out) *out = p.out();
    if (err) *err = p.err();
    return p.exit_status();
}

QuillRun quill(const TempDir& dir, std::vector<std::string> args,
               const std::vector<std::string>& extra_env) {
    args.insert(args.begin(), quill_path().string());
    QuillRun r;
    r.status = run(args, dir.path(), std::chrono::seconds(120), extra_env, &r.out, &r.err);
    return r;
}

namespace {
std::string shell_output(const std::string& cmd) {
    std::string result;
    if (FILE* f = ::popen(cmd.c_str(), "r")) {
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) result.append(buf, n);
        ::pclose(f);
    }
    return result;
}
}  // namespace

std::ostream& operator<<(std::ostream& out, const Rgb& c) {
    return out << "(" << c.r << ", " << c.g << ", " << c.b << ")";
}

Rgb Image::at(int x, int y) const {
    if (x < 0 || y < 0 || x >= width || y >= height) return Rgb{};
    const size_t i = (static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 3;
    return Rgb{rgb[i], rgb[i + 1], rgb[i + 2]};
}

bool area_is(const Image& shot, const Geometry& area, Rgb c) {
    if (area.width <= 0 || area.height <= 0) return false;
    auto points = [](int n) {
        std::vector<int> v;
        for (int i = 0; i < n; i += 8) v.push_back(i);
        v.push_back(n - 1);
        return v;
    };
    for (int y : points(area.height)) {
        for (int x : points(area.width)) {
            if (shot.at(area.x + x, area.y + y) != c) return false;
        }
    }
    return true;
}

namespace {

// Reads a line from `fd` before `deadline`; false on end of file or time out.
bool read_line(int fd, std::string& line, std::chrono::steady_clock::time_point deadline) {
    line.clear();
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
        char c;
        if (::read(fd, &c, 1) != 1) return false;
        if (c == '\n') return true;
        line += c;
    }
}

// A binary PPM (P6, maxval 255) as ImageMagick writes it.
Image parse_ppm(const std::string& data) {
    std::istringstream in(data);
    std::string magic;
    int w = 0, h = 0, maxval = 0;
    in >> magic >> w >> h >> maxval;
    if (magic != "P6" || w <= 0 || h <= 0 || maxval != 255) return Image{};
    in.get();  // the one whitespace byte before the pixels
    const auto start = static_cast<size_t>(in.tellg());
    const size_t n = static_cast<size_t>(w) * static_cast<size_t>(h) * 3;
    if (data.size() < start + n) return Image{};
    Image image;
    image.width = w;
    image.height = h;
    image.rgb.assign(data.begin() + static_cast<std::ptrdiff_t>(start),
                     data.begin() + static_cast<std::ptrdiff_t>(start + n));
    return image;
}

// `title` as an anchored extended regular expression (xdotool's --name).
std::string exact_pattern(const std::string& title) {
    std::string out = "^";
    for (char c : title) {
        if (std::strchr(".[]()*+?{}|^$\\", c)) out += '\\';
        out += c;
    }
    return out + "$";
}

}  // namespace

XServer::XServer() {
    int fds[2];
    if (::pipe(fds) != 0) throw std::runtime_error("pipe failed");
    const std::string size = std::to_string(screen_width) + "x" + std::to_string(screen_height) + "x24";
    const std::string fd_text = std::to_string(fds[1]);
    pid_ = ::fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) {
        ::close(fds[0]);
        const int null = ::open("/dev/null", O_RDWR);
        ::dup2(null, 0);
        ::dup2(null, 1);
        ::dup2(null, 2);
        ::execlp("Xvfb", "Xvfb", "-displayfd", fd_text.c_str(), "-screen", "0", size.c_str(),
                 "-nolisten", "tcp", "-wr", "-noreset", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(fds[1]);
    std::string number;
    const bool ready = read_line(fds[0], number, std::chrono::steady_clock::now() + std::chrono::seconds(60));
    ::close(fds[0]);
    if (!ready || number.empty()) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
        throw std::runtime_error("Xvfb did not start");
    }
    display_ = ":" + number;
}

XServer::~XServer() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (::waitpid(pid_, nullptr, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() >= deadline) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

WindowManager::WindowManager(const XServer& x, const std::filesystem::path& dir) {
    if (shell_output("command -v openbox").empty()) {
        failure_ = "no window manager: openbox is not installed (scripts/install-deps.sh installs it)";
        return;
    }
    std::filesystem::create_directories(dir);
    process_ = std::make_unique<Process>(std::vector<std::string>{"/usr/bin/env", "openbox"}, dir,
                                         std::vector<std::string>{x.env()});
    // Once it manages the screen it names itself on the root window.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (shell_output("DISPLAY=" + x.display() + " xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null")
               .find("window id") == std::string::npos) {
        if (process_->wait(std::chrono::milliseconds(50))) {
            failure_ = "openbox ended as it started: " + process_->err();
            return;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            failure_ = "openbox did not manage the screen within 60 s";
            return;
        }
    }
}

std::string XServer::x_command(const std::string& command) const {
    return shell_output("DISPLAY=" + display_ + " " + command);
}

std::string XServer::wait_for_window(const std::string& title, std::chrono::milliseconds timeout,
                                     Process* running) const {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    const std::string search = "xdotool search --onlyvisible --name '" + exact_pattern(title) + "' 2>/dev/null";
    while (std::chrono::steady_clock::now() < deadline) {
        const std::string ids = x_command(search);
        if (!ids.empty()) return ids.substr(0, ids.find('\n'));
        if (running && running->wait(std::chrono::milliseconds(0))) return {};
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return {};
}

Geometry XServer::geometry(const std::string& window) const {
    // X=0 Y=0 WIDTH=640 HEIGHT=360 SCREEN=0, one to a line
    const std::string text = x_command("xdotool getwindowgeometry --shell " + window + " 2>/dev/null");
    Geometry g;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        const auto eq = line.find('=');
        if (eq == std::string::npos) continue;
        const std::string name = line.substr(0, eq);
        const int value = std::atoi(line.c_str() + eq + 1);
        if (name == "X") g.x = value;
        if (name == "Y") g.y = value;
        if (name == "WIDTH") g.width = value;
        if (name == "HEIGHT") g.height = value;
    }
    return g;
}

void XServer::move_pointer(int x, int y) const {
    x_command("xdotool mousemove " + std::to_string(x) + " " + std::to_string(y) + " 2>&1");
}

void XServer::key_down(const std::string& key) const { x_command("xdotool keydown " + key + " 2>&1"); }

void XServer::key_up(const std::string& key) const { x_command("xdotool keyup " + key + " 2>&1"); }

Image XServer::screenshot() const {
    return parse_ppm(x_command("import -window root -depth 8 ppm:- 2>/dev/null"));
}

Image XServer::wait_for_screen(const std::function<bool(const Image&)>& ok,
                               std::chrono::milliseconds timeout, Process* running) const {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        // Whether the player still ran is asked before the screenshot, so a
        // last frame it showed is still judged.
        const bool ended = running && running->wait(std::chrono::milliseconds(0));
        Image shot = screenshot();
        if (!shot.empty() && ok(shot)) return shot;
        if (ended) break;
    }
    return Image{};
}

namespace {
std::vector<std::string> disk_audio_env(const std::filesystem::path& raw, const XServer* x) {
    std::vector<std::string> env = {"SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=" + raw.string()};
    if (x) env.push_back(x->env());
    return env;
}
}  // namespace

DiskAudioPlayer::DiskAudioPlayer(const TempDir& dir, const std::filesystem::path& exe, const XServer* x)
    : raw_(dir / "sound.raw"), process_({exe.string()}, dir.path(), disk_audio_env(raw_, x)) {}

DiskAudioPlayer::DiskAudioPlayer(const TempDir& dir, const std::vector<uint8_t>& payload, const XServer* x)
    : DiskAudioPlayer(dir, make_player(dir, payload), x) {}

std::vector<Frame> DiskAudioPlayer::written() const {
    const std::vector<Frame> all = frames_of(read_file(raw_));
    // The driver writes silence until the chime starts.
    const auto start = std::find_if_not(all.begin(), all.end(), silent);
    if (all.end() - start < static_cast<std::ptrdiff_t>(loader_sound_frames())) return {};
    return std::vector<Frame>(start + static_cast<std::ptrdiff_t>(loader_sound_frames()), all.end());
}

std::vector<Frame> DiskAudioPlayer::finish() {
    EXPECT_TRUE(process_.wait(std::chrono::seconds(60))) << "the player did not end after its end beat";
    EXPECT_EQ(process_.exit_status(), 0) << process_.out() << process_.err();
    return written();
}

}  // namespace qh::e2e
