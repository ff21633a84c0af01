#pragma once
#include <string>
#include <string_view>

#include "image/pixel_format.h"

namespace vt {

class ViewState;

// The zoom as the title shows it: at most three decimals, at least one
// (0.125 gives "0.125x", 0.25 "0.25x", 2 "2.0x").
std::u16string ZoomText(double zoom);

struct TitleParts {
  bool slideshow = false;
  std::u16string_view slideshowText = u"幻灯片";  // through the dictionary
  std::u16string_view path;                       // empty: no file
  std::u16string_view imageName;                  // used without a path
  bool fullPath = false;
  std::u16string_view pageText;  // empty: none
  bool showResolution = false;
  uint32_t width = 0;
  uint32_t height = 0;
  std::u16string_view depthText;  // empty: "?"
  PixelFormat sourceFormat = PixelFormat::Bgra8;
  double zoom = 1.0;
};

std::u16string BuildViewerTitle(const TitleParts& parts);

// The parts a view supplies: size of the current image, depth text of the
// first layer that has one, source format, zoom, name and page text.
TitleParts TitlePartsOf(ViewState& view);

}  // namespace vt
