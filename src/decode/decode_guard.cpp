#include "decode/decode_guard.h"

#include <SDL.h>

#include <mutex>

namespace qh {

namespace {

// SDL's functions as they were before ours; every allocation, guarded or
// not, ends up in them, so memory from before the switch frees alike.
SDL_malloc_func base_malloc = nullptr;
SDL_calloc_func base_calloc = nullptr;
SDL_realloc_func base_realloc = nullptr;
SDL_free_func base_free = nullptr;

thread_local int guards = 0;

bool refused(size_t size) { return guards > 0 && size > max_decode_allocation; }

void* guarded_malloc(size_t size) { return refused(size) ? nullptr : base_malloc(size); }

void* guarded_calloc(size_t count, size_t size) {
    if (guards > 0 && size != 0 && count > max_decode_allocation / size) return nullptr;
    return base_calloc(count, size);
}

void* guarded_realloc(void* p, size_t size) { return refused(size) ? nullptr : base_realloc(p, size); }

void guarded_free(void* p) { base_free(p); }

void install() {
    static std::once_flag once;
    std::call_once(once, [] {
        SDL_GetMemoryFunctions(&base_malloc, &base_calloc, &base_realloc, &base_free);
        SDL_SetMemoryFunctions(guarded_malloc, guarded_calloc, guarded_realloc, guarded_free);
    });
}

}  // namespace

DecodeGuard::DecodeGuard() {
    install();
    ++guards;
}

DecodeGuard::~DecodeGuard() { --guards; }

}  // namespace qh
