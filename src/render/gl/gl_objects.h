#pragma once
// Move-only owners of OpenGL names. Each deletes its name when it is
// destroyed, reset or assigned over; name 0 means "none" and deletes nothing.
// Neither this header nor the owners' destructors reach GL directly: a name
// carries the function that deletes it, set where the name was made (the
// device side, gl_objects.cpp). So record classes keep these in their `Gpu`
// members and are still read, written and destroyed by code that links no GL.
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

class GlName {
public:
    using Release = void (*)(uint32_t);

    GlName() = default;
    GlName(GlName&& other) noexcept
        : name_(std::exchange(other.name_, 0)), release_(std::exchange(other.release_, nullptr)) {}
    GlName& operator=(GlName&& other) noexcept {
        if (this != &other) {
            reset();
            name_ = std::exchange(other.name_, 0);
            release_ = std::exchange(other.release_, nullptr);
        }
        return *this;
    }
    GlName(const GlName&) = delete;
    GlName& operator=(const GlName&) = delete;
    ~GlName() { reset(); }

    uint32_t get() const { return name_; }
    operator uint32_t() const { return name_; }  // NOLINT: reads like the GL name it is

    void reset() {
        const uint32_t name = std::exchange(name_, 0);
        if (name != 0 && release_) release_(name);
    }

protected:
    GlName(uint32_t name, Release release) : name_(name), release_(release) {}

private:
    uint32_t name_ = 0;
    Release release_ = nullptr;
};

// The adopting constructors and the factories are defined with the device
// code; only code that links GL can make a name.
class GlShader : public GlName {
public:
    GlShader() = default;
    explicit GlShader(uint32_t name);
    static GlShader create(uint32_t type);  // glCreateShader(type)
};

class GlProgram : public GlName {
public:
    GlProgram() = default;
    explicit GlProgram(uint32_t name);
    static GlProgram create();  // glCreateProgram
};

class GlBuffer : public GlName {
public:
    GlBuffer() = default;
    explicit GlBuffer(uint32_t name);
    static GlBuffer generate();
};

class GlVertexArray : public GlName {
public:
    GlVertexArray() = default;
    explicit GlVertexArray(uint32_t name);
    static GlVertexArray generate();
};

class GlTexture : public GlName {
public:
    GlTexture() = default;
    explicit GlTexture(uint32_t name);
    static GlTexture generate();
};

class GlSampler : public GlName {
public:
    GlSampler() = default;
    explicit GlSampler(uint32_t name);
    static GlSampler generate();
};

class GlFramebuffer : public GlName {
public:
    GlFramebuffer() = default;
    explicit GlFramebuffer(uint32_t name);
    static GlFramebuffer generate();
};

}  // namespace qh
