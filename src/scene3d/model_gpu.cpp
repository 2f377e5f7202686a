// Device side of Model: image textures, buffers and vertex arrays.
#include <GL/glew.h>

#include <algorithm>
#include <cstdio>
#include <iostream>

#include "render/gl/device_allocation.h"
#include "render/gl/gl_util.h"
#include "scene3d/model.h"
#include "scene3d/model_import.h"

namespace qh {

namespace {

bool fits_device(int w, int h) {
    GLint max_side = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &max_side);
    return w > 0 && h > 0 && w <= max_side && h <= max_side;
}

// WebGL lets no buffer that held vertices ever hold indices, and a glTF
// buffer often holds both: there the indices are read from a copy of it.
#ifdef __EMSCRIPTEN__
constexpr bool indices_apart = true;
#else
constexpr bool indices_apart = false;
#endif

// `elements`: the buffer the indices are read from, 0 for none.
void build_vertex_array(const PrimitiveLayout& p, const std::vector<GlBuffer>& buffers, GLuint elements) {
    for (const VertexAttribute& a : p.attributes) {
        glEnableVertexAttribArray(a.location);
        glBindBuffer(GL_ARRAY_BUFFER, buffers[size_t(a.buffer)]);
        const auto* offset = reinterpret_cast<const void*>(static_cast<uintptr_t>(a.offset));
        if (a.integer) {
            glVertexAttribIPointer(a.location, a.components, a.component_type, a.stride, offset);
        } else {
            glVertexAttribPointer(a.location, a.components, a.component_type,
                                  a.normalized ? GL_TRUE : GL_FALSE, a.stride, offset);
        }
    }
    // Recorded in the vertex array; the byte offset is given at draw time.
    if (elements != 0) glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, elements);
}

void make_samplers(const ModelLayout& layout, std::vector<GlSampler>& out) {
    out.reserve(layout.samplers.size());
    for (const SamplerLayout& s : layout.samplers) {
        const GlSampler& made = out.emplace_back(GlSampler::generate());
        glSamplerParameteri(made, GL_TEXTURE_WRAP_S, GLint(s.wrap_s));
        glSamplerParameteri(made, GL_TEXTURE_WRAP_T, GLint(s.wrap_t));
        glSamplerParameteri(made, GL_TEXTURE_MIN_FILTER, GLint(s.min_filter));
        glSamplerParameteri(made, GL_TEXTURE_MAG_FILTER, GLint(s.mag_filter));
    }
}

}  // namespace

DeviceState Model::device_state() const {
    if (!gpu.ready) return {};
    if (!parsed) {
        return DeviceState::failure(
            {"does not parse: " + (parse_error.empty() ? std::string("no reason given") : parse_error)});
    }
    return DeviceState::made();
}

void Model::realize() {
    gpu = Gpu();
    const std::string label = filename.empty() ? std::string("(unnamed)") : filename;

    ModelImport import = import_model(*this, [&](size_t i, const DecodedImage& image) {
        ImageTexture& t = gpu.image_textures.emplace_back();
        t.name = gltf.images[i].name;
        if (!image.pixels) return;
        if (!fits_device(image.width, image.height)) {
            gpu.problems.push_back("image " + std::to_string(i) + " (\"" + t.name +
                                   "\") is larger than the device's textures; it draws as white");
            return;
        }
        t.width = image.width;
        t.height = image.height;
        std::string problem;
        t.texture =
            GlTexture(create_rgba_texture(t.width, t.height, image.pixels, GL_CLAMP_TO_EDGE, problem));
        glBindTexture(GL_TEXTURE_2D, 0);
        if (!problem.empty()) {
            t.width = t.height = 0;
            gpu.problems.push_back("image " + std::to_string(i) + " (\"" + t.name +
                                   "\") cannot be made: " + problem + "; it draws as white");
        }
    });
    gpu.problems.insert(gpu.problems.begin(), import.problems.begin(), import.problems.end());

    if (import.usable) {
        for (size_t i = 0; i < gpu.image_textures.size() && i < import.layout.mipmapped_images.size(); ++i) {
            if (!import.layout.mipmapped_images[i] || !gpu.image_textures[i].texture) continue;
            glBindTexture(GL_TEXTURE_2D, gpu.image_textures[i].texture);
            glGenerateMipmap(GL_TEXTURE_2D);
        }
        glBindTexture(GL_TEXTURE_2D, 0);
        make_samplers(import.layout, gpu.samplers);

        // The asset's buffers, then the copies of its sparse accessors.
        const size_t asset_buffers = gltf.buffers.size();
        const auto bytes_of = [&](size_t i) -> const std::vector<unsigned char>& {
            return i < asset_buffers ? gltf.buffers[i].data : import.layout.copied_buffers[i - asset_buffers];
        };
        const auto upload = [&](std::vector<GlBuffer>& into, GLenum target, const std::vector<unsigned char>& data) {
            GlBuffer& buffer = into.emplace_back(GlBuffer::generate());
            glBindBuffer(target, buffer);
            require_allocation("model " + label + ": a vertex buffer of " + std::to_string(data.size()) +
                                   " bytes",
                               allocate_checked([&] {
                                   glBufferData(target, static_cast<GLsizeiptr>(data.size()),
                                                data.empty() ? nullptr : data.data(), GL_STATIC_DRAW);
                               }));
        };
        const size_t buffer_count = asset_buffers + import.layout.copied_buffers.size();
        gpu.buffers.reserve(buffer_count);
        for (size_t i = 0; i < buffer_count; ++i) upload(gpu.buffers, GL_ARRAY_BUFFER, bytes_of(i));
        gpu.blended_weights.assign(import.layout.morphs.size(), {});
        glBindBuffer(GL_ARRAY_BUFFER, 0);

        std::vector<int> index_copy(buffer_count, -1);  // into gpu.index_buffers
        gpu.vertex_arrays.reserve(import.layout.primitives.size());
        for (const PrimitiveLayout& p : import.layout.primitives) {
            GlVertexArray& vao = gpu.vertex_arrays.emplace_back(GlVertexArray::generate());
            glBindVertexArray(vao);
            GLuint elements = 0;
            if (p.element_buffer >= 0 && !indices_apart) elements = gpu.buffers[size_t(p.element_buffer)];
            if (p.element_buffer >= 0 && indices_apart) {
                int& copy = index_copy[size_t(p.element_buffer)];
                if (copy < 0) {
                    copy = static_cast<int>(gpu.index_buffers.size());
                    upload(gpu.index_buffers, GL_ELEMENT_ARRAY_BUFFER, bytes_of(size_t(p.element_buffer)));
                }
                elements = gpu.index_buffers[size_t(copy)];
            }
            build_vertex_array(p, gpu.buffers, elements);
        }
        import.layout.copied_buffers = {};  // on the device now
        // Unbind the vertex array first: unbinding the element buffer while
        // it is bound would take the indices out of it.
        glBindVertexArray(0);
        glBindBuffer(GL_ARRAY_BUFFER, 0);
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
    }
    std::clog << "Number of VAOs: " << gpu.vertex_arrays.size() << std::endl;

    for (const std::string& p : gpu.problems) std::printf("Warn: model %s: %s\n", label.c_str(), p.c_str());
    gpu.layout = std::move(import.layout);
    gpu.render_passes = gpu.layout.render_passes;

    if (import.usable) {
        Animation::build_animations(*this);
    } else {
        // Nothing of an unsound asset is read: no animations, nothing posed.
        animations = std::make_shared<Animation::Animations>();
        skeleton.reset();
        node_animations.clear();
        morph_weights.clear();
        rest_morph_weights.clear();
        has_animations = false;
    }
    if (skeleton) {
        GLint block_bytes = 0;
        glGetIntegerv(GL_MAX_UNIFORM_BLOCK_SIZE, &block_bytes);
        gpu.joint_capacity = block_bytes / Animation::joint_matrix_bytes;
        const size_t joints = skeleton->joints.size();
        if (joints > size_t(gpu.joint_capacity)) {
            // No shader could read them all: drawn as modelled rather than half posed.
            std::printf("Warn: model %s: its skin has %zu joints, more than the %d this device holds; it is "
                        "drawn unposed\n",
                        label.c_str(), joints, int(gpu.joint_capacity));
            skeleton->enabled = false;
            Animation::compute_joint_matrices(*skeleton);
        }
        gpu.matrices_buffer = GlBuffer::generate();
        glBindBuffer(GL_UNIFORM_BUFFER, gpu.matrices_buffer);
        const GLsizeiptr bytes =
            GLsizeiptr(std::clamp<size_t>(joints, 1, size_t(gpu.joint_capacity))) * Animation::joint_matrix_bytes;
        const std::string problem =
            allocate_checked([&] { glBufferData(GL_UNIFORM_BUFFER, bytes, nullptr, GL_DYNAMIC_DRAW); });
        if (problem.empty()) {
            glBindBufferBase(GL_UNIFORM_BUFFER, 0, gpu.matrices_buffer);
        } else {
            std::printf("Warn: model %s: its joint matrices cannot be made: %s; its skin is not posed\n",
                        label.c_str(), problem.c_str());
            gpu.matrices_buffer.reset();  // nothing is uploaded, nothing bound
        }
        glBindBuffer(GL_UNIFORM_BUFFER, 0);
    }
    gpu.ready = true;
}

}  // namespace qh
