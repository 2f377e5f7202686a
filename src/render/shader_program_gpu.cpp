// Device side of ShaderProgram: compile, link, look the uniforms up.
#include <GL/glew.h>

#include <cstdio>

#include "render/shader_program.h"

namespace qh {

namespace {

// Drivers' logs longer than this are cut; the player has always kept 1 KiB.
constexpr GLsizei log_capacity = 1024;

void compile(const GlShader& shader, const std::string& source, std::string& status_text) {
    const GLchar* text = source.data();
    const GLint length = static_cast<GLint>(source.size());
    glShaderSource(shader, 1, &text, &length);
    glCompileShader(shader);

    char log[log_capacity];
    GLsizei written = 0;
    glGetShaderInfoLog(shader, log_capacity, &written, log);
    if (written > 0) {
        std::printf("%s\n", log);
        status_text.assign(log, static_cast<size_t>(written));
    } else {
        status_text = "Compilation successful.";
    }
}

// Lookup order of the location table's first part, up to the attribute.
constexpr StandardUniform effect_uniforms[] = {
    StandardUniform::beat, StandardUniform::iTime2, StandardUniform::sound,
    StandardUniform::sound_texture,
};
constexpr StandardUniform view_uniforms[] = {
    StandardUniform::resolution, StandardUniform::camera_position,
    StandardUniform::camera_rotation, StandardUniform::nodeIdx,
};
constexpr StandardUniform model_uniforms[] = {
    StandardUniform::uModelViewProjMatrix, StandardUniform::uModelViewMatrix,
    StandardUniform::uNormalMatrix,        StandardUniform::uModelMatrix,
    StandardUniform::uLightMVPMatrix,      StandardUniform::uBaseColorTexture,
    StandardUniform::uBaseColorFactor,     StandardUniform::uMetallicFactor,
    StandardUniform::uRougnessFactor,      StandardUniform::uMetallicRoughnessTexture,
    StandardUniform::uShadowMapTexture,    StandardUniform::uIsShadowRenderPass,
    StandardUniform::uTag,                 StandardUniform::uInstance,
};

}  // namespace

void ShaderProgram::rebuild(ProgramTable include_sources) {
    gpu.program.reset();
    gpu.vertex_shader = GlShader::create(GL_VERTEX_SHADER);
    gpu.fragment_shader = GlShader::create(GL_FRAGMENT_SHADER);
    gpu.linked = false;
    gpu.locations.fill(-1);
    gpu.vp_location = -1;
    gpu.matrices_block = GL_INVALID_INDEX;
    for (UniformDef& def : uniform_defs) def.gpu.location = -1;

    compile(gpu.vertex_shader, vertex_shader_source, gpu.status_text);
    gpu.expanded_fragment_source = include_sources.empty()
                                       ? fragment_shader_source
                                       : expand_includes(fragment_shader_source,
                                                         include_sources, this);
    // Each compile replaces the status, so it ends up describing the fragment stage.
    compile(gpu.fragment_shader, gpu.expanded_fragment_source, gpu.status_text);

    gpu.program = GlProgram::create();
    glAttachShader(gpu.program, gpu.vertex_shader);
    glAttachShader(gpu.program, gpu.fragment_shader);
    glLinkProgram(gpu.program);
    char log[log_capacity];
    GLsizei written = 0;
    glGetProgramInfoLog(gpu.program, log_capacity, &written, log);
    if (written > 0) {
        std::printf("LINKER ERROR: %s\n", log);
        gpu.status_text += "\nLINKER ERROR: ";
        gpu.status_text.append(log, static_cast<size_t>(written));
    }
    GLint linked = GL_FALSE;
    glGetProgramiv(gpu.program, GL_LINK_STATUS, &linked);
    gpu.linked = linked == GL_TRUE;
    // A failed program keeps every location at -1; asking an unlinked
    // program for locations would only raise GL errors.
    if (!gpu.linked) return;

    const GLuint prog = gpu.program;
    auto look_up = [&](StandardUniform which) {
        gpu.locations[static_cast<size_t>(which)] =
            glGetUniformLocation(prog, standard_uniform_name(which));
    };
    for (StandardUniform u : effect_uniforms) look_up(u);
    for (int i = 0; i < sampler_slot_count; ++i) {
        look_up(static_cast<StandardUniform>(static_cast<int>(StandardUniform::tex0) + i));
    }
    for (StandardUniform u : view_uniforms) look_up(u);
    gpu.vp_location = glGetAttribLocation(prog, "vp");

    glGetError();
    gpu.matrices_block = glGetUniformBlockIndex(prog, "MatricesBlock");
    if (gpu.matrices_block != GL_INVALID_INDEX) glUniformBlockBinding(prog, gpu.matrices_block, 0);
    if (glGetError() != GL_NO_ERROR) std::printf("Error\n");

    for (UniformDef& def : uniform_defs) def.gpu.location = glGetUniformLocation(prog, def.name.c_str());
    for (StandardUniform u : model_uniforms) look_up(u);
}

void ShaderProgram::use() const {
    if (gpu.linked) glUseProgram(gpu.program);
}

int32_t ShaderProgram::location_of(const std::string& uniform) const {
    return gpu.linked ? glGetUniformLocation(gpu.program, uniform.c_str()) : -1;
}

void ShaderProgram::set_float(int32_t location, float v) {
    if (location == -1 || !gpu.linked) return;
    use();
    glUniform1f(location, v);
}

void ShaderProgram::set_int(int32_t location, int32_t v) {
    if (location == -1 || !gpu.linked) return;
    use();
    glUniform1i(location, v);
}

}  // namespace qh
