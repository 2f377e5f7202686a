#pragma once
// What a record's device side came to: not built yet, ready, or failed with
// what went wrong. Every record class with a device side reports it the same
// way (`device_state()`; an audio sample's through its SamplePlayer), and the
// player, `quill check` and `quill play` read this to tell whether a record
// can be used and what to say when it cannot.
//
//   const DeviceState s = texture.device_state();
//   if (s.failed()) for (const std::string& p : s.problems) say(p);
#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace qh {

struct DeviceState {
    enum class Kind { not_built, ready, failed };

    static DeviceState made() { return {Kind::ready, {}}; }
    static DeviceState failure(std::vector<std::string> problems) {
        return {Kind::failed, std::move(problems)};
    }

    // A framebuffer the device refused: "<what> (status 0x8cd6)".
    static DeviceState incomplete(const std::string& what, uint32_t status) {
        return failure({what + " (status " + hex_code(status) + ")"});
    }
    static std::string hex_code(uint32_t code) {
        char text[16];
        std::snprintf(text, sizeof text, "0x%x", code);
        return text;
    }

    bool ready() const { return kind == Kind::ready; }
    bool failed() const { return kind == Kind::failed; }
    bool built() const { return kind != Kind::not_built; }

    Kind kind = Kind::not_built;
    std::vector<std::string> problems;  // failed: each fault in one line
};

}  // namespace qh
