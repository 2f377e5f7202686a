#pragma once
// Records read back from every cut of their bytes.
#include <gtest/gtest.h>

#include <cstdint>
#include <span>
#include <vector>

#include "package/binary_stream.h"
#include "package/errors.h"

namespace qh::test {

// `read` (a function of a BinaryReader) throws FormatError on every prefix of
// `bytes` short of the whole.
template <class Read>
void expect_every_prefix_fails(const std::vector<uint8_t>& bytes, Read read) {
    for (size_t n = 0; n < bytes.size(); ++n) {
        BinaryReader r(std::span<const uint8_t>(bytes.data(), n));
        EXPECT_THROW(read(r), FormatError) << "prefix of " << n << " bytes";
    }
}

}  // namespace qh::test
