#include "support/sample_demo.h"

#include <fstream>
#include <iterator>
#include <stdexcept>

#include "document/demo_io.h"
#include "document/demo_tables.h"
#include "package/binary_stream.h"
#include "package/project_dir.h"
#include "support/gltf_builder.h"
#include "support/png.h"
#include "support/tree_paths.h"
#include "support/wav.h"

namespace qh::test {

std::vector<uint8_t> bytes_of(const std::string& s) { return {s.begin(), s.end()}; }

std::vector<uint8_t> gltf_fixture(const std::string& name) {
    const std::string path = (fixtures_dir() / "gltf" / name).string();
    std::ifstream in(path, std::ios::binary);
    // A missing file would read as no bytes and pass for a broken model.
    if (!in) throw std::runtime_error("test fixture missing: " + path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<uint8_t> fixture_image(const std::string& glb_name) {
    Model sample;
    const std::vector<uint8_t> record = model_record(glb_name, gltf_fixture(glb_name));
    BinaryReader in(record);
    sample.read_binary(in);
    return sample.gltf.images.at(0).image;
}

namespace {

std::vector<uint8_t> source_file(const std::string& path) {
    std::ifstream in(source_dir() / path, std::ios::binary);
    if (!in) throw std::runtime_error("test data missing: " + path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A scene seen through `camera` whose root node, "root", holds `model`.
std::unique_ptr<Scene> one_model_scene(const std::string& name, const Camera& camera, Model* model) {
    auto scene = std::make_unique<Scene>();
    scene->name = name;
    scene->camera = std::make_unique<Camera>(camera);
    scene->root_node = std::make_unique<Node>();
    scene->root_node->name = "root";
    scene->root_node->model = model;
    return scene;
}

}  // namespace

std::vector<uint8_t> test_font_bytes() { return source_file("tests/data/fonts/DejaVuSans.ttf"); }

std::vector<uint8_t> test_sound_bytes(const std::string& name) { return source_file("tests/data/sound/" + name); }

// One record of every class, each reference kind used at least once.
std::unique_ptr<Demo> make_full_demo() {
    auto d = std::make_unique<Demo>();
    auto tex = std::make_unique<Texture>();
    tex->name = "resources/logo.png";
    tex->image_buffer = ByteBuffer(bytes_of("not really a png"));

    auto prog = std::make_unique<ShaderProgram>();
    prog->fragment_shader_filename = "resources/main.frag";
    prog->fragment_shader_source = "uniform float speed;\nvoid main() {}\n";
    UniformDef speed;
    speed.name = "speed";
    speed.default_val = 0.5f;
    prog->uniform_defs.push_back(speed);

    auto font = std::make_unique<Font>();
    font->name = "sans";
    font->filename = "resources/sans.ttf";
    font->font_buffer = ByteBuffer(bytes_of("font bytes"));
    font->ptsize = 32;

    auto ftex = std::make_unique<FontTexture>();
    ftex->name = "title";
    ftex->width = 256;
    ftex->height = 64;
    ftex->font = font.get();

    auto data = std::make_unique<Data>();
    data->name = "resources/blob.bin";
    data->buffer = ByteBuffer(bytes_of(std::string("\0\1\2binary\xff", 10)));

    auto model = std::make_unique<Model>();
    model->from_json({{"filename", "resources/Box.glb"},
                      {"buffer", base64_encode(gltf_fixture("Box.glb").data(), gltf_fixture("Box.glb").size())}},
                     ProjectDir("."));

    auto scene = one_model_scene("boxes", Camera(), model.get());

    auto input = std::make_unique<Effect>();
    input->name = "input";
    input->program = prog.get();
    auto main = std::make_unique<Effect>();
    main->name = "main";
    main->program = prog.get();
    main->textures = {tex.get()};
    main->effects = {input.get()};
    main->font_textures = {ftex.get()};
    main->scene = scene.get();
    main->feedback = true;

    auto sample = std::make_unique<AudioSample>();
    sample->name = "resources/hit.wav";
    sample->audio_buffer = ByteBuffer(bytes_of("RIFF...."));

    auto ev_effect = std::make_unique<Event>();
    ev_effect->name = "Intro";
    ev_effect->type = Event::type_effect;
    ev_effect->effect = main.get();
    ev_effect->start_beat = 0;
    ev_effect->end_beat = 16;
    ev_effect->curves["speed"].control_points = {{0, 0}, {16, 1}};
    auto ev_sample = std::make_unique<Event>();
    ev_sample->name = "Hit";
    ev_sample->type = Event::type_audio_sample;
    ev_sample->audio_sample = sample.get();
    ev_sample->start_beat = 4;
    ev_sample->end_beat = 5;
    auto group = std::make_unique<EventGroup>();
    group->name = "chorus";
    group->events = {ev_effect.get(), ev_sample.get()};
    auto ev_group = std::make_unique<Event>();
    ev_group->name = "Chorus";
    ev_group->type = Event::type_group;
    ev_group->group = group.get();
    ev_group->start_beat = 32;
    ev_group->end_beat = 48;

    d->events.push_back(std::move(ev_effect));
    d->events.push_back(std::move(ev_sample));
    d->events.push_back(std::move(ev_group));
    d->effects.push_back(std::move(input));
    d->effects.push_back(std::move(main));
    d->shaders.push_back(std::move(prog));
    d->textures.push_back(std::move(tex));
    d->audio_samples.push_back(std::move(sample));
    d->event_groups.push_back(std::move(group));
    d->fonts.push_back(std::move(font));
    d->font_textures.push_back(std::move(ftex));
    d->datas.push_back(std::move(data));
    d->models.push_back(std::move(model));
    d->scenes.push_back(std::move(scene));
    d->music = ByteBuffer(bytes_of("ID3 music bytes"));
    d->end_beat = 64;
    d->bpm = 140;
    d->beat_offset = 0.25f;
    return d;
}

std::vector<uint8_t> sweep_payload(float end_beat) {
    std::unique_ptr<Demo> demo = make_full_demo();
    demo->end_beat = end_beat;
    demo->textures.at(0)->image_buffer = ByteBuffer(solid_png(16, 16, 200, 120, 40));
    const std::vector<int16_t> click = {0, 0, 12000, -12000, 6000, -6000, 0, 0};
    demo->audio_samples.at(0)->audio_buffer = ByteBuffer(wav_file(click, 2));
    auto ogg = std::make_unique<AudioSample>();
    ogg->name = "resources/tone.ogg";
    ogg->audio_buffer = ByteBuffer(test_sound_bytes("tone.ogg"));
    demo->audio_samples.push_back(std::move(ogg));
    demo->fonts.at(0)->font_buffer = ByteBuffer(test_font_bytes());
    demo->events.at(0)->curves["title"].control_points = {{0, 0, "Sweep"}};
    demo->music = ByteBuffer(test_sound_bytes("tone.ogg"));
    return write_demo_payload(*demo);
}

Effect& add_effect_event(Demo& demo, const std::string& name, const std::string& fragment, float start,
                         float end) {
    auto program = std::make_unique<ShaderProgram>();
    program->fragment_shader_filename = "resources/" + name + ".frag";
    program->fragment_shader_source = fragment;
    auto effect = std::make_unique<Effect>();
    effect->name = name;
    effect->program = program.get();
    auto event = std::make_unique<Event>();
    event->name = name;
    event->type = Event::type_effect;
    event->effect = effect.get();
    event->start_beat = start;
    event->end_beat = end;
    Effect& added = *effect;
    demo.shaders.push_back(std::move(program));
    demo.effects.push_back(std::move(effect));
    demo.events.push_back(std::move(event));
    return added;
}

MemberAndPlayer member_and_player(float player_end) {
    MemberAndPlayer m;
    m.member.name = "Intro";
    m.member.start_beat = 16;
    m.member.end_beat = 30;
    m.player.name = "Player";
    m.player.type = Event::type_group;
    m.player.start_beat = 100;
    m.player.end_beat = player_end;
    return m;
}

std::unique_ptr<Demo> one_scene_demo(const std::string& vertex, const std::string& fragment,
                                     const std::string& model_file, std::vector<uint8_t> model_bytes,
                                     const Camera& camera, CurveMap curves, float end_beat) {
    auto d = std::make_unique<Demo>();
    d->bpm = 60;
    d->beat_offset = 0;
    d->end_beat = end_beat;
    auto model = std::make_unique<Model>();
    model->filename = "resources/" + model_file;
    model->buffer = ByteBuffer(std::move(model_bytes));
    Effect& effect = add_effect_event(*d, "stage", fragment, 0, end_beat);
    effect.program->vertex_shader_filename = "resources/stage.vert";
    effect.program->vertex_shader_source = vertex;
    effect.scene = d->scenes.emplace_back(one_model_scene("stage", camera, model.get())).get();
    d->events.back()->curves = std::move(curves);
    d->models.push_back(std::move(model));
    return d;
}

}  // namespace qh::test
