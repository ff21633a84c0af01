#pragma once
// The interchangeable YCbCr run kernels behind YCbCrToBgra8, visible to the
// tests that compare them.
#include <cstddef>
#include <cstdint>

namespace vt {

using YCbCrKernel = void (*)(uint8_t* pixels, size_t n);

// The reference: every other variant must give exactly its bytes.
void YCbCrToBgra8Scalar(uint8_t* pixels, size_t n);
// The SSE2 variant, or nothing where this build or the processor has no SSE2.
YCbCrKernel Sse2YCbCrKernel();
// The SSSE3 variant (byte shuffles, rounding multiply), or nothing without SSSE3.
YCbCrKernel Ssse3YCbCrKernel();
// The variant chosen from the processor's features on first use.
YCbCrKernel SelectedYCbCrKernel();

// The colour-model kernels that have vector variants, for the dispatch.
struct ColourModelKernels {
  YCbCrKernel yCbCrToBgra8 = nullptr;
};
namespace colour_models_detail {
// False when built without the instruction set.
bool InstallSse2(ColourModelKernels& k);
bool InstallSsse3(ColourModelKernels& k);
}  // namespace colour_models_detail

// Chroma offsets the luma gets, rounded half away from zero: 1.402 (Cr - 128)
// for red and 1.772 (Cb - 128) for blue.
int YCbCrRedOffset(uint8_t cr);
int YCbCrBlueOffset(uint8_t cb);

}  // namespace vt
