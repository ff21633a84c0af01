#pragma once
#include <array>
#include <cstdint>

#include "base/status.h"

namespace vt {

class ImageBuffer;

// The colour controls of a view, in the order the adjustment file lists them.
enum class ColourField : uint8_t {
  kContrast,    // about mid-grey
  kBrightness,  // multiplier - 1
  kHue,         // rotation in turns
  kSaturation,  // multiplier - 1 of the deviation from the mean
  kLightness,   // added offset
  kRedBias,
  kGreenBias,
  kBlueBias,
  kGamma,
};
inline constexpr int kColourFieldCount = 9;

struct ColourSettings {
  std::array<float, kColourFieldCount> values{0, 0, 0, 0, 0, 0, 0, 0, 1};
  bool invert = false;

  static constexpr float Default(ColourField f) { return f == ColourField::kGamma ? 1.0f : 0.0f; }
  float Get(ColourField f) const { return values[static_cast<size_t>(f)]; }
  void Set(ColourField f, float v) { values[static_cast<size_t>(f)] = v; }
  // The fields (controls and inversion) that differ from their defaults.
  int NonDefaultCount() const;
  friend bool operator==(const ColourSettings&, const ColourSettings&) = default;
};

// Whether the field is one that grey images use (contrast, brightness,
// lightness, gamma; inversion too).
bool AppliesToGray(ColourField f);

// What a view keeps beyond zoom and crop: the colour controls, the
// sharpening amount and the orientation code.
struct AdjustmentRecord {
  ColourSettings colour;
  float sharpness = 0;      // unsharp-mask amount; negative softens
  uint8_t orientation = 0;  // see render/orientation.h
  friend bool operator==(const AdjustmentRecord&, const AdjustmentRecord&) = default;
};

// The colour stage: target (same size and format as source; may be source
// itself) gets source's pixels with the controls applied. Palette images
// change only their palette; grey images use contrast, brightness, lightness,
// gamma and inversion. The background colour of the frame description is
// transformed like a pixel. kInvalidArgument for mismatched buffers,
// kUnsupportedColourFormat for other formats.
Status ApplyAdjustments(ImageBuffer* target, ImageBuffer* source, const ColourSettings& settings);

// The unsharp mask: source blurred by a Gaussian of radius (standard deviation
// radius / 2, five taps), and where a channel differs from its blurred value
// by threshold or more (positive amounts only; 16-bit channels scale it by
// 256) the difference times amount is added. target has source's size and
// format (Bgra8 for an Indexed8 source). Amounts below 1/256 copy.
Status Sharpen(ImageBuffer* target, ImageBuffer* source, float amount, float radius, int threshold);

// The five 8-bit taps (outer, inner, centre) of the blur, summing to 256:
// the Gaussian integrated over each pixel, rounded so that the sum stays.
std::array<uint16_t, 3> SharpenTaps(float radius);

}  // namespace vt
