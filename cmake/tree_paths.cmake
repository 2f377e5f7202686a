# qh_tree_paths: where the source tree and this build are, for the tests,
# the benchmarks and the fuzz seeds (tests/support/tree_paths.h), in one
# generated source. Every other object of theirs is the same in any clone, so
# the compiler cache serves them to a clone in another folder.
if(QH_PORTABLE_PLAYER)
  set(_packed_player_build ${CMAKE_BINARY_DIR}/portable/quillharbor)
else()
  set(_packed_player_build ${CMAKE_BINARY_DIR}/quillharbor)
endif()
file(CONFIGURE OUTPUT ${PROJECT_BINARY_DIR}/generated/tree_paths.cpp @ONLY CONTENT [[
#include "support/tree_paths.h"

namespace qh::test {
std::filesystem::path source_dir() { return "@CMAKE_SOURCE_DIR@"; }
std::filesystem::path build_dir() { return "@CMAKE_BINARY_DIR@"; }
std::filesystem::path packed_player_build() { return "@_packed_player_build@"; }
}  // namespace qh::test
]])
add_library(qh_tree_paths STATIC ${PROJECT_BINARY_DIR}/generated/tree_paths.cpp)
target_include_directories(qh_tree_paths PUBLIC ${CMAKE_SOURCE_DIR}/tests)
