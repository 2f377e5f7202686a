#include "app/player.h"

#include <GL/glew.h>
#include <SDL.h>
#include <SDL_mixer.h>
#include <SDL_ttf.h>

#include <climits>
#include <cstdio>
#include <memory>
#include <unistd.h>
#include <vector>

#include "app/fatal_report.h"
#include "app/gl_window.h"
#include "core/runtime.h"
#include "package/demo.h"
#include "package/demo_io.h"
#include "package/demo_playback.h"
#include "package/errors.h"
#include "package/trailer.h"
#include "qh_version.h"
#include "render/gl/gl_util.h"

namespace qh {

namespace {

const char* const window_title = "Quillharbor :: " QH_VERSION;

SDL_Window* main_window = nullptr;
SDL_GLContext gl_context = nullptr;
Demo* current_demo = nullptr;
DemoPlayback* playback = nullptr;

int event_watch(void*, SDL_Event* event) {
    if (event->type == SDL_APP_WILLENTERBACKGROUND) runtime().quit_requested = true;
    return 1;
}

// Start-up failures the player cannot recover from but that would otherwise
// pass silently: said on standard output (where the other diagnostics go) and
// in the SDL log, then the process ends with status 1.
[[noreturn]] void fail_start(const char* what) {
    std::printf("%s: %s\n", what, SDL_GetError());
    std::fflush(stdout);
    SDL_Log("%s: %s", what, SDL_GetError());
    std::exit(1);
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

// The part of the loading screen's set-up the shell needs whatever the screen
// shows: hidden cursor, vertical sync, one swap before anything is drawn.
void begin_loading() {
    SDL_ShowCursor(SDL_DISABLE);
    drain_events();
    SDL_GL_MakeCurrent(main_window, gl_context);
    SDL_GL_SetSwapInterval(1);
    glViewport(0, 0, 1920, 1080);
    SDL_GL_SwapWindow(main_window);
}

std::unique_ptr<Demo> load_demo(const std::string& executable_path) {
    std::vector<uint8_t> payload;
    const TrailerStatus status = read_package_file(executable_path, payload);
    if (status == TrailerStatus::no_package) report_missing_package();
    if (status != TrailerStatus::found) report_fatal_error(describe(status, executable_path));
    try {
        // Events that arrive while loading are dropped, quit requests included.
        return read_demo_payload(payload, [](uint64_t, uint64_t) { drain_events(); });
    } catch (const ContentError& e) {
        report_fatal_error(e.what());
    } catch (const std::exception& e) {
        report_fatal_error(std::string("cannot read the package: ") + e.what());
    }
}

void run_main_loop(Demo& demo, DemoPlayback& frames) {
    Runtime& rt = runtime();
    while (true) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        const uint32_t elapsed = SDL_GetTicks() - rt.start_ticks;
        rt.current_beat = beat_at(elapsed, demo.bpm, demo.beat_offset);
        if (timeline_ended(rt.current_beat, demo.end_beat)) rt.quit_requested = true;

        SDL_Event e;
        while (SDL_PollEvent(&e)) {
            if (e.type == SDL_QUIT) rt.quit_requested = true;
            if (e.type == SDL_KEYUP && e.key.keysym.sym == SDLK_ESCAPE) rt.quit_requested = true;
        }
        glViewport(0, 0, rt.screen.render_width, rt.screen.render_height);
        frames.compose_frame(rt.current_beat);
        SDL_GL_SwapWindow(main_window);
        SDL_Delay(2);
        if (rt.quit_requested) break;
    }
}

}  // namespace

std::string own_executable_path() {
    char buf[PATH_MAX + 1];
    const ssize_t n = readlink("/proc/self/exe", buf, PATH_MAX);
    if (n <= 0) return {};
    return std::string(buf, static_cast<size_t>(n));
}

int run_player(const std::string& executable_path) {
    Runtime& rt = runtime();
    if (SDL_Init(SDL_INIT_TIMER | SDL_INIT_AUDIO | SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0) {
        SDL_Log("Failed to initialize SDL: %s", SDL_GetError());
        return 1;
    }
    if (Mix_OpenAudio(44100, AUDIO_S16LSB, 2, 1024) == -1) {
        std::printf("Cannot open the audio device: %s\n", Mix_GetError());
        std::fflush(stdout);
        return -1;
    }
    Uint16 format = 0;
    Mix_QuerySpec(&rt.audio_frequency, &format, &rt.audio_channels);
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
    if (!main_window) fail_start("Cannot create the window");
    SDL_GetWindowSize(main_window, &rt.window_width, &rt.window_height);

    gl_context = SDL_GL_CreateContext(main_window);
    if (!gl_context) fail_start("Cannot create the OpenGL context");
    std::string glew_error;
    if (!load_gl_entry_points(glew_error)) {
        std::printf("Cannot initialise GLEW: %s\n", glew_error.c_str());
        std::fflush(stdout);
        return 1;
    }
    print_gl_info();
    glClearColor(0, 0, 0, 1);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);

    begin_loading();

    // The document and its device side live until the process ends.
    current_demo = load_demo(executable_path).release();
    playback = new DemoPlayback(*current_demo);
    playback->realize();
    playback->prepare();

    rt.white_texture = create_color_texture(1, 1, 1, 1);
    playback->warm_up();
    playback->start_music();
    rt.start_ticks = SDL_GetTicks();
    SDL_AddEventWatch(event_watch, nullptr);
    check_gl_errors("flushing");
    std::fflush(stdout);

    if (!rt.quit_requested) run_main_loop(*current_demo, *playback);

    SDL_DelEventWatch(event_watch, nullptr);
    SDL_GL_DeleteContext(gl_context);
    SDL_DestroyWindow(main_window);
    SDL_Quit();
    return 0;
}

}  // namespace qh
