#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "base/status.h"

namespace vt {

class ImageBuffer;

// How a reader's samples are to be read; shown as the colour-format property.
enum class ColourModel : uint8_t {
  Rgb = 0,
  L = 1,
  K = 2,
  YCbCr = 3,
  Cmyk = 4,
  Cmyl = 5,
  Ycck = 6,
  Xyz = 7,
  Lab = 8,
  Unknown = 9,
};
std::u16string_view ColourModelText(ColourModel model);

// sRGB transfer function: 1.055 v^(1/2.4) - 0.055 above 0.0031308, else 12.92 v.
float SrgbTransfer(float v);

// The adjustment a decoded image gets for its reader's colour model (the last
// step of decoding): a grey-ramp Indexed8 image of depth 8 becomes Gray8; then
// RGB float gets the transfer function, L and K become grey (expanded below 8
// bits, inverted for K), and the other models are converted to blue, green, red
// from the channels the decoder left in the first bytes of each pixel.
// kUnsupportedColourFormat for combinations that have no conversion.
Status ApplyColourModel(ImageBuffer* image, ColourModel model, uint32_t bitDepth);

// Run conversions, in place over n pixels of 4 bytes (or 4 x 16 bits, or 4
// floats). They are exposed for the readers that convert rows themselves and
// for benchmarks.
void YCbCrToBgra8(uint8_t* pixels, size_t n);
void YcckToBgra8(uint8_t* pixels, size_t n);
void CmykToBgra8(uint8_t* pixels, size_t n);
void CmylToBgra8(uint8_t* pixels, size_t n);
void Cmyk16ToBgra16(uint16_t* pixels, size_t n);
void LabToBgra8(uint8_t* pixels, size_t n);
void XyzToBgra8(uint8_t* pixels, size_t n);
void XyzToBgraFloat(float* pixels, size_t n);

}  // namespace vt
