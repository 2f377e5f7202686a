#pragma once
// Small GL helpers shared by everything that makes textures, and the GL error
// flush. Need a current context.
#include <GL/glew.h>

#include <string>

namespace qh {

// Prints "ERROR! LABEL: CODE" (hex) for every pending GL error, clearing them.
// Always returns 0.
int check_gl_errors(const char* label);
// Drops every pending GL error (a bounded number: a lost context never stops).
void clear_gl_errors();

// A GL_TEXTURE_2D of RGBA bytes with linear filtering; left bound. When the
// device cannot make its storage (device_allocation.h): 0, nothing bound,
// and why in `problem` ("" otherwise).
GLuint create_rgba_texture(int width, int height, const void* pixels, GLint wrap,
                           std::string& problem);

// How many texture units a program may use at once (asked once).
GLint texture_unit_limit();

// A 1x1 texture of one colour, GL_REPEAT on all axes; unbound on return.
GLuint create_color_texture(float r, float g, float b, float a);

}  // namespace qh
