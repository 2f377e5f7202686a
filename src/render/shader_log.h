#pragma once
// Where a compiler message points in the files the author wrote. A fragment
// text is compiled with its `#include "F"` directives replaced by the texts
// of other files, and the driver numbers lines in that expanded text; the
// SourceMap made along with the expansion takes each line back to its file,
// its line there, and the directives that brought it in.
//
//   const SourceText own{"resources/plasma.frag", plasma_text};
//   const SourceText others[] = {{"resources/common.glsl", common_text}};
//   ExpandedSource e = expand_sources(own, others);
//   ... compile e.text, read the driver's log ...
//   for (const CompilerMessage& m : translate_log(log, e.map)) print(m.text());
//   // "resources/plasma.frag:11: error: ..." or, for a line of common.glsl,
//   // "resources/common.glsl:12: error: ... (included from resources/plasma.frag:3)"
//
// Several programs that include one file repeat its errors; MessagesOnce
// keeps each message the first time it is said. Pure text work, no GL.
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qh {

// A named text: a program's own, or one that directives may name.
struct SourceText {
    std::string_view name;
    std::string_view text;
};

// A line of a file the author wrote, numbered from 1.
struct SourcePlace {
    std::string file;
    int line = 0;
};

class SourceMap {
public:
    // A text compiled as written: line n is line n of `file`. The default
    // map places nothing.
    SourceMap() = default;
    explicit SourceMap(std::string file);

    // Where line `line` (from 1) of the compiled text came from: the place
    // itself first, then each directive that brought it in, outwards. Lines
    // past the end go on counting in the file of the last line; empty for a
    // line before the first.
    std::vector<SourcePlace> locate(int line) const;

private:
    friend struct Expansion;
    struct Splice {
        std::string file;
        int parent = -1;  // the splice whose text held the directive; -1 for the own text
        int line_in_parent = 0;
    };
    struct Line {
        int splice = 0;
        int line = 0;
    };
    std::vector<Splice> splices_;
    std::vector<Line> lines_;  // one per compiled line
};

struct ExpandedSource {
    std::string text;
    SourceMap map;
    std::vector<size_t> spliced;  // indices into `others` of the texts that went in, in order
};

// For each text of `others` in order, the first `#include "NAME"` naming it
// is replaced by its text; later duplicates stay as written, and a directive
// brought in by a replacement is expanded only when its target comes later
// in `others`. Each text goes in at most once, so the result is at most the
// sum of the texts' sizes.
ExpandedSource expand_sources(SourceText own, std::span<const SourceText> others);

// One line of a driver's log. A line in the form "S:L(C): ...", "S(L) : ..."
// or "ERROR: S:L: ..." gets the place its line L maps to; any other line, or
// one whose line maps nowhere, keeps the driver's words as they are.
struct CompilerMessage {
    std::vector<SourcePlace> place;  // as SourceMap::locate; empty when not mapped
    std::string message;             // "error: ...", or the driver's whole line

    // "FILE:LINE: message (included from FILE:LINE, ...)", or the line as it was.
    std::string text() const;
    // The text without the directives that brought the line in.
    std::string text_without_includes() const;
};

// Blank lines are dropped.
std::vector<CompilerMessage> translate_log(std::string_view log, const SourceMap& map);

// Messages of several builds, each said once, whichever build says it first.
class MessagesOnce {
public:
    // The texts of `messages` not said before; where those of a file were
    // left out, "(FILE: N message(s) shown above)" stands for them. Messages
    // that name no place are kept every time: they belong to the build.
    std::vector<std::string> lines(const std::vector<CompilerMessage>& messages);

private:
    std::set<std::string> said_;
};

}  // namespace qh
