#include "scene3d/scene_renderer.h"

#include <GL/glew.h>

#include <algorithm>
#include <cstdio>

#include <glm/gtc/type_ptr.hpp>

#include "render/gl/gl_util.h"
#include "render/shader_program.h"
#include "scene3d/model.h"
#include "scene3d/scene.h"
#include "scene3d/scene_view.h"

namespace qh {

namespace {

// Binds `texture` on the unit the effect reserved (GL_TEXTURE0 + n), read
// through `how` (a sampler object; 0: the texture's own parameters), and
// points `sampler` at it; a unit past the device's limit binds nothing.
void bind_sampler(GLint sampler, uint32_t unit_enum, GLuint texture, GLuint how = 0) {
    const GLint unit = GLint(unit_enum) - GL_TEXTURE0;
    if (sampler == -1 || unit < 0 || unit >= texture_unit_limit()) return;
    glActiveTexture(unit_enum);
    glBindTexture(GL_TEXTURE_2D, texture);
    glBindSampler(GLuint(unit), how);
    glUniform1i(sampler, unit);
}

// The units keep no sampler object past a model's draw: whatever an effect
// binds there next reads through its own parameters.
void release_sampler_objects(uint32_t unit_enum) {
    const GLint unit = GLint(unit_enum) - GL_TEXTURE0;
    if (unit >= 0 && unit < texture_unit_limit()) glBindSampler(GLuint(unit), 0);
}

void set_matrix(GLint location, const glm::mat4& m) {
    if (location != -1) glUniformMatrix4fv(location, 1, GL_FALSE, glm::value_ptr(m));
}

}  // namespace

// The uniforms of one program, looked up once per draw.
struct ModelUniforms {
    ModelUniforms(const ShaderProgram& p, const ScenePass& pass)
        : mvp(p.gpu.location(StandardUniform::uModelViewProjMatrix)),
          model_view(p.gpu.location(StandardUniform::uModelViewMatrix)),
          normal(p.gpu.location(StandardUniform::uNormalMatrix)),
          model(p.gpu.location(StandardUniform::uModelMatrix)),
          light_mvp(p.gpu.location(StandardUniform::uLightMVPMatrix)),
          tag(p.gpu.location(StandardUniform::uTag)),
          instance(p.gpu.location(StandardUniform::uInstance)),
          node_index(p.gpu.location(StandardUniform::nodeIdx)),
          base_color_factor(p.gpu.location(StandardUniform::uBaseColorFactor)),
          base_color_texture(p.gpu.location(StandardUniform::uBaseColorTexture)),
          metallic(p.gpu.location(StandardUniform::uMetallicFactor)),
          roughness(p.gpu.location(StandardUniform::uRougnessFactor)),
          metallic_roughness_texture(p.gpu.location(StandardUniform::uMetallicRoughnessTexture)),
          base_color_unit(pass.texture_units[ScenePass::base_color_unit]),
          metallic_roughness_unit(pass.texture_units[ScenePass::metallic_roughness_unit]) {}

    GLint mvp, model_view, normal, model, light_mvp, tag, instance, node_index;
    GLint base_color_factor, base_color_texture, metallic, roughness, metallic_roughness_texture;
    uint32_t base_color_unit, metallic_roughness_unit;
};

namespace {

GLuint image_texture(const Model& m, int32_t image) {
    if (image < 0 || size_t(image) >= m.gpu.image_textures.size()) return 0;
    return m.gpu.image_textures[size_t(image)].texture;
}

GLuint sampler_object(const Model& m, int32_t sampler) {
    if (sampler < 0 || size_t(sampler) >= m.gpu.samplers.size()) return 0;
    return m.gpu.samplers[size_t(sampler)];
}

ViewMatrices matrices_of(const Camera& c) { return {c.view_matrix(), c.projection_matrix()}; }

}  // namespace

void SceneRenderer::bind_material(const Model& m, const ModelUniforms& u, int32_t material) {
    if (!white_) white_ = GlTexture(create_color_texture(1, 1, 1, 1));
    const GLuint white = white_;
    // Without a material a primitive takes the asset format's default one,
    // rather than whatever the primitive before it left set.
    static const MaterialLayout default_material;
    const std::vector<MaterialLayout>& materials = m.gpu.layout.materials;
    const MaterialLayout& mat =
        material >= 0 && size_t(material) < materials.size() ? materials[size_t(material)] : default_material;
    if (u.base_color_factor != -1) {
        glUniform4fv(u.base_color_factor, 1, glm::value_ptr(mat.base_color_factor));
    }
    const GLuint base = image_texture(m, mat.base_color_image);
    bind_sampler(u.base_color_texture, u.base_color_unit, base ? base : white,
                 base ? sampler_object(m, mat.base_color_sampler) : 0);
    if (u.metallic != -1) glUniform1f(u.metallic, mat.metallic);
    if (u.roughness != -1) glUniform1f(u.roughness, mat.roughness);
    bind_sampler(u.metallic_roughness_texture, u.metallic_roughness_unit,
                 image_texture(m, mat.metallic_roughness_image),
                 sampler_object(m, mat.metallic_roughness_sampler));
}

void SceneRenderer::begin_shadow_pass(Scene& scene) {
    if (!scene.gpu.shadow_framebuffer) scene.realize();  // never realized: make it now
    // An incomplete target would turn every clear and draw into a GL error.
    if (!scene.gpu.shadow_complete) return;
    glBindFramebuffer(GL_FRAMEBUFFER, scene.gpu.shadow_framebuffer);
    glViewport(0, 0, scene.gpu.shadow_width, scene.gpu.shadow_height);
    glClear(GL_DEPTH_BUFFER_BIT);
}

uint32_t SceneRenderer::shadow_texture(Scene& scene) { return scene.gpu.shadow_texture; }

void SceneRenderer::upload_joint_matrices(Model& model, int32_t block_bytes) {
    if (!model.skeleton || !model.gpu.matrices_buffer) return;
    const std::vector<glm::mat4>& matrices = model.skeleton->joint_matrices;
    // Joints past what the device holds are not sent (realize drew such a
    // skin unposed); the buffer is never smaller than the program's block,
    // since a draw reading past it fails on some devices.
    const size_t sent = std::min(matrices.size(), size_t(std::max(model.gpu.joint_capacity, 0)));
    const size_t bytes = std::max({sent * sizeof(glm::mat4), size_t(std::max(block_bytes, 0)), sizeof(glm::mat4)});
    clear_gl_errors();
    glBindBuffer(GL_UNIFORM_BUFFER, model.gpu.matrices_buffer);
    glBindBufferBase(GL_UNIFORM_BUFFER, 0, model.gpu.matrices_buffer);
    glBufferData(GL_UNIFORM_BUFFER, GLsizeiptr(bytes), nullptr, GL_DYNAMIC_DRAW);
    glBufferSubData(GL_UNIFORM_BUFFER, 0, GLsizeiptr(sent * sizeof(glm::mat4)), matrices.data());
    if (const GLenum error = glGetError(); error != GL_NO_ERROR) std::printf("Error: %u\n", error);
    glBindBuffer(GL_UNIFORM_BUFFER, 0);
}

void SceneRenderer::upload_morphs(Model& model) {
    const std::vector<MorphLayout>& morphs = model.gpu.layout.morphs;
    for (size_t i = 0; i < morphs.size() && i < model.gpu.blended_weights.size(); ++i) {
        const MorphLayout& morph = morphs[i];
        static const std::vector<float> none;
        const std::vector<float>& weights =
            size_t(morph.mesh) < model.morph_weights.size() ? model.morph_weights[size_t(morph.mesh)] : none;
        std::vector<float>& blended = model.gpu.blended_weights[i];
        if (!blended.empty() && blended == weights) continue;
        if (size_t(morph.buffer) >= model.gpu.buffers.size()) continue;
        blend_morph(morph, weights, blended_);
        glBindBuffer(GL_ARRAY_BUFFER, model.gpu.buffers[size_t(morph.buffer)]);
        glBufferSubData(GL_ARRAY_BUFFER, 0, GLsizeiptr(blended_.size() * sizeof(float)), blended_.data());
        blended = weights;
    }
    glBindBuffer(GL_ARRAY_BUFFER, 0);
}

void SceneRenderer::draw(Scene& scene, ShaderProgram& program, const ScenePass& pass) {
    if (!scene.root_node) return;
    if (pass.shadow && !scene.gpu.shadow_complete) return;

    SceneViews as_stored;  // a frame without views sees every scene as it is stored
    SceneViews& views = pass.views ? *pass.views : as_stored;
    const SceneView& view = views.of(scene);
    const Camera* camera = views.active_camera(scene, pass.shadow);
    if (!camera) {
        if (!scene.gpu.camera_warning_given) {
            std::printf("Warn: scene %s has no camera of its own and borrows none; it is not drawn\n",
                        scene.name.c_str());
            scene.gpu.camera_warning_given = true;
        }
        return;
    }
    int32_t instances = view.instance_count;
    if (instances > max_instances) {
        if (!scene.gpu.instance_warning_given) {
            std::printf("Warn: scene %s is asked for %d instances; %d are drawn\n",
                        scene.name.c_str(), instances, max_instances);
            scene.gpu.instance_warning_given = true;
        }
        instances = max_instances;
    }

    glEnable(GL_DEPTH_TEST);
    // Not while it is the target: a texture read while drawn into is a
    // feedback loop, which WebGL refuses to draw at all.
    bind_sampler(program.gpu.location(StandardUniform::uShadowMapTexture),
                 pass.texture_units[ScenePass::shadow_map_unit], pass.shadow ? 0 : scene.gpu.shadow_texture);
    glActiveTexture(GL_TEXTURE0);

    Model* model = scene.root_node->model;
    if (model && model->gpu.ready && model->gpu.layout.has_default_scene && instances > 0) {
        upload_joint_matrices(*model, program.gpu.matrices_block_bytes);  // leaves the block bound
        upload_morphs(*model);
        const NodePose pose{model->animated_nodes, model->node_matrices};
        plan_draw(model->gpu.layout, matrices_of(*camera), matrices_of(view.light), pass.shadow,
                  list_, &pose);
        draw_model(*model, program, pass, instances);
    }
    glDisable(GL_DEPTH_TEST);
}

void SceneRenderer::draw_model(Model& model, const ShaderProgram& program, const ScenePass& pass,
                               int32_t instances) {
    const ModelUniforms u(program, pass);
    const ModelLayout& layout = model.gpu.layout;
    // A primitive without joints reads this value in their place: integers,
    // as the shader declares them (WebGL refuses a draw where the types differ).
    glVertexAttribI4ui(joints_location, 0, 0, 0, 0);
    for (int32_t i = 0; i < instances; ++i) {
        for (const int32_t v : list_.order) {
            const NodeVisit& visit = layout.visits[size_t(v)];
            const NodeLayout& node = layout.nodes[size_t(visit.node)];
            const NodeTransforms& t = list_.transforms[size_t(v)];
            if (u.node_index != -1) glUniform1i(u.node_index, visit.node);
            set_matrix(u.model_view, t.model_view);
            set_matrix(u.mvp, t.mvp);
            set_matrix(u.light_mvp, t.light_mvp);
            set_matrix(u.normal, t.normal);
            set_matrix(u.model, t.model);
            if (u.tag != -1) glUniform1i(u.tag, node.tag);
            if (u.instance != -1) glUniform1i(u.instance, i);

            const MeshRange& range = layout.mesh_ranges[size_t(node.mesh)];
            for (int32_t p = range.first; p < range.first + range.count; ++p) {
                const PrimitiveLayout& prim = layout.primitives[size_t(p)];
                if (!prim.drawable) continue;
                bind_material(model, u, prim.material);
                glBindVertexArray(model.gpu.vertex_arrays[size_t(p)]);
                if (prim.element_buffer >= 0) {
                    glDrawElements(prim.mode, prim.count, prim.index_type,
                                   reinterpret_cast<const void*>(static_cast<uintptr_t>(prim.index_offset)));
                } else {
                    glDrawArrays(prim.mode, 0, prim.count);
                }
            }
        }
    }
    glBindVertexArray(0);
    release_sampler_objects(u.base_color_unit);
    release_sampler_objects(u.metallic_roughness_unit);
    glActiveTexture(GL_TEXTURE0);
    model.gpu.render_passes = layout.render_passes;
}

}  // namespace qh
