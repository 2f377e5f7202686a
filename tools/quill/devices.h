#pragma once
// What the commands that build a document's device side (check, render)
// hold, with the owners of platform/ for SDL, the font renderer, the window
// and the mixer:
//
//   DeviceSession session;
//   if (!session.open("check", file)) return exit_failure;  // read, then a GL context
//   session.mixer.open();        // the default device, else the dummy driver
//   session.mixer.open_silent(); // or the dummy driver only: nothing is heard
#include <memory>
#include <string>

#include "document/demo.h"
#include "lint.h"
#include "platform/font_library.h"
#include "platform/gl_window.h"
#include "platform/mixer.h"
#include "platform/sdl_session.h"
#include "playback/demo_playback.h"

namespace qh::quill {

// A document and what its device side needs, for the commands that build it
// as the player does (check, render); members in the order of tear-down,
// last first: every GL name and mixer chunk goes before its context and
// device.
struct DeviceSession {
    SdlSession sdl;
    FontLibrary fonts;  // the commands start it when they need it
    HiddenGlWindow window;
    Mixer mixer;
    std::unique_ptr<Demo> demo;
    std::unique_ptr<DemoPlayback> playback;
    DocumentFindings findings;  // of the document as read (and, for a project, as written)

    // Reads `file` (a package or a project.json; ContentError when it does
    // not read) with a progress bar, before any device, so that a malformed
    // file is reported on any machine, and finds what it holds that reads
    // surprisingly or names nothing; then opens the GL context. False,
    // with the reason and the Xvfb hint printed as `command`'s, when no
    // context opens. What the reader prints shows only when `verbose`.
    bool open(const std::string& command, const std::string& file, bool verbose);
};

}  // namespace qh::quill
