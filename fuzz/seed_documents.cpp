// Writes the seed inputs of fuzz_package_reader and fuzz_project_reader:
//   qh_fuzz_seed_documents fuzz/corpus/package fuzz/corpus/project
// Every seed is a document built with the library and written by the real
// writers: the payload into the first directory, the project text (all
// payloads embedded, as the fuzzer reads against an empty directory) into the
// second. A few inputs are laid out by hand, for the paths the writers never
// produce (lenient and external-file projects, a model package under a text
// glTF name).
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "package/binary_stream.h"
#include "document/demo_io.h"
#include "document/demo_tables.h"
#include "package/project_dir.h"
#include "support/sample_demo.h"

namespace {

using qh::Demo;

void write_file(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        std::exit(1);
    }
}

void write_text(const std::string& path, const std::string& text) {
    write_file(path, std::vector<uint8_t>(text.begin(), text.end()));
}

struct Dirs {
    std::string package, project;
};

void write_seeds(const Dirs& dirs, const std::string& name, const Demo& demo) {
    write_file(dirs.package + "/" + name, qh::write_demo_payload(demo));
    write_text(dirs.project + "/" + name + ".json", qh::dump_json_text(demo.to_json(nullptr)));
}

std::vector<uint8_t> fixture_file(const std::string& name) {
    std::vector<uint8_t> bytes = qh::test::gltf_fixture(name);
    if (bytes.empty()) {
        std::fprintf(stderr, "missing glTF fixture %s\n", name.c_str());
        std::exit(1);
    }
    return bytes;
}

qh::ControlPointCurve curve(int32_t mode, bool repeat, std::vector<qh::ControlPoint> points) {
    qh::ControlPointCurve c;
    c.mode = mode;
    c.repeat = repeat;
    c.control_points = std::move(points);
    return c;
}

// The corners the full sample leaves out: null references inside lists, an
// event of unknown type, every curve mode with text points, nested groups, a
// blank texture, a text texture with no font, a scene that borrows another's
// camera, an empty blob and no music.
std::unique_ptr<Demo> make_variants_demo() {
    auto d = std::make_unique<Demo>();

    auto prog = std::make_unique<qh::ShaderProgram>();
    prog->fragment_shader_filename = "resources/common.frag";
    prog->fragment_shader_source = "float wave(float x) { return sin(x); }\n";
    auto user = std::make_unique<qh::ShaderProgram>();
    user->fragment_shader_filename = "resources/user.frag";
    user->fragment_shader_source =
        "#include \"resources/common.frag\"\nuniform float gain;\nuniform float hue;\n"
        "void main() { gl_FragColor = vec4(wave(gain)); }\n";
    for (const char* n : {"gain", "hue", "offset"}) {
        qh::UniformDef def;
        def.name = n;
        def.min_val = -1.0f;
        def.max_val = 2.0f;
        def.default_val = 0.25f;
        user->uniform_defs.push_back(def);
    }

    auto blank = std::make_unique<qh::Texture>(4, 4);
    blank->name = "blank";
    auto image = std::make_unique<qh::Texture>("resources/a.png", std::vector<uint8_t>{1, 2, 3});

    auto ftex = std::make_unique<qh::FontTexture>();
    ftex->name = "credits";
    ftex->width = 128;
    ftex->height = 32;
    ftex->center = true;
    ftex->chars_per_beat = 3;

    auto lonely = std::make_unique<qh::Effect>();
    lonely->name = "no program";
    lonely->screen_texture = true;
    auto fx = std::make_unique<qh::Effect>();
    fx->name = "holes";
    fx->program = user.get();
    fx->textures = {nullptr, blank.get(), image.get()};
    fx->effects = {lonely.get(), nullptr};
    fx->font_textures = {nullptr, ftex.get()};

    auto sample = std::make_unique<qh::AudioSample>();
    sample->name = "resources/empty.wav";

    auto a = std::make_unique<qh::Event>();
    a->name = "curves";
    a->effect = fx.get();
    a->start_beat = 1.5f;
    a->end_beat = 9.25f;
    a->visible = false;
    a->curves["gain"] = curve(qh::ControlPointCurve::mode_smooth, true,
                              {{0, 0}, {0.04f, 1}, {2, -1}, {4, 3}});
    a->curves["hue"] = curve(qh::ControlPointCurve::mode_last_value, false, {{0, 5}});
    a->curves["text"] = curve(qh::ControlPointCurve::mode_linear, false,
                              {{0, 0, "Beat {beat}"}, {2, 0, "Done"}});
    a->curves["odd mode"] = curve(7, false, {});
    auto unknown = std::make_unique<qh::Event>();
    unknown->type = 9;
    unknown->name = "unknown type";
    unknown->curves["x"] = curve(qh::ControlPointCurve::mode_linear, false, {{1, 2}});
    auto no_target = std::make_unique<qh::Event>();
    no_target->name = "no target";
    no_target->start_beat = 2;
    no_target->end_beat = 3;
    auto hit = std::make_unique<qh::Event>();
    hit->type = qh::Event::type_audio_sample;
    hit->name = "hit";
    hit->audio_sample = sample.get();
    hit->start_beat = 8;
    hit->end_beat = 9;

    auto inner = std::make_unique<qh::EventGroup>();
    inner->name = "inner";
    inner->events = {a.get(), nullptr, hit.get()};
    auto play_inner = std::make_unique<qh::Event>();
    play_inner->type = qh::Event::type_group;
    play_inner->name = "play inner";
    play_inner->group = inner.get();
    play_inner->start_beat = 16;
    play_inner->end_beat = 32;
    auto outer = std::make_unique<qh::EventGroup>();
    outer->name = "outer";
    outer->events = {play_inner.get(), no_target.get()};
    auto play_outer = std::make_unique<qh::Event>();
    play_outer->type = qh::Event::type_group;
    play_outer->name = "play outer";
    play_outer->group = outer.get();
    play_outer->start_beat = 40;
    play_outer->end_beat = 80;

    auto main_scene = std::make_unique<qh::Scene>();
    main_scene->name = "main";
    main_scene->camera = std::make_unique<qh::Camera>();
    main_scene->camera->direction_mode = true;
    main_scene->camera->direction = {0, 0, -1};
    main_scene->root_node = std::make_unique<qh::Node>();
    main_scene->root_node->name = "empty root";
    auto follower = std::make_unique<qh::Scene>();
    follower->name = "follower";
    follower->camera_scene = main_scene.get();
    follower->camera_scene_only_direction = true;

    auto blob = std::make_unique<qh::Data>();
    blob->name = "resources/empty.bin";

    d->events.push_back(std::move(a));
    d->events.push_back(std::move(unknown));
    d->events.push_back(std::move(no_target));
    d->events.push_back(std::move(hit));
    d->events.push_back(std::move(play_inner));
    d->events.push_back(std::move(play_outer));
    d->effects.push_back(std::move(lonely));
    d->effects.push_back(std::move(fx));
    d->shaders.push_back(std::move(prog));
    d->shaders.push_back(std::move(user));
    d->textures.push_back(std::move(blank));
    d->textures.push_back(std::move(image));
    d->audio_samples.push_back(std::move(sample));
    d->event_groups.push_back(std::move(inner));
    d->event_groups.push_back(std::move(outer));
    d->font_textures.push_back(std::move(ftex));
    d->datas.push_back(std::move(blob));
    d->scenes.push_back(std::move(main_scene));
    d->scenes.push_back(std::move(follower));
    d->end_beat = 96;
    d->bpm = 174;
    d->beat_offset = 0;
    return d;
}

// One model read as the project reader does (so it is parsed) and a scene
// whose root node draws it.
std::unique_ptr<Demo> make_model_demo(const std::string& file) {
    auto d = std::make_unique<Demo>();
    const std::vector<uint8_t> bytes = fixture_file(file);
    auto model = std::make_unique<qh::Model>();
    model->from_json({{"filename", "resources/" + file},
                      {"buffer", qh::base64_encode(bytes.data(), bytes.size())}},
                     qh::ProjectDir("."));
    if (!model->parsed) {
        std::fprintf(stderr, "fixture %s did not parse: %s\n", file.c_str(),
                     model->parse_error.c_str());
        std::exit(1);
    }
    auto scene = std::make_unique<qh::Scene>();
    scene->name = "scene";
    scene->camera = std::make_unique<qh::Camera>();
    scene->root_node = std::make_unique<qh::Node>();
    scene->root_node->name = "root";
    scene->root_node->model = model.get();
    d->models.push_back(std::move(model));
    d->scenes.push_back(std::move(scene));
    return d;
}

// A payload the writer never makes: a model under a text glTF name holding
// GLB bytes, which the reader parses as GLB and the writer renames to
// NAME.glb. Laid out by hand, in the document's table order.
std::vector<uint8_t> model_named_gltf_payload(const std::vector<uint8_t>& glb) {
    qh::BinaryWriter out;
    out.write_u64(1);  // resource_count
    for (const char* key : {"events", "effects", "shaders", "textures", "audio_samples",
                            "event_groups", "fonts", "font_textures", "datas", "models",
                            "scenes"}) {
        if (std::string(key) != "models") {
            out.write_u64(0);
            continue;
        }
        out.write_u64(1);
        out.write_u64(1);  // identity
        out.write_packed_string("resources/Box.gltf");
        out.write_scrambled_bytes(glb.data(), glb.size());
    }
    out.write_scrambled_bytes(nullptr, 0);  // no music
    out.write_f32(32.0f);
    out.write_f32(120.0f);
    out.write_f32(0.0f);
    return out.take_bytes();
}

// Written by hand: integral numbers where floating ones are read, a boolean
// "visible", missing keys, a name list holding a non-text, and an event that
// names records that do not exist.
const char* const lenient_project = R"({
  "events": [
    {"type": 1, "name": "ints", "visible": true, "effect": "fx", "start_beat": 0, "end_beat": 8,
     "control_points": {"gain": {"control_points": [{"beat": 0, "value": 1}, {"beat": 2.5}]}}},
    {"type": 2, "name": "missing sample", "audio_sample": "nothing", "beat": 4.0},
    {"type": 3, "name": "missing group", "group": 5, "start_beat": 1.0, "end_beat": 2.0},
    {"name": "default type", "visible": "false"}
  ],
  "effects": [{"name": "fx", "textures": ["", 3], "effects": "fx", "program": "p.frag",
               "feedback": 1, "screen_texture": true, "scene": "none"}],
  "shaders": [{"fragment_shader_filename": "p.frag", "fragment_shader_source": "void main() {}",
               "uniform_defs": [{"name": "gain", "min_val": 0, "default_val": 0.5}, 7]}],
  "event_groups": [{"name": "g", "events": ["ints", null, "nobody"]}],
  "font_textures": [{"name": "t", "width": 64.0, "height": 16, "font": 1}],
  "datas": [{"name": "d", "data_buffer": "AAEC"}],
  "scenes": [{"name": "s", "camera": {"position": [1, 2.0], "fov": 60.0}, "root_node": {"name": "n",
              "model": "m.glb"}, "camera_scene": "s"}],
  "music": "SUQz",
  "end_beat": 64,
  "bpm": 120.0,
  "beat_offset": 0.125
}
)";

// Names files beside the project; the fuzzer's directory is empty, so these
// exercise the missing-file errors (and the shader's quiet fallback).
const char* const external_project = R"({
  "shaders": [{"vertex_shader_filename": "resources/v.vert",
               "fragment_shader_filename": "resources/f.frag"}],
  "textures": [{"name": "resources/logo.png"}],
  "fonts": [{"name": "sans", "filename": "resources/sans.ttf", "ptsize": 24}],
  "audio_samples": [{"name": "resources/hit.wav"}],
  "datas": [{"name": "resources/blob.bin"}],
  "models": [{"filename": "resources/Box.glb"}],
  "end_beat": 16.0, "bpm": 130.0, "beat_offset": 0.0
}
)";

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s PACKAGE_DIR PROJECT_DIR\n", argv[0]);
        return 2;
    }
    const Dirs dirs{argv[1], argv[2]};

    write_seeds(dirs, "empty", Demo());
    write_seeds(dirs, "full", *qh::test::make_full_demo());
    write_seeds(dirs, "variants", *make_variants_demo());
    for (const char* file : {"BoxTextured.glb", "BoxAnimated.glb", "RiggedSimple.glb",
                             "SimpleSkin.gltf"}) {
        const std::string stem = std::string(file).substr(0, std::string(file).rfind('.'));
        write_seeds(dirs, "model_" + stem, *make_model_demo(file));
    }

    // A text glTF model as authored: the project reader parses the text, the
    // writers turn it into GLB.
    {
        const std::vector<uint8_t> text = fixture_file("SimpleSkin.gltf");
        qh::JsonValue project = make_model_demo("SimpleSkin.gltf")->to_json(nullptr);
        project["models"] = qh::JsonValue::array(
            {{{"filename", "resources/SimpleSkin.gltf"},
              {"buffer", qh::base64_encode(text.data(), text.size())}}});
        project["scenes"][0]["root_node"]["model"] = "resources/SimpleSkin.gltf";
        write_text(dirs.project + "/model_text_gltf.json", qh::dump_json_text(project));
    }
    write_file(dirs.package + "/model_named_gltf", model_named_gltf_payload(fixture_file("Box.glb")));
    write_text(dirs.project + "/lenient.json", lenient_project);
    write_text(dirs.project + "/external_files.json", external_project);
    return 0;
}
