// Model, Camera, Node and Scene: both persisted forms, wiring, the camera
// model, and glTF parsing of the sample assets and of hostile bytes.
#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <glm/ext/matrix_clip_space.hpp>
#include <glm/ext/matrix_transform.hpp>
#include <glm/gtc/epsilon.hpp>
#include <glm/gtc/matrix_access.hpp>

#include "package/binary_stream.h"
#include "package/byte_buffer.h"
#include "package/errors.h"
#include "package/project_dir.h"
#include "scene3d/camera.h"
#include "scene3d/image_header.h"
#include "scene3d/model.h"
#include "scene3d/node.h"
#include "scene3d/scene.h"
#include "scene3d/scene_view.h"
#include "support/scratch_dir.h"
#include "support/tree_paths.h"

namespace qh {
namespace {

namespace fs = std::filesystem;

const fs::path gltf_fixtures = qh::test::fixtures_dir() / "gltf";

// A fresh directory under the system's temporary folder, removed afterwards.
class TempDir : public test::ScratchDir {
public:
    TempDir() : ScratchDir("qh-scene") {}
    ProjectDir dir() const { return ProjectDir(path()); }
};

std::vector<uint8_t> read_fixture(const std::string& name) {
    return ProjectDir(gltf_fixtures).read(name);
}

template <class T>
std::vector<uint8_t> binary_of(const T& record) {
    BinaryWriter w;
    record.write_binary(w);
    return w.take_bytes();
}

// A Model record as the package holds it.
std::vector<uint8_t> model_record(const std::string& name, const std::vector<uint8_t>& bytes) {
    BinaryWriter w;
    w.write_packed_string(name);
    w.write_scrambled_bytes(bytes.data(), bytes.size());
    return w.take_bytes();
}

Model model_from_record(const std::vector<uint8_t>& record) {
    Model m;
    BinaryReader in(record);
    m.read_binary(in);
    EXPECT_EQ(in.remaining(), 0u);
    return m;
}

void expect_same_asset(const tinygltf::Model& a, const tinygltf::Model& b) {
    EXPECT_EQ(a.meshes.size(), b.meshes.size());
    EXPECT_EQ(a.nodes.size(), b.nodes.size());
    EXPECT_EQ(a.animations.size(), b.animations.size());
    EXPECT_EQ(a.skins.size(), b.skins.size());
    EXPECT_EQ(a.accessors.size(), b.accessors.size());
    EXPECT_EQ(a.materials.size(), b.materials.size());
    ASSERT_EQ(a.images.size(), b.images.size());
    for (size_t i = 0; i < a.images.size(); ++i) {
        EXPECT_EQ(a.images[i].width, b.images[i].width);
        EXPECT_EQ(a.images[i].height, b.images[i].height);
        EXPECT_TRUE(a.images[i].image == b.images[i].image) << "pixels of image " << i;
    }
    ASSERT_EQ(a.buffers.size(), b.buffers.size());
    for (size_t i = 0; i < a.buffers.size(); ++i) {
        EXPECT_TRUE(a.buffers[i].data == b.buffers[i].data) << "buffer " << i;
    }
}

bool starts_with_glb_magic(const std::vector<uint8_t>& bytes) {
    return bytes.size() >= 4 && bytes[0] == 'g' && bytes[1] == 'l' && bytes[2] == 'T' && bytes[3] == 'F';
}

// ------------------------------------------------------------ sample assets

struct FixtureRow {
    const char* label;
    const char* file;        // under the fixture folder
    std::vector<const char*> companions;  // files the asset names by URI
    size_t meshes, nodes, animations, images, skins;
};

class SampleAsset : public testing::TestWithParam<FixtureRow> {};

// Each sample is read from a project file, then taken through the package
// form and both JSON forms; the asset must survive every step unchanged.
TEST_P(SampleAsset, SurvivesEveryForm) {
    const FixtureRow& row = GetParam();
    TempDir project;
    const std::string base = fs::path(row.file).filename().string();
    const std::string rel = "resources/" + base;
    project.dir().write(rel, read_fixture(row.file));
    for (const char* c : row.companions) {
        project.dir().write("resources/" + fs::path(c).filename().string(), read_fixture(c));
    }
    const bool text = has_gltf_text_extension(base);
    const std::string stored = text ? rel + ".glb" : rel;

    Model original;
    original.from_json(JsonValue{{"filename", rel}}, project.dir());
    ASSERT_TRUE(original.parsed) << original.parse_error;
    EXPECT_EQ(original.gltf.meshes.size(), row.meshes);
    EXPECT_EQ(original.gltf.nodes.size(), row.nodes);
    EXPECT_EQ(original.gltf.animations.size(), row.animations);
    EXPECT_EQ(original.gltf.images.size(), row.images);
    EXPECT_EQ(original.gltf.skins.size(), row.skins);
    // Images stay encoded for the device side, their size read from the header.
    for (const tinygltf::Image& img : original.gltf.images) {
        EXPECT_TRUE(img.as_is);
        const ImageHeader header = read_image_header(img.image);
        EXPECT_EQ(header.problem, "");
        EXPECT_GT(img.width, 0);
        EXPECT_EQ(uint32_t(img.width), header.width);
        EXPECT_EQ(uint32_t(img.height), header.height);
    }
    EXPECT_EQ(original.stored_filename(), stored);

    // Package form: always GLB, self-contained (nothing under ./resources).
    Model packed = model_from_record(binary_of(original));
    ASSERT_TRUE(packed.parsed) << packed.parse_error;
    EXPECT_EQ(packed.filename, stored);
    EXPECT_TRUE(starts_with_glb_magic(packed.buffer.data));
    if (!text) {
        EXPECT_TRUE(packed.buffer.data == original.buffer.data);
    }
    expect_same_asset(original.gltf, packed.gltf);

    // JSON form with an external file, written into another project.
    TempDir elsewhere;
    const ProjectDir out = elsewhere.dir();
    const JsonValue external = original.to_json(&out);
    EXPECT_EQ(json_text(json_member(external, "filename")), stored);
    EXPECT_FALSE(json_has(external, "buffer"));
    EXPECT_TRUE(fs::is_regular_file(elsewhere.path() / stored));
    Model reread;
    reread.from_json(external, elsewhere.dir());
    ASSERT_TRUE(reread.parsed) << reread.parse_error;
    expect_same_asset(original.gltf, reread.gltf);

    // JSON form with the bytes embedded, read in an empty project.
    TempDir empty;
    Model embedded;
    embedded.from_json(original.to_json(nullptr), empty.dir());
    ASSERT_TRUE(embedded.parsed) << embedded.parse_error;
    EXPECT_EQ(embedded.filename, stored);
    expect_same_asset(original.gltf, embedded.gltf);
}

INSTANTIATE_TEST_SUITE_P(
    Fixtures, SampleAsset,
    testing::Values(
        FixtureRow{"Box", "Box.glb", {}, 1, 2, 0, 0, 0},
        FixtureRow{"BoxTextured", "BoxTextured.glb", {}, 1, 2, 0, 1, 0},
        FixtureRow{"BoxAnimated", "BoxAnimated.glb", {}, 2, 4, 1, 0, 0},
        FixtureRow{"RiggedSimple", "RiggedSimple.glb", {}, 1, 5, 1, 0, 1},
        FixtureRow{"RiggedFigure", "RiggedFigure.glb", {}, 1, 22, 1, 0, 1},
        FixtureRow{"CesiumMan", "CesiumMan.glb", {}, 1, 22, 1, 1, 1},
        FixtureRow{"InterpolationTest", "InterpolationTest.glb", {}, 10, 12, 9, 1, 0},
        FixtureRow{"TextureCoordinateTest", "TextureCoordinateTest.glb", {}, 5, 5, 0, 1, 0},
        FixtureRow{"SimpleSkin", "SimpleSkin.gltf", {}, 1, 3, 1, 0, 1},
        FixtureRow{"AnimatedCube", "AnimatedCube/AnimatedCube.gltf",
                   {"AnimatedCube/AnimatedCube.bin", "AnimatedCube/AnimatedCube_BaseColor.png",
                    "AnimatedCube/AnimatedCube_MetallicRoughness.png"},
                   1, 1, 1, 2, 0}),
    [](const testing::TestParamInfo<FixtureRow>& info) { return std::string(info.param.label); });

// ------------------------------------------------------------ hostile bytes

// A one-triangle asset: three float positions and three u16 indices.
JsonValue triangle_json() {
    return JsonValue::parse(R"({
      "asset": {"version": "2.0"},
      "buffers": [{"byteLength": 44}],
      "bufferViews": [{"buffer": 0, "byteOffset": 0, "byteLength": 36},
                      {"buffer": 0, "byteOffset": 36, "byteLength": 6}],
      "accessors": [{"bufferView": 0, "componentType": 5126, "count": 3, "type": "VEC3"},
                    {"bufferView": 1, "componentType": 5123, "count": 3, "type": "SCALAR"}],
      "meshes": [{"primitives": [{"attributes": {"POSITION": 0}, "indices": 1}]}],
      "nodes": [{"mesh": 0}],
      "scenes": [{"nodes": [0]}],
      "scene": 0})");
}

std::vector<uint8_t> triangle_bin() {
    std::vector<uint8_t> bin(44, 0);
    const float positions[9] = {0, 0, 0, 1, 0, 0, 0, 1, 0};
    std::memcpy(bin.data(), positions, sizeof positions);
    for (int i = 0; i < 3; ++i) bin[36 + 2 * i] = uint8_t(i);
    return bin;
}

void put_u32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
}

std::vector<uint8_t> make_glb(const std::string& json, const std::vector<uint8_t>& bin) {
    std::string text = json;
    while (text.size() % 4) text += ' ';
    std::vector<uint8_t> out;
    put_u32(out, 0x46546C67u);
    put_u32(out, 2);
    put_u32(out, uint32_t(12 + 8 + text.size() + (bin.empty() ? 0 : 8 + bin.size())));
    put_u32(out, uint32_t(text.size()));
    put_u32(out, 0x4E4F534Au);
    out.insert(out.end(), text.begin(), text.end());
    if (!bin.empty()) {
        put_u32(out, uint32_t(bin.size()));
        put_u32(out, 0x004E4942u);
        out.insert(out.end(), bin.begin(), bin.end());
    }
    return out;
}

void set_u32(std::vector<uint8_t>& bytes, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = uint8_t(v >> (8 * i));
}

struct HostileRow {
    const char* label;
    std::function<std::vector<uint8_t>()> bytes;
    const char* error;  // a part of the expected message; "" = parses
};

std::vector<uint8_t> triangle_with(const std::function<void(JsonValue&, std::vector<uint8_t>&)>& edit) {
    JsonValue j = triangle_json();
    std::vector<uint8_t> bin = triangle_bin();
    edit(j, bin);
    return make_glb(j.dump(), bin);
}

class HostileGlb : public testing::TestWithParam<HostileRow> {};

// Package bytes are untrusted: a bad asset is reported and leaves an empty
// model, never a crash or a half-checked asset.
TEST_P(HostileGlb, IsReportedNotUsed) {
    const HostileRow& row = GetParam();
    Model m = model_from_record(model_record("hostile.glb", row.bytes()));
    if (*row.error == '\0') {
        EXPECT_TRUE(m.parsed) << m.parse_error;
        EXPECT_EQ(m.gltf.meshes.size(), 1u);
        return;
    }
    EXPECT_FALSE(m.parsed);
    EXPECT_NE(m.parse_error.find(row.error), std::string::npos) << m.parse_error;
    EXPECT_TRUE(m.gltf.meshes.empty() && m.gltf.nodes.empty() && m.gltf.buffers.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Malformed, HostileGlb,
    testing::Values(
        HostileRow{"ValidTriangle", [] { return triangle_with([](JsonValue&, auto&) {}); }, ""},
        HostileRow{"Empty", [] { return std::vector<uint8_t>{}; }, "empty"},
        HostileRow{"Garbage",
                   [] { const std::string s = "this is not a model at all, just text"; return std::vector<uint8_t>(s.begin(), s.end()); },
                   "not a GLB"},
        HostileRow{"TruncatedHeader", [] { auto b = read_fixture("Box.glb"); b.resize(10); return b; },
                   "is truncated"},
        HostileRow{"TruncatedBody", [] { auto b = read_fixture("Box.glb"); b.resize(b.size() / 2); return b; },
                   "announces"},
        HostileRow{"WrongVersion", [] { auto b = read_fixture("Box.glb"); set_u32(b, 4, 1); return b; },
                   "version 1"},
        HostileRow{"JsonChunkTooLong",
                   [] { auto b = read_fixture("Box.glb"); set_u32(b, 12, uint32_t(b.size())); return b; },
                   "does not fit"},
        // The BIN chunk fills the file exactly, leaving no room for its own
        // header: the library would read 8 bytes past the end.
        HostileRow{"BinChunkPastEnd",
                   [] {
                       auto b = triangle_with([](JsonValue&, auto&) {});
                       const uint32_t json_length = uint32_t(b[12] | b[13] << 8 | b[14] << 16 | b[15] << 24);
                       set_u32(b, 20 + json_length, uint32_t(b.size() - 20 - json_length));
                       return b;
                   },
                   "runs past"},
        HostileRow{"SecondChunkNotBin",
                   [] {
                       auto b = triangle_with([](JsonValue&, auto&) {});
                       const uint32_t json_length = uint32_t(b[12] | b[13] << 8 | b[14] << 16 | b[15] << 24);
                       set_u32(b, 24 + json_length, 0x12345678u);
                       return b;
                   },
                   "not BIN"},
        HostileRow{"JsonSyntaxError", [] { return make_glb("{\"asset\": {\"version\": ", triangle_bin()); }, "parse"},
        HostileRow{"DeepNesting",
                   [] { return make_glb(std::string(100000, '[') + std::string(100000, ']'), {}); },
                   "nests deeper"},
        HostileRow{"ImageViewOutsideBuffer",
                   [] {
                       return triangle_with([](JsonValue& j, auto&) {
                           j["bufferViews"].push_back({{"buffer", 0}, {"byteOffset", 40}, {"byteLength", 1000000}});
                           j["images"] = JsonValue::array({{{"bufferView", 2}, {"mimeType", "image/png"}}});
                       });
                   },
                   "lies outside buffer"},
        HostileRow{"AccessorPastView",
                   [] { return triangle_with([](JsonValue& j, auto&) { j["accessors"][0]["count"] = 4; }); },
                   "do not fit"},
        HostileRow{"AccessorHugeCount",
                   [] { return triangle_with([](JsonValue& j, auto&) { j["accessors"][0]["count"] = 4294967295u; }); },
                   "do not fit"},
        HostileRow{"IndexBeyondVertices",
                   [] { return triangle_with([](JsonValue&, auto& bin) { bin[40] = 3; }); }, "uses vertex 3"},
        HostileRow{"MeshIndexOutOfRange",
                   [] { return triangle_with([](JsonValue& j, auto&) { j["nodes"][0]["mesh"] = 7; }); },
                   "node 0 mesh refers to entry 7"},
        HostileRow{"NodeIsOwnChild",
                   [] { return triangle_with([](JsonValue& j, auto&) { j["nodes"][0]["children"] = {0}; }); },
                   "its own child"},
        HostileRow{"NodeCycle",
                   [] {
                       return triangle_with([](JsonValue& j, auto&) {
                           j["nodes"] = JsonValue::array({{{"children", {1}}}, {{"children", {0}}}});
                       });
                   },
                   "cycle"},
        HostileRow{"NodeTwoParents",
                   [] {
                       return triangle_with([](JsonValue& j, auto&) {
                           j["nodes"] = JsonValue::array({{{"children", {2}}}, {{"children", {2}}}, JsonValue::object()});
                       });
                   },
                   "more than one parent"},
        HostileRow{"DeepNodeChain",
                   [] {
                       return triangle_with([](JsonValue& j, auto&) {
                           JsonValue nodes = JsonValue::array();
                           for (int i = 0; i < 400; ++i) {
                               nodes.push_back(i + 1 < 400 ? JsonValue{{"children", {i + 1}}} : JsonValue::object());
                           }
                           j["nodes"] = nodes;
                       });
                   },
                   "levels deep"},
        HostileRow{"AnimationSamplerMissing",
                   [] {
                       return triangle_with([](JsonValue& j, auto&) {
                           j["animations"] = JsonValue::array(
                               {{{"channels", {{{"sampler", 3}, {"target", {{"node", 0}, {"path", "rotation"}}}}}},
                                 {"samplers", JsonValue::array()}}});
                       });
                   },
                   "sampler refers to entry 3"},
        HostileRow{"UndecodableImage",
                   [] {
                       return triangle_with([](JsonValue& j, auto&) {
                           j["bufferViews"].push_back({{"buffer", 0}, {"byteOffset", 0}, {"byteLength", 8}});
                           j["images"] = JsonValue::array({{{"bufferView", 2}, {"mimeType", "image/png"}}});
                       });
                   },
                   "unknown image format"},
        // A PNG header that asks for 100000 x 100000 pixels (40 GB decoded)
        // is refused before any decoder sees it.
        HostileRow{"GiganticImageHeader",
                   [] {
                       return triangle_with([](JsonValue& j, auto& bin) {
                           const std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A,
                                                             0, 0, 0, 13, 'I', 'H', 'D', 'R',
                                                             0, 0x01, 0x86, 0xA0, 0, 0x01, 0x86, 0xA0,
                                                             8, 6, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
                           bin.insert(bin.end(), png.begin(), png.end());
                           j["buffers"][0]["byteLength"] = bin.size();
                           j["bufferViews"].push_back({{"buffer", 0}, {"byteOffset", 44}, {"byteLength", 33}});
                           j["images"] = JsonValue::array({{{"bufferView", 2}, {"mimeType", "image/png"}}});
                       });
                   },
                   "more than"}),
    [](const testing::TestParamInfo<HostileRow>& info) { return std::string(info.param.label); });

// URIs inside an asset resolve in the resources folder and may not leave it,
// even when the file they name exists.
TEST(ModelUris, StayInsideTheResourcesFolder) {
    struct Row {
        const char* uri;
        bool parses;
    };
    const Row rows[] = {{"tri.bin", true},        {"./tri.bin", true}, {"sub/../tri.bin", true},
                        {"../secret.bin", false}, {"/etc/hostname", false}, {"sub/../../secret.bin", false}};
    TempDir project;
    project.dir().write("resources/tri.bin", triangle_bin());
    project.dir().write("secret.bin", triangle_bin());
    for (const Row& row : rows) {
        SCOPED_TRACE(row.uri);
        JsonValue j = triangle_json();
        j["buffers"][0]["uri"] = row.uri;
        const std::string text = j.dump();
        Model m;
        m.from_json({{"filename", "tri.gltf"},
                     {"buffer", base64_encode(reinterpret_cast<const uint8_t*>(text.data()), text.size())}},
                    project.dir());
        EXPECT_EQ(m.parsed, row.parses) << m.parse_error;
        if (!row.parses) {
            EXPECT_NE(m.parse_error.find("refused to read"), std::string::npos) << m.parse_error;
        }
    }
}

// ------------------------------------------------------------ model names

TEST(ModelNames, ExtensionChoosesTheParser) {
    struct Row {
        const char* filename;
        bool parses;
        const char* lint;  // expected warning part, "" = none
    };
    const Row rows[] = {
        {"box.glb", true, ""},
        {"box.GLB", true, ""},
        {"box.glbx", true, "only its first four characters count"},
        {"box.Glb", false, "is read as text glTF"},
        {"box", false, "no extension"},
        {"dir.glb/box", true, "first four characters"},  // the last "." decides, wherever it is
    };
    const std::vector<uint8_t> glb = read_fixture("Box.glb");
    TempDir project;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.filename);
        const JsonValue j = {{"filename", row.filename}, {"buffer", base64_encode(glb.data(), glb.size())}};
        Model m;
        m.from_json(j, project.dir());
        EXPECT_EQ(m.parsed, row.parses) << m.parse_error;
        EXPECT_TRUE(m.buffer.data == glb);  // the bytes are kept either way
        std::vector<std::string> warnings;
        lint_model_json(j, warnings);
        if (*row.lint == '\0') {
            EXPECT_TRUE(warnings.empty()) << warnings.front();
        } else {
            ASSERT_EQ(warnings.size(), 1u);
            EXPECT_NE(warnings[0].find(row.lint), std::string::npos) << warnings[0];
        }
    }
    Model unnamed;
    unnamed.from_json({{"filename", "box"}, {"buffer", base64_encode(glb.data(), glb.size())}}, project.dir());
    EXPECT_EQ(unnamed.parse_error, "Expected a file extension in name box");
}

TEST(ModelNames, PackageFormIgnoresTheName) {
    const std::vector<uint8_t> glb = read_fixture("Box.glb");
    Model m = model_from_record(model_record("ship.gltf", glb));
    ASSERT_TRUE(m.parsed) << m.parse_error;
    // Written again, a ".gltf" name becomes ".gltf.glb" over GLB bytes.
    Model again = model_from_record(binary_of(m));
    EXPECT_EQ(again.filename, "ship.gltf.glb");
    EXPECT_TRUE(again.parsed);
    // A ".glb" name is written back with the very same bytes.
    Model plain = model_from_record(model_record("ship.glb", glb));
    EXPECT_EQ(binary_of(plain), model_record("ship.glb", glb));
}

// A bare node or scene is valid glTF; converting to GLB must not turn it
// into something that no longer reads.
TEST(ModelNames, BareObjectsSurviveConversionToGlb) {
    JsonValue j = triangle_json();
    j["buffers"][0]["uri"] = "tri.bin";
    j["nodes"].push_back(JsonValue::object());
    j["scenes"].push_back(JsonValue::object());
    TempDir project;
    project.dir().write("resources/tri.bin", triangle_bin());
    const std::string text = j.dump();
    Model m;
    m.from_json({{"filename", "tri.gltf"},
                 {"buffer", base64_encode(reinterpret_cast<const uint8_t*>(text.data()), text.size())}},
                project.dir());
    ASSERT_TRUE(m.parsed) << m.parse_error;
    Model packed = model_from_record(binary_of(m));
    ASSERT_TRUE(packed.parsed) << packed.parse_error;
    EXPECT_EQ(packed.gltf.nodes.size(), 2u);
    EXPECT_EQ(packed.gltf.scenes.size(), 2u);
    expect_same_asset(m.gltf, packed.gltf);
}

TEST(ModelNames, TextGltfThatFailedIsNotPackedEmpty) {
    TempDir project;
    const std::string broken = R"({"asset": {"version": "2.0"}, "buffers": [{"uri": "missing.bin", "byteLength": 4}]})";
    const JsonValue j = {{"filename", "broken.gltf"},
                         {"buffer", base64_encode(reinterpret_cast<const uint8_t*>(broken.data()), broken.size())}};
    Model m;
    m.from_json(j, project.dir());
    ASSERT_FALSE(m.parsed);
    BinaryWriter w;
    EXPECT_THROW(m.write_binary(w), ContentError);
    // The JSON form keeps what was read, under the name it had.
    const JsonValue back = m.to_json(nullptr);
    EXPECT_EQ(json_text(json_member(back, "filename")), "broken.gltf");
    EXPECT_EQ(base64_decode(json_text(json_member(back, "buffer"))), m.buffer.data);
}

TEST(ModelNames, MissingFileIsAResourceError) {
    TempDir project;
    Model m;
    EXPECT_THROW(m.from_json({{"filename", "resources/none.glb"}}, project.dir()), ResourceFileError);
}

// ------------------------------------------------------------ camera

Camera sample_camera() {
    Camera c;
    c.position = {1.5f, -2.0f, 3.25f};
    c.direction = {0.0f, 0.5f, -1.0f};
    c.up = {0.0f, 0.0f, 1.0f};
    c.aspect = 1.7777778f;
    c.fov = 60.0f;
    c.znear = 0.1f;
    c.zfar = 500.0f;
    c.direction_mode = true;
    return c;
}

void expect_same_camera(const Camera& a, const Camera& b) {
    EXPECT_EQ(a.position, b.position);
    EXPECT_EQ(a.direction, b.direction);
    EXPECT_EQ(a.up, b.up);
    EXPECT_EQ(a.aspect, b.aspect);
    EXPECT_EQ(a.fov, b.fov);
    EXPECT_EQ(a.znear, b.znear);
    EXPECT_EQ(a.zfar, b.zfar);
    EXPECT_EQ(a.direction_mode, b.direction_mode);
}

TEST(CameraForms, RoundTripsAndDropsTheUnstoredFields) {
    Camera c = sample_camera();
    c.orthographic = true;
    c.ortho_half_size = 7.0f;
    const std::vector<uint8_t> bytes = binary_of(c);
    ASSERT_EQ(bytes.size(), Camera::binary_size);
    Camera b;
    BinaryReader in(bytes);
    b.read_binary(in);
    expect_same_camera(c, b);
    EXPECT_FALSE(b.orthographic);
    EXPECT_EQ(b.ortho_half_size, 100.0f);

    TempDir project;
    const JsonValue parsed = parse_json_text(dump_json_text(c.to_json(nullptr)), "camera");
    Camera j;
    j.from_json(parsed, project.dir());
    expect_same_camera(c, j);
    EXPECT_FALSE(j.orthographic);
}

TEST(CameraForms, LenientJsonAndItsLint) {
    TempDir project;
    const JsonValue j = JsonValue::parse(R"({"position": [1.0, 2.0], "direction": [0.0, 0.0, 0.0],
        "up": [0.0, 1.0, 0.0], "fov": 45, "zfar": 100.0, "direction_mode": 1})");
    Camera c;
    c.from_json(j, project.dir());
    EXPECT_EQ(c.position, glm::vec3(1.0f, 2.0f, 0.0f));
    EXPECT_EQ(c.aspect, 0.0f);  // missing
    EXPECT_EQ(c.fov, 0.0f);     // integral
    EXPECT_EQ(c.znear, 0.0f);
    EXPECT_EQ(c.zfar, 100.0f);
    EXPECT_FALSE(c.direction_mode);  // a number is not a boolean

    std::vector<std::string> warnings;
    lint_camera_json(j, warnings);
    auto warned = [&](const std::string& part) {
        for (const auto& w : warnings) {
            if (w.find(part) != std::string::npos) return true;
        }
        return false;
    };
    EXPECT_TRUE(warned("\"position\" is not three floating numbers"));
    EXPECT_TRUE(warned("\"aspect\" is missing"));
    EXPECT_TRUE(warned("\"znear\" is missing"));
    EXPECT_TRUE(warned("write 45.0"));
    EXPECT_TRUE(warned("\"direction_mode\""));
    EXPECT_EQ(warnings.size(), 5u);

    warnings.clear();
    lint_camera_json(sample_camera().to_json(nullptr), warnings);
    EXPECT_TRUE(warnings.empty());
}

void expect_near(const glm::mat4& a, const glm::mat4& b) {
    for (int c = 0; c < 4; ++c) {
        for (int r = 0; r < 4; ++r) EXPECT_NEAR(a[c][r], b[c][r], 1e-5f) << "column " << c << " row " << r;
    }
}

TEST(CameraMatrices, ViewLooksAtTheTarget) {
    struct Row {
        const char* label;
        glm::vec3 direction;
        bool direction_mode;
    };
    // Every row looks from (0, 0, 5) toward the origin.
    const Row rows[] = {{"target point", {0, 0, 0}, false},
                        {"unit direction", {0, 0, -1}, true},
                        {"long direction", {0, 0, -3}, true}};
    const glm::mat4 expected = glm::lookAt(glm::vec3(0, 0, 5), glm::vec3(0, 0, 0), glm::vec3(0, 1, 0));
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        Camera c;
        c.position = {0, 0, 5};
        c.direction = row.direction;
        c.direction_mode = row.direction_mode;
        expect_near(c.view_matrix(), expected);
        const glm::vec4 origin = c.view_matrix() * glm::vec4(0, 0, 0, 1);
        EXPECT_NEAR(origin.z, -5.0f, 1e-5f);
    }
}

TEST(CameraMatrices, Projections) {
    Camera c;
    c.aspect = 1.5f;
    c.fov = 45.0f;
    c.znear = 1.0f;
    c.zfar = 1000.0f;
    expect_near(c.projection_matrix(), glm::perspective(glm::radians(45.0f), 1.5f, 1.0f, 1000.0f));
    c.orthographic = true;
    c.ortho_half_size = 50.0f;
    c.znear = 0.01f;
    expect_near(c.projection_matrix(), glm::ortho(-50.0f, 50.0f, -50.0f, 50.0f, 0.01f, 1000.0f));
    // An aspect of 0 (a JSON camera without "aspect") must not abort.
    Camera degenerate;
    degenerate.aspect = 0.0f;
    EXPECT_FALSE(std::isfinite(degenerate.projection_matrix()[0][0]));
}

// ------------------------------------------------------------ scene

TEST(SceneForms, BinaryLayout) {
    Scene bare;
    bare.name = "stage";
    BinaryWriter name_only;
    name_only.write_packed_string("stage");
    EXPECT_EQ(binary_of(bare).size(), name_only.bytes().size() + 8 + 8 + 8 + 1);

    Scene full;
    full.name = "stage";
    full.camera = std::make_unique<Camera>();
    full.root_node = std::make_unique<Node>();
    BinaryWriter node_name;
    node_name.write_packed_string("");
    EXPECT_EQ(binary_of(full).size(),
              name_only.bytes().size() + 8 + Camera::binary_size + 8 + node_name.bytes().size() + 8 + 8 + 1);
}

struct WiringRow {
    const char* label;
    ResourceId model_id, camera_scene_id;
    bool model_linked, scene_linked;
};

class SceneWiring : public testing::TestWithParam<WiringRow> {};

// Identities resolve to records of the right class only; anything else is a
// null link.
TEST_P(SceneWiring, ResolvesIdentities) {
    const WiringRow& row = GetParam();
    Model model;
    Scene other;
    IdentityMap ids;
    ids.add(11, &model);
    ids.add(22, &other);

    BinaryWriter w;
    w.write_packed_string("s");
    w.write_u64(0);  // no camera
    w.write_u64(1);  // a node follows
    w.write_packed_string("root");
    w.write_u64(row.model_id);
    w.write_u64(row.camera_scene_id);
    w.write_bool(true);
    Scene s;
    BinaryReader in(w.bytes());
    s.read_binary(in);
    EXPECT_EQ(in.remaining(), 0u);
    s.wire(ids);
    ASSERT_TRUE(s.root_node);
    EXPECT_EQ(s.root_node->name, "root");
    EXPECT_EQ(s.root_node->model, row.model_linked ? &model : nullptr);
    EXPECT_EQ(s.camera_scene, row.scene_linked ? &other : nullptr);
    EXPECT_TRUE(s.camera_scene_only_direction);
    EXPECT_FALSE(s.camera);
}

INSTANTIATE_TEST_SUITE_P(Ids, SceneWiring,
                         testing::Values(WiringRow{"Known", 11, 22, true, true},
                                         WiringRow{"Zero", 0, 0, false, false},
                                         WiringRow{"Unknown", 99, 98, false, false},
                                         WiringRow{"WrongClass", 22, 11, false, false}),
                         [](const testing::TestParamInfo<WiringRow>& info) {
                             return std::string(info.param.label);
                         });

TEST(SceneForms, RoundTripsInBothFormsAndRewires) {
    TempDir project;
    const std::vector<uint8_t> text = read_fixture("SimpleSkin.gltf");
    Model model;
    model.from_json({{"filename", "skin.gltf"}, {"buffer", base64_encode(text.data(), text.size())}},
                    project.dir());
    ASSERT_TRUE(model.parsed) << model.parse_error;

    Scene other;
    other.name = "other";
    Scene s;
    s.name = "main";
    s.camera = std::make_unique<Camera>(sample_camera());
    s.root_node = std::make_unique<Node>();
    s.root_node->name = "root";
    s.root_node->model = &model;
    s.camera_scene = &other;
    s.camera_scene_only_direction = true;

    // Package form: references travel as identities.
    BinaryWriter w;
    w.assign_id(&model, 5);
    w.assign_id(&other, 6);
    s.write_binary(w);
    IdentityMap ids;
    ids.add(5, &model);
    ids.add(6, &other);
    Scene b;
    BinaryReader in(w.bytes());
    b.read_binary(in);
    b.wire(ids);
    EXPECT_EQ(b.name, "main");
    ASSERT_TRUE(b.camera);
    expect_same_camera(*s.camera, *b.camera);
    EXPECT_EQ(b.root_node->model, &model);
    EXPECT_EQ(b.camera_scene, &other);
    EXPECT_TRUE(b.camera_scene_only_direction);

    // Project form: references travel as names; the node names the model by
    // the name the model itself is written under.
    const JsonValue j = parse_json_text(dump_json_text(s.to_json(nullptr)), "scene");
    EXPECT_EQ(json_text(json_member(json_member(j, "root_node"), "model")), "skin.gltf.glb");
    EXPECT_EQ(json_text(json_member(j, "camera_scene")), "other");
    NameTables names;
    names.models[model.stored_filename()] = &model;
    names.scenes["other"] = &other;
    Scene r;
    r.from_json(j, project.dir());
    EXPECT_EQ(r.root_node->model, nullptr);  // until wired
    r.wire_names(j, names);
    EXPECT_EQ(r.root_node->model, &model);
    EXPECT_EQ(r.camera_scene, &other);
    expect_same_camera(*s.camera, *r.camera);
    std::vector<std::string> warnings;
    lint_scene_json(j, warnings);
    EXPECT_TRUE(warnings.empty()) << warnings.front();

    // Unknown names give null links; absent keys leave the scene bare.
    JsonValue dangling = j;
    dangling["camera_scene"] = "nobody";
    dangling["root_node"]["model"] = "none.glb";
    Scene d;
    d.from_json(dangling, project.dir());
    d.wire_names(dangling, names);
    EXPECT_EQ(d.camera_scene, nullptr);
    EXPECT_EQ(d.root_node->model, nullptr);
    Scene e;
    e.from_json({{"name", "empty"}}, project.dir());
    e.wire_names({{"name", "empty"}}, names);
    EXPECT_FALSE(e.camera || e.root_node || e.camera_scene);
    SceneViews views;
    EXPECT_TRUE(views.of(e).light.orthographic);
    EXPECT_EQ(views.of(e).light.fov, 90.0f);
}

TEST(SceneCameras, ActiveCameraRules) {
    struct Row {
        const char* label;
        bool shadow_pass, borrow, only_direction;
        const char* expected;  // "light", "own", "other"
        glm::vec3 own_direction;  // after the call
    };
    const glm::vec3 own_dir{0, 0, -1};
    const glm::vec3 b_view = glm::vec3(10, 0, 0) - glm::vec3(0, 0, 10);  // B looks at a point
    const Row rows[] = {
        {"shadow pass wins", true, true, false, "light", own_dir},
        {"own camera", false, false, false, "own", own_dir},
        {"borrowed camera", false, true, false, "other", own_dir},
        {"borrowed direction", false, true, true, "own", b_view},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        Scene c;  // B's own borrowing must not be followed
        c.camera = std::make_unique<Camera>();
        Scene b;
        b.camera = std::make_unique<Camera>();
        b.camera->position = {0, 0, 10};
        b.camera->direction = {10, 0, 0};
        b.camera_scene = &c;
        Scene a;
        a.camera = std::make_unique<Camera>();
        a.camera->position = {7, 7, 7};
        a.camera->direction = own_dir;
        a.camera->direction_mode = true;
        a.camera_scene = row.borrow ? &b : nullptr;
        a.camera_scene_only_direction = row.only_direction;

        SceneViews views;
        const Camera* active = views.active_camera(a, row.shadow_pass);
        const std::string expected = row.expected;
        EXPECT_EQ(active, expected == "light" ? &views.of(a).light
                          : expected == "own" ? &*views.of(a).camera
                                              : &*views.of(b).camera);
        EXPECT_EQ(views.of(a).camera->direction, row.own_direction);
        EXPECT_EQ(views.of(a).camera->position, glm::vec3(7, 7, 7));
        EXPECT_EQ(a.camera->direction, own_dir);  // the stored camera stays as written
    }
    SceneViews views;
    Scene none;
    EXPECT_EQ(views.active_camera(none, false), nullptr);
    Scene borrower;
    borrower.camera_scene = &none;
    borrower.camera_scene_only_direction = true;
    EXPECT_EQ(views.active_camera(borrower, false), nullptr);
}

TEST(SceneCameras, LightPlacement) {
    Scene s;
    s.camera = std::make_unique<Camera>();
    s.camera->position = {1, 2, 3};
    SceneViews views;
    SceneView& view = views.of(s);
    const glm::vec3 before = view.light.position;

    LightPlacement keys;
    keys.x = 0.5f;
    place_light(view, keys);
    const Camera& light = view.light;
    EXPECT_FLOAT_EQ(light.position.x, 26.0f);
    EXPECT_FLOAT_EQ(light.direction.x, 1.0f);
    EXPECT_EQ(light.position.y, before.y);
    EXPECT_EQ(light.position.z, before.z);
    EXPECT_EQ(light.ortho_half_size, 50.0f);
    EXPECT_FLOAT_EQ(light.znear, 0.01f);
    EXPECT_FALSE(light.direction_mode);

    keys = {10.0f, 0.0f, 1.0f, 0.0f};
    place_light(view, keys);
    EXPECT_EQ(light.position, glm::vec3(1, 12, 3));
    EXPECT_EQ(light.direction, glm::vec3(1, 2, 3));
    EXPECT_EQ(light.ortho_half_size, 10.0f);
}

// Wherever the light stands, its view is finite and looks at its target.
TEST(SceneCameras, LightViewLooksAtItsTargetFromAnyDirection) {
    for (const glm::vec3 d : {glm::vec3(0, 1, 0), {0, -1, 0}, {0, 0.7f, 0}, {0.6f, 0.8f, 0}, {0, 0, 1}}) {
        SceneView view;
        place_light(view, {10.0f, d.x, d.y, d.z});
        const glm::vec4 target = view.light.view_matrix() * glm::vec4(0, 0, 0, 1);
        EXPECT_TRUE(glm::all(glm::epsilonEqual(target, glm::vec4(0, 0, -10 * glm::length(d), 1), 1e-3f))) << d.y;
    }
}

TEST(SceneLint, WarnsAboutSurprisingReads) {
    struct Row {
        const char* label;
        const char* json;
        const char* warning;
    };
    const Row rows[] = {
        {"flag as number", R"({"name": "s", "camera_scene_only_direction": 1})", "\"camera_scene_only_direction\""},
        {"borrows itself", R"({"name": "s", "camera_scene": "s"})", "names the scene itself"},
        {"camera not an object", R"({"name": "s", "camera": 3})", "\"camera\" is not an object"},
        {"nested camera", R"({"name": "s", "camera": {"position": [0.0, 0.0, 0.0], "direction": [0.0, 0.0, 0.0],
            "up": [0.0, 1.0, 0.0], "aspect": 1.0, "fov": 45, "znear": 1.0, "zfar": 10.0}})",
         "scene \"s\" camera: \"fov\""},
        {"node model not a text", R"({"name": "s", "root_node": {"name": "n", "model": 4}})",
         "scene \"s\" node \"n\": \"model\""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        std::vector<std::string> warnings;
        lint_scene_json(JsonValue::parse(row.json), warnings);
        ASSERT_EQ(warnings.size(), 1u);
        EXPECT_NE(warnings[0].find(row.warning), std::string::npos) << warnings[0];
    }
}

}  // namespace
}  // namespace qh
