#include <gtest/gtest.h>

#include "package/lz_codec.h"

namespace qh {
namespace {

TEST(LzCodec, PlaceholderRoundTrip) {
    const std::string text = "hello hello hello hello";
    auto packed = lz_compress(text);
    DecoderState st;
    lz_decompress(st, packed.data(), packed.size());
    EXPECT_EQ(std::string(st.output.begin(), st.output.end()), text);
}

}  // namespace
}  // namespace qh
