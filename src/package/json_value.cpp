#include "package/json_value.h"

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

JsonValue parse_json_text(std::string_view text, const std::string& source) {
    try {
        return JsonValue::parse(text);
    } catch (const nlohmann::json::parse_error& e) {
        // nlohmann reports the byte; give the line and column as well.
        size_t line = 1, column = 1;
        for (size_t i = 0; i + 1 < e.byte && i < text.size(); ++i) {
            if (text[i] == '\n') {
                ++line;
                column = 1;
            } else {
                ++column;
            }
        }
        throw ContentError(source + ":" + std::to_string(line) + ":" + std::to_string(column) +
                           ": invalid JSON: " + e.what());
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
