#pragma once
#include <cmath>
#include <cstdint>

#include "platform/text_renderer.h"

namespace vt {

// How the toolkit's windows look at one dpi: colours (blue, green, red words)
// and the sizes that grow with the scale.
struct Theme {
  double scale = 1.0;  // dpi / 96
  FontSpec font;       // 9 points
  uint32_t face = 0xF0F0F0;          // dialog and control backgrounds
  uint32_t window = 0xFFFFFF;        // edit fields and lists
  uint32_t text = 0x202020;
  uint32_t disabledText = 0xA0A0A0;
  uint32_t border = 0x8C8C8C;
  uint32_t focusBorder = 0xD77800;   // blue
  uint32_t highlight = 0xF7E6CC;     // hovered and focused items
  uint32_t selection = 0xD77800;     // selected text and rows
  uint32_t selectionText = 0xFFFFFF;
  uint32_t menuBackground = 0xF9F9F9;
  uint32_t menuSeparator = 0xD7D7D7;
  uint32_t accent = 0xD77800;        // check marks, slider thumbs

  // A size of the 96-dpi design at this scale.
  int32_t Px(double v) const { return static_cast<int32_t>(std::lround(v * scale)); }
  static Theme ForDpi(uint32_t dpi) {
    Theme t;
    t.scale = (dpi ? dpi : 96) / 96.0;
    t.font.pixelHeight = t.Px(12);
    return t;
  }
};

}  // namespace vt
