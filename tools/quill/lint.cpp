#include "lint.h"

namespace qh::quill {

namespace {

void expect_floating(const JsonValue& obj, const char* key, const std::string& where,
                     std::vector<std::string>& warnings) {
    const JsonValue& v = json_member(obj, key);
    if (v.is_number_integer() || v.is_number_unsigned()) {
        warnings.push_back(where + "\"" + key + "\" is written as an integral number (" + v.dump() +
                           ") and reads as 0; write it as " + v.dump() + ".0");
    } else if (!v.is_null() && !v.is_number_float()) {
        warnings.push_back(where + "\"" + key + "\" is not a number and reads as 0");
    }
}

}  // namespace

std::vector<std::string> lint_project(const JsonValue& project) {
    std::vector<std::string> warnings;
    for (const char* key : {"bpm", "end_beat", "beat_offset"}) {
        if (!json_has(project, key)) {
            warnings.push_back(std::string("\"") + key + "\" is missing and reads as 0");
        } else {
            expect_floating(project, key, "", warnings);
        }
    }
    return warnings;
}

}  // namespace qh::quill
