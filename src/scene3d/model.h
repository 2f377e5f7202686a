#pragma once
// One glTF 2.0 asset of the document: the file's bytes as stored, its name,
// and the asset parsed from them (no GL; the GPU step reads `gltf`).
//
//   Model m;  m.read_binary(in);          // the bytes are always GLB here
//   Model m;  m.from_json(obj, dir);      // GLB or text glTF, embedded or a file
//   if (!m.parsed) ...                    // `gltf` is empty; `parse_error` says why
//
// Reading never fails on a bad asset, so one broken model does not stop a
// demo that can play on without it: it prints "Warn: ...", "Err: ..." and
// "Failed to parse glTF" and keeps the model with an empty asset, so the
// package still reads and the nodes that refer to the model still find it;
// the later steps build and draw nothing for it.
//
// Which parser reads the bytes: the binary form always holds GLB. In the JSON
// form the four characters from the last "." of `filename` decide: exactly
// ".glb" or ".GLB" is GLB (so "a.glbx" too), anything else is text glTF, and
// a name with no "." is not parsed at all. URIs inside the asset resolve in
// "resources" (binary form, relative to the working directory; embedded text
// glTF, relative to the project) or beside the file (JSON form with a file).
//
// Writing: a text glTF (name ending ".gltf"/".GLTF") that parsed is stored
// as a self-contained GLB named `filename` + ".glb" in every form, so the
// package and a project written anywhere need no other file; everything else
// is stored as read. Nodes name models by `stored_filename()`.
//
// The device side (a current GL context) builds what drawing needs:
//   m.realize();     // image textures, one GL buffer per glTF buffer, one
//                    // vertex array per primitive; "Number of VAOs: N";
//                    // then the animations (scene3d/animation.h)
//   if (m.gpu.ready) ...draw with m.gpu.layout (scene_renderer.h)
// It checks the asset again before uploading anything; a model that did not
// parse builds nothing (and says "Number of VAOs: 0").
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <glm/mat4x4.hpp>
#include <tiny_gltf.h>

#include "core/device_state.h"
#include "package/byte_buffer.h"
#include "package/serializable.h"
#include "render/gl/gl_objects.h"
#include "scene3d/animation.h"
#include "scene3d/model_layout.h"

namespace qh {

class Model : public ISerializable {
public:
    JsonValue to_json(const ProjectDir* external) const override;
    // Throws ContentError for a text glTF that did not parse: there is no
    // GLB to store, and storing the empty asset would lose the model.
    void write_binary(BinaryWriter& out) const override;
    // "filename", and "buffer" (Base64) when embedded; without "buffer" the
    // bytes come from the file `filename` (ResourceFileError when missing).
    void from_json(const JsonValue& value, const ProjectDir& dir) override;
    void read_binary(BinaryReader& in) override;

    std::string stored_filename() const;

    tinygltf::Model gltf;  // empty unless `parsed`
    ByteBuffer buffer;     // the file's bytes exactly as read
    std::string filename;  // with extension; the file's path in the JSON form

    bool parsed = false;      // `gltf` holds the checked asset
    std::string parse_error;  // why not, when `parsed` is false

    // Animation (scene3d/animation.h): built with the device build, posed
    // by the timeline's animation keys. Not persisted.
    std::shared_ptr<Animation::Skeleton> skeleton;      // only with a skin
    std::shared_ptr<Animation::Animations> animations;  // set once built
    std::vector<Animation::NodeAnimation> node_animations;  // only without a skin
    std::vector<bool> animated_nodes;        // per glTF node: node_matrices holds its world matrix
    std::vector<glm::mat4> node_matrices;    // per glTF node
    // Per glTF mesh, one per morph target: the weights it draws with, and
    // those it has when nothing animates it.
    std::vector<std::vector<float>> morph_weights;
    std::vector<std::vector<float>> rest_morph_weights;
    bool has_animations = false;

    // ---- Device side: needs a current GL context ----

    // Releases what an earlier build made, then decodes every image into a
    // texture, uploads every buffer and records every primitive's vertex
    // array (model_gpu.cpp). Problems are printed as "Warn: " lines, once.
    void realize();
    // Ready once realized from a parsed asset; failed when the asset did not
    // parse; not built before realize. (What realize left out, such as an
    // image drawn white, is in gpu.problems: the model still draws.)
    DeviceState device_state() const;

    // A glTF image on the GPU, RGBA8, with mipmaps where a material reads it
    // through a sampler that asks for them (name 0 when the image did not
    // decode or its file was missing). How it is read is the sampler's.
    struct ImageTexture {
        std::string name;
        int32_t width = 0;
        int32_t height = 0;
        GlTexture texture;
    };

    // Not persisted: what drawing learns of the asset.
    struct Gpu {
        int render_passes = 1;  // raised for nodes with a "render_pass" extra
        bool ready = false;     // realize ran; drawing reads the rest
        ModelLayout layout;
        std::vector<GlBuffer> buffers;               // one per glTF buffer
        std::vector<GlBuffer> index_buffers;         // copies for indices, where they must stand apart
        std::vector<GlVertexArray> vertex_arrays;    // one per primitive, as layout.primitives
        std::vector<ImageTexture> image_textures;    // one per glTF image
        std::vector<GlSampler> samplers;             // one per layout.samplers
        std::vector<std::string> problems;           // what realize reported
        // Backs the shader's "MatricesBlock" (a skinned model's joint
        // matrices); made when the model has a skeleton.
        GlBuffer matrices_buffer;
        // Per layout.morphs: the weights its buffer was last blended with
        // (empty: never blended).
        std::vector<std::vector<float>> blended_weights;
        int32_t joint_capacity = 0;  // matrices the device holds in one block
    } gpu;

private:
    bool stores_as_glb() const;
    std::vector<uint8_t> stored_bytes() const;
};

// ".gltf"/".GLTF" (five characters from the last "."), the names written
// back as GLB; and ".glb"/".GLB" (four), the names the JSON form reads as GLB.
bool has_gltf_text_extension(const std::string& filename);
bool has_glb_extension(const std::string& filename);

// Warns about a "filename" that is not a text or has no extension (nothing is
// parsed), an extension that is ".glb" in another case (read as text glTF)
// or longer than ".glb" but starting with it (read as GLB), and a "buffer"
// that is not a text (it reads as no bytes).
void lint_model_json(const JsonValue& value, std::vector<std::string>& warnings);

}  // namespace qh
