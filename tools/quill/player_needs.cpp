#include "player_needs.h"

#include <elf.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstddef>
#include <cstring>
#include <stdexcept>
#include <string_view>

#include "package/web_page.h"

namespace qh::quill {

namespace {

// Libraries every x86-64 Linux desktop has.
constexpr std::string_view travelling_libraries[] = {
    "libc.so.6",     "libm.so.6",  "libdl.so.2",     "libpthread.so.0", "librt.so.1", "ld-linux-x86-64.so.2",
    "libgcc_s.so.1", "libGL.so.1", "libOpenGL.so.0", "libGLX.so.0",     "libEGL.so.1"};
constexpr std::string_view glibc_prefix = "GLIBC_";
// The C library of the oldest desktops the travelling player is meant for.
constexpr std::string_view newest_travelling_glibc = "2.35";
constexpr std::string_view cxx_runtime_prefixes[] = {"GLIBCXX_", "CXXABI_"};

class Damaged : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// `size` bytes at `offset` of `in`, checked before anything is touched; `what`
// names them in the message.
std::span<const uint8_t> slice(std::span<const uint8_t> in, uint64_t offset, uint64_t size, const char* what) {
    if (offset > in.size() || size > in.size() - offset)
        throw Damaged(std::string(what) + ": " + std::to_string(size) + " bytes at " + std::to_string(offset) +
                      " run past the " + std::to_string(in.size()) + " there are");
    return in.subspan(offset, size);
}

template <class T>
T record(std::span<const uint8_t> in, uint64_t offset, const char* what) {
    T v;
    std::memcpy(&v, slice(in, offset, sizeof v, what).data(), sizeof v);  // ELF64 LSB on a little-endian host
    return v;
}

// The text at `offset` of a string table, which must end within it.
std::string text(std::span<const uint8_t> strings, uint64_t offset, const char* what) {
    const void* end =
        offset < strings.size() ? std::memchr(strings.data() + offset, 0, strings.size() - offset) : nullptr;
    if (!end)
        throw Damaged(std::string(what) + " at " + std::to_string(offset) + " does not end in its string table");
    return std::string(reinterpret_cast<const char*>(strings.data() + offset), static_cast<const char*>(end));
}

// "2.2.5" as {2, 2, 5}; empty for what is not such a number ("PRIVATE").
std::vector<unsigned> version_number(std::string_view s) {
    std::vector<unsigned> parts;
    const char* p = s.data();
    const char* const end = s.data() + s.size();
    while (true) {
        unsigned part = 0;
        const auto [next, ec] = std::from_chars(p, end, part);
        if (ec != std::errc()) return {};
        parts.push_back(part);
        if (next == end) return parts;
        if (*next != '.') return {};
        p = next + 1;
    }
}

// The newest of the version names that start with `prefix`, "" for none.
std::string newest(const std::vector<std::string>& names, std::string_view prefix) {
    std::string best;
    std::vector<unsigned> best_number;
    for (const std::string& name : names) {
        if (!name.starts_with(prefix)) continue;
        std::vector<unsigned> number = version_number(std::string_view(name).substr(prefix.size()));
        if (!number.empty() && number > best_number) {
            best = name;
            best_number = std::move(number);
        }
    }
    return best;
}

void read_needed(std::span<const uint8_t> dynamic, std::span<const uint8_t> strings,
                 std::vector<std::string>& libraries) {
    for (uint64_t at = 0; at + sizeof(Elf64_Dyn) <= dynamic.size(); at += sizeof(Elf64_Dyn)) {
        const auto entry = record<Elf64_Dyn>(dynamic, at, "dynamic entry");
        if (entry.d_tag == DT_NULL) break;
        if (entry.d_tag == DT_NEEDED) libraries.push_back(text(strings, entry.d_un.d_val, "needed library name"));
    }
}

// `count` version needs, one per library, each with a chain of the versions
// it asks of that library. The links only lead forward, but entries may
// overlap; no sound table has more than its size in 16-byte entries.
void read_version_needs(std::span<const uint8_t> needs, std::span<const uint8_t> strings, uint32_t count,
                        std::vector<std::string>& versions) {
    uint64_t entries_left = needs.size() / sizeof(Elf64_Vernaux);
    const auto visit = [&] {
        if (entries_left-- == 0) throw Damaged("version needs: more entries than the section holds");
    };
    uint64_t at = 0;
    for (uint32_t i = 0; i < count; ++i) {
        visit();
        const auto need = record<Elf64_Verneed>(needs, at, "version need");
        uint64_t version_at = at + need.vn_aux;
        for (uint16_t j = 0; j < need.vn_cnt; ++j) {
            visit();
            const auto version = record<Elf64_Vernaux>(needs, version_at, "needed version");
            versions.push_back(text(strings, version.vna_name, "needed version name"));
            if (version.vna_next == 0) break;
            version_at += version.vna_next;
        }
        if (need.vn_next == 0) break;
        at += need.vn_next;
    }
}

// A 64-bit little-endian ELF file, by its identification bytes.
bool is_elf64_lsb(std::span<const uint8_t> bytes) {
    return bytes.size() >= EI_NIDENT && std::memcmp(bytes.data(), ELFMAG, SELFMAG) == 0 &&
           bytes[EI_CLASS] == ELFCLASS64 && bytes[EI_DATA] == ELFDATA2LSB;
}

void read_tables(std::span<const uint8_t> player, PlayerNeeds& out) {
    const auto header = record<Elf64_Ehdr>(player, 0, "ELF header");
    if (header.e_machine != EM_X86_64 || (header.e_type != ET_EXEC && header.e_type != ET_DYN)) {
        out.is_elf = false;
        return;
    }
    if (header.e_shnum != 0 && header.e_shentsize != sizeof(Elf64_Shdr))
        throw Damaged("section headers of " + std::to_string(header.e_shentsize) + " bytes, not " +
                      std::to_string(sizeof(Elf64_Shdr)));
    const std::span<const uint8_t> table =
        slice(player, header.e_shoff, uint64_t{header.e_shnum} * sizeof(Elf64_Shdr), "section header table");
    std::vector<Elf64_Shdr> sections(header.e_shnum);
    if (!table.empty()) std::memcpy(sections.data(), table.data(), table.size());

    const auto contents = [&](const Elf64_Shdr& s, const char* what) {
        return slice(player, s.sh_offset, s.sh_size, what);
    };
    const auto linked = [&](const Elf64_Shdr& s, const char* what) {
        if (s.sh_link >= sections.size())
            throw Damaged(std::string(what) + ": section " + std::to_string(s.sh_link) + " of " +
                          std::to_string(sections.size()));
        return contents(sections[s.sh_link], what);
    };
    std::vector<std::string> versions;
    for (const Elf64_Shdr& s : sections) {
        if (s.sh_type == SHT_DYNAMIC)
            read_needed(contents(s, "dynamic section"), linked(s, "dynamic string table"), out.libraries);
        else if (s.sh_type == SHT_GNU_verneed)
            read_version_needs(contents(s, "version needs"), linked(s, "version names' string table"),
                               s.sh_info, versions);
    }
    out.glibc = newest(versions, glibc_prefix);
    for (std::string_view prefix : cxx_runtime_prefixes) {
        std::string name = newest(versions, prefix);
        if (!name.empty()) out.cxx_runtime.push_back(std::move(name));
    }
}

}  // namespace

PlayerNeeds read_player_needs(std::span<const uint8_t> player) {
    PlayerNeeds needs;
    if (!is_elf64_lsb(player)) return needs;
    needs.is_elf = true;
    try {
        read_tables(player, needs);
    } catch (const Damaged& e) {
        needs = PlayerNeeds();
        needs.is_elf = true;
        needs.damage = e.what();
    }
    return needs;
}

PlayerSystem player_system(std::span<const uint8_t> player) {
    if (is_web_player_page(player)) return PlayerSystem::web;
    if (is_elf64_lsb(player)) {
        const uint16_t machine = player.size() >= sizeof(Elf64_Ehdr)
                                     ? record<uint16_t>(player, offsetof(Elf64_Ehdr, e_machine), "machine")
                                     : 0;
        return machine == EM_X86_64 ? PlayerSystem::linux_x86_64 : PlayerSystem::unknown;
    }
    // A PE image: the DOS header ("MZ") names where the "PE\0\0" header starts;
    // the machine follows it (0x8664: x86-64).
    constexpr uint64_t pe_offset_at = 0x3c;
    if (player.size() < pe_offset_at + 4 || player[0] != 'M' || player[1] != 'Z') return PlayerSystem::unknown;
    const uint64_t pe = record<uint32_t>(player, pe_offset_at, "PE header offset");
    if (pe > player.size() || player.size() - pe < 6 || std::memcmp(player.data() + pe, "PE\0\0", 4) != 0) {
        return PlayerSystem::unknown;
    }
    return record<uint16_t>(player, pe + 4, "PE machine") == 0x8664 ? PlayerSystem::windows_x86_64
                                                                    : PlayerSystem::unknown;
}

namespace {

struct SystemNames {
    PlayerSystem system;
    const char* key;
    const char* text;
};
constexpr SystemNames system_names[] = {
    {PlayerSystem::linux_x86_64, "linux", "Linux x86-64"},
    {PlayerSystem::windows_x86_64, "windows", "Windows x86-64"},
    {PlayerSystem::web, "web", "a web page (WebGL2)"},
    {PlayerSystem::unknown, "unknown", "not a player quill knows"},
};

const SystemNames& names_of(PlayerSystem system) {
    return *std::find_if(std::begin(system_names), std::end(system_names),
                         [&](const SystemNames& n) { return n.system == system; });
}

}  // namespace

const char* system_key(PlayerSystem system) { return names_of(system).key; }
const char* system_text(PlayerSystem system) { return names_of(system).text; }

bool needs_newer_glibc(const PlayerNeeds& needs, std::string_view glibc) {
    return !needs.glibc.empty() &&
           version_number(std::string_view(needs.glibc).substr(glibc_prefix.size())) > version_number(glibc);
}

std::vector<std::string> needs_beyond_bare_linux(const PlayerNeeds& needs, std::string_view glibc) {
    std::vector<std::string> found;
    for (const std::string& library : needs.libraries) {
        if (std::find(std::begin(travelling_libraries), std::end(travelling_libraries), library) ==
            std::end(travelling_libraries))
            found.push_back(library);
    }
    if (needs_newer_glibc(needs, glibc)) found.push_back(needs.glibc);
    found.insert(found.end(), needs.cxx_runtime.begin(), needs.cxx_runtime.end());
    return found;
}

std::vector<std::string> development_needs(const PlayerNeeds& needs) {
    return needs_beyond_bare_linux(needs, newest_travelling_glibc);
}

namespace {

// What every 64-bit Windows 10 or later has: the system's C runtime, OpenGL
// and the Win32 libraries (the list scripts/check-windows.sh holds the
// Windows player to).
constexpr std::string_view bare_windows_dlls[] = {
    "advapi32.dll", "cfgmgr32.dll", "comdlg32.dll", "dinput8.dll", "dwmapi.dll",   "gdi32.dll",
    "hid.dll",      "imm32.dll",    "kernel32.dll", "msvcrt.dll",  "ole32.dll",    "oleaut32.dll",
    "opengl32.dll", "setupapi.dll", "shell32.dll",  "shlwapi.dll", "user32.dll",   "uxtheme.dll",
    "version.dll",  "winmm.dll",    "ws2_32.dll"};

// The PE32+ fields read here, at their offsets.
constexpr uint64_t pe_offset_at = 0x3c;        // in the DOS header
constexpr uint64_t coff_sections_at = 6;       // after "PE\0\0": the section count
constexpr uint64_t coff_optional_size_at = 20;
constexpr uint64_t optional_header_at = 24;
constexpr uint16_t pe32_plus_magic = 0x20b;
constexpr uint64_t directory_count_at = 108;   // in the optional header
constexpr uint64_t import_directory_at = 120;  // data directory 1
constexpr uint64_t section_header_size = 40;
constexpr uint64_t import_descriptor_size = 20;

struct Section {
    uint32_t address, size, file_offset;
};

// The file offset of the `size` bytes at `rva`, which must lie in one section's file bytes.
uint64_t file_offset_of(const std::vector<Section>& sections, uint64_t rva, uint64_t size, const char* what) {
    for (const Section& s : sections) {
        if (rva >= s.address && rva - s.address < s.size && size <= s.size - (rva - s.address))
            return s.file_offset + (rva - s.address);
    }
    throw Damaged(std::string(what) + ": address " + std::to_string(rva) + " lies in no section of the file");
}

void read_imports(std::span<const uint8_t> image, WindowsImports& out) {
    const uint64_t pe = record<uint32_t>(image, pe_offset_at, "PE header offset");
    const uint64_t section_count = record<uint16_t>(image, pe + coff_sections_at, "section count");
    const uint64_t optional_size = record<uint16_t>(image, pe + coff_optional_size_at, "optional header size");
    const uint64_t optional = pe + optional_header_at;
    if (record<uint16_t>(image, optional, "optional header") != pe32_plus_magic) {
        out.is_pe = false;
        return;
    }
    std::vector<Section> sections;
    const uint64_t table = optional + optional_size;
    for (uint64_t i = 0; i < section_count; ++i) {
        const uint64_t at = table + i * section_header_size;
        sections.push_back({record<uint32_t>(image, at + 12, "section address"),
                            record<uint32_t>(image, at + 16, "section size"),
                            record<uint32_t>(image, at + 20, "section file offset")});
        slice(image, sections.back().file_offset, sections.back().size, "section bytes");
    }
    if (record<uint32_t>(image, optional + directory_count_at, "data directory count") < 2) return;
    const uint64_t imports_rva = record<uint32_t>(image, optional + import_directory_at, "import directory");
    if (imports_rva == 0) return;
    // Descriptors run until an empty one; the section that holds them bounds them.
    for (uint64_t rva = imports_rva;; rva += import_descriptor_size) {
        const uint64_t at = file_offset_of(sections, rva, import_descriptor_size, "import descriptor");
        const std::span<const uint8_t> descriptor = slice(image, at, import_descriptor_size, "import descriptor");
        if (std::all_of(descriptor.begin(), descriptor.end(), [](uint8_t b) { return b == 0; })) break;
        const uint64_t name_rva = record<uint32_t>(image, at + 12, "imported DLL's name");
        const uint64_t name_at = file_offset_of(sections, name_rva, 1, "imported DLL's name");
        out.dlls.push_back(text(image, name_at, "imported DLL's name"));
    }
}

}  // namespace

WindowsImports read_windows_imports(std::span<const uint8_t> player) {
    WindowsImports imports;
    if (player_system(player) != PlayerSystem::windows_x86_64) return imports;
    imports.is_pe = true;
    try {
        read_imports(player, imports);
    } catch (const Damaged& e) {
        imports = WindowsImports();
        imports.is_pe = true;
        imports.damage = e.what();
    }
    return imports;
}

std::vector<std::string> dlls_beyond_bare_windows(const WindowsImports& imports) {
    std::vector<std::string> found;
    for (const std::string& dll : imports.dlls) {
        std::string lower = dll;
        std::transform(lower.begin(), lower.end(), lower.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (std::find(std::begin(bare_windows_dlls), std::end(bare_windows_dlls), lower) ==
            std::end(bare_windows_dlls))
            found.push_back(dll);
    }
    return found;
}

}  // namespace qh::quill
