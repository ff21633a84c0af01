// The pixel kernels of the readers: every vector variant against the scalar
// reference bit for bit (JPEG transform, upsampling and colour conversion, PNG
// unfiltering, bitmap rows), and the scalar references against arithmetic
// worked out here (a floating-point inverse DCT, filter rows by hand).
#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <vector>

#include "formats/bmp/bmp_rows.h"
#include "formats/jpeg/jpeg_kernels.h"
#include "formats/png/png_filter.h"
#include "reader_test_util.h"

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
                   std::cos((2 * x + 1) * u * std::numbers::pi / 16) *
                   std::cos((2 * y + 1) * v * std::numbers::pi / 16);
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
  EXPECT_EQ(out[0], 0);                 // the edge repeats
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
  EXPECT_EQ(out[0], (300 + 2) / 4);              // (sum + 2) / 4 at the edge
  EXPECT_EQ(out[13], (3 * 300 + 500 + 8) / 16);  // between the sums 300 and 500
  EXPECT_EQ(out[15], (500 + 2) / 4);
}

TEST(JpegKernels, VectorKernelsEqualTheScalarReference) {
  const JpegKernels* v = Sse2JpegKernels();
  if (!v) GTEST_SKIP() << "no vector variant in this build";
  const JpegKernels& s = ScalarJpegKernels();
  // The transform on copies of one block at an offset inside wider rows: every
  // byte written and the cleared coefficients.
  auto transform = [&](const int16_t* coef, const uint16_t* quant, size_t stride, size_t offset) {
    std::vector<uint8_t> a(stride * 8 + offset, 7), b(a.size(), 7);
    int16_t ca[64], cb[64];
    std::memcpy(ca, coef, sizeof ca);
    std::memcpy(cb, coef, sizeof cb);
    s.idct(ca, quant, a.data() + offset, stride);
    v->idct(cb, quant, b.data() + offset, stride);
    return a == b && std::all_of(cb, cb + 64, [](int16_t c) { return c == 0; });
  };
  for (uint32_t seed = 1; seed <= 2000; ++seed) {
    const std::vector<uint8_t> r = test::RandomBytes(1024, seed);
    int16_t coef[64];
    uint16_t quant[64];
    for (int i = 0; i < 64; ++i) {
      coef[i] = static_cast<int16_t>(r[2 * i] | r[2 * i + 1] << 8);
      if (seed % 3) coef[i] = static_cast<int16_t>(coef[i] % (seed % 2 ? 64 : 2048));
      if (static_cast<uint32_t>(i) > seed % 64 && seed % 5) coef[i] = 0;
      // Shapes the shortcuts look for: DC alone, one row, one column, nothing;
      // extremes that saturate and wrap.
      const int shape = seed % 11;
      if ((shape == 1 && i) || (shape == 2 && i >= 8) || (shape == 3 && i % 8) || shape == 4)
        coef[i] = 0;
      if (shape == 5) coef[i] = r[600 + i] & 1 ? 32767 : -32768;
      quant[i] =
          static_cast<uint16_t>(seed % 7 ? 1 + r[256 + i] % 64 : r[256 + i] << 8 | r[512 + i]);
    }
    ASSERT_TRUE(transform(coef, quant, 8 + (seed % 4) * 13, seed % 9)) << seed;
  }
  // Every DC value with the quantisation values that overflow 16 bits.
  uint16_t quant[64];
  std::fill(quant, quant + 64, uint16_t{1});
  for (int dc = -32768; dc <= 32767; dc += 7) {
    const int16_t coef[64] = {static_cast<int16_t>(dc)};
    quant[0] = static_cast<uint16_t>(1 + (dc & 0xFF));
    ASSERT_TRUE(transform(coef, quant, 8, 0)) << dc;
  }
  // The row kernels on random rows of many lengths and offsets.
  for (uint32_t seed = 1; seed <= 500; ++seed) {
    const std::vector<uint8_t> r = test::RandomBytes(1024, seed);
    const uint8_t *in = r.data() + seed % 13, *b = r.data() + 200, *c = r.data() + 400;
    const size_t n = 1 + seed % 97, blocks = (n + 7) / 8, o = seed % 5;
    auto same = [&](auto run) {
      std::vector<uint8_t> oa(4 * 128 + 64, 3), ob(oa.size(), 3);
      run(s, oa.data() + o);
      run(*v, ob.data() + o);
      return oa == ob;
    };
    ASSERT_TRUE(same([&](const JpegKernels& k, uint8_t* out) { k.upsampleH2(out, in, blocks); }))
        << seed;
    ASSERT_TRUE(same([&](const JpegKernels& k, uint8_t* out) {
      k.upsampleV2(out, in, r.data() + 300, n);
    })) << seed;
    ASSERT_TRUE(same([&](const JpegKernels& k, uint8_t* out) {
      k.upsampleH2V2(out, in, r.data() + 300, blocks);
    })) << seed;
    ASSERT_TRUE(same([&](const JpegKernels& k, uint8_t* out) {
      k.interleave3(out, r.data(), b, c, n);
    })) << seed;
    ASSERT_TRUE(same([&](const JpegKernels& k, uint8_t* out) {
      k.interleave4(out, r.data(), b, c, r.data() + 600, n);
    }));
    ASSERT_TRUE(same([&](const JpegKernels& k, uint8_t* out) { k.yccToBgra(out, in, b, c, n); }))
        << seed;
  }
  // The colour conversion for every chroma pair, with luma random, 0 and 255
  // so that every clamp is reached.
  constexpr size_t kPairs = 256 * 256;
  std::vector<uint8_t> cb(kPairs), cr(kPairs);
  for (size_t i = 0; i < kPairs; ++i)
    cb[i] = static_cast<uint8_t>(i), cr[i] = static_cast<uint8_t>(i >> 8);
  for (int luma : {-1, 0, 255}) {
    std::vector<uint8_t> y = test::RandomBytes(kPairs, 1), a(4 * kPairs), b(4 * kPairs);
    if (luma >= 0) std::fill(y.begin(), y.end(), uint8_t(luma));
    s.yccToBgra(a.data(), y.data(), cb.data(), cr.data(), kPairs);
    v->yccToBgra(b.data(), y.data(), cb.data(), cr.data(), kPairs);
    ASSERT_EQ(a, b) << luma;
  }
}

TEST(PngFilter, VectorUnfilteringEqualsTheScalarReference) {
  const PngFilterKernels* scalar = PngFilterKernelsFor(PngFilterLevel::Scalar);
  for (PngFilterLevel level : {PngFilterLevel::Sse2, PngFilterLevel::Ssse3}) {
    const PngFilterKernels* vector = PngFilterKernelsFor(level);
    if (!vector) continue;  // not on this processor
    uint32_t seed = 1;
    for (uint32_t bpp = 1; bpp <= kPngMaxFilterBpp; ++bpp) {
      for (size_t n : {0, 1, 3, 4, 7, 12, 15, 16, 17, 31, 48, 100, 333, 1024}) {
        for (size_t offset = 0; offset < 4; ++offset) {
          const std::vector<uint8_t> row = test::RandomBytes(n + 64, seed++);
          const std::vector<uint8_t> prev = test::RandomBytes(n + 64, seed++);
          for (uint8_t filter = 1; filter <= 4; ++filter) {
            std::vector<uint8_t> a = row, b = row;
            UnfilterPngRow(*scalar, filter, a.data() + offset, prev.data() + offset, n, bpp);
            UnfilterPngRow(*vector, filter, b.data() + offset, prev.data() + offset, n, bpp);
            ASSERT_EQ(a, b) << "level " << int(level) << " filter " << int(filter) << " bpp " << bpp
                            << " n " << n << " offset " << offset;
          }
        }
      }
    }
  }
}

// The reference on rows worked out by hand (3 bytes per pixel).
TEST(PngFilter, ScalarReference) {
  const PngFilterKernels* k = PngFilterKernelsFor(PngFilterLevel::Scalar);
  const uint8_t prev[6] = {10, 20, 30, 40, 50, 60};
  const struct {
    uint8_t filter;
    std::vector<uint8_t> row, want;
  } kRows[] = {
      {1, {1, 2, 3, 4, 5, 6}, {1, 2, 3, 5, 7, 9}},
      {2, {1, 2, 3, 4, 5, 6}, {11, 22, 33, 44, 55, 66}},
      // 1 + 5, 2 + 10, 3 + 15, then 4 + (6 + 40) / 2, 5 + (12 + 50) / 2, 6 + (18 + 60) / 2
      {3, {1, 2, 3, 4, 5, 6}, {6, 12, 18, 27, 36, 45}},
      // The first pixel takes the byte above; then a = 11, b = 40, c = 10:
      // p = 41, pa = 30, pb = 1, pc = 31 -> b.
      {4, {1, 1, 1, 1, 1, 1}, {11, 21, 31, 41, 51, 61}},
      {5, {7, 8, 9, 1, 2, 3}, {7, 8, 9, 1, 2, 3}},  // unknown: left alone
  };
  for (auto r : kRows) {
    UnfilterPngRow(*k, r.filter, r.row.data(), prev, 6, 3);
    EXPECT_EQ(r.row, r.want) << int(r.filter);
  }
}

TEST(BmpRows, VectorEqualsScalarOnRandomRows) {
  const BmpRowKernels* scalar = BmpRowKernelsFor(BmpKernelLevel::Scalar);
  const BmpRowKernels* ssse3 = BmpRowKernelsFor(BmpKernelLevel::Ssse3);
  if (!ssse3) GTEST_SKIP() << "no SSSE3 on this processor or build";
  uint32_t seed = 1;
  alignas(16) static uint8_t want[4 * 4099 + 64], got[4 * 4099 + 64];
  for (size_t n : {0, 1, 2, 5, 15, 16, 17, 31, 32, 33, 47, 64, 100, 255, 1000, 4099}) {
    for (size_t dst = 0; dst < 16; dst += 4) {
      for (size_t src : {0, 1, 3, 7}) {
        // The source ends exactly at the end of its allocation, so a read past
        // the n pixels shows up under the address sanitizer.
        const std::vector<uint8_t> in = test::RandomBytes(3 * n + src, ++seed);
        std::memset(want, 0xAB, sizeof want);
        std::memset(got, 0xAB, sizeof got);
        scalar->bgr24ToBgra32Streaming(want + dst, in.data() + src, n);
        ssse3->bgr24ToBgra32Streaming(got + dst, in.data() + src, n);
        ssse3->finishStreaming();
        ASSERT_EQ(0, std::memcmp(want, got, sizeof got)) << n << " " << dst << " " << src;
        if (n) {
          EXPECT_EQ(want[dst + 4 * n - 1], 0xFF);
        }
        EXPECT_EQ(want[dst + 4 * n], 0xAB);  // nothing beyond the row
      }
    }
  }
}

// 2048 x 2048 at 24 bits is a 16 MiB plane: the streaming path of the display decode.
TEST(BmpRows, LargePlaneDecodesLikeTheReference) {
  constexpr uint32_t kSide = 2048, kRow = kSide * 3;
  std::string f = "BM" + test::Le(54 + kRow * kSide, 4) + test::Le(0, 4) + test::Le(54, 4) +
                  test::Le(40, 4) + test::Le(kSide, 4) + test::Le(kSide, 4) + test::Le(1, 2) +
                  test::Le(24, 2) + std::string(24, '\0');
  const std::vector<uint8_t> pixels = test::RandomBytes(size_t{kRow} * kSide, 77);
  f.append(pixels.begin(), pixels.end());
  test::Loaded l = test::Load(f, u"big.bmp", {.display = true});
  ASSERT_TRUE(l.Ok());
  for (uint32_t y = 0; y < kSide; ++y) {
    const uint8_t* src = pixels.data() + size_t{kSide - 1 - y} * kRow;
    for (uint32_t x = 0; x < kSide; ++x) {
      const uint8_t want[4] = {src[3 * x], src[3 * x + 1], src[3 * x + 2], 0xFF};
      ASSERT_EQ(0, std::memcmp(l.image->Row(y) + 4 * x, want, 4)) << x << ", " << y;
    }
  }
}

}  // namespace
}  // namespace vt
