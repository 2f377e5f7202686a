#pragma once
// quill check --party NAME FILE: a packed demo held to a party's rules
// (party_rules.h), one line per rule, passed or not, with the organisers'
// words quoted.
//
//   if (args.has("--party")) return check_party(args);   // from quill check
//
// The systems it runs on come from the player in front of the package (a
// Linux player's glibc floor and libraries, a Windows player's DLLs); size
// and length from the file and the document; resolutions and "the same on
// every run" from frames drawn offline, as quill render draws them, at each
// size the player's window takes on such a screen.
#include "cli.h"

namespace qh::quill {

// Exit status: 0 every rule that binds passed, 1 one failed or FILE cannot
// be read, 2 usage error (an unknown party among them).
int check_party(const Args& args);

}  // namespace qh::quill
