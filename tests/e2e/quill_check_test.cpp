// quill check as a user runs it: a document that builds, one broken record at
// a time, the JSON report, and the devices it falls back to.
#include <gtest/gtest.h>

#include <SDL.h>
#include <SDL_image.h>

#include <cmath>
#include <functional>
#include <sstream>

#include "e2e/e2e_support.h"
#include "support/png.h"
#include "support/wav.h"
#include "document/demo_io.h"
#include "document/demo_tables.h"
#include "package/project_dir.h"
#include "support/sample_demo.h"

namespace qh::e2e {
namespace {

using namespace std::chrono_literals;

// 100 ms of a 440 Hz tone: mono, 16-bit, 44100 Hz.
std::vector<uint8_t> wav_sound() {
    std::vector<int16_t> samples(4410);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<int16_t>(8000 * std::sin(double(i) * 2 * M_PI * 440 / 44100));
    return test::wav_file(samples, 1);
}

std::unique_ptr<ShaderProgram> program(const std::string& file, const std::string& source) {
    auto p = std::make_unique<ShaderProgram>();
    p->fragment_shader_filename = file;
    p->fragment_shader_source = source;
    return p;
}

std::string solid_colour(const std::string& rgb) {
    return "#version 150\n#include \"resources/lib.frag\"\nuniform sampler2D tex;\n"
           "out vec4 fragColor;\n"
           "void main() { fragColor = tint(vec3(" + rgb + ")) * texture(tex, vec2(0.5)); }\n";
}

// Everything the check builds, all of it sound: two programs that include a
// third (which does not link alone), two effects (one the other's input)
// with an image and a text texture, a font, a sample, a model, and the
// events that use them.
std::unique_ptr<Demo> good_demo() {
    auto d = std::make_unique<Demo>();
    d->bpm = 120;
    d->end_beat = 8;
    d->shaders.push_back(program("resources/red.frag", solid_colour("1.0, 0.0, 0.0")));
    d->shaders.push_back(program("resources/green.frag", solid_colour("0.0, 1.0, 0.0")));
    d->shaders.push_back(
        program("resources/lib.frag", "vec4 tint(vec3 rgb) { return vec4(rgb, 1.0); }\n"));

    auto tex = std::make_unique<Texture>("resources/logo.png", test::solid_png(2, 2, 200, 100, 50));
    auto font = std::make_unique<Font>();
    font->name = "sans";
    font->filename = "resources/sans.ttf";
    font->font_buffer = ByteBuffer(test::test_font_bytes());
    font->ptsize = 24;
    auto title = std::make_unique<FontTexture>();
    title->name = "title";
    title->width = 128;
    title->height = 32;
    title->font = font.get();
    auto sample = std::make_unique<AudioSample>();
    sample->name = "resources/hit.wav";
    sample->audio_buffer = ByteBuffer(wav_sound());
    auto model = std::make_unique<Model>();
    model->from_json({{"filename", "resources/Box.glb"},
                      {"buffer", base64_encode(test::gltf_fixture("Box.glb").data(),
                                               test::gltf_fixture("Box.glb").size())}},
                     ProjectDir("."));

    auto red = std::make_unique<Effect>();
    red->name = "red";
    red->program = d->shaders[0].get();
    red->textures = {tex.get()};
    red->font_textures = {title.get()};
    auto green = std::make_unique<Effect>();
    green->name = "green";
    green->program = d->shaders[1].get();
    green->effects = {red.get()};

    auto intro = std::make_unique<Event>();
    intro->name = "Intro";
    intro->type = Event::type_effect;
    intro->effect = green.get();
    intro->end_beat = 8;
    auto hit = std::make_unique<Event>();
    hit->name = "Hit";
    hit->type = Event::type_audio_sample;
    hit->audio_sample = sample.get();
    hit->start_beat = 2;
    hit->end_beat = 3;

    d->events.push_back(std::move(intro));
    d->events.push_back(std::move(hit));
    d->effects.push_back(std::move(red));
    d->effects.push_back(std::move(green));
    d->textures.push_back(std::move(tex));
    d->fonts.push_back(std::move(font));
    d->font_textures.push_back(std::move(title));
    d->audio_samples.push_back(std::move(sample));
    d->models.push_back(std::move(model));
    return d;
}

// The line of the text report that starts with `status` and names `name`.
std::string report_line(const std::string& out, const std::string& status, const std::string& name) {
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        const std::string head = "  " + status;
        if (line.rfind(head, 0) == 0 && line.find(" " + name + ":") != std::string::npos) return line;
    }
    return {};
}

const char* const broken_fragment =
    "#version 150\nout vec4 fragColor;\nvoid main() { fragColor = vec4(undefined_colour, 1.0); }\n";

TEST(QuillCheck, ASoundDocumentBuildsInBothForms) {
    TempDir dir;
    auto demo = good_demo();
    const auto exe = make_player(dir, write_demo_payload(*demo));
    write_project_file(*demo, dir / "project");

    for (const std::string& file : {exe.string(), (dir / "project/project.json").string()}) {
        SCOPED_TRACE(file);
        const QuillRun r = quill(dir, {"check", file});
        EXPECT_EQ(r.status, 0) << r.out << r.err;
        for (const char* program : {"resources/red.frag", "resources/green.frag"}) {
            const std::string line = report_line(r.out, "ok", program);
            EXPECT_NE(line.find("compiled, linked"), std::string::npos) << r.out;
        }
        for (const char* effect : {"red", "green"})
            EXPECT_NE(report_line(r.out, "ok", effect).find("target complete"), std::string::npos) << r.out;
        EXPECT_NE(report_line(r.out, "ok", "resources/lib.frag").find("included by 2 programs"),
                  std::string::npos) << r.out;
        for (const char* other : {"resources/logo.png", "resources/Box.glb", "sans", "title",
                                  "resources/hit.wav", "Intro", "Hit"})
            EXPECT_NE(report_line(r.out, "ok", other), "") << other << "\n" << r.out;
        EXPECT_NE(r.out.find("summary: 15 records checked, nothing failed"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("device memory: "), std::string::npos) << r.out;
    }
}

// Each row breaks one record of the sound document; the check must fail on
// that record and say why, and on nothing else but what uses it.
struct Breakage {
    const char* label;
    std::function<void(Demo&)> apply;
    const char* record;   // the name the FAILED line carries
    const char* problem;  // part of what it says
    std::vector<std::string> env = {};
    int failed = 1;  // rows that fail: the record and what cannot work without it
};

TEST(QuillCheck, EachBrokenRecordFailsTheCheckAlone) {
    const Breakage rows[] = {
        {"fragment shader",
         [](Demo& d) { d.shaders[1]->fragment_shader_source = broken_fragment; },
         "resources/green.frag", "fragment shader did not compile"},
        {"vertex shader",
         [](Demo& d) {
             d.shaders[0]->vertex_shader_source = "#version 150\nvoid main() { gl_Position = nowhere; }\n";
         },
         "resources/red.frag", "vertex shader did not compile"},
        {"image bytes",
         [](Demo& d) { d.textures[0]->image_buffer = ByteBuffer(test::bytes_of("not an image")); },
         "resources/logo.png", "image does not decode"},
        {"model bytes",
         [](Demo& d) { d.models[0]->buffer = ByteBuffer(test::bytes_of("glTF but not really")); },
         "resources/Box.glb", "does not parse"},
        {"font bytes", [](Demo& d) { d.fonts[0]->font_buffer = ByteBuffer(test::bytes_of("no font")); },
         "sans", "does not open", {}, 2},  // and the text texture that uses it
        {"text texture font", [](Demo& d) { d.font_textures[0]->font = nullptr; }, "title", "no font"},
        {"text texture size", [](Demo& d) { d.font_textures[0]->width = 0; }, "title", "cannot be drawn"},
        {"sound bytes",
         [](Demo& d) { d.audio_samples[0]->audio_buffer = ByteBuffer(test::bytes_of("RIFF....")); },
         "resources/hit.wav", "does not decode"},
        {"effect program", [](Demo& d) { d.effects[0]->program = nullptr; }, "red", "no program"},
        {"effect drawing with an include-only program",
         [](Demo& d) { d.effects[1]->program = d.shaders[2].get(); }, "resources/lib.frag", "not linked"},
        {"effect input", [](Demo& d) { d.effects[1]->effects.push_back(nullptr); }, "green",
         "1 unresolved input effect"},
        {"event effect", [](Demo& d) { d.events[0]->effect = nullptr; }, "Intro", "no effect"},
        {"text texture budget", [](Demo&) {}, "title",
         "asks for 128 x 32 (16.0 KiB), which takes the text textures to 16.0 KiB, over their budget "
         "of 1.0 KiB",
         {"QUILLHARBOR_TEXT_TEXTURE_BUDGET=1K"}},
    };
    for (const Breakage& row : rows) {
        SCOPED_TRACE(row.label);
        TempDir dir;
        auto demo = good_demo();
        row.apply(*demo);
        const auto exe = make_player(dir, write_demo_payload(*demo));
        const QuillRun r = quill(dir, {"check", exe.string()}, row.env);
        EXPECT_EQ(r.status, 1) << r.out << r.err;
        EXPECT_NE(report_line(r.out, "FAILED", row.record).find(row.problem), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("records checked, " + std::to_string(row.failed) + " failed"), std::string::npos)
            << r.out;
    }
}

// What the records ask of the device, in bytes: the text texture and the
// images (the record's, the strip's and the box's with its mipmaps) at their
// sizes, the models' buffers and the copy of a sparse accessor's values,
// each effect's colour target at the render size the check reports, and the
// player's own: the sound texture, the loading screen's logo and its target.
TEST(QuillCheck, DeviceMemoryAddsUpWhatTheRecordsAskFor) {
    TempDir dir;
    auto demo = good_demo();
    for (const char* file : {"SparseStrip.gltf", "BoxTextured.glb"}) {
        const std::vector<uint8_t> bytes = test::gltf_fixture(file);
        demo->models.push_back(std::make_unique<Model>());
        demo->models.back()->from_json({{"filename", std::string("resources/") + file},
                                        {"buffer", base64_encode(bytes.data(), bytes.size())}},
                                       ProjectDir("."));
    }
    const auto exe = make_player(dir, write_demo_payload(*demo));
    const QuillRun r = quill(dir, {"check", exe.string(), "--json"});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    const JsonValue j = JsonValue::parse(r.out);
    uint64_t model_buffers = 27 * 12;  // the strip's 27 positions, substituted
    for (const auto& model : demo->models) {
        for (const auto& b : model->gltf.buffers) model_buffers += b.data.size();
    }
    const uint64_t target =
        j["render_size"]["width"].get<uint64_t>() * j["render_size"]["height"].get<uint64_t>() * 4;
    const uint64_t player_own = 1024 * 2 * 4 + 512 * 512 * 4 + target;
    EXPECT_EQ(j["device_memory"]["total"].get<uint64_t>(),
              128 * 32 * 4 + 2 * (2 * 2 * 4) + 256 * 256 * 4 * 4 / 3 + model_buffers + 2 * target + player_own)
        << j["device_memory"].dump(2);
}

TEST(QuillCheck, ABrokenShaderIsReportedWithTheDriversErrorLine) {
    TempDir dir;
    auto demo = good_demo();
    demo->shaders[1]->fragment_shader_source = broken_fragment;
    const auto exe = make_player(dir, write_demo_payload(*demo));

    const QuillRun text = quill(dir, {"check", exe.string()});
    EXPECT_EQ(text.status, 1);
    const size_t failed = text.out.find(report_line(text.out, "FAILED", "resources/green.frag"));
    ASSERT_NE(failed, std::string::npos) << text.out;
    // The driver's line, placed at the line of the file the author wrote.
    const size_t quoted = text.out.find("resources/green.frag:3: error: ", failed);
    ASSERT_NE(quoted, std::string::npos) << text.out;
    const std::string driver_line = text.out.substr(quoted, text.out.find('\n', quoted) - quoted);
    EXPECT_NE(driver_line.find("undefined_colour"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("summary: 15 records checked, 1 failed (shaders: 1)"), std::string::npos)
        << text.out;

    // The JSON report alone on standard output; with --verbose the build's
    // own log goes to stderr.
    const QuillRun json = quill(dir, {"check", exe.string(), "--json", "--verbose"});
    EXPECT_EQ(json.status, 1);
    const JsonValue j = JsonValue::parse(json.out);
    EXPECT_FALSE(j["ok"].get<bool>());
    EXPECT_EQ(j["summary"]["failed"], 1);
    const JsonValue& green = j["tables"]["shaders"][1];
    EXPECT_EQ(green["fragment_shader_filename"], "resources/green.frag");
    EXPECT_TRUE(green["vertex_shader"]["compiled"].get<bool>());
    EXPECT_FALSE(green["fragment_shader"]["compiled"].get<bool>());
    EXPECT_FALSE(green["link"]["linked"].get<bool>());
    bool quoted_in_json = false;
    for (const JsonValue& line : green["fragment_shader"]["log"])
        quoted_in_json |= line.get<std::string>().find("undefined_colour") != std::string::npos;
    EXPECT_TRUE(quoted_in_json) << green.dump(2);
    EXPECT_EQ(green["messages"][0].get<std::string>().rfind("resources/green.frag:3: error: ", 0), 0u);
    EXPECT_NE(json.err.find("undefined_colour"), std::string::npos) << json.err;
    const JsonValue& red = j["tables"]["shaders"][0];
    EXPECT_TRUE(red["ok"].get<bool>());
    EXPECT_TRUE(red["link"]["linked"].get<bool>());
    for (const JsonValue& effect : j["tables"]["effects"]) {
        EXPECT_TRUE(effect["target_complete"].get<bool>()) << effect.dump();
        EXPECT_EQ(effect["target_status"], "0x8cd5");  // GL_FRAMEBUFFER_COMPLETE
    }
}

// An error in the file that both drawn programs include is said once, with
// the first program's directive; the file is listed as included, not failed.
TEST(QuillCheck, AnErrorInASharedFileIsSaidOnce) {
    TempDir dir;
    auto demo = good_demo();
    demo->shaders[2]->fragment_shader_source = "vec4 tint(vec3 rgb) { return vec4(rgb, 1.0) }\n";
    const QuillRun r = quill(dir, {"check", make_player(dir, write_demo_payload(*demo)).string()});
    EXPECT_EQ(r.status, 1);
    const size_t said = r.out.find("resources/lib.frag:1: error: ");
    ASSERT_NE(said, std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("resources/lib.frag:1: error: ", said + 1), std::string::npos) << r.out;
    const std::string line = r.out.substr(said, r.out.find('\n', said) - said);
    EXPECT_TRUE(line.ends_with(" (included from resources/red.frag:2)")) << r.out;
    EXPECT_NE(r.out.find("(resources/lib.frag: ", said), std::string::npos) << r.out;
    EXPECT_NE(report_line(r.out, "ok", "resources/lib.frag").find("included by 2 programs"), std::string::npos)
        << r.out;
}

TEST(QuillCheck, HelpUsageErrorsAndTruncatedPackages) {
    TempDir dir;
    const QuillRun help = quill(dir, {"check", "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("usage: quill check FILE [--json]"), std::string::npos) << help.out;
    EXPECT_NE(help.out.find("xvfb-run"), std::string::npos) << help.out;
    EXPECT_NE(quill(dir, {"--help"}).out.find("check FILE"), std::string::npos);
    EXPECT_EQ(quill(dir, {"check"}).status, 2);
    EXPECT_EQ(quill(dir, {"check", "a", "b"}).status, 2);
    EXPECT_EQ(quill(dir, {"check", "x", "--no-such-option"}).status, 2);

    std::vector<uint8_t> payload = write_demo_payload(*good_demo());
    payload.resize(payload.size() / 2);
    const auto truncated = make_player(dir, payload, "truncated");
    const QuillRun r = quill(dir, {"check", truncated.string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("truncated payload"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("payload offset"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(quill(dir, {"check", "does-not-exist"}).status, 1);
}

// A video driver with no GL and an audio driver that does not exist: the
// check moves to the offscreen context and the dummy mixer, or says to use
// Xvfb where SDL offers no offscreen context.
TEST(QuillCheck, FallsBackToOffscreenVideoAndDummyAudio) {
    TempDir dir;
    const auto exe = make_player(dir, write_demo_payload(*good_demo()));
    QuillRun r;
    r.status = run({"/usr/bin/env", "-u", "DISPLAY", "SDL_VIDEODRIVER=dummy",
                    "SDL_AUDIODRIVER=no-such-driver", quill_path().string(), "check", exe.string(),
                    "--json"},
                   dir.path(), 120s, {}, &r.out, &r.err);
    if (r.status == 1 && r.out.empty()) {
        EXPECT_NE(r.err.find("xvfb-run -a quill check"), std::string::npos) << r.err;
        GTEST_SKIP() << "no offscreen GL context here: " << r.err;
    }
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    const JsonValue j = JsonValue::parse(r.out);
    EXPECT_EQ(j["gl"]["video_driver"], "offscreen");
    EXPECT_EQ(j["audio"]["driver"], "dummy");
    EXPECT_EQ(j["tables"]["audio_samples"][0]["duration_ms"], 100);
}

}  // namespace
}  // namespace qh::e2e
