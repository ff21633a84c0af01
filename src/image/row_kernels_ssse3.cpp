// SSSE3 variants of the row kernels: the byte shuffle turns the reordering of
// three- and four-sample pixels, with or without a byte swap, into one
// instruction per vector. Results equal the scalar references bit for bit.
#include "image/row_kernels.h"

#if defined(__SSSE3__)
#include <tmmintrin.h>

namespace vt {
namespace {
namespace impl {

const RowKernels& Ref() {
  static const RowKernels k = row_kernels_detail::Scalar();
  return k;
}

inline __m128i Load(const void* p) { return _mm_loadu_si128(static_cast<const __m128i*>(p)); }
inline void Store(void* p, __m128i v) { _mm_storeu_si128(static_cast<__m128i*>(p), v); }

// A shuffle mask from sixteen source byte positions; -1 gives a zero byte that
// the alpha constant then fills.
inline __m128i Mask(const int8_t (&m)[16]) { return Load(m); }

// Pixels of 12 source bytes per 16 target bytes (four 8-bit RGB pixels, two
// 16-bit RGB pixels or one float RGB pixel). 48 source bytes give four output
// vectors; the loads never pass the end of the source.
inline void ThreeToFour(uint8_t* dst, const uint8_t* src, __m128i shuffle, __m128i alpha) {
  const __m128i a = Load(src), b = Load(src + 16), c = Load(src + 32);
  Store(dst, _mm_or_si128(_mm_shuffle_epi8(a, shuffle), alpha));
  Store(dst + 16, _mm_or_si128(_mm_shuffle_epi8(_mm_alignr_epi8(b, a, 12), shuffle), alpha));
  Store(dst + 32, _mm_or_si128(_mm_shuffle_epi8(_mm_alignr_epi8(c, b, 8), shuffle), alpha));
  Store(dst + 48, _mm_or_si128(_mm_shuffle_epi8(_mm_srli_si128(c, 4), shuffle), alpha));
}

// pixelsPerBlock pixels take 48 source and 64 target bytes.
template <size_t kPixelsPerBlock>
size_t ThreeToFourRow(uint8_t* dst, const uint8_t* src, size_t n, __m128i shuffle, __m128i alpha) {
  size_t i = 0;
  const size_t srcBytes = 48 / kPixelsPerBlock, dstBytes = 64 / kPixelsPerBlock;
  for (; i + kPixelsPerBlock <= n; i += kPixelsPerBlock)
    ThreeToFour(dst + dstBytes * i, src + srcBytes * i, shuffle, alpha);
  return i;
}

constexpr int8_t kRgb8[16] = {2, 1, 0, -1, 5, 4, 3, -1, 8, 7, 6, -1, 11, 10, 9, -1};
constexpr int8_t kBgr8[16] = {0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1};
constexpr int8_t kRgb16[16] = {4, 5, 2, 3, 0, 1, -1, -1, 10, 11, 8, 9, 6, 7, -1, -1};
constexpr int8_t kRgb16Swap[16] = {5, 4, 3, 2, 1, 0, -1, -1, 11, 10, 9, 8, 7, 6, -1, -1};
constexpr int8_t kBgr16[16] = {0, 1, 2, 3, 4, 5, -1, -1, 6, 7, 8, 9, 10, 11, -1, -1};
constexpr int8_t kBgr16Swap[16] = {1, 0, 3, 2, 5, 4, -1, -1, 7, 6, 9, 8, 11, 10, -1, -1};
constexpr int8_t kRgbF[16] = {8, 9, 10, 11, 4, 5, 6, 7, 0, 1, 2, 3, -1, -1, -1, -1};
constexpr int8_t kRgbFSwap[16] = {11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0, -1, -1, -1, -1};
constexpr int8_t kBgrF[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, -1, -1, -1, -1};
constexpr int8_t kBgrFSwap[16] = {3, 2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, -1, -1, -1, -1};
constexpr int8_t kRgba8[16] = {2, 1, 0, 3, 6, 5, 4, 7, 10, 9, 8, 11, 14, 13, 12, 15};
constexpr int8_t kRgba16[16] = {4, 5, 2, 3, 0, 1, 6, 7, 12, 13, 10, 11, 8, 9, 14, 15};
constexpr int8_t kRgba16Swap[16] = {5, 4, 3, 2, 1, 0, 7, 6, 13, 12, 11, 10, 9, 8, 15, 14};
constexpr int8_t kRgbaF[16] = {8, 9, 10, 11, 4, 5, 6, 7, 0, 1, 2, 3, 12, 13, 14, 15};
constexpr int8_t kRgbaFSwap[16] = {11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 15, 14, 13, 12};
constexpr int8_t kSwap16[16] = {1, 0, 3, 2, 5, 4, 7, 6, 9, 8, 11, 10, 13, 12, 15, 14};
constexpr int8_t kSwap32[16] = {3, 2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12};

inline __m128i Alpha8() { return _mm_set1_epi32(static_cast<int>(0xFF000000u)); }
inline __m128i Alpha16() { return _mm_set_epi32(-65536, 0, -65536, 0); }
inline __m128i AlphaF() { return _mm_set_epi32(0x3F800000, 0, 0, 0); }

void Rgb8ToBgra8(uint8_t* dst, const uint8_t* src, size_t n) {
  const size_t i = ThreeToFourRow<16>(dst, src, n, Mask(kRgb8), Alpha8());
  Ref().rgb8ToBgra8(dst + 4 * i, src + 3 * i, n - i);
}

void Bgr8ToBgra8(uint8_t* dst, const uint8_t* src, size_t n) {
  const size_t i = ThreeToFourRow<16>(dst, src, n, Mask(kBgr8), Alpha8());
  Ref().bgr8ToBgra8(dst + 4 * i, src + 3 * i, n - i);
}

void Rgb16ToBgra16(uint8_t* dst, const uint8_t* src, size_t n, bool swap) {
  const size_t i = ThreeToFourRow<8>(dst, src, n, Mask(swap ? kRgb16Swap : kRgb16), Alpha16());
  Ref().rgb16ToBgra16(dst + 8 * i, src + 6 * i, n - i, swap);
}

void Bgr16ToBgra16(uint8_t* dst, const uint8_t* src, size_t n, bool swap) {
  const size_t i = ThreeToFourRow<8>(dst, src, n, Mask(swap ? kBgr16Swap : kBgr16), Alpha16());
  Ref().bgr16ToBgra16(dst + 8 * i, src + 6 * i, n - i, swap);
}

void RgbFloatToBgraFloat(uint8_t* dst, const uint8_t* src, size_t n, bool swap) {
  const size_t i = ThreeToFourRow<4>(dst, src, n, Mask(swap ? kRgbFSwap : kRgbF), AlphaF());
  Ref().rgbFloatToBgraFloat(dst + 16 * i, src + 12 * i, n - i, swap);
}

void BgrFloatToBgraFloat(uint8_t* dst, const uint8_t* src, size_t n, bool swap) {
  const size_t i = ThreeToFourRow<4>(dst, src, n, Mask(swap ? kBgrFSwap : kBgrF), AlphaF());
  Ref().bgrFloatToBgraFloat(dst + 16 * i, src + 12 * i, n - i, swap);
}

// Four-sample pixels: one shuffle per 16 bytes.
inline size_t ShuffleRow(uint8_t* dst, const uint8_t* src, size_t bytes, __m128i shuffle) {
  size_t i = 0;
  for (; i + 16 <= bytes; i += 16) Store(dst + i, _mm_shuffle_epi8(Load(src + i), shuffle));
  return i;
}

void Rgba8ToBgra8(uint8_t* dst, const uint8_t* src, size_t n) {
  const size_t done = ShuffleRow(dst, src, 4 * n, Mask(kRgba8)) / 4;
  Ref().rgba8ToBgra8(dst + 4 * done, src + 4 * done, n - done);
}

void Rgba16ToBgra16(uint8_t* dst, const uint8_t* src, size_t n, bool swap) {
  const size_t done = ShuffleRow(dst, src, 8 * n, Mask(swap ? kRgba16Swap : kRgba16)) / 8;
  Ref().rgba16ToBgra16(dst + 8 * done, src + 8 * done, n - done, swap);
}

void RgbaFloatToBgraFloat(uint8_t* dst, const uint8_t* src, size_t n, bool swap) {
  const size_t done = ShuffleRow(dst, src, 16 * n, Mask(swap ? kRgbaFSwap : kRgbaF)) / 16;
  Ref().rgbaFloatToBgraFloat(dst + 16 * done, src + 16 * done, n - done, swap);
}

void StridedCopy16(uint8_t* dst, const uint8_t* src, size_t n, size_t step, bool swap) {
  if (step == 1 && swap) {
    const size_t done = ShuffleRow(dst, src, 2 * n, Mask(kSwap16)) / 2;
    Ref().stridedCopy16(dst + 2 * done, src + 2 * done, n - done, 1, true);
    return;
  }
  Ref().stridedCopy16(dst, src, n, step, swap);
}

void StridedCopy32(uint8_t* dst, const uint8_t* src, size_t n, size_t step, bool swap) {
  if (step == 1 && swap) {
    const size_t done = ShuffleRow(dst, src, 4 * n, Mask(kSwap32)) / 4;
    Ref().stridedCopy32(dst + 4 * done, src + 4 * done, n - done, 1, true);
    return;
  }
  Ref().stridedCopy32(dst, src, n, step, swap);
}

}  // namespace impl
}  // namespace

namespace row_kernels_detail {
bool InstallSsse3(RowKernels& k) {
  k.rgb8ToBgra8 = impl::Rgb8ToBgra8;
  k.bgr8ToBgra8 = impl::Bgr8ToBgra8;
  k.rgba8ToBgra8 = impl::Rgba8ToBgra8;
  k.rgb16ToBgra16 = impl::Rgb16ToBgra16;
  k.bgr16ToBgra16 = impl::Bgr16ToBgra16;
  k.rgba16ToBgra16 = impl::Rgba16ToBgra16;
  k.rgbFloatToBgraFloat = impl::RgbFloatToBgraFloat;
  k.bgrFloatToBgraFloat = impl::BgrFloatToBgraFloat;
  k.rgbaFloatToBgraFloat = impl::RgbaFloatToBgraFloat;
  k.stridedCopy16 = impl::StridedCopy16;
  k.stridedCopy32 = impl::StridedCopy32;
  return true;
}
}  // namespace row_kernels_detail
}  // namespace vt

#else

namespace vt::row_kernels_detail {
bool InstallSsse3(RowKernels&) { return false; }
}  // namespace vt::row_kernels_detail

#endif
