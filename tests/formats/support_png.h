#pragma once
// A small PNG decoder for reference renderings in tests: non-interlaced images
// of every colour type and bit depth, with tRNS. Nothing more (no gamma, no
// interlacing); it refuses what it does not handle.
#include <cstdint>
#include <string>
#include <vector>

namespace vt::test {

struct PngImage {
  uint32_t width = 0;
  uint32_t height = 0;
  // 8 or 16: the range of the samples below (255 or 65535). Depths below 8 are
  // scaled to 8 bits (v * 255 / (2^depth - 1)), palette colours are 8-bit.
  uint32_t sampleBits = 8;
  // Red, green, blue, alpha per pixel, rows top to bottom.
  std::vector<uint16_t> rgba;

  const uint16_t* Pixel(uint32_t x, uint32_t y) const {
    return rgba.data() + (size_t{y} * width + x) * 4;
  }
};

// False with a reason when the bytes are not a PNG this decoder reads.
bool DecodePng(const std::string& bytes, PngImage* out, std::string* error);

}  // namespace vt::test
