#pragma once
// ffmpeg as quill runs it: a child process in a process group of its own, so
// that Ctrl-C reaches only quill, which then closes ffmpeg's input and lets
// it finish the file with what it has.
//
//   Ffmpeg encoder(args, Ffmpeg::Input::pipe);   // args[0] is "ffmpeg"
//   encoder.write(bytes);                        // to its standard input
//   if (encoder.finish() != 0) ...               // closes the pipe, waits: its exit status
//
//   if (Ffmpeg::run(args) != 0) ...              // to its end
#include <sys/types.h>

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace qh::quill {

class Ffmpeg {
public:
    enum class Input { none, pipe };
    // Throws std::runtime_error when ffmpeg cannot be started.
    Ffmpeg(std::vector<std::string> args, Input input);
    ~Ffmpeg() { finish(); }
    Ffmpeg(const Ffmpeg&) = delete;
    Ffmpeg& operator=(const Ffmpeg&) = delete;

    // Throws std::runtime_error when ffmpeg stopped reading.
    void write(std::span<const uint8_t> bytes);
    // Closes its input and waits for it; its exit status (128 + the signal
    // that ended it). Later calls give the same.
    int finish();

    static int run(std::vector<std::string> args) { return Ffmpeg(std::move(args), Input::none).finish(); }

private:
    pid_t pid_ = -1;
    int pipe_ = -1;
    int status_ = 0;
};

}  // namespace qh::quill
