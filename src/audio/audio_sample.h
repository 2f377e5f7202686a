#pragma once
// A short sound the timeline fires (events of type 2 play it while active).
//
//   AudioSample s;
//   s.read_binary(in);                  // or s.from_json(value, dir)
//   s.audio_buffer.data                 // the encoded sound file (e.g. WAV)
//
// Binary form: name (packed string), then the sound file bytes (scrambled
// byte buffer). JSON form: {"name", "audio_buffer"} (Base64) when embedded;
// with external files the bytes go to the file `name` and are read back from
// it when "audio_buffer" is absent.
//
// Decoding, playing, the decoded duration and the music ducking are mixer
// work and live in the SamplePlayer (sample_player.h), keyed by the record.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "package/byte_buffer.h"
#include "package/serializable.h"

namespace qh {

class AudioSample : public ISerializable {
public:
    AudioSample() = default;
    // From bytes held in the program (the loading screen's own sample).
    AudioSample(std::string sample_name, const uint8_t* bytes, size_t count)
        : name(std::move(sample_name)), audio_buffer(bytes, count) {}

    JsonValue to_json(const ProjectDir* external) const override;
    void write_binary(BinaryWriter& out) const override;
    void from_json(const JsonValue& value, const ProjectDir& dir) override;
    void read_binary(BinaryReader& in) override;

    std::string name;          // how events refer to it; its file name beside the project
    ByteBuffer audio_buffer;   // the encoded sound file
};

// Milliseconds that `byte_length` bytes of decoded sound last on a device of
// `frequency` Hz, `channels` channels and `bytes_per_sample` bytes per sample,
// truncated: byte_length * 1000 / (frequency * channels * bytes_per_sample).
// Exact for every 64-bit length (no 32-bit product), saturating at
// INT32_MAX. 0 when the device values are not a device's: a frequency below
// 1, channels outside 1..255 or bytes per sample outside 1..8.
int32_t sample_duration_ms(uint64_t byte_length, int frequency, int channels,
                           int bytes_per_sample);

// Members of a sample's JSON object that the reader takes in a surprising way
// (a non-text "audio_buffer" reads as an empty sound...); one warning per
// finding, for the packer to print.
void lint_audio_sample_json(const JsonValue& value, std::vector<std::string>& warnings);

}  // namespace qh
