#pragma once
#include <cstddef>
#include <cstdint>

namespace vt {

// A plane of pixels seen as raw rows (no format attached).
struct RawPlane {
  uint8_t* origin = nullptr;
  size_t pitch = 0;
  uint32_t width = 0;
  uint32_t height = 0;
  uint8_t* Row(uint32_t y) const { return origin + y * pitch; }
};

// Reduces Bgra8 pixels (alpha included) to at most maxColours (2..256) palette
// entries and writes one index per pixel into indices. An image with no more
// distinct colours than that keeps them exactly (palette in ascending order of
// the 32-bit value); otherwise a variance-guided median cut over a 5-bit-per-
// channel histogram chooses the boxes, each entry is the mean of its box's
// pixels, and every pixel takes its nearest entry. Deterministic. Returns the
// number of palette entries written, 0 when memory runs out.
uint32_t QuantizeBgra8(const RawPlane& source, const RawPlane& indices, uint32_t maxColours,
                       uint32_t* palette);

// Writes for every Bgra8 pixel the index of the nearest of the count palette
// entries (squared distance over blue, green, red and alpha; the lowest index
// wins a tie). False when memory runs out.
bool MapToPalette(const RawPlane& source, const RawPlane& indices, const uint32_t* palette,
                  uint32_t count);

}  // namespace vt
