# Writes the C++ source that carries the parties' rules inside quill:
#   cmake -DOUT=party_files.cpp -DFILES="a.json;b.json" -P embed.cmake
# Each file becomes a PartyFile named after it (party_rules.h).
set(_text "// Made at build time by tools/quill/parties/embed.cmake; do not edit.\n#include \"party_rules.h\"\n\nnamespace qh::quill {\n\nnamespace {\n")
set(_table "")
foreach(_file ${FILES})
  get_filename_component(_name ${_file} NAME_WE)
  file(READ ${_file} _hex HEX)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," _bytes "${_hex}")
  string(REGEX REPLACE "((0x..,){24})" "\\1\n" _bytes "${_bytes}")
  string(APPEND _text "const uint8_t ${_name}_bytes[] = {\n${_bytes}\n};\n")
  string(APPEND _table "    {\"${_name}\", {${_name}_bytes, sizeof ${_name}_bytes}},\n")
endforeach()
string(APPEND _text "const PartyFile files[] = {\n${_table}};\n}  // namespace\n\n"
       "std::span<const PartyFile> built_in_party_files() { return files; }\n\n}  // namespace qh::quill\n")
file(WRITE ${OUT} "${_text}")
