// The bitmap reader's streaming row converter: every variant equals the scalar
// reference bit for bit, and a plane large enough to take the streaming path
// decodes exactly like a small one.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "formats/bmp/bmp_reader.h"
#include "formats/bmp/bmp_rows.h"
#include "image/format_registry.h"
#include "support/test_support.h"

namespace vt {
namespace {

TEST(BmpRows, VectorEqualsScalarOnRandomRows) {
  const BmpRowKernels* scalar = BmpRowKernelsFor(BmpKernelLevel::Scalar);
  const BmpRowKernels* ssse3 = BmpRowKernelsFor(BmpKernelLevel::Ssse3);
  ASSERT_TRUE(scalar);
  if (!ssse3) GTEST_SKIP() << "no SSSE3 on this processor or build";
  uint32_t seed = 1;
  for (size_t n : {0, 1, 2, 5, 15, 16, 17, 31, 32, 33, 47, 64, 100, 255, 1000, 4099}) {
    for (size_t dstOffset = 0; dstOffset < 16; dstOffset += 4) {
      for (size_t srcOffset : {0, 1, 3, 7}) {
        const std::vector<uint8_t> src = test::RandomBytes(3 * n + srcOffset, ++seed);
        // The source ends exactly at the end of its allocation, so a read past
        // the n pixels shows up under the address sanitizer.
        const uint8_t* in = src.data() + srcOffset;
        // Same alignment for both targets.
        alignas(16) static uint8_t wantBuf[4 * 4099 + 64], gotBuf[4 * 4099 + 64];
        std::memset(wantBuf, 0xAB, sizeof wantBuf);
        std::memset(gotBuf, 0xAB, sizeof gotBuf);
        scalar->bgr24ToBgra32Streaming(wantBuf + dstOffset, in, n);
        ssse3->bgr24ToBgra32Streaming(gotBuf + dstOffset, in, n);
        ssse3->finishStreaming();
        ASSERT_EQ(0, std::memcmp(wantBuf, gotBuf, sizeof gotBuf))
            << "n " << n << " dst offset " << dstOffset << " src offset " << srcOffset;
        if (n) {
          EXPECT_EQ(wantBuf[dstOffset + 4 * n - 1], 0xFF);
          EXPECT_EQ(wantBuf[dstOffset + 4 * n], 0xAB);  // nothing beyond the row
        }
      }
    }
  }
}

// 2048 x 2048 at 24 bits is a 16 MiB plane: the streaming path.
TEST(BmpRows, LargePlaneDecodesLikeTheReference) {
  constexpr uint32_t kSide = 2048;
  std::string f = "BM";
  auto put = [&f](uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) f.push_back(static_cast<char>(v >> (8 * i) & 0xFF));
  };
  const uint32_t rowBytes = kSide * 3;
  put(54 + rowBytes * kSide, 4);
  put(0, 4);
  put(54, 4);
  put(40, 4);
  put(kSide, 4);
  put(kSide, 4);
  put(1, 2);
  put(24, 2);
  for (int i = 0; i < 6; ++i) put(0, 4);
  const std::vector<uint8_t> pixels = test::RandomBytes(size_t{rowBytes} * kSide, 77);
  f.append(reinterpret_cast<const char*>(pixels.data()), pixels.size());

  RefPtr<ImageBuffer> image;
  static const FormatRecord record{u"bmp", u"Windows bitmap format", ProbeBmp, CreateBmpReader};
  auto source = MakeMemorySource(u"big.bmp", f);
  RefPtr<ImageReader> reader = CreateBmpReader(source.get(), &record);
  ASSERT_EQ(reader->Open(), status::kOk);
  ASSERT_EQ(MakeTargetBuffer(reader.get(), &image, true, false), status::kOk);
  ASSERT_EQ(reader->DecodeInto(image.get(), false, nullptr, nullptr), status::kOk);
  for (uint32_t y = 0; y < kSide; ++y) {
    const uint8_t* src = pixels.data() + size_t{kSide - 1 - y} * rowBytes;
    const uint8_t* row = image->Row(y);
    for (uint32_t x = 0; x < kSide; ++x) {
      const uint8_t want[4] = {src[3 * x], src[3 * x + 1], src[3 * x + 2], 0xFF};
      ASSERT_EQ(0, std::memcmp(row + 4 * x, want, 4)) << x << ", " << y;
    }
  }
}

}  // namespace
}  // namespace vt
