// The persisted forms of the rendering records: binary and JSON (embedded and
// external) round trips, reference wiring by identity and by name, lenient
// JSON reads with their lint warnings, and hostile binary input.
#include <gtest/gtest.h>

#include <bit>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>

#include "package/errors.h"
#include "package/project_dir.h"
#include "render/effect.h"
#include "render/shader_program.h"
#include "render/texture.h"
#include "support/scratch_dir.h"
#include "support/truncation.h"

namespace qh {
namespace {

namespace fs = std::filesystem;

// A fresh project directory per test.
struct TempDir {
    test::ScratchDir scratch{"qh-render"};
    fs::path path = scratch.path();
    ProjectDir dir{path};
    std::string file(const std::string& name) const {
        std::ifstream in(path / name, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
};

// A sentinel after the record catches a reader that takes too much or too little.
constexpr uint32_t sentinel = 0x5EA1ED00u;

template <class T>
T read_back(const std::vector<uint8_t>& bytes) {
    BinaryReader r(bytes);
    T out;
    out.read_binary(r);
    EXPECT_EQ(r.read_u32("sentinel"), sentinel);
    EXPECT_EQ(r.remaining(), 0u);
    return out;
}

template <class T>
T binary_round_trip(const T& record, BinaryWriter w = {}) {
    record.write_binary(w);
    w.write_u32(sentinel);
    return read_back<T>(w.bytes());
}

// Through the text form, so floating numbers must stay floating there too.
template <class T>
T json_round_trip(const T& record, const ProjectDir* external, const ProjectDir& dir) {
    T out;
    out.from_json(parse_json_text(dump_json_text(record.to_json(external)), "test"), dir);
    return out;
}

UniformDef def(std::string name, float lo, float hi, float dflt) {
    UniformDef d;
    d.name = std::move(name);
    d.min_val = lo, d.max_val = hi, d.default_val = dflt;
    return d;
}

void expect_same_def(const UniformDef& a, const UniformDef& b) {
    auto bits = [](float f) { return std::bit_cast<uint32_t>(f); };
    EXPECT_EQ(a.name, b.name);
    EXPECT_EQ(bits(a.min_val), bits(b.min_val)) << a.min_val << " vs " << b.min_val;
    EXPECT_EQ(bits(a.max_val), bits(b.max_val)) << a.max_val << " vs " << b.max_val;
    EXPECT_EQ(bits(a.default_val), bits(b.default_val)) << a.default_val << " vs " << b.default_val;
}

TEST(UniformDefForms, RoundTripsKeepEveryFloatBitForBit) {
    const UniformDef rows[] = {
        def("gain", -2.5f, 7.25f, 0.125f),
        def("wobble", 0.1f, 1.0f / 3.0f, -0.7f),
        def("edge", -0.0f, std::numeric_limits<float>::max(), std::numeric_limits<float>::denorm_min()),
        def("", 0.0f, 0.0f, 0.0f),
        def("\xC3\xA9" "clat", 1.0f, 2.0f, 1.5f),
    };
    TempDir tmp;
    for (const UniformDef& row : rows) {
        SCOPED_TRACE(row.name);
        expect_same_def(binary_round_trip(row), row);
        expect_same_def(json_round_trip(row, nullptr, tmp.dir), row);
        expect_same_def(json_round_trip(row, &tmp.dir, tmp.dir), row);
    }
}

TEST(UniformDefForms, JsonValuesOfAnotherKindReadAsZero) {
    struct Row { const char* json; UniformDef expected; };
    const Row rows[] = {
        {R"({"name":"a","min_val":0.0,"default_val":0.5})", def("a", 0, 0, 0.5f)},  // max 0, not 1
        {R"({"name":"a","min_val":-1.0,"max_val":5,"default_val":0.5})", def("a", -1, 0, 0.5f)},
        {R"({"name":"a","min_val":"1.5","max_val":2.0,"default_val":true})", def("a", 0, 2, 0)},
        {R"({"name":7})", def("", 0, 0, 0)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.json);
        UniformDef d;
        d.from_json(parse_json_text(row.json, "t"), ProjectDir("."));
        expect_same_def(d, row.expected);
    }
}

ShaderProgram sample_program(size_t def_count) {
    ShaderProgram p;
    p.vertex_shader_filename = "resources/quad.vert";
    p.fragment_shader_filename = "resources/shaders/plasma.frag";
    p.fragment_shader_source = std::string(fragment_shader_preamble) +
                               "#include \"resources/noise.frag\"\n" + default_fragment_shader_body;
    for (size_t i = 0; i < def_count; ++i) {
        p.uniform_defs.push_back(def("u" + std::to_string(i), -float(i), i + 0.5f, 0.25f));
    }
    return p;
}

void expect_same_program(const ShaderProgram& a, const ShaderProgram& b) {
    EXPECT_EQ(a.vertex_shader_filename, b.vertex_shader_filename);
    EXPECT_EQ(a.vertex_shader_source, b.vertex_shader_source);
    EXPECT_EQ(a.fragment_shader_filename, b.fragment_shader_filename);
    EXPECT_EQ(a.fragment_shader_source, b.fragment_shader_source);
    ASSERT_EQ(a.uniform_defs.size(), b.uniform_defs.size());
    for (size_t i = 0; i < a.uniform_defs.size(); ++i) expect_same_def(a.uniform_defs[i], b.uniform_defs[i]);
}

TEST(ShaderProgramForms, RoundTripsInEveryForm) {
    TempDir tmp;
    for (size_t defs : {0u, 1u, 3u}) {
        SCOPED_TRACE(defs);
        const ShaderProgram p = sample_program(defs);
        expect_same_program(binary_round_trip(p), p);
        expect_same_program(json_round_trip(p, nullptr, tmp.dir), p);
        expect_same_program(json_round_trip(p, &tmp.dir, tmp.dir), p);

        const JsonValue external = p.to_json(&tmp.dir);  // sources only in their files
        EXPECT_FALSE(json_has(external, "vertex_shader_source") || json_has(external, "fragment_shader_source"));
        EXPECT_EQ(tmp.file(p.vertex_shader_filename), p.vertex_shader_source);
        EXPECT_EQ(tmp.file(p.fragment_shader_filename), p.fragment_shader_source);
    }
}

TEST(ShaderProgramForms, SourcesComeFromFilesOnlyWithoutAnEmbeddedFragmentSource) {
    struct Row { const char* label; const char* json; std::string vertex, fragment, printed; };
    const Row rows[] = {
        {"files", R"({"vertex_shader_filename":"v.vert","fragment_shader_filename":"f.frag"})",
         "VFILE", "FFILE", "Loading file v.vert\nLoading file f.frag\n"},
        {"missing file", R"({"vertex_shader_filename":"v.vert","fragment_shader_filename":"gone.frag"})",
         "VFILE", "", "Loading file v.vert\nLoading file gone.frag\nFile gone.frag not found! "
                      "Returning empty string, with possibly bad outcomes...\n"},
        {"embedded fragment, no vertex: vertex empty",
         R"({"vertex_shader_filename":"v.vert","fragment_shader_source":"EMB"})", "", "EMB", ""},
        {"vertex source alone is ignored",
         R"({"vertex_shader_filename":"v.vert","fragment_shader_filename":"f.frag","vertex_shader_source":"E"})",
         "VFILE", "FFILE", "Loading file v.vert\nLoading file f.frag\n"},
    };
    TempDir tmp;
    tmp.dir.write("v.vert", std::string("VFILE"));
    tmp.dir.write("f.frag", std::string("FFILE"));
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        ShaderProgram p = sample_program(2);
        testing::internal::CaptureStdout();
        p.from_json(parse_json_text(row.json, row.label), tmp.dir);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), row.printed);
        EXPECT_EQ(p.vertex_shader_source, row.vertex);
        EXPECT_EQ(p.fragment_shader_source, row.fragment);
        EXPECT_TRUE(p.uniform_defs.empty());  // replaced, not appended to
    }
}

TEST(ShaderProgramForms, ExternalWriteRefusesToLoseASource) {
    TempDir tmp;
    ShaderProgram p;
    p.vertex_shader_filename = p.fragment_shader_filename = "both.glsl";
    p.vertex_shader_source = p.fragment_shader_source = "same";
    expect_same_program(json_round_trip(p, &tmp.dir, tmp.dir), p);
    p.fragment_shader_source = "different";
    EXPECT_THROW(p.to_json(&tmp.dir), ContentError);
    EXPECT_EQ(tmp.file("both.glsl"), "same");
    p.fragment_shader_filename = "../escape.frag";
    EXPECT_THROW(p.to_json(&tmp.dir), ContentError);
    EXPECT_FALSE(fs::exists(tmp.path.parent_path() / "escape.frag"));
}

std::vector<uint8_t> every_byte() {
    std::vector<uint8_t> v(256 * 3 + 1);
    for (size_t i = 0; i < v.size(); ++i) v[i] = static_cast<uint8_t>(i * 7);
    return v;
}

TEST(TextureForms, RoundTripsKeepNameAndBytes) {
    TempDir tmp;
    for (const Texture& t : {Texture("resources/images/logo.png", every_byte()), Texture("empty.png", {})}) {
        SCOPED_TRACE(t.name);
        for (const Texture& back : {binary_round_trip(t), json_round_trip(t, nullptr, tmp.dir),
                                    json_round_trip(t, &tmp.dir, tmp.dir)}) {
            EXPECT_EQ(back.name, t.name);
            ASSERT_TRUE(back.image_buffer.has_value());
            EXPECT_EQ(back.image_buffer->data, t.image_buffer->data);
        }
    }
    const JsonValue external = Texture("resources/images/logo.png", every_byte()).to_json(&tmp.dir);
    EXPECT_EQ(external, JsonValue({{"name", "resources/images/logo.png"}}));
    fs::remove(tmp.path / "resources/images/logo.png");
    EXPECT_THROW(Texture().from_json(external, tmp.dir), ResourceFileError);
}

TEST(TextureForms, BlankTextureIsNamedBySizeAndStaysReadable) {
    const Texture blank(1024, 2), other(1024, 2);
    EXPECT_EQ(blank.gpu.width, 1024);
    EXPECT_EQ(blank.gpu.height, 2);
    char expected[64];
    std::snprintf(expected, sizeof expected, "Texture %p (1024 x 2)", static_cast<const void*>(&blank));
    EXPECT_EQ(blank.name, expected);
    EXPECT_NE(blank.name, other.name);

    const Texture back = binary_round_trip(blank);  // the sentinel proves the stream stays in step
    EXPECT_EQ(back.name, blank.name);
    EXPECT_TRUE(back.image_buffer && back.image_buffer->empty());
    TempDir tmp;
    EXPECT_EQ(json_round_trip(blank, &tmp.dir, tmp.dir).name, blank.name);
    EXPECT_TRUE(fs::is_empty(tmp.path));  // no file for a texture with no image
}

// Font textures and scenes are only compared and named here, never used, so
// stand-ins that hold just a name serve.
struct Stand {
    std::string name;
    FontTexture* ft() { return reinterpret_cast<FontTexture*>(this); }
    Scene* scene() { return reinterpret_cast<Scene*>(this); }
};
const std::string& stand_ft_name(const FontTexture& f) { return reinterpret_cast<const Stand&>(f).name; }
const std::string& stand_scene_name(const Scene& s) { return reinterpret_cast<const Stand&>(s).name; }

// Everything an effect can point at, with identities 1..6 and names.
struct World {
    Texture tex_a{"tex_a", {1}}, tex_b{"tex_b", {2}};
    Effect input, main;
    ShaderProgram program;
    Stand title{"title"}, stage{"stage"};
    EffectNameReaders readers{stand_ft_name, stand_scene_name};

    World() {
        input.name = "input", main.name = "main";
        program.fragment_shader_filename = "main.frag";
        main.textures = {&tex_a, &tex_b};
        main.effects = {&input};
        main.font_textures = {title.ft()};
        main.program = &program;
        main.scene = stage.scene();
        main.feedback = true;
    }

    BinaryWriter writer() {
        BinaryWriter w;
        const void* records[] = {&tex_a, &tex_b, &input, &program, title.ft(), stage.scene()};
        for (ResourceId id = 1; id <= 6; ++id) w.assign_id(records[id - 1], id);
        return w;
    }
    IdentityMap identities() {
        IdentityMap ids;
        ids.add(1, &tex_a), ids.add(2, &tex_b), ids.add(3, &input), ids.add(4, &program);
        ids.add(5, title.ft()), ids.add(6, stage.scene());
        return ids;
    }
    NameTables names() {
        NameTables n;
        n.textures = {{"tex_a", &tex_a}, {"tex_b", &tex_b}};
        n.effects = {{"input", &input}};
        n.shaders = {{"main.frag", &program}};
        n.font_textures = {{"title", title.ft()}};
        n.scenes = {{"stage", stage.scene()}};
        return n;
    }
};

void expect_same_links(const Effect& a, const Effect& b) {
    EXPECT_EQ(a.name, b.name);
    EXPECT_EQ(a.textures, b.textures);
    EXPECT_EQ(a.effects, b.effects);
    EXPECT_EQ(a.font_textures, b.font_textures);
    EXPECT_EQ(a.program, b.program);
    EXPECT_EQ(a.scene, b.scene);
    EXPECT_EQ(a.feedback, b.feedback);
    EXPECT_EQ(a.screen_texture, b.screen_texture);
}

TEST(EffectForms, BinaryLayoutOfAnEffectWithNoInputs) {
    ShaderProgram program;
    Effect e;
    e.name = "plain", e.program = &program, e.screen_texture = true;
    BinaryWriter w;
    w.assign_id(&program, 42);
    e.write_binary(w);
    BinaryReader r(w.bytes());
    for (const char* list : {"textures", "effects", "font textures"}) EXPECT_EQ(r.read_u64(list), 0u);
    EXPECT_EQ(r.read_u64("program"), 42u);
    EXPECT_EQ(r.read_packed_string("name"), "plain");
    EXPECT_FALSE(r.read_bool("feedback"));
    EXPECT_TRUE(r.read_bool("screen_texture"));
    EXPECT_EQ(r.read_u64("scene"), 0u);
    EXPECT_EQ(r.remaining(), 0u);
}

TEST(EffectForms, WiringByIdentityKeepsUnresolvedSlotsAsNulls) {
    World w;
    Effect back = binary_round_trip(w.main, w.writer());
    EXPECT_EQ(back.texture_ids, (std::vector<ResourceId>{1, 2}));
    back.wire(w.identities());
    expect_same_links(back, w.main);

    struct Row {
        const char* label;
        std::vector<ResourceId> textures;
        ResourceId program, scene;
        std::vector<Texture*> want_textures;
        bool want_program, want_scene;
    };
    const Row rows[] = {
        {"another class", {1, 3, 2}, 1, 5, {&w.tex_a, nullptr, &w.tex_b}, false, false},
        {"dangling", {99, 0}, 77, 88, {nullptr, nullptr}, false, false},
        {"resolved", {2}, 4, 6, {&w.tex_b}, true, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        Effect e;
        e.texture_ids = row.textures, e.program_id = row.program, e.scene_id = row.scene;
        e.effect_ids = {3, 4}, e.font_texture_ids = {5, 6};
        e.wire(w.identities());
        EXPECT_EQ(e.textures, row.want_textures);
        EXPECT_EQ(e.effects, (std::vector<Effect*>{&w.input, nullptr}));
        EXPECT_EQ(e.font_textures, (std::vector<FontTexture*>{w.title.ft(), nullptr}));
        EXPECT_EQ(e.program != nullptr, row.want_program);
        EXPECT_EQ(e.scene != nullptr, row.want_scene);
    }
}

TEST(EffectForms, WiringByNameKeepsUnknownNamesAsNulls) {
    World w;
    TempDir tmp;
    const ProjectDir* forms[] = {nullptr, &tmp.dir};  // embedded, external
    for (const ProjectDir* external : forms) {
        const JsonValue j = parse_json_text(dump_json_text(w.main.to_json(external, w.readers)), "t");
        Effect back;
        back.from_json(j, tmp.dir);
        NameTables names = w.names();
        back.wire_names(j, names);
        expect_same_links(back, w.main);
    }
    struct Row { const char* json; std::vector<Texture*> textures; bool program, scene, feedback; };
    const Row rows[] = {
        {R"({"textures":["tex_b","nope",3,"tex_a"],"program":"other.frag","scene":"x","feedback":true})",
         {&w.tex_b, nullptr, nullptr, &w.tex_a}, false, false, true},
        {R"({"textures":"tex_a","program":"main.frag","feedback":1})", {}, true, false, false},
        {R"({"scene":"stage","screen_texture":true})", {}, false, true, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.json);
        const JsonValue j = parse_json_text(row.json, "t");
        Effect e;
        e.from_json(j, tmp.dir);
        NameTables names = w.names();
        e.wire_names(j, names);
        EXPECT_EQ(e.textures, row.textures);
        EXPECT_TRUE(e.effects.empty() && e.font_textures.empty());
        EXPECT_EQ(e.program != nullptr, row.program);
        EXPECT_EQ(e.scene != nullptr, row.scene);
        EXPECT_EQ(e.feedback, row.feedback);
    }
}

TEST(EffectForms, NullLinksWriteNullsAndMissingReadersThrow) {
    Effect e;
    Texture t("t", {});
    e.textures = {nullptr, &t};
    const JsonValue j = e.to_json(nullptr);
    EXPECT_EQ(json_member(j, "textures"), JsonValue({nullptr, "t"}));
    EXPECT_TRUE(json_has(j, "program") && json_member(j, "program").is_null());
    EXPECT_FALSE(json_has(j, "scene"));

    Stand title{"title"};
    e.font_textures = {title.ft()};
    EXPECT_THROW(e.to_json(nullptr), std::logic_error);
}

TEST(RenderRecordsJson, LintNamesWhatReadsUnexpectedly) {
    using Lint = void (*)(const JsonValue&, std::vector<std::string>&);
    struct Row { Lint lint; const char* json; std::vector<std::string> warnings; };
    const Row rows[] = {
        {lint_uniform_def_json, R"({"name":"a","min_val":0.0,"max_val":1.0,"default_val":0.5})", {}},
        {lint_uniform_def_json, R"({"name":"a","min_val":0.0,"default_val":0.5})", {"\"max_val\" is missing"}},
        {lint_uniform_def_json, R"({"name":"a","min_val":0.0,"max_val":5,"default_val":"x"})",
         {"uniform \"a\": \"max_val\" is 5 (an integral number), which reads as 0; write 5.0",
          "\"default_val\" is \"x\" (a string)"}},
        {lint_shader_program_json, R"({"fragment_shader_source":"x","uniform_defs":{"a":1}})",
         {"\"vertex_shader_source\" is missing", "\"uniform_defs\" is {\"a\":1} (an object)"}},
        {lint_shader_program_json, R"({"vertex_shader_source":"v","fragment_shader_source":"f",
            "uniform_defs":[{"name":"k","min_val":0,"max_val":1.0}]})", {"uniform \"k\": \"min_val\" is 0"}},
        {lint_texture_json, R"({"name":"a","image_buffer":12})", {"\"image_buffer\" is 12"}},
        {lint_effect_json, R"({"name":"e","program":"p"})", {}},  // the input lists may be left out
        {lint_effect_json, R"({"name":"e","textures":["a",3],"effects":"b","feedback":1,"screen_texture":"y"})",
         {"\"textures\"[1] is 3", "\"effects\" is \"b\" (a string)", "\"program\" is missing",
          "\"feedback\" is 1", "\"screen_texture\" is \"y\""}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.json);
        std::vector<std::string> warnings;
        row.lint(parse_json_text(row.json, "t"), warnings);
        ASSERT_EQ(warnings.size(), row.warnings.size()) << testing::PrintToString(warnings);
        for (size_t i = 0; i < warnings.size(); ++i) {
            EXPECT_NE(warnings[i].find(row.warnings[i]), std::string::npos) << warnings[i];
        }
    }
}

TEST(RenderRecordsBinary, EveryTruncationAndHugeCountFailsCleanly) {
    World world;
    struct Row {
        const char* label;
        std::function<void(BinaryWriter&)> write;
        std::function<void(BinaryReader&)> read;
    };
    const Row rows[] = {
        {"UniformDef", [](BinaryWriter& w) { def("gain", 1, 2, 3).write_binary(w); },
         [](BinaryReader& r) { UniformDef().read_binary(r); }},
        {"ShaderProgram", [](BinaryWriter& w) { sample_program(2).write_binary(w); },
         [](BinaryReader& r) { ShaderProgram().read_binary(r); }},
        {"Texture", [](BinaryWriter& w) { Texture("t", every_byte()).write_binary(w); },
         [](BinaryReader& r) { Texture().read_binary(r); }},
        {"Effect", [&world](BinaryWriter& w) {
             w = world.writer();
             world.main.write_binary(w);
         },
         [](BinaryReader& r) { Effect().read_binary(r); }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        BinaryWriter w;
        row.write(w);
        std::vector<uint8_t> bytes = w.take_bytes();
        test::expect_every_prefix_fails(bytes, row.read);
        BinaryReader whole(bytes);
        EXPECT_NO_THROW(row.read(whole));
        EXPECT_EQ(whole.remaining(), 0u);
    }
    // Counts the remaining bytes cannot hold fail before anything is allocated.
    for (uint64_t huge : {uint64_t{1} << 61, ~uint64_t{0}, uint64_t{2}}) {
        SCOPED_TRACE(huge);
        BinaryWriter program, effect;
        for (int i = 0; i < 4; ++i) program.write_packed_string("s");  // the four texts
        for (BinaryWriter* w : {&program, &effect}) w->write_u64(huge), w->write_u64(0);
        BinaryReader pr(program.bytes()), er(effect.bytes());
        EXPECT_THROW(ShaderProgram().read_binary(pr), FormatError);
        EXPECT_THROW(Effect().read_binary(er), FormatError);
    }
}

}  // namespace
}  // namespace qh
