#pragma once
// Names that refer to nothing. The readers turn such a name into a null link
// or let a curve fall back to its default, and the demo plays on without it;
// these findings say which record holds the name, what it names and, when one
// is close, the name it was likely meant to be.
//
//   const JsonValue project = read_project_json(file);   // the names as written
//   for (const NameFinding& f : dangling_names(demo, &project))
//       puts(f.line().c_str());
//   // event "bg": effect "plasm" names no effect (did you mean "plasma"?)
//   dangling_names(demo, nullptr);   // a package: its null links keep no name
//
// What is found, in the document as read (so both forms agree wherever the
// package keeps the name):
//   - an event's effect, audio sample or group (by its type), a group's
//     member events, an effect's program, scene, textures, text textures and
//     input effects, a text texture's font: a link that resolves to nothing;
//   - an event curve that drives nothing. The player feeds an effect event's
//     curves to the uniform definitions of its effect's program (only those
//     its GLSL declares reach the program), to the text textures of its effect
//     and, when the effect draws a scene, to the camera, light and animation
//     keys; a group event's curves only as "MEMBER.PARAMETER" overrides of an
//     effect member's uniforms and text textures; a sample event's not at all.
//     A uniform the GLSL declares but the program's "uniform_defs" lacks is
//     said so, with the entry to add;
//   - a "<...>" in a text that is no placeholder a text value fills;
//   - a program's `#include "NAME"` naming no other program's fragment file.
// A curve that may be meant for a link that is itself missing (the effect's
// program, a named scene, a text texture for a text, a group's member) is not
// judged: that link is the finding.
#include <string>
#include <vector>

#include "package/json_value.h"

namespace qh {
class Demo;
}

namespace qh::quill {

struct NameFinding {
    const void* record = nullptr;  // the record holding the name (a report's row)
    std::string label;             // event "bg"
    std::string message;           // effect "plasm" names no effect (did you mean "plasma"?)
    // False for a link that has no name to show: in a package, or where the
    // project holds no text (lint_project already warns about that).
    bool named = true;

    std::string line() const { return label + ": " + message; }
};

// `project` is the JSON the document was read from, or null for a package;
// the findings come in table order.
std::vector<NameFinding> dangling_names(const Demo& demo, const JsonValue* project);

// The lines `quill pack` warns with: the named findings.
std::vector<std::string> name_warnings(const std::vector<NameFinding>& findings);

}  // namespace qh::quill
