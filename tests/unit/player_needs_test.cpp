// What a player needs from the system, read from real ELF bytes: damaged
// copies of this test program's own file must read as damaged or as no
// executable, never out of bounds (the sanitizer build runs these too). What
// an intact player needs is checked through `quill info` (tests/e2e).
#include <gtest/gtest.h>

#include <elf.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "player_needs.h"
#include "support/sample_demo.h"

namespace qh::quill {
namespace {

using Bytes = std::vector<uint8_t>;

const Bytes& own_file() {
    static const Bytes bytes = [] {
        Bytes b(std::filesystem::file_size("/proc/self/exe"));
        std::ifstream("/proc/self/exe", std::ios::binary).read(reinterpret_cast<char*>(b.data()), b.size());
        return b;
    }();
    return bytes;
}

Elf64_Ehdr header(const Bytes& b) {
    Elf64_Ehdr h;
    std::memcpy(&h, b.data(), sizeof h);
    return h;
}

// Calls `change` on each section header of `b` and writes it back.
template <class F>
void change_sections(Bytes& b, F change) {
    const Elf64_Ehdr h = header(b);
    for (size_t i = 0; i < h.e_shnum; ++i) {
        uint8_t* at = b.data() + h.e_shoff + i * sizeof(Elf64_Shdr);
        Elf64_Shdr s;
        std::memcpy(&s, at, sizeof s);
        change(b, s);
        std::memcpy(at, &s, sizeof s);
    }
}

struct Damage {
    const char* name;
    void (*change)(Bytes&);
    bool elf;  // still an x86-64 executable (then damaged), or not one at all
};

TEST(PlayerNeeds, DamagedOrForeignBytesAreToldApart) {
    const Damage cases[] = {
        {"a script", [](Bytes& b) { b = test::bytes_of("#!/bin/sh\nexec echo a player\n"); }, false},
        {"32-bit", [](Bytes& b) { b[EI_CLASS] = ELFCLASS32; }, false},
        {"another machine", [](Bytes& b) { b[offsetof(Elf64_Ehdr, e_machine)] = EM_AARCH64; }, false},
        {"cut inside the ELF header", [](Bytes& b) { b.resize(40); }, true},
        {"cut inside the section headers", [](Bytes& b) { b.resize(header(b).e_shoff + 100); }, true},
        {"section headers at the end of the address space",
         [](Bytes& b) { std::fill_n(b.begin() + offsetof(Elf64_Ehdr, e_shoff), 8, 0xff); }, true},
        {"sections past the end",
         [](Bytes& b) { change_sections(b, [](Bytes& f, Elf64_Shdr& s) { s.sh_offset += f.size(); }); }, true},
        {"string tables linked out of range",
         [](Bytes& b) { change_sections(b, [](Bytes&, Elf64_Shdr& s) { s.sh_link = 0xffff; }); }, true},
        {"string tables without an end", [](Bytes& b) {
             change_sections(b, [](Bytes& f, Elf64_Shdr& s) {
                 if (s.sh_type == SHT_STRTAB) std::fill_n(f.begin() + s.sh_offset, s.sh_size, 'x');
             });
         }, true},
    };
    for (const Damage& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes bytes = own_file();
        c.change(bytes);
        const PlayerNeeds needs = read_player_needs(bytes);
        EXPECT_EQ(needs.is_elf, c.elf);
        EXPECT_EQ(needs.damage.empty(), !c.elf) << needs.damage;
        EXPECT_TRUE(needs.libraries.empty());
        EXPECT_TRUE(development_needs(needs).empty());
    }
}

// The system a player is for, from its header: quill pack --target checks a
// player with it, and a header that points astray is no player.
TEST(PlayerNeeds, SystemComesFromTheHeaderAndAHeaderAstrayIsNone) {
    // A PE image's headers: "MZ", the PE header's offset at 0x3c, "PE\0\0" and the machine there.
    const auto pe = [](uint32_t at, uint16_t machine, size_t size) {
        Bytes b(size);
        b[0] = 'M', b[1] = 'Z';
        std::memcpy(&b[0x3c], &at, 4);
        if (size_t{at} + 6 <= size) {
            std::memcpy(&b[at], "PE\0\0", 4);
            std::memcpy(&b[at + 4], &machine, 2);
        }
        return b;
    };
    Bytes arm = own_file();
    arm[offsetof(Elf64_Ehdr, e_machine)] = EM_AARCH64;
    const struct {
        const char* name;
        Bytes bytes;
        PlayerSystem system;
    } cases[] = {
        {"this test program", own_file(), PlayerSystem::linux_x86_64},
        {"an ELF for another machine", arm, PlayerSystem::unknown},
        {"a Windows x86-64 image", pe(0x80, 0x8664, 512), PlayerSystem::windows_x86_64},
        {"a 32-bit Windows image", pe(0x80, 0x14c, 512), PlayerSystem::unknown},
        {"a PE header past the end", pe(0x1f0, 0x8664, 0x1f4), PlayerSystem::unknown},
        {"a PE header at the end of the address space", pe(0xffffffff, 0x8664, 512), PlayerSystem::unknown},
        {"cut inside the DOS header", Bytes{'M', 'Z', 0x90, 0}, PlayerSystem::unknown},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(player_system(c.bytes), c.system) << c.name;
    }
}

// Each byte of the tables the reader follows, turned over in turn: a reading
// or a damage report every time, never a read astray (the sanitizers judge).
TEST(PlayerNeeds, EveryByteOfItsTablesTurnedOverStaysInBounds) {
    Bytes bytes = own_file();
    std::vector<std::pair<uint64_t, uint64_t>> tables = {{header(bytes).e_shoff, header(bytes).e_shnum * sizeof(Elf64_Shdr)}};
    change_sections(bytes, [&](Bytes&, Elf64_Shdr& s) {
        if (s.sh_type == SHT_DYNAMIC || s.sh_type == SHT_GNU_verneed) tables.emplace_back(s.sh_offset, s.sh_size);
    });
    ASSERT_EQ(tables.size(), 3u) << "the section headers, the dynamic section and the version needs";
    size_t damaged = 0;
    for (const auto& [offset, size] : tables) {
        for (uint64_t at = offset; at < offset + size; ++at) {
            bytes[at] ^= 0xff;
            damaged += !read_player_needs(bytes).damage.empty();
            bytes[at] ^= 0xff;
        }
    }
    EXPECT_GT(damaged, 0u);
}

// The rule the warning rests on, at its edges.
TEST(PlayerNeeds, OnlyWhatEveryDesktopHasLetsAPlayerTravel) {
    const std::pair<PlayerNeeds, std::vector<std::string>> cases[] = {
        {{true, "", {"libc.so.6", "libm.so.6", "libGL.so.1", "ld-linux-x86-64.so.2"}, "GLIBC_2.35", {}}, {}},
        {{true, "", {"libc.so.6"}, "GLIBC_2.4", {}}, {}},  // by number, not as text
        {{true, "", {"libc.so.6"}, "GLIBC_2.36", {}}, {"GLIBC_2.36"}},
        {{true, "", {"libSDL2-2.0.so.0", "libstdc++.so.6"}, "GLIBC_2.34", {"GLIBCXX_3.4.29", "CXXABI_1.3.9"}},
         {"libSDL2-2.0.so.0", "libstdc++.so.6", "GLIBCXX_3.4.29", "CXXABI_1.3.9"}},
    };
    for (const auto& [needs, development] : cases) EXPECT_EQ(development_needs(needs), development) << needs.glibc;
}

}  // namespace
}  // namespace qh::quill
