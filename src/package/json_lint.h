#pragma once
// Warnings about JSON values that the lenient record readers accept but read
// in a way an author would not expect (an integral 5 where a floating number
// is read becomes 0, a string where a boolean is read becomes false). The
// readers themselves never warn; the packer runs the `lint_*_json` functions
// of the record classes, which are built from these checks.
//
//   expect_floating(obj, "max_val", "uniform \"gain\"", warnings);
//   // -> uniform "gain": "max_val" is 5 (an integral number), which reads as 0; write 5.0
#include <string>
#include <string_view>
#include <vector>

#include "package/json_value.h"

namespace qh {

// Each check warns when `key` is present in `object` but holds another kind of
// value; `context` names the record in the message.
void expect_floating(const JsonValue& object, std::string_view key, const std::string& context,
                     std::vector<std::string>& warnings);
void expect_bool(const JsonValue& object, std::string_view key, const std::string& context,
                 std::vector<std::string>& warnings);
void expect_text(const JsonValue& object, std::string_view key, const std::string& context,
                 std::vector<std::string>& warnings);
// True when `key` holds an array (warns when it holds anything else).
bool expect_array(const JsonValue& object, std::string_view key, const std::string& context,
                  std::vector<std::string>& warnings);
// An array of texts (names); also warns about elements that are not texts.
void expect_text_array(const JsonValue& object, std::string_view key, const std::string& context,
                       std::vector<std::string>& warnings);

// Warns when `key` is present but is not an integral number, or is one that
// does not fit in 32 bits.
void expect_integral(const JsonValue& object, std::string_view key, const std::string& context,
                     std::vector<std::string>& warnings);

// Warns that `key` is absent and what the reader uses instead.
void expect_present(const JsonValue& object, std::string_view key, const std::string& context,
                    std::string_view reads_as, std::vector<std::string>& warnings);

// `record "NAME"`, with NAME shown as JSON would write it.
std::string lint_context(std::string_view record, const std::string& name);

}  // namespace qh
