#include "formats/jpeg/jpeg_kernels.h"

#if defined(__SSE2__)
#include <emmintrin.h>

#include <cstring>

namespace vt {

namespace {

// Same constants and the same sums as the scalar transform; every 32-bit sum
// below is one the scalar code forms too, so the results agree exactly.
constexpr int kConstBits = 13;
constexpr int kPass1Bits = 2;

constexpr int16_t k0298 = 2446;
constexpr int16_t k0390 = 3196;
constexpr int16_t k0541 = 4433;
constexpr int16_t k0765 = 6270;
constexpr int16_t k0899 = 7373;
constexpr int16_t k1175 = 9633;
constexpr int16_t k1501 = 12299;
constexpr int16_t k1847 = 15137;
constexpr int16_t k1961 = 16069;
constexpr int16_t k2053 = 16819;
constexpr int16_t k2562 = 20995;
constexpr int16_t k3072 = 25172;

inline __m128i Pair(int16_t a, int16_t b) {
  return _mm_set1_epi32(static_cast<int32_t>(static_cast<uint16_t>(a) |
                                             (static_cast<uint32_t>(static_cast<uint16_t>(b)) << 16)));
}

inline __m128i Load(const void* p) { return _mm_loadu_si128(static_cast<const __m128i*>(p)); }
inline void Store(void* p, __m128i v) { _mm_storeu_si128(static_cast<__m128i*>(p), v); }

inline void Transpose8x16(__m128i r[8]) {
  const __m128i a0 = _mm_unpacklo_epi16(r[0], r[1]);
  const __m128i a1 = _mm_unpackhi_epi16(r[0], r[1]);
  const __m128i a2 = _mm_unpacklo_epi16(r[2], r[3]);
  const __m128i a3 = _mm_unpackhi_epi16(r[2], r[3]);
  const __m128i a4 = _mm_unpacklo_epi16(r[4], r[5]);
  const __m128i a5 = _mm_unpackhi_epi16(r[4], r[5]);
  const __m128i a6 = _mm_unpacklo_epi16(r[6], r[7]);
  const __m128i a7 = _mm_unpackhi_epi16(r[6], r[7]);
  const __m128i b0 = _mm_unpacklo_epi32(a0, a2);
  const __m128i b1 = _mm_unpackhi_epi32(a0, a2);
  const __m128i b2 = _mm_unpacklo_epi32(a4, a6);
  const __m128i b3 = _mm_unpackhi_epi32(a4, a6);
  const __m128i b4 = _mm_unpacklo_epi32(a1, a3);
  const __m128i b5 = _mm_unpackhi_epi32(a1, a3);
  const __m128i b6 = _mm_unpacklo_epi32(a5, a7);
  const __m128i b7 = _mm_unpackhi_epi32(a5, a7);
  r[0] = _mm_unpacklo_epi64(b0, b2);
  r[1] = _mm_unpackhi_epi64(b0, b2);
  r[2] = _mm_unpacklo_epi64(b1, b3);
  r[3] = _mm_unpackhi_epi64(b1, b3);
  r[4] = _mm_unpacklo_epi64(b4, b6);
  r[5] = _mm_unpackhi_epi64(b4, b6);
  r[6] = _mm_unpacklo_epi64(b5, b7);
  r[7] = _mm_unpackhi_epi64(b5, b7);
}

// Eight 8-point transforms at once, lane i of x[k] being input k of transform
// i. Writes the eight results, descaled by shift and saturated to 16 bits.
template <int kShift>
inline void Idct8x8(const __m128i x[8], __m128i out[8]) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i round = _mm_set1_epi32(1 << (kShift - 1));

  // Even part.
  const __m128i s04 = _mm_add_epi16(x[0], x[4]);
  const __m128i d04 = _mm_sub_epi16(x[0], x[4]);
  const __m128i tmp0l = _mm_srai_epi32(_mm_unpacklo_epi16(zero, s04), 16 - kConstBits);
  const __m128i tmp0h = _mm_srai_epi32(_mm_unpackhi_epi16(zero, s04), 16 - kConstBits);
  const __m128i tmp1l = _mm_srai_epi32(_mm_unpacklo_epi16(zero, d04), 16 - kConstBits);
  const __m128i tmp1h = _mm_srai_epi32(_mm_unpackhi_epi16(zero, d04), 16 - kConstBits);
  const __m128i x26l = _mm_unpacklo_epi16(x[2], x[6]);
  const __m128i x26h = _mm_unpackhi_epi16(x[2], x[6]);
  const __m128i c2 = Pair(k0541, k0541 - k1847);
  const __m128i c3 = Pair(k0541 + k0765, k0541);
  const __m128i tmp2l = _mm_madd_epi16(x26l, c2), tmp2h = _mm_madd_epi16(x26h, c2);
  const __m128i tmp3l = _mm_madd_epi16(x26l, c3), tmp3h = _mm_madd_epi16(x26h, c3);
  const __m128i t10l = _mm_add_epi32(tmp0l, tmp3l), t10h = _mm_add_epi32(tmp0h, tmp3h);
  const __m128i t13l = _mm_sub_epi32(tmp0l, tmp3l), t13h = _mm_sub_epi32(tmp0h, tmp3h);
  const __m128i t11l = _mm_add_epi32(tmp1l, tmp2l), t11h = _mm_add_epi32(tmp1h, tmp2h);
  const __m128i t12l = _mm_sub_epi32(tmp1l, tmp2l), t12h = _mm_sub_epi32(tmp1h, tmp2h);

  // Odd part.
  const __m128i z3 = _mm_add_epi16(x[7], x[3]);
  const __m128i z4 = _mm_add_epi16(x[5], x[1]);
  const __m128i z34l = _mm_unpacklo_epi16(z3, z4), z34h = _mm_unpackhi_epi16(z3, z4);
  const __m128i cz3 = Pair(k1175 - k1961, k1175);
  const __m128i cz4 = Pair(k1175, k1175 - k0390);
  const __m128i z3pl = _mm_madd_epi16(z34l, cz3), z3ph = _mm_madd_epi16(z34h, cz3);
  const __m128i z4pl = _mm_madd_epi16(z34l, cz4), z4ph = _mm_madd_epi16(z34h, cz4);
  const __m128i x71l = _mm_unpacklo_epi16(x[7], x[1]), x71h = _mm_unpackhi_epi16(x[7], x[1]);
  const __m128i x53l = _mm_unpacklo_epi16(x[5], x[3]), x53h = _mm_unpackhi_epi16(x[5], x[3]);
  const __m128i c0 = Pair(k0298 - k0899, -k0899);
  const __m128i c3o = Pair(-k0899, k1501 - k0899);
  const __m128i c1 = Pair(k2053 - k2562, -k2562);
  const __m128i c2o = Pair(-k2562, k3072 - k2562);
  const __m128i o0l = _mm_add_epi32(_mm_madd_epi16(x71l, c0), z3pl);
  const __m128i o0h = _mm_add_epi32(_mm_madd_epi16(x71h, c0), z3ph);
  const __m128i o3l = _mm_add_epi32(_mm_madd_epi16(x71l, c3o), z4pl);
  const __m128i o3h = _mm_add_epi32(_mm_madd_epi16(x71h, c3o), z4ph);
  const __m128i o1l = _mm_add_epi32(_mm_madd_epi16(x53l, c1), z4pl);
  const __m128i o1h = _mm_add_epi32(_mm_madd_epi16(x53h, c1), z4ph);
  const __m128i o2l = _mm_add_epi32(_mm_madd_epi16(x53l, c2o), z3pl);
  const __m128i o2h = _mm_add_epi32(_mm_madd_epi16(x53h, c2o), z3ph);

  auto descale = [&](__m128i lo, __m128i hi) {
    return _mm_packs_epi32(_mm_srai_epi32(_mm_add_epi32(lo, round), kShift),
                           _mm_srai_epi32(_mm_add_epi32(hi, round), kShift));
  };
  out[0] = descale(_mm_add_epi32(t10l, o3l), _mm_add_epi32(t10h, o3h));
  out[7] = descale(_mm_sub_epi32(t10l, o3l), _mm_sub_epi32(t10h, o3h));
  out[1] = descale(_mm_add_epi32(t11l, o2l), _mm_add_epi32(t11h, o2h));
  out[6] = descale(_mm_sub_epi32(t11l, o2l), _mm_sub_epi32(t11h, o2h));
  out[2] = descale(_mm_add_epi32(t12l, o1l), _mm_add_epi32(t12h, o1h));
  out[5] = descale(_mm_sub_epi32(t12l, o1l), _mm_sub_epi32(t12h, o1h));
  out[3] = descale(_mm_add_epi32(t13l, o0l), _mm_add_epi32(t13h, o0h));
  out[4] = descale(_mm_sub_epi32(t13l, o0l), _mm_sub_epi32(t13h, o0h));
}

inline void FillBlock(uint8_t* out, size_t stride, uint8_t v) {
  uint64_t w;
  std::memset(&w, v, 8);
  for (int r = 0; r < 8; ++r, out += stride) std::memcpy(out, &w, 8);
}

void IdctSse2(int16_t* coef, const uint16_t* quant, uint8_t* out, size_t stride) {
  __m128i x[8];
  __m128i any = _mm_setzero_si128();
  for (int r = 0; r < 8; ++r) {
    x[r] = _mm_mullo_epi16(Load(coef + 8 * r), Load(quant + 8 * r));
    Store(coef + 8 * r, _mm_setzero_si128());
    if (r) any = _mm_or_si128(any, x[r]);
  }
  // Only the DC term: both passes reduce to a constant (the full transform
  // gives the same value, the shortcut only saves the work).
  any = _mm_or_si128(any, _mm_srli_si128(x[0], 2));
  if (_mm_movemask_epi8(_mm_cmpeq_epi8(any, _mm_setzero_si128())) == 0xFFFF) {
    const int32_t dc = static_cast<int16_t>(_mm_cvtsi128_si32(x[0]));
    const int32_t ws = dc * 4 < -32768 ? -32768 : dc * 4 > 32767 ? 32767 : dc * 4;
    const int32_t v = ((ws + 16) >> 5) + 128;
    FillBlock(out, stride, static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v));
    return;
  }
  __m128i ws[8];
  Idct8x8<kConstBits - kPass1Bits>(x, ws);
  Transpose8x16(ws);
  __m128i o[8];
  Idct8x8<kConstBits + kPass1Bits + 3>(ws, o);
  Transpose8x16(o);
  const __m128i centre = _mm_set1_epi16(128);
  for (int r = 0; r < 8; r += 2) {
    const __m128i p = _mm_packus_epi16(_mm_add_epi16(o[r], centre), _mm_add_epi16(o[r + 1], centre));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + r * stride), p);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + (r + 1) * stride), _mm_srli_si128(p, 8));
  }
}

// One block row of 8 samples (16-bit lanes) doubled: even outputs take the
// left neighbour, odd ones the right one, both repeating the edge sample.
// Returns even results in lanes of *even, odd in *odd, before rounding.
inline void Neighbours(__m128i v, __m128i* left, __m128i* right) {
  const __m128i first = _mm_and_si128(v, _mm_setr_epi16(-1, 0, 0, 0, 0, 0, 0, 0));
  const __m128i last = _mm_and_si128(v, _mm_setr_epi16(0, 0, 0, 0, 0, 0, 0, -1));
  *left = _mm_or_si128(_mm_slli_si128(v, 2), first);
  *right = _mm_or_si128(_mm_srli_si128(v, 2), last);
}

inline __m128i Widen8(const uint8_t* p) {
  return _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)), _mm_setzero_si128());
}

void UpsampleH2Sse2(uint8_t* out, const uint8_t* in, size_t blocks) {
  const __m128i two = _mm_set1_epi16(2);
  for (size_t b = 0; b < blocks; ++b, in += 8, out += 16) {
    const __m128i v = Widen8(in);
    __m128i l, r;
    Neighbours(v, &l, &r);
    const __m128i v3 = _mm_add_epi16(_mm_add_epi16(v, v), _mm_add_epi16(v, two));
    const __m128i even = _mm_srli_epi16(_mm_add_epi16(v3, l), 2);
    const __m128i odd = _mm_srli_epi16(_mm_add_epi16(v3, r), 2);
    Store(out, _mm_packus_epi16(_mm_unpacklo_epi16(even, odd), _mm_unpackhi_epi16(even, odd)));
  }
}

void UpsampleV2Sse2(uint8_t* out, const uint8_t* near, const uint8_t* far, size_t n) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i two = _mm_set1_epi16(2);
  size_t i = 0;
  for (; i + 16 <= n; i += 16) {
    const __m128i a = Load(near + i), b = Load(far + i);
    const __m128i al = _mm_unpacklo_epi8(a, zero), ah = _mm_unpackhi_epi8(a, zero);
    const __m128i bl = _mm_unpacklo_epi8(b, zero), bh = _mm_unpackhi_epi8(b, zero);
    const __m128i lo = _mm_srli_epi16(
        _mm_add_epi16(_mm_add_epi16(_mm_add_epi16(al, al), _mm_add_epi16(al, bl)), two), 2);
    const __m128i hi = _mm_srli_epi16(
        _mm_add_epi16(_mm_add_epi16(_mm_add_epi16(ah, ah), _mm_add_epi16(ah, bh)), two), 2);
    Store(out + i, _mm_packus_epi16(lo, hi));
  }
  for (; i < n; ++i) out[i] = static_cast<uint8_t>((3 * near[i] + far[i] + 2) >> 2);
}

void UpsampleH2V2Sse2(uint8_t* out, const uint8_t* near, const uint8_t* far, size_t blocks) {
  const __m128i eight = _mm_set1_epi16(8);
  for (size_t b = 0; b < blocks; ++b, near += 8, far += 8, out += 16) {
    const __m128i a = Widen8(near);
    const __m128i s = _mm_add_epi16(_mm_add_epi16(a, a), _mm_add_epi16(a, Widen8(far)));
    __m128i l, r;
    Neighbours(s, &l, &r);
    const __m128i s3 = _mm_add_epi16(_mm_add_epi16(s, s), _mm_add_epi16(s, eight));
    const __m128i even = _mm_srli_epi16(_mm_add_epi16(s3, l), 4);
    const __m128i odd = _mm_srli_epi16(_mm_add_epi16(s3, r), 4);
    Store(out, _mm_packus_epi16(_mm_unpacklo_epi16(even, odd), _mm_unpackhi_epi16(even, odd)));
  }
}

inline void StorePixels(uint8_t* out, __m128i a, __m128i b, __m128i c, __m128i d) {
  const __m128i ab0 = _mm_unpacklo_epi8(a, b), ab1 = _mm_unpackhi_epi8(a, b);
  const __m128i cd0 = _mm_unpacklo_epi8(c, d), cd1 = _mm_unpackhi_epi8(c, d);
  Store(out, _mm_unpacklo_epi16(ab0, cd0));
  Store(out + 16, _mm_unpackhi_epi16(ab0, cd0));
  Store(out + 32, _mm_unpacklo_epi16(ab1, cd1));
  Store(out + 48, _mm_unpackhi_epi16(ab1, cd1));
}

void Interleave3Sse2(uint8_t* out, const uint8_t* a, const uint8_t* b, const uint8_t* c, size_t n) {
  const __m128i opaque = _mm_set1_epi8(-1);
  size_t i = 0;
  for (; i + 16 <= n; i += 16, out += 64) StorePixels(out, Load(a + i), Load(b + i), Load(c + i), opaque);
  for (; i < n; ++i, out += 4) {
    out[0] = a[i];
    out[1] = b[i];
    out[2] = c[i];
    out[3] = 255;
  }
}

void Interleave4Sse2(uint8_t* out, const uint8_t* a, const uint8_t* b, const uint8_t* c,
                     const uint8_t* d, size_t n) {
  size_t i = 0;
  for (; i + 16 <= n; i += 16, out += 64)
    StorePixels(out, Load(a + i), Load(b + i), Load(c + i), Load(d + i));
  for (; i < n; ++i, out += 4) {
    out[0] = a[i];
    out[1] = b[i];
    out[2] = c[i];
    out[3] = d[i];
  }
}

// Chroma offsets as d + ((mulhi(d << 8, f) + half) >> s), d = chroma - 128:
// the rounded products 1.402 d and 1.772 d of the scalar tables for every d
// (the tests walk all chroma values).
constexpr int16_t kRedFraction = 26345;   // 0.402 x 2^16
constexpr int kRedShift = 8;
constexpr int16_t kBlueFraction = 25297;  // 0.772 x 2^15
constexpr int kBlueShift = 7;

struct YccConstants {
  __m128i centre = _mm_set1_epi16(128);
  __m128i redFraction = _mm_set1_epi16(kRedFraction);
  __m128i redHalf = _mm_set1_epi16(1 << (kRedShift - 1));
  __m128i blueFraction = _mm_set1_epi16(kBlueFraction);
  __m128i blueHalf = _mm_set1_epi16(1 << (kBlueShift - 1));
  __m128i greenFactors = Pair(-183, -88);
  __m128i greenRound = _mm_set1_epi32(128);
};

// Eight pixels (16-bit Y, Cb, Cr) to 16-bit blue, green, red before clamping.
inline void Ycc8(const YccConstants& k, __m128i y, __m128i cb, __m128i cr, __m128i* b, __m128i* g,
                 __m128i* r) {
  const __m128i dcb = _mm_sub_epi16(cb, k.centre);
  const __m128i dcr = _mm_sub_epi16(cr, k.centre);
  const __m128i redPart = _mm_mulhi_epi16(_mm_slli_epi16(dcr, 8), k.redFraction);
  const __m128i bluePart = _mm_mulhi_epi16(_mm_slli_epi16(dcb, 8), k.blueFraction);
  *r = _mm_add_epi16(y, _mm_add_epi16(dcr, _mm_srai_epi16(_mm_add_epi16(redPart, k.redHalf), kRedShift)));
  *b = _mm_add_epi16(y, _mm_add_epi16(dcb, _mm_srai_epi16(_mm_add_epi16(bluePart, k.blueHalf), kBlueShift)));
  const __m128i gl = _mm_srai_epi32(
      _mm_add_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(dcr, dcb), k.greenFactors), k.greenRound), 8);
  const __m128i gh = _mm_srai_epi32(
      _mm_add_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(dcr, dcb), k.greenFactors), k.greenRound), 8);
  *g = _mm_add_epi16(y, _mm_packs_epi32(gl, gh));
}

void YccToBgraSse2(uint8_t* out, const uint8_t* y, const uint8_t* cb, const uint8_t* cr, size_t n) {
  const YccConstants k;
  const __m128i zero = _mm_setzero_si128();
  const __m128i opaque = _mm_set1_epi8(-1);
  size_t i = 0;
  for (; i + 16 <= n; i += 16, out += 64) {
    const __m128i yv = Load(y + i), cbv = Load(cb + i), crv = Load(cr + i);
    __m128i b0, g0, r0, b1, g1, r1;
    Ycc8(k, _mm_unpacklo_epi8(yv, zero), _mm_unpacklo_epi8(cbv, zero), _mm_unpacklo_epi8(crv, zero),
         &b0, &g0, &r0);
    Ycc8(k, _mm_unpackhi_epi8(yv, zero), _mm_unpackhi_epi8(cbv, zero), _mm_unpackhi_epi8(crv, zero),
         &b1, &g1, &r1);
    StorePixels(out, _mm_packus_epi16(b0, b1), _mm_packus_epi16(g0, g1), _mm_packus_epi16(r0, r1),
                opaque);
  }
  if (i < n) ScalarJpegKernels().yccToBgra(out, y + i, cb + i, cr + i, n - i);
}

}  // namespace

namespace jpeg_kernels_detail {
bool InstallSse2(JpegKernels& k) {
  k = JpegKernels{&IdctSse2,        &UpsampleH2Sse2,  &UpsampleV2Sse2, &UpsampleH2V2Sse2,
                  &Interleave3Sse2, &Interleave4Sse2, &YccToBgraSse2};
  return true;
}
}  // namespace jpeg_kernels_detail

}  // namespace vt

#else

namespace vt::jpeg_kernels_detail {
bool InstallSse2(JpegKernels&) { return false; }
}  // namespace vt::jpeg_kernels_detail

#endif
