#pragma once
// What the commands that build a document's device side open besides the
// window (platform/gl_window.h): SDL's lifetime and the mixer.
//
//   SdlSession sdl;            // first: ends SDL (and the font renderer) last
//   HiddenGlWindow window;  Mixer mixer;
//   mixer.open();              // the default device, else the dummy driver
//   mixer.open_silent();       // the dummy driver only: nothing is heard
#include <memory>
#include <string>

#include "document/demo.h"
#include "platform/gl_window.h"
#include "playback/demo_playback.h"

namespace qh::quill {

// Ends SDL when the command returns, after everything else let go of it.
struct SdlSession {
    ~SdlSession();
};

// Decoding samples needs an open mixer (44100 Hz, signed 16-bit, stereo,
// 1024-frame blocks, as the player opens it), not a sound card.
class Mixer {
public:
    ~Mixer() { close(); }

    void open();         // the default device, else SDL's dummy driver
    void open_silent();  // SDL's dummy driver only
    bool is_open() const { return open_; }
    const std::string& driver() const { return driver_; }
    const std::string& note() const { return note_; }  // why it did not open at first

private:
    bool try_open(std::string& why);
    void close();

    bool open_ = false;
    bool audio_ = false;
    std::string driver_;
    std::string note_;
};

// A document and what its device side needs, for the commands that build it
// as the player does (check, render); members in the order of tear-down,
// last first: every GL name and mixer chunk goes before its context and
// device.
struct DeviceSession {
    SdlSession sdl;
    HiddenGlWindow window;
    Mixer mixer;
    std::unique_ptr<Demo> demo;
    std::unique_ptr<DemoPlayback> playback;

    // Reads `file` (a package or a project.json; ContentError when it does
    // not read) with a progress bar, before any device, so that a malformed
    // file is reported on any machine; then opens the GL context. False,
    // with the reason and the Xvfb hint printed as `command`'s, when no
    // context opens.
    bool open(const std::string& command, const std::string& file);
};

}  // namespace qh::quill
