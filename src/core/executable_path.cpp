#include "core/executable_path.h"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <vector>
#else
#include <climits>
#include <unistd.h>
#endif

namespace qh {

#ifdef _WIN32
// The path in UTF-8, as every path the player holds; the buffer grows until
// the whole path fits (Windows paths may be longer than MAX_PATH).
std::string own_executable_path() {
    std::vector<wchar_t> wide(MAX_PATH);
    DWORD n = 0;
    while ((n = GetModuleFileNameW(nullptr, wide.data(), static_cast<DWORD>(wide.size()))) ==
           wide.size()) {
        if (wide.size() >= 32768) return {};
        wide.resize(wide.size() * 2);
    }
    if (n == 0) return {};
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(n), nullptr, 0,
                                          nullptr, nullptr);
    if (bytes <= 0) return {};
    std::string path(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(n), path.data(), bytes, nullptr,
                        nullptr);
    return path;
}
#else
std::string own_executable_path() {
    char buf[PATH_MAX + 1];
    const ssize_t n = readlink("/proc/self/exe", buf, PATH_MAX);
    if (n <= 0) return {};
    return std::string(buf, static_cast<size_t>(n));
}
#endif

}  // namespace qh
