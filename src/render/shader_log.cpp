#include "render/shader_log.h"

#include <algorithm>
#include <optional>
#include <utility>

namespace qh {

namespace {

int newlines(std::string_view s) { return static_cast<int>(std::count(s.begin(), s.end(), '\n')); }

// A run of the compiled text taken whole from one splice, starting on
// `first_line` of that splice's file.
struct Piece {
    std::string_view text;
    int splice = 0;
    int first_line = 1;
};

// ---- Reading a driver's line ----------------------------------------------

class Cursor {
public:
    explicit Cursor(std::string_view s) : s_(s) {}
    bool number(int& value) {
        const size_t start = at_;
        long v = 0;
        for (; at_ < s_.size() && s_[at_] >= '0' && s_[at_] <= '9'; ++at_)
            v = std::min(v * 10 + (s_[at_] - '0'), 1L << 30);  // a huge number stays out of range, never wraps
        value = static_cast<int>(v);
        return at_ > start;
    }
    bool token(std::string_view t) {
        if (s_.substr(at_, t.size()) != t) return false;
        at_ += t.size();
        return true;
    }
    void spaces() {
        while (at_ < s_.size() && s_[at_] == ' ') ++at_;
    }
    std::string_view rest() const { return s_.substr(at_); }

private:
    std::string_view s_;
    size_t at_ = 0;
};

struct DriverLine {
    int line = 0;
    std::string message;
};

// The three shapes drivers give a place in: "0:12(5): error: ..." (Mesa),
// "0(12) : error C0000: ..." and "ERROR: 0:12: ...".
std::optional<DriverLine> read_driver_line(std::string_view s) {
    int source = 0, line = 0, column = 0;
    {
        Cursor c(s);
        if (c.number(source) && c.token(":") && c.number(line) && c.token("(") && c.number(column) &&
            c.token("):")) {
            c.spaces();
            return DriverLine{line, std::string(c.rest())};
        }
    }
    {
        Cursor c(s);
        if (c.number(source) && c.token("(") && c.number(line) && c.token(")")) {
            c.spaces();
            if (c.token(":")) {
                c.spaces();
                return DriverLine{line, std::string(c.rest())};
            }
        }
    }
    for (const auto& [head, kind] : {std::pair{"ERROR: ", "error: "}, std::pair{"WARNING: ", "warning: "}}) {
        Cursor c(s);
        if (c.token(head) && c.number(source) && c.token(":") && c.number(line) && c.token(":")) {
            c.spaces();
            return DriverLine{line, kind + std::string(c.rest())};
        }
    }
    return std::nullopt;
}

std::string place_text(const SourcePlace& p) { return p.file + ":" + std::to_string(p.line); }

}  // namespace

// ---- The map ----------------------------------------------------------------

SourceMap::SourceMap(std::string file) : splices_{{std::move(file), -1, 0}}, lines_{{0, 1}} {}

std::vector<SourcePlace> SourceMap::locate(int line) const {
    if (line < 1 || lines_.empty()) return {};
    const size_t index = static_cast<size_t>(line - 1);
    const size_t known = std::min(index, lines_.size() - 1);
    const Line& l = lines_[known];
    std::vector<SourcePlace> places{{splices_[static_cast<size_t>(l.splice)].file,
                                     l.line + static_cast<int>(index - known)}};
    for (int s = l.splice; splices_[static_cast<size_t>(s)].parent >= 0;) {
        const Splice& splice = splices_[static_cast<size_t>(s)];
        places.push_back({splices_[static_cast<size_t>(splice.parent)].file, splice.line_in_parent});
        s = splice.parent;
    }
    return places;
}

// The expansion keeps the compiled text as pieces of the texts it came from,
// so that each line can be told where it began.
struct Expansion {
    static ExpandedSource run(SourceText own, std::span<const SourceText> others) {
        ExpandedSource out{std::string(own.text), SourceMap(std::string(own.name)), {}};
        std::vector<Splice>& splices = out.map.splices_;
        std::vector<Piece> pieces;
        if (!own.text.empty()) pieces.push_back({own.text, 0, 1});
        for (size_t i = 0; i < others.size(); ++i) {
            const std::string directive = "#include \"" + std::string(others[i].name) + "\"";
            const size_t at = out.text.find(directive);
            if (at == std::string::npos) continue;
            pieces = splice(pieces, at, at + directive.size(), others[i], splices);
            out.text.replace(at, directive.size(), others[i].text);
            out.spliced.push_back(i);
        }
        out.map.lines_ = line_table(pieces);
        return out;
    }

private:
    using Splice = SourceMap::Splice;

    // `pieces` with [at, end) of their text replaced by `inserted`. The
    // directive may run over pieces' edges; what is left of each on either
    // side keeps its place.
    static std::vector<Piece> splice(const std::vector<Piece>& pieces, size_t at, size_t end,
                                     SourceText inserted, std::vector<Splice>& splices) {
        std::vector<Piece> next;
        size_t start = 0;
        for (const Piece& p : pieces) {
            const size_t s = start, e = start + p.text.size();
            start = e;
            if (s < at) next.push_back({p.text.substr(0, std::min(e, at) - s), p.splice, p.first_line});
            if (s <= at && at < e) {
                const int line = p.first_line + newlines(p.text.substr(0, at - s));
                splices.push_back({std::string(inserted.name), p.splice, line});
                if (!inserted.text.empty())
                    next.push_back({inserted.text, static_cast<int>(splices.size() - 1), 1});
            }
            if (e > end) {
                const size_t cut = std::max(s, end) - s;
                next.push_back({p.text.substr(cut), p.splice, p.first_line + newlines(p.text.substr(0, cut))});
            }
        }
        return next;
    }

    // Each compiled line belongs where its first character came from; an
    // empty last line, after the last piece.
    static std::vector<SourceMap::Line> line_table(const std::vector<Piece>& pieces) {
        std::vector<SourceMap::Line> lines;
        bool line_start = true;
        SourceMap::Line after_last{0, 1};
        for (const Piece& p : pieces) {
            int line = p.first_line;
            for (char c : p.text) {
                if (line_start) lines.push_back({p.splice, line});
                line_start = c == '\n';
                line += line_start;
            }
            after_last = {p.splice, line};
        }
        if (line_start) lines.push_back(after_last);
        return lines;
    }
};

ExpandedSource expand_sources(SourceText own, std::span<const SourceText> others) {
    return Expansion::run(own, others);
}

// ---- Messages ---------------------------------------------------------------

std::string CompilerMessage::text_without_includes() const {
    return place.empty() ? message : place_text(place.front()) + ": " + message;
}

std::string CompilerMessage::text() const {
    std::string t = text_without_includes();
    for (size_t i = 1; i < place.size(); ++i) t += (i == 1 ? " (included from " : ", ") + place_text(place[i]);
    if (place.size() > 1) t += ")";
    return t;
}

std::vector<CompilerMessage> translate_log(std::string_view log, const SourceMap& map) {
    std::vector<CompilerMessage> out;
    while (!log.empty()) {
        const size_t end = std::min(log.find('\n'), log.size());
        std::string_view line = log.substr(0, end);
        log.remove_prefix(std::min(end + 1, log.size()));
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.remove_suffix(1);
        if (line.find_first_not_of(" \t") == std::string_view::npos) continue;
        const std::optional<DriverLine> read = read_driver_line(line);
        std::vector<SourcePlace> place = read ? map.locate(read->line) : std::vector<SourcePlace>{};
        if (place.empty()) out.push_back({{}, std::string(line)});
        else out.push_back({std::move(place), read->message});
    }
    return out;
}

std::vector<std::string> MessagesOnce::lines(const std::vector<CompilerMessage>& messages) {
    std::vector<std::string> out;
    // Per file left out: where its note goes (where its first message would
    // have been) and how many.
    std::vector<std::pair<std::string, std::pair<size_t, int>>> left_out;
    for (const CompilerMessage& m : messages) {
        if (m.place.empty() || said_.insert(m.text_without_includes()).second) {
            out.push_back(m.text());
            continue;
        }
        const std::string& file = m.place.front().file;
        auto it = std::find_if(left_out.begin(), left_out.end(), [&](const auto& f) { return f.first == file; });
        if (it != left_out.end()) {
            ++it->second.second;
            continue;
        }
        left_out.push_back({file, {out.size(), 1}});
        out.emplace_back();
    }
    for (const auto& [file, note] : left_out) {
        const int n = note.second;
        out[note.first] = "(" + file + ": " + std::to_string(n) + (n == 1 ? " message" : " messages") +
                          " shown above)";
    }
    return out;
}

}  // namespace qh
