#pragma once
// What a player executable needs from the system it runs on: the shared
// libraries its dynamic section names and the newest symbol versions it asks
// of the C and C++ runtimes, read from its ELF bytes.
//
//   const PlayerNeeds needs = read_player_needs(player_bytes);  // never throws
//   if (!needs.is_elf) ...               // not a Linux x86-64 executable
//   else if (!needs.damage.empty()) ...  // its tables do not read
//   for (const std::string& n : development_needs(needs)) ...  // keeps it at home
//
// Every read is checked against the bytes given before it touches them; a
// table that points outside them, or runs on without end, is reported in
// `damage` and nothing else is claimed.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qh::quill {

struct PlayerNeeds {
    bool is_elf = false;                   // a 64-bit little-endian x86-64 ELF executable
    std::string damage;                    // why its tables could not be read; empty when they were
    std::vector<std::string> libraries;    // its DT_NEEDED entries, in the file's order
    std::string glibc;                     // the newest "GLIBC_x.y" it asks for; empty for none
    std::vector<std::string> cxx_runtime;  // the newest "GLIBCXX_..." and "CXXABI_..." it asks for
};

PlayerNeeds read_player_needs(std::span<const uint8_t> player);

// The system a player is for, from its header: an x86-64 ELF executable is a
// Linux player, an x86-64 PE image a Windows one, the web player's page
// (package/web_page.h) is for browsers.
enum class PlayerSystem { unknown, linux_x86_64, windows_x86_64, web };
PlayerSystem player_system(std::span<const uint8_t> player);
// "linux", "windows" and "web" (as `quill pack --target` takes them), "unknown".
const char* system_key(PlayerSystem system);
// "Linux x86-64", "Windows x86-64", "a web page (WebGL2)", "not a player quill knows".
const char* system_text(PlayerSystem system);

// What keeps a player from running on any x86-64 Linux desktop: libraries
// outside the set every one has (the C library's parts, the GCC runtime, GL's
// dispatch libraries), a GLIBC version above 2.35, and any C++ runtime version
// (the travelling player carries its own). Empty for a travelling player and
// for one whose needs could not be read.
std::vector<std::string> development_needs(const PlayerNeeds& needs);

// The same for a Linux whose C library is version `glibc` ("2.35"): what a
// player needs beyond what is there with nothing installed.
std::vector<std::string> needs_beyond_bare_linux(const PlayerNeeds& needs, std::string_view glibc);
// Whether it asks for a GLIBC version newer than `glibc` ("2.35").
bool needs_newer_glibc(const PlayerNeeds& needs, std::string_view glibc);

// The DLLs a Windows player imports, read from its PE import table, checked
// as the ELF tables are.
struct WindowsImports {
    bool is_pe = false;              // a PE32+ image for x86-64
    std::string damage;              // why its tables could not be read; empty when they were
    std::vector<std::string> dlls;   // as the image names them, in its order
};
WindowsImports read_windows_imports(std::span<const uint8_t> player);
// The DLLs among `imports` that a bare 64-bit Windows 10 or later does not
// have: what is not its C runtime, OpenGL or the Win32 libraries.
std::vector<std::string> dlls_beyond_bare_windows(const WindowsImports& imports);

}  // namespace qh::quill
