#include "text/json_lint.h"

#include <cmath>
#include <cstdint>

namespace qh {

namespace {

// Invalid UTF-8 (names may come from a package) is shown replaced, not thrown.
std::string shown(const JsonValue& v) {
    std::string text = v.dump(-1, ' ', false, JsonValue::error_handler_t::replace);
    if (text.size() > 40) text = text.substr(0, 37) + "...";
    return text;
}

bool fits_in_32_bits(const JsonValue& v) {
    if (v.is_number_unsigned()) return v.get<uint64_t>() <= uint64_t{INT32_MAX};
    const int64_t n = v.get<int64_t>();
    return n >= INT32_MIN && n <= INT32_MAX;
}

}  // namespace

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
