#pragma once
// Draws scenes for the effects that have one: the shadow pass into the
// scene's depth target, then the main pass, both with the effect's program.
//
//   SceneRenderer renderer;                  // one per playback
//   frame.scene_drawer = &renderer;          // render/frame_context.h
//   ...effects with scenes draw through it...
//
// A draw walks the default scene of the root node's model (model_layout.h):
// every drawn node sets "uModelViewProjMatrix", "uModelViewMatrix",
// "uNormalMatrix", "uModelMatrix", "uLightMVPMatrix", "uTag", "uInstance" and
// "nodeIdx" (each only where the program has it), every primitive binds its
// material (each texture read through its glTF sampler, a GL sampler object
// on the unit for the draw) and draws. The cameras and the instance count come from the
// pass's scene views (scene_view.h); without views, the scene as stored.
// Nodes that animation poses take their local matrix from the model
// (Model::node_matrices); a skinned model's joint matrices are uploaded to
// its "MatricesBlock" buffer by each pass's draw, so every pass, the shadow
// pass included, draws the pose its own frame evaluated. Morphed primitives
// are blended on the CPU before the draw (model_layout.h, MorphLayout), so
// model shaders read blended positions and normals as ordinary inputs.
//
// Material defaults are decided here and nowhere else, for the player and
// every quill command alike: a material without a base colour texture
// samples a 1x1 opaque white texture, a missing metallic-roughness texture
// binds texture name 0, and a primitive without a material draws with the
// default MaterialLayout (factors 1, no textures).
//
// What cannot be drawn is skipped, never drawn wrongly: no root node or no
// model (nothing), no active camera (a warning once per scene), a model that
// did not build or has no default scene (nothing), a shadow target that is
// incomplete (no shadow pass). Needs a current GL context.
#include <cstdint>
#include <vector>

#include "render/scene_drawer.h"
#include "render/gl/gl_objects.h"
#include "scene3d/model_layout.h"

namespace qh {

class Model;
struct ModelUniforms;

// More instances than this are not drawn: a curve value of millions would
// otherwise stall the frame for minutes.
inline constexpr int32_t max_instances = 4096;

class SceneRenderer : public SceneDrawer {
public:
    void begin_shadow_pass(Scene& scene) override;
    uint32_t shadow_texture(Scene& scene) override;
    void draw(Scene& scene, ShaderProgram& program, const ScenePass& pass) override;

    // The skeleton's joint matrices into the model's "MatricesBlock" buffer
    // (binding point 0), as each draw does, in a buffer of at least
    // `block_bytes` (what the drawing program's block declares); a GL error
    // on the way is printed as "Error: N".
    static void upload_joint_matrices(Model& model, int32_t block_bytes = 0);
    // Blends each morphed primitive's positions and normals with its mesh's
    // weights (Model::morph_weights) into its buffer, where they changed.
    void upload_morphs(Model& model);

private:
    void draw_model(Model& model, const ShaderProgram& program, const ScenePass& pass,
                    int32_t instances);
    void bind_material(const Model& model, const ModelUniforms& u, int32_t material);

    DrawList list_;  // reused from draw to draw
    std::vector<float> blended_;  // reused from morph to morph
    GlTexture white_;  // made at the first draw, in the context that draws
};

}  // namespace qh
