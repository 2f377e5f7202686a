#pragma once
// Move-only owners of OpenGL names. Each deletes its name when it is
// destroyed, reset or assigned over; name 0 means "none" and deletes nothing.
// The header pulls in no GL headers, so record classes can keep these in
// their device members and still be read and written without GL.
//
//   GlTexture t = GlTexture::generate();          // glGenTextures
//   glBindTexture(GL_TEXTURE_2D, t);              // converts to the GL name
//   GlTexture made(create_rgba_texture(...));     // adopts a name made elsewhere
//   t = GlTexture();                              // deletes the old name now
//
// Deleting needs the context the name was made in to be current; names of 0
// (never made, or moved from) need none.
#include <cstdint>
#include <utility>

namespace qh {

namespace gl_detail {
void delete_shader(uint32_t name);
void delete_program(uint32_t name);
void delete_buffer(uint32_t name);
void delete_vertex_array(uint32_t name);
void delete_texture(uint32_t name);
void delete_framebuffer(uint32_t name);
}  // namespace gl_detail

template <void (*Delete)(uint32_t)>
class GlName {
public:
    GlName() = default;
    explicit GlName(uint32_t name) : name_(name) {}
    GlName(GlName&& other) noexcept : name_(std::exchange(other.name_, 0)) {}
    GlName& operator=(GlName&& other) noexcept {
        if (this != &other) {
            reset();
            name_ = std::exchange(other.name_, 0);
        }
        return *this;
    }
    GlName(const GlName&) = delete;
    GlName& operator=(const GlName&) = delete;
    ~GlName() { reset(); }

    uint32_t get() const { return name_; }
    operator uint32_t() const { return name_; }  // NOLINT: reads like the GL name it is

    void reset() {
        if (name_ != 0) Delete(std::exchange(name_, 0));
    }

private:
    uint32_t name_ = 0;
};

class GlShader : public GlName<gl_detail::delete_shader> {
public:
    using GlName::GlName;
    static GlShader create(uint32_t type);  // glCreateShader(type)
};

class GlProgram : public GlName<gl_detail::delete_program> {
public:
    using GlName::GlName;
    static GlProgram create();  // glCreateProgram
};

class GlBuffer : public GlName<gl_detail::delete_buffer> {
public:
    using GlName::GlName;
    static GlBuffer generate();
};

class GlVertexArray : public GlName<gl_detail::delete_vertex_array> {
public:
    using GlName::GlName;
    static GlVertexArray generate();
};

class GlTexture : public GlName<gl_detail::delete_texture> {
public:
    using GlName::GlName;
    static GlTexture generate();
};

class GlFramebuffer : public GlName<gl_detail::delete_framebuffer> {
public:
    using GlName::GlName;
    static GlFramebuffer generate();
};

}  // namespace qh
