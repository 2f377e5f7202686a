#include "core/executable_path.h"

#include <climits>
#include <unistd.h>

namespace qh {

std::string own_executable_path() {
    char buf[PATH_MAX + 1];
    const ssize_t n = readlink("/proc/self/exe", buf, PATH_MAX);
    if (n <= 0) return {};
    return std::string(buf, static_cast<size_t>(n));
}

}  // namespace qh
