#pragma once
// The vector unfilter kernels, shared by the SSE2 and SSSE3 files, which
// include this with their own instruction set enabled. Everything is in an
// unnamed namespace so that each file keeps its own copy (no inline function
// compiled for one instruction set can be picked for the other).
#include <emmintrin.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "formats/png/png_filter.h"

namespace vt {
namespace {

inline __m128i Load16(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
inline void Store16(uint8_t* p, __m128i x) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), x); }
inline __m128i Load4(const uint8_t* p) {
  int32_t v;
  std::memcpy(&v, p, 4);
  return _mm_cvtsi32_si128(v);
}
// Writes the low B (3 or 4) bytes.
template <uint32_t B>
inline void StorePixel(uint8_t* p, __m128i x) {
  const int32_t v = _mm_cvtsi128_si32(x);
  std::memcpy(p, &v, B);
}

inline int PaethScalar(int a, int b, int c) {
  const int pa = std::abs(b - c);
  const int pb = std::abs(a - c);
  const int pc = std::abs(a + b - 2 * c);
  if (pa <= pb && pa <= pc) return a;
  if (pb <= pc) return b;
  return c;
}

template <uint32_t B>
void UpSimd(uint8_t* row, const uint8_t* prev, size_t n) {
  size_t i = 0;
  for (; i + 16 <= n; i += 16) Store16(row + i, _mm_add_epi8(Load16(row + i), Load16(prev + i)));
  for (; i < n; ++i) row[i] = static_cast<uint8_t>(row[i] + prev[i]);
}

// Four pixels per step: a prefix sum inside the register, plus the last pixel
// of the step before in every lane.
inline void Sub4Simd(uint8_t* row, const uint8_t* /*prev*/, size_t n) {
  __m128i a = _mm_setzero_si128();
  size_t i = 0;
  for (; i + 16 <= n; i += 16) {
    __m128i x = Load16(row + i);
    x = _mm_add_epi8(x, _mm_slli_si128(x, 4));
    x = _mm_add_epi8(x, _mm_slli_si128(x, 8));
    x = _mm_add_epi8(x, a);
    Store16(row + i, x);
    a = _mm_shuffle_epi32(x, 0xFF);
  }
  for (; i < n; ++i) row[i] = static_cast<uint8_t>(row[i] + (i >= 4 ? row[i - 4] : 0));
}

// The same over twelve bytes; the four loaded beyond them are slack.
inline void Sub3Simd(uint8_t* row, const uint8_t* /*prev*/, size_t n) {
  const __m128i low3 = _mm_cvtsi32_si128(0x00FFFFFF);
  __m128i a = _mm_setzero_si128();
  size_t i = 0;
  for (; i + 12 <= n; i += 12) {
    __m128i x = Load16(row + i);
    x = _mm_add_epi8(x, _mm_slli_si128(x, 3));
    x = _mm_add_epi8(x, _mm_slli_si128(x, 6));
    x = _mm_add_epi8(x, a);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(row + i), x);
    StorePixel<4>(row + i + 8, _mm_srli_si128(x, 8));
    a = _mm_and_si128(_mm_srli_si128(x, 9), low3);
    a = _mm_or_si128(a, _mm_slli_si128(a, 3));
    a = _mm_or_si128(a, _mm_slli_si128(a, 6));
  }
  for (; i < n; ++i) row[i] = static_cast<uint8_t>(row[i] + (i >= 3 ? row[i - 3] : 0));
}

// One pixel per step: each depends on the one before. For B = 3 the fourth
// lane carries a byte of the next pixel that is never stored.
template <uint32_t B>
void AverageSimd(uint8_t* row, const uint8_t* prev, size_t n) {
  const __m128i one = _mm_set1_epi8(1);
  __m128i a = _mm_setzero_si128();
  size_t i = 0;
  for (; i + B <= n; i += B) {
    const __m128i b = Load4(prev + i);
    // avg_epu8 rounds up; the filter rounds down.
    __m128i avg = _mm_avg_epu8(a, b);
    avg = _mm_sub_epi8(avg, _mm_and_si128(_mm_xor_si128(a, b), one));
    const __m128i x = _mm_add_epi8(Load4(row + i), avg);
    StorePixel<B>(row + i, x);
    a = x;
  }
  for (; i < n; ++i)
    row[i] = static_cast<uint8_t>(row[i] + (((i >= B ? row[i - B] : 0) + prev[i]) >> 1));
}

inline __m128i Abs16Sse2(__m128i x) { return _mm_max_epi16(x, _mm_sub_epi16(_mm_setzero_si128(), x)); }

inline __m128i Select(__m128i mask, __m128i yes, __m128i no) {
  return _mm_or_si128(_mm_and_si128(mask, yes), _mm_andnot_si128(mask, no));
}

// One pixel per step in 16-bit lanes. pa = |b - c| chooses a, pb = |a - c|
// chooses b, pc = |a + b - 2c| chooses c; ties go to a, then b.
template <uint32_t B, __m128i (*Abs)(__m128i)>
void PaethSimd(uint8_t* row, const uint8_t* prev, size_t n) {
  const __m128i zero = _mm_setzero_si128();
  __m128i a = zero;
  __m128i c = zero;
  size_t i = 0;
  for (; i + B <= n; i += B) {
    const __m128i b = _mm_unpacklo_epi8(Load4(prev + i), zero);
    const __m128i toA = _mm_sub_epi16(b, c);
    const __m128i toB = _mm_sub_epi16(a, c);
    const __m128i pa = Abs(toA);
    const __m128i pb = Abs(toB);
    const __m128i pc = Abs(_mm_add_epi16(toA, toB));
    const __m128i least = _mm_min_epi16(_mm_min_epi16(pa, pb), pc);
    __m128i pred = Select(_mm_cmpeq_epi16(pb, least), b, c);
    pred = Select(_mm_cmpeq_epi16(pa, least), a, pred);
    const __m128i x = _mm_add_epi8(Load4(row + i), _mm_packus_epi16(pred, pred));
    StorePixel<B>(row + i, x);
    a = _mm_unpacklo_epi8(x, zero);
    c = b;
  }
  for (; i < n; ++i) {
    const int left = i >= B ? row[i - B] : 0;
    const int corner = i >= B ? prev[i - B] : 0;
    row[i] = static_cast<uint8_t>(row[i] + PaethScalar(left, prev[i], corner));
  }
}

}  // namespace
}  // namespace vt
