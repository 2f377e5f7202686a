#pragma once
// Lines of text over whatever the bound framebuffer holds, at its top left on
// a translucent dark panel: a tool's heads-up display. It draws where it is
// told and nowhere else, so drawn after a frame's composition and before the
// swap it reaches the window only, never an effect's target or screen copy.
//
//   TTF_Init();                                   // the font renderer, once
//   TextOverlay overlay;
//   if (!overlay.open("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf", 15))
//       report(overlay.error());
//   overlay.set_lines(lines, window_width);       // renders only when they changed
//   glBindFramebuffer(GL_FRAMEBUFFER, 0);
//   overlay.draw(window_width, window_height);
//
// GL context current for open, set_lines and draw; release it before the context.
#include <memory>
#include <string>
#include <vector>

#include "render/gl/gl_objects.h"

typedef struct _TTF_Font TTF_Font;

namespace qh {

class ShaderProgram;

class TextOverlay {
public:
    TextOverlay();
    ~TextOverlay();
    TextOverlay(const TextOverlay&) = delete;
    TextOverlay& operator=(const TextOverlay&) = delete;

    // Opens the font file at `ptsize` and builds the overlay's program; false
    // with error() saying why.
    bool open(const std::string& font_path, int ptsize);
    bool is_open() const { return font_ != nullptr; }
    const std::string& error() const { return error_; }

    // Lines longer than the panel has room for in a framebuffer `width`
    // pixels wide break between words (and within a word longer than the
    // room); 0: they break at their own ends only.
    void set_lines(const std::vector<std::string>& lines, int width = 0);
    // Over a framebuffer of `width` x `height` pixels; sets the viewport to it.
    void draw(int width, int height);

    // Size of the text as last rendered, in pixels.
    int text_width() const { return text_w_; }
    int text_height() const { return text_h_; }

private:
    TTF_Font* font_ = nullptr;
    std::unique_ptr<ShaderProgram> program_;
    GlVertexArray quad_vertex_array_;
    GlBuffer quad_buffer_;
    GlTexture text_;
    std::string shown_;
    int shown_wrap_ = 0;
    int text_w_ = 0, text_h_ = 0;
    std::string error_;
};

}  // namespace qh
