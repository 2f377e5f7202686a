#include "party_rules.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "cli.h"
#include "document_io.h"
#include "package/errors.h"
#include "package/json_value.h"

namespace qh::quill {

namespace {

struct KindName {
    RuleKind kind;
    const char* key;
};
constexpr KindName kind_names[] = {
    {RuleKind::systems, "systems"}, {RuleKind::size, "size"},       {RuleKind::length, "length"},
    {RuleKind::resolutions, "resolutions"}, {RuleKind::capture, "capture"}, {RuleKind::player, "player"},
};

struct BehaviourName {
    PlayerBehaviour behaviour;
    const char* key;
};
constexpr BehaviourName behaviour_names[] = {
    {PlayerBehaviour::quit_keys, "quit_keys"},
    {PlayerBehaviour::hidden_cursor, "hidden_cursor"},
    {PlayerBehaviour::read_only_media, "read_only_media"},
    {PlayerBehaviour::same_every_run, "same_every_run"},
};

template <class Table>
std::string keys_of(const Table& table) {
    std::string out;
    for (const auto& row : table) out += std::string(out.empty() ? "" : ", ") + row.key;
    return out;
}

// Reads one rule's fields; every complaint names the file and the rule.
class RuleReader {
public:
    RuleReader(const JsonValue& value, std::string where) : value_(value), where_(std::move(where)) {}

    [[noreturn]] void fail(const std::string& what) const { throw PartyError(where_ + ": " + what); }

    const JsonValue& member(const char* key) const {
        if (!value_.is_object() || !value_.contains(key)) fail("\"" + std::string(key) + "\" is missing");
        return value_.at(key);
    }
    std::string text(const char* key) const {
        const JsonValue& v = member(key);
        if (!v.is_string() || v.get<std::string>().empty()) fail("\"" + std::string(key) + "\" needs a text");
        return v.get<std::string>();
    }
    double number(const char* key, double above) const {
        const JsonValue& v = member(key);
        if (!v.is_number() || !(v.get<double>() > above) || !std::isfinite(v.get<double>()))
            fail("\"" + std::string(key) + "\" needs a number above " + std::to_string(int(above)));
        return v.get<double>();
    }
    int whole(const char* key, int above) const {
        const JsonValue& v = member(key);
        if (!v.is_number_integer() || v.get<int64_t>() <= above || v.get<int64_t>() > 1'000'000'000)
            fail("\"" + std::string(key) + "\" needs a whole number above " + std::to_string(above));
        return static_cast<int>(v.get<int64_t>());
    }
    bool flag(const char* key) const {
        if (!value_.is_object() || !value_.contains(key)) return false;
        if (!value_.at(key).is_boolean()) fail("\"" + std::string(key) + "\" needs true or false");
        return value_.at(key).get<bool>();
    }
    const JsonValue& list(const char* key) const {
        const JsonValue& v = member(key);
        if (!v.is_array() || v.empty()) fail("\"" + std::string(key) + "\" needs a list with at least one entry");
        return v;
    }
    RuleReader inner(const JsonValue& value, const std::string& what) const {
        if (!value.is_object()) fail(what + " needs an object");
        return RuleReader(value, where_ + ", " + what);
    }

private:
    const JsonValue& value_;
    std::string where_;
};

bool is_version(const std::string& text) {
    const size_t dot = text.find('.');
    const auto digits = [](std::string_view s) {
        return !s.empty() && s.size() < 6 && s.find_first_not_of("0123456789") == std::string_view::npos;
    };
    return dot != std::string::npos && digits(std::string_view(text).substr(0, dot)) &&
           digits(std::string_view(text).substr(dot + 1));
}

void read_systems(const RuleReader& in, PartyRule& rule) {
    rule.bare = in.flag("bare");
    const JsonValue& list = in.list("systems");
    for (size_t i = 0; i < list.size(); ++i) {
        const RuleReader s = in.inner(list[i], "system " + std::to_string(i + 1));
        TargetSystem t;
        const std::string key = s.text("system");
        for (PlayerSystem known : {PlayerSystem::linux_x86_64, PlayerSystem::windows_x86_64, PlayerSystem::web}) {
            if (key == system_key(known)) t.system = known;
        }
        if (t.system == PlayerSystem::unknown) s.fail("\"system\" is \"" + key + "\"; quill knows linux, windows and web");
        t.name = s.text("name");
        if (t.system == PlayerSystem::linux_x86_64) {
            t.glibc = s.text("glibc");
            if (!is_version(t.glibc)) s.fail("\"glibc\" needs a version such as \"2.35\", not \"" + t.glibc + "\"");
        }
        rule.systems.push_back(std::move(t));
    }
}

void read_modes(const RuleReader& in, PartyRule& rule) {
    for (const JsonValue& m : in.list("modes")) {
        const std::string text = m.is_string() ? m.get<std::string>() : m.dump();
        try {
            const auto [w, h] = size_option("\"modes\"", text);
            rule.modes.push_back({w, h});
        } catch (const UsageError&) {
            in.fail("\"modes\" holds \"" + text + "\"; write each as WIDTHxHEIGHT, for example \"1920x1080\"");
        }
    }
    rule.refresh_hz = in.whole("refresh_hz", 0);
}

void read_capture(const RuleReader& in, PartyRule& rule) {
    CaptureRule& c = rule.capture;
    c.width = in.whole("width", 0);
    c.height = in.whole("height", 0);
    if (c.width % 2 || c.height % 2) in.fail("the capture's width and height need to be even (H.264 in 4:2:0)");
    c.fps = in.whole("fps", 0);
    if (c.fps > 1000) in.fail("\"fps\" needs a whole number from 1 to 1000");
    const RuleReader video = in.inner(in.member("video"), "\"video\"");
    c.video_codec = video.text("codec");
    if (c.video_codec != "h264") video.fail("\"codec\" is \"" + c.video_codec + "\"; quill encodes h264");
    c.min_video_kbps = video.whole("min_kbps", 0);
    const RuleReader audio = in.inner(in.member("audio"), "\"audio\"");
    c.audio_codec = audio.text("codec");
    if (c.audio_codec != "aac") audio.fail("\"codec\" is \"" + c.audio_codec + "\"; quill encodes aac");
    c.min_audio_kbps = audio.whole("min_kbps", 0);
}

PartyRule read_rule(const JsonValue& value, const std::string& file, size_t number) {
    PartyRule rule;
    const std::string where = file + ": rule " + std::to_string(number);
    const RuleReader in(value, where);
    if (!value.is_object()) in.fail("a rule needs to be an object");
    const std::string kind = in.text("kind");
    const auto k = std::find_if(std::begin(kind_names), std::end(kind_names),
                                [&](const KindName& n) { return kind == n.key; });
    if (k == std::end(kind_names)) in.fail("\"kind\" is \"" + kind + "\"; quill knows " + keys_of(kind_names));
    rule.kind = k->kind;
    rule.label = "rule " + std::to_string(number) + " (" + kind + ")";
    const RuleReader r(value, where + " (" + kind + ")");
    rule.year = r.whole("year", 1900);
    rule.quote = r.text("quote");
    rule.paraphrase = r.flag("paraphrase");
    rule.optional = r.flag("optional");
    switch (rule.kind) {
        case RuleKind::systems: read_systems(r, rule); break;
        case RuleKind::size: rule.max_bytes = static_cast<uint64_t>(r.number("max_bytes", 0)); break;
        case RuleKind::length: rule.max_seconds = r.number("max_seconds", 0); break;
        case RuleKind::resolutions: read_modes(r, rule); break;
        case RuleKind::capture: read_capture(r, rule); break;
        case RuleKind::player: {
            const std::string b = r.text("behaviour");
            const auto found = std::find_if(std::begin(behaviour_names), std::end(behaviour_names),
                                            [&](const BehaviourName& n) { return b == n.key; });
            if (found == std::end(behaviour_names))
                r.fail("\"behaviour\" is \"" + b + "\"; quill knows " + keys_of(behaviour_names));
            rule.behaviour = found->behaviour;
            break;
        }
    }
    return rule;
}

}  // namespace

const char* rule_kind_key(RuleKind kind) {
    for (const KindName& n : kind_names) {
        if (n.kind == kind) return n.key;
    }
    return "?";
}

const PartyRule* Party::capture() const {
    for (const PartyRule& r : rules) {
        if (r.kind == RuleKind::capture) return &r;
    }
    return nullptr;
}

Party parse_party(std::string_view text, const std::string& file, const std::string& key) {
    JsonValue json;
    try {
        json = parse_json_text(text, file);
    } catch (const ContentError& e) {
        throw PartyError(e.what());
    }
    const RuleReader top(json, file);
    if (!json.is_object()) top.fail("the rules need to be one JSON object");
    Party party;
    party.key = key;
    party.file = file;
    party.title = top.text("party");
    party.year = top.whole("year", 1900);
    party.source = top.text("source");
    const JsonValue& rules = top.list("rules");
    for (size_t i = 0; i < rules.size(); ++i)
        party.rules.push_back(read_rule(rules[i], file, i + 1));
    return party;
}

std::vector<std::string> known_parties() {
    std::vector<std::string> names;
    for (const PartyFile& f : built_in_party_files()) names.push_back(f.name);
    std::sort(names.begin(), names.end());
    return names;
}

Party load_party(const std::string& name_or_file) {
    for (const PartyFile& f : built_in_party_files()) {
        if (name_or_file != f.name) continue;
        const std::string_view text(reinterpret_cast<const char*>(f.text.data()), f.text.size());
        return parse_party(text, "tools/quill/parties/" + name_or_file + ".json", name_or_file);
    }
    if (std::filesystem::path(name_or_file).extension() == ".json") {
        std::vector<uint8_t> bytes;
        try {
            bytes = read_file_bytes(name_or_file);
        } catch (const ContentError& e) {
            throw PartyError(e.what());
        }
        return parse_party(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
                           name_or_file, std::filesystem::path(name_or_file).stem().string());
    }
    std::string names;
    for (const std::string& n : known_parties()) names += (names.empty() ? "" : ", ") + n;
    throw UsageError("no party \"" + name_or_file + "\"; quill knows " + names +
                     ", or give a rules file ending in .json");
}

}  // namespace qh::quill
