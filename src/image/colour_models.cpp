// Placeholder: being written.
#include "image/colour_models.h"
namespace vt {
std::u16string_view ColourModelText(ColourModel model) {
  static constexpr std::u16string_view kTexts[] = {u"RGB", u"L", u"K", u"YCbCr", u"CMYK",
                                                   u"CMYL", u"YCCK", u"XYZ", u"Lab", u"?"};
  uint8_t i = static_cast<uint8_t>(model);
  return kTexts[i < 10 ? i : 9];
}
Status ApplyColourModel(ImageBuffer*, ColourModel, uint32_t) { return status::kGeneralFailure; }
}  // namespace vt
