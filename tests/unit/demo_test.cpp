// The whole document: both forms, identities and names across tables, and
// what a hostile or careless payload or project does to the reader.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "document/demo_io.h"
#include "document/demo_tables.h"
#include "package/errors.h"
#include "package/project_dir.h"
#include "support/sample_demo.h"
#include "support/scratch_dir.h"

namespace qh {
namespace {

using test::bytes_of;
using test::make_full_demo;

class TempDir : public test::ScratchDir {
public:
    TempDir() : ScratchDir("qh-demo") {}
};

// Every link of the full demo points at the record it should.
void expect_wired(const Demo& d) {
    ASSERT_EQ(d.record_count(), 14u);
    const Effect& main = *d.effects[1];
    EXPECT_EQ(d.events[0]->effect, &main);
    EXPECT_EQ(d.events[1]->audio_sample, d.audio_samples[0].get());
    EXPECT_EQ(d.events[2]->group, d.event_groups[0].get());
    EXPECT_EQ(d.event_groups[0]->events, (std::vector<Event*>{d.events[0].get(), d.events[1].get()}));
    EXPECT_EQ(main.program, d.shaders[0].get());
    EXPECT_EQ(main.textures, std::vector<Texture*>{d.textures[0].get()});
    EXPECT_EQ(main.effects, std::vector<Effect*>{d.effects[0].get()});
    EXPECT_EQ(main.font_textures, std::vector<FontTexture*>{d.font_textures[0].get()});
    EXPECT_EQ(main.scene, d.scenes[0].get());
    EXPECT_EQ(d.font_textures[0]->font, d.fonts[0].get());
    ASSERT_TRUE(d.scenes[0]->root_node);
    EXPECT_EQ(d.scenes[0]->root_node->model, d.models[0].get());
    EXPECT_TRUE(d.models[0]->parsed);
    EXPECT_EQ(d.music.data, bytes_of("ID3 music bytes"));
    EXPECT_EQ(d.end_beat, 64.0f);
    EXPECT_EQ(d.bpm, 140.0f);
    EXPECT_EQ(d.beat_offset, 0.25f);
}

TEST(DemoForms, BinaryRoundTripIsByteExactAndWired) {
    const auto original = make_full_demo();
    const auto bytes = write_demo_payload(*original);
    const auto read = read_demo_payload(bytes);
    expect_wired(*read);
    EXPECT_EQ(read->resource_count, 14u);
    EXPECT_EQ(write_demo_payload(*read), bytes);
}

TEST(DemoForms, EmbeddedJsonRoundTripGivesTheSamePackage) {
    const auto original = make_full_demo();
    const JsonValue j = original->to_json(nullptr);
    EXPECT_TRUE(j.contains("music"));
    EXPECT_TRUE(j["bpm"].is_number_float());
    TempDir empty;
    Demo read;
    read.from_json(parse_json_text(dump_json_text(j), "project.json"), ProjectDir(empty.path()));
    expect_wired(read);
    EXPECT_EQ(write_demo_payload(read), write_demo_payload(*original));
}

TEST(DemoForms, ExternalFilesRoundTripGivesTheSamePackage) {
    const auto original = make_full_demo();
    TempDir dir;
    write_project_file(*original, dir.path());
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "resources/music.mp3"));
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "resources/blob.bin"));
    const JsonValue j = parse_json_text(
        std::string(std::istreambuf_iterator<char>(std::ifstream(dir.path() / "project.json").rdbuf()), {}),
        "project.json");
    EXPECT_FALSE(j.contains("music"));

    const auto read = read_project_file(dir.path() / "project.json");
    expect_wired(*read);
    EXPECT_EQ(write_demo_payload(*read), write_demo_payload(*original));
}

TEST(DemoForms, ProgressCountsEveryRecordThenTheTotalOneACall) {
    const auto bytes = write_demo_payload(*make_full_demo());
    std::vector<std::pair<uint64_t, uint64_t>> calls;
    Demo d;
    DemoPayloadReader reader(d, bytes, [&](uint64_t i, uint64_t n) { calls.emplace_back(i, n); });
    for (size_t steps = 1; !reader.done(); ++steps) {
        reader.read_next();
        ASSERT_EQ(calls.size(), steps);  // a record a call, then the end
    }
    ASSERT_EQ(calls.size(), 15u);
    for (uint64_t i = 0; i < 14; ++i) EXPECT_EQ(calls[i], std::make_pair(i, uint64_t{14}));
    EXPECT_EQ(calls.back(), std::make_pair(uint64_t{14}, uint64_t{14}));
}

TEST(DemoForms, StoredResourceCountIsTakenAsIs) {
    auto bytes = write_demo_payload(*make_full_demo());
    bytes[0] = 99;  // the count only drives the loading progress
    std::vector<uint64_t> totals;
    const auto read = read_demo_payload(bytes, [&](uint64_t, uint64_t n) { totals.push_back(n); });
    EXPECT_EQ(read->resource_count, 99u);
    EXPECT_EQ(read->record_count(), 14u);
    EXPECT_EQ(totals.back(), 99u);
}

TEST(DemoForms, EmptyDocumentPinsTheLayout) {
    Demo d;
    d.end_beat = 10;
    const auto bytes = write_demo_payload(d);
    ASSERT_EQ(bytes.size(), 13u * 8 + 12);  // count, eleven tables, music, three floats
    for (size_t i = 0; i < 13 * 8; ++i) EXPECT_EQ(bytes[i], 0) << i;
    std::vector<uint64_t> progress;
    const auto read = read_demo_payload(bytes, [&](uint64_t i, uint64_t) { progress.push_back(i); });
    EXPECT_EQ(progress, std::vector<uint64_t>{0});  // only the final frame
    EXPECT_EQ(read->end_beat, 10.0f);
    EXPECT_EQ(read->bpm, 130.0f);
    EXPECT_TRUE(read->music.empty());
}

// Payloads written by hand, with identities of our choosing.
struct HandPayload {
    BinaryWriter w;
    void table(std::initializer_list<std::pair<ResourceId, const ISerializable*>> rows) {
        w.write_u64(rows.size());
        for (auto [id, record] : rows) {
            w.write_u64(id);
            record->write_binary(w);
        }
    }
    void empty_tables(int n) {
        for (int i = 0; i < n; ++i) w.write_u64(0);
    }
    std::vector<uint8_t> finish() {
        w.write_u64(0);  // music
        w.write_f32(480);
        w.write_f32(130);
        w.write_f32(0.5f);
        return w.take_bytes();
    }
};

TEST(DemoIdentities, SharedIdentityResolvesToTheLaterRecordOfTheRightClass) {
    Effect first, second;
    first.name = "first";
    second.name = "second";
    Texture texture;
    texture.name = "t";
    texture.image_buffer = ByteBuffer(bytes_of("x"));
    Event ev;
    ev.name = "e";
    ev.type = Event::type_effect;

    struct Row {
        const char* name;
        bool texture_reuses_id;
        const char* expected_effect;  // null: no link
    };
    for (const Row& row : {Row{"same table: the later effect", false, "second"},
                           Row{"later record of another class: no link", true, nullptr}}) {
        SCOPED_TRACE(row.name);
        HandPayload p;
        p.w.assign_id(&first, 7);
        ev.effect = &first;  // written as identity 7
        p.w.write_u64(4);
        p.table({{1, &ev}});
        p.table({{7, &first}, {7, &second}});
        p.empty_tables(1);  // shaders
        if (row.texture_reuses_id) {
            p.table({{7, &texture}});
        } else {
            p.empty_tables(1);
        }
        p.empty_tables(7);
        const auto d = read_demo_payload(p.finish());
        ASSERT_EQ(d->events.size(), 1u);
        if (row.expected_effect) {
            ASSERT_NE(d->events[0]->effect, nullptr);
            EXPECT_EQ(d->events[0]->effect->name, row.expected_effect);
        } else {
            EXPECT_EQ(d->events[0]->effect, nullptr);
        }
    }
}

TEST(DemoIdentities, DanglingReferencesBecomeNull) {
    auto original = make_full_demo();
    // Drop the records the links point at; their identities are written as 0
    // or as nothing, and every link reads back null.
    original->fonts.clear();
    original->scenes.clear();
    original->effects[1]->scene = nullptr;
    original->font_textures[0]->font = nullptr;
    const auto d = read_demo_payload(write_demo_payload(*original));
    EXPECT_EQ(d->font_textures[0]->font, nullptr);
    EXPECT_EQ(d->effects[1]->scene, nullptr);
}

TEST(DemoReader, EveryTruncationIsAFormatError) {
    const auto bytes = write_demo_payload(*make_full_demo());
    // Every prefix up to the model, then a stride through the rest.
    for (size_t n = 0; n < bytes.size(); n += (n < 1500 ? 1 : 97)) {
        const std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + n);
        EXPECT_THROW(read_demo_payload(cut), FormatError) << "prefix of " << n << " bytes";
    }
}

TEST(DemoReader, HugeTableCountIsRefusedBeforeAllocating) {
    BinaryWriter w;
    w.write_u64(1);
    w.write_u64(~uint64_t{0} / 2);  // events
    try {
        read_demo_payload(w.bytes());
        FAIL() << "no error";
    } catch (const FormatError& e) {
        EXPECT_NE(std::string(e.what()).find("events"), std::string::npos) << e.what();
        EXPECT_EQ(e.offset(), 8u);
    }
}

TEST(DemoJson, LenientNumbersAndAbsentTables) {
    struct Row {
        const char* name;
        const char* text;
        float bpm, end_beat;
        uint64_t resource_count;
    };
    const Row rows[] = {
        {"floating numbers", R"({"music":"","bpm":130.0,"end_beat":8.0})", 130, 8, 0},
        {"integral bpm reads as 0", R"({"music":"","bpm":130,"end_beat":8.0})", 0, 8, 0},
        {"missing numbers read as 0", R"({"music":""})", 0, 0, 0},
        {"text bpm reads as 0", R"({"music":"","bpm":"130.0"})", 0, 0, 0},
        {"only the present tables count",
         R"({"music":"","datas":[{"name":"a","data_buffer":""},{"name":"b","data_buffer":"AA=="}]})", 0,
         0, 2},
    };
    TempDir dir;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Demo d;
        d.from_json(parse_json_text(row.text, "p.json"), ProjectDir(dir.path()));
        EXPECT_EQ(d.bpm, row.bpm);
        EXPECT_EQ(d.end_beat, row.end_beat);
        EXPECT_EQ(d.resource_count, row.resource_count);
    }
}

TEST(DemoJson, MissingMusicFileIsReportedByName) {
    TempDir dir;
    Demo d;
    try {
        d.from_json(parse_json_text(R"({"bpm":130.0})", "p.json"), ProjectDir(dir.path()));
        FAIL() << "no error";
    } catch (const ResourceFileError& e) {
        EXPECT_STREQ(e.what(), "File not found: resources/music.mp3");
    }
}

TEST(DemoJson, RecordsSharingANameEachWireTheirOwnReferences) {
    // Two events both named "E": each must keep the target its own object names.
    const char* text = R"({"music":"",
        "effects":[{"name":"a","program":"","textures":[],"effects":[],"font_textures":[]},
                   {"name":"b","program":"","textures":[],"effects":[],"font_textures":[]}],
        "events":[{"type":1,"name":"E","effect":"a","start_beat":0.0,"end_beat":1.0,"control_points":{}},
                  {"type":1,"name":"E","effect":"b","start_beat":0.0,"end_beat":1.0,"control_points":{}}]})";
    TempDir dir;
    Demo d;
    d.from_json(parse_json_text(text, "p.json"), ProjectDir(dir.path()));
    ASSERT_EQ(d.events.size(), 2u);
    ASSERT_NE(d.events[0]->effect, nullptr);
    ASSERT_NE(d.events[1]->effect, nullptr);
    EXPECT_EQ(d.events[0]->effect->name, "a");
    EXPECT_EQ(d.events[1]->effect->name, "b");
}

TEST(DemoJson, ResourceNamesThatAreNotFilesAreRefused) {
    TempDir dir;
    for (const char* name : {"/dev/zero", "/proc/self"}) {
        SCOPED_TRACE(name);
        Demo d;
        const JsonValue j = {{"music", ""}, {"datas", {{{"name", name}}}}};
        EXPECT_THROW(d.from_json(j, ProjectDir(dir.path())), ContentError);
    }
}

TEST(DemoJson, TextThatIsNotUtf8IsRefusedNotMangled) {
    Demo d;
    auto data = std::make_unique<Data>();
    data->name = "caf\xe9.bin";  // Latin-1, as a package may well hold
    d.datas.push_back(std::move(data));
    TempDir dir;
    try {
        write_project_file(d, dir.path() / "out");
        FAIL() << "no error";
    } catch (const ContentError& e) {
        EXPECT_NE(std::string(e.what()).find("UTF-8"), std::string::npos) << e.what();
    }
}

}  // namespace
}  // namespace qh
