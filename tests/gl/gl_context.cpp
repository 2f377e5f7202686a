#include "gl/gl_context.h"

#include <GL/glew.h>
#include <SDL.h>
#include <SDL_image.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "core/runtime.h"
#include "render/shader_program.h"
#include "platform/gl_window.h"
#include "support/tree_paths.h"

namespace qh::gltest {

namespace {

// Opened once and never closed: GL names owned by static objects of other
// tests may still be released at exit.
void open_context_once() {
    static bool opened = false;
    if (opened) return;
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        std::fprintf(stderr, "GL tests: no video (%s); run them under xvfb-run\n", SDL_GetError());
        std::exit(1);
    }
    set_gl_attributes();  // the player's own
    SDL_Window* window =
        SDL_CreateWindow("gl tests", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED,
                         GlTest::width, GlTest::height, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    SDL_GLContext context = window ? SDL_GL_CreateContext(window) : nullptr;
    if (!context) {
        std::fprintf(stderr, "GL tests: no GL context (%s)\n", SDL_GetError());
        std::exit(1);
    }
    glewExperimental = GL_TRUE;
    glewInit();
    if (!glGenVertexArrays) {
        std::fprintf(stderr, "GL tests: GL entry points missing\n");
        std::exit(1);
    }
    glGetError();  // glewInit may leave GL_INVALID_ENUM behind
    opened = true;
}

// The target every test draws into. A hidden window's back buffer is not
// defined to hold what was drawn (its pixels may belong to no one), so the
// tests draw into a framebuffer object of their own: RGBA8 colour and a
// depth-stencil buffer, the size of the window.
GLuint test_framebuffer() {
    static GLuint framebuffer = 0;
    if (framebuffer) return framebuffer;
    GLuint colour = 0, depth_stencil = 0;
    glGenRenderbuffers(1, &colour);
    glBindRenderbuffer(GL_RENDERBUFFER, colour);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, GlTest::width, GlTest::height);
    glGenRenderbuffers(1, &depth_stencil);
    glBindRenderbuffer(GL_RENDERBUFFER, depth_stencil);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, GlTest::width, GlTest::height);
    glBindRenderbuffer(GL_RENDERBUFFER, 0);
    glGenFramebuffers(1, &framebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, depth_stencil);
    const GLenum status = glCheckFramebufferStatus(GL_FRAMEBUFFER);
    if (status != GL_FRAMEBUFFER_COMPLETE) {
        std::fprintf(stderr, "GL tests: the test framebuffer is incomplete (0x%x)\n", status);
        std::exit(1);
    }
    return framebuffer;
}

// Binds the test framebuffer for reading; pixels come from its colour buffer.
void bind_for_reading() {
    glBindFramebuffer(GL_READ_FRAMEBUFFER, test_framebuffer());
    glReadBuffer(GL_COLOR_ATTACHMENT0);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
}

std::string current_test_name() {
    const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "." + info->name();
    for (char& c : name) {
        if (c == '/') c = '_';
    }
    return name;
}

struct SurfaceFree {
    void operator()(SDL_Surface* s) const { SDL_FreeSurface(s); }
};
using Surface = std::unique_ptr<SDL_Surface, SurfaceFree>;

}  // namespace

std::ostream& operator<<(std::ostream& out, const Rgba& c) {
    return out << "(" << int(c.r) << ", " << int(c.g) << ", " << int(c.b) << ", " << int(c.a) << ")";
}

testing::AssertionResult near(Rgba actual, Rgba expected, int tolerance) {
    const int d[] = {actual.r - expected.r, actual.g - expected.g, actual.b - expected.b,
                     actual.a - expected.a};
    for (int v : d) {
        if (std::abs(v) > tolerance) {
            return testing::AssertionFailure()
                   << actual << " is not within " << tolerance << " of " << expected;
        }
    }
    return testing::AssertionSuccess();
}

FrameContext frame_at(float beat) { return FrameContext::at(beat, runtime().screen); }

void GlTest::SetUp() {
    open_context_once();
    runtime().screen = ScreenSize{width, height, width, height};
    glBindFramebuffer(GL_FRAMEBUFFER, test_framebuffer());
    glViewport(0, 0, width, height);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glClearColor(0, 0, 0, 1);
    glClearDepth(1.0);
    glClearStencil(0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
    while (glGetError() != GL_NO_ERROR) {
    }
}

void GlTest::TearDown() {
    if (HasFailure()) {
        const std::string path = save_back_buffer(current_test_name() + ".png");
        std::fprintf(stderr, "back buffer written to %s\n", path.c_str());
    }
}

std::vector<Rgba> GlTest::read_back() {
    std::vector<Rgba> out(static_cast<size_t>(width) * height);
    bind_for_reading();
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, out.data());
    return out;
}

Rgba GlTest::pixel(int x, int y) {
    Rgba c;
    bind_for_reading();
    glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, &c);
    return c;
}

std::string GlTest::save_back_buffer(const std::string& file_name) {
    const std::vector<Rgba> bottom_up = read_back();
    std::vector<Rgba> top_down(bottom_up.size());
    for (int y = 0; y < height; ++y) {
        std::copy_n(bottom_up.begin() + static_cast<ptrdiff_t>(y) * width, width,
                    top_down.begin() + static_cast<ptrdiff_t>(height - 1 - y) * width);
    }
    const std::filesystem::path dir = qh::test::build_dir() / "gl_failures";
    std::filesystem::create_directories(dir);
    const std::string path = (dir / file_name).string();
    const std::vector<uint8_t> png = encode_png(width, height, top_down, true);
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(png.data(), 1, png.size(), f);
        std::fclose(f);
    }
    return path;
}

std::unique_ptr<ShaderProgram> build_program(
    const std::string& fragment, const std::vector<std::pair<std::string, float>>& uniforms,
    const std::string& vertex) {
    auto p = std::make_unique<ShaderProgram>();
    if (!vertex.empty()) p->vertex_shader_source = vertex;
    p->fragment_shader_source = fragment;
    for (const auto& [name, value] : uniforms) {
        UniformDef& def = p->uniform_defs.emplace_back();
        def.name = name;
        def.default_val = value;
    }
    p->rebuild();
    return p;
}

std::vector<uint8_t> encode_png(int w, int h, const std::vector<Rgba>& pixels, bool with_alpha) {
    Surface rgba(SDL_CreateRGBSurfaceWithFormat(0, w, h, 32, SDL_PIXELFORMAT_RGBA32));
    for (int y = 0; y < h; ++y) {
        std::memcpy(static_cast<uint8_t*>(rgba->pixels) + static_cast<ptrdiff_t>(y) * rgba->pitch,
                    pixels.data() + static_cast<ptrdiff_t>(y) * w, static_cast<size_t>(w) * 4);
    }
    Surface image = with_alpha ? std::move(rgba)
                               : Surface(SDL_ConvertSurfaceFormat(rgba.get(), SDL_PIXELFORMAT_RGB24, 0));
    std::vector<uint8_t> out(static_cast<size_t>(w) * h * 4 + 4096);
    SDL_RWops* stream = SDL_RWFromMem(out.data(), static_cast<int>(out.size()));
    IMG_SavePNG_RW(image.get(), stream, 0);
    out.resize(static_cast<size_t>(SDL_RWtell(stream)));
    SDL_RWclose(stream);
    return out;
}

std::vector<Rgba> texture_texels(uint32_t texture, int* w_out, int* h_out) {
    GLint w = 0, h = 0;
    glBindTexture(GL_TEXTURE_2D, texture);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &h);
    std::vector<Rgba> texels(static_cast<size_t>(w) * static_cast<size_t>(h));
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    if (!texels.empty()) glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    glBindTexture(GL_TEXTURE_2D, 0);
    if (w_out) *w_out = w;
    if (h_out) *h_out = h;
    return texels;
}

}  // namespace qh::gltest
