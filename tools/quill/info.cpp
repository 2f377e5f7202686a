#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>

#include "cli.h"
#include "commands.h"
#include "document_io.h"
#include "document/demo_tables.h"
#include "package/errors.h"
#include "timeline_svg.h"

namespace qh::quill {

namespace {

const char* const usage =
    "usage: quill info FILE [--json] [--timeline OUT.svg]\n"
    "\n"
    "Shows a package's tempo, end beat and running time, and each table with its\n"
    "records' names and stored sizes, and of a packed file the player's and the\n"
    "content's (payload and trailer) share of its bytes. FILE may also be a\n"
    "project.json.\n"
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
    {
        ProgressBar bar("reading");
        PackedShares packed;
        demo = open_document(args.positional[0], [&](uint64_t i, uint64_t n) { bar.update(i, n); },
                             &packed);
        if (packed.file_bytes != 0) shares = packed;
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
