#include "image/display_rows.h"

#include <algorithm>
#include <cstring>

namespace vt {

void DisplayRowTo32(ImageBuffer& image, int64_t x, int64_t y, int32_t count, RowAlpha alpha,
                    uint32_t* out) {
  constexpr uint32_t kOpaqueBlack = 0xFF000000u;
  if (count <= 0) return;
  const int64_t n = count;
  const PixelFormat format = image.Format();
  // The columns of the run that lie on the image.
  const int64_t x0 = std::clamp<int64_t>(-x, 0, n);
  const int64_t x1 = std::clamp<int64_t>(int64_t{image.Width()} - x, x0, n);
  if (y < 0 || y >= image.Height() || x0 == x1 || !IsDisplayFormat(format)) {
    std::fill(out, out + n, kOpaqueBlack);
    return;
  }
  std::fill(out, out + x0, kOpaqueBlack);
  std::fill(out + x1, out + n, kOpaqueBlack);
  const uint8_t* row = image.Row(uint32_t(y)) + size_t(x + x0) * BytesPerPixel(format);
  uint32_t* run = out + x0;
  const size_t m = size_t(x1 - x0);

  if (format == PixelFormat::Bgra8) {
    std::memcpy(run, row, m * 4);
    if (image.Alpha() == AlphaMode::None || alpha == RowAlpha::kOpaque) {
      for (size_t i = 0; i < m; ++i) run[i] |= kOpaqueBlack;
    } else if (alpha == RowAlpha::kPremultiplied && image.Alpha() == AlphaMode::Straight) {
      for (size_t i = 0; i < m; ++i) {
        const uint32_t p = run[i], a = p >> 24;
        uint32_t q = p & 0xFF000000u;
        for (int s = 0; s < 24; s += 8) q |= (((p >> s & 0xFF) * a + 127) / 255) << s;
        run[i] = q;
      }
    }
    return;
  }
  // A display buffer's colour table (the grey ramp for Gray8) or a memory
  // buffer's palette; the tables' fourth bytes are not alpha.
  const uint32_t* table = image.IsDisplay() ? image.ColourTable() : image.Palette();
  if (table) {
    for (size_t i = 0; i < m; ++i) run[i] = table[row[i]] | kOpaqueBlack;
  } else if (format == PixelFormat::Gray8) {
    for (size_t i = 0; i < m; ++i) {
      const uint32_t v = row[i];
      run[i] = kOpaqueBlack | v << 16 | v << 8 | v;
    }
  } else {
    std::fill(run, run + m, kOpaqueBlack);
  }
}

}  // namespace vt
