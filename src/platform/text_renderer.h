#pragma once
#include <cstdint>
#include <string_view>

#include "platform/pixel_surface.h"

namespace vt {

// The font of a piece of interface text: its em height in device pixels (the
// caller scales it for the monitor's dpi) and its weight.
struct FontSpec {
  int32_t pixelHeight = 12;
  bool bold = false;
  friend bool operator==(const FontSpec&, const FontSpec&) = default;
};

// Interface text measured and drawn on the toolkit's surfaces: each system
// draws with its own text engine (GDI, Pango); the fixed-metrics renderer
// below serves where there is none.
class TextRenderer {
 public:
  virtual ~TextRenderer() = default;
  // The advance width of one line of text and the height of a line in the font.
  virtual ViewSize Measure(std::u16string_view text, const FontSpec& font) = 0;
  // Draws one line with the top of its line box at `at` in colour (blue,
  // green, red bytes; the surface stays opaque), nothing outside clip.
  virtual void Draw(PixelSurface& surface, std::u16string_view text, ViewPoint at, uint32_t colour,
                    const FontSpec& font, const ViewRect& clip) = 0;
};

// Every character is a cell as high as the font's em: half as wide for the
// characters before U+1100 (Latin, Greek, Cyrillic and the like), as wide as
// high for the rest (CJK). A glyph is drawn as a block one pixel inside its
// cell; blanks draw nothing. Layout computed with it is exact and the same on
// every machine, which is what the headless tests need.
class FixedTextRenderer : public TextRenderer {
 public:
  static int32_t CharWidth(char16_t c, int32_t pixelHeight) {
    return c < 0x1100 ? (pixelHeight + 1) / 2 : pixelHeight;
  }
  ViewSize Measure(std::u16string_view text, const FontSpec& font) override;
  void Draw(PixelSurface& surface, std::u16string_view text, ViewPoint at, uint32_t colour,
            const FontSpec& font, const ViewRect& clip) override;
};

}  // namespace vt
