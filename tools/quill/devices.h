#pragma once
// What the commands that build a document's device side open besides the
// window (platform/gl_window.h): SDL's lifetime and the mixer.
//
//   SdlSession sdl;            // first: ends SDL (and the font renderer) last
//   HiddenGlWindow window;  Mixer mixer;
//   mixer.open();              // the default device, else the dummy driver
//   mixer.open_silent();       // the dummy driver only: nothing is heard
#include <string>

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

}  // namespace qh::quill
