#include "image/row_kernels.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <vector>

#include "support/test_support.h"

namespace vt {
namespace {

using test::RandomBytes;

const RowKernels& S() { return *RowKernelsFor(RowKernelLevel::Scalar); }

std::vector<const RowKernels*> VectorSets() {
  std::vector<const RowKernels*> sets;
  for (RowKernelLevel l : {RowKernelLevel::Sse2, RowKernelLevel::Ssse3})
    if (const RowKernels* k = RowKernelsFor(l)) sets.push_back(k);
  return sets;
}

// Runs call with the scalar set and with every vector set on the same random
// input for many widths and start offsets, and requires identical targets,
// including the bytes around the written range. The source vector is exactly as
// long as the call may read, so a sanitizer build catches any over-read.
using KernelCall = std::function<void(const RowKernels&, uint8_t* dst, const uint8_t* src, size_t n)>;
void ExpectVectorEqualsScalar(const char* name, size_t srcBitsPerPixel, size_t dstBytesPerPixel,
                              const KernelCall& call, size_t srcExtra = 0) {
  const auto sets = VectorSets();
  if (sets.empty()) GTEST_SKIP() << "no vector kernels on this processor";
  std::vector<size_t> widths;
  for (size_t n = 0; n <= 70; ++n) widths.push_back(n);
  for (size_t n : {127u, 128u, 129u, 255u, 1000u, 4099u}) widths.push_back(n);
  uint32_t seed = 1;
  for (size_t n : widths) {
    for (size_t offset : {0u, 1u, 3u, 8u, 15u}) {
      ++seed;
      const size_t srcBytes = (n * srcBitsPerPixel + 7) / 8;
      const std::vector<uint8_t> src = RandomBytes(offset + srcBytes + srcExtra, seed);
      const std::vector<uint8_t> start = RandomBytes(offset + n * dstBytesPerPixel + 32, seed + 7);
      std::vector<uint8_t> expected = start;
      call(S(), expected.data() + offset, src.data() + offset, n);
      for (const RowKernels* k : sets) {
        std::vector<uint8_t> got = start;
        call(*k, got.data() + offset, src.data() + offset, n);
        ASSERT_EQ(got, expected) << name << " n=" << n << " offset=" << offset;
      }
    }
  }
}

// memcpy with a size of zero still wants valid pointers; empty rows have none.
void CopyBytes(void* dst, const void* src, size_t n) {
  if (n) std::memcpy(dst, src, n);
}

// Source sizes are in bits per pixel to cover the packed formats.
TEST(RowKernelsVector, UnpackKernelsMatchScalar) {
  ExpectVectorEqualsScalar("rgb8", 24, 4, [](const RowKernels& k, uint8_t* d, const uint8_t* s,
                                             size_t n) { k.rgb8ToBgra8(d, s, n); });
  ExpectVectorEqualsScalar("bgr8", 24, 4, [](const RowKernels& k, uint8_t* d, const uint8_t* s,
                                             size_t n) { k.bgr8ToBgra8(d, s, n); });
  ExpectVectorEqualsScalar("rgba8", 32, 4, [](const RowKernels& k, uint8_t* d, const uint8_t* s,
                                              size_t n) { k.rgba8ToBgra8(d, s, n); });
  for (bool swap : {false, true}) {
    ExpectVectorEqualsScalar("rgb16", 48, 8, [swap](const RowKernels& k, uint8_t* d,
                                                    const uint8_t* s, size_t n) {
      k.rgb16ToBgra16(d, s, n, swap);
    });
    ExpectVectorEqualsScalar("bgr16", 48, 8, [swap](const RowKernels& k, uint8_t* d,
                                                    const uint8_t* s, size_t n) {
      k.bgr16ToBgra16(d, s, n, swap);
    });
    ExpectVectorEqualsScalar("rgba16", 64, 8, [swap](const RowKernels& k, uint8_t* d,
                                                     const uint8_t* s, size_t n) {
      k.rgba16ToBgra16(d, s, n, swap);
    });
    ExpectVectorEqualsScalar("rgbF", 96, 16, [swap](const RowKernels& k, uint8_t* d,
                                                    const uint8_t* s, size_t n) {
      k.rgbFloatToBgraFloat(d, s, n, swap);
    });
    ExpectVectorEqualsScalar("bgrF", 96, 16, [swap](const RowKernels& k, uint8_t* d,
                                                    const uint8_t* s, size_t n) {
      k.bgrFloatToBgraFloat(d, s, n, swap);
    });
    ExpectVectorEqualsScalar("rgbaF", 128, 16, [swap](const RowKernels& k, uint8_t* d,
                                                      const uint8_t* s, size_t n) {
      k.rgbaFloatToBgraFloat(d, s, n, swap);
    });
    for (size_t step : {1u, 2u, 3u, 4u}) {
      ExpectVectorEqualsScalar("copy16", 16, 2 * step, [swap, step](const RowKernels& k, uint8_t* d,
                                                                    const uint8_t* s, size_t n) {
        k.stridedCopy16(d, s, n, step, swap);
      });
      ExpectVectorEqualsScalar("copy32", 32, 4 * step, [swap, step](const RowKernels& k, uint8_t* d,
                                                                    const uint8_t* s, size_t n) {
        k.stridedCopy32(d, s, n, step, swap);
      });
    }
  }
  for (size_t step : {1u, 2u, 3u, 4u, 5u}) {
    ExpectVectorEqualsScalar("bytes", 8, step, [step](const RowKernels& k, uint8_t* d,
                                                      const uint8_t* s, size_t n) {
      k.stridedByteCopy(d, s, n, step);
    });
  }
  ExpectVectorEqualsScalar("expand1", 1, 1, [](const RowKernels& k, uint8_t* d, const uint8_t* s,
                                               size_t n) { k.expand1Bit(d, s, n); });
  ExpectVectorEqualsScalar("expand2", 2, 1, [](const RowKernels& k, uint8_t* d, const uint8_t* s,
                                               size_t n) { k.expand2Bit(d, s, n); });
  ExpectVectorEqualsScalar("expand4", 4, 1, [](const RowKernels& k, uint8_t* d, const uint8_t* s,
                                               size_t n) { k.expand4Bit(d, s, n); });
}

TEST(RowKernelsVector, PlanarKernelsMatchScalar) {
  // Planes lie planeDistance = n + 5 bytes apart: 3 or 4 planes of n bytes.
  for (uint32_t planes : {3u, 4u}) {
    const auto sets = VectorSets();
    if (sets.empty()) GTEST_SKIP();
    for (size_t n : {0u, 1u, 15u, 16u, 17u, 31u, 33u, 64u, 100u, 1023u}) {
      const size_t distance = n + 5;
      const auto src = RandomBytes(distance * (planes - 1) + n, static_cast<uint32_t>(n));
      const auto start = RandomBytes(4 * n + 16, 99);
      auto expected = start;
      (planes == 3 ? S().planarRgbToBgra8 : S().planarRgbaToBgra8)(expected.data(), src.data(),
                                                                   distance, n);
      for (const RowKernels* k : sets) {
        auto got = start;
        (planes == 3 ? k->planarRgbToBgra8 : k->planarRgbaToBgra8)(got.data(), src.data(),
                                                                   distance, n);
        ASSERT_EQ(got, expected) << planes << " planes, n=" << n;
      }
    }
  }
}

TEST(RowKernelsVector, ConversionLoopsMatchScalar) {
  ExpectVectorEqualsScalar("high", 16, 1, [](const RowKernels& k, uint8_t* d, const uint8_t* s,
                                             size_t n) {
    std::vector<uint16_t> v(n);
    CopyBytes(v.data(), s, 2 * n);
    k.highBytes16(d, v.data(), n);
  });
  ExpectVectorEqualsScalar("widen", 8, 2, [](const RowKernels& k, uint8_t* d, const uint8_t* s,
                                             size_t n) {
    std::vector<uint16_t> v(n);
    k.widen8To16(v.data(), s, n);
    CopyBytes(d, v.data(), 2 * n);
  });
  ExpectVectorEqualsScalar("u8f", 8, 4, [](const RowKernels& k, uint8_t* d, const uint8_t* s,
                                           size_t n) {
    std::vector<float> v(n);
    k.u8ToFloat(v.data(), s, n);
    CopyBytes(d, v.data(), 4 * n);
  });
  ExpectVectorEqualsScalar("u16f", 16, 4, [](const RowKernels& k, uint8_t* d, const uint8_t* s,
                                             size_t n) {
    std::vector<uint16_t> in(n);
    CopyBytes(in.data(), s, 2 * n);
    std::vector<float> v(n);
    k.u16ToFloat(v.data(), in.data(), n);
    CopyBytes(d, v.data(), 4 * n);
  });
  // Random bits as floats: NaN, infinities, negatives, huge and tiny values.
  ExpectVectorEqualsScalar("f16", 32, 2, [](const RowKernels& k, uint8_t* d, const uint8_t* s,
                                            size_t n) {
    std::vector<float> in(n);
    CopyBytes(in.data(), s, 4 * n);
    for (size_t i = 0; i < n; i += 3) in[i] = static_cast<float>(s[4 * i]) / 200.0f - 0.1f;
    std::vector<uint16_t> v(n);
    k.floatToU16(v.data(), in.data(), n);
    CopyBytes(d, v.data(), 2 * n);
  });
  ExpectVectorEqualsScalar("gray", 8, 4, [](const RowKernels& k, uint8_t* d, const uint8_t* s,
                                            size_t n) { k.gray8ToBgra8(d, s, n); });
  ExpectVectorEqualsScalar("average", 32, 1, [](const RowKernels& k, uint8_t* d, const uint8_t* s,
                                                size_t n) { k.bgra8ToGray8(d, s, n); });
  ExpectVectorEqualsScalar("palette", 8, 4, [](const RowKernels& k, uint8_t* d, const uint8_t* s,
                                               size_t n) {
    uint32_t palette[256];
    for (uint32_t i = 0; i < 256; ++i) palette[i] = i * 0x9E3779B1u;
    k.indexed8ToBgra8(d, s, palette, n);
  });
}

TEST(RowKernelsVector, DitherRowsMatchScalarIncludingErrorSums) {
  const auto sets = VectorSets();
  if (sets.empty()) GTEST_SKIP();
  for (size_t n : {1u, 2u, 3u, 7u, 64u, 333u}) {
    const auto bytes = RandomBytes(n * 8 * 6, static_cast<uint32_t>(n));
    std::vector<uint16_t> src(n * 4 * 6);
    std::memcpy(src.data(), bytes.data(), bytes.size());
    // Saturated samples exercise the clamp at 4095.
    for (size_t i = 0; i < src.size(); i += 5) src[i] = 0xFFFF;
    for (const RowKernels* k : sets) {
      std::vector<uint16_t> errA((n + 2) * 4), errB((n + 2) * 4);
      std::vector<uint8_t> outA(n * 4 * 6), outB(n * 4 * 6);
      for (size_t y = 0; y < 6; ++y) {
        S().ditherBgra16Row(outA.data() + 4 * n * y, src.data() + 4 * n * y, errA.data(), n, y & 1);
        k->ditherBgra16Row(outB.data() + 4 * n * y, src.data() + 4 * n * y, errB.data(), n, y & 1);
        ASSERT_EQ(outA, outB) << "n=" << n << " row " << y;
        ASSERT_EQ(errA, errB) << "n=" << n << " row " << y;
      }
    }
  }
}

// ---- what the scalar references compute ----------------------------------

TEST(RowKernels, PlanarRowsInterleaveIntoBlueGreenRedAlpha) {
  const uint8_t planes[] = {1, 2, 0, 0, 3, 4, 0, 0, 5, 6, 0, 0, 7, 8};  // r, g, b, a; distance 4
  uint8_t out[8];
  S().planarRgbToBgra8(out, planes, 4, 2);
  EXPECT_EQ(std::vector<uint8_t>(out, out + 8), (std::vector<uint8_t>{5, 3, 1, 255, 6, 4, 2, 255}));
  S().planarRgbaToBgra8(out, planes, 4, 2);
  EXPECT_EQ(std::vector<uint8_t>(out, out + 8), (std::vector<uint8_t>{5, 3, 1, 7, 6, 4, 2, 8}));
}

TEST(RowKernels, BitPlanesGiveBitKFromPlaneK) {
  // Four planes of 10 pixels (2 bytes each, 3 bytes apart). Plane 2 is all
  // set; pixel 0 also has planes 0 and 3, pixel 9 plane 1.
  const uint8_t src[] = {0x80, 0x00, 0, 0x00, 0x40, 0, 0xFF, 0xC0, 0, 0x80, 0x00};
  uint8_t out[10];
  S().bitPlanesToIndices(out, src, 3, 4, 10);
  EXPECT_EQ(std::vector<uint8_t>(out, out + 10),
            (std::vector<uint8_t>{13, 4, 4, 4, 4, 4, 4, 4, 4, 6}));
  // One plane is a plain 1-bit expansion.
  uint8_t one[10], expanded[10];
  S().bitPlanesToIndices(one, src + 6, 3, 1, 10);
  S().expand1Bit(expanded, src + 6, 10);
  EXPECT_EQ(0, std::memcmp(one, expanded, 10));
}

TEST(RowKernels, StridedCopiesTouchOnlyEveryStepthSample) {
  uint8_t dst[12];
  std::memset(dst, 0xEE, sizeof dst);
  const uint8_t bytes[] = {1, 2, 3, 4};
  S().stridedByteCopy(dst, bytes, 4, 3);
  EXPECT_EQ(std::vector<uint8_t>(dst, dst + 12),
            (std::vector<uint8_t>{1, 0xEE, 0xEE, 2, 0xEE, 0xEE, 3, 0xEE, 0xEE, 4, 0xEE, 0xEE}));

  const uint8_t be16[] = {0x12, 0x34, 0x56, 0x78};
  uint16_t w[4] = {0, 0, 0, 0};
  S().stridedCopy16(reinterpret_cast<uint8_t*>(w), be16, 2, 2, true);
  EXPECT_EQ(w[0], 0x1234);
  EXPECT_EQ(w[1], 0);
  EXPECT_EQ(w[2], 0x5678);
  const uint8_t be32[] = {0x12, 0x34, 0x56, 0x78};
  uint32_t d[2] = {0, 0};
  S().stridedCopy32(reinterpret_cast<uint8_t*>(d), be32, 1, 1, true);
  EXPECT_EQ(d[0], 0x12345678u);
  S().stridedCopy32(reinterpret_cast<uint8_t*>(d), be32, 1, 1, false);
  EXPECT_EQ(d[0], 0x78563412u);
}

TEST(RowKernels, PackedPixelsExpandMostSignificantFirst) {
  const uint8_t src[] = {0xA5, 0x1B};
  uint8_t out[16];
  S().expand1Bit(out, src, 11);
  EXPECT_EQ(std::vector<uint8_t>(out, out + 11),
            (std::vector<uint8_t>{1, 0, 1, 0, 0, 1, 0, 1, 0, 0, 0}));
  S().expand2Bit(out, src, 7);
  EXPECT_EQ(std::vector<uint8_t>(out, out + 7), (std::vector<uint8_t>{2, 2, 1, 1, 0, 1, 2}));
  S().expand4Bit(out, src, 3);
  EXPECT_EQ(std::vector<uint8_t>(out, out + 3), (std::vector<uint8_t>{0xA, 0x5, 0x1}));
}

TEST(RowKernels, InterleavedSamplesReorderAndGetOpaqueAlpha) {
  const uint8_t rgb[] = {10, 20, 30};
  uint8_t out[16];
  S().rgb8ToBgra8(out, rgb, 1);
  EXPECT_EQ(std::vector<uint8_t>(out, out + 4), (std::vector<uint8_t>{30, 20, 10, 255}));
  S().bgr8ToBgra8(out, rgb, 1);
  EXPECT_EQ(std::vector<uint8_t>(out, out + 4), (std::vector<uint8_t>{10, 20, 30, 255}));
  const uint8_t rgba[] = {10, 20, 30, 40};
  S().rgba8ToBgra8(out, rgba, 1);
  EXPECT_EQ(std::vector<uint8_t>(out, out + 4), (std::vector<uint8_t>{30, 20, 10, 40}));

  // Big-endian 16-bit red 0x0102, green 0x0304, blue 0x0506.
  const uint8_t rgb16[] = {1, 2, 3, 4, 5, 6};
  uint16_t px[4];
  S().rgb16ToBgra16(reinterpret_cast<uint8_t*>(px), rgb16, 1, true);
  EXPECT_EQ(px[0], 0x0506);
  EXPECT_EQ(px[1], 0x0304);
  EXPECT_EQ(px[2], 0x0102);
  EXPECT_EQ(px[3], 0xFFFF);
  S().bgr16ToBgra16(reinterpret_cast<uint8_t*>(px), rgb16, 1, false);
  EXPECT_EQ(px[0], 0x0201);
  EXPECT_EQ(px[2], 0x0605);

  // Big-endian float red 0.5, green 0.25, blue 2.0.
  const uint8_t rgbF[] = {0x3F, 0, 0, 0, 0x3E, 0x80, 0, 0, 0x40, 0, 0, 0};
  float f[4];
  S().rgbFloatToBgraFloat(reinterpret_cast<uint8_t*>(f), rgbF, 1, true);
  EXPECT_EQ(f[0], 2.0f);
  EXPECT_EQ(f[1], 0.25f);
  EXPECT_EQ(f[2], 0.5f);
  EXPECT_EQ(f[3], 1.0f);
}

TEST(RowKernels, SampleConversionsFollowTheirFormulas) {
  const uint16_t wide[] = {0x0000, 0x12FF, 0xFF00, 0xFFFF};
  uint8_t high[4];
  S().highBytes16(high, wide, 4);
  EXPECT_EQ(std::vector<uint8_t>(high, high + 4), (std::vector<uint8_t>{0, 0x12, 0xFF, 0xFF}));

  const uint8_t narrow[] = {0, 1, 0x80, 0xFF};
  uint16_t widened[4];
  S().widen8To16(widened, narrow, 4);
  EXPECT_EQ(widened[1], 257);
  EXPECT_EQ(widened[2], 0x8080);
  EXPECT_EQ(widened[3], 0xFFFF);

  float f[4];
  S().u8ToFloat(f, narrow, 4);
  EXPECT_EQ(f[0], 0.0f);
  EXPECT_EQ(f[3], 1.0f);
  EXPECT_FLOAT_EQ(f[2], 128.0f / 255.0f);
  S().u16ToFloat(f, wide, 4);
  EXPECT_EQ(f[3], 1.0f);

  const float in[] = {-1.0f, 0.5f, 2.0f, std::numeric_limits<float>::quiet_NaN(), 1e-6f,
                      std::numeric_limits<float>::infinity()};
  uint16_t out[6];
  S().floatToU16(out, in, 6);
  EXPECT_EQ(out[0], 0);
  EXPECT_EQ(out[1], 32768);  // 32767.5 + 0.5
  EXPECT_EQ(out[2], 65535);
  EXPECT_EQ(out[3], 0);
  EXPECT_EQ(out[4], 0);
  EXPECT_EQ(out[5], 65535);

  const uint8_t bgra[] = {0, 0, 1, 9, 1, 1, 0, 9, 255, 255, 255, 0, 10, 20, 31, 0};
  uint8_t gray[4];
  S().bgra8ToGray8(gray, bgra, 4);
  EXPECT_EQ(std::vector<uint8_t>(gray, gray + 4), (std::vector<uint8_t>{0, 1, 255, 20}));
}

// The error diffusion written the plain way: two rows of sums per channel.
void ReferenceDither(const std::vector<uint16_t>& src, size_t w, size_t h, std::vector<uint8_t>& out) {
  out.assign(w * h * 4, 0);
  std::vector<int> cur(w * 3, 0), next(w * 3, 0);
  for (size_t y = 0; y < h; ++y) {
    const bool ltr = y % 2 == 0;
    for (size_t k = 0; k < w; ++k) {
      const long x = ltr ? static_cast<long>(k) : static_cast<long>(w - 1 - k);
      const long ahead = ltr ? x + 1 : x - 1, behind = ltr ? x - 1 : x + 1;
      for (int c = 0; c < 3; ++c) {
        const int sample = src[(y * w + x) * 4 + c];
        int v = ((sample - (sample >> 8)) >> 4) + ((cur[x * 3 + c] + 8) >> 4);
        if (v > 4095) v = 4095;
        out[(y * w + x) * 4 + c] = static_cast<uint8_t>(v >> 4);
        const int r = v & 15;
        if (ahead >= 0 && ahead < static_cast<long>(w)) {
          cur[ahead * 3 + c] += 7 * r;
          next[ahead * 3 + c] += 1 * r;
        }
        if (behind >= 0 && behind < static_cast<long>(w)) next[behind * 3 + c] += 3 * r;
        next[x * 3 + c] += 5 * r;
      }
      out[(y * w + x) * 4 + 3] = static_cast<uint8_t>(src[(y * w + x) * 4 + 3] >> 8);
    }
    cur.swap(next);
    std::fill(next.begin(), next.end(), 0);
  }
}

TEST(RowKernels, DitherRowsFollowTheSerpentineErrorDiffusion) {
  for (size_t w : {1u, 2u, 5u, 40u}) {
    const size_t h = 7;
    const auto bytes = RandomBytes(w * h * 8, static_cast<uint32_t>(w) + 100);
    std::vector<uint16_t> src(w * h * 4);
    std::memcpy(src.data(), bytes.data(), bytes.size());
    for (size_t i = 0; i < src.size(); i += 7) src[i] = 0xFFF8;
    std::vector<uint8_t> expected;
    ReferenceDither(src, w, h, expected);
    for (RowKernelLevel level : {RowKernelLevel::Scalar, RowKernelLevel::Sse2}) {
      const RowKernels* k = RowKernelsFor(level);
      if (!k) continue;
      std::vector<uint16_t> err((w + 2) * 4, 0);
      std::vector<uint8_t> out(w * h * 4);
      for (size_t y = 0; y < h; ++y)
        k->ditherBgra16Row(out.data() + 4 * w * y, src.data() + 4 * w * y, err.data(), w, y & 1);
      EXPECT_EQ(out, expected) << "w=" << w << " level " << static_cast<int>(level);
    }
  }
}

TEST(RowKernels, DitheringKeepsEightBitContentStoredInSixteenBits) {
  // Widened 8-bit data (v * 257) must come back unchanged, with no noise.
  const size_t w = 64, h = 4;
  std::vector<uint16_t> src(w * h * 4);
  for (size_t i = 0; i < src.size(); ++i) src[i] = static_cast<uint16_t>((i * 37 % 256) * 257);
  for (RowKernelLevel level : {RowKernelLevel::Scalar, RowKernelLevel::Sse2}) {
    const RowKernels* k = RowKernelsFor(level);
    if (!k) continue;
    std::vector<uint16_t> err((w + 2) * 4, 0);
    std::vector<uint8_t> out(w * h * 4);
    for (size_t y = 0; y < h; ++y)
      k->ditherBgra16Row(out.data() + 4 * w * y, src.data() + 4 * w * y, err.data(), w, y & 1);
    for (size_t i = 0; i < out.size(); ++i)
      ASSERT_EQ(out[i], src[i] / 257) << "i=" << i << " level " << static_cast<int>(level);
  }
}

TEST(RowKernels, PublicFunctionsUseTheActiveSet) {
  const RowKernels* active = RowKernelsFor(ActiveRowKernelLevel());
  ASSERT_NE(active, nullptr);
  EXPECT_EQ(&ActiveRowKernels(), active);
  uint8_t out[8];
  const uint8_t rgb[] = {1, 2, 3, 4, 5, 6};
  Rgb8ToBgra8(out, rgb, 2);
  EXPECT_EQ(std::vector<uint8_t>(out, out + 8), (std::vector<uint8_t>{3, 2, 1, 255, 6, 5, 4, 255}));
}

}  // namespace
}  // namespace vt
