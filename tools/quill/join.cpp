// quill join: the parts of a render made with --segment K/N, joined into one
// video: the pictures copied as they were encoded, the sound encoded once
// from the parts' sound, so that no seam is heard where two parts meet.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "audio/offline_mix.h"
#include "cli.h"
#include "commands.h"
#include "ffmpeg.h"
#include "package/json_value.h"
#include "sound_file.h"

namespace qh::quill {

namespace {

namespace fs = std::filesystem;

const char* const usage =
    "usage: quill join PART... -o OUT.mp4\n"
    "\n"
    "Joins the parts of one render, each a folder written by\n"
    "  quill render FILE -o PART --segment K/N --video PART/video.mp4 ...\n"
    "into OUT.mp4. The parts may come in any order; they must be segments 1 to N\n"
    "of the same N, at the same fps and size, each starting at the frame after the\n"
    "one before it ends (their segment.json says so; a part stopped before its end\n"
    "has none). The parts' H.264 pictures are copied as they are, not encoded\n"
    "again; the sound is the parts' sound.wav files, which are consecutive slices\n"
    "of the one mix of the demo, put end to end and encoded once as AAC, as\n"
    "quill render --video encodes it.\n"
    "Needs ffmpeg. Exit status: 0 done, 1 failure (a part that does not fit, named),\n"
    "2 usage error.\n";


struct PartInfo {
    fs::path dir;
    int64_t segment = 0, segments = 0, first = 0, last = 0, fps = 0, width = 0, height = 0;
    fs::path video;
};

std::string read_all(const fs::path& path) {
    std::ifstream f(path, std::ios::binary);
    if (!f) throw std::runtime_error("cannot read " + path.string());
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

PartInfo read_part(const fs::path& dir) {
    const fs::path record_path = dir / "segment.json";
    if (!fs::is_regular_file(record_path)) {
        throw std::runtime_error(dir.string() + " holds no segment.json: it is not a finished part of quill render --segment");
    }
    const JsonValue record = parse_json_text(read_all(record_path), record_path.string());
    auto whole = [&](const char* key) -> int64_t {
        const JsonValue& v = json_member(record, key);
        if (!v.is_number_integer() || v.get<int64_t>() < 0) {
            throw std::runtime_error(record_path.string() + ": \"" + key + "\" is not a whole number");
        }
        return v.get<int64_t>();
    };
    PartInfo p{dir,          whole("segment"), whole("segments"), whole("first_frame"), whole("last_frame"),
               whole("fps"), whole("width"),   whole("height"),   {}};
    if (p.fps < 1 || p.segment < 1 || p.segment > p.segments || p.last < p.first) {
        throw std::runtime_error(record_path.string() + ": its segment, frames or fps do not make sense");
    }
    const std::string video = json_text(json_member(record, "video"));
    if (video.empty()) throw std::runtime_error(dir.string() + " was rendered without --video: there is no picture to join");
    p.video = fs::path(video).is_absolute() ? fs::path(video) : dir / video;
    if (!fs::is_regular_file(p.video)) throw std::runtime_error(dir.string() + ": its video " + p.video.string() + " is missing");
    return p;
}

std::string describe(const PartInfo& p) {
    return p.dir.string() + " (segment " + std::to_string(p.segment) + "/" + std::to_string(p.segments) + ")";
}

// Segments 1..N of one N, at one fps and size, each starting where the one
// before ends; in segment order.
std::vector<PartInfo> check_parts(std::vector<PartInfo> parts) {
    std::sort(parts.begin(), parts.end(), [](const PartInfo& a, const PartInfo& b) { return a.segment < b.segment; });
    const PartInfo& one = parts.front();
    for (size_t i = 0; i < parts.size(); ++i) {
        const PartInfo& p = parts[i];
        if (p.segments != one.segments) {
            throw std::runtime_error(describe(p) + " is not of the same render as " + describe(one) + ": they split it into " +
                            std::to_string(p.segments) + " and " + std::to_string(one.segments) + " parts");
        }
        if (p.fps != one.fps || p.width != one.width || p.height != one.height) {
            throw std::runtime_error(describe(p) + " was rendered at " + std::to_string(p.width) + "x" +
                            std::to_string(p.height) + ", " + std::to_string(p.fps) + " fps; " + describe(one) +
                            " at " + std::to_string(one.width) + "x" + std::to_string(one.height) + ", " +
                            std::to_string(one.fps) + " fps");
        }
        if (i > 0 && p.segment == parts[i - 1].segment) {
            throw std::runtime_error(p.dir.string() + " and " + parts[i - 1].dir.string() + " are both segment " +
                            std::to_string(p.segment) + "/" + std::to_string(p.segments));
        }
        if (p.segment != static_cast<int64_t>(i) + 1) {
            throw std::runtime_error("segment " + std::to_string(i + 1) + "/" + std::to_string(one.segments) +
                            " is missing (the part before " + describe(p) + ")");
        }
        if (i > 0 && p.first != parts[i - 1].last + 1) {
            const PartInfo& before = parts[i - 1];
            throw std::runtime_error(describe(p) + " starts at frame " + std::to_string(p.first) + " but " + describe(before) +
                            " ends at frame " + std::to_string(before.last) +
                            (p.first > before.last + 1 ? ": frames are missing between them"
                                                       : ": they overlap"));
        }
    }
    if (static_cast<int64_t>(parts.size()) != one.segments) {
        throw std::runtime_error("segment " + std::to_string(parts.size() + 1) + "/" + std::to_string(one.segments) +
                        " is missing (the part after " + describe(parts.back()) + ")");
    }
    return parts;
}

// The samples of a part's sound.wav, checked to be the sound of its frames:
// sound frames floor(n * 44100 / fps) for its first frame to its end.
std::vector<int16_t> part_samples(const PartInfo& p) {
    const fs::path path = p.dir / "sound.wav";
    std::vector<int16_t> pcm = read_sound_file(path);
    const auto sound_frame = [&](int64_t frame) { return static_cast<uint64_t>(frame) * OfflineMix::rate / p.fps; };
    const uint64_t expected = sound_frame(p.last + 1) - sound_frame(p.first);
    if (pcm.size() != expected * OfflineMix::channels) {
        throw std::runtime_error(path.string() + " holds " + std::to_string(pcm.size() / OfflineMix::channels) +
                                 " sound frames; frames " + std::to_string(p.first) + " to " + std::to_string(p.last) +
                                 " at " + std::to_string(p.fps) + " fps have " + std::to_string(expected));
    }
    return pcm;
}

void write_sound(const fs::path& path, const std::vector<PartInfo>& parts) {
    std::vector<int16_t> samples;
    for (const PartInfo& p : parts) {
        const std::vector<int16_t> part = part_samples(p);
        samples.insert(samples.end(), part.begin(), part.end());
    }
    write_sound_file(path, samples);
}

// The concat demuxer's list: one quoted line a file, a quote written '\''.
void write_list(const fs::path& path, const std::vector<PartInfo>& parts) {
    std::ofstream f(path, std::ios::trunc);
    for (const PartInfo& p : parts) {
        std::string quoted;
        for (const char c : fs::absolute(p.video).string()) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
        f << "file '" << quoted << "'\n";
    }
    if (!f) throw std::runtime_error("cannot write " + path.string());
}

// Removes the files it names when it goes.
struct Scratch {
    std::vector<fs::path> files;
    ~Scratch() {
        std::error_code ec;
        for (const fs::path& f : files) fs::remove(f, ec);
    }
};

}  // namespace

int cmd_join(const std::vector<std::string>& argv) {
    const Args args = parse_args(argv, {"-o"}, {});
    if (args.flag("--help")) {
        std::fputs(usage, stdout);
        return exit_ok;
    }
    if (args.positional.empty()) throw UsageError("join needs the part folders to join");
    if (!args.has("-o")) throw UsageError("join needs -o OUT.mp4, the video to write");
    const fs::path out = args.value("-o");
    std::vector<PartInfo> parts;
    for (const std::string& dir : args.positional) parts.push_back(read_part(dir));
    parts = check_parts(std::move(parts));

    Scratch scratch;
    const fs::path sound = out.string() + ".sound.wav", list = out.string() + ".parts.txt";
    scratch.files = {sound, list};
    write_sound(sound, parts);
    write_list(list, parts);
    // The pictures as they were encoded; the sound encoded as quill render
    // --video encodes it, once for the whole.
    std::vector<std::string> ffmpeg = {"ffmpeg", "-hide_banner", "-loglevel", "error", "-nostdin", "-y",
                                       "-f", "concat", "-safe", "0", "-i", list.string(),
                                       "-f", "wav", "-i", sound.string(), "-map", "0:v", "-map", "1:a",
                                       "-c:v", "copy"};
    ffmpeg.insert(ffmpeg.end(), sound_encoding.begin(), sound_encoding.end());
    ffmpeg.insert(ffmpeg.end(), {"-movflags", "+faststart", "-shortest", out.string()});
    const int status = Ffmpeg::run(std::move(ffmpeg));
    if (status != 0) {
        std::fprintf(stderr, "quill join: ffmpeg failed on %s\n", out.string().c_str());
        return exit_failure;
    }
    std::printf("quill: joined %zu parts, frames %lld to %lld, into %s\n", parts.size(),
                static_cast<long long>(parts.front().first), static_cast<long long>(parts.back().last),
                out.string().c_str());
    return exit_ok;
}

}  // namespace qh::quill
