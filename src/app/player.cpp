#include "app/player.h"

#include <GL/glew.h>
#include <SDL.h>

#include <cstdio>
#include <memory>
#include <utility>
#include <vector>

#include "app/fatal_report.h"
#include "app/loading_screen.h"
#include "core/runtime.h"
#include "document/demo.h"
#include "document/demo_io.h"
#include "document/device_memory.h"
#include "package/errors.h"
#include "platform/font_library.h"
#include "platform/gl_window.h"
#include "platform/mixer.h"
#include "platform/sdl_session.h"
#include "playback/demo_playback.h"
#include "playback/frame_composition.h"
#include "qh_version.h"
#include "render/gl/device_allocation.h"
#include "render/gl/gl_util.h"

namespace qh {

namespace {

const char* const window_title = "Quillharbor :: " QH_VERSION;

int event_watch(void*, SDL_Event* event) {
    if (event->type == SDL_APP_WILLENTERBACKGROUND) runtime().quit_requested = true;
    return 1;
}

// Start-up failures the player cannot recover from but that would otherwise
// pass silently, such as a machine whose GL offers no core context: said on
// standard output (where the other diagnostics go) and in the SDL log, and,
// since a viewer sees neither, in the fatal report, which ends with status 1.
[[noreturn]] void fail_start(const std::string& what, const std::string& why) {
    const std::string message = what + ": " + why;
    std::printf("%s\n", message.c_str());
    std::fflush(stdout);
    SDL_Log("%s", message.c_str());
    report_fatal_error(message);
}

// Where no window system answers, SDL falls back to a driver that draws into
// memory, and the demo would play to nobody; such a driver serves only when
// it was asked for by name.
bool shows_a_window() {
    const char* driver = SDL_GetCurrentVideoDriver();
    const char* asked = SDL_GetHint(SDL_HINT_VIDEODRIVER);
    if (!driver || (asked && SDL_strcasecmp(asked, driver) == 0)) return true;
    return SDL_strcmp(driver, "offscreen") != 0 && SDL_strcmp(driver, "dummy") != 0;
}

// What the start-up says when the window did not open, by where it stopped.
const char* window_failure_words(GlWindowFailure::Step step) {
    switch (step) {
    case GlWindowFailure::context: return "Cannot create the OpenGL context";
    case GlWindowFailure::entry_points: return "Cannot initialise GLEW";
    default: return "Cannot create the window";
    }
}

void print_gl_info() {
    auto str = [](GLenum e) {
        const GLubyte* s = glGetString(e);
        return s ? reinterpret_cast<const char*>(s) : "";
    };
    std::printf("OpenGL version: %s\n", str(GL_VERSION));
    std::printf("GLSL version: %s\n", str(GL_SHADING_LANGUAGE_VERSION));
    std::printf("Vendor: %s\n", str(GL_VENDOR));
    std::printf("Renderer: %s\n", str(GL_RENDERER));
}

// Hidden cursor, vertical sync, one swap before anything is drawn, then the
// loader's own objects.
std::unique_ptr<LoadingScreen> begin_loading(ShownGlWindow& window, DemoPlayback& playback) {
    SDL_ShowCursor(SDL_DISABLE);
    drain_events();
    SDL_GL_MakeCurrent(window.window(), window.context());
    SDL_GL_SetSwapInterval(1);
    glViewport(0, 0, 1920, 1080);
    window.swap();
    return std::make_unique<LoadingScreen>(window.window(), window.context(), playback.samples());
}

// A loading step after the package is read. What the demo cannot run
// without and the device cannot make (an effect's target:
// render/gl/device_allocation.h) ends it with the fatal report.
template <class Step>
void or_fatal(Step step) {
    try {
        step();
    } catch (const std::exception& e) {
        report_fatal_error(e.what());
    }
}

// How long the loader holds its last frame after the chime, and the pause
// between its frames.
constexpr uint32_t hold_ms = loader_hold_ms;
constexpr uint32_t loader_pause_ms = 20;

}  // namespace

void frame_pause(uint32_t ms) {
#ifndef __EMSCRIPTEN__
    SDL_Delay(ms);
#else
    (void)ms;
#endif
}

// What the player opens, in the order of start-up, so that letting go of it
// releases them last first: the loader, the document's device side and the
// document, then the window and its context, the font renderer, the mixer
// and SDL.
struct Player::Parts {
    SdlSession sdl;
    Mixer mixer;
    FontLibrary fonts;
    ShownGlWindow window;
    Demo demo;
    DemoPlayback playback{demo};
    std::unique_ptr<LoadingScreen> loader;
    // While the package is read: its payload, where reading stands, and the
    // text-texture budget it is held to at the end.
    std::vector<uint8_t> payload;
    std::unique_ptr<DemoPayloadReader> reader;
    uint64_t text_budget = 0;
    bool watching = false;  // the event watch is installed

    ~Parts() {
        if (watching) SDL_DelEventWatch(event_watch, nullptr);
    }
};

Player::Player(PlayerHost host) : host_(std::move(host)), parts_(std::make_unique<Parts>()) {}

Player::~Player() = default;

std::optional<int> Player::start() {
    Runtime& rt = runtime();
    Parts& p = *parts_;
    if (!p.sdl.init(SDL_INIT_TIMER | SDL_INIT_AUDIO | SDL_INIT_VIDEO | SDL_INIT_EVENTS)) {
        SDL_Log("Failed to initialize SDL: %s", SDL_GetError());
        return 1;
    }
    if (!shows_a_window()) fail_start("Cannot open a display", "no X11 or Wayland display answered");
    std::string why;
    if (!p.mixer.open_device(why)) {
        std::printf("Cannot open the audio device: %s\n", why.c_str());
        std::fflush(stdout);
        return -1;
    }
    p.fonts.open();

    int width = host_.display_width();
    if (width <= 0) {
        SDL_DisplayMode mode;
        if (SDL_GetDesktopDisplayMode(0, &mode) != 0) {
            SDL_Log("SDL_GetDesktopDisplayMode failed: %s", SDL_GetError());
            return 1;
        }
        width = mode.w;
    }
    rt.screen = ScreenSize::from_desktop_width(width);

    if (!p.window.open(window_title, rt.screen.width, rt.screen.height, ShownGlWindow::borderless))
        fail_start(window_failure_words(p.window.failure().step), p.window.failure().detail);
    print_gl_info();
    std::fflush(stdout);  // seen at once, not only once loading has ended
    set_composition_state();
    or_fatal([&] { p.loader = begin_loading(p.window, p.playback); });  // the loading screen's own target
    return std::nullopt;
}

bool Player::step() {
    // A quit request ends the player in whatever phase it comes: the loading
    // frames keep it while they drop the other events.
    return phase_step() && !runtime().quit_requested;
}

bool Player::phase_step() {
    Parts& p = *parts_;
    switch (phase_) {
    case Phase::show_loader:
        // Shown before the work begins: a browser presents a frame only once
        // the step that drew it has returned.
        p.loader->frame(0, 1);
        pause_ms_ = loader_pause_ms;
        phase_ = Phase::load;
        return true;
    case Phase::load:
        // One record a step, its frame drawn: a browser shows each as the
        // step returns, the desktop pauses between them.
        pause_ms_ = loader_pause_ms;
        if (!load_step() || runtime().quit_requested) return true;
        p.loader->chime();
        hold_start_ = SDL_GetTicks();
        phase_ = Phase::hold;
        return true;
    case Phase::hold:
        p.loader->frame(p.demo.resource_count, p.demo.resource_count);
        pause_ms_ = 2 * loader_pause_ms;
        if (SDL_GetTicks() - hold_start_ >= hold_ms) phase_ = Phase::await_viewer;
        return true;
    case Phase::await_viewer:
        if (!host_.viewer_ready()) {
            if (drain_events()) runtime().quit_requested = true;
            return true;
        }
        begin_demo();
        if (runtime().quit_requested) return false;
        phase_ = Phase::play;
        pause_ms_ = 2;
        return demo_frame();
    case Phase::play:
        return demo_frame();
    }
    return false;
}

// One step of reading the package into the document: the next record, its
// device work right after it and a loading frame after that; after the last
// record, what needs the links, and the frame that says the demo is ready
// (then true). The loading frames drop the events that arrive meanwhile; a
// quit request among them ends the player after the step (step()).
bool Player::load_step() {
    Parts& p = *parts_;
    LoadingScreen& loader = *p.loader;
    if (!p.reader) p.payload = host_.read_payload();
    try {
        if (!p.reader) {
            p.text_budget = text_texture_budget();  // a malformed one fails before the work
            p.reader = std::make_unique<DemoPayloadReader>(
                p.demo, p.payload,
                [&loader](uint64_t read, uint64_t total) {
                    if (read < total) loader.frame(read, total);
                },
                [&p](const RecordRef& record) { p.playback.realize_record(record); });
        }
        p.reader->read_next();
        if (!p.reader->done()) return false;
        // Text textures choose their own sizes; their total is held to the
        // budget before any of them is made (realize_links).
        if (const auto over = text_texture_overrun(p.demo, p.text_budget)) throw ContentError(over->message);
    } catch (const ContentError& e) {
        report_fatal_error(e.what());
    } catch (const DeviceAllocationError& e) {
        report_fatal_error(e.what());
    } catch (const std::exception& e) {
        report_fatal_error(std::string("cannot read the package: ") + e.what());
    }
    p.reader.reset();
    p.payload = {};
    or_fatal([&] {
        p.playback.realize_links();
        p.playback.prepare();
    });
    loader.frame(p.demo.resource_count, p.demo.resource_count);
    return true;
}

void Player::begin_demo() {
    Parts& p = *parts_;
    or_fatal([&] { p.playback.warm_up(); });
    p.playback.start_music();
    start_ticks_ = SDL_GetTicks();
    SDL_AddEventWatch(event_watch, nullptr);
    p.watching = true;
    check_gl_errors("flushing");
    std::fflush(stdout);
}

bool Player::demo_frame() {
    Runtime& rt = runtime();
    Parts& p = *parts_;
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    const uint32_t elapsed = SDL_GetTicks() - start_ticks_;
    const float beat = beat_at(elapsed, p.demo.bpm, p.demo.beat_offset);
    if (timeline_ended(beat, p.demo.end_beat)) rt.quit_requested = true;

    SDL_Event e;
    while (SDL_PollEvent(&e)) {
        if (is_quit_request(e)) rt.quit_requested = true;
    }
    glViewport(0, 0, rt.screen.render_width, rt.screen.render_height);
    p.playback.compose_frame(beat);
    host_.frame_drawn(elapsed, beat);
    p.window.swap();
    return !rt.quit_requested;
}

int Player::stop() {
    // The sound ends with the last frame: the device closes before the
    // samples are let go, which would otherwise stop them and mix one more
    // block without them.
    parts_->mixer.close();
    return 0;
}

}  // namespace qh
