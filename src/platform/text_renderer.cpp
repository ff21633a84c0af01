#include "platform/text_renderer.h"

namespace vt {

ViewSize FixedTextRenderer::Measure(std::u16string_view text, const FontSpec& font) {
  int32_t width = 0;
  for (char16_t c : text) width += CharWidth(c, font.pixelHeight);
  return {width, font.pixelHeight};
}

void FixedTextRenderer::Draw(PixelSurface& surface, std::u16string_view text, ViewPoint at, uint32_t colour,
                             const FontSpec& font, const ViewRect& clip) {
  const ViewRect limit = Intersect(clip, surface.Bounds());
  const uint32_t opaque = colour | 0xFF000000u;
  int32_t x = at.x;
  for (char16_t c : text) {
    const int32_t w = CharWidth(c, font.pixelHeight);
    if (c != u' ' && c != u'\t' && c != 0x3000) {
      // A bold glyph is one pixel fuller on the right.
      const ViewRect cell{x + 1, at.y + 1, x + w - (font.bold ? 0 : 1), at.y + font.pixelHeight - 1};
      const ViewRect r = Intersect(cell, limit);
      for (int32_t y = r.top; y < r.bottom; ++y) std::fill(surface.Row(y) + r.left, surface.Row(y) + r.right, opaque);
    }
    x += w;
  }
}

}  // namespace vt
