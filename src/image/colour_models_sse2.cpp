#include "image/colour_models_kernels.h"

#if defined(__SSE2__)
#include <emmintrin.h>

namespace vt {

namespace {

// The chroma offsets as d + ((mulhi(d << 8, c) + half) >> s) for d = chroma - 128:
// the 16-bit product keeps d * c / 256 and the shift finishes the division by
// 2^(8 + s) with rounding. These constants give exactly the rounded products of
// the scalar tables for all 256 chroma values, including the halves of 1.772 x
// +-125 (the tests walk every value).
constexpr int16_t kRedFraction = 26345;   // 0.402 x 2^16
constexpr int kRedShift = 8;
constexpr int16_t kBlueFraction = 25297;  // 0.772 x 2^15
constexpr int kBlueShift = 7;

inline __m128i ChromaOffset(__m128i d, __m128i fraction, __m128i half, int shift) {
  const __m128i part = _mm_mulhi_epi16(_mm_slli_epi16(d, 8), fraction);
  return _mm_add_epi16(d, _mm_sra_epi16(_mm_add_epi16(part, half), _mm_cvtsi32_si128(shift)));
}

void YCbCrToBgra8Sse2(uint8_t* pixels, size_t n) {
  const __m128i low = _mm_set1_epi32(0xFF);
  const __m128i centre = _mm_set1_epi16(128);
  const __m128i redFraction = _mm_set1_epi16(kRedFraction);
  const __m128i redHalf = _mm_set1_epi16(1 << (kRedShift - 1));
  const __m128i blueFraction = _mm_set1_epi16(kBlueFraction);
  const __m128i blueHalf = _mm_set1_epi16(1 << (kBlueShift - 1));
  // Pairs (Cr, Cb) times (-183, -88) in 32 bits: the sum leaves 16 bits.
  const __m128i greenFactors =
      _mm_set1_epi32(static_cast<int32_t>(static_cast<uint16_t>(-183) | (static_cast<uint32_t>(static_cast<uint16_t>(-88)) << 16)));
  const __m128i greenRound = _mm_set1_epi32(128);
  const __m128i opaque = _mm_set1_epi8(-1);

  uint8_t* p = pixels;
  size_t i = 0;
  for (; i + 8 <= n; i += 8, p += 32) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
    // Eight pixels split into planes of 16-bit Y, Cb - 128 and Cr - 128.
    const __m128i y = _mm_packs_epi32(_mm_and_si128(a, low), _mm_and_si128(b, low));
    const __m128i cb = _mm_sub_epi16(
        _mm_packs_epi32(_mm_and_si128(_mm_srli_epi32(a, 8), low), _mm_and_si128(_mm_srli_epi32(b, 8), low)),
        centre);
    const __m128i cr = _mm_sub_epi16(
        _mm_packs_epi32(_mm_and_si128(_mm_srli_epi32(a, 16), low), _mm_and_si128(_mm_srli_epi32(b, 16), low)),
        centre);

    const __m128i red = _mm_add_epi16(y, ChromaOffset(cr, redFraction, redHalf, kRedShift));
    const __m128i blue = _mm_add_epi16(y, ChromaOffset(cb, blueFraction, blueHalf, kBlueShift));
    const __m128i gLow = _mm_srai_epi32(
        _mm_add_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(cr, cb), greenFactors), greenRound), 8);
    const __m128i gHigh = _mm_srai_epi32(
        _mm_add_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(cr, cb), greenFactors), greenRound), 8);
    const __m128i green = _mm_add_epi16(y, _mm_packs_epi32(gLow, gHigh));

    // Saturating packs clamp to 0..255; then interleave blue, green, red, alpha.
    const __m128i b8 = _mm_packus_epi16(blue, blue);
    const __m128i g8 = _mm_packus_epi16(green, green);
    const __m128i r8 = _mm_packus_epi16(red, red);
    const __m128i bg = _mm_unpacklo_epi8(b8, g8);
    const __m128i ra = _mm_unpacklo_epi8(r8, opaque);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm_unpacklo_epi16(bg, ra));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p + 16), _mm_unpackhi_epi16(bg, ra));
  }
  if (i < n) YCbCrToBgra8Scalar(p, n - i);
}

}  // namespace

bool colour_models_detail::InstallSse2(ColourModelKernels& k) {
  k.yCbCrToBgra8 = &YCbCrToBgra8Sse2;
  return true;
}

}  // namespace vt

#else

namespace vt {
bool colour_models_detail::InstallSse2(ColourModelKernels&) { return false; }
}  // namespace vt

#endif
