// SSE2 variants of the colour stage and the unsharp mask. They compute the
// scalar references' integers exactly: pmaddwd forms gain x channel +
// sumWeight x sum in 32 bits, pmulhuw cuts each vertical blur product to 8
// fractional bits as the reference's shift does, and pmulhw of the difference
// times 16 by the amount is the reference's arithmetic shift by 12. Blocks run
// here; the rest of a row goes to the scalar reference.
#include "render/adjust_kernels.h"

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>

#include <cstring>

namespace vt {
namespace {

const AdjustKernels& Ref() {
  static const AdjustKernels k = adjust_kernels_detail::Scalar();
  return k;
}

inline __m128i Load(const void* p) { return _mm_loadu_si128(static_cast<const __m128i*>(p)); }
inline __m128i Load64(const void* p) { return _mm_loadl_epi64(static_cast<const __m128i*>(p)); }
inline void Store(void* p, __m128i v) { _mm_storeu_si128(static_cast<__m128i*>(p), v); }
inline void Store64(void* p, __m128i v) { _mm_storel_epi64(static_cast<__m128i*>(p), v); }

// Two pixels as 16-bit lanes b g r a b g r a: the 32-bit linear value of each
// channel (alpha's lane gets alpha << 13, the fixed-point one).
struct Linear {
  __m128i coefficients;  // gain, sumWeight per channel; alpha: 1.0, 0
  __m128i offsets;       // blue, green, red, alpha (0) plus the rounding
};

inline void LinearPair(__m128i px, const Linear& l, __m128i* lo, __m128i* hi) {
  // b + g + r in the three colour lanes of each pixel.
  const __m128i r1 = _mm_shufflehi_epi16(_mm_shufflelo_epi16(px, _MM_SHUFFLE(3, 0, 2, 1)), _MM_SHUFFLE(3, 0, 2, 1));
  const __m128i r2 = _mm_shufflehi_epi16(_mm_shufflelo_epi16(px, _MM_SHUFFLE(3, 1, 0, 2)), _MM_SHUFFLE(3, 1, 0, 2));
  const __m128i sum = _mm_add_epi16(_mm_add_epi16(px, r1), r2);
  *lo = _mm_add_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(px, sum), l.coefficients), l.offsets);
  *hi = _mm_add_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(px, sum), l.coefficients), l.offsets);
}

void ColourBgra8(uint8_t* dst, const uint8_t* src, size_t n, const ColourFixed& p) {
  constexpr int kCurveShift = kColourFractionBits - kCurveFractionBits;
  Linear l;
  const int16_t g = p.gain, w = p.sumWeight, one = int16_t{1} << kColourFractionBits;
  l.coefficients = _mm_setr_epi16(g, w, g, w, g, w, one, 0);
  const int32_t round = p.curve ? 1 << (kCurveShift - 1) : 1 << (kColourFractionBits - 1);
  l.offsets = _mm_setr_epi32(p.offset[0] + round, p.offset[1] + round, p.offset[2] + round, round);
  const __m128i zero = _mm_setzero_si128();
  const __m128i flip = _mm_set1_epi32(p.invert ? 0x00FFFFFF : 0);
  const __m128i lastIndex = _mm_set1_epi16(kCurveEntries - 1);
  size_t i = 0;
  for (; i + 4 <= n; i += 4, src += 16, dst += 16) {
    const __m128i px = Load(src);
    __m128i a, b, c, d;
    LinearPair(_mm_unpacklo_epi8(px, zero), l, &a, &b);
    LinearPair(_mm_unpackhi_epi8(px, zero), l, &c, &d);
    if (!p.curve) {
      a = _mm_srai_epi32(a, kColourFractionBits);
      b = _mm_srai_epi32(b, kColourFractionBits);
      c = _mm_srai_epi32(c, kColourFractionBits);
      d = _mm_srai_epi32(d, kColourFractionBits);
      const __m128i out = _mm_packus_epi16(_mm_packs_epi32(a, b), _mm_packs_epi32(c, d));
      Store(dst, _mm_xor_si128(out, flip));
      continue;
    }
    // Saturating to 16 bits keeps the order, so clamping afterwards is exact.
    __m128i i0 = _mm_packs_epi32(_mm_srai_epi32(a, kCurveShift), _mm_srai_epi32(b, kCurveShift));
    __m128i i1 = _mm_packs_epi32(_mm_srai_epi32(c, kCurveShift), _mm_srai_epi32(d, kCurveShift));
    i0 = _mm_min_epi16(_mm_max_epi16(i0, zero), lastIndex);
    i1 = _mm_min_epi16(_mm_max_epi16(i1, zero), lastIndex);
    alignas(16) int16_t index[16];
    Store(index, i0);
    Store(index + 8, i1);
    uint8_t out[16];
    for (int k = 0; k < 16; k += 4) {
      out[k] = p.curve[index[k]];
      out[k + 1] = p.curve[index[k + 1]];
      out[k + 2] = p.curve[index[k + 2]];
      out[k + 3] = src[k + 3];
    }
    std::memcpy(dst, out, 16);
  }
  if (i < n) Ref().colourBgra8(dst, src, n - i, p);
}

void BlurRow8(uint16_t* out, const uint8_t* row, size_t n, size_t step, const SharpenFixed& p) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i t0 = _mm_set1_epi16(static_cast<int16_t>(p.taps[0]));
  const __m128i t1 = _mm_set1_epi16(static_cast<int16_t>(p.taps[1]));
  const __m128i t2 = _mm_set1_epi16(static_cast<int16_t>(p.taps[2]));
  const std::ptrdiff_t s = static_cast<std::ptrdiff_t>(step);
  size_t i = 0;
  // Every partial sum stays below 65536, so 16-bit lanes hold it exactly.
  for (; i + 8 <= n; i += 8) {
    const uint8_t* c = row + i;
    const __m128i outer = _mm_add_epi16(_mm_unpacklo_epi8(Load64(c - 2 * s), zero),
                                        _mm_unpacklo_epi8(Load64(c + 2 * s), zero));
    const __m128i inner = _mm_add_epi16(_mm_unpacklo_epi8(Load64(c - s), zero),
                                        _mm_unpacklo_epi8(Load64(c + s), zero));
    const __m128i centre = _mm_unpacklo_epi8(Load64(c), zero);
    const __m128i v = _mm_add_epi16(_mm_add_epi16(_mm_mullo_epi16(outer, t0), _mm_mullo_epi16(inner, t1)),
                                    _mm_mullo_epi16(centre, t2));
    Store(out + i, v);
  }
  if (i < n) Ref().blurRow8(out + i, row + i, n - i, step, p);
}

void SharpenRow8(uint8_t* out, const uint8_t* src, const uint16_t* const rows[5], size_t n,
                 const SharpenFixed& p) {
  const __m128i zero = _mm_setzero_si128();
  __m128i taps[5];
  const uint16_t t[5] = {p.taps[0], p.taps[1], p.taps[2], p.taps[1], p.taps[0]};
  for (int k = 0; k < 5; ++k) taps[k] = _mm_set1_epi16(static_cast<int16_t>(t[k] << 8));
  const __m128i half = _mm_set1_epi16(128);
  const __m128i amount = _mm_set1_epi16(p.amount);
  const __m128i below = _mm_set1_epi16(static_cast<int16_t>(p.threshold - 1));
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    __m128i v = zero;
    for (int k = 0; k < 5; ++k) v = _mm_add_epi16(v, _mm_mulhi_epu16(Load(rows[k] + i), taps[k]));
    const __m128i blurred = _mm_srli_epi16(_mm_add_epi16(v, half), 8);
    const __m128i s = _mm_unpacklo_epi8(Load64(src + i), zero);
    const __m128i d = _mm_sub_epi16(s, blurred);
    const __m128i size = _mm_max_epi16(d, _mm_sub_epi16(zero, d));
    const __m128i apply = _mm_cmpgt_epi16(size, below);
    const __m128i sharpened = _mm_add_epi16(s, _mm_mulhi_epi16(_mm_slli_epi16(d, 4), amount));
    const __m128i result = _mm_or_si128(_mm_and_si128(apply, sharpened), _mm_andnot_si128(apply, s));
    Store64(out + i, _mm_packus_epi16(result, result));
  }
  if (i < n) {
    const uint16_t* rest[5];
    for (int k = 0; k < 5; ++k) rest[k] = rows[k] + i;
    Ref().sharpenRow8(out + i, src + i, rest, n - i, p);
  }
}

}  // namespace

namespace adjust_kernels_detail {
bool InstallSse2(AdjustKernels& k) {
  k.colourBgra8 = ColourBgra8;
  k.blurRow8 = BlurRow8;
  k.sharpenRow8 = SharpenRow8;
  return true;
}
}  // namespace adjust_kernels_detail

}  // namespace vt

#else

namespace vt::adjust_kernels_detail {
bool InstallSse2(AdjustKernels&) { return false; }
}  // namespace vt::adjust_kernels_detail

#endif
