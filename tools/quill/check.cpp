// quill check: builds a document's device side as the player does while
// loading, in a hidden window, and reports what did not build.
#include <GL/glew.h>
#include <SDL.h>
#include <SDL_mixer.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <unistd.h>
#include <vector>

#include "platform/gl_window.h"
#include "cli.h"
#include "devices.h"
#include "commands.h"
#include "core/runtime.h"
#include "document_io.h"
#include "web_stages.h"
#include "document/demo_io.h"
#include "document/device_memory.h"
#include "lint.h"
#include "names.h"
#include "party.h"
#include "shadertoy.h"
#include "playback/demo_playback.h"
#include "render/program_use.h"
#include "document/demo_tables.h"

namespace qh::quill {

namespace {

const char* const usage =
    "usage: quill check FILE [--json] [--verbose] [--target linux|windows|web]\n"
    "       quill check --party PARTY DEMO [--verbose]\n"
    "\n"
    "Builds everything in FILE (a packed player or a project.json) on the GPU and\n"
    "in the mixer, as the player does while loading, in a hidden window. Reports\n"
    "per program its fragment file and whether each shader compiled and the\n"
    "program linked, with the driver's log lines; per effect whether its colour\n"
    "target is complete; the other records that did not build; and a summary.\n"
    "Programs are reported as built last, with their #include directives resolved.\n"
    "The driver's messages name the file and line they are about (in a file that\n"
    "programs #include, with one program that includes it) and each is said once,\n"
    "however many programs repeat it; a program that only serves #include in others\n"
    "is listed with how many include it.\n"
    "--json prints the report as one JSON object.\n"
    "--verbose also shows what the player prints while it builds (the files it\n"
    "loads, the driver's logs, \"FB Error!\"): on standard output before the\n"
    "report, or on standard error with --json.\n"
    "What quill pack warns of is listed after the records, under \"warnings\":\n"
    "content that reads otherwise than it is written (an integral number that reads\n"
    "as 0, a true that reads as false), and what models use that the player does not\n"
    "draw (its own cameras, say). Each says what to write instead; none is a failure.\n"
    "\n"
    "Counted as failures:\n"
    "  a tempo (\"bpm\") that is not above 0, an end beat that is not above 0\n"
    "  music that the mixer does not decode (not checked when no mixer opens)\n"
    "  a shader that does not compile, a program that does not link (not counted\n"
    "    for a program that other programs #include and no effect draws with)\n"
    "  an effect with no program, or whose colour target is incomplete\n"
    "  an effect input (texture, text texture, effect) that names nothing\n"
    "  a texture whose image does not decode\n"
    "  a model that does not parse\n"
    "  a font the font renderer cannot open\n"
    "  a text texture with no font, whose font did not open, or with a size that\n"
    "    cannot be drawn\n"
    "  text textures over their budget (QUILLHARBOR_TEXT_TEXTURE_BUDGET): the first\n"
    "    to take their total past it and every one after; the player would not load\n"
    "  an audio sample that does not decode (not checked when no mixer opens)\n"
    "  an event of unknown type, or whose effect, sample or group is missing\n"
    "  a name that names nothing (with the closest known name, if one is close):\n"
    "    an event's target, a group's member, an effect's program, scene or input,\n"
    "    a text texture's font; an event curve that drives nothing (no uniform of\n"
    "    the program, text texture, scene key or group member's parameter; for a\n"
    "    uniform the GLSL declares, the \"uniform_defs\" entry to add); a \"<...>\"\n"
    "    in a text that is no placeholder; an #include naming no program's file\n"
    "\n"
    "Needs an OpenGL context: a display, or else SDL's offscreen driver (EGL).\n"
    "Where neither works, run it under Xvfb: xvfb-run -a quill check FILE\n"
    "Effect targets are made at the render size the player would use on this\n"
    "display. Audio: the default device, else SDL's dummy driver.\n"
    "\"device memory\" is what the records ask for in all, from their declared and\n"
    "header sizes (4 bytes a texel; render targets at that render size).\n"
    "--target web also translates every shader stage for WebGL2 as quill pack --target\n"
    "web does (section \"web\"): a stage that cannot be translated fails, named by its\n"
    "file and line. The other targets build as checked above.\n"
    "--party PARTY holds a packed DEMO (Linux player, Windows .exe or web page) to\n"
    "a party's rules, one line per rule with the organisers' words quoted: the\n"
    "systems it runs on (a Linux player's glibc floor and libraries, a Windows\n"
    "player's DLLs, against the party's machines as installed), its size and\n"
    "length (the loading screen's hold counted), the picture at each screen size\n"
    "allowed (drawn offline in the window the player opens there, it must reach\n"
    "the window's edges), the same frames on every run, and a capture quill\n"
    "render --capture PARTY can make. PARTY is one whose rules quill carries\n"
    "(tools/quill/parties/; a name it does not know lists them) or a rules file of\n"
    "the same form, NAME.json.\n"
    "Exit status: 0 nothing failed, 1 something failed or FILE cannot be read,\n"
    "2 usage error.\n";

// ---- The report -----------------------------------------------------------

// One checked record. `problems` empty means it built; `detail` describes it
// either way and `log` holds the driver's messages, placed in the authored files.
struct Row {
    std::string name;
    std::string detail;
    std::vector<std::string> problems;
    std::vector<std::string> log;
    JsonValue fields = JsonValue::object();  // what the JSON row adds
    const void* record = nullptr;            // the record checked, if the row is one
};

struct Section {
    const char* key;  // the table's JSON key
    std::vector<Row> rows;
    std::string skipped;  // why the section was not checked, or empty
};

JsonValue json_lines(const std::vector<std::string>& lines) {
    JsonValue a = JsonValue::array();
    for (const std::string& l : lines) a.push_back(l);
    return a;
}

std::string display_name(const std::string& name) { return name.empty() ? "(unnamed)" : name; }

// ---- Devices --------------------------------------------------------------

std::string gl_text(GLenum which) {
    const GLubyte* s = glGetString(which);
    return s ? reinterpret_cast<const char*>(s) : "";
}

// ---- Checks of the record state after realize/prepare --------------------

JsonValue stage_json(const ShaderProgram::Gpu::Outcome& s, const char* verdict) {
    return {{verdict, s.ok}, {"log", json_lines(split_lines(s.log))}};
}

// `once` carries the messages earlier rows said.
Row check_program(const ShaderProgram& p, const ProgramUse& use, MessagesOnce& once) {
    Row row;
    row.name = display_name(p.fragment_shader_filename);
    const ShaderProgram::Gpu::Outcome& vertex = p.gpu.vertex;
    const ShaderProgram::Gpu::Outcome& fragment = p.gpu.fragment;
    const bool linked = p.usable();
    const std::vector<std::string> link = split_lines(p.gpu.link.log);

    const DeviceState state = p.device_state();
    std::vector<std::string> faults = state.built() ? state.problems : std::vector<std::string>{"not built"};
    const bool include_only = use.include_only(p);
    if (include_only) {
        const int n = use.included_by(p);
        row.detail = "included by " + std::to_string(n) + (n == 1 ? " program" : " programs");
    } else if (state.ready()) {
        row.detail = "compiled, linked";
    } else {
        row.problems = std::move(faults);
    }
    // A text that only serves #include does not build alone, and what the
    // driver says of its lines comes with the programs that include it.
    JsonValue messages = JsonValue::array();
    if (!include_only) {
        std::vector<CompilerMessage> said = p.build_messages();
        for (CompilerMessage& m : said) {  // a Shadertoy shader's lines as the author pasted them
            if (m.place.empty() || m.place.front().file != p.fragment_shader_filename) continue;
            if (const int l = pasted_line(p.fragment_shader_source, m.place.front().line))
                m.message += " (line " + std::to_string(l) + " as pasted)";
        }
        for (const CompilerMessage& m : said) messages.push_back(m.text());
        row.log = once.lines(said);
    }

    row.fields["fragment_shader_filename"] = p.fragment_shader_filename;
    row.fields["vertex_shader_filename"] = p.vertex_shader_filename;
    row.fields["vertex_shader"] = stage_json(vertex, "compiled");
    row.fields["fragment_shader"] = stage_json(fragment, "compiled");
    row.fields["link"] = {{"linked", linked}, {"log", json_lines(link)}};
    row.fields["include_only"] = include_only;
    row.fields["messages"] = std::move(messages);  // all of this program's, placed in the authored files
    row.fields["status_text"] = p.gpu.status_text;
    return row;
}

template <class T>
int count_null(const std::vector<T*>& list) {
    int n = 0;
    for (const T* p : list) n += p == nullptr;
    return n;
}

Row check_effect(const Effect& e) {
    Row row;
    row.name = display_name(e.name);
    const ScreenSize& s = runtime().screen;
    row.fields["program"] = e.program ? JsonValue(e.program->fragment_shader_filename) : JsonValue();
    row.fields["target_complete"] = e.gpu.target_complete;
    row.fields["target_status"] = DeviceState::hex_code(e.gpu.target_status);
    const DeviceState state = e.device_state();
    // A missing program or input fails through the name findings (names.h),
    // which show the name that named nothing.
    if (!e.program) {
        row.detail = "no target";
    } else if (state.ready()) {
        row.detail = "target complete (" + std::to_string(s.render_width) + " x " +
                     std::to_string(s.render_height) + ")";
    } else {
        row.problems = state.built() ? state.problems : std::vector<std::string>{"target not made"};
        row.detail = "target incomplete";
    }
    if (e.program && !e.program->usable())
        row.detail += "; draws nothing while " + display_name(e.program->fragment_shader_filename) +
                      " does not build";

    row.fields["unresolved_inputs"] =
        count_null(e.textures) + count_null(e.font_textures) + count_null(e.effects);
    return row;
}

Row check_texture(const Texture& t) {
    Row row;
    row.name = display_name(t.name);
    const DeviceState state = t.device_state();
    row.fields["decoded"] = state.ready();
    row.fields["width"] = t.gpu.width;
    row.fields["height"] = t.gpu.height;
    if (state.ready()) {
        row.detail = std::to_string(t.gpu.width) + " x " + std::to_string(t.gpu.height);
    } else {
        row.problems = state.built() ? state.problems : std::vector<std::string>{"was not decoded"};
    }
    return row;
}

Row check_model(const Model& m) {
    Row row;
    row.name = display_name(m.filename);
    row.fields["parsed"] = m.parsed;
    const DeviceState state = m.device_state();
    if (state.ready()) {
        row.detail = "parsed (" + std::to_string(m.gltf.meshes.size()) + " meshes, " +
                     std::to_string(m.gltf.nodes.size()) + " nodes, " +
                     std::to_string(m.gltf.animations.size()) + " animations)";
    } else {
        row.problems = state.built() ? state.problems : std::vector<std::string>{"was not built"};
    }
    return row;
}

// What opening each font recorded (realize opens them from memory at their
// size, as the player does).
Row check_font(const Font& f) {
    Row row;
    row.name = display_name(f.name);
    const DeviceState state = f.device_state();
    row.fields["opens"] = state.ready();
    row.fields["ptsize"] = f.ptsize;
    if (state.ready()) {
        row.detail = "opens at " + std::to_string(f.ptsize) + " pt";
    } else if (!state.built()) {
        row.problems.push_back("was not opened");
    } else {
        row.problems = state.problems;
        row.fields["error"] = f.gpu.error;
    }
    return row;
}

// What realize made for each text texture: its surface and texture, or why
// not; and whether it has an open font to render with.
Row check_font_texture(const FontTexture& t) {
    Row row;
    row.name = display_name(t.name);
    const DeviceState state = t.device_state();
    const bool allocated = state.ready();
    row.fields["font"] = t.font ? JsonValue(t.font->name) : JsonValue();
    row.fields["allocated"] = allocated;
    row.fields["width"] = t.width;
    row.fields["height"] = t.height;
    row.detail = std::to_string(t.width) + " x " + std::to_string(t.height);
    if (allocated) row.detail += " allocated";
    if (t.font) row.detail += ", font " + display_name(t.font->name);
    // A font that did not open fails on its own row too; this row says
    // what it costs here.
    // No font fails through the name findings (names.h).
    if (t.font && !t.font->handle()) {
        row.problems.push_back("its font " + display_name(t.font->name) +
                               " did not open, so no text shows; mend the font's row below");
    }
    if (!allocated) {
        for (const std::string& p : state.built() ? state.problems
                                                  : std::vector<std::string>{"no texture was made"})
            row.problems.push_back(p);
    }
    if (!t.gpu.problem.empty()) row.fields["problem"] = t.gpu.problem;
    return row;
}

Row check_sample(const AudioSample& s, const SamplePlayer& samples) {
    Row row;
    row.name = display_name(s.name);
    const int32_t duration = samples.duration_ms(&s);
    row.fields["duration_ms"] = duration;
    const DeviceState state = samples.device_state(&s);
    if (state.ready()) {
        row.detail = std::to_string(duration) + " ms";
    } else {
        row.problems = state.built() ? state.problems : std::vector<std::string>{"was not decoded"};
    }
    return row;
}

Row check_event(const Event& e) {
    Row row;
    row.name = display_name(e.name);
    row.fields["type"] = e.type;
    // A missing target, a curve that drives nothing and an unknown text
    // placeholder fail through the name findings (names.h).
    switch (e.type) {
        case Event::type_effect:
            if (e.effect) row.detail = "effect " + display_name(e.effect->name);
            break;
        case Event::type_audio_sample:
            if (e.audio_sample) row.detail = "sample " + display_name(e.audio_sample->name);
            break;
        case Event::type_group:
            if (e.group) row.detail = "group " + display_name(e.group->name);
            break;
        default:
            row.problems.push_back("unknown type " + std::to_string(e.type) + " (does nothing)");
    }
    return row;
}

// A group's faults are its members that name nothing (names.h).
Row check_group(const EventGroup& g) {
    Row row;
    row.name = display_name(g.name);
    row.detail = std::to_string(g.events.size()) + (g.events.size() == 1 ? " event" : " events");
    return row;
}

// Each name finding fails the row of the record that holds the name.
void add_name_findings(std::vector<Section>& sections, const std::vector<NameFinding>& findings) {
    std::map<const void*, std::vector<const NameFinding*>> by_record;
    for (const NameFinding& f : findings) by_record[f.record].push_back(&f);
    for (Section& s : sections) {
        for (Row& r : s.rows) {
            const auto it = r.record ? by_record.find(r.record) : by_record.end();
            if (it == by_record.end()) continue;
            for (const NameFinding* f : it->second) r.problems.push_back(f->message);
        }
    }
}

// The shader stages as the web player gets them: translated for WebGL2.
Section check_web_stages(const Demo& demo) {
    Row row;
    row.name = "shader stages";
    const WebStages web = translate_for_web(demo);
    row.problems = web.faults;
    if (web.faults.empty()) row.detail = "translated for WebGL2: " + std::to_string(web.stages);
    row.fields["stages"] = web.stages;
    row.fields["translated"] = web.table.size();
    return Section{"web", {std::move(row)}, {}};
}

// What the whole demo rests on: a tempo that moves the beat, an end the
// timeline reaches, and music the mixer decodes as the player would start it.
Row check_tempo(const Demo& d, const DocumentFindings& findings) {
    Row row;
    row.name = "tempo";
    row.fields["bpm"] = d.bpm;
    row.fields["beat_offset"] = d.beat_offset;
    if (!findings.tempo.empty()) row.problems.push_back(findings.tempo);
    else row.detail = beats_text(d.bpm) + " beats a minute";
    return row;
}

Row check_end(const Demo& d, const DocumentFindings& findings) {
    Row row;
    row.name = "end beat";
    row.fields["end_beat"] = d.end_beat;
    if (!findings.end.empty()) {
        row.problems.push_back(findings.end);
    } else {
        const bool ends = timeline_ended(std::nextafter(d.end_beat, INFINITY), d.end_beat);
        row.detail = ends ? "beat " + beats_text(d.end_beat) : "never ends by itself (10000 or more)";
    }
    return row;
}

const char* music_type_name(Mix_MusicType type) {
    switch (type) {
        case MUS_OGG: return "Ogg Vorbis";
        case MUS_MP3: return "MP3";
        case MUS_WAV: return "WAV";
        case MUS_FLAC: return "FLAC";
        case MUS_OPUS: return "Opus";
        case MUS_MOD: return "module";
        case MUS_MID: return "MIDI";
        default: return "audio";
    }
}

Row check_music(const Demo& d, bool mixer_open) {
    Row row;
    row.name = music_file_name;
    const std::span<const uint8_t> bytes = d.music.data;
    row.fields["bytes"] = bytes.size();
    if (bytes.empty()) {
        row.detail = "none: the demo plays in silence";
        return row;
    }
    if (!mixer_open) {
        row.detail = "not decoded: no mixer opened";
        return row;
    }
    Mix_Music* music = Mix_LoadMUS_RW(SDL_RWFromConstMem(bytes.data(), int(bytes.size())), 1);
    if (!music) {
        // The mixer's own reason names whichever decoder tried last, which
        // tells an author nothing; it stays in the JSON report.
        row.fields["error"] = Mix_GetError();
        row.problems.push_back("does not decode as music in any format the mixer knows; save the track "
                               "as Ogg Vorbis or MP3 under this name");
        return row;
    }
    const double seconds = Mix_MusicDuration(music);
    row.detail = music_type_name(Mix_GetMusicType(music));
    if (seconds >= 1) {
        char length[32];
        std::snprintf(length, sizeof length, ", %d:%02d", int(seconds) / 60, int(seconds) % 60);
        row.detail += length;
    }
    row.fields["seconds"] = seconds;
    Mix_FreeMusic(music);
    return row;
}

template <class T, class Check>
Section check_table(const std::vector<std::unique_ptr<T>>& table, Check check) {
    Section s{RecordTable<T>::key, {}, {}};
    for (const auto& record : table) {
        if (!record) continue;
        s.rows.push_back(check(*record));
        s.rows.back().record = record.get();
    }
    return s;
}

// What the sections read besides the document.
struct CheckRun {
    const Demo& demo;
    const ProgramUse& use;
    const SamplePlayer* samples;  // null: no mixer opened
};

struct SectionCheck {
    RecordKind kind;
    Section (*check)(const CheckRun&);  // null: no section of its own
};

// The tool's list: each record class's section, in the order of the report.
constexpr SectionCheck section_checks[] = {
    {RecordKind::shaders,
     [](const CheckRun& run) {
         MessagesOnce once;
         return check_table(run.demo.shaders,
                            [&](const ShaderProgram& p) { return check_program(p, run.use, once); });
     }},
    {RecordKind::effects, [](const CheckRun& run) { return check_table(run.demo.effects, check_effect); }},
    {RecordKind::textures,
     [](const CheckRun& run) { return check_table(run.demo.textures, check_texture); }},
    {RecordKind::models, [](const CheckRun& run) { return check_table(run.demo.models, check_model); }},
    {RecordKind::fonts, [](const CheckRun& run) { return check_table(run.demo.fonts, check_font); }},
    {RecordKind::font_textures,
     [](const CheckRun& run) { return check_table(run.demo.font_textures, check_font_texture); }},
    {RecordKind::audio_samples,
     [](const CheckRun& run) {
         if (!run.samples)
             return Section{RecordTable<AudioSample>::key, {}, "no mixer opened, samples not decoded"};
         return check_table(run.demo.audio_samples,
                            [&](const AudioSample& s) { return check_sample(s, *run.samples); });
     }},
    {RecordKind::events, [](const CheckRun& run) { return check_table(run.demo.events, check_event); }},
    {RecordKind::event_groups,
     [](const CheckRun& run) { return check_table(run.demo.event_groups, check_group); }},
    // Their faults show where they are used: a scene's models, the effects
    // that draw it.
    {RecordKind::scenes, nullptr},
    {RecordKind::datas, nullptr},
};
static_assert(names_every_kind_once(section_checks, &SectionCheck::kind),
              "section_checks has one row for each record class");

// ---- Output ---------------------------------------------------------------

struct Totals {
    size_t checked = 0;
    size_t failed = 0;
    std::vector<std::string> failed_by_table;  // "shaders: 1" ...
};

Totals count(const std::vector<Section>& sections) {
    Totals t;
    for (const Section& s : sections) {
        size_t failed = 0;
        for (const Row& r : s.rows) failed += !r.problems.empty();
        t.checked += s.rows.size();
        t.failed += failed;
        if (failed > 0) t.failed_by_table.push_back(std::string(s.key) + ": " + std::to_string(failed));
    }
    return t;
}

void print_header(const JsonValue& header) {
    std::printf("file:        %s\n", header["file"].get<std::string>().c_str());
    std::printf("OpenGL:      %s, %s (%s video driver)\n",
                header["gl"]["version"].get<std::string>().c_str(),
                header["gl"]["renderer"].get<std::string>().c_str(),
                header["gl"]["video_driver"].get<std::string>().c_str());
    std::printf("render size: %d x %d\n", header["render_size"]["width"].get<int>(),
                header["render_size"]["height"].get<int>());
    std::printf("audio:       %s\n", header["audio"]["summary"].get<std::string>().c_str());
    const JsonValue& memory = header["device_memory"];
    std::printf("device memory: %s\n", memory["summary"].get<std::string>().c_str());
    if (memory["over_budget"].is_string())
        std::printf("error:       %s\n", memory["over_budget"].get<std::string>().c_str());
    std::fflush(stdout);
}

void print_sections(const std::vector<Section>& sections, const std::vector<std::string>& warnings,
                    const Totals& totals) {
    for (const Section& s : sections) {
        if (!s.skipped.empty()) {
            std::printf("%s: not checked (%s)\n", s.key, s.skipped.c_str());
            continue;
        }
        if (s.rows.empty()) continue;
        std::printf("%s (%zu):\n", s.key, s.rows.size());
        for (const Row& r : s.rows) {
            std::string text = r.detail;
            for (const std::string& p : r.problems) text += (text.empty() ? "" : "; ") + p;
            std::printf("  %-6s  %s%s%s\n", r.problems.empty() ? "ok" : "FAILED", r.name.c_str(),
                        text.empty() ? "" : ": ", text.c_str());
            for (const std::string& l : r.log) std::printf("          %s\n", l.c_str());
        }
    }
    if (!warnings.empty()) std::printf("warnings (%zu):\n", warnings.size());
    for (const std::string& w : warnings) std::printf("  warning: %s\n", w.c_str());
    const std::string warned =
        warnings.empty() ? "" : "; " + std::to_string(warnings.size()) + (warnings.size() == 1 ? " warning" : " warnings");
    if (totals.failed == 0) {
        std::printf("summary: %zu records checked, nothing failed%s\n", totals.checked, warned.c_str());
        return;
    }
    std::string which;
    for (const std::string& w : totals.failed_by_table) which += (which.empty() ? "" : ", ") + w;
    std::printf("summary: %zu records checked, %zu failed (%s)%s\n", totals.checked, totals.failed,
                which.c_str(), warned.c_str());
}

JsonValue report_json(JsonValue header, const std::vector<Section>& sections,
                      const std::vector<std::string>& warnings, const Totals& totals) {
    JsonValue tables = JsonValue::object();
    for (const Section& s : sections) {
        if (!s.skipped.empty()) {
            tables[s.key] = {{"skipped", s.skipped}};
            continue;
        }
        JsonValue rows = JsonValue::array();
        for (const Row& r : s.rows) {
            JsonValue row = r.fields;
            row["name"] = r.name;
            row["ok"] = r.problems.empty();
            row["detail"] = r.detail;
            row["problems"] = json_lines(r.problems);
            rows.push_back(std::move(row));
        }
        tables[s.key] = std::move(rows);
    }
    header["tables"] = std::move(tables);
    header["warnings"] = json_lines(warnings);
    header["summary"] = {{"checked", totals.checked}, {"failed", totals.failed}};
    header["ok"] = totals.failed == 0;
    return header;
}

}  // namespace

int cmd_check(const std::vector<std::string>& argv) {
    const Args args = parse_args(argv, {"--target", "--party"}, {"--json", "--verbose"});
    if (args.flag("--help")) {
        std::fputs(usage, stdout);
        return exit_ok;
    }
    if (args.positional.size() != 1) throw UsageError("check needs one package or project file");
    if (args.has("--party")) return check_party(args);
    const bool json = args.flag("--json");
    const std::string target = args.value("--target", "linux");
    if (target != "linux" && target != "windows" && target != "web")
        throw UsageError("--target needs linux, windows or web (got \"" + target + "\")");

    DeviceSession session;
    const bool verbose = args.flag("--verbose");
    if (!session.open("check", args.positional[0], verbose)) return exit_failure;
    const DocumentFindings& findings = session.findings;
    Mixer& mixer = session.mixer;
    HiddenGlWindow& window = session.window;
    std::unique_ptr<Demo>& demo = session.demo;
    std::unique_ptr<DemoPlayback>& playback = session.playback;
    {
        PlayerLines lines(verbose, json);
        mixer.open();
    }
    session.fonts.open();

    // Targets are made at the render size the player would have here.
    SDL_DisplayMode mode;
    const int desktop_width = SDL_GetDesktopDisplayMode(0, &mode) == 0 && mode.w > 0 ? mode.w : 1920;
    runtime().screen = ScreenSize::from_desktop_width(desktop_width);
    const ScreenSize& screen = runtime().screen;

    JsonValue header = JsonValue::object();
    header["file"] = args.positional[0];
    header["gl"] = {{"version", gl_text(GL_VERSION)},
                    {"renderer", gl_text(GL_RENDERER)},
                    {"video_driver", window.video_driver()}};
    header["render_size"] = {{"width", screen.render_width}, {"height", screen.render_height}};
    // A machine without a sound device is no fault of the document: the
    // samples and the music decode all the same under the dummy driver.
    std::string audio = mixer.is_open() ? mixer.driver() + " driver" : "no mixer: " + mixer.note();
    if (mixer.is_open() && !mixer.note().empty()) audio += " (this machine has no sound device it can open)";
    header["audio"] = {{"mixer_open", mixer.is_open()},
                       {"driver", mixer.is_open() ? JsonValue(mixer.driver()) : JsonValue()},
                       {"note", mixer.note()},
                       {"summary", audio}};
    // Worked out from the records alone; the build below leaves out the text
    // textures over the budget, and their rows fail.
    const DeviceMemory memory = device_memory(*demo, screen);
    const uint64_t text_budget = text_texture_budget();
    const auto over = text_texture_overrun(*demo, text_budget);
    header["device_memory"] = {{"total", memory.total()},
                               {"text_textures", memory.text_textures},
                               {"images", memory.images},
                               {"unsized_images", memory.unsized_images},
                               {"model_buffers", memory.model_buffers},
                               {"shadow_targets", memory.shadow_targets},
                               {"render_targets", memory.render_targets},
                               {"player_own", memory.player_own},
                               {"text_texture_budget", text_budget},
                               {"over_budget", over ? JsonValue(over->message) : JsonValue()},
                               {"summary", describe(memory)}};

    // In text form the build's own lines come between the header and the report.
    if (!json) print_header(header);
    {
        ProgressBar bar("building");
        PlayerLines lines(verbose, json);
        playback = std::make_unique<DemoPlayback>(*demo);
        playback->realize([&](uint64_t i, uint64_t n) { bar.update(i, n); });
        playback->prepare();
        glFinish();
    }

    const ProgramUse use(demo->shaders, demo->effects);
    const CheckRun run{*demo, use, mixer.is_open() ? &playback->samples() : nullptr};
    std::vector<Section> sections{Section{
        "project",
        {check_tempo(*demo, findings), check_end(*demo, findings), check_music(*demo, mixer.is_open())},
        {}}};
    for (const SectionCheck& c : section_checks) {
        if (c.check) sections.push_back(c.check(run));
    }
    add_name_findings(sections, findings.names);
    add_name_findings(sections, findings.missing);
    if (target == "web") sections.push_back(check_web_stages(*demo));

    // What pack warns of besides the names, which fail their rows above.
    std::vector<std::string> warnings = findings.text;
    warnings.insert(warnings.end(), findings.models.begin(), findings.models.end());
    const Totals totals = count(sections);
    if (json) {
        std::fputs(dump_json_text(report_json(std::move(header), sections, warnings, totals)).c_str(), stdout);
    } else {
        print_sections(sections, warnings, totals);
    }
    std::fflush(stdout);
    return totals.failed == 0 ? exit_ok : exit_failure;
}

}  // namespace qh::quill
