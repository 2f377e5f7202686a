#pragma once
// A document with one record of every class, each kind of reference used at
// least once, shared by the tests of every tier.
#include <memory>
#include <string>
#include <vector>

#include "document/demo.h"
#include "scene3d/camera.h"
#include "timeline/event.h"

namespace qh::test {

std::vector<uint8_t> bytes_of(const std::string& s);
// A file under tests/data/gltf; throws if it is not there.
std::vector<uint8_t> gltf_fixture(const std::string& name);
// The encoded bytes of image 0 of a sample model under tests/data/gltf, as
// the package's parse keeps them.
std::vector<uint8_t> fixture_image(const std::string& glb_name);
// The bytes of the repository's test font (tests/data/fonts/DejaVuSans.ttf).
std::vector<uint8_t> test_font_bytes();

// 14 records: events "Intro" (effect "main"), "Hit" (sample), "Chorus" (group
// "chorus" of the first two); effects "input" and "main" (texture, input,
// font texture, scene, feedback); one shader, texture, sample, font, font
// texture, data blob, model (Box.glb) and scene; music bytes; 140 bpm.
std::unique_ptr<Demo> make_full_demo();

// The bytes of a file under tests/data/sound.
std::vector<uint8_t> test_sound_bytes(const std::string& name);

// The sample document with real resources for its stand-in bytes, ending at
// `end_beat`, packed: what the damaged-package sweeps play, so that damage
// reaches the image, sound, font and model decoders. A PNG texture, a WAVE
// and an Ogg Vorbis sample, Ogg Vorbis music, the test font with a text to
// draw, and the Box model in its scene.
std::vector<uint8_t> sweep_payload(float end_beat = 64);

// Appends a program whose fragment shader is `fragment` (its file
// "resources/NAME.frag", the default vertex shader), an effect drawing with
// it and an effect event over [start, end), all named `name`; the effect.
Effect& add_effect_event(Demo& demo, const std::string& name, const std::string& fragment, float start,
                         float end);

// Event "Intro" over beats 16..30, a member of a group, and "Player", the
// group's event over 100..`player_end`; neither has curves. Intro's beat b is
// Player's beat 84 + b.
struct MemberAndPlayer {
    Event member;
    Event player;
};
MemberAndPlayer member_and_player(float player_end);

// A demo of one effect event, "stage", drawing from beat 0 to `end_beat` at
// 60 bpm (a beat a second) a scene whose root node holds one model,
// `model_file` (under resources/) of `model_bytes`, seen through `camera`
// and drawn by a program of `vertex` and `fragment`; the event's `curves`
// key the camera, light and animation.
std::unique_ptr<Demo> one_scene_demo(const std::string& vertex, const std::string& fragment,
                                     const std::string& model_file, std::vector<uint8_t> model_bytes,
                                     const Camera& camera, CurveMap curves, float end_beat);

}  // namespace qh::test
