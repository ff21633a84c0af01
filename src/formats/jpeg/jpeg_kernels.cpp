#include "formats/jpeg/jpeg_kernels.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "base/simd_dispatch.h"
#include "image/colour_models_kernels.h"

namespace vt {

namespace {

// The integer inverse DCT of Loeffler, Ligtenberg and Moschytz with 13-bit
// fixed-point constants, arranged as sums of 16-bit x 16-bit products so that
// the scalar and vector forms compute the same 32-bit values: every input of a
// pass is a 16-bit value (dequantised products and sums of two inputs wrap to
// 16 bits, first-pass results saturate to 16 bits), every sum of products fits
// in 32 bits. For valid streams nothing wraps or saturates and the result is
// the exact fixed-point transform.
constexpr int kConstBits = 13;
constexpr int kPass1Bits = 2;

constexpr int32_t k0298 = 2446;   // 0.298631336
constexpr int32_t k0390 = 3196;   // 0.390180644
constexpr int32_t k0541 = 4433;   // 0.541196100
constexpr int32_t k0765 = 6270;   // 0.765366865
constexpr int32_t k0899 = 7373;   // 0.899976223
constexpr int32_t k1175 = 9633;   // 1.175875602
constexpr int32_t k1501 = 12299;  // 1.501321110
constexpr int32_t k1847 = 15137;  // 1.847759065
constexpr int32_t k1961 = 16069;  // 1.961570560
constexpr int32_t k2053 = 16819;  // 2.053119869
constexpr int32_t k2562 = 20995;  // 2.562915447
constexpr int32_t k3072 = 25172;  // 3.072711026

inline int16_t Wrap16(int32_t v) { return static_cast<int16_t>(static_cast<uint16_t>(v)); }
inline int16_t Sat16(int32_t v) {
  return static_cast<int16_t>(std::clamp<int32_t>(v, -32768, 32767));
}
inline uint8_t ClampSample(int32_t v) { return static_cast<uint8_t>(std::clamp(v + 128, 0, 255)); }

// One 8-point transform; out receives the eight 32-bit results before descaling.
inline void Idct8(const int16_t x[8], int32_t out[8]) {
  const int32_t tmp0 = int32_t{Wrap16(x[0] + x[4])} * (1 << kConstBits);
  const int32_t tmp1 = int32_t{Wrap16(x[0] - x[4])} * (1 << kConstBits);
  const int32_t tmp2 = x[2] * k0541 + x[6] * (k0541 - k1847);
  const int32_t tmp3 = x[2] * (k0541 + k0765) + x[6] * k0541;
  const int32_t t10 = tmp0 + tmp3, t13 = tmp0 - tmp3;
  const int32_t t11 = tmp1 + tmp2, t12 = tmp1 - tmp2;

  const int16_t z3 = Wrap16(x[7] + x[3]);
  const int16_t z4 = Wrap16(x[5] + x[1]);
  const int32_t z3p = z3 * (k1175 - k1961) + z4 * k1175;
  const int32_t z4p = z3 * k1175 + z4 * (k1175 - k0390);
  const int32_t o0 = x[7] * (k0298 - k0899) + x[1] * -k0899 + z3p;
  const int32_t o3 = x[7] * -k0899 + x[1] * (k1501 - k0899) + z4p;
  const int32_t o1 = x[5] * (k2053 - k2562) + x[3] * -k2562 + z4p;
  const int32_t o2 = x[5] * -k2562 + x[3] * (k3072 - k2562) + z3p;

  out[0] = t10 + o3;
  out[7] = t10 - o3;
  out[1] = t11 + o2;
  out[6] = t11 - o2;
  out[2] = t12 + o1;
  out[5] = t12 - o1;
  out[3] = t13 + o0;
  out[4] = t13 - o0;
}

void IdctScalar(int16_t* coef, const uint16_t* quant, uint8_t* out, size_t stride) {
  int16_t in[64];
  for (int i = 0; i < 64; ++i) in[i] = Wrap16(static_cast<int32_t>(static_cast<uint32_t>(coef[i]) * quant[i]));
  std::memset(coef, 0, 64 * sizeof(int16_t));

  // Columns first.
  int16_t ws[64];
  for (int c = 0; c < 8; ++c) {
    int16_t x[8];
    bool acZero = true;
    for (int r = 0; r < 8; ++r) {
      x[r] = in[r * 8 + c];
      if (r && x[r]) acZero = false;
    }
    if (acZero) {
      const int16_t dc = Sat16(x[0] * (1 << kPass1Bits));
      for (int r = 0; r < 8; ++r) ws[r * 8 + c] = dc;
      continue;
    }
    int32_t o[8];
    Idct8(x, o);
    constexpr int shift = kConstBits - kPass1Bits;
    for (int r = 0; r < 8; ++r) ws[r * 8 + c] = Sat16((o[r] + (1 << (shift - 1))) >> shift);
  }
  // Then rows.
  constexpr int shift = kConstBits + kPass1Bits + 3;
  for (int r = 0; r < 8; ++r, out += stride) {
    const int16_t* x = ws + r * 8;
    if ((x[1] | x[2] | x[3] | x[4] | x[5] | x[6] | x[7]) == 0) {
      const uint8_t v = ClampSample((x[0] + 16) >> 5);
      for (int i = 0; i < 8; ++i) out[i] = v;
      continue;
    }
    int32_t o[8];
    Idct8(x, o);
    for (int i = 0; i < 8; ++i) out[i] = ClampSample((o[i] + (1 << (shift - 1))) >> shift);
  }
}

void UpsampleH2Scalar(uint8_t* out, const uint8_t* in, size_t blocks) {
  for (size_t b = 0; b < blocks; ++b, in += 8, out += 16) {
    out[0] = in[0];
    for (int i = 0; i < 7; ++i) {
      out[2 * i + 1] = static_cast<uint8_t>((3 * in[i] + in[i + 1] + 2) >> 2);
      out[2 * i + 2] = static_cast<uint8_t>((in[i] + 3 * in[i + 1] + 2) >> 2);
    }
    out[15] = in[7];
  }
}

void UpsampleV2Scalar(uint8_t* out, const uint8_t* near, const uint8_t* far, size_t n) {
  for (size_t i = 0; i < n; ++i) out[i] = static_cast<uint8_t>((3 * near[i] + far[i] + 2) >> 2);
}

void UpsampleH2V2Scalar(uint8_t* out, const uint8_t* near, const uint8_t* far, size_t blocks) {
  for (size_t b = 0; b < blocks; ++b, near += 8, far += 8, out += 16) {
    int s[8];
    for (int i = 0; i < 8; ++i) s[i] = 3 * near[i] + far[i];
    out[0] = static_cast<uint8_t>((s[0] + 2) >> 2);
    for (int i = 0; i < 7; ++i) {
      out[2 * i + 1] = static_cast<uint8_t>((3 * s[i] + s[i + 1] + 8) >> 4);
      out[2 * i + 2] = static_cast<uint8_t>((s[i] + 3 * s[i + 1] + 8) >> 4);
    }
    out[15] = static_cast<uint8_t>((s[7] + 2) >> 2);
  }
}

void Interleave3Scalar(uint8_t* out, const uint8_t* a, const uint8_t* b, const uint8_t* c,
                       size_t n) {
  for (size_t i = 0; i < n; ++i, out += 4) {
    out[0] = a[i];
    out[1] = b[i];
    out[2] = c[i];
    out[3] = 255;
  }
}

void Interleave4Scalar(uint8_t* out, const uint8_t* a, const uint8_t* b, const uint8_t* c,
                       const uint8_t* d, size_t n) {
  for (size_t i = 0; i < n; ++i, out += 4) {
    out[0] = a[i];
    out[1] = b[i];
    out[2] = c[i];
    out[3] = d[i];
  }
}

struct ChromaTable {
  std::array<int16_t, 256> red, blue;
};
const ChromaTable& Chroma() {
  static const ChromaTable t = [] {
    ChromaTable c;
    for (int i = 0; i < 256; ++i) {
      c.red[i] = static_cast<int16_t>(YCbCrRedOffset(static_cast<uint8_t>(i)));
      c.blue[i] = static_cast<int16_t>(YCbCrBlueOffset(static_cast<uint8_t>(i)));
    }
    return c;
  }();
  return t;
}

inline uint8_t ClampByte(int v) { return static_cast<uint8_t>(std::clamp(v, 0, 255)); }

// The same arithmetic as the pipeline's YCbCr conversion, so an image decoded
// by the row tasks equals one converted afterwards.
void YccToBgraScalar(uint8_t* out, const uint8_t* y, const uint8_t* cb, const uint8_t* cr,
                     size_t n) {
  const ChromaTable& t = Chroma();
  for (size_t i = 0; i < n; ++i, out += 4) {
    const int l = y[i];
    const int g = l + ((-183 * (cr[i] - 128) - 88 * (cb[i] - 128) + 128) >> 8);
    out[0] = ClampByte(l + t.blue[cb[i]]);
    out[1] = ClampByte(g);
    out[2] = ClampByte(l + t.red[cr[i]]);
    out[3] = 255;
  }
}

const SimdKernels<JpegKernels>& Sets() {
  static const SimdKernels<JpegKernels> sets(
      JpegKernels{&IdctScalar, &UpsampleH2Scalar, &UpsampleV2Scalar, &UpsampleH2V2Scalar,
                  &Interleave3Scalar, &Interleave4Scalar, &YccToBgraScalar},
      jpeg_kernels_detail::InstallSse2, nullptr);
  return sets;
}

}  // namespace

const JpegKernels& ScalarJpegKernels() { return *Sets().At(SimdLevel::Scalar); }
const JpegKernels* Sse2JpegKernels() { return Sets().At(SimdLevel::Sse2); }
const JpegKernels& ActiveJpegKernels() { return Sets().Active(); }

}  // namespace vt
