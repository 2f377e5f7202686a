#include "ffmpeg.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

extern char** environ;

namespace qh::quill {

Ffmpeg::Ffmpeg(std::vector<std::string> args, Input input) {
    int fds[2] = {-1, -1};
    if (input == Input::pipe && ::pipe(fds) != 0) {
        throw std::runtime_error(std::string("cannot make a pipe: ") + std::strerror(errno));
    }
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (input == Input::pipe) {
        posix_spawn_file_actions_adddup2(&actions, fds[0], 0);
        posix_spawn_file_actions_addclose(&actions, fds[1]);
    }
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attr, 0);
    const int rc = posix_spawnp(&pid_, "ffmpeg", &actions, &attr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (input == Input::pipe) ::close(fds[0]);
    if (rc != 0) {
        if (input == Input::pipe) ::close(fds[1]);
        pid_ = -1;
        throw std::runtime_error(std::string("cannot start ffmpeg (") + std::strerror(rc) +
                                 "); install it with scripts/install-deps.sh");
    }
    pipe_ = fds[1];
}

void Ffmpeg::write(std::span<const uint8_t> bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = pipe_ < 0 ? -1 : ::write(pipe_, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw std::runtime_error("ffmpeg stopped taking frames");
        done += static_cast<size_t>(n);
    }
}

int Ffmpeg::finish() {
    if (pipe_ >= 0) ::close(pipe_);
    pipe_ = -1;
    if (pid_ <= 0) return status_;
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
    status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return status_;
}

}  // namespace qh::quill
