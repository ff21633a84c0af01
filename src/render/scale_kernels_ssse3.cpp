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

}  // namespace impl
}  // namespace

namespace scale_kernels_detail {
bool InstallSsse3(ScaleKernels& k) {
  k.horizontalBgra8 = impl::HorizontalBgra8;
  k.horizontalGray8 = impl::HorizontalGray8;
  return true;
}
}  // namespace scale_kernels_detail
}  // namespace vt

#else

namespace vt::scale_kernels_detail {
bool InstallSsse3(ScaleKernels&) { return false; }
}  // namespace vt::scale_kernels_detail

#endif
