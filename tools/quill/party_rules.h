#pragma once
// A demo party's rules for its competition, as data: one JSON file per party
// (tools/quill/parties/NAME.json, built into quill), each rule with the year
// and the organisers' words it comes from, so that a rule is updated by hand
// when a party changes it.
//
//   const Party party = load_party("revision");   // or a file: "my-party.json"
//   for (const PartyRule& r : party.rules) ...    // r.kind, r.quote, the kind's fields
//   if (const PartyRule* c = party.capture()) ... // the video the organisers ask for
//
// A name that is neither a built-in party nor a .json file throws UsageError
// listing the parties quill knows; a file that does not read, or a rule with
// a field missing or wrong, throws PartyError naming the file and the rule.
//
// The file: {"party": "Revision", "year": 2024, "source": "...", "rules": [RULE...]}
// with every RULE {"kind": K, "year": N, "quote": "...", "paraphrase": true|false,
// "optional": true|false (default false), "note": "..." (optional)} and by kind:
//   systems      "systems": [{"system": "linux"|"windows"|"web", "name": "...",
//                "glibc": "2.35" (linux)}...], "bare": true when nothing is installed
//   size         "max_bytes": N
//   length       "max_seconds": N
//   resolutions  "modes": ["WxH"...], "refresh_hz": N
//   capture      "width", "height", "fps", "video": {"codec": "h264", "min_kbps": N},
//                "audio": {"codec": "aac", "min_kbps": N}
//   player       "behaviour": "quit_keys"|"hidden_cursor"|"read_only_media"|"same_every_run"
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "player_needs.h"

namespace qh::quill {

class PartyError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class RuleKind { systems, size, length, resolutions, capture, player };
// What the player does of itself, whatever the demo: the rules it meets by design.
enum class PlayerBehaviour { quit_keys, hidden_cursor, read_only_media, same_every_run };

struct TargetSystem {
    PlayerSystem system = PlayerSystem::unknown;
    std::string name;   // "Linux Mint 21.3"
    std::string glibc;  // the C library's version there, "2.35" (Linux only)
};

struct ScreenMode {
    int width = 0;
    int height = 0;
};

struct CaptureRule {
    int width = 0;
    int height = 0;
    int fps = 0;
    std::string video_codec;  // "h264"
    int min_video_kbps = 0;
    std::string audio_codec;  // "aac"
    int min_audio_kbps = 0;
};

struct PartyRule {
    RuleKind kind = RuleKind::systems;
    int year = 0;
    std::string quote;        // the organisers' words
    bool paraphrase = false;  // the words are ours, not theirs
    bool optional = false;    // failing it fails nothing
    std::string label;        // "rule 2 (length)", for messages

    std::vector<TargetSystem> systems;  // systems
    bool bare = false;
    uint64_t max_bytes = 0;             // size
    double max_seconds = 0;             // length
    std::vector<ScreenMode> modes;      // resolutions
    int refresh_hz = 0;
    CaptureRule capture;                // capture
    PlayerBehaviour behaviour = PlayerBehaviour::quit_keys;  // player
};

struct Party {
    std::string key;    // "revision", or the file's name
    std::string title;  // "Revision"
    int year = 0;
    std::string source;
    std::string file;   // where the rules were read from
    std::vector<PartyRule> rules;

    // The first capture rule, or null.
    const PartyRule* capture() const;
};

Party load_party(const std::string& name_or_file);
// The built-in parties' names, sorted.
std::vector<std::string> known_parties();
// Reads rules from text; `file` names it in errors.
Party parse_party(std::string_view text, const std::string& file, const std::string& key);

const char* rule_kind_key(RuleKind kind);  // "systems", "length", ...

// The built-in rules, made at build time from tools/quill/parties/*.json.
struct PartyFile {
    const char* name;  // "revision"
    std::span<const uint8_t> text;
};
std::span<const PartyFile> built_in_party_files();

}  // namespace qh::quill
