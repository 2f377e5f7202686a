#pragma once
// A document with one record of every class, each kind of reference used at
// least once, shared by the tests of every tier.
#include <memory>
#include <string>
#include <vector>

#include "document/demo.h"

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

// The sample document without its scene, ending at `end_beat`, packed: what the damaged-package
// sweeps play. An intact scene makes an 8192 x 8192 shadow target each time
// it is built, which would make a sweep take many minutes (scenes are swept
// by the readers' fuzz targets and tests instead).
std::vector<uint8_t> sceneless_payload(float end_beat = 64);

// Appends a program whose fragment shader is `fragment` (its file
// "resources/NAME.frag", the default vertex shader), an effect drawing with
// it and an effect event over [start, end), all named `name`; the effect.
Effect& add_effect_event(Demo& demo, const std::string& name, const std::string& fragment, float start,
                         float end);

}  // namespace qh::test
