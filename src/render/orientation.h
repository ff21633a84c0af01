#pragma once
#include <cstdint>
#include <string_view>

#include "base/status.h"

namespace vt {

class ImageBuffer;

// The orientation code of a view: bits 0-1 count quarter turns
// counter-clockwise, bit 2 flips the turned image top to bottom, bit 3 flips
// it left to right. Code 0 shows the image as decoded.
inline constexpr uint8_t kQuarterTurnBits = 3;
inline constexpr uint8_t kVerticalMirror = 4;
inline constexpr uint8_t kHorizontalMirror = 8;
inline constexpr uint8_t kOrientationBits = 15;

// The code after turning counter-clockwise by quarters more quarter turns
// (the mirror bits stay).
uint8_t TurnedOrientation(uint8_t code, uint32_t quarters);
// Whether the code turns width into height.
inline bool SwapsSides(uint8_t code) { return (code & 1) != 0; }

// The code that shows an image upright from the orientation property as the
// metadata readers word it ("Rotated 270" is a clockwise quarter turn, code
// 3); 0 for an empty or unknown text.
uint8_t OrientationFromProperty(std::u16string_view text);
// The orientation property of the image (its own, else its first frame's).
uint8_t ImageOrientation(ImageBuffer& image);

// Writes source turned and mirrored by code into target, which must already
// have the turned size. Every pixel is copied once. A source of another
// format is converted first. kInvalidArgument for a target of the wrong size.
Status Orient(ImageBuffer* target, ImageBuffer* source, uint8_t code);

// Copies the target-sized rectangle at (x, y) of source into target (another
// buffer of the same format, not larger, the rectangle inside the source).
Status Crop(ImageBuffer* target, ImageBuffer* source, int32_t x, int32_t y);

}  // namespace vt
