// The DLLs a Windows player imports, read from a small PE32+ image made here:
// each name as written, the ones a bare Windows lacks told apart, and every
// byte of its headers and import table turned over read as damage or as a
// reading, never out of bounds (the sanitizer build runs these too).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "player_needs.h"

namespace qh::quill {
namespace {

using Bytes = std::vector<uint8_t>;

template <class T>
void put(Bytes& b, size_t at, T v) {
    std::memcpy(b.data() + at, &v, sizeof v);
}

// "MZ" pointing at "PE\0\0" at 0x40, one section (.idata at address 0x1000,
// file offset 0x200) holding the import descriptors, then the DLLs' names.
constexpr size_t pe = 0x40, optional = pe + 24, optional_size = 240, section = optional + optional_size;
constexpr uint32_t idata_address = 0x1000, idata_offset = 0x200, idata_size = 0x200;

Bytes image_importing(const std::vector<std::string>& dlls) {
    Bytes b(idata_offset + idata_size);
    b[0] = 'M', b[1] = 'Z';
    put<uint32_t>(b, 0x3c, pe);
    std::memcpy(b.data() + pe, "PE\0\0", 4);
    put<uint16_t>(b, pe + 4, 0x8664);
    put<uint16_t>(b, pe + 6, 1);
    put<uint16_t>(b, pe + 20, optional_size);
    put<uint16_t>(b, optional, 0x20b);
    put<uint32_t>(b, optional + 108, 16);
    put<uint32_t>(b, optional + 120, idata_address);
    put<uint32_t>(b, optional + 124, static_cast<uint32_t>(20 * (dlls.size() + 1)));
    std::memcpy(b.data() + section, ".idata", 6);
    put<uint32_t>(b, section + 8, idata_size);
    put<uint32_t>(b, section + 12, idata_address);
    put<uint32_t>(b, section + 16, idata_size);
    put<uint32_t>(b, section + 20, idata_offset);
    uint32_t name_at = static_cast<uint32_t>(20 * (dlls.size() + 1));
    for (size_t i = 0; i < dlls.size(); ++i) {
        put<uint32_t>(b, idata_offset + 20 * i + 12, idata_address + name_at);
        std::memcpy(b.data() + idata_offset + name_at, dlls[i].c_str(), dlls[i].size() + 1);
        name_at += static_cast<uint32_t>(dlls[i].size() + 1);
    }
    return b;
}

struct ImportCase {
    const char* name;
    std::vector<std::string> dlls;
    std::vector<std::string> beyond;  // what a bare Windows lacks
};

TEST(WindowsImports, NamesAreReadAndTheSystemsOwnToldApart) {
    const ImportCase cases[] = {
        {"the system's, in any case", {"KERNEL32.dll", "opengl32.dll", "User32.DLL"}, {}},
        {"a runtime of the compiler's", {"KERNEL32.dll", "libstdc++-6.dll", "SDL2.dll"}, {"libstdc++-6.dll", "SDL2.dll"}},
        {"none at all", {}, {}},
    };
    for (const ImportCase& c : cases) {
        SCOPED_TRACE(c.name);
        const WindowsImports imports = read_windows_imports(image_importing(c.dlls));
        EXPECT_TRUE(imports.is_pe);
        EXPECT_EQ(imports.damage, "");
        EXPECT_EQ(imports.dlls, c.dlls);
        EXPECT_EQ(dlls_beyond_bare_windows(imports), c.beyond);
    }
}

TEST(WindowsImports, EveryByteOfItsTablesTurnedOverStaysInBounds) {
    Bytes b = image_importing({"KERNEL32.dll", "SDL2.dll"});
    size_t damaged = 0;
    for (size_t at = 0; at < section + 40; ++at) {
        b[at] ^= 0xff;
        damaged += !read_windows_imports(b).damage.empty();
        b[at] ^= 0xff;
    }
    for (size_t at = idata_offset; at < idata_offset + 80; ++at) {
        b[at] ^= 0xff;
        damaged += !read_windows_imports(b).damage.empty();
        b[at] ^= 0xff;
    }
    EXPECT_GT(damaged, 0u);
    // Cut short anywhere: no longer a Windows image, or damaged.
    for (size_t size = 0; size < b.size(); size += 7) {
        const WindowsImports cut = read_windows_imports(Bytes(b.begin(), b.begin() + size));
        EXPECT_TRUE(!cut.is_pe || !cut.damage.empty() || cut.dlls.size() == 2) << size;
    }
}

}  // namespace
}  // namespace qh::quill
