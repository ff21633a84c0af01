#include "platform/win32/gdi_text.h"

#include <algorithm>
#include <cstring>

namespace vt {

namespace {

const wchar_t* const kFaces[] = {L"Microsoft YaHei UI", L"Microsoft YaHei", L"SimSun", L"WenQuanYi Micro Hei",
                                 L"Segoe UI", L"Tahoma"};

bool FaceInstalled(HDC dc, const wchar_t* face) {
  LOGFONTW lf{};
  lf.lfCharSet = DEFAULT_CHARSET;
  wcsncpy(lf.lfFaceName, face, LF_FACESIZE - 1);
  bool found = false;
  EnumFontFamiliesExW(
      dc, &lf, [](const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM data) -> int {
        *reinterpret_cast<bool*>(data) = true;
        return 0;
      },
      reinterpret_cast<LPARAM>(&found), 0);
  return found;
}

const wchar_t* Wide(std::u16string_view s) { return reinterpret_cast<const wchar_t*>(s.data()); }

}  // namespace

GdiTextRenderer::GdiTextRenderer() {
  for (const wchar_t* face : kFaces)
    if (FaceInstalled(dc_.Get(), face)) {
      face_ = face;
      break;
    }
  SetBkMode(dc_.Get(), TRANSPARENT);
}

GdiTextRenderer::~GdiTextRenderer() = default;

HFONT GdiTextRenderer::Font(const FontSpec& spec) {
  auto& font = fonts_[{spec.pixelHeight, spec.bold}];
  if (!font.Get()) {
    LOGFONTW lf{};
    lf.lfHeight = -spec.pixelHeight;  // the em, not the cell
    lf.lfWeight = spec.bold ? FW_BOLD : FW_NORMAL;
    lf.lfCharSet = DEFAULT_CHARSET;
    lf.lfQuality = ANTIALIASED_QUALITY;
    wcsncpy(lf.lfFaceName, face_.c_str(), LF_FACESIZE - 1);
    font.Reset(CreateFontIndirectW(&lf));
  }
  return font.Get();
}

ViewSize GdiTextRenderer::Measure(std::u16string_view text, const FontSpec& spec) {
  Selection font(dc_.Get(), Font(spec));
  TEXTMETRICW metrics{};
  GetTextMetricsW(dc_.Get(), &metrics);
  SIZE size{};
  if (!text.empty()) GetTextExtentPoint32W(dc_.Get(), Wide(text), static_cast<int>(text.size()), &size);
  return {size.cx, metrics.tmHeight};
}

void GdiTextRenderer::Draw(PixelSurface& surface, std::u16string_view text, ViewPoint at, uint32_t colour,
                           const FontSpec& spec, const ViewRect& clip) {
  if (text.empty()) return;
  const ViewSize size = Measure(text, spec);
  // Italic overhangs and anti-aliasing reach a little past the advance.
  const int32_t slack = spec.pixelHeight / 4 + 2;
  const ViewRect r = Intersect(Intersect(clip, surface.Bounds()),
                               {at.x - slack, at.y, at.x + size.width + slack, at.y + size.height});
  if (IsEmpty(r)) return;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = r.Width();
  info.bmiHeader.biHeight = -r.Height();
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  GdiObject<HBITMAP> dib(CreateDIBSection(dc_.Get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!dib.Get() || !bits) return;
  auto* pixels = static_cast<uint32_t*>(bits);
  for (int32_t y = 0; y < r.Height(); ++y)
    std::memcpy(pixels + size_t(y) * r.Width(), surface.Row(r.top + y) + r.left, size_t(r.Width()) * 4);
  {
    Selection bitmap(dc_.Get(), dib.Get());
    Selection font(dc_.Get(), Font(spec));
    SetTextColor(dc_.Get(), RGB(colour >> 16 & 0xFF, colour >> 8 & 0xFF, colour & 0xFF));
    TextOutW(dc_.Get(), at.x - r.left, at.y - r.top, Wide(text), static_cast<int>(text.size()));
    GdiFlush();
  }
  for (int32_t y = 0; y < r.Height(); ++y) {
    uint32_t* out = surface.Row(r.top + y) + r.left;
    const uint32_t* in = pixels + size_t(y) * r.Width();
    for (int32_t x = 0; x < r.Width(); ++x) out[x] = in[x] | 0xFF000000u;
  }
}

}  // namespace vt
