// Writes the seed inputs of fuzz_stream_readers into a directory:
//   qh_fuzz_seed_corpus fuzz/corpus/stream
// Each file is one steering byte followed by data the real writer produced.
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "package/binary_stream.h"
#include "package/lz_codec.h"

namespace {

void write_seed(const std::string& dir, const std::string& name, uint8_t steer,
                const std::vector<uint8_t>& data) {
    std::ofstream out(dir + "/" + name, std::ios::binary | std::ios::trunc);
    out.put(static_cast<char>(steer));
    out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

const char* const shader =
    "#version 150\nuniform float beat;\nuniform vec2 resolution;\nuniform sampler2D tex;\n"
    "out vec4 color;\nvoid main() {\n    vec2 uv = gl_FragCoord.xy / resolution;\n"
    "    color = texture(tex, uv) * (0.5 + 0.5 * sin(beat * 3.14159));\n}\n";

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DIRECTORY\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];

    // Packed strings only (steering 0x00).
    {
        qh::BinaryWriter w;
        for (const char* text : {"", "a", "abcd", "Event name", shader})
            w.write_packed_string(text);
        w.write_packed_string(std::string(300, 'A'));
        write_seed(dir, "packed_strings", 0x00, w.bytes());
    }
    // Byte buffers only (steering 0xFF).
    {
        qh::BinaryWriter w;
        const std::vector<uint8_t> empty, image = {0x89, 'P', 'N', 'G', 0, 0, 0, 13, 1, 2, 3};
        w.write_scrambled_bytes(empty.data(), empty.size());
        w.write_scrambled_bytes(image.data(), image.size());
        write_seed(dir, "byte_buffers", 0xFF, w.bytes());
    }
    // Alternating, as records mix them (steering 0b10101010: string first).
    {
        qh::BinaryWriter w;
        const std::vector<uint8_t> blob(64, 0x42);
        for (int i = 0; i < 4; ++i) {
            w.write_packed_string("name " + std::to_string(i));
            w.write_scrambled_bytes(blob.data(), blob.size());
        }
        write_seed(dir, "mixed", 0xAA, w.bytes());
    }
    // Raw compressed streams for the decoder, split near the middle.
    write_seed(dir, "raw_text", 0x80, qh::lz_compress(shader));
    write_seed(dir, "raw_run", 0x40, qh::lz_compress(std::string(100, 'A')));
    {
        std::vector<uint8_t> two = qh::lz_compress("first message first message");
        const std::vector<uint8_t> second = qh::lz_compress("second");
        two.insert(two.end(), second.begin(), second.end());
        write_seed(dir, "raw_trailing", 0xC0, two);
    }
    write_seed(dir, "raw_truncated", 0x10, {10, 7, 'a', 'b', 'c'});
    write_seed(dir, "raw_long_match", 0x20, {40, 3, 'x', 0x10, 35});
    return 0;
}
