#include "package/json_source.h"

#include <utility>

#include "package/errors.h"

namespace qh {

// One value of the text: its span, and for a member its key and the key's span.
struct JsonSource::Node {
    size_t begin = 0, end = 0;
    char kind = 0;  // '{', '[' or 0 for a scalar
    std::string key;
    size_t key_begin = 0, key_end = 0;  // the value's own begin when not a member
    size_t parent = 0;
    std::vector<size_t> children;
};

// How new text is laid out, read off its neighbours.
struct JsonSource::Style {
    bool multiline = true;
    std::string newline = "\n";
    std::string unit = "  ";    // one level of indentation
    std::string colon = ": ";   // from the end of a key to its value
    std::string comma = ", ";   // between the values of a one-line container
};

namespace {

constexpr int kMaxDepth = 512;

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Walks text already known to be valid JSON and records every value's span.
// Recursion is bounded, so a hostile nesting fails with a message, not a crash.
template <typename Node>
class Scanner {
public:
    Scanner(const std::string& text, const std::string& source, std::vector<Node>& nodes)
        : t_(text), source_(source), nodes_(nodes) {
        if (t_.compare(0, 3, "\xEF\xBB\xBF") == 0) pos_ = 3;
    }

    void value(size_t parent, std::string key, size_t key_begin, size_t key_end, int depth) {
        skip_space();
        const size_t index = nodes_.size();
        nodes_.emplace_back();
        Node& n = nodes_.back();
        n.begin = pos_;
        n.parent = parent;
        n.key = std::move(key);
        n.key_begin = key_end ? key_begin : pos_;
        n.key_end = key_end ? key_end : pos_;
        if (index != parent) nodes_[parent].children.push_back(index);
        const char c = t_[pos_];
        if (c == '{' || c == '[') {
            if (depth >= kMaxDepth) {
                throw ContentError(source_ + ": values nested more than " +
                                   std::to_string(kMaxDepth) + " deep");
            }
            n.kind = c;
            ++pos_;
            skip_space();
            if (t_[pos_] == (c == '{' ? '}' : ']')) {
                ++pos_;
            } else {
                for (;;) {
                    skip_space();
                    std::string k;
                    size_t kb = 0, ke = 0;
                    if (c == '{') {
                        kb = pos_;
                        k = read_key();
                        ke = pos_;
                        skip_space();
                        ++pos_;  // ':'
                    }
                    value(index, std::move(k), kb, ke, depth + 1);
                    skip_space();
                    if (t_[pos_++] != ',') break;  // the closing bracket
                }
            }
        } else if (c == '"') {
            skip_string();
        } else {
            while (pos_ < t_.size() && !is_space(t_[pos_]) && t_[pos_] != ',' &&
                   t_[pos_] != ']' && t_[pos_] != '}') {
                ++pos_;
            }
        }
        nodes_[index].end = pos_;
    }

private:
    void skip_space() {
        while (pos_ < t_.size() && is_space(t_[pos_])) ++pos_;
    }
    void skip_string() {
        ++pos_;
        while (t_[pos_] != '"') pos_ += t_[pos_] == '\\' ? 2 : 1;
        ++pos_;
    }
    std::string read_key() {
        const size_t begin = pos_;
        skip_string();
        const std::string_view raw(t_.data() + begin, pos_ - begin);
        if (raw.find('\\') == std::string_view::npos) {
            return std::string(raw.substr(1, raw.size() - 2));
        }
        return JsonValue::parse(raw).get<std::string>();
    }

    const std::string& t_;
    const std::string& source_;
    std::vector<Node>& nodes_;
    size_t pos_ = 0;
};

// The keys and indices of a JSON pointer, or an error for a malformed one.
std::vector<std::string> pointer_tokens(std::string_view path, const std::string& source) {
    std::vector<std::string> tokens;
    if (path.empty()) return tokens;
    if (path[0] != '/') throw ContentError(source + ": \"" + std::string(path) + "\" is not a path");
    for (size_t at = 1;;) {
        const size_t slash = path.find('/', at);
        const std::string_view raw =
            path.substr(at, slash == std::string_view::npos ? std::string_view::npos : slash - at);
        std::string token;
        for (size_t i = 0; i < raw.size(); ++i) {
            if (raw[i] == '~' && i + 1 < raw.size() && (raw[i + 1] == '0' || raw[i + 1] == '1')) {
                token += raw[++i] == '0' ? '~' : '/';
            } else {
                token += raw[i];
            }
        }
        tokens.push_back(std::move(token));
        if (slash == std::string_view::npos) return tokens;
        at = slash + 1;
    }
}

bool is_index(const std::string& token) {
    if (token.empty() || token.size() > 9 || (token.size() > 1 && token[0] == '0')) return false;
    for (char c : token) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

std::string after_last_newline(const std::string& space) {
    const size_t nl = space.rfind('\n');
    return nl == std::string::npos ? space : space.substr(nl + 1);
}

}  // namespace

JsonSource::JsonSource(std::string text, std::string source)
    : text_(std::move(text)), source_(std::move(source)) {
    scan();
}

JsonSource::~JsonSource() = default;
JsonSource::JsonSource(const JsonSource&) = default;
JsonSource& JsonSource::operator=(const JsonSource&) = default;

JsonValue JsonSource::value() const { return parse_json_text(text_, source_); }

void JsonSource::scan() {
    parse_json_text(text_, source_);  // its messages say where a syntax error is
    std::vector<Node> nodes;
    Scanner<Node>(text_, source_, nodes).value(0, {}, 0, 0, 0);
    nodes_ = std::move(nodes);
}

bool JsonSource::has(std::string_view path) const {
    try {
        find(path);
        return true;
    } catch (const ContentError&) {
        return false;
    }
}

size_t JsonSource::find(std::string_view path) const {
    size_t at = 0;
    for (const std::string& token : pointer_tokens(path, source_)) {
        const Node& n = nodes_[at];
        size_t next = 0;
        if (n.kind == '{') {
            for (size_t child : n.children) {
                if (nodes_[child].key == token) next = child;  // the later of two equal keys
            }
        } else if (n.kind == '[' && is_index(token) && std::stoul(token) < n.children.size()) {
            next = n.children[std::stoul(token)];
        }
        if (next == 0) throw ContentError(source_ + ": nothing at " + std::string(path));
        at = next;
    }
    return at;
}

size_t JsonSource::find_container(std::string_view path, char kind) const {
    const size_t at = find(path);
    if (nodes_[at].kind != kind) {
        throw ContentError(source_ + ": " + (path.empty() ? std::string("the document") : std::string(path)) +
                           " is not " + (kind == '{' ? "an object" : "an array"));
    }
    return at;
}

namespace {

// The indentation of the line `pos` stands on.
std::string line_indent(const std::string& text, size_t pos) {
    const size_t nl = text.rfind('\n', pos == 0 ? 0 : pos - 1);
    size_t begin = nl == std::string::npos || pos == 0 ? 0 : nl + 1;
    size_t end = begin;
    while (end < text.size() && (text[end] == ' ' || text[end] == '\t')) ++end;
    return text.substr(begin, end - begin);
}

size_t space_start(const std::string& text, size_t pos) {
    while (pos > 0 && is_space(text[pos - 1])) --pos;
    return pos;
}

}  // namespace

JsonSource::Style JsonSource::style_for(size_t container) const {
    Style s;
    if (text_.find("\r\n") != std::string::npos) s.newline = "\r\n";
    s.multiline = text_.find('\n') != std::string::npos;
    // The container's own layout first, then the first container of the file
    // that shows one.
    bool have_layout = false, have_colon = false;
    auto learn = [&](size_t c) {
        const Node& n = nodes_[c];
        if (n.kind == 0 || n.children.empty()) return;
        const Node& first = nodes_[n.children.front()];
        if (!have_colon && n.kind == '{') {
            s.colon = text_.substr(first.key_end, first.begin - first.key_end);
            have_colon = true;
        }
        if (have_layout) return;
        const size_t ws = space_start(text_, first.key_begin);
        const std::string space = text_.substr(ws, first.key_begin - ws);
        const bool multiline = space.find('\n') != std::string::npos;
        if (c != container && !multiline) return;  // another one-line container says little
        have_layout = true;
        s.multiline = multiline;
        if (multiline) {
            const std::string inner = after_last_newline(space);
            const std::string outer = line_indent(text_, n.begin);
            s.unit = inner.compare(0, outer.size(), outer) == 0 && inner.size() > outer.size()
                         ? inner.substr(outer.size())
                         : inner;
        } else if (n.children.size() > 1) {
            const Node& second = nodes_[n.children[1]];
            s.comma = text_.substr(first.end, second.key_begin - first.end);
        }
    };
    learn(container);
    for (size_t i = 0; i < nodes_.size() && !(have_layout && have_colon); ++i) learn(i);
    return s;
}

namespace {

template <typename Style>
std::string layout(const JsonEditValue& v, const Style& s, const std::string& indent) {
    if (!v.is_structured() || v.empty()) return v.dump();
    const bool object = v.is_object();
    const std::string inner = indent + s.unit;
    std::string out(1, object ? '{' : '[');
    for (auto it = v.begin(); it != v.end(); ++it) {
        if (it != v.begin()) out += s.multiline ? std::string(",") : s.comma;
        if (s.multiline) out += s.newline + inner;
        if (object) out += JsonEditValue(it.key()).dump() + s.colon;
        out += layout(it.value(), s, inner);
    }
    if (s.multiline) out += s.newline + indent;
    out += object ? '}' : ']';
    return out;
}

}  // namespace

void JsonSource::splice(size_t begin, size_t end, const std::string& with) {
    std::string before = text_;
    text_.replace(begin, end - begin, with);
    try {
        scan();
    } catch (...) {
        text_ = std::move(before);
        scan();
        throw;
    }
}

void JsonSource::replace(std::string_view path, const JsonEditValue& value) {
    const size_t at = find(path);
    const Node& n = nodes_[at];
    // A container keeps its own layout; a scalar turned container takes its parent's.
    const Style s = style_for(n.kind && !n.children.empty() ? at : n.parent);
    try {
        splice(n.begin, n.end, layout(value, s, line_indent(text_, n.begin)));
    } catch (const JsonValue::exception& e) {
        throw ContentError(source_ + ": " + std::string(path) + ": " + e.what());
    }
}

void JsonSource::insert_last(size_t container, const std::string& head, const JsonEditValue& value) {
    const Node& n = nodes_[container];
    const Style s = style_for(container);
    try {
        if (n.children.empty()) {
            const std::string indent = line_indent(text_, n.begin);
            if (!s.multiline) {
                splice(n.begin + 1, n.end - 1, head + layout(value, s, indent));
                return;
            }
            const std::string inner = indent + s.unit;
            splice(n.begin + 1, n.end - 1,
                   s.newline + inner + head + layout(value, s, inner) + s.newline + indent);
            return;
        }
        const Node& last = nodes_[n.children.back()];
        if (!s.multiline) {
            splice(last.end, last.end,
                   s.comma + head + layout(value, s, line_indent(text_, last.key_begin)));
            return;
        }
        const size_t ws = space_start(text_, last.key_begin);
        const std::string space = text_.substr(ws, last.key_begin - ws);
        splice(last.end, last.end,
               "," + space + head + layout(value, s, after_last_newline(space)));
    } catch (const JsonValue::exception& e) {
        throw ContentError(source_ + ": " + e.what());
    }
}

void JsonSource::add_member(std::string_view path, std::string_view key, const JsonEditValue& value) {
    const size_t at = find_container(path, '{');
    for (size_t child : nodes_[at].children) {
        if (nodes_[child].key == key) {
            throw ContentError(source_ + ": " + std::string(path) + " already has \"" +
                               std::string(key) + "\"");
        }
    }
    insert_last(at, JsonEditValue(std::string(key)).dump() + style_for(at).colon, value);
}

void JsonSource::append(std::string_view path, const JsonEditValue& value) {
    insert_last(find_container(path, '['), {}, value);
}

void JsonSource::insert(std::string_view path, size_t index, const JsonEditValue& value) {
    const size_t at = find_container(path, '[');
    const Node& n = nodes_[at];
    if (index >= n.children.size()) {
        insert_last(at, {}, value);
        return;
    }
    // The new element takes the place of the one there, that one's leading
    // space and a separator going after it.
    const Style s = style_for(at);
    const Node& next = nodes_[n.children[index]];
    const size_t ws = space_start(text_, next.key_begin);
    const std::string space = text_.substr(ws, next.key_begin - ws);
    const std::string indent = s.multiline ? after_last_newline(space) : line_indent(text_, next.key_begin);
    try {
        splice(next.key_begin, next.key_begin, layout(value, s, indent) + (s.multiline ? "," + space : s.comma));
    } catch (const JsonValue::exception& e) {
        throw ContentError(source_ + ": " + e.what());
    }
}

void JsonSource::remove(std::string_view path) {
    const size_t at = find(path);
    if (at == 0) throw ContentError(source_ + ": the document itself cannot be removed");
    const Node& n = nodes_[at];
    const Node& parent = nodes_[n.parent];
    const std::vector<size_t>& siblings = parent.children;
    size_t k = 0;
    while (siblings[k] != at) ++k;
    if (siblings.size() == 1) {
        splice(parent.begin + 1, parent.end - 1, {});
    } else if (k > 0) {
        splice(nodes_[siblings[k - 1]].end, n.end, {});  // from the comma before it
    } else {
        splice(n.key_begin, nodes_[siblings[1]].key_begin, {});  // up to the next one
    }
}

}  // namespace qh
