#pragma once
#include <cstddef>
#include <cstdint>

#include "base/simd_dispatch.h"

namespace vt {

// The inner loops of the resampler and the box reduction. Each has a scalar
// reference in scale_kernels.cpp; SSE2 and SSSE3 variants replace some of them
// and compute exactly the same integers (and, for floats, the same operations
// in the same order). The set is chosen once, on first use, from
// GetCpuFeatures() (VISTREL_SCALAR=1 forces the scalar set).

// One target column of the horizontal pass: the first of its four source pixels
// (which may lie outside the row by one on the left and two on the right, where
// the row's edge pixels repeat) and the four 1.14 fixed-point taps.
struct ColumnTap {
  int32_t first;
  int16_t tap[4];
};

// Fixed-point intermediates: the 8-bit passes keep samples x 128 in 16 bits; the
// 16-bit passes keep samples (same scale) in 32 bits.
struct ScaleKernels {
  // Horizontal pass over columns [begin, end) of the tap table into out[begin..end)
  // (channels per pixel values each). Every column in the range must have its four
  // source pixels inside the row; the edge columns go through the clamped scalar
  // path instead.
  void (*horizontalBgra8)(int16_t* out, const uint8_t* row, const ColumnTap* taps, uint32_t begin,
                          uint32_t end);
  void (*horizontalGray8)(int16_t* out, const uint8_t* row, const ColumnTap* taps, uint32_t begin,
                          uint32_t end);
  void (*horizontalBgra16)(int32_t* out, const uint16_t* row, const ColumnTap* taps,
                           uint32_t begin, uint32_t end);
  void (*horizontalGray16)(int32_t* out, const uint16_t* row, const ColumnTap* taps,
                           uint32_t begin, uint32_t end);
  void (*horizontalBgraF)(float* out, const float* row, const ColumnTap* taps, const float* ftaps,
                          uint32_t begin, uint32_t end);
  void (*horizontalGrayF)(float* out, const float* row, const ColumnTap* taps, const float* ftaps,
                          uint32_t begin, uint32_t end);
  // Integer-ratio horizontal pass (every phase 0): pixel first + 1 of each column.
  void (*pickBgra8)(int16_t* out, const uint8_t* row, const ColumnTap* taps, uint32_t begin,
                    uint32_t end);
  void (*pickGray8)(int16_t* out, const uint8_t* row, const ColumnTap* taps, uint32_t begin,
                    uint32_t end);

  // Vertical pass over n values: four intermediate rows and their taps.
  void (*vertical8)(uint8_t* out, const int16_t* const rows[4], const int16_t taps[4], size_t n);
  void (*vertical16)(uint16_t* out, const int32_t* const rows[4], const int16_t taps[4], size_t n);
  void (*verticalF)(float* out, const float* const rows[4], const float taps[4], size_t n);

  // Box reduction of one target row: factor source rows (pitch bytes apart) into
  // n target pixels.
  void (*box2Bgra8)(uint8_t* out, const uint8_t* src, size_t pitch, size_t n);
  void (*box2Gray8)(uint8_t* out, const uint8_t* src, size_t pitch, size_t n);
  // Adds n bytes of a row into 16-bit column sums (factor <= 16 keeps them in range).
  void (*accumulate8)(uint16_t* sums, const uint8_t* src, size_t n);
  // Column sums of factor rows into n target pixels, rounding the average.
  void (*boxSumsBgra8)(uint8_t* out, const uint16_t* sums, uint32_t factor, size_t n);
  void (*boxSumsGray8)(uint8_t* out, const uint16_t* sums, uint32_t factor, size_t n);
};

// The cubic filter: 256 phases of four 1.14 fixed-point taps (8-bit formats);
// the same with each phase's sum made exactly 16384 (16-bit formats), and that
// as floats, each entry / 16384 (float formats).
const int16_t* CubicTaps(uint32_t phase);
const int16_t* CubicTapsNormalized(uint32_t phase);
const float* CubicTapsFloat(uint32_t phase);

using ScaleKernelLevel = SimdLevel;

const ScaleKernels& ActiveScaleKernels();
// The set of a given level, null when the processor or the build lacks it.
const ScaleKernels* ScaleKernelsFor(ScaleKernelLevel level);

namespace scale_kernels_detail {
ScaleKernels Scalar();
bool InstallSse2(ScaleKernels& k);
bool InstallSsse3(ScaleKernels& k);
}  // namespace scale_kernels_detail

}  // namespace vt
