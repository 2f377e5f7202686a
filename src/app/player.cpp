#include "app/player.h"

#include <GL/glew.h>
#include <SDL.h>

#include <cstdio>
#include <memory>
#include <vector>

#include "app/fatal_report.h"
#include "app/loading_screen.h"
#include "core/runtime.h"
#include "document/demo.h"
#include "document/demo_io.h"
#include "document/device_memory.h"
#include "package/errors.h"
#include "package/trailer.h"
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

// Reads the package into the document, each record's device work right after
// it and a loading frame after that; then what needs the links, and the
// frame that says the demo is ready. Events that arrive meanwhile are
// dropped by the loading frames, quit requests included.
void load_demo(const std::string& executable_path, Demo& demo, DemoPlayback& playback,
               LoadingScreen& loader) {
    std::vector<uint8_t> payload;
    const TrailerStatus status = read_package_file(executable_path, payload);
    if (status == TrailerStatus::no_package) report_missing_package();
    if (status != TrailerStatus::found) report_fatal_error(describe(status, executable_path));
    try {
        const uint64_t text_budget = text_texture_budget();  // a malformed one fails before the work
        read_demo_payload(
            demo, payload,
            [&loader](uint64_t read, uint64_t total) {
                if (read < total) loader.frame(read, total);
            },
            [&playback](const RecordRef& record) { playback.realize_record(record); });
        // Text textures choose their own sizes; their total is held to the
        // budget before any of them is made (realize_links).
        if (const auto over = text_texture_overrun(demo, text_budget)) throw ContentError(over->message);
    } catch (const ContentError& e) {
        report_fatal_error(e.what());
    } catch (const DeviceAllocationError& e) {
        report_fatal_error(e.what());
    } catch (const std::exception& e) {
        report_fatal_error(std::string("cannot read the package: ") + e.what());
    }
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

// `start_ticks` is the clock origin: the moment the music started.
void run_main_loop(Demo& demo, DemoPlayback& frames, ShownGlWindow& window, uint32_t start_ticks) {
    Runtime& rt = runtime();
    while (true) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        const uint32_t elapsed = SDL_GetTicks() - start_ticks;
        const float beat = beat_at(elapsed, demo.bpm, demo.beat_offset);
        if (timeline_ended(beat, demo.end_beat)) rt.quit_requested = true;

        SDL_Event e;
        while (SDL_PollEvent(&e)) {
            if (e.type == SDL_QUIT) rt.quit_requested = true;
            if (e.type == SDL_KEYUP && e.key.keysym.sym == SDLK_ESCAPE) rt.quit_requested = true;
        }
        glViewport(0, 0, rt.screen.render_width, rt.screen.render_height);
        frames.compose_frame(beat);
        window.swap();
        SDL_Delay(2);
        if (rt.quit_requested) break;
    }
}

// Start-up to shutdown. What it opens are locals declared in the order of
// start-up, so a return or a fatal report lets go of them last first: the
// loader, the document's device side and the document, then the window and
// its context, the font renderer, the mixer and SDL.
int play(const std::string& executable_path) {
    Runtime& rt = runtime();
    SdlSession sdl;
    if (!sdl.init(SDL_INIT_TIMER | SDL_INIT_AUDIO | SDL_INIT_VIDEO | SDL_INIT_EVENTS)) {
        SDL_Log("Failed to initialize SDL: %s", SDL_GetError());
        return 1;
    }
    if (!shows_a_window()) fail_start("Cannot open a display", "no X11 or Wayland display answered");
    Mixer mixer;
    std::string why;
    if (!mixer.open_device(why)) {
        std::printf("Cannot open the audio device: %s\n", why.c_str());
        std::fflush(stdout);
        return -1;
    }
    FontLibrary fonts;
    fonts.open();

    SDL_DisplayMode mode;
    if (SDL_GetDesktopDisplayMode(0, &mode) != 0) {
        SDL_Log("SDL_GetDesktopDisplayMode failed: %s", SDL_GetError());
        return 1;
    }
    rt.screen = ScreenSize::from_desktop_width(mode.w);

    ShownGlWindow window;
    if (!window.open(window_title, rt.screen.width, rt.screen.height, ShownGlWindow::borderless))
        fail_start(window_failure_words(window.failure().step), window.failure().detail);
    print_gl_info();
    std::fflush(stdout);  // seen at once, not only once loading has ended
    set_composition_state();

    Demo demo;
    DemoPlayback playback(demo);
    std::unique_ptr<LoadingScreen> loader;
    or_fatal([&] { loader = begin_loading(window, playback); });  // the loading screen's own target
    load_demo(executable_path, demo, playback, *loader);
    or_fatal([&] {
        playback.realize_links();
        playback.prepare();
    });
    loader->frame(demo.resource_count, demo.resource_count);

    loader->finish(demo.resource_count);
    or_fatal([&] { playback.warm_up(); });
    playback.start_music();
    const uint32_t start_ticks = SDL_GetTicks();
    SDL_AddEventWatch(event_watch, nullptr);
    check_gl_errors("flushing");
    std::fflush(stdout);

    if (!rt.quit_requested) run_main_loop(demo, playback, window, start_ticks);

    SDL_DelEventWatch(event_watch, nullptr);
    // The sound ends with the last frame: the device closes before the
    // samples are let go, which would otherwise stop them and mix one more
    // block without them.
    mixer.close();
    return 0;
}

}  // namespace

int run_player(const std::string& executable_path) {
    try {
        return play(executable_path);
    } catch (const FatalExit&) {
        return 1;  // the report is written, and play() has let go of everything it opened
    }
}

}  // namespace qh
