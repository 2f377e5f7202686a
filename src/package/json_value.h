#pragma once
// The project form's JSON value: nlohmann::json (object keys iterate sorted,
// floating and integral numbers stay apart in text: 130.0 versus 130) with the
// lenient accessors every record reader uses. A missing key or a value of
// another type reads as 0, false or the empty text; nothing here throws.
//
//   float bpm = json_float(json_member(obj, "bpm"));   // 0 unless floating
//   std::string name = json_text(json_member(obj, "name"));
#include <cstdint>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace qh {

using JsonValue = nlohmann::json;

// The member `key` of an object, or a null value when absent or not an object.
const JsonValue& json_member(const JsonValue& value, std::string_view key);
bool json_has(const JsonValue& value, std::string_view key);

// Member count of an object, element count of an array, all ones otherwise.
uint64_t json_size(const JsonValue& value);

std::string json_text(const JsonValue& value);   // "" unless a string
double json_floating(const JsonValue& value);    // 0 unless a floating number
float json_float(const JsonValue& value);        // json_floating narrowed
int32_t json_integral(const JsonValue& value);   // 0 unless an integral number
bool json_bool(const JsonValue& value);          // false unless a boolean

// Text form. Parsing throws ContentError with the line and column of a syntax
// error; `source` names the file in that message.
JsonValue parse_json_text(std::string_view text, const std::string& source);
std::string dump_json_text(const JsonValue& value);  // indented, ends with a newline

}  // namespace qh
