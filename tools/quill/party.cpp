#include "party.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "capture.h"
#include "core/runtime.h"
#include "devices.h"
#include "document/device_memory.h"
#include "document_io.h"
#include "ffmpeg.h"
#include "party_rules.h"
#include "player_needs.h"
#include "playback/demo_playback.h"
#include "playback/offline_render.h"

namespace qh::quill {

namespace {

// How many frames each drawing of the demo samples, spread evenly over its
// run (at least one a second): enough to see every section of a demo of a
// few minutes, few enough to draw at 1920 x 1080 in software.
constexpr double sampled_frames = 32;
// A pixel darker than this in every channel counts as black.
constexpr int black_level = 8;
// The size "the same on every run" is drawn at: the frames, not the pixels,
// are what differ.
constexpr int repeat_width = 320, repeat_height = 180;

struct Verdict {
    bool passed = false;
    std::string detail;
    // What the player does by its build, which quill cannot watch it do:
    // said as given, not as checked (the player's own tests hold it to it).
    bool given = false;
};

std::string joined(const std::vector<std::string>& items, const char* between = ", ") {
    std::string out;
    for (const std::string& item : items) out += (out.empty() ? "" : between) + item;
    return out;
}

std::string clock_text(double seconds) {
    const long s = std::lround(seconds);
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
    return text;
}

std::string mode_text(int width, int height) { return std::to_string(width) + "x" + std::to_string(height); }

// What a drawing of the demo showed: where its pictures reached, over every
// sampled frame, and each frame's fingerprint.
struct Drawn {
    int width = 0, height = 0;
    uint64_t frames = 0;
    uint64_t with_picture = 0;
    int left = 0, top = 0, right = 0, bottom = 0;  // the pixels not black, inclusive, once with_picture > 0
    std::vector<size_t> prints;
    std::vector<double> seconds;  // of each frame

    void add(const std::vector<uint8_t>& rgba, double at) {
        bool any = false;
        for (int y = 0; y < height; ++y) {
            const uint8_t* row = rgba.data() + static_cast<size_t>(y) * width * 4;
            for (int x = 0; x < width; ++x) {
                const uint8_t* p = row + x * 4;
                if (p[0] <= black_level && p[1] <= black_level && p[2] <= black_level) continue;
                if (with_picture == 0 && !any) {
                    left = right = x;
                    top = bottom = y;
                }
                any = true;
                left = std::min(left, x), right = std::max(right, x);
                top = std::min(top, y), bottom = std::max(bottom, y);
            }
        }
        with_picture += any;
        ++frames;
        prints.push_back(std::hash<std::string_view>()(
            std::string_view(reinterpret_cast<const char*>(rgba.data()), rgba.size())));
        seconds.push_back(at);
    }
};

// The demo as the rules see it: the packed file, its document, and a GL
// session opened the first time a rule needs frames.
class Entry {
public:
    Entry(std::string file, bool verbose) : file_(std::move(file)), verbose_(verbose) {
        ProgressBar bar("reading");
        PlayerLines lines(verbose_);
        demo_ = open_document(file_, [&](uint64_t i, uint64_t n) { bar.update(i, n); }, &packed_);
        system_ = player_system(packed_.player);
    }

    const std::string& file() const { return file_; }
    const PackedFile& packed() const { return packed_; }
    const Demo& demo() const { return *demo_; }
    PlayerSystem system() const { return system_; }

    bool ends_by_itself() const { return demo_->bpm > 0 && timeline_ended(demo_->end_beat + 1.0f, demo_->end_beat); }
    // From the music's start to the end beat; the player shows its loader before.
    double timeline_seconds() const { return (demo_->end_beat + demo_->beat_offset) * 60.0 / demo_->bpm; }

    // The whole run drawn offline at `width` x `height` from a document read
    // afresh, so that every target is made at that size as in the player.
    Drawn draw(int width, int height) {
        open_session();
        session_.playback.reset();
        {
            PlayerLines lines(verbose_);
            session_.demo = open_document(file_);
        }
        runtime().screen = ScreenSize{width, height, width, height};
        {
            ProgressBar bar("building at " + mode_text(width, height));
            PlayerLines lines(verbose_);
            session_.playback = std::make_unique<DemoPlayback>(*session_.demo);
            session_.playback->realize([&](uint64_t i, uint64_t n) { bar.update(i, n); });
            session_.playback->prepare();
        }
        RenderSettings settings;
        settings.width = width;
        settings.height = height;
        settings.fps = std::clamp(static_cast<int>(sampled_frames / std::max(timeline_seconds(), 1.0)), 1, 60);
        OfflineRender render(*session_.demo, *session_.playback, settings);
        Drawn drawn;
        drawn.width = width;
        drawn.height = height;
        ProgressBar bar("drawing at " + mode_text(width, height));
        for (uint64_t n = render.first_frame(); n < render.end_frame(); ++n) {
            render.draw(n);
            drawn.add(render.read(), static_cast<double>(n) / settings.fps);
            bar.update(n + 1, render.end_frame());
        }
        return drawn;
    }

private:
    void open_session() {
        if (session_open_) return;
        if (!session_.open("check", file_, verbose_))
            throw std::runtime_error("not checked: no OpenGL context to draw its frames in (see above)");
        session_.mixer.open_silent();
        if (!session_.mixer.is_open())
            throw std::runtime_error("not checked: the mixer does not open (" + session_.mixer.note() + ")");
        session_.fonts.open();
        session_open_ = true;
    }

    std::string file_;
    bool verbose_;
    PackedFile packed_;
    std::unique_ptr<Demo> demo_;
    PlayerSystem system_ = PlayerSystem::unknown;
    DeviceSession session_;
    bool session_open_ = false;
};

// ---- The rules, one check per kind -----------------------------------------

Verdict check_linux(const TargetSystem& target, bool bare, const Entry& entry) {
    const PlayerNeeds needs = read_player_needs(entry.packed().player);
    if (!needs.damage.empty()) return {false, "the player's ELF tables do not read (" + needs.damage + ")"};
    const std::string glibc = "asks for " + (needs.glibc.empty() ? std::string("no glibc version") : needs.glibc) +
                              ", " + target.name + " has glibc " + target.glibc;
    if (!bare) {
        if (needs_newer_glibc(needs, target.glibc)) return {false, glibc + ": too old for it"};
        return {true, "Linux x86-64 player " + glibc + "; the libraries it loads from there: " + joined(needs.libraries)};
    }
    const std::vector<std::string> beyond = needs_beyond_bare_linux(needs, target.glibc);
    if (!beyond.empty())
        return {false, "Linux x86-64 player " + glibc + "; with nothing installed it lacks " + joined(beyond) +
                           " (pack it with the travelling player, build/quillharbor-stripped)"};
    return {true, "Linux x86-64 player " + glibc + "; needs only what every desktop has (" +
                      joined(needs.libraries) + ")"};
}

Verdict check_windows(const TargetSystem& target, bool bare, const Entry& entry) {
    const WindowsImports imports = read_windows_imports(entry.packed().player);
    if (!imports.damage.empty()) return {false, "the player's import table does not read (" + imports.damage + ")"};
    const std::vector<std::string> beyond = dlls_beyond_bare_windows(imports);
    if (bare && !beyond.empty())
        return {false, "Windows x86-64 player imports " + joined(beyond) + ", which a bare " + target.name +
                           " does not have"};
    return {true, "Windows x86-64 player for " + target.name + "; imports " +
                      (beyond.empty() ? "only the system's DLLs (" + joined(imports.dlls) + ")"
                                      : joined(imports.dlls) + "; " + joined(beyond) + " must be installed there")};
}

Verdict check_systems(const PartyRule& rule, Entry& entry) {
    std::vector<std::string> names;
    for (const TargetSystem& t : rule.systems) {
        names.push_back(t.name);
        if (t.system != entry.system()) continue;
        switch (t.system) {
            case PlayerSystem::linux_x86_64: return check_linux(t, rule.bare, entry);
            case PlayerSystem::windows_x86_64: return check_windows(t, rule.bare, entry);
            case PlayerSystem::web:
                return {true, "a web page: plays in any browser with WebGL2 on " + t.name +
                                  "; quill does not check the browser's version"};
            case PlayerSystem::unknown: break;
        }
    }
    return {false, std::string("the demo is ") + (entry.system() == PlayerSystem::web ? "" : "a player for ") +
                       system_text(entry.system()) + "; the party's machines run " + joined(names, " and ")};
}

Verdict check_size(const PartyRule& rule, Entry& entry) {
    const uint64_t bytes = entry.packed().shares.file_bytes;
    const std::string text = format_bytes(bytes) + " (" + std::to_string(bytes) + " bytes)";
    if (bytes > rule.max_bytes) return {false, text + ", over the " + format_bytes(rule.max_bytes) + " allowed"};
    return {true, text + ", within " + format_bytes(rule.max_bytes)};
}

Verdict check_length(const PartyRule& rule, Entry& entry) {
    if (!entry.ends_by_itself()) return {false, "the demo never ends by itself (end beat 10000 or more, or no tempo)"};
    const double timeline = entry.timeline_seconds();
    const double run = timeline + loader_hold_ms / 1000.0;
    const std::string text = "runs " + clock_text(run) + " (" + clock_text(timeline) + " of timeline and the " +
                             clock_text(loader_hold_ms / 1000.0) + " the loading screen holds; loading itself not counted)";
    if (run > rule.max_seconds) return {false, text + ", over " + clock_text(rule.max_seconds)};
    return {true, text + ", within " + clock_text(rule.max_seconds)};
}

// The player's window on a screen: 16:9, as wide as the screen
// (ScreenSize::from_desktop_width), drawn to its edges. Its picture must
// reach every edge of that window in some frame, within a margin for a
// border the demo draws itself.
std::string judge_frame(const Drawn& d) {
    if (d.with_picture == 0) return "every frame is black";
    const int mx = std::max(2, d.width / 100), my = std::max(2, d.height / 100);
    std::vector<std::string> short_of;
    if (d.left > mx) short_of.push_back("left");
    if (d.right < d.width - 1 - mx) short_of.push_back("right");
    if (d.top > my) short_of.push_back("top");
    if (d.bottom < d.height - 1 - my) short_of.push_back("bottom");
    if (short_of.empty()) return {};
    return "the picture stays within " + std::to_string(d.left) + ".." + std::to_string(d.right) + " x " +
           std::to_string(d.top) + ".." + std::to_string(d.bottom) + ", short of the " + joined(short_of) + " edge";
}

Verdict check_resolutions(const PartyRule& rule, Entry& entry) {
    std::vector<std::string> good, bad;
    for (const ScreenMode& mode : rule.modes) {
        const ScreenSize window = ScreenSize::from_desktop_width(mode.width);
        const std::string name = mode_text(mode.width, mode.height) + " (window " +
                                 mode_text(window.width, window.height) + ")";
        if (window.height > mode.height) {
            bad.push_back(name + ": the window, 16:9 as wide as the screen, is taller than the screen");
            continue;
        }
        const Drawn drawn = entry.draw(window.width, window.height);
        const std::string fault = judge_frame(drawn);
        if (!fault.empty()) {
            bad.push_back(name + ": " + fault);
        } else {
            good.push_back(name);
        }
    }
    const std::string at = " at " + std::to_string(rule.refresh_hz) + " Hz (frames follow the music's clock at any rate)";
    if (!bad.empty()) return {false, joined(bad, "; ") + (good.empty() ? "" : "; fine: " + joined(good))};
    return {true, "the picture fills the window in " + joined(good) + at};
}

// ffmpeg here encodes both, a few frames of each into nothing.
void check_encoders() {
    const int status = Ffmpeg::run({"ffmpeg", "-hide_banner", "-loglevel", "error", "-nostdin", "-f", "lavfi", "-i",
                                    "color=size=64x64:duration=0.1", "-f", "lavfi", "-i", "anullsrc", "-t", "0.1",
                                    "-c:v", "libx264", "-c:a", "aac", "-f", "null", "-"});
    if (status != 0) throw std::runtime_error("ffmpeg here does not encode H.264 with AAC sound");
}

Verdict check_capture(const PartyRule& rule, const Party& party, Entry& entry) {
    if (!entry.ends_by_itself()) return {false, "the demo never ends by itself, so no capture can hold all of it"};
    check_encoders();
    return {true, "quill render --capture " + party.key + " " + entry.file() + " -o DIR makes it: " +
                      capture_summary(rule.capture)};
}

Verdict check_same_every_run(Entry& entry) {
    const Drawn first = entry.draw(repeat_width, repeat_height);
    const Drawn second = entry.draw(repeat_width, repeat_height);
    for (size_t i = 0; i < first.prints.size() && i < second.prints.size(); ++i) {
        if (first.prints[i] != second.prints[i])
            return {false, "drawn twice, the frame at " + clock_text(first.seconds[i]) + " differs"};
    }
    if (first.prints.size() != second.prints.size()) return {false, "drawn twice, the runs differ in length"};
    return {true, std::to_string(first.frames) + " frames drawn twice over (" + mode_text(repeat_width, repeat_height) +
                      ") came out the same; the picture follows the music's clock alone"};
}

Verdict check_player(const PartyRule& rule, Entry& entry) {
    const bool web = entry.system() == PlayerSystem::web;
    if (entry.system() == PlayerSystem::unknown) return {false, "the player in front of the package is not one quill knows"};
    switch (rule.behaviour) {
        case PlayerBehaviour::quit_keys:
            return {true,
                    web ? "Escape ends the demo at once, and the page says so"
                        : "the player ends at once on Escape and on the window's close (Alt-F4), while loading too",
                    true};
        case PlayerBehaviour::hidden_cursor:
            return {true,
                    web ? "the page hides the cursor once the viewer starts the demo"
                        : "the player hides the cursor before its first frame",
                    true};
        case PlayerBehaviour::read_only_media:
            return {true,
                    "the player reads its own file and writes nothing while it plays; a failure's report goes "
                    "to the temporary folder where the demo's folder takes none",
                    true};
        case PlayerBehaviour::same_every_run: return check_same_every_run(entry);
    }
    return {false, "unknown behaviour"};
}

Verdict check_rule(const PartyRule& rule, const Party& party, Entry& entry) {
    try {
        switch (rule.kind) {
            case RuleKind::systems: return check_systems(rule, entry);
            case RuleKind::size: return check_size(rule, entry);
            case RuleKind::length: return check_length(rule, entry);
            case RuleKind::resolutions: return check_resolutions(rule, entry);
            case RuleKind::capture: return check_capture(rule, party, entry);
            case RuleKind::player: return check_player(rule, entry);
        }
    } catch (const std::exception& e) {
        return {false, e.what()};
    }
    return {false, "unknown rule"};
}

}  // namespace

int check_party(const Args& args) {
    if (args.flag("--json") || args.has("--target"))
        throw UsageError("--party checks the demo for the system its player is for, in text: it takes no --json or --target");
    const std::string& file = args.positional.at(0);
    const Party party = load_party(args.value("--party"));
    if (std::filesystem::path(file).extension() == ".json")
        throw UsageError("--party checks a packed demo, the player the party runs: pack it first (quill pack " +
                         file + " -o DEMO)");
    Entry entry(file, args.flag("--verbose"));

    std::printf("party: %s %d (%s)\n", party.title.c_str(), party.year, party.file.c_str());
    std::printf("demo:  %s, %s, %s\n", file.c_str(), system_text(entry.system()),
                format_bytes(entry.packed().shares.file_bytes).c_str());
    std::fflush(stdout);
    std::vector<std::string> failed;
    size_t given = 0;
    for (const PartyRule& rule : party.rules) {
        const Verdict v = check_rule(rule, party, entry);
        if (!v.passed && !rule.optional) failed.push_back(rule.label);
        given += v.given;
        std::printf("  %-6s  %s%s: %s. Rule (%d%s): \"%s\"\n", v.given ? "given" : v.passed ? "ok" : "FAILED",
                    rule_kind_key(rule.kind),
                    rule.optional ? " (optional)" : "", v.detail.c_str(), rule.year,
                    rule.paraphrase ? ", in our words" : "", rule.quote.c_str());
        std::fflush(stdout);
    }
    const size_t n = party.rules.size() - given;
    std::printf("summary: %zu %s of %s checked", n, n == 1 ? "rule" : "rules", party.title.c_str());
    if (given > 0) std::printf(", %zu given by the player's build", given);
    std::printf(", ");
    if (failed.empty()) {
        std::printf("nothing failed\n");
        return exit_ok;
    }
    std::printf("%zu failed (%s)\n", failed.size(), joined(failed).c_str());
    return exit_failure;
}

}  // namespace qh::quill
