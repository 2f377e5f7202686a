#include "package/json_lint.h"

#include <cmath>
#include <cstdint>

namespace qh {

namespace {

const char* kind_of(const JsonValue& v) {
    switch (v.type()) {
        case JsonValue::value_t::null: return "null";
        case JsonValue::value_t::object: return "an object";
        case JsonValue::value_t::array: return "an array";
        case JsonValue::value_t::string: return "a string";
        case JsonValue::value_t::boolean: return "a boolean";
        case JsonValue::value_t::number_float: return "a floating number";
        case JsonValue::value_t::number_integer:
        case JsonValue::value_t::number_unsigned: return "an integral number";
        default: return "an unusual value";
    }
}

// Invalid UTF-8 (names may come from a package) is shown replaced, not thrown.
std::string dump_for_message(const JsonValue& v) {
    return v.dump(-1, ' ', false, JsonValue::error_handler_t::replace);
}

// Short form of the offending value for the message; long values are cut.
std::string shown(const JsonValue& v) {
    std::string text = dump_for_message(v);
    if (text.size() > 40) text = text.substr(0, 37) + "...";
    return text;
}

void warn_kind(const JsonValue& value, std::string_view key, const std::string& context,
               std::string_view reads_as, std::vector<std::string>& warnings) {
    warnings.push_back(context + ": \"" + std::string(key) + "\" is " + shown(value) + " (" +
                       kind_of(value) + "), which reads as " + std::string(reads_as));
}

bool fits_in_32_bits(const JsonValue& v) {
    if (v.is_number_unsigned()) return v.get<uint64_t>() <= uint64_t{INT32_MAX};
    const int64_t n = v.get<int64_t>();
    return n >= INT32_MIN && n <= INT32_MAX;
}

}  // namespace

void expect_floating(const JsonValue& object, std::string_view key, const std::string& context,
                     std::vector<std::string>& warnings) {
    if (!json_has(object, key)) return;
    const JsonValue& v = json_member(object, key);
    if (v.is_number_float()) return;
    warn_kind(v, key, context, "0", warnings);
    if (v.is_number_integer()) {
        warnings.back() += "; write " + v.dump() + ".0";
    }
}

void expect_bool(const JsonValue& object, std::string_view key, const std::string& context,
                 std::vector<std::string>& warnings) {
    if (!json_has(object, key)) return;
    const JsonValue& v = json_member(object, key);
    if (!v.is_boolean()) warn_kind(v, key, context, "false", warnings);
}

void expect_text(const JsonValue& object, std::string_view key, const std::string& context,
                 std::vector<std::string>& warnings) {
    if (!json_has(object, key)) return;
    const JsonValue& v = json_member(object, key);
    if (!v.is_string()) warn_kind(v, key, context, "the empty text", warnings);
}

bool expect_array(const JsonValue& object, std::string_view key, const std::string& context,
                  std::vector<std::string>& warnings) {
    if (!json_has(object, key)) return false;
    const JsonValue& v = json_member(object, key);
    if (!v.is_array()) warn_kind(v, key, context, "an empty list", warnings);
    return v.is_array();
}

void expect_text_array(const JsonValue& object, std::string_view key, const std::string& context,
                       std::vector<std::string>& warnings) {
    if (!expect_array(object, key, context, warnings)) return;
    const JsonValue& v = json_member(object, key);
    for (size_t i = 0; i < v.size(); ++i) {
        if (v[i].is_string()) continue;
        warnings.push_back(context + ": \"" + std::string(key) + "\"[" + std::to_string(i) +
                           "] is " + shown(v[i]) + " (" + kind_of(v[i]) +
                           "), which names no record and reads as a null link");
    }
}

void expect_present(const JsonValue& object, std::string_view key, const std::string& context,
                    std::string_view reads_as, std::vector<std::string>& warnings) {
    if (json_has(object, key)) return;
    warnings.push_back(context + ": \"" + std::string(key) + "\" is missing, which reads as " +
                       std::string(reads_as));
}

std::string lint_context(std::string_view record, const std::string& name) {
    return std::string(record) + " " + dump_for_message(JsonValue(name));
}

void expect_integral(const JsonValue& object, std::string_view key, const std::string& context,
                     std::vector<std::string>& warnings) {
    if (!json_has(object, key)) return;
    const JsonValue& v = json_member(object, key);
    const std::string head = context + ": \"" + std::string(key) + "\" is " + shown(v);
    if (!v.is_number_integer()) {
        std::string message = head + ", not an integral number, which reads as 0";
        if (v.is_number_float() && std::trunc(v.get<double>()) == v.get<double>() &&
            std::abs(v.get<double>()) <= INT32_MAX) {
            message += "; write " + std::to_string(static_cast<int64_t>(v.get<double>()));
        }
        warnings.push_back(message);
    } else if (!fits_in_32_bits(v)) {
        warnings.push_back(head + ", which does not fit in 32 bits and reads as " +
                           std::to_string(json_integral(v)));
    }
}

}  // namespace qh
