#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "audio/audio_sample.h"
#include "package/binary_stream.h"
#include "package/errors.h"
#include "package/project_dir.h"
#include "text/font.h"
#include "text/font_texture.h"
#include "support/scratch_dir.h"
#include "support/truncation.h"

namespace qh {
namespace {

namespace fs = std::filesystem;

enum class Form { binary, embedded_json, external_json };

const Form all_forms[] = {Form::binary, Form::embedded_json, Form::external_json};

const char* form_name(Form f) {
    switch (f) {
        case Form::binary: return "binary";
        case Form::embedded_json: return "embedded JSON";
        case Form::external_json: return "external JSON";
    }
    return "?";
}

std::vector<uint8_t> pattern_bytes(size_t n) {
    std::vector<uint8_t> b(n);
    for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(i * 37 + (i >> 8));
    return b;
}

// A project directory of its own for each test, removed afterwards.
class TextAudioRecords : public ::testing::Test {
protected:
    // The project is a folder inside the scratch directory, so a name that
    // escapes the project still lands somewhere this test owns.
    void SetUp() override { fs::create_directories(root_); }

    ProjectDir dir() const { return ProjectDir(root_); }

    // Writes `record` in `form` and reads it back into a fresh record. The JSON
    // forms go through the text form, as a project file would.
    template <class T>
    T round_trip(const T& record, Form form, BinaryWriter* writer = nullptr) const {
        T back;
        if (form == Form::binary) {
            BinaryWriter local;
            BinaryWriter& w = writer ? *writer : local;
            record.write_binary(w);
            BinaryReader r(w.bytes());
            back.read_binary(r);
            EXPECT_EQ(r.remaining(), 0u) << "the record left bytes unread";
            return back;
        }
        const ProjectDir d = dir();
        const JsonValue j = record.to_json(form == Form::external_json ? &d : nullptr);
        back.from_json(parse_json_text(dump_json_text(j), "record.json"), d);
        return back;
    }

    std::vector<uint8_t> file_bytes(const std::string& name) const { return dir().read(name); }

    test::ScratchDir scratch_{"qh-text-audio"};
    fs::path root_ = scratch_ / "project";
};

// ---------------------------------------------------------------- Font

Font make_font(std::string name, std::string filename, int32_t ptsize, std::vector<uint8_t> bytes) {
    Font f;
    f.name = std::move(name);
    f.filename = std::move(filename);
    f.ptsize = ptsize;
    f.font_buffer.data = std::move(bytes);
    return f;
}

void expect_same_font(const Font& a, const Font& b) {
    EXPECT_EQ(a.name, b.name);
    EXPECT_EQ(a.filename, b.filename);
    EXPECT_EQ(a.ptsize, b.ptsize);
    EXPECT_EQ(a.font_buffer.data, b.font_buffer.data);
}

TEST_F(TextAudioRecords, FontRoundTripsInEveryForm) {
    struct Row {
        const char* label;
        Font font;
    };
    const Row rows[] = {
        {"typical", make_font("Title", "resources/title.ttf", 48, pattern_bytes(1000))},
        {"empty font bytes", make_font("Empty", "resources/empty.ttf", 12, {})},
        {"negative size, nested path, zero bytes",
         make_font("Tiny", "resources/fonts/a/tiny.otf", -3, std::vector<uint8_t>(17, 0))},
        {"non-ASCII name", make_font("Caf\xc3\xa9 \xe2\x80\x94 bold", "resources/cafe.ttf",
                                     2147483647, pattern_bytes(3))},
    };
    for (const Row& row : rows) {
        for (Form form : all_forms) {
            SCOPED_TRACE(std::string(row.label) + " / " + form_name(form));
            expect_same_font(round_trip(row.font, form), row.font);
        }
    }
}

TEST_F(TextAudioRecords, FontWithExternalFilesWritesItsBytesToItsFilename) {
    const Font font = make_font("Mono", "resources/mono.ttf", 20, pattern_bytes(300));
    const ProjectDir d = dir();
    const JsonValue j = font.to_json(&d);
    EXPECT_FALSE(json_has(j, "font_buffer"));
    EXPECT_EQ(json_text(json_member(j, "filename")), "resources/mono.ttf");
    EXPECT_TRUE(json_member(j, "ptsize").is_number_integer());
    EXPECT_EQ(file_bytes("resources/mono.ttf"), font.font_buffer.data);

    const JsonValue embedded = font.to_json(nullptr);
    EXPECT_TRUE(json_member(embedded, "font_buffer").is_string());
}

TEST_F(TextAudioRecords, FontJsonReadsLeniently) {
    dir().write("resources/on_disk.ttf", std::vector<uint8_t>{1, 2, 3});
    struct Row {
        const char* label;
        const char* json;
        int32_t ptsize;
        std::vector<uint8_t> bytes;
    };
    const Row rows[] = {
        {"absent ptsize reads as 0", R"({"name":"a","font_buffer":"AQID"})", 0, {1, 2, 3}},
        {"floating ptsize reads as 0", R"({"name":"a","ptsize":24.0,"font_buffer":""})", 0, {}},
        {"null font_buffer is an empty font", R"({"name":"a","ptsize":9,"font_buffer":null})", 9, {}},
        {"URL-safe Base64 without padding", R"({"name":"a","ptsize":1,"font_buffer":"-_8"})", 1,
         {0xfb, 0xff}},
        {"no font_buffer reads the file",
         R"({"name":"a","filename":"resources/on_disk.ttf","ptsize":7})", 7, {1, 2, 3}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        Font f;
        f.from_json(parse_json_text(row.json, "font.json"), dir());
        EXPECT_EQ(f.ptsize, row.ptsize);
        EXPECT_EQ(f.font_buffer.data, row.bytes);
    }
}

TEST_F(TextAudioRecords, FontJsonFailures) {
    struct Row {
        const char* label;
        const char* json;
        const char* message;
    };
    const Row rows[] = {
        {"missing file", R"({"name":"a","filename":"resources/none.ttf"})",
         "File not found: resources/none.ttf"},
        {"invalid Base64", R"({"name":"a","font_buffer":"AB C"})",
         "Input is not valid base64-encoded data."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        Font f;
        try {
            f.from_json(parse_json_text(row.json, "font.json"), dir());
            ADD_FAILURE() << "no error raised";
        } catch (const ContentError& e) {
            EXPECT_STREQ(e.what(), row.message);
        }
    }
}

// ---------------------------------------------------------------- FontTexture

FontTexture make_text_texture(std::string name, int32_t w, int32_t h, Font* font, bool center,
                              int32_t cpb) {
    FontTexture t;
    t.name = std::move(name);
    t.width = w;
    t.height = h;
    t.font = font;
    t.center = center;
    t.chars_per_beat = cpb;
    return t;
}

void expect_same_fields(const FontTexture& a, const FontTexture& b) {
    EXPECT_EQ(a.name, b.name);
    EXPECT_EQ(a.width, b.width);
    EXPECT_EQ(a.height, b.height);
    EXPECT_EQ(a.center, b.center);
    EXPECT_EQ(a.chars_per_beat, b.chars_per_beat);
}

TEST_F(TextAudioRecords, FontTextureRoundTripsAndRewiresItsFont) {
    Font mono = make_font("Mono", "resources/mono.ttf", 20, {});
    Font serif = make_font("Serif", "resources/serif.ttf", 30, {});
    struct Row {
        const char* label;
        FontTexture texture;
    };
    const Row rows[] = {
        {"centred, typed", make_text_texture("title", 512, 128, &serif, true, 3)},
        {"defaults", make_text_texture("plain", 64, 32, &mono, false, -1)},
        {"no font", make_text_texture("orphan", 1, 1, nullptr, false, 0)},
        {"extreme values", make_text_texture("", -5, 2147483647, &mono, true, -2147483647 - 1)},
    };
    for (const Row& row : rows) {
        for (Form form : all_forms) {
            SCOPED_TRACE(std::string(row.label) + " / " + form_name(form));
            FontTexture back;
            if (form == Form::binary) {
                BinaryWriter w;
                w.assign_id(&mono, 11);
                w.assign_id(&serif, 12);
                back = round_trip(row.texture, form, &w);
                IdentityMap ids;
                ids.add(11, &mono);
                ids.add(12, &serif);
                back.wire(ids);
            } else {
                const JsonValue j = row.texture.to_json(nullptr);
                back = round_trip(row.texture, form);
                NameTables names;
                names.fonts["Mono"] = &mono;
                names.fonts["Serif"] = &serif;
                names.fonts[""] = &serif;  // "no font" must not find it
                back.wire_names(j, names);
            }
            expect_same_fields(back, row.texture);
            EXPECT_EQ(back.font, row.texture.font);
        }
    }
}

TEST_F(TextAudioRecords, FontTextureWiresByIdentity) {
    Font font;
    AudioSample not_a_font;
    IdentityMap ids;
    ids.add(7, &font);
    ids.add(9, &not_a_font);
    struct Row {
        const char* label;
        ResourceId id;
        Font* expected;
    };
    const Row rows[] = {
        {"a font's identity", 7, &font},
        {"identity of a record of another class", 9, nullptr},
        {"dangling identity", 42, nullptr},
        {"the null identity", 0, nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        FontTexture t;
        t.font = &font;  // wiring replaces whatever was there
        t.font_id = row.id;
        t.wire(ids);
        EXPECT_EQ(t.font, row.expected);
    }
}

TEST_F(TextAudioRecords, FontTextureWiresByName) {
    Font mono, unnamed;
    struct Row {
        const char* label;
        const char* json;
        Font* expected;
    };
    const Row rows[] = {
        {"a font's name", R"({"font":"Mono"})", &mono},
        {"unknown name", R"({"font":"Missing"})", nullptr},
        {"no font member, even with a font named \"\"", R"({"name":"t"})", nullptr},
        {"null font, as written for a texture without one", R"({"font":null})", nullptr},
        {"a number", R"({"font":3})", nullptr},
        {"names are case-sensitive", R"({"font":"mono"})", nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        NameTables names;
        names.fonts["Mono"] = &mono;
        names.fonts[""] = &unnamed;
        FontTexture t;
        t.font = &mono;
        t.wire_names(parse_json_text(row.json, "t.json"), names);
        EXPECT_EQ(t.font, row.expected);
    }
}

TEST_F(TextAudioRecords, FontTextureJsonReadsLeniently) {
    struct Row {
        const char* label;
        const char* json;
        int32_t width, height;
        bool center;
        int32_t chars_per_beat;
    };
    const Row rows[] = {
        {"all members", R"({"name":"t","width":512,"height":128,"center":true,"chars_per_beat":3})",
         512, 128, true, 3},
        {"optional members absent", R"({"name":"t","width":64,"height":32})", 64, 32, false, -1},
        {"floating sizes read as 0", R"({"name":"t","width":512.0,"height":1e2})", 0, 0, false, -1},
        {"floating chars_per_beat reads as 0, not -1",
         R"({"name":"t","width":1,"height":1,"chars_per_beat":2.0})", 1, 1, false, 0},
        {"null chars_per_beat reads as 0", R"({"name":"t","chars_per_beat":null})", 0, 0, false, 0},
        {"non-boolean center reads as false", R"({"name":"t","center":1})", 0, 0, false, -1},
        {"not an object", R"([1,2])", 0, 0, false, -1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        FontTexture t;
        t.font_id = 99;  // left from an earlier read: from_json forgets it
        t.from_json(parse_json_text(row.json, "t.json"), dir());
        EXPECT_EQ(t.width, row.width);
        EXPECT_EQ(t.height, row.height);
        EXPECT_EQ(t.center, row.center);
        EXPECT_EQ(t.chars_per_beat, row.chars_per_beat);
        EXPECT_EQ(t.font_id, 0u);
    }
}

// ---------------------------------------------------------------- AudioSample

AudioSample make_sample(std::string name, std::vector<uint8_t> bytes) {
    AudioSample s;
    s.name = std::move(name);
    s.audio_buffer.data = std::move(bytes);
    return s;
}

TEST_F(TextAudioRecords, AudioSampleRoundTripsInEveryForm) {
    struct Row {
        const char* label;
        AudioSample sample;
    };
    const Row rows[] = {
        {"typical", make_sample("resources/hit.wav", pattern_bytes(4096))},
        {"one byte", make_sample("resources/click.wav", {0x80})},
        {"nested path", make_sample("resources/sfx/deep/boom.ogg", pattern_bytes(70000))},
    };
    for (const Row& row : rows) {
        for (Form form : all_forms) {
            SCOPED_TRACE(std::string(row.label) + " / " + form_name(form));
            const AudioSample back = round_trip(row.sample, form);
            EXPECT_EQ(back.name, row.sample.name);
            EXPECT_EQ(back.audio_buffer.data, row.sample.audio_buffer.data);
        }
    }
}

TEST_F(TextAudioRecords, AudioSampleWithExternalFilesWritesItsBytesToItsName) {
    const AudioSample s = make_sample("resources/hit.wav", pattern_bytes(100));
    const ProjectDir d = dir();
    const JsonValue j = s.to_json(&d);
    EXPECT_EQ(j, JsonValue({{"name", "resources/hit.wav"}}));
    EXPECT_EQ(file_bytes("resources/hit.wav"), s.audio_buffer.data);
}

// A sample without sound bytes still writes its name and an empty buffer, so
// the records after it in the table stay readable.
TEST_F(TextAudioRecords, AudioSampleWithoutSoundKeepsTheStreamInStep) {
    const AudioSample empty = make_sample("silent", {});
    BinaryWriter w;
    empty.write_binary(w);
    w.write_u32(0xC0FFEEu);
    BinaryReader r(w.bytes());
    AudioSample back;
    back.read_binary(r);
    EXPECT_EQ(back.name, "silent");
    EXPECT_TRUE(back.audio_buffer.empty());
    EXPECT_EQ(r.read_u32("sentinel"), 0xC0FFEEu);
}

TEST_F(TextAudioRecords, AudioSampleJsonCases) {
    dir().write("resources/on_disk.wav", std::vector<uint8_t>{9, 8, 7});
    AudioSample s;
    s.from_json(parse_json_text(R"({"name":"resources/on_disk.wav"})", "s.json"), dir());
    EXPECT_EQ(s.audio_buffer.data, (std::vector<uint8_t>{9, 8, 7}));

    s.from_json(parse_json_text(R"({"name":"resources/on_disk.wav","audio_buffer":null})", "s.json"),
                dir());
    EXPECT_TRUE(s.audio_buffer.empty()) << "a present buffer wins over the file";

    try {
        s.from_json(parse_json_text(R"({"name":"resources/none.wav"})", "s.json"), dir());
        ADD_FAILURE() << "a missing file raised nothing";
    } catch (const ResourceFileError& e) {
        EXPECT_STREQ(e.what(), "File not found: resources/none.wav");
    }
}

TEST_F(TextAudioRecords, AudioSampleRefusesToWriteOutsideTheProject) {
    const ProjectDir d = dir();
    const std::string absolute = (scratch_ / "absolute.wav").string();
    for (const char* name : {"../escape.wav", absolute.c_str(), ""}) {
        SCOPED_TRACE(name);
        EXPECT_THROW(make_sample(name, {1}).to_json(&d), ContentError);
    }
    EXPECT_FALSE(fs::exists(root_.parent_path() / "escape.wav"));
    EXPECT_FALSE(fs::exists(absolute));
}

TEST(SampleDuration, Table) {
    constexpr int32_t max = std::numeric_limits<int32_t>::max();
    struct Row {
        const char* label;
        uint64_t bytes;
        int frequency, channels, bytes_per_sample;
        int32_t ms;
    };
    const Row rows[] = {
        {"one second, stereo 16-bit", 176400, 44100, 2, 2, 1000},
        {"truncates", 176399, 44100, 2, 2, 999},
        {"nothing", 0, 44100, 2, 2, 0},
        {"mono 8-bit", 22050, 22050, 1, 1, 1000},
        {"5.1 float", 48000 * 6 * 4 * 3, 48000, 6, 4, 3000},
        {"first length whose x500 product passes 32 bits", 4294968, 44100, 2, 2, 24347},
        {"largest 32-bit chunk length", 4294967295u, 44100, 2, 2, 24347887},
        {"beyond 32-bit lengths", 4294967301ull, 44100, 2, 2, 24347887},
        {"just below saturation", 378816115330ull, 44100, 2, 2, max - 1},
        {"exactly the largest", 378816115331ull, 44100, 2, 2, max},
        {"saturates", std::numeric_limits<uint64_t>::max(), 44100, 2, 2, max},
        {"saturates at 1 Hz mono", std::numeric_limits<uint64_t>::max(), 1, 1, 1, max},
        {"no frequency", 176400, 0, 2, 2, 0},
        {"negative frequency", 176400, -44100, 2, 2, 0},
        {"no channels", 176400, 44100, 0, 2, 0},
        {"too many channels", 176400, 44100, 256, 2, 0},
        {"no sample bytes", 176400, 44100, 2, 0, 0},
        {"too wide a sample", 176400, 44100, 2, 9, 0},
        {"largest device values", 1ull << 63, 2147483647, 255, 8, 2105376126},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        EXPECT_EQ(sample_duration_ms(row.bytes, row.frequency, row.channels, row.bytes_per_sample),
                  row.ms);
    }
}

// Where the 32-bit product of the old computation does not overflow, the
// durations must not change.
TEST(SampleDuration, AgreesWithTheNarrowFormulaWhereItHeld) {
    for (int channels : {1, 2}) {
        for (int frequency : {22050, 44100, 48000}) {
            for (int64_t len = 0; len <= 4294967; len += 997) {
                const int32_t narrow = static_cast<int32_t>(len * 500) / channels / frequency;
                ASSERT_EQ(sample_duration_ms(static_cast<uint64_t>(len), frequency, channels, 2),
                          narrow)
                    << len << " bytes, " << frequency << " Hz, " << channels << " channels";
            }
        }
    }
}

// ---------------------------------------------------------------- untrusted bytes

TEST_F(TextAudioRecords, EveryTruncationOfARecordIsAFormatError) {
    Font mono = make_font("Mono", "resources/mono.ttf", 20, pattern_bytes(40));
    BinaryWriter font_bytes, texture_bytes, sample_bytes;
    mono.write_binary(font_bytes);
    texture_bytes.assign_id(&mono, 5);
    make_text_texture("title", 512, 64, &mono, true, 4).write_binary(texture_bytes);
    make_sample("resources/hit.wav", pattern_bytes(30)).write_binary(sample_bytes);

    struct Row {
        const char* label;
        const std::vector<uint8_t>& bytes;
        std::function<void(BinaryReader&)> read;
    };
    const Row rows[] = {
        {"font", font_bytes.bytes(), [](BinaryReader& r) { Font().read_binary(r); }},
        {"text texture", texture_bytes.bytes(), [](BinaryReader& r) { FontTexture().read_binary(r); }},
        {"audio sample", sample_bytes.bytes(), [](BinaryReader& r) { AudioSample().read_binary(r); }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        test::expect_every_prefix_fails(row.bytes, row.read);
        BinaryReader whole(row.bytes);
        EXPECT_NO_THROW(row.read(whole));
    }
}

// The field order of each binary form, read field by field.
TEST_F(TextAudioRecords, BinaryFieldOrder) {
    Font font = make_font("Mono", "resources/mono.ttf", -20, {1, 2, 3});
    {
        BinaryWriter w;
        font.write_binary(w);
        BinaryReader r(w.bytes());
        EXPECT_EQ(r.read_packed_string("name"), "Mono");
        EXPECT_EQ(r.read_packed_string("filename"), "resources/mono.ttf");
        EXPECT_EQ(r.read_i32("ptsize"), -20);
        EXPECT_EQ(r.read_scrambled_bytes("bytes"), (std::vector<uint8_t>{1, 2, 3}));
        EXPECT_EQ(r.remaining(), 0u);
    }
    {
        BinaryWriter w;
        w.assign_id(&font, 0x0102030405060708ull);
        make_text_texture("t", 640, 360, &font, true, 7).write_binary(w);
        BinaryReader r(w.bytes());
        EXPECT_EQ(r.read_packed_string("name"), "t");
        EXPECT_EQ(r.read_i32("width"), 640);
        EXPECT_EQ(r.read_i32("height"), 360);
        EXPECT_EQ(r.read_id("font"), 0x0102030405060708ull);
        EXPECT_TRUE(r.read_bool("center"));
        EXPECT_EQ(r.read_i32("chars_per_beat"), 7);
        EXPECT_EQ(r.remaining(), 0u);
    }
    {
        BinaryWriter w;
        make_sample("hit", {4, 5}).write_binary(w);
        BinaryReader r(w.bytes());
        EXPECT_EQ(r.read_packed_string("name"), "hit");
        EXPECT_EQ(r.read_scrambled_bytes("bytes"), (std::vector<uint8_t>{4, 5}));
        EXPECT_EQ(r.remaining(), 0u);
    }
}

// ---------------------------------------------------------------- lint

TEST(TextAudioLint, Table) {
    using Lint = void (*)(const JsonValue&, std::vector<std::string>&);
    struct Row {
        const char* label;
        Lint lint;
        const char* json;
        size_t count;
        const char* finding;  // a text one of the warnings contains
    };
    const Row rows[] = {
        {"clean font", lint_font_json,
         R"({"name":"Mono","filename":"m.ttf","ptsize":24,"font_buffer":"AAAA"})", 0, ""},
        {"clean external font", lint_font_json, R"({"name":"Mono","filename":"m.ttf","ptsize":24})",
         0, ""},
        {"floating ptsize", lint_font_json, R"({"name":"Mono","ptsize":24.0,"font_buffer":""})", 1,
         "font \"Mono\": \"ptsize\" is 24.0, not an integral number, which reads as 0; write 24"},
        {"absent ptsize", lint_font_json, R"({"name":"Mono","font_buffer":""})", 1,
         "\"ptsize\" is missing"},
        {"zero ptsize", lint_font_json, R"({"name":"Mono","ptsize":0,"font_buffer":""})", 1,
         "needs a positive point size"},
        {"ptsize beyond 32 bits", lint_font_json,
         R"({"name":"Mono","ptsize":4294967308,"font_buffer":""})", 1, "reads as 12"},
        {"null font_buffer", lint_font_json, R"({"name":"Mono","ptsize":9,"font_buffer":null})", 1,
         "\"font_buffer\" is null"},
        {"no bytes and no filename", lint_font_json, R"({"name":"Mono","ptsize":9})", 1,
         "\"filename\" is missing"},
        {"font not an object", lint_font_json, R"("Mono")", 1, "is not a JSON object"},

        {"clean text texture", lint_font_texture_json,
         R"({"name":"t","width":512,"height":128,"font":"Mono","center":false,"chars_per_beat":-1})",
         0, ""},
        {"text texture with only the required members", lint_font_texture_json,
         R"({"name":"t","width":512,"height":128,"font":"Mono"})", 0, ""},
        {"floating width", lint_font_texture_json,
         R"({"name":"t","width":512.0,"height":128,"font":"Mono"})", 2,
         "\"width\" is 512.0, not an integral number"},
        {"floating chars_per_beat", lint_font_texture_json,
         R"({"name":"t","width":8,"height":8,"font":"Mono","chars_per_beat":2.0})", 1,
         "\"chars_per_beat\" is 2.0, not an integral number"},
        {"numeric center", lint_font_texture_json,
         R"({"name":"t","width":8,"height":8,"font":"Mono","center":1})", 1,
         "\"center\" is 1 (an integral number), which reads as false"},
        {"no font", lint_font_texture_json, R"({"name":"t","width":8,"height":8,"font":null})", 1,
         "\"font\" is not a font's name"},
        {"oversized", lint_font_texture_json,
         R"({"name":"t","width":20000,"height":8,"font":"Mono"})", 1, "size 20000 x 8 is outside"},

        {"clean sample", lint_audio_sample_json, R"({"name":"hit.wav","audio_buffer":"AAAA"})", 0,
         ""},
        {"clean external sample", lint_audio_sample_json, R"({"name":"hit.wav"})", 0, ""},
        {"null audio_buffer", lint_audio_sample_json, R"({"name":"hit.wav","audio_buffer":null})",
         1, "audio sample \"hit.wav\": \"audio_buffer\" is not a string"},
        {"sample without name", lint_audio_sample_json, R"({"audio_buffer":""})", 1,
         "\"name\" is missing"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        std::vector<std::string> warnings;
        row.lint(parse_json_text(row.json, "lint.json"), warnings);
        EXPECT_EQ(warnings.size(), row.count) << ::testing::PrintToString(warnings);
        if (row.count > 0) {
            bool found = false;
            for (const std::string& w : warnings) found = found || w.find(row.finding) != std::string::npos;
            EXPECT_TRUE(found) << "no warning contains: " << row.finding << "\n"
                               << ::testing::PrintToString(warnings);
        }
    }
}

}  // namespace
}  // namespace qh
