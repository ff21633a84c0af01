// SSE2 variants of the row kernels. Each computes exactly what its scalar
// reference in row_kernels.cpp computes; the whole blocks run here and the last
// pixels of a row go to the scalar reference.
#include "image/row_kernels.h"

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>

#include <cstring>

namespace vt {
namespace {
namespace impl {

const RowKernels& Ref() {
  static const RowKernels k = row_kernels_detail::Scalar();
  return k;
}

inline __m128i Load(const void* p) { return _mm_loadu_si128(static_cast<const __m128i*>(p)); }
inline void Store(void* p, __m128i v) { _mm_storeu_si128(static_cast<__m128i*>(p), v); }

inline __m128i Swap16(__m128i v) { return _mm_or_si128(_mm_slli_epi16(v, 8), _mm_srli_epi16(v, 8)); }
inline __m128i Swap32(__m128i v) {
  v = _mm_shufflelo_epi16(v, _MM_SHUFFLE(2, 3, 0, 1));
  v = _mm_shufflehi_epi16(v, _MM_SHUFFLE(2, 3, 0, 1));
  return Swap16(v);
}

// Sixteen blue, green, red, alpha byte vectors into sixty-four bytes of pixels.
inline void Interleave4(uint8_t* dst, __m128i b, __m128i g, __m128i r, __m128i a) {
  const __m128i bgLo = _mm_unpacklo_epi8(b, g), bgHi = _mm_unpackhi_epi8(b, g);
  const __m128i raLo = _mm_unpacklo_epi8(r, a), raHi = _mm_unpackhi_epi8(r, a);
  Store(dst, _mm_unpacklo_epi16(bgLo, raLo));
  Store(dst + 16, _mm_unpackhi_epi16(bgLo, raLo));
  Store(dst + 32, _mm_unpacklo_epi16(bgHi, raHi));
  Store(dst + 48, _mm_unpackhi_epi16(bgHi, raHi));
}

void PlanarRgbToBgra8(uint8_t* dst, const uint8_t* src, size_t planeDistance, size_t n) {
  const __m128i alpha = _mm_set1_epi8(static_cast<char>(0xFF));
  size_t i = 0;
  for (; i + 16 <= n; i += 16)
    Interleave4(dst + 4 * i, Load(src + 2 * planeDistance + i), Load(src + planeDistance + i),
                Load(src + i), alpha);
  // The planes of the tail start i bytes further on, still planeDistance apart.
  Ref().planarRgbToBgra8(dst + 4 * i, src + i, planeDistance, n - i);
}

void PlanarRgbaToBgra8(uint8_t* dst, const uint8_t* src, size_t planeDistance, size_t n) {
  size_t i = 0;
  for (; i + 16 <= n; i += 16)
    Interleave4(dst + 4 * i, Load(src + 2 * planeDistance + i), Load(src + planeDistance + i),
                Load(src + i), Load(src + 3 * planeDistance + i));
  Ref().planarRgbaToBgra8(dst + 4 * i, src + i, planeDistance, n - i);
}

void StridedByteCopy(uint8_t* dst, const uint8_t* src, size_t n, size_t step) {
  size_t i = 0;
  if (step == 4) {
    // One channel into every fourth byte: widen each source byte to a 32-bit lane
    // and merge it with the three bytes of the target that stay.
    const __m128i keep = _mm_set1_epi32(static_cast<int>(0xFFFFFF00u));
    for (; i + 16 <= n; i += 16) {
      const __m128i s = Load(src + i);
      const __m128i zero = _mm_setzero_si128();
      const __m128i lo = _mm_unpacklo_epi8(s, zero), hi = _mm_unpackhi_epi8(s, zero);
      const __m128i q[4] = {_mm_unpacklo_epi16(lo, zero), _mm_unpackhi_epi16(lo, zero),
                            _mm_unpacklo_epi16(hi, zero), _mm_unpackhi_epi16(hi, zero)};
      for (int k = 0; k < 4; ++k) {
        uint8_t* p = dst + 4 * i + 16 * k;
        Store(p, _mm_or_si128(_mm_and_si128(Load(p), keep), q[k]));
      }
    }
  } else if (step == 2) {
    const __m128i keep = _mm_set1_epi16(static_cast<short>(0xFF00));
    for (; i + 16 <= n; i += 16) {
      const __m128i s = Load(src + i);
      const __m128i zero = _mm_setzero_si128();
      uint8_t* p = dst + 2 * i;
      Store(p, _mm_or_si128(_mm_and_si128(Load(p), keep), _mm_unpacklo_epi8(s, zero)));
      Store(p + 16, _mm_or_si128(_mm_and_si128(Load(p + 16), keep), _mm_unpackhi_epi8(s, zero)));
    }
  }
  Ref().stridedByteCopy(dst + i * step, src + i, n - i, step);
}

void StridedCopy16(uint8_t* dst, const uint8_t* src, size_t n, size_t step, bool swap) {
  size_t i = 0;
  if (step == 1 && swap)
    for (; i + 8 <= n; i += 8) Store(dst + 2 * i, Swap16(Load(src + 2 * i)));
  Ref().stridedCopy16(dst + 2 * i * step, src + 2 * i, n - i, step, swap);
}

void StridedCopy32(uint8_t* dst, const uint8_t* src, size_t n, size_t step, bool swap) {
  size_t i = 0;
  if (step == 1 && swap)
    for (; i + 4 <= n; i += 4) Store(dst + 4 * i, Swap32(Load(src + 4 * i)));
  Ref().stridedCopy32(dst + 4 * i * step, src + 4 * i, n - i, step, swap);
}

void Expand4Bit(uint8_t* dst, const uint8_t* src, size_t n) {
  const __m128i low = _mm_set1_epi8(0x0F);
  size_t i = 0;
  for (; i + 32 <= n; i += 32) {
    const __m128i s = Load(src + i / 2);
    const __m128i hi = _mm_and_si128(_mm_srli_epi16(s, 4), low);
    const __m128i lo = _mm_and_si128(s, low);
    Store(dst + i, _mm_unpacklo_epi8(hi, lo));
    Store(dst + i + 16, _mm_unpackhi_epi8(hi, lo));
  }
  Ref().expand4Bit(dst + i, src + i / 2, n - i);
}

void Rgba8ToBgra8(uint8_t* dst, const uint8_t* src, size_t n) {
  const __m128i ga = _mm_set1_epi32(static_cast<int>(0xFF00FF00u));
  const __m128i lowByte = _mm_set1_epi32(0xFF);
  size_t i = 0;
  for (; i + 4 <= n; i += 4) {
    const __m128i s = Load(src + 4 * i);
    const __m128i rb = _mm_andnot_si128(ga, s);
    const __m128i swapped = _mm_or_si128(_mm_and_si128(_mm_srli_epi32(rb, 16), lowByte),
                                         _mm_slli_epi32(_mm_and_si128(rb, lowByte), 16));
    Store(dst + 4 * i, _mm_or_si128(_mm_and_si128(s, ga), swapped));
  }
  Ref().rgba8ToBgra8(dst + 4 * i, src + 4 * i, n - i);
}

void Rgba16ToBgra16(uint8_t* dst, const uint8_t* src, size_t n, bool swap) {
  size_t i = 0;
  for (; i + 2 <= n; i += 2) {
    __m128i s = Load(src + 8 * i);
    s = _mm_shufflelo_epi16(s, _MM_SHUFFLE(3, 0, 1, 2));
    s = _mm_shufflehi_epi16(s, _MM_SHUFFLE(3, 0, 1, 2));
    Store(dst + 8 * i, swap ? Swap16(s) : s);
  }
  Ref().rgba16ToBgra16(dst + 8 * i, src + 8 * i, n - i, swap);
}

void HighBytes16(uint8_t* dst, const uint16_t* src, size_t samples) {
  size_t i = 0;
  for (; i + 16 <= samples; i += 16) {
    const __m128i a = _mm_srli_epi16(Load(src + i), 8);
    const __m128i b = _mm_srli_epi16(Load(src + i + 8), 8);
    Store(dst + i, _mm_packus_epi16(a, b));
  }
  Ref().highBytes16(dst + i, src + i, samples - i);
}

void Widen8To16(uint16_t* dst, const uint8_t* src, size_t samples) {
  size_t i = 0;
  for (; i + 16 <= samples; i += 16) {
    const __m128i s = Load(src + i);
    // v | v << 8 is v * 257.
    Store(dst + i, _mm_unpacklo_epi8(s, s));
    Store(dst + i + 8, _mm_unpackhi_epi8(s, s));
  }
  Ref().widen8To16(dst + i, src + i, samples - i);
}

void U8ToFloat(float* dst, const uint8_t* src, size_t samples) {
  const __m128 scale = _mm_set1_ps(255.0f);
  const __m128i zero = _mm_setzero_si128();
  size_t i = 0;
  for (; i + 16 <= samples; i += 16) {
    const __m128i s = Load(src + i);
    const __m128i lo = _mm_unpacklo_epi8(s, zero), hi = _mm_unpackhi_epi8(s, zero);
    const __m128i q[4] = {_mm_unpacklo_epi16(lo, zero), _mm_unpackhi_epi16(lo, zero),
                          _mm_unpacklo_epi16(hi, zero), _mm_unpackhi_epi16(hi, zero)};
    for (int k = 0; k < 4; ++k) _mm_storeu_ps(dst + i + 4 * k, _mm_div_ps(_mm_cvtepi32_ps(q[k]), scale));
  }
  Ref().u8ToFloat(dst + i, src + i, samples - i);
}

void U16ToFloat(float* dst, const uint16_t* src, size_t samples) {
  const __m128 scale = _mm_set1_ps(65535.0f);
  const __m128i zero = _mm_setzero_si128();
  size_t i = 0;
  for (; i + 8 <= samples; i += 8) {
    const __m128i s = Load(src + i);
    _mm_storeu_ps(dst + i, _mm_div_ps(_mm_cvtepi32_ps(_mm_unpacklo_epi16(s, zero)), scale));
    _mm_storeu_ps(dst + i + 4, _mm_div_ps(_mm_cvtepi32_ps(_mm_unpackhi_epi16(s, zero)), scale));
  }
  Ref().u16ToFloat(dst + i, src + i, samples - i);
}

void FloatToU16(uint16_t* dst, const float* src, size_t samples) {
  const __m128 zero = _mm_setzero_ps(), one = _mm_set1_ps(1.0f);
  const __m128 scale = _mm_set1_ps(65535.0f), half = _mm_set1_ps(0.5f);
  const __m128i bias = _mm_set1_epi32(32768);
  const __m128i bias16 = _mm_set1_epi16(static_cast<short>(0x8000));
  size_t i = 0;
  for (; i + 8 <= samples; i += 8) {
    __m128i q[2];
    for (int k = 0; k < 2; ++k) {
      // max(v, 0) gives 0 for NaN (the second operand), like the scalar test.
      __m128 v = _mm_min_ps(_mm_max_ps(_mm_loadu_ps(src + i + 4 * k), zero), one);
      q[k] = _mm_sub_epi32(_mm_cvttps_epi32(_mm_add_ps(_mm_mul_ps(v, scale), half)), bias);
    }
    // No unsigned 32-to-16 pack before SSE4.1: pack signed around the midpoint.
    Store(dst + i, _mm_xor_si128(_mm_packs_epi32(q[0], q[1]), bias16));
  }
  Ref().floatToU16(dst + i, src + i, samples - i);
}

void Gray8ToBgra8(uint8_t* dst, const uint8_t* src, size_t n) {
  const __m128i alpha = _mm_set1_epi8(static_cast<char>(0xFF));
  size_t i = 0;
  for (; i + 16 <= n; i += 16) {
    const __m128i g = Load(src + i);
    Interleave4(dst + 4 * i, g, g, g, alpha);
  }
  Ref().gray8ToBgra8(dst + 4 * i, src + i, n - i);
}

void Bgra8ToGray8(uint8_t* dst, const uint8_t* src, size_t n) {
  const __m128i lowByte = _mm_set1_epi16(0xFF);
  const __m128i one = _mm_set1_epi16(1);
  // For s <= 766, s / 3 == (s * 43691) >> 17.
  const __m128i third = _mm_set1_epi16(static_cast<short>(43691));
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    __m128i sums[2];
    for (int k = 0; k < 2; ++k) {
      const __m128i p = Load(src + 4 * i + 16 * k);
      const __m128i even = _mm_and_si128(p, lowByte);  // blue, red
      const __m128i odd = _mm_srli_epi16(p, 8);        // green, alpha
      const __m128i green = _mm_and_si128(odd, _mm_set1_epi32(0xFFFF));
      __m128i s = _mm_add_epi16(even, green);
      // Bring red (upper 16 bits of each lane) down onto blue + green.
      s = _mm_add_epi32(_mm_and_si128(s, _mm_set1_epi32(0xFFFF)), _mm_srli_epi32(s, 16));
      sums[k] = s;
    }
    // Both halves' 32-bit sums fit 16 bits: pack them to eight 16-bit lanes.
    __m128i s = _mm_packs_epi32(sums[0], sums[1]);
    s = _mm_add_epi16(s, one);
    s = _mm_srli_epi16(_mm_mulhi_epu16(s, third), 1);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(dst + i), _mm_packus_epi16(s, s));
  }
  Ref().bgra8ToGray8(dst + i, src + 4 * i, n - i);
}

void DitherBgra16Row(uint8_t* dst, const uint16_t* src, uint16_t* err, size_t n, bool reverse) {
  // Blue, green, red and alpha of one pixel in four 16-bit lanes, computed as
  // V = 16 * (sample >> 4) + t, where t is the error sum plus 8 plus the carry
  // from the previous pixel, all unsigned saturating. Without saturation V >> 4
  // is (sample >> 4) + (t >> 4), because the sample's low four bits are clear;
  // V saturates exactly when that sum passes 4095, and 65535 carries the
  // clamped value 4095 and remainder 15. So V >> 8 is the output and bits 4..7
  // hold the remainder r. The carry 7 r is 8 r - r, taken from 16 r by two
  // shifts. The loop-carried chain is thus four instructions long. The alpha
  // lane keeps t = 0 and r = 0, so it comes out as the high byte.
  std::memset(err, 0, 8);
  std::memset(err + 4 * (n + 1), 0, 8);
  const __m128i k8 = _mm_set_epi16(0, 0, 0, 0, 0, 8, 8, 8);
  const __m128i high12 = _mm_set1_epi16(static_cast<short>(0xFFF0));
  const __m128i colourLanes = _mm_set_epi16(0, 0, 0, 0, 0, -1, -1, -1);
  const __m128i remMask = _mm_set_epi16(0, 0, 0, 0, 0, 0xF0, 0xF0, 0xF0);
  const ptrdiff_t d = reverse ? -1 : 1;
  ptrdiff_t x = reverse ? static_cast<ptrdiff_t>(n) - 1 : 0;
  __m128i carry = _mm_setzero_si128();
  __m128i ahead = _mm_setzero_si128();    // r of the previous pixel, for the pixel below this one
  __m128i pending = _mm_setzero_si128();  // the sum below the previous pixel, short of 3 r
  for (size_t k = 0; k < n; ++k, x += d) {
    const __m128i raw = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(src + 4 * x));
    // DitherInput on blue, green and red; alpha keeps its plain high byte.
    const __m128i s = _mm_sub_epi16(raw, _mm_and_si128(_mm_srli_epi16(raw, 8), colourLanes));
    __m128i* e = reinterpret_cast<__m128i*>(err + 4 * (x + 1));
    __m128i* behind = reinterpret_cast<__m128i*>(err + 4 * (x + 1 - d));
    // Saturating the sum without the carry first changes nothing: once it
    // saturates, adding the carry would have too.
    const __m128i base = _mm_adds_epu16(_mm_and_si128(s, high12),
                                        _mm_add_epi16(_mm_loadl_epi64(e), k8));
    const __m128i v = _mm_adds_epu16(base, carry);
    const __m128i out = _mm_srli_epi16(v, 8);
    const int packed = _mm_cvtsi128_si32(_mm_packus_epi16(out, out));
    std::memcpy(dst + 4 * x, &packed, 4);
    const __m128i r16 = _mm_and_si128(v, remMask);
    const __m128i r = _mm_srli_epi16(r16, 4);
    carry = _mm_sub_epi16(_mm_srli_epi16(r16, 1), r);
    _mm_storel_epi64(behind, _mm_add_epi16(pending, _mm_add_epi16(_mm_slli_epi16(r, 1), r)));
    pending = _mm_add_epi16(ahead, _mm_add_epi16(_mm_slli_epi16(r, 2), r));
    ahead = r;
  }
  if (n) _mm_storel_epi64(reinterpret_cast<__m128i*>(err + 4 * (x - d + 1)), pending);
}

}  // namespace impl
}  // namespace

namespace row_kernels_detail {
bool InstallSse2(RowKernels& k) {
  k.planarRgbToBgra8 = impl::PlanarRgbToBgra8;
  k.planarRgbaToBgra8 = impl::PlanarRgbaToBgra8;
  k.stridedByteCopy = impl::StridedByteCopy;
  k.stridedCopy16 = impl::StridedCopy16;
  k.stridedCopy32 = impl::StridedCopy32;
  k.expand4Bit = impl::Expand4Bit;
  k.rgba8ToBgra8 = impl::Rgba8ToBgra8;
  k.rgba16ToBgra16 = impl::Rgba16ToBgra16;
  k.highBytes16 = impl::HighBytes16;
  k.widen8To16 = impl::Widen8To16;
  k.u8ToFloat = impl::U8ToFloat;
  k.u16ToFloat = impl::U16ToFloat;
  k.floatToU16 = impl::FloatToU16;
  k.gray8ToBgra8 = impl::Gray8ToBgra8;
  k.bgra8ToGray8 = impl::Bgra8ToGray8;
  k.ditherBgra16Row = impl::DitherBgra16Row;
  return true;
}
}  // namespace row_kernels_detail
}  // namespace vt

#else

namespace vt::row_kernels_detail {
bool InstallSse2(RowKernels&) { return false; }
}  // namespace vt::row_kernels_detail

#endif
