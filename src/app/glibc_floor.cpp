// The travelling player runs on glibc 2.35. The static C++ runtime built on
// a newer glibc names arc4random (2.36) in std::random_device, which comes
// along with std::runtime_error whether or not anything draws a random
// number; linked with --wrap=arc4random, that call lands here instead, on
// getrandom (2.25), the same kernel source.
#include <sys/random.h>

#include <cerrno>
#include <cstdint>

extern "C" uint32_t __wrap_arc4random() {
    uint32_t value = 0;
    ssize_t got = 0;
    do {
        got = getrandom(&value, sizeof value, 0);
    } while (got != static_cast<ssize_t>(sizeof value) && (got >= 0 || errno == EINTR));
    return value;
}
