#include "image/colour_models_kernels.h"

#if defined(__SSSE3__)
#include <tmmintrin.h>

namespace vt {

namespace {

// Each pixel stays in its own 32-bit lane, so there is no transpose on the way
// in or out: two 16-bit halves hold (Cb - 128, Cr - 128), one rounding multiply
// gives both chroma fractions and one pair multiply gives the green sum.
//
// 0.402 and 0.772 as x / 2^15 for _mm_mulhrs_epi16, whose round-half-up gives
// exactly the rounded products of the scalar tables for all 256 chroma values:
// 1.402 d never lands on a half, 1.772 d only at d = +-125, where the constant,
// a hair above 0.772, pushes both halves away from zero (the tests walk every
// value).
constexpr int16_t kBlueFraction = 25297;
constexpr int16_t kRedFraction = 13173;
// Added to the green sum before its middle two bytes are taken: 128 rounds,
// 2 << 24 keeps the top byte at 1 or 2, which becomes an alpha lane of at least
// 256 that the unsigned pack saturates to 255.
constexpr int32_t kGreenBias = 128 + (2 << 24);

struct Constants {
  __m128i chroma;      // bytes 1 and 2 of each pixel as 16-bit lanes (Cb, Cr)
  __m128i luma;        // byte 0 of each pixel into both 16-bit lanes
  __m128i centre;      // 128 in each lane
  __m128i fractions;   // (blue, red)
  __m128i greenFactors;
  __m128i greenBias;
  __m128i greenBytes;  // floor(sum / 256) low, top byte x 256 high
  __m128i interleave;  // (B R)x4 (G A)x4 to B G R A x4
};

inline __m128i ConvertFour(__m128i raw, const Constants& c) {
  const __m128i d = _mm_sub_epi16(_mm_shuffle_epi8(raw, c.chroma), c.centre);
  const __m128i offsets = _mm_add_epi16(d, _mm_mulhrs_epi16(d, c.fractions));
  const __m128i sum = _mm_add_epi32(_mm_madd_epi16(d, c.greenFactors), c.greenBias);
  const __m128i green = _mm_shuffle_epi8(sum, c.greenBytes);
  const __m128i y = _mm_shuffle_epi8(raw, c.luma);
  const __m128i blueRed = _mm_add_epi16(y, offsets);
  const __m128i greenAlpha = _mm_add_epi16(y, green);
  return _mm_shuffle_epi8(_mm_packus_epi16(blueRed, greenAlpha), c.interleave);
}

void YCbCrToBgra8Ssse3(uint8_t* pixels, size_t n) {
  Constants c;
  c.chroma = _mm_setr_epi8(1, -1, 2, -1, 5, -1, 6, -1, 9, -1, 10, -1, 13, -1, 14, -1);
  c.luma = _mm_setr_epi8(0, -1, 0, -1, 4, -1, 4, -1, 8, -1, 8, -1, 12, -1, 12, -1);
  c.centre = _mm_set1_epi16(128);
  c.fractions = _mm_set1_epi32(static_cast<int32_t>(static_cast<uint16_t>(kBlueFraction) |
                                                    (static_cast<uint32_t>(kRedFraction) << 16)));
  c.greenFactors = _mm_set1_epi32(static_cast<int32_t>(
      static_cast<uint16_t>(-88) | (static_cast<uint32_t>(static_cast<uint16_t>(-183)) << 16)));
  c.greenBias = _mm_set1_epi32(kGreenBias);
  c.greenBytes = _mm_setr_epi8(1, 2, -1, 3, 5, 6, -1, 7, 9, 10, -1, 11, 13, 14, -1, 15);
  c.interleave = _mm_setr_epi8(0, 8, 1, 9, 2, 10, 3, 11, 4, 12, 5, 13, 6, 14, 7, 15);

  uint8_t* p = pixels;
  size_t i = 0;
  for (; i + 16 <= n; i += 16, p += 64) {
    __m128i* v = reinterpret_cast<__m128i*>(p);
    const __m128i a = ConvertFour(_mm_loadu_si128(v), c);
    const __m128i b = ConvertFour(_mm_loadu_si128(v + 1), c);
    const __m128i d = ConvertFour(_mm_loadu_si128(v + 2), c);
    const __m128i e = ConvertFour(_mm_loadu_si128(v + 3), c);
    _mm_storeu_si128(v, a);
    _mm_storeu_si128(v + 1, b);
    _mm_storeu_si128(v + 2, d);
    _mm_storeu_si128(v + 3, e);
  }
  for (; i + 4 <= n; i += 4, p += 16) {
    __m128i* v = reinterpret_cast<__m128i*>(p);
    _mm_storeu_si128(v, ConvertFour(_mm_loadu_si128(v), c));
  }
  if (i < n) YCbCrToBgra8Scalar(p, n - i);
}

}  // namespace

bool colour_models_detail::InstallSsse3(ColourModelKernels& k) {
  k.yCbCrToBgra8 = &YCbCrToBgra8Ssse3;
  return true;
}

}  // namespace vt

#else

namespace vt {
bool colour_models_detail::InstallSsse3(ColourModelKernels&) { return false; }
}  // namespace vt

#endif
