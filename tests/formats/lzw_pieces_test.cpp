// The resumable LZW decoder: a stream decoded a few bytes of output at a time
// gives what one call gives, strings cut at every possible place included.
#include <gtest/gtest.h>

#include <vector>

#include "formats/lzw/lzw.h"
#include "support/test_support.h"

namespace vt {
namespace {

TEST(LzwPieces, AnyPieceSizeGivesTheWholeStream) {
  // Runs make long strings, which the pieces cut in their middles.
  std::vector<uint8_t> in = test::RandomBytes(3000, 5);
  for (size_t i = 0; i < in.size(); i += 97) in.insert(in.begin() + i, 300, in[i]);
  const std::vector<uint8_t> coded = LzwEncodeBytes(in, 8);
  for (size_t piece : {1u, 2u, 3u, 7u, 64u, 4097u}) {
    LzwDecoder decoder(coded);
    std::vector<uint8_t> out(in.size() + 10, 0xEE);
    size_t got = 0;
    LzwDecodeResult r;
    do {
      const size_t room = std::min(piece, out.size() - got);
      r = decoder.Decode(std::span<uint8_t>(out.data() + got, room));
      ASSERT_LE(r.written, room);
      got += r.written;
    } while (r.stop == LzwStop::kOutputFull);
    EXPECT_EQ(r.stop, LzwStop::kEndCode) << piece;
    ASSERT_EQ(got, in.size()) << piece;
    EXPECT_TRUE(std::equal(in.begin(), in.end(), out.begin())) << piece;
    // A finished stream writes nothing more and keeps its end.
    EXPECT_EQ(decoder.Decode(out).written, 0u);
    EXPECT_EQ(decoder.Decode(out).stop, LzwStop::kEndCode);
  }
}

}  // namespace
}  // namespace vt
