#include "formats/bmp/bmp_rows.h"

#include "base/cpu_features.h"

namespace vt {

namespace {

void Bgr24ToBgra32(uint8_t* dst, const uint8_t* src, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    dst[4 * i] = src[3 * i];
    dst[4 * i + 1] = src[3 * i + 1];
    dst[4 * i + 2] = src[3 * i + 2];
    dst[4 * i + 3] = 0xFF;
  }
}

void NoFence() {}

struct Sets {
  BmpRowKernels scalar;
  BmpRowKernels ssse3;
  bool hasSsse3 = false;
};

const Sets& KernelSets() {
  static const Sets sets = [] {
    Sets s;
    s.scalar = bmp_rows_detail::Scalar();
    s.ssse3 = s.scalar;
    s.hasSsse3 = GetCpuFeatures().ssse3 && bmp_rows_detail::InstallSsse3(s.ssse3);
    return s;
  }();
  return sets;
}

}  // namespace

namespace bmp_rows_detail {
BmpRowKernels Scalar() {
  BmpRowKernels k;
  k.bgr24ToBgra32Streaming = Bgr24ToBgra32;
  k.finishStreaming = NoFence;
  return k;
}
}  // namespace bmp_rows_detail

const BmpRowKernels& ActiveBmpRowKernels() {
  const Sets& s = KernelSets();
  return s.hasSsse3 ? s.ssse3 : s.scalar;
}

const BmpRowKernels* BmpRowKernelsFor(BmpKernelLevel level) {
  const Sets& s = KernelSets();
  if (level == BmpKernelLevel::Scalar) return &s.scalar;
  return s.hasSsse3 ? &s.ssse3 : nullptr;
}

}  // namespace vt
