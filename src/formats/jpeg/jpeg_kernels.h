#pragma once
// Pixel kernels of the JPEG decoder: the inverse DCT, the block-internal
// upsampling of subsampled components and the interleaving of component rows
// into 4-byte pixels. The scalar versions in jpeg_kernels.cpp are the
// reference; vector variants must give the same bytes.
#include <cstddef>
#include <cstdint>

namespace vt {

struct JpegKernels {
  // Dequantises one block (64 coefficients in natural order, times quant, with
  // 16-bit wrap-around) and writes its 8x8 samples, rows stride bytes apart.
  // Leaves the coefficients zero, ready for the next block decoded there.
  void (*idct)(int16_t* coef, const uint16_t* quant, uint8_t* out, size_t stride);
  // Doubles blocks horizontally: every 8 input samples become 16, using only
  // the samples of their own block. blocks = number of 8-sample groups.
  void (*upsampleH2)(uint8_t* out, const uint8_t* in, size_t blocks);
  // One output row of a vertically doubled block row: near is the row the
  // output lies next to, far its neighbour inside the block (or near itself
  // at the block's edge). out = (3 near + far + 2) / 4 over n samples.
  void (*upsampleV2)(uint8_t* out, const uint8_t* near, const uint8_t* far, size_t n);
  // Same as V2 followed by H2, with the wider intermediate precision of the
  // two-dimensional filter.
  void (*upsampleH2V2)(uint8_t* out, const uint8_t* near, const uint8_t* far, size_t blocks);
  // Interleaves three component rows into pixels a, b, c, 255 (bytes 0..3).
  void (*interleave3)(uint8_t* out, const uint8_t* a, const uint8_t* b, const uint8_t* c,
                      size_t n);
  // Interleaves four component rows into pixels a, b, c, d.
  void (*interleave4)(uint8_t* out, const uint8_t* a, const uint8_t* b, const uint8_t* c,
                      const uint8_t* d, size_t n);
  // Y, Cb, Cr rows straight to blue, green, red, 255, with the rounding of the
  // colour-model conversion.
  void (*yccToBgra)(uint8_t* out, const uint8_t* y, const uint8_t* cb, const uint8_t* cr,
                    size_t n);
};

const JpegKernels& ScalarJpegKernels();
// Null when the processor or the build lacks SSE2.
const JpegKernels* Sse2JpegKernels();
// Chosen once: SSE2 when available unless VISTREL_SCALAR=1.
const JpegKernels& ActiveJpegKernels();

namespace jpeg_kernels_detail {
// False when built without SSE2.
bool InstallSse2(JpegKernels& k);
}  // namespace jpeg_kernels_detail

}  // namespace vt
