#pragma once
// A TrueType/OpenType font file carried in the document, used at one point
// size by the text textures that name it.
//
//   Font f;
//   f.read_binary(in);                    // or f.from_json(value, dir)
//   f.font_buffer.data                    // the font file's bytes, never on disk
//
// Binary form: name, filename (packed strings), ptsize (int32), then the font
// bytes (scrambled byte buffer). JSON form: {"name", "filename", "ptsize"}
// plus "font_buffer" (Base64) when embedded; with external files the bytes go
// to the file `filename` instead and are read back from it.
//
// The same font at two sizes is two records with two names. Opening the font
// with the font renderer is device work and does not happen here.
#include <cstdint>
#include <string>
#include <vector>

#include "package/byte_buffer.h"
#include "package/serializable.h"

namespace qh {

class Font : public ISerializable {
public:
    JsonValue to_json(const ProjectDir* external) const override;
    void write_binary(BinaryWriter& out) const override;
    void from_json(const JsonValue& value, const ProjectDir& dir) override;
    void read_binary(BinaryReader& in) override;

    std::string name;        // how text textures refer to it in the JSON form
    std::string filename;    // the font file beside the project
    ByteBuffer font_buffer;  // the font file's bytes
    int32_t ptsize = 0;
};

// Members of a font's JSON object that the reader takes in a surprising way
// (a floating "ptsize" reads as 0, a non-text "font_buffer" as an empty
// font...); one warning per finding, for the packer to print.
void lint_font_json(const JsonValue& value, std::vector<std::string>& warnings);

}  // namespace qh
