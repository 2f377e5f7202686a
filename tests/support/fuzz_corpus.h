#pragma once
// A file of the fuzz corpora (fuzz/corpus/<target>/NAME).
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/tree_paths.h"

namespace qh::test {

inline std::vector<uint8_t> fuzz_corpus_file(const std::string& name) {
    std::ifstream in(fuzz_corpus_dir() / name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

}  // namespace qh::test
