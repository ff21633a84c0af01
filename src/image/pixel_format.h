#pragma once
#include <cstdint>
#include <string_view>

namespace vt {

// The numeric values are stored and compared throughout the system; they are fixed.
enum class PixelFormat : uint8_t {
  Bgra8 = 0,
  Bgra16 = 1,
  BgraFloat = 2,
  Gray8 = 3,
  Gray16 = 4,
  GrayFloat = 5,
  Indexed8 = 6,
  SameAsSource = 7,
};
inline constexpr int kStorageFormatCount = 7;

inline constexpr uint8_t kBytesPerPixel[kStorageFormatCount] = {4, 8, 16, 1, 2, 4, 1};

inline constexpr bool IsStorageFormat(PixelFormat f) {
  return static_cast<uint8_t>(f) < kStorageFormatCount;
}
inline constexpr uint32_t BytesPerPixel(PixelFormat f) {
  return IsStorageFormat(f) ? kBytesPerPixel[static_cast<uint8_t>(f)] : 0;
}
inline constexpr bool IsFloatFormat(PixelFormat f) {
  return f == PixelFormat::BgraFloat || f == PixelFormat::GrayFloat;
}
inline constexpr bool IsGrayFormat(PixelFormat f) {
  return f == PixelFormat::Gray8 || f == PixelFormat::Gray16 || f == PixelFormat::GrayFloat;
}
// Display buffers exist for these formats only.
inline constexpr bool IsDisplayFormat(PixelFormat f) {
  return f == PixelFormat::Bgra8 || f == PixelFormat::Gray8 || f == PixelFormat::Indexed8;
}
// The format a display buffer uses for a given decoded format.
inline constexpr PixelFormat DisplayFormatFor(PixelFormat f) {
  switch (f) {
    case PixelFormat::Bgra16:
    case PixelFormat::BgraFloat:
      return PixelFormat::Bgra8;
    case PixelFormat::Gray16:
    case PixelFormat::GrayFloat:
      return PixelFormat::Gray8;
    default:
      return f;
  }
}

std::string_view PixelFormatName(PixelFormat f);

enum class AlphaMode : uint8_t { None = 0, Straight = 1, Premultiplied = 2 };

// Where a frame or page sits in its animation or page sequence.
struct FrameDescription {
  uint32_t canvasWidth = 0;
  uint32_t canvasHeight = 0;
  uint32_t background = 0;  // blue, green, red, alpha bytes (little-endian word)
  uint8_t loop = 0;
  // With loop set: how many times the whole animation plays, 0 = without end.
  uint32_t loopCount = 0;
  uint32_t x = 0;
  uint32_t y = 0;
  int32_t delay = 0;  // milliseconds; -1 waits for the user (a page)
  uint8_t disposal = 0;  // 0 leave, 1 restore to background, 2 restore to previous
  uint8_t blend = 0;     // 1 draw over the previous content, 0 replace
};

}  // namespace vt
