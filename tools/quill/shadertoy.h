#pragma once
// How a fragment file made by `quill shadertoy` counts its lines: the pasted
// shader stands between the header and the main, so a message about one of
// its lines can also say the line as the author pasted it.
//
//   if (int l = pasted_line(program.fragment_shader_source, 36)) ...  // 7: line 7 as pasted
#include <string_view>

namespace qh::quill {

// The line of the pasted shader that line `file_line` of `fragment_text`
// holds; 0 when the text was not made by quill shadertoy or the line is the
// header's or the main's.
int pasted_line(std::string_view fragment_text, int file_line);

}  // namespace qh::quill
