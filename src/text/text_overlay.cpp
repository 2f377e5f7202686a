#include "text/text_overlay.h"

#include <GL/glew.h>
#include <SDL.h>
#include <SDL_ttf.h>

#include <algorithm>

#include "render/shader_program.h"

namespace qh {

namespace {

// The quad is the unit square; "rect" (pixels, from the top left) places it.
const char* const vertex_source = R"(#version 150
in vec3 vp;
uniform vec4 rect;
uniform vec2 viewport;
out vec2 uv;
void main() {
    uv = vp.xy;
    vec2 pixel = rect.xy + vp.xy * rect.zw;
    gl_Position = vec4(pixel.x / viewport.x * 2.0 - 1.0, 1.0 - pixel.y / viewport.y * 2.0, 0.0, 1.0);
}
)";

// Rows of the text image are stored top first, as uv runs.
const char* const fragment_source = R"(#version 150
in vec2 uv;
uniform sampler2D tex;
uniform vec4 colour;
uniform int textured;
out vec4 fragColor;
void main() {
    fragColor = textured != 0 ? colour * texture(tex, uv) : colour;
}
)";

const float unit_square[] = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 0, 0, 1, 1, 0, 0, 1, 0};
constexpr int margin = 8;  // panel edge to text, and window edge to panel

}  // namespace

TextOverlay::TextOverlay() = default;

TextOverlay::~TextOverlay() {
    if (font_) TTF_CloseFont(font_);
}

bool TextOverlay::open(const std::string& font_path, int ptsize) {
    font_ = TTF_OpenFont(font_path.c_str(), ptsize);
    if (!font_) {
        error_ = "cannot open the font " + font_path + ": " + TTF_GetError();
        return false;
    }
    program_ = std::make_unique<ShaderProgram>();
    program_->vertex_shader_source = vertex_source;
    program_->fragment_shader_source = fragment_source;
    program_->rebuild();
    if (!program_->usable()) {
        error_ = "the overlay's program does not build: " + program_->gpu.status_text;
        TTF_CloseFont(font_);
        font_ = nullptr;
        return false;
    }
    quad_vertex_array_ = GlVertexArray::generate();
    glBindVertexArray(quad_vertex_array_);
    quad_buffer_ = GlBuffer::generate();
    glBindBuffer(GL_ARRAY_BUFFER, quad_buffer_);
    glBufferData(GL_ARRAY_BUFFER, sizeof unit_square, unit_square, GL_STATIC_DRAW);
    const GLuint vp = static_cast<GLuint>(program_->gpu.vp_location);
    glEnableVertexAttribArray(vp);
    glVertexAttribPointer(vp, 3, GL_FLOAT, GL_FALSE, 0, nullptr);
    glBindVertexArray(0);
    text_ = GlTexture::generate();
    return true;
}

void TextOverlay::set_lines(const std::vector<std::string>& lines, int width) {
    std::string text;
    for (const std::string& l : lines) text += (text.empty() ? "" : "\n") + (l.empty() ? " " : l);
    // The text sits 2 margins in from the left and keeps as much on the right.
    const int wrap = width > 0 ? std::max(width - 4 * margin, 1) : 0;
    if (!font_ || (text == shown_ && wrap == shown_wrap_)) return;
    shown_ = text;
    shown_wrap_ = wrap;
    text_w_ = text_h_ = 0;
    if (text.empty()) return;
    SDL_Surface* rendered =
        TTF_RenderUTF8_Blended_Wrapped(font_, text.c_str(), SDL_Color{255, 255, 255, 255}, uint32_t(wrap));
    if (!rendered) return;
    SDL_Surface* rgba = SDL_ConvertSurfaceFormat(rendered, SDL_PIXELFORMAT_RGBA32, 0);
    SDL_FreeSurface(rendered);
    if (!rgba) return;
    glBindTexture(GL_TEXTURE_2D, text_);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, rgba->pitch / 4);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, rgba->w, rgba->h, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba->pixels);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glBindTexture(GL_TEXTURE_2D, 0);
    text_w_ = rgba->w;
    text_h_ = rgba->h;
    SDL_FreeSurface(rgba);
}

void TextOverlay::draw(int width, int height) {
    if (!font_ || text_w_ == 0 || width <= 0 || height <= 0) return;
    const GLboolean depth = glIsEnabled(GL_DEPTH_TEST);
    const GLboolean blend = glIsEnabled(GL_BLEND);
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glViewport(0, 0, width, height);

    const GLuint p = program_->gpu.program;
    glUseProgram(p);
    glUniform2f(glGetUniformLocation(p, "viewport"), static_cast<float>(width), static_cast<float>(height));
    const GLint rect = glGetUniformLocation(p, "rect");
    const GLint colour = glGetUniformLocation(p, "colour");
    const GLint textured = glGetUniformLocation(p, "textured");
    glBindVertexArray(quad_vertex_array_);

    glUniform4f(rect, margin, margin, static_cast<float>(text_w_ + 2 * margin),
                static_cast<float>(text_h_ + 2 * margin));
    glUniform4f(colour, 0.0f, 0.0f, 0.0f, 0.6f);
    glUniform1i(textured, 0);
    glDrawArrays(GL_TRIANGLES, 0, 6);

    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, text_);
    glUniform1i(glGetUniformLocation(p, "tex"), 0);
    glUniform4f(rect, 2 * margin, 2 * margin, static_cast<float>(text_w_), static_cast<float>(text_h_));
    glUniform4f(colour, 1.0f, 1.0f, 1.0f, 1.0f);
    glUniform1i(textured, 1);
    glDrawArrays(GL_TRIANGLES, 0, 6);

    glBindTexture(GL_TEXTURE_2D, 0);
    glBindVertexArray(0);
    glUseProgram(0);
    if (depth) glEnable(GL_DEPTH_TEST);
    if (!blend) glDisable(GL_BLEND);
}

}  // namespace qh
