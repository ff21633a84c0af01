#include "image/colour_models.h"

#include <algorithm>
#include <cmath>

#include "base/simd_dispatch.h"
#include "image/colour_models_kernels.h"
#include "image/image_buffer.h"
#include "image/stripe_split.h"

namespace vt {

namespace {

// Below this many pixels a row-wise adjustment is not worth a task of its own.
constexpr uint32_t kMinPixelsPerStripe = 65536;

inline uint8_t ClampByte(int v) { return static_cast<uint8_t>(std::clamp(v, 0, 255)); }

// Truncation towards zero, then the channel range (NaN counts as 0).
inline uint8_t TruncToByte(double v) {
  if (!(v > 0.0)) return 0;
  if (v >= 255.0) return 255;
  return static_cast<uint8_t>(v);
}

inline double SrgbTransferPrecise(double v) {
  return v > 0.0031308 ? 1.055 * std::pow(v, 1.0 / 2.4) - 0.055 : 12.92 * v;
}

// Linear light 0..1 to an encoded byte, rounded to nearest.
inline uint8_t EncodeSrgbByte(double linear) {
  const double v = SrgbTransferPrecise(linear);
  if (!(v > 0.0)) return 0;
  if (v >= 1.0) return 255;
  return static_cast<uint8_t>(v * 255.0 + 0.5);
}

struct ChromaTables {
  int16_t red[256];
  int16_t blue[256];
};

const ChromaTables& Chroma() {
  static const ChromaTables tables = [] {
    ChromaTables t;
    for (int i = 0; i < 256; ++i) {
      // std::lround rounds halves away from zero; 1.772 x 125 lands on one.
      t.red[i] = static_cast<int16_t>(std::lround(1.402 * (i - 128)));
      t.blue[i] = static_cast<int16_t>(std::lround(1.772 * (i - 128)));
    }
    return t;
  }();
  return tables;
}

// Pixel runs of 4 samples of T each, split into parallel chunks when long.
template <class T>
void RunInChunks(T* pixels, size_t n, void (*kernel)(T*, size_t)) {
  ForEachPixelRun(n, [pixels, kernel](size_t first, size_t count) {
    kernel(pixels + first * 4, count);
  });
}

// fn(row, width) for every row of the image, rows shared out in stripes.
template <class T, class Fn>
void ForEachRow(ImageBuffer* image, const Fn& fn) {
  const uint32_t width = image->Width();
  ForEachStripe(width, image->Height(), kMinPixelsPerStripe, [&](const Stripe& s) {
    for (uint32_t y = s.firstRow; y < s.endRow; ++y)
      fn(reinterpret_cast<T*>(image->Row(y)), width);
  });
}

void YcckRun(uint8_t* p, size_t n) {
  for (size_t i = 0; i < n; ++i, p += 4) {
    const double y = p[0], cb = p[1], cr = p[2], k = p[3] / 255.0;
    // Inverted colour from the YCC triple, scaled by the (inverted) black. The
    // red channel carries a fixed lift of 8 that the others do not.
    const double r = (255.0 - (y + 1.402 * cr - 179.456)) * k + 8.0;
    const double g = (119.54016 - (y - 0.34414 * cb - 0.71414 * cr)) * k;
    const double b = (255.0 - (y + 1.772 * cb - 226.816)) * k;
    p[0] = TruncToByte(b);
    p[1] = TruncToByte(g);
    p[2] = TruncToByte(r);
    p[3] = 255;
  }
}

void CmykRun(uint8_t* p, size_t n) {
  for (size_t i = 0; i < n; ++i, p += 4) {
    const unsigned white = 255u - p[3];
    const unsigned r = (255u - p[0]) * white / 255u;
    const unsigned g = (255u - p[1]) * white / 255u;
    const unsigned b = (255u - p[2]) * white / 255u;
    p[0] = static_cast<uint8_t>(b);
    p[1] = static_cast<uint8_t>(g);
    p[2] = static_cast<uint8_t>(r);
    p[3] = 255;
  }
}

void CmylRun(uint8_t* p, size_t n) {
  for (size_t i = 0; i < n; ++i, p += 4) {
    const unsigned k = p[3];
    const unsigned r = p[0] * k / 255u;
    const unsigned g = p[1] * k / 255u;
    const unsigned b = p[2] * k / 255u;
    p[0] = static_cast<uint8_t>(b);
    p[1] = static_cast<uint8_t>(g);
    p[2] = static_cast<uint8_t>(r);
    p[3] = 255;
  }
}

void Cmyk16Run(uint16_t* p, size_t n) {
  for (size_t i = 0; i < n; ++i, p += 4) {
    const uint32_t white = 65535u - p[3];
    const uint32_t r = (65535u - p[0]) * white / 65535u;
    const uint32_t g = (65535u - p[1]) * white / 65535u;
    const uint32_t b = (65535u - p[2]) * white / 65535u;
    p[0] = static_cast<uint16_t>(b);
    p[1] = static_cast<uint16_t>(g);
    p[2] = static_cast<uint16_t>(r);
    p[3] = 65535;
  }
}

// Relative luminance Y and its cube root for every 8-bit lightness code.
struct LabLightness {
  double y[256];
  double fy[256];
};

const LabLightness& Lightness() {
  static const LabLightness table = [] {
    LabLightness t;
    for (int i = 0; i < 256; ++i) {
      const double l = i * 100.0 / 255.0;
      double y;
      if (l >= 8.0) {
        const double f = (l + 16.0) / 116.0;
        y = f * f * f;
      } else {
        y = l * 0.001107052;  // 1 / 903.3, the straight segment near black
      }
      t.y[i] = y;
      t.fy[i] = std::cbrt(y);
    }
    return t;
  }();
  return table;
}

void LabRun(uint8_t* p, size_t n) {
  const LabLightness& light = Lightness();
  for (size_t i = 0; i < n; ++i, p += 4) {
    const double y = light.y[p[0]];
    const double fy = light.fy[p[0]];
    const double fx = fy + static_cast<int8_t>(p[1]) / 500.0;
    const double fz = fy - static_cast<int8_t>(p[2]) / 200.0;
    const double x = fx * fx * fx;
    const double z = fz * fz * fz;
    // X and Z relative to the D65 white, to linear light scaled to 255. The
    // result is linear, so it is encoded like every other 8-bit image before it
    // is stored; a mid grey would otherwise show at 47 instead of 119.
    const double r = 785.3834 * x - 391.97366 * y - 138.40977 * z;
    const double g = 478.37747 * y - 234.91473 * x + 11.537267 * z;
    const double b = 13.486869 * x - 52.03054 * y + 293.54367 * z;
    p[0] = EncodeSrgbByte(b / 255.0);
    p[1] = EncodeSrgbByte(g / 255.0);
    p[2] = EncodeSrgbByte(r / 255.0);
    p[3] = 255;
  }
}

void XyzRun(uint8_t* p, size_t n) {
  for (size_t i = 0; i < n; ++i, p += 4) {
    const double x = p[0], y = p[1], z = p[2];
    const double r = (3.2406 * x - 1.5372 * y - 0.4986 * z) / 255.0;
    const double g = (-0.9689 * x + 1.8758 * y + 0.0415 * z) / 255.0;
    const double b = (0.0557 * x - 0.204 * y + 1.057 * z) / 255.0;
    p[0] = EncodeSrgbByte(b);
    p[1] = EncodeSrgbByte(g);
    p[2] = EncodeSrgbByte(r);
    p[3] = 255;
  }
}

void XyzFloatRun(float* p, size_t n) {
  for (size_t i = 0; i < n; ++i, p += 4) {
    const float x = p[0], y = p[1], z = p[2];
    const float r = 3.2406f * x - 1.5372f * y - 0.4986f * z;
    const float g = -0.9689f * x + 1.8758f * y + 0.0415f * z;
    const float b = 0.0557f * x - 0.204f * y + 1.057f * z;
    p[0] = SrgbTransfer(b);
    p[1] = SrgbTransfer(g);
    p[2] = SrgbTransfer(r);
    p[3] = 1.0f;
  }
}

bool IsGreyRamp(const uint32_t* palette) {
  for (uint32_t i = 0; i < 256; ++i)
    if ((palette[i] & 0x00FFFFFFu) != i * 0x010101u) return false;
  return true;
}

void EncodeColourFloat(ImageBuffer* image) {
  ForEachRow<float>(image, [](float* p, uint32_t width) {
    for (uint32_t x = 0; x < width; ++x, p += 4) {
      p[0] = SrgbTransfer(p[0]);
      p[1] = SrgbTransfer(p[1]);
      p[2] = SrgbTransfer(p[2]);
    }
  });
}

Status ApplyGrey(ImageBuffer* image, bool invert, uint32_t bitDepth) {
  if (image->Format() == PixelFormat::Indexed8) image->DropPalette();
  switch (image->Format()) {
    case PixelFormat::Gray8: {
      const bool expand = bitDepth > 0 && bitDepth < 8;
      if (!expand && !invert) return status::kOk;
      // A decoder may leave levels above 2^d - 1 in a damaged file; they end
      // at full white rather than wrapping.
      uint8_t map[256];
      const int top = expand ? (1 << bitDepth) - 1 : 255;
      for (int v = 0; v < 256; ++v) {
        const int level = ClampByte(v * 255 / top);
        map[v] = static_cast<uint8_t>(invert ? 255 - level : level);
      }
      ForEachRow<uint8_t>(image, [&map](uint8_t* p, uint32_t width) {
        for (uint32_t x = 0; x < width; ++x) p[x] = map[p[x]];
      });
      return status::kOk;
    }
    case PixelFormat::Gray16:
      if (invert) {
        ForEachRow<uint16_t>(image, [](uint16_t* p, uint32_t width) {
          for (uint32_t x = 0; x < width; ++x) p[x] = static_cast<uint16_t>(65535u - p[x]);
        });
      }
      return status::kOk;
    case PixelFormat::GrayFloat:
      ForEachRow<float>(image, [invert](float* p, uint32_t width) {
        for (uint32_t x = 0; x < width; ++x) {
          const float v = SrgbTransfer(p[x]);
          p[x] = invert ? 1.0f - v : v;
        }
      });
      return status::kOk;
    default:
      return status::kUnsupportedColourFormat;
  }
}

// The palette of an Indexed8 image or every pixel of a Bgra8 image through run8;
// Bgra16 and BgraFloat only where the model has a conversion for them.
Status ConvertColour(ImageBuffer* image, void (*run8)(uint8_t*, size_t),
                     void (*run16)(uint16_t*, size_t) = nullptr,
                     void (*runFloat)(float*, size_t) = nullptr) {
  switch (image->Format()) {
    case PixelFormat::Indexed8: {
      uint32_t* palette = image->Palette();
      if (!palette) return status::kGeneralFailure;
      run8(reinterpret_cast<uint8_t*>(palette), 256);
      image->PaletteChanged();
      return status::kOk;
    }
    case PixelFormat::Bgra8:
      // The whole plane including the slack of each row: one run from the origin.
      run8(image->Origin(), size_t{image->Stride()} * image->Height());
      return status::kOk;
    case PixelFormat::Bgra16:
      if (!run16) break;
      ForEachRow<uint16_t>(image, [run16](uint16_t* p, uint32_t width) { run16(p, width); });
      return status::kOk;
    case PixelFormat::BgraFloat:
      if (!runFloat) break;
      ForEachRow<float>(image, [runFloat](float* p, uint32_t width) { runFloat(p, width); });
      return status::kOk;
    default:
      break;
  }
  return status::kUnsupportedColourFormat;
}

}  // namespace

std::u16string_view ColourModelText(ColourModel model) {
  static constexpr std::u16string_view kTexts[] = {u"RGB", u"L", u"K", u"YCbCr", u"CMYK",
                                                   u"CMYL", u"YCCK", u"XYZ", u"Lab", u"?"};
  const uint8_t i = static_cast<uint8_t>(model);
  return kTexts[i < 10 ? i : 9];
}

float SrgbTransfer(float v) {
  return v > 0.0031308f ? 1.055f * std::pow(v, 1.0f / 2.4f) - 0.055f : 12.92f * v;
}

int YCbCrRedOffset(uint8_t cr) { return Chroma().red[cr]; }
int YCbCrBlueOffset(uint8_t cb) { return Chroma().blue[cb]; }

void YCbCrToBgra8Scalar(uint8_t* p, size_t n) {
  const ChromaTables& t = Chroma();
  for (size_t i = 0; i < n; ++i, p += 4) {
    const int y = p[0], cb = p[1], cr = p[2];
    // Green in 8-bit fixed point (0.714 x 256 = 183, 0.344 x 256 = 88); the
    // shift is arithmetic, so negative sums round towards minus infinity.
    const int g = y + ((-183 * (cr - 128) - 88 * (cb - 128) + 128) >> 8);
    p[0] = ClampByte(y + t.blue[cb]);
    p[1] = ClampByte(g);
    p[2] = ClampByte(y + t.red[cr]);
    p[3] = 255;
  }
}

namespace {
const SimdKernels<ColourModelKernels>& Kernels() {
  static const SimdKernels<ColourModelKernels> sets(ColourModelKernels{&YCbCrToBgra8Scalar},
                                                    colour_models_detail::InstallSse2,
                                                    colour_models_detail::InstallSsse3);
  return sets;
}
YCbCrKernel YCbCrKernelAt(SimdLevel level) {
  const ColourModelKernels* k = Kernels().At(level);
  return k ? k->yCbCrToBgra8 : nullptr;
}
}  // namespace

YCbCrKernel Sse2YCbCrKernel() { return YCbCrKernelAt(SimdLevel::Sse2); }
YCbCrKernel Ssse3YCbCrKernel() { return YCbCrKernelAt(SimdLevel::Ssse3); }
YCbCrKernel SelectedYCbCrKernel() { return Kernels().Active().yCbCrToBgra8; }

void YCbCrToBgra8(uint8_t* pixels, size_t n) { RunInChunks(pixels, n, SelectedYCbCrKernel()); }
void YcckToBgra8(uint8_t* pixels, size_t n) { RunInChunks(pixels, n, &YcckRun); }
void CmykToBgra8(uint8_t* pixels, size_t n) { RunInChunks(pixels, n, &CmykRun); }
void CmylToBgra8(uint8_t* pixels, size_t n) { RunInChunks(pixels, n, &CmylRun); }
void Cmyk16ToBgra16(uint16_t* pixels, size_t n) { RunInChunks(pixels, n, &Cmyk16Run); }
void LabToBgra8(uint8_t* pixels, size_t n) { RunInChunks(pixels, n, &LabRun); }
void XyzToBgra8(uint8_t* pixels, size_t n) { RunInChunks(pixels, n, &XyzRun); }
void XyzToBgraFloat(float* pixels, size_t n) { RunInChunks(pixels, n, &XyzFloatRun); }

Status ApplyColourModel(ImageBuffer* image, ColourModel model, uint32_t bitDepth) {
  if (!image || !image->Origin()) return status::kInvalidArgument;

  // A grey-ramp palette that carries transparency stays a palette: as Gray8 the
  // transparent pixels would turn into visible greys.
  if (image->Format() == PixelFormat::Indexed8 && bitDepth == 8 &&
      image->Alpha() == AlphaMode::None) {
    const uint32_t* palette = image->Palette();
    if (palette && IsGreyRamp(palette)) {
      image->DropPalette();
      image->SetAlpha(AlphaMode::None);
    }
  }

  switch (model) {
    case ColourModel::Rgb:
    case ColourModel::Unknown:
      if (image->Format() == PixelFormat::BgraFloat) EncodeColourFloat(image);
      return status::kOk;
    case ColourModel::L:
      return ApplyGrey(image, false, bitDepth);
    case ColourModel::K:
      return ApplyGrey(image, true, bitDepth);
    case ColourModel::YCbCr:
      return ConvertColour(image, &YCbCrToBgra8);
    case ColourModel::Cmyk:
      return ConvertColour(image, &CmykToBgra8, &Cmyk16ToBgra16);
    case ColourModel::Cmyl:
      return ConvertColour(image, &CmylToBgra8);
    case ColourModel::Ycck:
      return ConvertColour(image, &YcckToBgra8);
    case ColourModel::Xyz:
      return ConvertColour(image, &XyzToBgra8, nullptr, &XyzToBgraFloat);
    case ColourModel::Lab:
      return ConvertColour(image, &LabToBgra8);
  }
  return status::kUnsupportedColourFormat;
}

}  // namespace vt
