#pragma once
// Where the running program's own file is: the player reads its package from
// there, `quill pack` finds the player built beside it.
//
//   std::string me = own_executable_path();   // "" when the system will not say
#include <string>

namespace qh {

std::string own_executable_path();

}  // namespace qh
