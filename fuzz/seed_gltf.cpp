// Writes the seed inputs of fuzz_gltf_import:
//   qh_fuzz_seed_gltf fuzz/corpus/gltf
// GLBs made with the tests' glTF builder for what the sample models in
// tests/data/gltf lack: node extras, interleaved, integer and normalised
// attributes, several meshes and primitives, indices at an offset, a PNG and
// a JPEG image (encoded by the image library), a mode and attribute types
// the layout leaves out. The samples themselves are seeds too: pass
// tests/data/gltf as a second seed directory.
#include <SDL.h>
#include <SDL_image.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "support/gltf_builder.h"

namespace {

using qh::test::GltfBuilder;

void write_file(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    if (!out) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        std::exit(1);
    }
}

// An 8 x 8 gradient, encoded as PNG or JPEG.
std::vector<uint8_t> encoded_image(bool jpeg) {
    SDL_Surface* s = SDL_CreateRGBSurfaceWithFormat(0, 8, 8, 32, SDL_PIXELFORMAT_RGBA32);
    auto* px = static_cast<uint8_t*>(s->pixels);
    for (int i = 0; i < 64; ++i) {
        px[4 * i] = uint8_t(i * 4);
        px[4 * i + 1] = uint8_t(255 - i * 4);
        px[4 * i + 2] = uint8_t((i % 8) * 32);
        px[4 * i + 3] = uint8_t(128 + i);
    }
    std::vector<uint8_t> out(1 << 16);
    SDL_RWops* rw = SDL_RWFromMem(out.data(), int(out.size()));
    const int rc = jpeg ? IMG_SaveJPG_RW(s, rw, 0, 90) : IMG_SavePNG_RW(s, rw, 0);
    out.resize(size_t(SDL_RWtell(rw)));
    SDL_RWclose(rw);
    SDL_FreeSurface(s);
    if (rc != 0 || out.empty()) {
        std::fprintf(stderr, "cannot encode: %s\n", IMG_GetError());
        std::exit(1);
    }
    return out;
}

tinygltf::Primitive triangles() {
    tinygltf::Primitive p;
    p.mode = TINYGLTF_MODE_TRIANGLES;
    return p;
}

std::vector<uint8_t> extras_and_passes() {
    GltfBuilder b;
    const int mesh = b.quad_mesh({0, 0, 0}, {1, 0, 0}, {0, 1, 0}, b.material({1, 0, 0, 1}));
    const int root = b.node(mesh, {1, 2, 3});
    const int second = b.node(mesh, {0, 1, 0});
    const int never = b.node(mesh);
    const int unshadowed = b.node(mesh);
    b.at(root).children = {second, never, unshadowed};
    b.at(root).rotation = {0, 0.7071, 0, 0.7071};
    b.at(root).scale = {2, 2, 2};
    b.extra(second, "render_pass", tinygltf::Value(2));
    b.extra(second, "tag", tinygltf::Value(5));
    b.extra(never, "render_pass", tinygltf::Value(0));
    b.extra(unshadowed, "ignore_shadow", tinygltf::Value(true));
    b.root(root);
    b.root(second);  // a root that is also a child
    return b.glb();
}

std::vector<uint8_t> attributes() {
    GltfBuilder b;
    std::vector<float> interleaved;
    for (int i = 0; i < 3; ++i) interleaved.insert(interleaved.end(), {float(i), float(i % 2), 0, 0, 0, 1});
    std::vector<uint8_t> bytes(interleaved.size() * 4);
    std::memcpy(bytes.data(), interleaved.data(), bytes.size());
    const int view = b.view(bytes, 24);
    tinygltf::Primitive p = triangles();
    p.attributes["POSITION"] = b.accessor(view, TINYGLTF_COMPONENT_TYPE_FLOAT, TINYGLTF_TYPE_VEC3, 3, 0);
    p.attributes["NORMAL"] = b.accessor(view, TINYGLTF_COMPONENT_TYPE_FLOAT, TINYGLTF_TYPE_VEC3, 3, 12);
    const int tex = b.accessor(b.view(std::vector<uint8_t>(8, 7)), TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE,
                               TINYGLTF_TYPE_VEC2, 3);
    b.model.accessors[size_t(tex)].normalized = true;
    p.attributes["TEXCOORD_0"] = tex;
    p.attributes["JOINTS_0"] = b.accessor(b.view(std::vector<uint8_t>(12, 1)),
                                          TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE, TINYGLTF_TYPE_VEC4, 3);
    p.attributes["WEIGHTS_0"] = b.floats(std::vector<float>(12, 0.25f), TINYGLTF_TYPE_VEC4);
    // indices 12 bytes into their view
    std::vector<uint8_t> idx(12, 0);
    for (uint16_t i : {0, 1, 2}) idx.insert(idx.end(), {uint8_t(i), 0});
    p.indices = b.accessor(b.view(idx), TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT, TINYGLTF_TYPE_SCALAR, 3, 12);
    tinygltf::Primitive strip = b.quad({0, 0, 0}, {1, 0, 0}, {0, 1, 0});
    strip.mode = TINYGLTF_MODE_TRIANGLE_STRIP;
    strip.indices = -1;
    tinygltf::Primitive odd = b.quad({0, 0, 0}, {1, 0, 0}, {0, 1, 0});
    odd.mode = 9;
    odd.attributes["TEXCOORD_0"] = b.floats({0, 0, 0, 0}, TINYGLTF_TYPE_SCALAR);
    b.root(b.node(b.mesh({p, strip, odd})));
    b.root(b.node(b.mesh({b.quad({0, 0, 0}, {0, 1, 0}, {0, 0, 1})})));
    return b.glb();
}

std::vector<uint8_t> textured(bool jpeg) {
    GltfBuilder b;
    const int texture = b.texture(encoded_image(jpeg), jpeg ? "image/jpeg" : "image/png");
    const int material = b.material({1, 1, 1, 1}, texture);
    b.model.materials[size_t(material)].pbrMetallicRoughness.metallicRoughnessTexture.index = texture;
    b.root(b.node(b.mesh({b.box({0, 0, 0}, {1, 1, 1}, material)})));
    return b.glb();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_DIRECTORY\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];
    write_file(dir + "/extras_and_passes.glb", extras_and_passes());
    write_file(dir + "/attributes.glb", attributes());
    write_file(dir + "/png_image.glb", textured(false));
    write_file(dir + "/jpeg_image.glb", textured(true));
    return 0;
}
