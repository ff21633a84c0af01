// SSE2 variants of the resampling and box kernels. The integer ones compute the
// scalar references' sums exactly (pmaddwd never overflows for 1.14 taps) and
// the same shifts and saturations; the float ones do the same multiplications
// and additions in the same order. Blocks run here, the rest of a row goes to
// the scalar reference.
#include "render/scale_kernels.h"

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>

#include <cstring>

namespace vt {
namespace {
namespace impl {

const ScaleKernels& Ref() {
  static const ScaleKernels k = scale_kernels_detail::Scalar();
  return k;
}

inline __m128i Load(const void* p) { return _mm_loadu_si128(static_cast<const __m128i*>(p)); }
inline void Store(void* p, __m128i v) { _mm_storeu_si128(static_cast<__m128i*>(p), v); }
inline __m128i Load32(const void* p) {
  int32_t v;
  std::memcpy(&v, p, 4);
  return _mm_cvtsi32_si128(v);
}
// The four taps of a column in the low half.
inline __m128i LoadTaps(const int16_t* t) { return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(t)); }

// One column: four pixels, blue green red alpha, filtered into four sums.
inline __m128i ColumnBgra8(const uint8_t* p, const int16_t* tap) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i v = Load(p);
  const __m128i lo = _mm_unpacklo_epi8(v, zero);  // pixels 0, 1
  const __m128i hi = _mm_unpackhi_epi8(v, zero);  // pixels 2, 3
  const __m128i p01 = _mm_unpacklo_epi16(lo, _mm_srli_si128(lo, 8));
  const __m128i p23 = _mm_unpacklo_epi16(hi, _mm_srli_si128(hi, 8));
  const __m128i t = LoadTaps(tap);
  const __m128i s = _mm_add_epi32(_mm_madd_epi16(p01, _mm_shuffle_epi32(t, 0x00)),
                                  _mm_madd_epi16(p23, _mm_shuffle_epi32(t, 0x55)));
  return _mm_srai_epi32(s, 7);
}

void HorizontalBgra8(int16_t* out, const uint8_t* row, const ColumnTap* taps, uint32_t begin,
                     uint32_t end) {
  uint32_t i = begin;
  for (; i + 2 <= end; i += 2) {
    const __m128i a = ColumnBgra8(row + 4 * static_cast<ptrdiff_t>(taps[i].first), taps[i].tap);
    const __m128i b =
        ColumnBgra8(row + 4 * static_cast<ptrdiff_t>(taps[i + 1].first), taps[i + 1].tap);
    Store(out + 4 * size_t{i}, _mm_packs_epi32(a, b));
  }
  Ref().horizontalBgra8(out, row, taps, i, end);
}

// Four columns' pixels gathered into one vector, filtered into two sums each.
inline __m128i GatherGray8(const uint8_t* row, const ColumnTap* t, __m128i* odd) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i c01 = _mm_unpacklo_epi32(Load32(row + t[0].first), Load32(row + t[1].first));
  const __m128i c23 = _mm_unpacklo_epi32(Load32(row + t[2].first), Load32(row + t[3].first));
  const __m128i t01 = _mm_unpacklo_epi64(LoadTaps(t[0].tap), LoadTaps(t[1].tap));
  const __m128i t23 = _mm_unpacklo_epi64(LoadTaps(t[2].tap), LoadTaps(t[3].tap));
  *odd = _mm_madd_epi16(_mm_unpacklo_epi8(c23, zero), t23);
  return _mm_madd_epi16(_mm_unpacklo_epi8(c01, zero), t01);
}

void HorizontalGray8(int16_t* out, const uint8_t* row, const ColumnTap* taps, uint32_t begin,
                     uint32_t end) {
  uint32_t i = begin;
  for (; i + 4 <= end; i += 4) {
    __m128i y;
    const __m128i x = GatherGray8(row, taps + i, &y);  // a0 b0 a1 b1 | a2 b2 a3 b3
    const __m128 xf = _mm_castsi128_ps(x), yf = _mm_castsi128_ps(y);
    const __m128i even = _mm_castps_si128(_mm_shuffle_ps(xf, yf, _MM_SHUFFLE(2, 0, 2, 0)));
    const __m128i oddv = _mm_castps_si128(_mm_shuffle_ps(xf, yf, _MM_SHUFFLE(3, 1, 3, 1)));
    const __m128i s = _mm_srai_epi32(_mm_add_epi32(even, oddv), 7);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + i), _mm_packs_epi32(s, s));
  }
  Ref().horizontalGray8(out, row, taps, i, end);
}

void PickBgra8(int16_t* out, const uint8_t* row, const ColumnTap* taps, uint32_t begin,
               uint32_t end) {
  const __m128i zero = _mm_setzero_si128();
  uint32_t i = begin;
  for (; i + 2 <= end; i += 2) {
    const __m128i v =
        _mm_unpacklo_epi32(Load32(row + 4 * (static_cast<ptrdiff_t>(taps[i].first) + 1)),
                           Load32(row + 4 * (static_cast<ptrdiff_t>(taps[i + 1].first) + 1)));
    Store(out + 4 * size_t{i}, _mm_slli_epi16(_mm_unpacklo_epi8(v, zero), 7));
  }
  Ref().pickBgra8(out, row, taps, i, end);
}

void HorizontalBgraF(float* out, const float* row, const ColumnTap* taps, const float* ftaps,
                     uint32_t begin, uint32_t end) {
  for (uint32_t i = begin; i < end; ++i) {
    const float* p = row + 4 * static_cast<ptrdiff_t>(taps[i].first);
    const float* f = ftaps + 4 * size_t{i};
    __m128 s = _mm_mul_ps(_mm_loadu_ps(p), _mm_set1_ps(f[0]));
    s = _mm_add_ps(s, _mm_mul_ps(_mm_loadu_ps(p + 4), _mm_set1_ps(f[1])));
    s = _mm_add_ps(s, _mm_mul_ps(_mm_loadu_ps(p + 8), _mm_set1_ps(f[2])));
    s = _mm_add_ps(s, _mm_mul_ps(_mm_loadu_ps(p + 12), _mm_set1_ps(f[3])));
    _mm_storeu_ps(out + 4 * size_t{i}, s);
  }
}

// Eight values of four rows: sums of (row x tap) + 2^20, shifted by 21.
inline __m128i Vertical8Block(const int16_t* const rows[4], size_t i, __m128i t01, __m128i t23,
                              __m128i round) {
  const __m128i r0 = Load(rows[0] + i), r1 = Load(rows[1] + i);
  const __m128i r2 = Load(rows[2] + i), r3 = Load(rows[3] + i);
  const __m128i lo = _mm_add_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(r0, r1), t01),
                                   _mm_madd_epi16(_mm_unpacklo_epi16(r2, r3), t23));
  const __m128i hi = _mm_add_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(r0, r1), t01),
                                   _mm_madd_epi16(_mm_unpackhi_epi16(r2, r3), t23));
  return _mm_packs_epi32(_mm_srai_epi32(_mm_add_epi32(lo, round), 21),
                         _mm_srai_epi32(_mm_add_epi32(hi, round), 21));
}

void Vertical8(uint8_t* out, const int16_t* const rows[4], const int16_t taps[4], size_t n) {
  const __m128i t = LoadTaps(taps);
  const __m128i t01 = _mm_shuffle_epi32(t, 0x00), t23 = _mm_shuffle_epi32(t, 0x55);
  const __m128i round = _mm_set1_epi32(1 << 20);
  size_t i = 0;
  for (; i + 16 <= n; i += 16) {
    const __m128i a = Vertical8Block(rows, i, t01, t23, round);
    const __m128i b = Vertical8Block(rows, i + 8, t01, t23, round);
    Store(out + i, _mm_packus_epi16(a, b));
  }
  for (; i + 8 <= n; i += 8) {
    const __m128i a = Vertical8Block(rows, i, t01, t23, round);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + i), _mm_packus_epi16(a, a));
  }
  const int16_t* const rest[4] = {rows[0] + i, rows[1] + i, rows[2] + i, rows[3] + i};
  Ref().vertical8(out + i, rest, taps, n - i);
}

void VerticalF(float* out, const float* const rows[4], const float taps[4], size_t n) {
  const __m128 t0 = _mm_set1_ps(taps[0]), t1 = _mm_set1_ps(taps[1]);
  const __m128 t2 = _mm_set1_ps(taps[2]), t3 = _mm_set1_ps(taps[3]);
  size_t i = 0;
  for (; i + 4 <= n; i += 4) {
    __m128 s = _mm_mul_ps(_mm_loadu_ps(rows[0] + i), t0);
    s = _mm_add_ps(s, _mm_mul_ps(_mm_loadu_ps(rows[1] + i), t1));
    s = _mm_add_ps(s, _mm_mul_ps(_mm_loadu_ps(rows[2] + i), t2));
    s = _mm_add_ps(s, _mm_mul_ps(_mm_loadu_ps(rows[3] + i), t3));
    _mm_storeu_ps(out + i, s);
  }
  const float* const rest[4] = {rows[0] + i, rows[1] + i, rows[2] + i, rows[3] + i};
  Ref().verticalF(out + i, rest, taps, n - i);
}

// Two target pixels from four source pixels of two rows (16 bytes each).
inline __m128i Box2Bgra8Pair(__m128i a, __m128i b) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i lo = _mm_add_epi16(_mm_unpacklo_epi8(a, zero), _mm_unpacklo_epi8(b, zero));
  const __m128i hi = _mm_add_epi16(_mm_unpackhi_epi8(a, zero), _mm_unpackhi_epi8(b, zero));
  const __m128i s = _mm_add_epi16(_mm_unpacklo_epi64(lo, hi), _mm_unpackhi_epi64(lo, hi));
  return _mm_srli_epi16(_mm_add_epi16(s, _mm_set1_epi16(2)), 2);
}

void Box2Bgra8(uint8_t* out, const uint8_t* src, size_t pitch, size_t n) {
  const uint8_t* a = src;
  const uint8_t* b = src + pitch;
  size_t i = 0;
  for (; i + 4 <= n; i += 4) {
    const __m128i x = Box2Bgra8Pair(Load(a + 8 * i), Load(b + 8 * i));
    const __m128i y = Box2Bgra8Pair(Load(a + 8 * i + 16), Load(b + 8 * i + 16));
    Store(out + 4 * i, _mm_packus_epi16(x, y));
  }
  Ref().box2Bgra8(out + 4 * i, a + 8 * i, pitch, n - i);
}

inline __m128i Box2Gray8Block(__m128i a, __m128i b) {
  const __m128i mask = _mm_set1_epi16(0x00FF);
  __m128i s = _mm_add_epi16(_mm_and_si128(a, mask), _mm_srli_epi16(a, 8));
  s = _mm_add_epi16(s, _mm_add_epi16(_mm_and_si128(b, mask), _mm_srli_epi16(b, 8)));
  return _mm_srli_epi16(_mm_add_epi16(s, _mm_set1_epi16(2)), 2);
}

void Box2Gray8(uint8_t* out, const uint8_t* src, size_t pitch, size_t n) {
  const uint8_t* a = src;
  const uint8_t* b = src + pitch;
  size_t i = 0;
  for (; i + 16 <= n; i += 16) {
    const __m128i x = Box2Gray8Block(Load(a + 2 * i), Load(b + 2 * i));
    const __m128i y = Box2Gray8Block(Load(a + 2 * i + 16), Load(b + 2 * i + 16));
    Store(out + i, _mm_packus_epi16(x, y));
  }
  Ref().box2Gray8(out + i, a + 2 * i, pitch, n - i);
}

void Accumulate8(uint16_t* sums, const uint8_t* src, size_t n) {
  const __m128i zero = _mm_setzero_si128();
  size_t i = 0;
  for (; i + 16 <= n; i += 16) {
    const __m128i v = Load(src + i);
    Store(sums + i, _mm_add_epi16(Load(sums + i), _mm_unpacklo_epi8(v, zero)));
    Store(sums + i + 8, _mm_add_epi16(Load(sums + i + 8), _mm_unpackhi_epi8(v, zero)));
  }
  Ref().accumulate8(sums + i, src + i, n - i);
}

// A block of 16 x 16 bytes sums to at most 65280 and 65280 + 128 still fits
// 16 bits, so the whole average stays in 16-bit lanes. A pixel's F x 4 column
// sums are F / 2 vectors of two source pixels each; their sum holds the pixel's
// total split over its low and high halves.
template <uint32_t F>
inline __m128i HalfSums(const uint16_t* p) {
  __m128i acc = Load(p);
  for (uint32_t k = 1; k < F / 2; ++k) acc = _mm_add_epi16(acc, Load(p + 8 * k));
  return acc;
}

// Two target pixels, four channels each, as 16-bit block sums.
template <uint32_t F>
inline __m128i PixelPairSums(const uint16_t* p) {
  const __m128i a = HalfSums<F>(p), b = HalfSums<F>(p + 4 * F);
  return _mm_add_epi16(_mm_unpacklo_epi64(a, b), _mm_unpackhi_epi64(a, b));
}

template <uint32_t F>
void BoxSumsBgra8By(uint8_t* out, const uint16_t* sums, size_t n) {
  constexpr int kShift = F == 2 ? 2 : F == 4 ? 4 : F == 8 ? 6 : 8;
  const __m128i half = _mm_set1_epi16(static_cast<int16_t>(F * F / 2));
  size_t i = 0;
  for (; i + 4 <= n; i += 4) {
    const uint16_t* p = sums + 4 * F * i;
    const __m128i x = _mm_srli_epi16(_mm_add_epi16(PixelPairSums<F>(p), half), kShift);
    const __m128i y = _mm_srli_epi16(_mm_add_epi16(PixelPairSums<F>(p + 8 * F), half), kShift);
    Store(out + 4 * i, _mm_packus_epi16(x, y));
  }
  Ref().boxSumsBgra8(out + 4 * i, sums + 4 * F * i, F, n - i);
}

void BoxSumsBgra8(uint8_t* out, const uint16_t* sums, uint32_t factor, size_t n) {
  switch (factor) {
    case 2: return BoxSumsBgra8By<2>(out, sums, n);
    case 4: return BoxSumsBgra8By<4>(out, sums, n);
    case 8: return BoxSumsBgra8By<8>(out, sums, n);
    case 16: return BoxSumsBgra8By<16>(out, sums, n);
    default: return Ref().boxSumsBgra8(out, sums, factor, n);
  }
}

// Gray column sums added in neighbouring pairs: a's four pair sums, then b's,
// back in 16-bit lanes. A column sum of at most 16 rows is at most 4080, so the
// sum of 8 columns still fits a signed lane and the packing never saturates.
inline __m128i PairSums(__m128i a, __m128i b) {
  const __m128i one = _mm_set1_epi16(1);
  return _mm_packs_epi32(_mm_madd_epi16(a, one), _mm_madd_epi16(b, one));
}

// Eight target pixels of factor F from 8 x F column sums: the block sums in
// 32-bit lanes, pixels 0-3 in *lo and 4-7 in *hi.
template <uint32_t F>
inline void GrayBlockSums(const uint16_t* p, __m128i* lo, __m128i* hi) {
  const __m128i one = _mm_set1_epi16(1);
  if constexpr (F == 2) {
    *lo = _mm_madd_epi16(Load(p), one);
    *hi = _mm_madd_epi16(Load(p + 8), one);
  } else if constexpr (F == 4) {
    *lo = _mm_madd_epi16(PairSums(Load(p), Load(p + 8)), one);
    *hi = _mm_madd_epi16(PairSums(Load(p + 16), Load(p + 24)), one);
  } else {
    // One vector per pixel; by 16 its two halves are added lane by lane first
    // (at most 8160 a lane).
    __m128i v[8];
    for (int j = 0; j < 8; ++j) {
      v[j] = F == 8 ? Load(p + 8 * j) : _mm_add_epi16(Load(p + 16 * j), Load(p + 16 * j + 8));
    }
    *lo = _mm_madd_epi16(PairSums(PairSums(v[0], v[1]), PairSums(v[2], v[3])), one);
    *hi = _mm_madd_epi16(PairSums(PairSums(v[4], v[5]), PairSums(v[6], v[7])), one);
  }
}

template <uint32_t F>
void BoxSumsGray8By(uint8_t* out, const uint16_t* sums, size_t n) {
  constexpr int kShift = F == 2 ? 2 : F == 4 ? 4 : F == 8 ? 6 : 8;
  const __m128i half = _mm_set1_epi32(F * F / 2);
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    __m128i lo, hi;
    GrayBlockSums<F>(sums + F * i, &lo, &hi);
    lo = _mm_srli_epi32(_mm_add_epi32(lo, half), kShift);
    hi = _mm_srli_epi32(_mm_add_epi32(hi, half), kShift);
    const __m128i v = _mm_packs_epi32(lo, hi);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + i), _mm_packus_epi16(v, v));
  }
  Ref().boxSumsGray8(out + i, sums + F * i, F, n - i);
}

void BoxSumsGray8(uint8_t* out, const uint16_t* sums, uint32_t factor, size_t n) {
  switch (factor) {
    case 2: return BoxSumsGray8By<2>(out, sums, n);
    case 4: return BoxSumsGray8By<4>(out, sums, n);
    case 8: return BoxSumsGray8By<8>(out, sums, n);
    case 16: return BoxSumsGray8By<16>(out, sums, n);
    default: return Ref().boxSumsGray8(out, sums, factor, n);
  }
}

}  // namespace impl
}  // namespace

namespace scale_kernels_detail {
bool InstallSse2(ScaleKernels& k) {
  k.horizontalBgra8 = impl::HorizontalBgra8;
  k.horizontalGray8 = impl::HorizontalGray8;
  k.horizontalBgraF = impl::HorizontalBgraF;
  k.pickBgra8 = impl::PickBgra8;
  k.vertical8 = impl::Vertical8;
  k.verticalF = impl::VerticalF;
  k.box2Bgra8 = impl::Box2Bgra8;
  k.box2Gray8 = impl::Box2Gray8;
  k.accumulate8 = impl::Accumulate8;
  k.boxSumsBgra8 = impl::BoxSumsBgra8;
  k.boxSumsGray8 = impl::BoxSumsGray8;
  return true;
}
}  // namespace scale_kernels_detail
}  // namespace vt

#else

namespace vt::scale_kernels_detail {
bool InstallSse2(ScaleKernels&) { return false; }
}  // namespace vt::scale_kernels_detail

#endif
