#pragma once
// Row converters of the bitmap reader for images far larger than the caches.
// Converting a big 24-bit bitmap is bound by memory traffic: plain stores first
// read every target line into the cache before overwriting it, which adds a
// third stream to the two that matter. These variants write around the caches.
// Scalar reference in bmp_rows.cpp, SSSE3 variant in bmp_rows_ssse3.cpp, chosen
// once from the processor's features (VISTREL_SCALAR=1 forces scalar).
#include <cstddef>
#include <cstdint>

#include "base/simd_dispatch.h"

namespace vt {

struct BmpRowKernels {
  // Blue-green-red triplets into blue-green-red-alpha pixels, alpha 255, with
  // stores that bypass the caches where the processor has them. Reads exactly
  // 3 * n source bytes. Call FinishStreaming before anyone reads the targets.
  void (*bgr24ToBgra32Streaming)(uint8_t* dst, const uint8_t* src, size_t n);
  void (*finishStreaming)();
};

// Scalar and Ssse3 only: there is no SSE2 variant.
using BmpKernelLevel = SimdLevel;

const BmpRowKernels& ActiveBmpRowKernels();
// A given level's set, null when the processor or the build lacks it (tests).
const BmpRowKernels* BmpRowKernelsFor(BmpKernelLevel level);

namespace bmp_rows_detail {
BmpRowKernels Scalar();
// False when built without SSSE3.
bool InstallSsse3(BmpRowKernels& k);
}  // namespace bmp_rows_detail

}  // namespace vt
