// SSSE3 variants of the horizontal 8-bit passes: the byte shuffle puts each
// channel's neighbouring samples side by side for pmaddwd in one instruction,
// and phaddd adds a gray column's two halves. Results equal the scalar
// references bit for bit.
#include "render/scale_kernels.h"

#if defined(__SSSE3__)
#include <tmmintrin.h>

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
inline __m128i LoadTaps(const int16_t* t) { return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(t)); }

// Channel c of pixels 0 and 1 (2 and 3) as a pair of 16-bit lanes.
const int8_t kPixels01[16] = {0, -1, 4, -1, 1, -1, 5, -1, 2, -1, 6, -1, 3, -1, 7, -1};
const int8_t kPixels23[16] = {8, -1, 12, -1, 9, -1, 13, -1, 10, -1, 14, -1, 11, -1, 15, -1};

inline __m128i ColumnBgra8(const uint8_t* p, const int16_t* tap, __m128i m01, __m128i m23) {
  const __m128i v = Load(p);
  const __m128i t = LoadTaps(tap);
  const __m128i s = _mm_add_epi32(_mm_madd_epi16(_mm_shuffle_epi8(v, m01), _mm_shuffle_epi32(t, 0x00)),
                                  _mm_madd_epi16(_mm_shuffle_epi8(v, m23), _mm_shuffle_epi32(t, 0x55)));
  return _mm_srai_epi32(s, 7);
}

void HorizontalBgra8(int16_t* out, const uint8_t* row, const ColumnTap* taps, uint32_t begin,
                     uint32_t end) {
  const __m128i m01 = Load(kPixels01), m23 = Load(kPixels23);
  uint32_t i = begin;
  for (; i + 2 <= end; i += 2) {
    const __m128i a =
        ColumnBgra8(row + 4 * static_cast<ptrdiff_t>(taps[i].first), taps[i].tap, m01, m23);
    const __m128i b = ColumnBgra8(row + 4 * static_cast<ptrdiff_t>(taps[i + 1].first),
                                  taps[i + 1].tap, m01, m23);
    Store(out + 4 * size_t{i}, _mm_packs_epi32(a, b));
  }
  Ref().horizontalBgra8(out, row, taps, i, end);
}

void HorizontalGray8(int16_t* out, const uint8_t* row, const ColumnTap* taps, uint32_t begin,
                     uint32_t end) {
  const __m128i zero = _mm_setzero_si128();
  uint32_t i = begin;
  for (; i + 4 <= end; i += 4) {
    const ColumnTap* t = taps + i;
    const __m128i c01 = _mm_unpacklo_epi32(Load32(row + t[0].first), Load32(row + t[1].first));
    const __m128i c23 = _mm_unpacklo_epi32(Load32(row + t[2].first), Load32(row + t[3].first));
    const __m128i t01 = _mm_unpacklo_epi64(LoadTaps(t[0].tap), LoadTaps(t[1].tap));
    const __m128i t23 = _mm_unpacklo_epi64(LoadTaps(t[2].tap), LoadTaps(t[3].tap));
    const __m128i x = _mm_madd_epi16(_mm_unpacklo_epi8(c01, zero), t01);
    const __m128i y = _mm_madd_epi16(_mm_unpacklo_epi8(c23, zero), t23);
    const __m128i s = _mm_srai_epi32(_mm_hadd_epi32(x, y), 7);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + i), _mm_packs_epi32(s, s));
  }
  Ref().horizontalGray8(out, row, taps, i, end);
}

// Eight target pixels of factor F from 8 x F gray column sums, by a tree of
// pairwise horizontal adds in 16-bit lanes. A 16 x 16 block sums to at most
// 65280, and 65280 + 128 still fits an unsigned lane; phaddw wraps rather than
// saturates, so the lanes hold the exact sums read as unsigned.
template <uint32_t F>
inline __m128i GrayBlockSums(const uint16_t* p) {
  if constexpr (F == 2) {
    return _mm_hadd_epi16(Load(p), Load(p + 8));
  } else if constexpr (F == 4) {
    return _mm_hadd_epi16(_mm_hadd_epi16(Load(p), Load(p + 8)),
                          _mm_hadd_epi16(Load(p + 16), Load(p + 24)));
  } else {
    __m128i v[8];
    for (int j = 0; j < 8; ++j) {
      v[j] = F == 8 ? Load(p + 8 * j) : _mm_add_epi16(Load(p + 16 * j), Load(p + 16 * j + 8));
    }
    return _mm_hadd_epi16(
        _mm_hadd_epi16(_mm_hadd_epi16(v[0], v[1]), _mm_hadd_epi16(v[2], v[3])),
        _mm_hadd_epi16(_mm_hadd_epi16(v[4], v[5]), _mm_hadd_epi16(v[6], v[7])));
  }
}

template <uint32_t F>
void BoxSumsGray8By(uint8_t* out, const uint16_t* sums, size_t n) {
  constexpr int kShift = F == 2 ? 2 : F == 4 ? 4 : F == 8 ? 6 : 8;
  const __m128i half = _mm_set1_epi16(static_cast<int16_t>(F * F / 2));
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    const __m128i v = _mm_srli_epi16(_mm_add_epi16(GrayBlockSums<F>(sums + F * i), half), kShift);
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
bool InstallSsse3(ScaleKernels& k) {
  k.horizontalBgra8 = impl::HorizontalBgra8;
  k.horizontalGray8 = impl::HorizontalGray8;
  k.boxSumsGray8 = impl::BoxSumsGray8;
  return true;
}
}  // namespace scale_kernels_detail
}  // namespace vt

#else

namespace vt::scale_kernels_detail {
bool InstallSsse3(ScaleKernels&) { return false; }
}  // namespace vt::scale_kernels_detail

#endif
