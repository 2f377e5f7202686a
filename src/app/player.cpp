#include "app/player.h"

#include <GL/glew.h>
#include <SDL.h>
#include <SDL_mixer.h>
#include <SDL_ttf.h>

#include <cstdio>
#include <memory>
#include <vector>

#include "app/fatal_report.h"
#include "app/loading_screen.h"
#include "audio/music.h"
#include "platform/gl_window.h"
#include "core/runtime.h"
#include "document/demo.h"
#include "document/demo_io.h"
#include "document/device_memory.h"
#include "playback/demo_playback.h"
#include "playback/frame_composition.h"
#include "package/errors.h"
#include "package/trailer.h"
#include "qh_version.h"
#include "render/gl/device_allocation.h"
#include "render/gl/gl_util.h"

namespace qh {

namespace {

const char* const window_title = "Quillharbor :: " QH_VERSION;

SDL_Window* main_window = nullptr;
SDL_GLContext gl_context = nullptr;
Demo* current_demo = nullptr;
DemoPlayback* playback = nullptr;
LoadingScreen* loader = nullptr;

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

void drain_events() {
    SDL_Event e;
    while (SDL_PollEvent(&e)) {
    }
}

// Hidden cursor, vertical sync, one swap before anything is drawn, then the
// loader's own objects.
void begin_loading() {
    SDL_ShowCursor(SDL_DISABLE);
    drain_events();
    SDL_GL_MakeCurrent(main_window, gl_context);
    SDL_GL_SetSwapInterval(1);
    glViewport(0, 0, 1920, 1080);
    SDL_GL_SwapWindow(main_window);
    loader = new LoadingScreen(main_window, gl_context, playback->samples());
}

// Reads the package into the document, each record's device work right after
// it and a loading frame after that; then what needs the links, and the
// frame that says the demo is ready. Events that arrive meanwhile are
// dropped by the loading frames, quit requests included.
void load_demo(const std::string& executable_path, Demo& demo) {
    std::vector<uint8_t> payload;
    const TrailerStatus status = read_package_file(executable_path, payload);
    if (status == TrailerStatus::no_package) report_missing_package();
    if (status != TrailerStatus::found) report_fatal_error(describe(status, executable_path));
    try {
        const uint64_t text_budget = text_texture_budget();  // a malformed one fails before the work
        read_demo_payload(
            demo, payload,
            [](uint64_t read, uint64_t total) {
                if (read < total) loader->frame(read, total);
            },
            [](const RecordRef& record) { playback->realize_record(record); });
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
void run_main_loop(Demo& demo, DemoPlayback& frames, uint32_t start_ticks) {
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
        SDL_GL_SwapWindow(main_window);
        SDL_Delay(2);
        if (rt.quit_requested) break;
    }
}

}  // namespace

int run_player(const std::string& executable_path) {
    Runtime& rt = runtime();
    if (SDL_Init(SDL_INIT_TIMER | SDL_INIT_AUDIO | SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0) {
        SDL_Log("Failed to initialize SDL: %s", SDL_GetError());
        return 1;
    }
    if (!shows_a_window()) fail_start("Cannot open a display", "no X11 or Wayland display answered");
    if (open_mixer() == -1) {
        std::printf("Cannot open the audio device: %s\n", Mix_GetError());
        std::fflush(stdout);
        return -1;
    }
    TTF_Init();
    set_gl_attributes();

    SDL_DisplayMode mode;
    if (SDL_GetDesktopDisplayMode(0, &mode) != 0) {
        SDL_Log("SDL_GetDesktopDisplayMode failed: %s", SDL_GetError());
        return 1;
    }
    rt.screen = ScreenSize::from_desktop_width(mode.w);

    main_window = SDL_CreateWindow(window_title, SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED,
                                   rt.screen.width, rt.screen.height,
                                   SDL_WINDOW_OPENGL | SDL_WINDOW_BORDERLESS);
    if (!main_window) fail_start("Cannot create the window", SDL_GetError());

    gl_context = SDL_GL_CreateContext(main_window);
    if (!gl_context) fail_start("Cannot create the OpenGL context", SDL_GetError());
    std::string glew_error;
    if (!load_gl_entry_points(glew_error)) fail_start("Cannot initialise GLEW", glew_error);
    print_gl_info();
    std::fflush(stdout);  // seen at once, not only once loading has ended
    set_composition_state();

    // The document, its device side and the loader live until the process ends.
    current_demo = new Demo;
    playback = new DemoPlayback(*current_demo);
    or_fatal([] { begin_loading(); });  // the loading screen's own target
    load_demo(executable_path, *current_demo);
    or_fatal([] {
        playback->realize_links();
        playback->prepare();
    });
    loader->frame(current_demo->resource_count, current_demo->resource_count);

    loader->finish(current_demo->resource_count);
    or_fatal([] { playback->warm_up(); });
    playback->start_music();
    const uint32_t start_ticks = SDL_GetTicks();
    SDL_AddEventWatch(event_watch, nullptr);
    check_gl_errors("flushing");
    std::fflush(stdout);

    if (!rt.quit_requested) run_main_loop(*current_demo, *playback, start_ticks);

    SDL_DelEventWatch(event_watch, nullptr);
    SDL_GL_DeleteContext(gl_context);
    SDL_DestroyWindow(main_window);
    SDL_Quit();
    return 0;
}

}  // namespace qh
