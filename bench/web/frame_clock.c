// Loaded into the development build of the player (LD_PRELOAD), it writes
// when the music starts and when each frame is shown, in milliseconds since
// the process started, to the file QH_FRAME_LOG names:
//   music 5123.4
//   frame 5140.2
// The player links SDL and its mixer dynamically there, so their calls pass
// through here first.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

static FILE* out;
static struct timespec origin;

__attribute__((constructor)) static void open_log(void) {
    clock_gettime(CLOCK_MONOTONIC, &origin);
    const char* path = getenv("QH_FRAME_LOG");
    out = fopen(path ? path : "frames.log", "w");
}

static void note(const char* what) {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    const double ms = (now.tv_sec - origin.tv_sec) * 1e3 + (now.tv_nsec - origin.tv_nsec) / 1e6;
    if (out) {
        fprintf(out, "%s %.1f\n", what, ms);
        fflush(out);
    }
}

int Mix_PlayMusic(void* music, int loops) {
    static int (*real)(void*, int);
    if (!real) real = (int (*)(void*, int))dlsym(RTLD_NEXT, "Mix_PlayMusic");
    note("music");
    return real(music, loops);
}

void SDL_GL_SwapWindow(void* window) {
    static void (*real)(void*);
    if (!real) real = (void (*)(void*))dlsym(RTLD_NEXT, "SDL_GL_SwapWindow");
    real(window);
    note("frame");
}
