#pragma once
// The lint check the text records need beside those of render/json_lint.h: a
// member read as a 32-bit integral number.
//
//   expect_integral(obj, "ptsize", lint_context("font", name), warnings);
//   // -> font "Mono": "ptsize" is 24.0, not an integral number, which reads as 0; write 24
#include <string>
#include <string_view>
#include <vector>

#include "package/json_value.h"
#include "render/json_lint.h"

namespace qh {

// Warns when `key` is present in `object` but is not an integral number, or is
// one that does not fit in 32 bits.
void expect_integral(const JsonValue& object, std::string_view key, const std::string& context,
                     std::vector<std::string>& warnings);

}  // namespace qh
