#include "e2e/e2e_support.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "package/trailer.h"

extern char** environ;

namespace qh::e2e {

std::filesystem::path player_path() { return std::filesystem::path(QH_BUILD_DIR) / "quillharbor"; }
std::filesystem::path quill_path() { return std::filesystem::path(QH_BUILD_DIR) / "quill"; }

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

void write_file(const std::filesystem::path& p, const std::vector<uint8_t>& bytes) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::filesystem::path make_player(const TempDir& dir, const std::vector<uint8_t>& payload,
                                  const std::string& name) {
    const std::string exe = read_file(player_path());
    const std::vector<uint8_t> image(exe.begin(), exe.end());
    const auto path = dir / name;
    write_file(path, append_package(image, payload));
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
    return path;
}

Process::Process(const std::vector<std::string>& argv, const std::filesystem::path& cwd,
                 const std::vector<std::string>& extra_env)
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
    env.insert(env.end(), extra_env.begin(), extra_env.end());
    pid_ = ::fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) {
        if (::chdir(cwd.c_str()) != 0) ::_exit(127);
        const int out = ::open("stdout.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = ::open("stderr.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(out, 1);
        ::dup2(err, 2);
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

QuillRun quill(const TempDir& dir, std::vector<std::string> args) {
    args.insert(args.begin(), quill_path().string());
    QuillRun r;
    r.status = run(args, dir.path(), std::chrono::seconds(120), {}, &r.out, &r.err);
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

bool wait_for_window(const std::string& title, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        if (!shell_output("xdotool search --name '" + title + "' 2>/dev/null").empty()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

void send_key(const std::string& key) {
    const std::string cmd = "xdotool key " + key + " >/dev/null 2>&1";
    if (std::system(cmd.c_str()) != 0) throw std::runtime_error("xdotool failed");
}

std::pair<int, int> window_position(const std::string& title) {
    // "Window 2097158\n  Position: 0,152 (screen: 0)\n  Geometry: 1280x720"
    const std::string out =
        shell_output("xdotool search --name '" + title + "' getwindowgeometry 2>/dev/null");
    std::pair<int, int> p{-1, -1};
    const size_t at = out.find("Position:");
    if (at != std::string::npos) std::sscanf(out.c_str() + at, "Position: %d,%d", &p.first, &p.second);
    return p;
}

Rgb screen_pixel(const TempDir& dir, int x, int y) {
    const auto shot = dir / "shot.png";
    std::system(("import -window root " + shot.string() + " >/dev/null 2>&1").c_str());
    const std::string txt = shell_output("convert " + shot.string() + " -crop 1x1+" +
                                         std::to_string(x) + "+" + std::to_string(y) +
                                         " -depth 8 txt:- 2>/dev/null");
    // "0,0: (255,0,0)  #FF0000  red"
    Rgb c{-1, -1, -1};
    const auto open = txt.find('(', txt.find('\n'));
    if (open != std::string::npos) std::sscanf(txt.c_str() + open, "(%d,%d,%d", &c.r, &c.g, &c.b);
    return c;
}

Rgb Screenshot::at(int x, int y) const {
    if (x < 0 || y < 0 || x >= width || y >= height || rgb.empty()) return {-1, -1, -1};
    const size_t i = (size_t(y) * size_t(width) + size_t(x)) * 3;
    return {rgb[i], rgb[i + 1], rgb[i + 2]};
}

Screenshot take_screenshot(const TempDir& dir, const std::string& file) {
    const auto shot = dir / file;
    Screenshot s;
    if (std::system(("import -window root " + shot.string() + " >/dev/null 2>&1").c_str()) != 0) return s;
    const std::string size = shell_output("identify -format '%w %h' " + shot.string() + " 2>/dev/null");
    if (std::sscanf(size.c_str(), "%d %d", &s.width, &s.height) != 2) return s;
    const std::string raw = shell_output("convert " + shot.string() + " -depth 8 rgb:- 2>/dev/null");
    if (raw.size() != size_t(s.width) * size_t(s.height) * 3) return s;
    s.rgb.assign(raw.begin(), raw.end());
    return s;
}

}  // namespace qh::e2e
