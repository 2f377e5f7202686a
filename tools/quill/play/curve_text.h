#pragma once
// The track view's edits written into project.json's text where the edited
// values stand (package/json_source.h): a changed value replaces its number,
// a new key goes in among its neighbours laid out like them, a deleted key
// leaves with its separator, a changed mode replaces its number. Everything
// else keeps its bytes.
//
//   const CurveText w = write_curves(text, "project.json", demo, editor.touched());
//   if (!w.refused.empty()) tell(w.refused);   // nothing to write
//   else { back up the file; write w.text; }
//
// What is written is read back and must give the document's curves exactly,
// and must raise no finding the file did not have before, so that a save
// never leaves a file that reads otherwise than the picture showed or that
// quill check would refuse.
#include <span>
#include <string>
#include <vector>

#include "document/demo.h"
#include "track_edit.h"

namespace qh::quill {

struct CurveText {
    std::string text;
    // Curves whose stored points were out of order, so that edits in place
    // could not give the document's list: their points were written whole.
    std::vector<std::string> rewritten;
    std::string refused;  // why nothing can be written; empty on success
};

// `text` is project.json as it is on disk now; `curves` are read from `demo`.
CurveText write_curves(const std::string& text, const std::string& source, const Demo& demo,
                       std::span<const CurveId> curves);

}  // namespace qh::quill
