// The scene renderer on a real GL context (run under Xvfb where there is no
// display; the window is 1280x720):
//
//   xvfb-run -a -s "-screen 0 1280x1024x24" ./bench_scene --benchmark_min_time=2
//
// BM_ShadowedFrame/S      One frame of a shadowed scene at 1280 x 720: a box
//                         wearing the BoxTextured image on a plane, drawn as an
//                         effect draws a scene (inputs bound, standard uniforms,
//                         the pass flag), with a shadow map of S x S (8192 is
//                         the player's). Counters: shadow_ms and main_ms, each
//                         pass timed to its own glFinish.
// BM_UnshadowedFrame      The same frame with the shadow pass skipped: the main
//                         pass alone, glFinish included.
// BM_PlanDraw/nodes:N     The renderer's CPU work outside GL calls for one frame
//                         of a model of N nodes (one box mesh each, in a grid
//                         under one root): the draw plan (world matrices, the five
//                         matrices of every drawn node, the order of passes) for
//                         the shadow pass and the main pass.
// BM_SubmitDraw/nodes:N   Reference: the same frame issued to GL (both passes,
//                         uniforms, material binds, draw calls), without
//                         glFinish: the CPU cost including the GL calls.
// BM_AnimateSkeleton/joints:J
//                         One frame's skinned animation of a chain of J joints,
//                         each with translation, rotation and scale channels of
//                         48 linear keys: sampling the clip at a new position
//                         and the joint matrices, twice (the shadow pass and the
//                         main pass each evaluate the keys), on the CPU only.
// BM_AnimateAndUpload/joints:J
//                         The same with both passes' uploads of the joint
//                         matrices into the "MatricesBlock" buffer (GL calls,
//                         no glFinish).
#include <GL/glew.h>
#include <SDL.h>
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "core/runtime.h"
#include "package/binary_stream.h"
#include "platform/gl_window.h"
#include "render/effect.h"
#include "render/scene_drawer.h"
#include "scene3d/scene_view.h"
#include "render/gl/gl_util.h"
#include "render/shader_program.h"
#include "scene3d/animation.h"
#include "scene3d/model.h"
#include "scene3d/scene.h"
#include "scene3d/scene_renderer.h"
#include "support/gltf_builder.h"
#include "support/model_shaders.h"
#include "support/sample_demo.h"

namespace qh {
namespace {

constexpr int window_width = 1280;
constexpr int window_height = 720;



using Clock = std::chrono::steady_clock;

double ms_since(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::unique_ptr<Model> built_model(const std::vector<uint8_t>& glb) {
    auto m = std::make_unique<Model>();
    const std::vector<uint8_t> record = test::model_record("bench.glb", glb);
    BinaryReader in(record);
    m->read_binary(in);
    m->realize();
    return m;
}


std::vector<uint8_t> box_on_plane() {
    test::GltfBuilder b;
    const int image = b.texture(test::fixture_image("BoxTextured.glb"), "image/png");
    b.root(b.node(b.quad_mesh({-3, 0, 3}, {6, 0, 0}, {0, 0, -6}, b.material({0.5f, 0.5f, 0.5f, 1}))));
    b.root(b.node(b.mesh({b.box({0, 1, 0}, {1, 1, 1}, b.material({1, 1, 1, 1}, image))})));
    return b.glb();
}

// N boxes in a grid, children of one root.
std::vector<uint8_t> grid_of_boxes(int n) {
    test::GltfBuilder b;
    const int mesh = b.mesh({b.box({0, 0, 0}, {0.4f, 0.4f, 0.4f}, b.material({0.8f, 0.8f, 0.8f, 1}))});
    const int root = b.node(-1);
    for (int i = 0; i < n - 1; ++i) {
        const int child = b.node(mesh, {float(i % 10) - 4.5f, 0.5f, float(i / 10) - 4.5f});
        b.at(root).children.push_back(child);
    }
    b.root(root);
    return b.glb();
}

// A program, a scene and an effect drawing it, as the player has them.
struct Stage {
    Stage(const std::vector<uint8_t>& glb, int shadow_size) : model(built_model(glb)) {
        program.vertex_shader_source = test::lit_vertex_shader;
        program.fragment_shader_source = test::lit_fragment_shader();
        program.rebuild();
        scene.root_node = std::make_unique<Node>();
        scene.root_node->model = model.get();
        scene.camera = std::make_unique<Camera>();
        scene.camera->position = {4, 6, 9};
        scene.camera->aspect = float(window_width) / float(window_height);
        scene.camera->znear = 0.1f;
        scene.camera->zfar = 100;
        scene.gpu.shadow_width = scene.gpu.shadow_height = shadow_size;
        scene.realize();
        place_light(views.of(scene), {10.0f, 0.4f, 1.0f, 0.6f});
        effect = std::make_unique<Effect>("bench", &program, nullptr, nullptr, false, false, &scene);
    }

    // The shadow pass as Effect::draw runs it, to its glFinish.
    void shadow_pass(const FrameContext& frame) {
        renderer.begin_shadow_pass(scene);
        ScenePass pass{.shadow = true, .views = &views};
        effect->bind_inputs(frame, program, false, &pass);
        effect->upload_standard_uniforms(frame);
        program.set_int(program.gpu.location(StandardUniform::uIsShadowRenderPass), 1);
        renderer.draw(scene, program, pass);
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glViewport(0, 0, window_width, window_height);
    }
    void main_pass(const FrameContext& frame) {
        ScenePass pass{.shadow = false, .views = &views};
        effect->bind_inputs(frame, program, false, &pass);
        effect->upload_standard_uniforms(frame);
        program.set_int(program.gpu.location(StandardUniform::uIsShadowRenderPass), 0);
        renderer.draw(scene, program, pass);
    }

    std::unique_ptr<Model> model;
    ShaderProgram program;
    Scene scene;
    std::unique_ptr<Effect> effect;
    SceneRenderer renderer;
    SceneViews views;

    FrameContext frame() {
        FrameContext f = FrameContext::at(1.0f, runtime().screen);
        f.scene_drawer = &renderer;
        f.scene_views = &views;
        return f;
    }
};

void BM_ShadowedFrame(benchmark::State& state) {
    Stage stage(box_on_plane(), int(state.range(0)));
    if (!stage.scene.gpu.shadow_complete) {
        state.SkipWithError("the shadow target is incomplete");
        return;
    }
    double shadow_ms = 0, main_ms = 0;
    for (auto _ : state) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        const auto t0 = Clock::now();
        stage.shadow_pass(stage.frame());
        glFinish();
        shadow_ms += ms_since(t0);
        const auto t1 = Clock::now();
        stage.main_pass(stage.frame());
        glFinish();
        main_ms += ms_since(t1);
    }
    state.counters["shadow_ms"] = benchmark::Counter(shadow_ms, benchmark::Counter::kAvgIterations);
    state.counters["main_ms"] = benchmark::Counter(main_ms, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_ShadowedFrame)->Arg(8192)->Arg(2048)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_UnshadowedFrame(benchmark::State& state) {
    Stage stage(box_on_plane(), 64);
    for (auto _ : state) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        stage.main_pass(stage.frame());
        glFinish();
    }
}
BENCHMARK(BM_UnshadowedFrame)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PlanDraw(benchmark::State& state) {
    Stage stage(grid_of_boxes(int(state.range(0))), 64);
    const Camera& c = *stage.scene.camera;
    const Camera& l = stage.views.of(stage.scene).light;
    const ViewMatrices camera{c.view_matrix(), c.projection_matrix()};
    const ViewMatrices light{l.view_matrix(), l.projection_matrix()};
    DrawList list;
    size_t drawn = 0;
    for (auto _ : state) {
        plan_draw(stage.model->gpu.layout, light, light, true, list);
        drawn = list.order.size();
        plan_draw(stage.model->gpu.layout, camera, light, false, list);
        drawn += list.order.size();
        benchmark::DoNotOptimize(list.transforms.data());
    }
    state.counters["nodes_drawn"] = double(drawn);
}
BENCHMARK(BM_PlanDraw)->ArgName("nodes")->Arg(100)->Unit(benchmark::kMicrosecond);

void BM_SubmitDraw(benchmark::State& state) {
    Stage stage(grid_of_boxes(int(state.range(0))), 64);
    for (auto _ : state) {
        stage.shadow_pass(stage.frame());
        stage.main_pass(stage.frame());
    }
    glFinish();
}
BENCHMARK(BM_SubmitDraw)->ArgName("nodes")->Arg(100)->Unit(benchmark::kMicrosecond);

void animate_frames(benchmark::State& state, bool upload) {
    Stage stage(test::animated_joint_chain(int(state.range(0))), 64);
    Model& model = *stage.model;
    float position = 0;
    for (auto _ : state) {
        position += 1.0f / 60.0f;
        for (int pass = 0; pass < 2; ++pass) {
            if (upload) SceneRenderer::upload_joint_matrices(model);
            Animation::animate(model, 0, position);
        }
        benchmark::DoNotOptimize(model.skeleton->joint_matrices.data());
    }
    glFinish();
}

void BM_AnimateSkeleton(benchmark::State& state) { animate_frames(state, false); }
BENCHMARK(BM_AnimateSkeleton)->ArgName("joints")->Arg(22)->Unit(benchmark::kMicrosecond);

void BM_AnimateAndUpload(benchmark::State& state) { animate_frames(state, true); }
BENCHMARK(BM_AnimateAndUpload)->ArgName("joints")->Arg(22)->Unit(benchmark::kMicrosecond);

void open_context(HiddenGlWindow& window) {
    if (!window.open(window_width, window_height)) {
        std::fprintf(stderr, "bench_scene: no GL context (%s); run it under xvfb-run\n", window.error().c_str());
        std::exit(1);
    }
    runtime().screen = ScreenSize{window_width, window_height, window_width, window_height};
    glViewport(0, 0, window_width, window_height);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glClearColor(0, 0, 0, 1);
    benchmark::AddCustomContext("gl_renderer", reinterpret_cast<const char*>(glGetString(GL_RENDERER)));
}

}  // namespace
}  // namespace qh

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    qh::HiddenGlWindow window;
    qh::open_context(window);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
