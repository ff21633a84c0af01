#include "image/pixel_format.h"

namespace vt {

std::string_view PixelFormatName(PixelFormat f) {
  switch (f) {
    case PixelFormat::Bgra8: return "Bgra8";
    case PixelFormat::Bgra16: return "Bgra16";
    case PixelFormat::BgraFloat: return "BgraFloat";
    case PixelFormat::Gray8: return "Gray8";
    case PixelFormat::Gray16: return "Gray16";
    case PixelFormat::GrayFloat: return "GrayFloat";
    case PixelFormat::Indexed8: return "Indexed8";
    case PixelFormat::SameAsSource: return "SameAsSource";
  }
  return "?";
}

}  // namespace vt
