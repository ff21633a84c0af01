#pragma once
#include <windows.h>

#include <map>
#include <memory>
#include <string>

#include "platform/text_renderer.h"
#include "platform/win32/gdi_handles.h"

namespace vt {

// Interface text through GDI: each piece is drawn into a small DIB section
// holding a copy of the pixels under it, then copied back (GDI leaves the
// alpha bytes of what it draws at zero; the surface stays opaque). The face
// is the first of the system's Chinese interface fonts that is installed,
// else a Latin one.
class GdiTextRenderer : public TextRenderer {
 public:
  GdiTextRenderer();
  ~GdiTextRenderer() override;
  ViewSize Measure(std::u16string_view text, const FontSpec& font) override;
  void Draw(PixelSurface& surface, std::u16string_view text, ViewPoint at, uint32_t colour, const FontSpec& font,
            const ViewRect& clip) override;

 private:
  HFONT Font(const FontSpec& spec);

  MemoryDc dc_;
  std::wstring face_;
  std::map<std::pair<int32_t, bool>, GdiObject<HFONT>> fonts_;
};

}  // namespace vt
