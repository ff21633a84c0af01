// The vector unfilter kernels against the scalar reference, bit for bit, on
// random rows of many widths, at many offsets from alignment.
#include <gtest/gtest.h>

#include <vector>

#include "formats/png/png_filter.h"
#include "support/test_support.h"

namespace vt {
namespace {

void CompareWithScalar(PngFilterLevel level) {
  const PngFilterKernels* scalar = PngFilterKernelsFor(PngFilterLevel::Scalar);
  const PngFilterKernels* vector = PngFilterKernelsFor(level);
  if (!vector) GTEST_SKIP() << "instruction set not available";
  uint32_t seed = 1;
  for (uint32_t bpp = 1; bpp <= kPngMaxFilterBpp; ++bpp) {
    for (size_t n : {size_t{0}, size_t{1}, size_t{3}, size_t{4}, size_t{7}, size_t{12},
                     size_t{15}, size_t{16}, size_t{17}, size_t{31}, size_t{48}, size_t{100},
                     size_t{333}, size_t{1024}}) {
      for (size_t offset = 0; offset < 4; ++offset) {
        const std::vector<uint8_t> row = test::RandomBytes(n + 64, seed++);
        const std::vector<uint8_t> prev = test::RandomBytes(n + 64, seed++);
        for (uint8_t filter = 1; filter <= 4; ++filter) {
          std::vector<uint8_t> a = row, b = row;
          UnfilterPngRow(*scalar, filter, a.data() + offset, prev.data() + offset, n, bpp);
          UnfilterPngRow(*vector, filter, b.data() + offset, prev.data() + offset, n, bpp);
          ASSERT_EQ(a, b) << "filter " << int(filter) << " bpp " << bpp << " n " << n
                          << " offset " << offset;
        }
      }
    }
  }
}

TEST(PngFilter, Sse2MatchesScalar) { CompareWithScalar(PngFilterLevel::Sse2); }
TEST(PngFilter, Ssse3MatchesScalar) { CompareWithScalar(PngFilterLevel::Ssse3); }

// The reference itself, on a row worked out by hand (3 bytes per pixel).
TEST(PngFilter, ScalarReference) {
  const PngFilterKernels* k = PngFilterKernelsFor(PngFilterLevel::Scalar);
  const uint8_t prev[6] = {10, 20, 30, 40, 50, 60};
  uint8_t sub[6] = {1, 2, 3, 4, 5, 6};
  UnfilterPngRow(*k, 1, sub, prev, 6, 3);
  EXPECT_EQ(std::vector<uint8_t>(sub, sub + 6), (std::vector<uint8_t>{1, 2, 3, 5, 7, 9}));
  uint8_t avg[6] = {1, 2, 3, 4, 5, 6};
  UnfilterPngRow(*k, 3, avg, prev, 6, 3);
  // 1 + 5, 2 + 10, 3 + 15, then 4 + (6 + 40) / 2, 5 + (12 + 50) / 2, 6 + (18 + 60) / 2
  EXPECT_EQ(std::vector<uint8_t>(avg, avg + 6), (std::vector<uint8_t>{6, 12, 18, 27, 36, 45}));
  uint8_t paeth[6] = {1, 1, 1, 1, 1, 1};
  UnfilterPngRow(*k, 4, paeth, prev, 6, 3);
  // First pixel takes the byte above; then a = 11, b = 40, c = 10: p = 41,
  // pa = 30, pb = 1, pc = 31 -> b.
  EXPECT_EQ(std::vector<uint8_t>(paeth, paeth + 6), (std::vector<uint8_t>{11, 21, 31, 41, 51, 61}));
  uint8_t none[3] = {7, 8, 9};
  UnfilterPngRow(*k, 5, none, prev, 3, 3);
  EXPECT_EQ(std::vector<uint8_t>(none, none + 3), (std::vector<uint8_t>{7, 8, 9}));
}

}  // namespace
}  // namespace vt
