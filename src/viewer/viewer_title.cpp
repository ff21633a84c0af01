#include "viewer/viewer_title.h"

#include <cmath>
#include <string>

#include "image/image_buffer.h"
#include "render/view_state.h"

namespace vt {

namespace {

void AppendNumber(std::u16string& out, uint64_t n) {
  const std::string digits = std::to_string(n);
  out.append(digits.begin(), digits.end());
}

}  // namespace

std::u16string ZoomText(double zoom) {
  const int64_t z = std::llround(zoom * 1000.0);
  std::u16string out;
  if (z < 0) out.push_back(u'-');
  const uint64_t a = static_cast<uint64_t>(z < 0 ? -z : z);
  AppendNumber(out, a / 1000);
  out.push_back(u'.');
  const uint32_t frac = static_cast<uint32_t>(a % 1000);
  out.push_back(static_cast<char16_t>(u'0' + frac / 100));
  if (a % 100 != 0) out.push_back(static_cast<char16_t>(u'0' + frac / 10 % 10));
  if (a % 10 != 0) out.push_back(static_cast<char16_t>(u'0' + frac % 10));
  out.push_back(u'x');
  return out;
}

std::u16string BuildViewerTitle(const TitleParts& p) {
  std::u16string t;
  if (p.slideshow) {
    t += p.slideshowText;
    t += u" | ";
  }
  if (!p.path.empty()) {
    std::u16string_view name = p.path;
    if (!p.fullPath) {
      const size_t slash = name.find_last_of(u"\\/");
      if (slash != std::u16string_view::npos) name.remove_prefix(slash + 1);
    }
    t += name;
  } else {
    t += p.imageName;
  }
  if (!p.pageText.empty()) {
    t += u" [";
    t += p.pageText;
    t += u"]";
  }
  if (p.showResolution) {
    t += u" | ";
    AppendNumber(t, p.width);
    t += u'\u2022';
    AppendNumber(t, p.height);
    t += u'\u2022';
    t += p.depthText.empty() ? std::u16string_view(u"?") : p.depthText;
    switch (p.sourceFormat) {
      case PixelFormat::Bgra16:
      case PixelFormat::Gray16: t += u" | w"; break;
      case PixelFormat::BgraFloat:
      case PixelFormat::GrayFloat: t += u" | HDR"; break;
      case PixelFormat::Indexed8: t += u" | i"; break;
      default: break;
    }
  }
  if (static_cast<float>(p.zoom) != 1.0f) {
    t += u" | ";
    t += ZoomText(p.zoom);
  }
  t += u" | Vistrel";
  return t;
}

TitleParts TitlePartsOf(ViewState& view) {
  TitleParts p;
  ImageBuffer* current = view.CurrentImage();
  ImageBuffer* source = view.SourceImage();
  if (current) {
    p.width = current->Width();
    p.height = current->Height();
  }
  // The depth text lives with the decoded image; derived layers may lack it.
  for (ImageBuffer* layer : {current, view.ComposedImage(), source, source ? source->First() : nullptr}) {
    if (!layer) continue;
    if (const std::u16string* d = layer->Properties().Get(PropertyId::Dimensions)) {
      p.depthText = *d;
      break;
    }
  }
  if (source) {
    p.sourceFormat = source->Format();
    if (const std::u16string* page = source->Properties().Get(PropertyId::Page)) p.pageText = *page;
    ImageBuffer* named = source->Properties().Has(PropertyId::Title) ? source : source->First();
    if (named)
      if (const std::u16string* title = named->Properties().Get(PropertyId::Title)) p.imageName = *title;
  }
  p.zoom = view.Zoom();
  return p;
}

}  // namespace vt
