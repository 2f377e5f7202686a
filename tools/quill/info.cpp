#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>

#include "cli.h"
#include "commands.h"
#include "document_io.h"
#include "document/demo_tables.h"
#include "package/errors.h"
#include "player_needs.h"
#include "timeline_svg.h"

namespace qh::quill {

namespace {

const char* const usage =
    "usage: quill info FILE [--json] [--timeline OUT.svg]\n"
    "\n"
    "Shows a package's tempo, end beat and running time, and each table with its\n"
    "records' names and stored sizes, and of a packed file the player's and the\n"
    "content's (payload and trailer) share of its bytes, the system the player\n"
    "runs on (Linux or Windows, x86-64), the shared libraries a Linux player\n"
    "names and the newest C and C++ runtime versions it asks for (with a\n"
    "warning when it is a development build that runs only where those are\n"
    "installed). FILE may also be a project.json.\n"
    "--json prints the same as one JSON object.\n"
    "--timeline OUT.svg also draws the timeline over beats into OUT.svg: one row\n"
    "per event, grouped by the record it targets, a group's members under it,\n"
    "bars over the windows with the curves drawn small inside, beat and\n"
    "seconds rulers.\n";

template <class T>
uint64_t stored_size(const T& record) {
    BinaryWriter w;
    record.write_binary(w);
    return w.bytes().size();
}

void write_timeline(const Demo& demo, const std::filesystem::path& out) {
    const std::string svg = timeline_svg(demo);
    std::ofstream o(out, std::ios::binary | std::ios::trunc);
    if (!o) throw ContentError("cannot create " + out.string());
    o.write(svg.data(), static_cast<std::streamsize>(svg.size()));
    if (!o.flush()) throw ContentError("cannot write " + out.string());
    std::fprintf(stderr, "quill: drew the timeline of %zu events into %s\n", demo.events.size(),
                 out.string().c_str());
}

std::string joined(const std::vector<std::string>& items) {
    std::string out;
    for (const std::string& item : items) out += (out.empty() ? "" : ", ") + item;
    return out;
}

JsonValue needs_json(const PlayerNeeds& needs) {
    return {{"linux_x86_64", needs.is_elf},  {"damage", needs.damage},
            {"libraries", needs.libraries},  {"glibc", needs.glibc},
            {"cxx_runtime", needs.cxx_runtime}, {"development_needs", development_needs(needs)}};
}

void print_needs(const PlayerNeeds& needs) {
    if (!needs.is_elf) {
        std::printf("player needs: not known: the player is not a Linux x86-64 executable\n");
    } else if (!needs.damage.empty()) {
        std::printf("player needs: not known: its ELF tables are damaged (%s)\n", needs.damage.c_str());
    } else {
        std::printf("player needs: %s\n",
                    needs.libraries.empty() ? "no shared libraries" : joined(needs.libraries).c_str());
        std::printf("glibc floor:  %s\n", needs.glibc.empty() ? "none" : needs.glibc.c_str());
        std::printf("C++ runtime:  %s\n", needs.cxx_runtime.empty() ? "none" : joined(needs.cxx_runtime).c_str());
    }
}

// On standard error, so that --json still prints JSON alone; stdout is
// flushed first so that on a terminal the warning follows what it is about.
void warn_if_development_build(const PlayerNeeds& needs) {
    const std::vector<std::string> found = development_needs(needs);
    if (found.empty()) return;
    std::fflush(stdout);
    std::fprintf(stderr,
                 "quill: warning: the player is a development build that needs %s; it runs only where "
                 "those are installed. Make the travelling player, build/" QH_PACKED_PLAYER_NAME
                 ", with `make build` and pack again with `build/quill pack PROJECT/project.json -o OUT`.\n",
                 joined(found).c_str());
}

}  // namespace

int cmd_info(const std::vector<std::string>& argv) {
    const Args args = parse_args(argv, {"--timeline"}, {"--json"});
    if (args.flag("--help")) {
        std::fputs(usage, stdout);
        return exit_ok;
    }
    if (args.positional.size() != 1) throw UsageError("info needs one package or project file");
    std::unique_ptr<Demo> demo;
    std::optional<PackedShares> shares;
    std::optional<PlayerNeeds> needs;
    std::optional<PlayerSystem> system;
    {
        ProgressBar bar("reading");
        PackedFile packed;
        demo = open_document(args.positional[0], [&](uint64_t i, uint64_t n) { bar.update(i, n); },
                             &packed);
        if (packed.shares.file_bytes != 0) {
            shares = packed.shares;
            needs = read_player_needs(packed.player);
            system = player_system(packed.player);
        }
    }

    if (args.has("--timeline")) write_timeline(*demo, args.value("--timeline"));

    // Beat 0 falls beat_offset beats after the music starts; the run ends at end_beat.
    const double seconds = demo->bpm > 0 ? (demo->end_beat + demo->beat_offset) * 60.0 / demo->bpm : 0.0;
    JsonValue report = JsonValue::object();
    report["bpm"] = demo->bpm;
    report["end_beat"] = demo->end_beat;
    report["beat_offset"] = demo->beat_offset;
    report["running_time_seconds"] = seconds;
    report["ends_by_itself"] = demo->end_beat < 10000.0f && demo->bpm > 0;
    report["music_bytes"] = demo->music.length();
    report["resource_count"] = demo->resource_count;
    if (shares) {
        report["file_bytes"] = shares->file_bytes;
        report["player_bytes"] = shares->player_bytes;
        report["content_bytes"] = shares->content_bytes();
        report["system"] = system_key(*system);
        report["player_needs"] = needs_json(*needs);
    }
    JsonValue tables = JsonValue::object();
    for_each_table(*demo, [&](const auto& table, const char* key) {
        JsonValue rows = JsonValue::array();
        for (const auto& record : table)
            rows.push_back({{"name", record_name(*record)}, {"bytes", stored_size(*record)}});
        tables[key] = std::move(rows);
    });
    report["tables"] = tables;

    if (args.flag("--json")) {
        std::fputs(dump_json_text(report).c_str(), stdout);
        if (needs) warn_if_development_build(*needs);
        return exit_ok;
    }
    std::printf("tempo:        %g bpm, beat offset %g\n", demo->bpm, demo->beat_offset);
    std::printf("end beat:     %g%s\n", demo->end_beat,
                demo->end_beat >= 10000.0f ? " (never ends by itself)" : "");
    std::printf("running time: %.2f s\n", seconds);
    std::printf("music:        %llu bytes\n", static_cast<unsigned long long>(demo->music.length()));
    if (shares) {
        const auto share = [&](const char* label, uint64_t bytes) {
            std::printf("%-14s%llu bytes, %.1f %% of the file's %llu\n", label,
                        static_cast<unsigned long long>(bytes), 100.0 * bytes / shares->file_bytes,
                        static_cast<unsigned long long>(shares->file_bytes));
        };
        share("player:", shares->player_bytes);
        share("content:", shares->content_bytes());
        std::printf("runs on:      %s\n", system_text(*system));
        print_needs(*needs);
        warn_if_development_build(*needs);
    }
    std::printf("records:      %llu (stored count %llu)\n",
                static_cast<unsigned long long>(demo->record_count()),
                static_cast<unsigned long long>(demo->resource_count));
    for (const auto& [key, rows] : report["tables"].items()) {
        if (rows.empty()) continue;
        std::printf("%s (%zu):\n", key.c_str(), rows.size());
        for (const auto& row : rows)
            std::printf("  %-40s %10llu bytes\n", row["name"].get<std::string>().c_str(),
                        static_cast<unsigned long long>(row["bytes"].get<uint64_t>()));
    }
    return exit_ok;
}

}  // namespace qh::quill
