// The JPEG pixel kernels: the integer transform against a floating-point
// inverse DCT, the block-internal upsampling rules, and every vector variant
// against the scalar reference bit for bit.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <cstring>
#include <vector>

#include "formats/jpeg/jpeg_kernels.h"
#include "support/test_support.h"

namespace vt {
namespace {

TEST(JpegKernels, IntegerTransformStaysWithinOneOfTheExactOne) {
  const JpegKernels& k = ScalarJpegKernels();
  uint16_t quant[64];
  for (int i = 0; i < 64; ++i) quant[i] = static_cast<uint16_t>(1 + i % 7);
  for (uint32_t seed = 1; seed <= 300; ++seed) {
    const std::vector<uint8_t> r = test::RandomBytes(128, seed);
    int16_t coef[64] = {};
    // Sparse blocks like real ones: a DC and a few low frequencies.
    coef[0] = static_cast<int16_t>((r[0] | r[1] << 8) % 256 - 128);
    for (int i = 1; i < 64; ++i) {
      if (r[2 + i] % (i < 10 ? 2 : 9) == 0) coef[i] = static_cast<int16_t>(r[64 + i] % 41 - 20);
    }
    uint8_t out[64];
    int16_t work[64];
    std::memcpy(work, coef, sizeof coef);
    k.idct(work, quant, out, 8);
    for (int i = 0; i < 64; ++i) ASSERT_EQ(work[i], 0) << "the block is left cleared";
    for (int y = 0; y < 8; ++y) {
      for (int x = 0; x < 8; ++x) {
        double sum = 0;
        for (int v = 0; v < 8; ++v) {
          for (int u = 0; u < 8; ++u) {
            const double cu = u ? 1.0 : std::sqrt(0.5), cv = v ? 1.0 : std::sqrt(0.5);
            sum += cu * cv * coef[v * 8 + u] * quant[v * 8 + u] *
                   std::cos((2 * x + 1) * u * std::numbers::pi / 16) * std::cos((2 * y + 1) * v * std::numbers::pi / 16);
          }
        }
        const double exact = std::clamp(sum / 4 + 128, 0.0, 255.0);
        ASSERT_NEAR(out[y * 8 + x], exact, 1.0) << seed;
      }
    }
  }
}

TEST(JpegKernels, UpsamplingInterpolatesInsideEachBlock) {
  const JpegKernels& k = ScalarJpegKernels();
  const uint8_t in[16] = {0, 40, 80, 120, 160, 200, 240, 255, 10, 10, 10, 10, 10, 10, 10, 90};
  uint8_t out[32];
  k.upsampleH2(out, in, 2);
  EXPECT_EQ(out[0], 0);                // the edge repeats
  EXPECT_EQ(out[1], (0 + 40 + 2) / 4);  // 3a + b
  EXPECT_EQ(out[2], (0 + 120 + 2) / 4);
  EXPECT_EQ(out[15], 255);
  EXPECT_EQ(out[16], 10);  // the next block ignores its neighbour
  EXPECT_EQ(out[31], 90);

  const uint8_t near[8] = {100, 100, 100, 100, 100, 100, 100, 100};
  const uint8_t far[8] = {0, 0, 0, 0, 0, 0, 0, 200};
  k.upsampleV2(out, near, far, 8);
  EXPECT_EQ(out[0], (300 + 0 + 2) / 4);
  EXPECT_EQ(out[7], (300 + 200 + 2) / 4);
  k.upsampleH2V2(out, near, far, 1);
  EXPECT_EQ(out[0], (300 + 2) / 4);                    // (sum + 2) / 4 at the edge
  EXPECT_EQ(out[13], (3 * 300 + 500 + 8) / 16);        // between the sums 300 and 500
  EXPECT_EQ(out[15], (500 + 2) / 4);
}

// Runs the scalar and the vector transform on copies of one block, at an
// offset inside wider rows, and compares every byte written and the cleared
// coefficients.
void ExpectSameTransform(const JpegKernels& s, const JpegKernels& v, const int16_t* coef,
                         const uint16_t* quant, size_t stride, size_t offset, uint32_t seed) {
  std::vector<uint8_t> a(stride * 8 + offset, 7), b(a.size(), 7);
  int16_t ca[64], cb[64];
  std::memcpy(ca, coef, sizeof ca);
  std::memcpy(cb, coef, sizeof cb);
  s.idct(ca, quant, a.data() + offset, stride);
  v.idct(cb, quant, b.data() + offset, stride);
  ASSERT_EQ(a, b) << seed << " stride " << stride;
  for (int i = 0; i < 64; ++i) ASSERT_EQ(cb[i], 0) << seed;
}

TEST(JpegKernels, VectorTransformEqualsTheScalarReference) {
  const JpegKernels* v = Sse2JpegKernels();
  if (!v) GTEST_SKIP() << "no vector variant in this build";
  const JpegKernels& s = ScalarJpegKernels();
  for (uint32_t seed = 1; seed <= 2000; ++seed) {
    const std::vector<uint8_t> r = test::RandomBytes(1024, seed);
    int16_t coef[64];
    uint16_t quant[64];
    for (int i = 0; i < 64; ++i) {
      coef[i] = static_cast<int16_t>(r[2 * i] | r[2 * i + 1] << 8);
      if (seed % 3) coef[i] = static_cast<int16_t>(coef[i] % (seed % 2 ? 64 : 2048));
      if (static_cast<uint32_t>(i) > seed % 64 && seed % 5) coef[i] = 0;
      quant[i] = static_cast<uint16_t>(seed % 7 ? 1 + r[256 + i] % 64 : r[256 + i] << 8 | r[512 + i]);
    }
    // Shapes the shortcuts look for: DC alone, one row, one column, nothing.
    switch (seed % 11) {
      case 1:
        std::fill(coef + 1, coef + 64, int16_t{0});
        break;
      case 2:
        std::fill(coef + 8, coef + 64, int16_t{0});
        break;
      case 3:
        for (int i = 0; i < 64; ++i) {
          if (i % 8) coef[i] = 0;
        }
        break;
      case 4:
        std::fill(coef, coef + 64, int16_t{0});
        break;
      case 5:  // extremes that saturate and wrap
        for (int i = 0; i < 64; ++i) coef[i] = r[600 + i] & 1 ? 32767 : -32768;
        break;
      default:
        break;
    }
    const size_t stride = 8 + (seed % 4) * 13;
    ExpectSameTransform(s, *v, coef, quant, stride, seed % 9, seed);
  }
  // Every DC value with the quantisation values that overflow 16 bits.
  uint16_t quant[64];
  std::fill(quant, quant + 64, uint16_t{1});
  for (int dc = -32768; dc <= 32767; dc += 7) {
    int16_t coef[64] = {};
    coef[0] = static_cast<int16_t>(dc);
    quant[0] = static_cast<uint16_t>(1 + (dc & 0xFF));
    ExpectSameTransform(s, *v, coef, quant, 8, 0, static_cast<uint32_t>(dc));
  }
}

TEST(JpegKernels, VectorRowKernelsEqualTheScalarReference) {
  const JpegKernels* v = Sse2JpegKernels();
  if (!v) GTEST_SKIP() << "no vector variant in this build";
  const JpegKernels& s = ScalarJpegKernels();
  for (uint32_t seed = 1; seed <= 500; ++seed) {
    const std::vector<uint8_t> r = test::RandomBytes(1024, seed);
    const size_t n = 1 + seed % 97;
    const size_t off = seed % 13;
    const size_t outOff = seed % 5;
    std::vector<uint8_t> oa(4 * 128 + 64, 3), ob(oa.size(), 3);
    s.upsampleH2(oa.data() + outOff, r.data() + off, (n + 7) / 8);
    v->upsampleH2(ob.data() + outOff, r.data() + off, (n + 7) / 8);
    ASSERT_EQ(oa, ob) << seed;
    s.upsampleV2(oa.data() + outOff, r.data() + off, r.data() + 300, n);
    v->upsampleV2(ob.data() + outOff, r.data() + off, r.data() + 300, n);
    ASSERT_EQ(oa, ob) << seed;
    s.upsampleH2V2(oa.data() + outOff, r.data() + off, r.data() + 300, (n + 7) / 8);
    v->upsampleH2V2(ob.data() + outOff, r.data() + off, r.data() + 300, (n + 7) / 8);
    ASSERT_EQ(oa, ob) << seed;
    s.interleave3(oa.data() + off, r.data(), r.data() + 200, r.data() + 400, n);
    v->interleave3(ob.data() + off, r.data(), r.data() + 200, r.data() + 400, n);
    ASSERT_EQ(oa, ob) << seed;
    s.interleave4(oa.data() + outOff, r.data(), r.data() + 200, r.data() + 400, r.data() + 600, n);
    v->interleave4(ob.data() + outOff, r.data(), r.data() + 200, r.data() + 400, r.data() + 600, n);
    ASSERT_EQ(oa, ob) << seed;
    s.yccToBgra(oa.data() + outOff, r.data() + off, r.data() + 200, r.data() + 400, n);
    v->yccToBgra(ob.data() + outOff, r.data() + off, r.data() + 200, r.data() + 400, n);
    ASSERT_EQ(oa, ob) << seed;
  }
}

TEST(JpegKernels, VectorColourConversionEqualsTheScalarOneForEveryChromaPair) {
  const JpegKernels* v = Sse2JpegKernels();
  if (!v) GTEST_SKIP() << "no vector variant in this build";
  const JpegKernels& s = ScalarJpegKernels();
  constexpr size_t kPairs = 256 * 256;
  std::vector<uint8_t> cb(kPairs), cr(kPairs);
  for (size_t i = 0; i < kPairs; ++i) {
    cb[i] = static_cast<uint8_t>(i);
    cr[i] = static_cast<uint8_t>(i >> 8);
  }
  for (uint32_t seed = 1; seed <= 3; ++seed) {
    // Luma at both ends and in between, so that every clamp is reached.
    std::vector<uint8_t> y = test::RandomBytes(kPairs, seed);
    if (seed == 2) std::fill(y.begin(), y.end(), uint8_t{0});
    if (seed == 3) std::fill(y.begin(), y.end(), uint8_t{255});
    std::vector<uint8_t> a(4 * kPairs), b(4 * kPairs);
    s.yccToBgra(a.data(), y.data(), cb.data(), cr.data(), kPairs);
    v->yccToBgra(b.data(), y.data(), cb.data(), cr.data(), kPairs);
    ASSERT_EQ(a, b) << seed;
  }
}

}  // namespace
}  // namespace vt
