// Device side of ShaderProgram: compile, link, look the uniforms up.
#include <GL/glew.h>

#include <cstdio>

#include "render/shader_program.h"
#include "render/stage_translations.h"

namespace qh {

DeviceState ShaderProgram::device_state() const {
    if (gpu.linked) return DeviceState::made();
    if (gpu.status_text.empty()) return {};  // every build says something
    std::vector<std::string> faults;
    if (!gpu.vertex.ok) faults.push_back("vertex shader did not compile");
    if (!gpu.fragment.ok) faults.push_back("fragment shader did not compile");
    faults.push_back("not linked");
    return DeviceState::failure(std::move(faults));
}

namespace {

// Printed logs are cut at this size: a 1 KiB cut keeps a runaway driver log
// from flooding standard output. `Outcome::log` keeps the whole log.
constexpr GLsizei log_capacity = 1024;

// The whole info log of a shader or program (`Get` is glGetShaderInfoLog or
// glGetProgramInfoLog, `length` what GL said it holds).
template <class GetLog>
std::string info_log(GLuint name, GLint length, GetLog get) {
    if (length <= 0) return {};
    std::string log(static_cast<size_t>(length), '\0');
    GLsizei written = 0;
    get(name, length, &written, log.data());
    log.resize(static_cast<size_t>(written));
    return log;
}

// The part of a log that is printed and shown in `status_text`: what a
// buffer of log_capacity holds with its terminating zero.
std::string first_kib(const std::string& log) {
    return log.substr(0, static_cast<size_t>(log_capacity - 1));
}

const StageTranslations* translations = nullptr;

#ifdef __EMSCRIPTEN__
// The player's own stages are written in what desktop GLSL 1.50 and ESSL 3.00
// share; WebGL2 takes them with its own version line and precisions.
std::string essl_text(const std::string& source) {
    const std::string version = "#version 150";
    if (source.compare(0, version.size(), version) != 0) return source;
    return "#version 300 es\nprecision highp float;\nprecision highp int;\nprecision highp sampler2D;" +
           source.substr(version.size());
}
#endif

// What the device compiles for an authored stage: its translation where the
// page carries one.
std::string device_text(const std::string& source) {
    if (translations) {
        if (const std::string* translated = translations->find(source)) return *translated;
    }
#ifdef __EMSCRIPTEN__
    return essl_text(source);
#else
    return source;
#endif
}

void compile(const GlShader& shader, const std::string& authored, ShaderProgram::Gpu::Outcome& out,
             std::string& status_text) {
    const std::string source = device_text(authored);
    const GLchar* text = source.data();
    const GLint length = static_cast<GLint>(source.size());
    glShaderSource(shader, 1, &text, &length);
    glCompileShader(shader);

    GLint status = GL_FALSE, log_length = 0;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &status);
    glGetShaderiv(shader, GL_INFO_LOG_LENGTH, &log_length);
    out.ok = status == GL_TRUE;
    out.log = info_log(shader, log_length, glGetShaderInfoLog);
    status_text = out.log.empty() ? "Compilation successful." : first_kib(out.log);
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

void use_stage_translations(const StageTranslations* table) { translations = table; }

void ShaderProgram::realize() {
    if (!has_includes()) build();
}

void ShaderProgram::rebuild(ProgramTable include_sources) {
    build(include_sources);
    report_build();
}

void ShaderProgram::report_build() const {
    for (const std::string* log : {&gpu.vertex.log, &gpu.fragment.log}) {
        if (!log->empty()) std::printf("%s\n", first_kib(*log).c_str());
    }
    if (!gpu.link.log.empty()) std::printf("LINKER ERROR: %s\n", first_kib(gpu.link.log).c_str());
    // The driver's lines above name no file, so the report says which one it was.
    if (!gpu.linked) std::printf("Shader build failed: %s\n", fragment_shader_filename.c_str());
}

void ShaderProgram::build(ProgramTable include_sources) {
    gpu.program.reset();
    gpu.vertex_shader = GlShader::create(GL_VERTEX_SHADER);
    gpu.fragment_shader = GlShader::create(GL_FRAGMENT_SHADER);
    gpu.linked = false;
    gpu.locations.fill(-1);
    gpu.vp_location = -1;
    gpu.matrices_block = GL_INVALID_INDEX;
    gpu.matrices_block_bytes = 0;
    gpu.included.clear();
    for (UniformDef& def : uniform_defs) def.gpu.location = -1;

    gpu.compiled_vertex_source = vertex_shader_source;
    compile(gpu.vertex_shader, vertex_shader_source, gpu.vertex, gpu.status_text);
    if (include_sources.empty()) {
        gpu.expanded_fragment_source = fragment_shader_source;
        gpu.fragment_map = SourceMap(fragment_shader_filename);
    } else {
        gpu.expanded_fragment_source =
            expand_includes(fragment_shader_source, include_sources, this, &gpu.included,
                            &gpu.fragment_map, fragment_shader_filename);
    }
    // Each compile replaces the status, so it ends up describing the fragment stage.
    compile(gpu.fragment_shader, gpu.expanded_fragment_source, gpu.fragment, gpu.status_text);

    gpu.program = GlProgram::create();
    glAttachShader(gpu.program, gpu.vertex_shader);
    glAttachShader(gpu.program, gpu.fragment_shader);
    glLinkProgram(gpu.program);
    GLint linked = GL_FALSE, log_length = 0;
    glGetProgramiv(gpu.program, GL_LINK_STATUS, &linked);
    glGetProgramiv(gpu.program, GL_INFO_LOG_LENGTH, &log_length);
    gpu.link.ok = linked == GL_TRUE;
    gpu.link.log = info_log(gpu.program, log_length, glGetProgramInfoLog);
    if (!gpu.link.log.empty()) gpu.status_text += "\nLINKER ERROR: " + first_kib(gpu.link.log);
    gpu.linked = gpu.link.ok;
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
    if (gpu.matrices_block != GL_INVALID_INDEX) {
        glUniformBlockBinding(prog, gpu.matrices_block, 0);
        glGetActiveUniformBlockiv(prog, gpu.matrices_block, GL_UNIFORM_BLOCK_DATA_SIZE, &gpu.matrices_block_bytes);
    }
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
