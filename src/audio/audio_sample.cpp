#include "audio/audio_sample.h"

#include <limits>

#include "package/project_dir.h"

namespace qh {

JsonValue AudioSample::to_json(const ProjectDir* external) const {
    JsonValue j = JsonValue::object();
    j["name"] = name;
    put_file_bytes(j, "audio_buffer", name, audio_buffer.data, external);
    return j;
}

// A sample with no sound is still written in full (name and an empty
// buffer): its table has already counted it and written its identity, so
// writing nothing would shift every record after it.
void AudioSample::write_binary(BinaryWriter& out) const {
    out.write_packed_string(name);
    audio_buffer.write_binary(out);
}

void AudioSample::from_json(const JsonValue& value, const ProjectDir& dir) {
    name = json_text(json_member(value, "name"));
    audio_buffer = take_file_bytes(value, "audio_buffer", name, dir);
}

void AudioSample::read_binary(BinaryReader& in) {
    name = in.read_packed_string("audio sample name");
    audio_buffer.data = in.read_scrambled_bytes("audio sample bytes");
}

int32_t sample_duration_ms(uint64_t byte_length, int frequency, int channels,
                           int bytes_per_sample) {
    if (frequency < 1 || channels < 1 || channels > 255 || bytes_per_sample < 1 ||
        bytes_per_sample > 8) {
        return 0;
    }
    // Below 2^42 bytes per second, so the remainder times 1000 fits in 64
    // bits; whole seconds and the remainder are scaled apart.
    const uint64_t bytes_per_second = static_cast<uint64_t>(frequency) *
                                      static_cast<uint64_t>(channels) *
                                      static_cast<uint64_t>(bytes_per_sample);
    constexpr uint64_t max_ms = std::numeric_limits<int32_t>::max();
    const uint64_t seconds = byte_length / bytes_per_second;
    if (seconds > max_ms / 1000) return static_cast<int32_t>(max_ms);
    const uint64_t ms =
        seconds * 1000 + (byte_length % bytes_per_second) * 1000 / bytes_per_second;
    return static_cast<int32_t>(ms < max_ms ? ms : max_ms);
}

void lint_audio_sample_json(const JsonValue& value, std::vector<std::string>& warnings) {
    const std::string label = "audio sample \"" + json_text(json_member(value, "name")) + "\": ";
    if (!value.is_object()) {
        warnings.push_back(label + "is not a JSON object, so every member reads as empty");
        return;
    }
    if (!json_member(value, "name").is_string()) {
        warnings.push_back(label +
                           "\"name\" is missing or not a string, which reads as the empty name "
                           "that no event can refer to");
    }
    if (json_has(value, "audio_buffer") && !json_member(value, "audio_buffer").is_string()) {
        warnings.push_back(label + "\"audio_buffer\" is not a string, which reads as an empty sound");
    }
}

}  // namespace qh
