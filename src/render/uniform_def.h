#pragma once
// One tunable float uniform of a fragment shader: its GLSL name (also the name
// of the event curve that animates it), an editing range and a default value.
// A ShaderProgram owns its definitions in file order and reads and writes them
// as part of its own forms.
//
//   UniformDef def;                       // range 0..1, default 0
//   def.from_json(obj, dir);              // a missing "max_val" reads as 0
//   def.gpu.location                      // set by the program after linking
//   def.upload_default();                 // program current; needs GL
//
// The range is carried for editing only; nothing clamps to it.
#include <cstdint>
#include <string>
#include <vector>

#include "package/serializable.h"

namespace qh {

class UniformDef : public ISerializable {
public:
    JsonValue to_json(const ProjectDir* external) const override;
    void write_binary(BinaryWriter& out) const override;
    void from_json(const JsonValue& value, const ProjectDir& dir) override;
    void read_binary(BinaryReader& in) override;

    // Smallest binary record: an empty stored name and three floats.
    static constexpr size_t min_binary_size = 8 + 3 * 4;

    std::string name;
    float min_val = 0.0f;
    float max_val = 1.0f;
    float default_val = 0.0f;

    // Device side: sets the uniform of the owning program, which must be
    // current; a location of -1 is skipped. Both the defaults and the event
    // curves go through here, so the GLSL uniform is a float.
    void upload(float value) const;
    void upload_default() const { upload(default_val); }

    // Not persisted; the owning program fills it after every link.
    struct Gpu {
        int32_t location = -1;  // -1: not an active uniform, never uploaded
    } gpu;
};

// Warns about members that read as something the author did not write (a
// number written as 5 instead of 5.0 reads as 0; so does a missing "max_val").
void lint_uniform_def_json(const JsonValue& value, std::vector<std::string>& warnings);

}  // namespace qh
