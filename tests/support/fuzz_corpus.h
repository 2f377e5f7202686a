#pragma once
// A file of the fuzz corpora (fuzz/corpus/<target>/NAME), for the tiers that
// define QH_FUZZ_CORPUS_DIR (unit and gl).
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace qh::test {

inline std::vector<uint8_t> fuzz_corpus_file(const std::string& name) {
    std::ifstream in(std::string(QH_FUZZ_CORPUS_DIR) + "/" + name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

}  // namespace qh::test
