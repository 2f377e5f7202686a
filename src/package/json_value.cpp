#include "package/json_value.h"

#include <algorithm>
#include <cctype>

#include "package/errors.h"

namespace qh {

const JsonValue& json_member(const JsonValue& value, std::string_view key) {
    static const JsonValue null_value;
    if (!value.is_object()) return null_value;
    auto it = value.find(key);
    return it == value.end() ? null_value : *it;
}

bool json_has(const JsonValue& value, std::string_view key) {
    return value.is_object() && value.find(key) != value.end();
}

uint64_t json_size(const JsonValue& value) {
    if (value.is_object() || value.is_array()) return value.size();
    return ~uint64_t{0};
}

std::string json_text(const JsonValue& value) {
    return value.is_string() ? value.get<std::string>() : std::string();
}

double json_floating(const JsonValue& value) {
    return value.is_number_float() ? value.get<double>() : 0.0;
}

float json_float(const JsonValue& value) { return static_cast<float>(json_floating(value)); }

int32_t json_integral(const JsonValue& value) {
    if (value.is_number_integer()) return static_cast<int32_t>(value.get<int64_t>());
    return 0;
}

bool json_bool(const JsonValue& value) { return value.is_boolean() && value.get<bool>(); }

namespace {

struct TextPlace {
    size_t line = 1, column = 1;  // both from 1; a tab is one column
};

TextPlace place_of(std::string_view text, size_t index) {
    TextPlace p;
    for (size_t i = 0; i < index && i < text.size(); ++i) {
        if (text[i] == '\n') {
            ++p.line;
            p.column = 1;
        } else {
            ++p.column;
        }
    }
    return p;
}

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// The index of the last character before `index` that is not blank, or npos.
size_t last_mark_before(std::string_view text, size_t index) {
    while (index > 0) {
        if (!is_blank(text[--index])) return index;
    }
    return std::string_view::npos;
}

bool contains(const std::string& s, const char* part) { return s.find(part) != std::string::npos; }

// "LINE:COL: what is wrong" in the author's words for a parser error at byte
// `byte` (from 1: the character the parser stopped at), with the common
// slips named: a trailing comma, a missing comma, a key without quotes, a
// single quote, an unclosed text or bracket.
std::string syntax_error_text(std::string_view text, size_t byte, const std::string& what) {
    const size_t at = std::min(byte > 0 ? byte - 1 : 0, text.size());
    const char c = at < text.size() ? text[at] : '\0';
    // The parser stops at the last character of a token it did not expect;
    // what came before is what precedes the token's first character.
    size_t token = at;
    if (c == '"' && contains(what, "string literal") && at > 0) {
        token = text.rfind('"', at - 1);
        if (token == std::string_view::npos) token = at;
    } else {
        auto in_word = [](char ch) {
            return std::isalnum(static_cast<unsigned char>(ch)) || ch == '+' || ch == '-' || ch == '.' || ch == '_';
        };
        while (token > 0 && in_word(text[token - 1])) --token;
    }
    const size_t before = last_mark_before(text, token);
    auto at_place = [&](size_t index, const std::string& message) {
        const TextPlace p = place_of(text, index);
        return std::to_string(p.line) + ":" + std::to_string(p.column) + ": " + message;
    };

    if ((c == '}' || c == ']') && before != std::string_view::npos && text[before] == ',')
        return at_place(before, std::string("a comma with nothing after it before '") + c +
                                    "'; remove the comma");
    if (last_mark_before(text, text.size()) == std::string_view::npos)
        return at_place(0, "the file is empty (or blank); a project is one JSON object: { ... }");
    if (c == ',')
        return at_place(at, "a comma where a key or a value should be; remove one of the commas");
    if (contains(what, "unexpected end of input"))
        return at_place(at, "the text ends here, before every '{' and '[' is closed");
    if (c == '\'') return at_place(at, "JSON writes texts and keys in double quotes (\"), not single quotes");
    if (contains(what, "must be escaped"))
        return at_place(at, "a text runs on past the end of its line; close it with \" or write \\n");
    if (contains(what, "parsing object key") && token < text.size() &&
        (std::isalpha(static_cast<unsigned char>(text[token])) || text[token] == '_')) {
        size_t end = token;
        while (end < text.size() && (std::isalnum(static_cast<unsigned char>(text[end])) || text[end] == '_'))
            ++end;
        return at_place(token, "a key needs double quotes: write \"" +
                                   std::string(text.substr(token, end - token)) + "\"");
    }
    if ((contains(what, "expected '}'") || contains(what, "expected ']'")) && before != std::string_view::npos &&
        text[before] != ',') {
        const TextPlace next = place_of(text, token);
        return at_place(before + 1, "a comma is missing after this value (before what starts on line " +
                                        std::to_string(next.line) + ")");
    }
    if (contains(what, "invalid literal"))
        return at_place(token, "not a value: write a number, a \"text\", true, false, null, a [list] or "
                            "an {object}");
    // The parser's own words, without its codes and its own (byte-based) place.
    std::string message = what;
    if (const size_t colon = message.find(": ", message.find("column")); colon != std::string::npos)
        message = message.substr(colon + 2);
    return at_place(at, message);
}

}  // namespace

JsonValue parse_json_text(std::string_view text, const std::string& source) {
    try {
        return JsonValue::parse(text);
    } catch (const nlohmann::json::parse_error& e) {
        throw ContentError(source + ":" + syntax_error_text(text, e.byte, e.what()));
    } catch (const nlohmann::json::exception& e) {
        // The parser refuses some well-formed text with other errors, e.g. a
        // number beyond the range of a double ("1e400", out_of_range); the
        // project is just as unreadable.
        throw ContentError(source + ": invalid JSON: " + e.what());
    }
}

std::string dump_json_text(const JsonValue& value) {
    try {
        return value.dump(2) + "\n";
    } catch (const nlohmann::json::type_error&) {
        // Texts from a package are bytes; JSON text must be UTF-8. Replacing
        // the bytes would change the content on the way back, so refuse.
        throw ContentError("a name or text is not valid UTF-8 and cannot be written as JSON");
    }
}

}  // namespace qh
