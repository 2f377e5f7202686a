// The string codec against two general-purpose fast codecs on the same
// inputs: shader-like text, JSON and random bytes, 64 KiB each. Throughput is
// counted in uncompressed bytes both ways; "ratio" is original / compressed.
//
//   bench_codec --benchmark_min_time=0.5s
#include <benchmark/benchmark.h>
#include <lz4.h>
#include <snappy.h>

#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "package/lz_codec.h"

namespace {

constexpr size_t input_size = 64 * 1024;

// --- inputs ----------------------------------------------------------------

std::string glsl_text() {
    std::mt19937 rng(1);
    auto pick = [&](std::initializer_list<const char*> words) {
        return std::string(words.begin()[rng() % words.size()]);
    };
    auto number = [&] {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%.*f", 1 + int(rng() % 4), (rng() % 100000) / 1000.0);
        return std::string(buf);
    };
    auto ident = [&] {
        return pick({"uv", "p", "col", "d", "n", "q", "dir", "pos", "glow", "fade"}) +
               (rng() % 3 ? "" : std::to_string(rng() % 10));
    };
    std::string s =
        "#version 150\n\nuniform float beat;\nuniform float iTime2;\nuniform vec2 resolution;\n"
        "uniform sampler2D tex;\nuniform sampler2D tex1;\nuniform sampler2D sound_texture;\n"
        "uniform float sound;\n\nout vec4 fragColor;\n\n";
    for (int f = 0; s.size() < input_size; ++f) {
        const std::string type = pick({"float", "vec2", "vec3", "vec4"});
        s += "// " + pick({"Signed distance of", "Colour ramp for", "Noise octave of", "Rotates"}) +
             " part " + std::to_string(f) + "\n";
        s += type + " fn" + std::to_string(f) + "(" + pick({"vec2", "vec3"}) + " p, float t) {\n";
        for (int line = 0, lines = 3 + rng() % 8; line < lines; ++line) {
            s += "    " + pick({"float", "vec2", "vec3"}) + " " + ident() + " = " +
                 pick({"sin", "cos", "abs", "fract", "length", "smoothstep(0.0, 1.0, "}) + "(" +
                 ident() + " * " + number() + " + t" + (rng() % 2 ? " * beat" : "") + ")" +
                 (rng() % 3 ? "" : " * texture(tex, uv).r") + ";\n";
            if (rng() % 4 == 0)
                s += "    if (" + ident() + " > " + number() + ") " + ident() + " *= " + number() + ";\n";
        }
        s += "    return " + type + "(" + ident() + ");\n}\n\n";
    }
    s += "void main() {\n    vec2 uv = gl_FragCoord.xy / resolution;\n"
         "    fragColor = vec4(fn0(uv, beat), 1.0);\n}\n";
    s.resize(input_size);
    return s;
}

std::string json_text() {
    std::mt19937 rng(2);
    static const char* const effects[] = {"tunnel", "plasma", "title", "scroller", "particles", "fade"};
    static const char* const curves[] = {"iTime2", "alpha", "camera_x", "camera_y", "zoom", "text"};
    std::string s = "{\n  \"bpm\": 128.0,\n  \"beat_offset\": 0.25,\n  \"events\": [\n";
    for (int i = 0; s.size() < input_size; ++i) {
        const int start = i * 4 + int(rng() % 4);
        s += "    {\n      \"name\": \"event_" + std::to_string(i) + "\",\n      \"effect\": \"" +
             effects[rng() % 6] + "\",\n      \"start_beat\": " + std::to_string(start) +
             ",\n      \"end_beat\": " + std::to_string(start + 4 + int(rng() % 16)) +
             ",\n      \"visible\": " + (rng() % 4 ? "true" : "false") + ",\n      \"curves\": [\n";
        for (int c = 0, n = 1 + rng() % 3; c < n; ++c) {
            s += std::string("        {\"name\": \"") + curves[rng() % 6] + "\", \"points\": [";
            for (int p = 0, m = 2 + rng() % 4; p < m; ++p) {
                s += (p ? ", " : "") + std::string("{\"beat\": ") + std::to_string(p * 2) +
                     ", \"value\": " + std::to_string((rng() % 2000) / 1000.0) + "}";
            }
            s += c + 1 < n ? "]},\n" : "]}\n";
        }
        s += "      ]\n    },\n";
    }
    s.resize(input_size);
    return s;
}

std::string random_bytes() {
    std::mt19937 rng(3);
    std::string s(input_size, '\0');
    for (char& c : s) c = static_cast<char>(rng() & 0xFF);
    return s;
}

// --- codecs ----------------------------------------------------------------

void compress_qh(benchmark::State& state, const std::string& input) {
    size_t packed = 0;
    for (auto _ : state) {
        std::vector<uint8_t> out = qh::lz_compress(input);
        packed = out.size();
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(input.size()));
    state.counters["ratio"] = double(input.size()) / double(packed);
}

void decompress_qh(benchmark::State& state, const std::string& input) {
    const std::vector<uint8_t> packed = qh::lz_compress(input);
    qh::DecoderState st;
    for (auto _ : state) {
        qh::lz_decompress(st, packed.data(), packed.size());
        benchmark::DoNotOptimize(st.output.data());
    }
    if (std::string(st.output.begin(), st.output.end()) != input) state.SkipWithError("round trip failed");
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(input.size()));
    state.counters["ratio"] = double(input.size()) / double(packed.size());
}

void compress_snappy(benchmark::State& state, const std::string& input) {
    std::string out;
    for (auto _ : state) {
        snappy::Compress(input.data(), input.size(), &out);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(input.size()));
    state.counters["ratio"] = double(input.size()) / double(out.size());
}

void decompress_snappy(benchmark::State& state, const std::string& input) {
    std::string packed, out;
    snappy::Compress(input.data(), input.size(), &packed);
    for (auto _ : state) {
        snappy::Uncompress(packed.data(), packed.size(), &out);
        benchmark::DoNotOptimize(out.data());
    }
    if (out != input) state.SkipWithError("round trip failed");
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(input.size()));
    state.counters["ratio"] = double(input.size()) / double(packed.size());
}

void compress_lz4(benchmark::State& state, const std::string& input) {
    std::vector<char> out(LZ4_compressBound(int(input.size())));
    int packed = 0;
    for (auto _ : state) {
        packed = LZ4_compress_default(input.data(), out.data(), int(input.size()), int(out.size()));
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(input.size()));
    state.counters["ratio"] = double(input.size()) / double(packed);
}

void decompress_lz4(benchmark::State& state, const std::string& input) {
    std::vector<char> packed(LZ4_compressBound(int(input.size())));
    packed.resize(LZ4_compress_default(input.data(), packed.data(), int(input.size()), int(packed.size())));
    std::string out(input.size(), '\0');
    for (auto _ : state) {
        const int n = LZ4_decompress_safe(packed.data(), out.data(), int(packed.size()), int(out.size()));
        benchmark::DoNotOptimize(n);
    }
    if (out != input) state.SkipWithError("round trip failed");
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(input.size()));
    state.counters["ratio"] = double(input.size()) / double(packed.size());
}

struct Input {
    const char* name;
    std::string bytes;
};

struct Codec {
    const char* name;
    void (*compress)(benchmark::State&, const std::string&);
    void (*decompress)(benchmark::State&, const std::string&);
};

const Codec codecs[] = {{"qh_lz", compress_qh, decompress_qh},
                        {"snappy", compress_snappy, decompress_snappy},
                        {"lz4", compress_lz4, decompress_lz4}};

}  // namespace

int main(int argc, char** argv) {
    // Kept alive for the whole run; the benchmarks refer to them.
    static const Input inputs[] = {{"glsl", glsl_text()}, {"json", json_text()}, {"random", random_bytes()}};
    for (const char* direction : {"compress", "decompress"}) {
        for (const Input& in : inputs) {
            for (const Codec& c : codecs) {
                const bool compress = direction[0] == 'c';
                auto* fn = compress ? c.compress : c.decompress;
                benchmark::RegisterBenchmark(
                    (std::string(direction) + "/" + in.name + "/" + c.name).c_str(),
                    [fn, &in](benchmark::State& state) { fn(state, in.bytes); });
            }
        }
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
