#pragma once
// The audio device with the mixer open on it, in the one format every program
// uses (open_mixer, audio/music.h). Decoding samples needs it open, not a
// sound card.
//
//   Mixer mixer;                    // after SdlSession, before any sound
//   std::string why;
//   if (!mixer.open_device(why))    // the device SDL picks or SDL_AUDIODRIVER names
//       ...why: SDL's or the mixer's words
//   mixer.open();                   // that device, else SDL's dummy driver
//   mixer.open_silent();            // the dummy driver only: nothing is heard
//
// Destroying it closes the mixer and the audio subsystem: free every chunk
// and stop the music first.
#include <string>

namespace qh {

class Mixer {
public:
    Mixer() = default;
    ~Mixer() { close(); }
    Mixer(const Mixer&) = delete;
    Mixer& operator=(const Mixer&) = delete;

    bool open_device(std::string& why);
    void open();
    void open_silent();
    // Closes the mixer and the audio subsystem; again, or unopened, nothing.
    void close();
    bool is_open() const { return open_; }
    const std::string& driver() const { return driver_; }
    const std::string& note() const { return note_; }  // why open() or open_silent() fell back or failed

private:
    bool try_open(std::string& why);

    bool open_ = false;
    bool audio_ = false;
    std::string driver_;
    std::string note_;
};

}  // namespace qh
