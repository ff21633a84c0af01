#pragma once
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "render/view_window.h"

namespace vt {

// A 32-bit picture in memory: one word per pixel holding blue, green, red and
// alpha bytes (little-endian), rows top to bottom without padding. The
// toolkit paints its windows into one and hands it to the window whole; the
// screen captures come back as one.
struct PixelSurface {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint32_t> pixels;

  PixelSurface() = default;
  PixelSurface(int32_t w, int32_t h, uint32_t fill = 0) { Resize(w, h, fill); }

  void Resize(int32_t w, int32_t h, uint32_t fill = 0) {
    width = std::max(w, 0);
    height = std::max(h, 0);
    pixels.assign(size_t(width) * size_t(height), fill);
  }
  bool Empty() const { return width <= 0 || height <= 0; }
  ViewRect Bounds() const { return {0, 0, width, height}; }
  uint32_t* Row(int32_t y) { return pixels.data() + size_t(y) * size_t(width); }
  const uint32_t* Row(int32_t y) const { return pixels.data() + size_t(y) * size_t(width); }
  // Outside the surface: 0.
  uint32_t At(int32_t x, int32_t y) const {
    return x < 0 || y < 0 || x >= width || y >= height ? 0 : pixels[size_t(y) * size_t(width) + size_t(x)];
  }
};

inline ViewRect Intersect(const ViewRect& a, const ViewRect& b) {
  ViewRect r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
             std::min(a.bottom, b.bottom)};
  if (r.right < r.left) r.right = r.left;
  if (r.bottom < r.top) r.bottom = r.top;
  return r;
}
inline bool IsEmpty(const ViewRect& r) { return r.right <= r.left || r.bottom <= r.top; }
inline bool Contains(const ViewRect& r, ViewPoint p) {
  return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom;
}

}  // namespace vt
