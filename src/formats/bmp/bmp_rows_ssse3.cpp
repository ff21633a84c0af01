// SSSE3 variant of the bitmap reader's streaming row converter: one byte
// shuffle per four pixels and non-temporal stores. Equal to the scalar
// reference bit for bit.
#include "formats/bmp/bmp_rows.h"

#if defined(__SSSE3__)
#include <tmmintrin.h>

#include <cstdint>

namespace vt {
namespace {

inline __m128i Load(const void* p) { return _mm_loadu_si128(static_cast<const __m128i*>(p)); }

// 16 pixels: 48 source bytes in three loads that stay inside them, 64 target
// bytes in four stores.
inline void Block(uint8_t* dst, const uint8_t* src, __m128i shuffle, __m128i alpha) {
  const __m128i a = Load(src), b = Load(src + 16), c = Load(src + 32);
  const __m128i out[4] = {
      _mm_or_si128(_mm_shuffle_epi8(a, shuffle), alpha),
      _mm_or_si128(_mm_shuffle_epi8(_mm_alignr_epi8(b, a, 12), shuffle), alpha),
      _mm_or_si128(_mm_shuffle_epi8(_mm_alignr_epi8(c, b, 8), shuffle), alpha),
      _mm_or_si128(_mm_shuffle_epi8(_mm_srli_si128(c, 4), shuffle), alpha),
  };
  for (int k = 0; k < 4; ++k) _mm_stream_si128(reinterpret_cast<__m128i*>(dst + 16 * k), out[k]);
}

void Bgr24ToBgra32Streaming(uint8_t* dst, const uint8_t* src, size_t n) {
  alignas(16) static const int8_t kShuffle[16] = {0, 1, 2, -1, 3, 4, 5, -1,
                                                   6, 7, 8, -1, 9, 10, 11, -1};
  const __m128i shuffle = Load(kShuffle);
  const __m128i alpha = _mm_set1_epi32(static_cast<int>(0xFF000000u));
  size_t i = 0;
  // Non-temporal stores need aligned targets; the pixels before the first
  // aligned one (none for the rows of an image buffer) take the scalar path.
  while (i < n && (reinterpret_cast<uintptr_t>(dst + 4 * i) & 15) != 0) {
    dst[4 * i] = src[3 * i];
    dst[4 * i + 1] = src[3 * i + 1];
    dst[4 * i + 2] = src[3 * i + 2];
    dst[4 * i + 3] = 0xFF;
    ++i;
  }
  for (; i + 16 <= n; i += 16) Block(dst + 4 * i, src + 3 * i, shuffle, alpha);
  for (; i < n; ++i) {
    dst[4 * i] = src[3 * i];
    dst[4 * i + 1] = src[3 * i + 1];
    dst[4 * i + 2] = src[3 * i + 2];
    dst[4 * i + 3] = 0xFF;
  }
}

void Fence() { _mm_sfence(); }

}  // namespace

namespace bmp_rows_detail {
bool InstallSsse3(BmpRowKernels& k) {
  k.bgr24ToBgra32Streaming = Bgr24ToBgra32Streaming;
  k.finishStreaming = Fence;
  return true;
}
}  // namespace bmp_rows_detail

}  // namespace vt

#else

namespace vt::bmp_rows_detail {
bool InstallSsse3(BmpRowKernels&) { return false; }
}  // namespace vt::bmp_rows_detail

#endif
