#include <SDL_main.h>  // where SDL starts the program itself (Windows), this main is its SDL_main

#include "app/player.h"
#include "core/executable_path.h"

int main(int, char**) {
    // Command-line arguments are not used: the only input is the executable itself.
    return qh::run_player(qh::own_executable_path());
}
