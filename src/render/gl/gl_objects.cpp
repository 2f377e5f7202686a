#include "render/gl/gl_objects.h"

#include <GL/glew.h>

namespace qh {

namespace {
void delete_shader(uint32_t name) { glDeleteShader(name); }
void delete_program(uint32_t name) { glDeleteProgram(name); }
void delete_buffer(uint32_t name) { glDeleteBuffers(1, &name); }
void delete_vertex_array(uint32_t name) { glDeleteVertexArrays(1, &name); }
void delete_texture(uint32_t name) { glDeleteTextures(1, &name); }
void delete_sampler(uint32_t name) { glDeleteSamplers(1, &name); }
void delete_framebuffer(uint32_t name) { glDeleteFramebuffers(1, &name); }

// One new name from a glGen* call, owned as `Owner`.
template <class Owner, class Generate>
Owner generated(Generate gen) {
    GLuint name = 0;
    gen(1, &name);
    return Owner(name);
}

}  // namespace

GlShader::GlShader(uint32_t name) : GlName(name, delete_shader) {}
GlProgram::GlProgram(uint32_t name) : GlName(name, delete_program) {}
GlBuffer::GlBuffer(uint32_t name) : GlName(name, delete_buffer) {}
GlVertexArray::GlVertexArray(uint32_t name) : GlName(name, delete_vertex_array) {}
GlTexture::GlTexture(uint32_t name) : GlName(name, delete_texture) {}
GlSampler::GlSampler(uint32_t name) : GlName(name, delete_sampler) {}
GlFramebuffer::GlFramebuffer(uint32_t name) : GlName(name, delete_framebuffer) {}

GlShader GlShader::create(uint32_t type) { return GlShader(glCreateShader(type)); }
GlProgram GlProgram::create() { return GlProgram(glCreateProgram()); }

GlBuffer GlBuffer::generate() { return generated<GlBuffer>(glGenBuffers); }
GlVertexArray GlVertexArray::generate() { return generated<GlVertexArray>(glGenVertexArrays); }
GlTexture GlTexture::generate() { return generated<GlTexture>(glGenTextures); }
GlSampler GlSampler::generate() { return generated<GlSampler>(glGenSamplers); }
GlFramebuffer GlFramebuffer::generate() { return generated<GlFramebuffer>(glGenFramebuffers); }

}  // namespace qh
