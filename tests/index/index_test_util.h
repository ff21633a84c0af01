#pragma once
#include <cstdint>
#include <cstring>
#include <functional>
#include <span>
#include <vector>

#include "image/image_buffer.h"

namespace vt::test {

// A Bgra8 picture whose pixel (x, y) is pixel(x, y) (blue, green, red, alpha
// bytes of a little-endian word).
inline RefPtr<ImageBuffer> MakeThumbnail(int width, int height, const std::function<uint32_t(int, int)>& pixel) {
  RefPtr<ImageBuffer> b = ImageBuffer::Create(PixelFormat::Bgra8, uint32_t(width), uint32_t(height));
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const uint32_t v = pixel(x, y);
      std::memcpy(b->Row(uint32_t(y)) + x * 4, &v, 4);
    }
  return b;
}

inline bool SamePixels(const ImageBuffer& a, const ImageBuffer& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height() || a.Format() != b.Format()) return false;
  for (uint32_t y = 0; y < a.Height(); ++y)
    if (std::memcmp(a.Row(y), b.Row(y), size_t{a.Width()} * a.BytesPerPixel()) != 0) return false;
  return true;
}

inline uint64_t Fnv1a(std::span<const uint8_t> bytes) {
  uint64_t h = 0xcbf29ce484222325ull;
  for (uint8_t b : bytes) h = (h ^ b) * 0x100000001b3ull;
  return h;
}

}  // namespace vt::test
