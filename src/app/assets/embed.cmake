# Writes a C++ source holding files as byte arrays:
#   cmake -DOUT=file.cpp -DNAMES="a;b" -DFILES="x.png;y.wav" -P embed.cmake
# Each NAME becomes `const std::span<const uint8_t> NAME` in namespace
# qh::embedded, declared in app/loader_assets.h.
set(_text "// Made at build time by embed.cmake; do not edit.\n#include \"app/loader_assets.h\"\n\nnamespace qh::embedded {\n")
list(LENGTH NAMES _n)
math(EXPR _last "${_n} - 1")
foreach(_i RANGE ${_last})
  list(GET NAMES ${_i} _name)
  list(GET FILES ${_i} _file)
  file(READ ${_file} _hex HEX)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," _bytes "${_hex}")
  string(REGEX REPLACE "((0x..,){24})" "\\1\n" _bytes "${_bytes}")
  string(APPEND _text "namespace {\nconst uint8_t ${_name}_bytes[] = {\n${_bytes}\n};\n}  // namespace\n"
         "const std::span<const uint8_t> ${_name}(${_name}_bytes, sizeof ${_name}_bytes);\n\n")
endforeach()
string(APPEND _text "}  // namespace qh::embedded\n")
file(WRITE ${OUT} "${_text}")
