#pragma once
// Reversal of the per-row prediction filters of PNG image data (Sub, Up,
// Average, Paeth), in place. Scalar reference in png_filter.cpp; SSE2 and SSSE3
// variants for 3 and 4 bytes per pixel (and Up for every width) in their own
// files, equal to the reference bit for bit, chosen once from the processor's
// features (VISTREL_SCALAR=1 forces scalar).
#include <cstddef>
#include <cstdint>

#include "base/simd_dispatch.h"

namespace vt {

// row: n filtered bytes, replaced by the unfiltered ones. prev: the unfiltered
// row above, zeros for the first row of a pass. Both may be read up to 16
// bytes beyond n (the caller keeps slack there); nothing beyond n is written.
using PngUnfilterFunction = void (*)(uint8_t* row, const uint8_t* prev, size_t n);

inline constexpr uint32_t kPngMaxFilterBpp = 8;

struct PngFilterKernels {
  // [filter - 1][bytes per pixel], filters 1 Sub, 2 Up, 3 Average, 4 Paeth;
  // bytes per pixel 1..8 (index 0 unused).
  PngUnfilterFunction unfilter[4][kPngMaxFilterBpp + 1];
};

using PngFilterLevel = SimdLevel;

const PngFilterKernels& ActivePngFilterKernels();
// A given level's set (each includes the lower levels' kernels), null when the
// processor or the build lacks it. For tests and benchmarks.
const PngFilterKernels* PngFilterKernelsFor(PngFilterLevel level);

// Filter byte 0 and anything above 4 leave the row as it is.
inline void UnfilterPngRow(const PngFilterKernels& k, uint8_t filter, uint8_t* row,
                           const uint8_t* prev, size_t n, uint32_t bpp) {
  if (filter >= 1 && filter <= 4) k.unfilter[filter - 1][bpp](row, prev, n);
}

namespace png_filter_detail {
PngFilterKernels Scalar();
// False when built without the instruction set.
bool InstallSse2(PngFilterKernels& k);
bool InstallSsse3(PngFilterKernels& k);
}  // namespace png_filter_detail

}  // namespace vt
