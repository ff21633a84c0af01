#pragma once
#include <cstddef>
#include <cstdint>

#include "base/simd_dispatch.h"

namespace vt {

// The error diffusion works in 12-bit steps of 1/16 of an output level, which
// treats 8-bit level k as 16-bit k * 256. Widening makes k * 257 of it, so 8-bit
// content stored in 16 bits (the common case) would come out brighter by up to a
// level, with noise. s - (s >> 8) maps k * 257 to exactly k * 256 and 65535 to
// 65280, so such content returns unchanged and the full range still maps to 0..255.
inline constexpr uint32_t DitherInput(uint32_t sample) { return sample - (sample >> 8); }


// Row kernels: the inner loops that readers use to unpack file rows into buffer
// rows, and the loops of the pixel-format conversions. Each has a scalar
// reference; SSE2 and SSSE3 variants replace some of them when the processor
// has the instructions. The choice is made once, on first use, from
// GetCpuFeatures() (VISTREL_SCALAR=1 forces the scalar set).
//
// Conventions: dst is the target row, src the source bytes, n a pixel (or
// sample) count. Source bytes need no alignment and are never read beyond the
// n pixels the call covers, so a row may end exactly at the end of a mapped
// file. dst and src must not overlap. Multi-byte samples are little-endian in
// memory; "swap" reverses the bytes of every 16-bit or 32-bit sample (for
// big-endian files).
struct RowKernels {
  // Three (four) planes of n bytes each, red first, planeDistance bytes apart,
  // into blue, green, red, alpha pixels; alpha 255 without the fourth plane.
  void (*planarRgbToBgra8)(uint8_t* dst, const uint8_t* src, size_t planeDistance, size_t n);
  void (*planarRgbaToBgra8)(uint8_t* dst, const uint8_t* src, size_t planeDistance, size_t n);
  // planes (1..8) rows of 1-bit pixels, most significant bit first, planeDistance
  // bytes apart; bit k of each output index comes from plane k.
  void (*bitPlanesToIndices)(uint8_t* dst, const uint8_t* src, size_t planeDistance,
                             uint32_t planes, size_t n);
  // n bytes (16-bit, 32-bit samples) from src into every step-th byte (sample) of dst.
  void (*stridedByteCopy)(uint8_t* dst, const uint8_t* src, size_t n, size_t step);
  void (*stridedCopy16)(uint8_t* dst, const uint8_t* src, size_t n, size_t step, bool swap);
  void (*stridedCopy32)(uint8_t* dst, const uint8_t* src, size_t n, size_t step, bool swap);
  // Packed pixels, most significant bits first, into one byte per pixel.
  void (*expand1Bit)(uint8_t* dst, const uint8_t* src, size_t n);
  void (*expand2Bit)(uint8_t* dst, const uint8_t* src, size_t n);
  void (*expand4Bit)(uint8_t* dst, const uint8_t* src, size_t n);
  // Interleaved red-green-blue(-alpha) samples into blue-green-red-alpha pixels,
  // a missing alpha opaque (255, 65535, 1.0). The Bgr variants take samples that
  // are already in buffer order and only add alpha (and swap bytes).
  void (*rgb8ToBgra8)(uint8_t* dst, const uint8_t* src, size_t n);
  void (*rgba8ToBgra8)(uint8_t* dst, const uint8_t* src, size_t n);
  void (*bgr8ToBgra8)(uint8_t* dst, const uint8_t* src, size_t n);
  void (*rgb16ToBgra16)(uint8_t* dst, const uint8_t* src, size_t n, bool swap);
  void (*rgba16ToBgra16)(uint8_t* dst, const uint8_t* src, size_t n, bool swap);
  void (*bgr16ToBgra16)(uint8_t* dst, const uint8_t* src, size_t n, bool swap);
  void (*rgbFloatToBgraFloat)(uint8_t* dst, const uint8_t* src, size_t n, bool swap);
  void (*rgbaFloatToBgraFloat)(uint8_t* dst, const uint8_t* src, size_t n, bool swap);
  void (*bgrFloatToBgraFloat)(uint8_t* dst, const uint8_t* src, size_t n, bool swap);

  // Conversion loops. Counts are samples where the loop is per sample.
  void (*highBytes16)(uint8_t* dst, const uint16_t* src, size_t samples);
  void (*widen8To16)(uint16_t* dst, const uint8_t* src, size_t samples);  // v * 257
  void (*u8ToFloat)(float* dst, const uint8_t* src, size_t samples);      // v / 255
  void (*u16ToFloat)(float* dst, const uint16_t* src, size_t samples);    // v / 65535
  // clamp(v, 0, 1) * 65535 + 0.5, truncated; NaN gives 0.
  void (*floatToU16)(uint16_t* dst, const float* src, size_t samples);
  void (*gray8ToBgra8)(uint8_t* dst, const uint8_t* src, size_t n);
  void (*indexed8ToBgra8)(uint8_t* dst, const uint8_t* src, const uint32_t* palette, size_t n);
  // (B + G + R + 1) / 3 per pixel.
  void (*bgra8ToGray8)(uint8_t* dst, const uint8_t* src, size_t n);
  // One row of the 16-to-8-bit error diffusion over blue, green and red (alpha
  // takes its high byte). err holds 4 sums per pixel (n + 2 pixels, the first and
  // last are scratch): on entry the sums this row receives from the row above,
  // on return the sums for the row below. reverse runs right to left.
  void (*ditherBgra16Row)(uint8_t* dst, const uint16_t* src, uint16_t* err, size_t n,
                          bool reverse);
};

using RowKernelLevel = SimdLevel;

// The set chosen for this processor.
const RowKernels& ActiveRowKernels();
RowKernelLevel ActiveRowKernelLevel();
// The set of a given level (each level includes the lower ones' kernels where it
// has none of its own); null when the processor or the build lacks it. For tests
// and benchmarks.
const RowKernels* RowKernelsFor(RowKernelLevel level);

namespace row_kernels_detail {
// Filled by the instruction-set files; each returns false when that file was
// built without its instruction set.
bool InstallSse2(RowKernels& k);
bool InstallSsse3(RowKernels& k);
RowKernels Scalar();
}  // namespace row_kernels_detail

// The active kernels as plain functions, for readers.
inline void PlanarRgbToBgra8(uint8_t* dst, const uint8_t* src, size_t planeDistance, size_t n) {
  ActiveRowKernels().planarRgbToBgra8(dst, src, planeDistance, n);
}
inline void PlanarRgbaToBgra8(uint8_t* dst, const uint8_t* src, size_t planeDistance, size_t n) {
  ActiveRowKernels().planarRgbaToBgra8(dst, src, planeDistance, n);
}
inline void BitPlanesToIndices(uint8_t* dst, const uint8_t* src, size_t planeDistance,
                               uint32_t planes, size_t n) {
  ActiveRowKernels().bitPlanesToIndices(dst, src, planeDistance, planes, n);
}
inline void StridedByteCopy(uint8_t* dst, const uint8_t* src, size_t n, size_t step) {
  ActiveRowKernels().stridedByteCopy(dst, src, n, step);
}
inline void StridedCopy16(uint8_t* dst, const uint8_t* src, size_t n, size_t step, bool swap) {
  ActiveRowKernels().stridedCopy16(dst, src, n, step, swap);
}
inline void StridedCopy32(uint8_t* dst, const uint8_t* src, size_t n, size_t step, bool swap) {
  ActiveRowKernels().stridedCopy32(dst, src, n, step, swap);
}
inline void Expand1Bit(uint8_t* dst, const uint8_t* src, size_t n) {
  ActiveRowKernels().expand1Bit(dst, src, n);
}
inline void Expand2Bit(uint8_t* dst, const uint8_t* src, size_t n) {
  ActiveRowKernels().expand2Bit(dst, src, n);
}
inline void Expand4Bit(uint8_t* dst, const uint8_t* src, size_t n) {
  ActiveRowKernels().expand4Bit(dst, src, n);
}
inline void Rgb8ToBgra8(uint8_t* dst, const uint8_t* src, size_t n) {
  ActiveRowKernels().rgb8ToBgra8(dst, src, n);
}
inline void Rgba8ToBgra8(uint8_t* dst, const uint8_t* src, size_t n) {
  ActiveRowKernels().rgba8ToBgra8(dst, src, n);
}
inline void Bgr8ToBgra8(uint8_t* dst, const uint8_t* src, size_t n) {
  ActiveRowKernels().bgr8ToBgra8(dst, src, n);
}
inline void Rgb16ToBgra16(uint8_t* dst, const uint8_t* src, size_t n, bool swap) {
  ActiveRowKernels().rgb16ToBgra16(dst, src, n, swap);
}
inline void Rgba16ToBgra16(uint8_t* dst, const uint8_t* src, size_t n, bool swap) {
  ActiveRowKernels().rgba16ToBgra16(dst, src, n, swap);
}
inline void Bgr16ToBgra16(uint8_t* dst, const uint8_t* src, size_t n, bool swap) {
  ActiveRowKernels().bgr16ToBgra16(dst, src, n, swap);
}
// Blue-green-red-alpha 16-bit samples that only need their bytes swapped.
inline void Bgra16Swap(uint8_t* dst, const uint8_t* src, size_t n) {
  ActiveRowKernels().stridedCopy16(dst, src, n * 4, 1, true);
}
inline void RgbFloatToBgraFloat(uint8_t* dst, const uint8_t* src, size_t n, bool swap) {
  ActiveRowKernels().rgbFloatToBgraFloat(dst, src, n, swap);
}
inline void RgbaFloatToBgraFloat(uint8_t* dst, const uint8_t* src, size_t n, bool swap) {
  ActiveRowKernels().rgbaFloatToBgraFloat(dst, src, n, swap);
}
inline void BgrFloatToBgraFloat(uint8_t* dst, const uint8_t* src, size_t n, bool swap) {
  ActiveRowKernels().bgrFloatToBgraFloat(dst, src, n, swap);
}
inline void BgraFloatSwap(uint8_t* dst, const uint8_t* src, size_t n) {
  ActiveRowKernels().stridedCopy32(dst, src, n * 4, 1, true);
}

}  // namespace vt
