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
// The same font at two sizes is two records with two names.
//
// Device side (the font renderer initialised, TTF_Init):
//   f.open();                  // from font_buffer, at ptsize
//   f.handle();                // the renderer's font, null when it did not open
//   f.gpu.error                // why not (also printed as a "Warn:" line)
// The renderer reads glyphs from the bytes lazily, so the bytes and the
// stream over them stay as long as the font; reading the record again closes
// the font first.
#include <cstdint>
#include <string>
#include <vector>

#include "core/device_state.h"
#include "package/byte_buffer.h"
#include "package/serializable.h"
#include "text/device_handle.h"

struct SDL_RWops;
typedef struct _TTF_Font TTF_Font;  // as the font renderer's header declares it

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

    // ---- Device side: needs the font renderer ----

    // Opens the bytes at `ptsize` (closing what was open). A font that does
    // not open leaves a null handle, says why in gpu.error and prints it.
    void open();
    void realize() { open(); }
    // Ready once open; failed with SDL_ttf's reason; not built before open.
    DeviceState device_state() const;
    TTF_Font* handle() const { return gpu.font.get(); }

    // Not persisted. The stream is declared first so that it outlives the
    // font that reads from it.
    struct Gpu {
        DeviceHandle<SDL_RWops> stream;  // over font_buffer, never owning the bytes
        DeviceHandle<TTF_Font> font;
        bool tried = false;              // open() ran
        std::string error;               // empty when the font opened
    } gpu;

private:
    void close();
};

// Members of a font's JSON object that the reader takes in a surprising way
// (a floating "ptsize" reads as 0, a non-text "font_buffer" as an empty
// font...); one warning per finding, for the packer to print.
void lint_font_json(const JsonValue& value, std::vector<std::string>& warnings);

}  // namespace qh
