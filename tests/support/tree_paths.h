#pragma once
// Where the source tree and the build are, for the tests, the benchmarks and
// the fuzz seeds. The build writes them into one generated source of its own
// (cmake/tree_paths.cmake), so no other object names the clone's folder and
// the compiler cache serves them to a clone in another folder.
#include <filesystem>

namespace qh::test {

std::filesystem::path source_dir();
// The top build folder: quill, the players, what failed tests leave.
std::filesystem::path build_dir();
// The build the player quill packs by default was stripped from.
std::filesystem::path packed_player_build();

// The sample files the tests read: glTF sample models (each with its licence
// note beside it) and a few of our own, a font, sounds.
inline std::filesystem::path fixtures_dir() { return source_dir() / "tests/data"; }
inline std::filesystem::path fuzz_corpus_dir() { return source_dir() / "fuzz/corpus"; }

}  // namespace qh::test
