#include "formats/bmp/bmp_rows.h"

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

}  // namespace

namespace bmp_rows_detail {
BmpRowKernels Scalar() {
  BmpRowKernels k;
  k.bgr24ToBgra32Streaming = Bgr24ToBgra32;
  k.finishStreaming = NoFence;
  return k;
}
}  // namespace bmp_rows_detail

namespace {
const SimdKernels<BmpRowKernels>& Sets() {
  static const SimdKernels<BmpRowKernels> sets(bmp_rows_detail::Scalar(), nullptr,
                                               bmp_rows_detail::InstallSsse3);
  return sets;
}
}  // namespace

const BmpRowKernels& ActiveBmpRowKernels() { return Sets().Active(); }
const BmpRowKernels* BmpRowKernelsFor(BmpKernelLevel level) { return Sets().At(level); }

}  // namespace vt
