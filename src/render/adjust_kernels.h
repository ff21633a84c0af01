#pragma once
#include <cstddef>
#include <cstdint>

namespace vt {

// The inner loops of the colour stage and the unsharp mask for 8-bit
// channels. A scalar reference lives in adjust_kernels.cpp and an SSE2
// variant in adjust_kernels_sse2.cpp; both compute exactly the same integers.
// The set is chosen once, on first use (VISTREL_SCALAR=1 forces the scalar one).

// The colour stage of a Bgra8 pixel without a hue turn is linear up to the
// final curve: with S = blue + green + red,
//   v = gain x channel + sumWeight x S + offset[channel]   (13 fractional bits)
// and the channel becomes the curve at v (gamma, clamping, inversion), or
// without a curve v rounded, clamped to 0..255 and inverted when asked.
inline constexpr int kColourFractionBits = 13;
inline constexpr int kCurveFractionBits = 6;  // curve entries per level: 64
inline constexpr int kCurveEntries = 255 * (1 << kCurveFractionBits) + 1;
struct ColourFixed {
  int16_t gain = 1 << kColourFractionBits;
  int16_t sumWeight = 0;
  int32_t offset[3] = {0, 0, 0};  // blue, green, red
  const uint8_t* curve = nullptr;  // kCurveEntries entries; inversion included
  bool invert = false;             // without a curve
};

// The unsharp mask works on values (channels) of rows: the blur's five taps
// t0, t1, t2, t1, t0 (summing to 256) horizontally, then vertically with each
// product cut to 8 fractional bits; see SharpenRowBgra8 in adjust_kernels.cpp.
struct SharpenFixed {
  uint16_t taps[3] = {0, 0, 256};  // outer, inner, centre
  int16_t amount = 0;              // 12 fractional bits, at most 32512 in size
  uint8_t threshold = 0;           // |difference| below it keeps the value
};

struct AdjustKernels {
  // n pixels from src to dst (which may be the same row).
  void (*colourBgra8)(uint8_t* dst, const uint8_t* src, size_t n, const ColourFixed& p);
  // n values of a row whose neighbours lie step values away on either side:
  // the row must carry two copies of its edge pixels beyond both ends.
  void (*blurRow8)(uint16_t* out, const uint8_t* row, size_t n, size_t step, const SharpenFixed& p);
  // n values: five blurred rows (two above, this one, two below) make the
  // blurred value, which sharpens src into out.
  void (*sharpenRow8)(uint8_t* out, const uint8_t* src, const uint16_t* const rows[5], size_t n,
                      const SharpenFixed& p);
};

enum class AdjustKernelLevel : uint8_t { Scalar = 0, Sse2 = 1 };
const AdjustKernels& ActiveAdjustKernels();
// The set of a level; null when the processor or the build lacks it.
const AdjustKernels* AdjustKernelsFor(AdjustKernelLevel level);

namespace adjust_kernels_detail {
AdjustKernels Scalar();
bool InstallSse2(AdjustKernels& k);
}  // namespace adjust_kernels_detail

}  // namespace vt
