#include "render/adjust_kernels.h"

#include <algorithm>

#include "base/cpu_features.h"

namespace vt {

namespace {

void ColourBgra8(uint8_t* dst, const uint8_t* src, size_t n, const ColourFixed& p) {
  constexpr int32_t kHalf = 1 << (kColourFractionBits - 1);
  constexpr int kCurveShift = kColourFractionBits - kCurveFractionBits;
  constexpr int32_t kCurveHalf = 1 << (kCurveShift - 1);
  const uint8_t flip = p.invert ? 0xFF : 0;
  for (size_t i = 0; i < n; ++i, src += 4, dst += 4) {
    const int32_t sum = int32_t{src[0]} + src[1] + src[2];
    const uint8_t alpha = src[3];
    uint8_t out[3];
    for (int c = 0; c < 3; ++c) {
      const int32_t v = p.gain * int32_t{src[c]} + p.sumWeight * sum + p.offset[c];
      if (p.curve) {
        out[c] = p.curve[std::clamp((v + kCurveHalf) >> kCurveShift, 0, kCurveEntries - 1)];
      } else {
        out[c] = static_cast<uint8_t>(std::clamp((v + kHalf) >> kColourFractionBits, 0, 255) ^ flip);
      }
    }
    dst[0] = out[0];
    dst[1] = out[1];
    dst[2] = out[2];
    dst[3] = alpha;
  }
}

void BlurRow8(uint16_t* out, const uint8_t* row, size_t n, size_t step, const SharpenFixed& p) {
  const uint32_t t0 = p.taps[0], t1 = p.taps[1], t2 = p.taps[2];
  for (size_t i = 0; i < n; ++i) {
    const uint8_t* c = row + i;
    out[i] = static_cast<uint16_t>(t0 * (uint32_t{c[-2 * std::ptrdiff_t(step)]} + c[2 * step]) +
                                   t1 * (uint32_t{c[-std::ptrdiff_t(step)]} + c[step]) + t2 * c[0]);
  }
}

// The blurred value is the vertical sum of tap x row value with every product
// cut to 8 fractional bits, then rounded to a whole level; where the value
// differs from it by the threshold or more, the difference times the amount
// (12 fractional bits, arithmetic shift) is added and the result clamped.
void SharpenRow8(uint8_t* out, const uint8_t* src, const uint16_t* const rows[5], size_t n,
                 const SharpenFixed& p) {
  const uint32_t t[5] = {p.taps[0], p.taps[1], p.taps[2], p.taps[1], p.taps[0]};
  for (size_t i = 0; i < n; ++i) {
    uint32_t v = 0;
    for (int k = 0; k < 5; ++k) v += (uint32_t{rows[k][i]} * t[k]) >> 8;
    const int32_t blurred = static_cast<int32_t>((v + 128) >> 8);
    const int32_t s = src[i];
    const int32_t d = s - blurred;
    if (std::abs(d) < p.threshold) {
      out[i] = src[i];
      continue;
    }
    out[i] = static_cast<uint8_t>(std::clamp(s + ((d * p.amount) >> 12), 0, 255));
  }
}

struct KernelSets {
  AdjustKernels scalar;
  AdjustKernels sse2;
  bool hasSse2 = false;
  AdjustKernelLevel active = AdjustKernelLevel::Scalar;
};

const KernelSets& Sets() {
  static const KernelSets sets = [] {
    KernelSets s;
    s.scalar = adjust_kernels_detail::Scalar();
    s.sse2 = s.scalar;
    const CpuFeatures& cpu = GetCpuFeatures();
    s.hasSse2 = cpu.sse2 && adjust_kernels_detail::InstallSse2(s.sse2);
    if (s.hasSse2) s.active = AdjustKernelLevel::Sse2;
    return s;
  }();
  return sets;
}

}  // namespace

namespace adjust_kernels_detail {
AdjustKernels Scalar() {
  AdjustKernels k;
  k.colourBgra8 = ColourBgra8;
  k.blurRow8 = BlurRow8;
  k.sharpenRow8 = SharpenRow8;
  return k;
}
}  // namespace adjust_kernels_detail

const AdjustKernels* AdjustKernelsFor(AdjustKernelLevel level) {
  const KernelSets& s = Sets();
  switch (level) {
    case AdjustKernelLevel::Scalar: return &s.scalar;
    case AdjustKernelLevel::Sse2: return s.hasSse2 ? &s.sse2 : nullptr;
  }
  return nullptr;
}

const AdjustKernels& ActiveAdjustKernels() {
  static const AdjustKernels* active = AdjustKernelsFor(Sets().active);
  return *active;
}

}  // namespace vt
