#pragma once
#include <map>
#include <memory>

#include "platform/text_renderer.h"

namespace vt {

// Interface text through Pango on cairo image surfaces laid over the
// toolkit's own pixels. The family is the desktop's sans-serif; fontconfig
// falls back per character, so Chinese texts take a CJK font when one is
// installed.
class PangoTextRenderer : public TextRenderer {
 public:
  PangoTextRenderer();
  ~PangoTextRenderer() override;
  ViewSize Measure(std::u16string_view text, const FontSpec& font) override;
  void Draw(PixelSurface& surface, std::u16string_view text, ViewPoint at, uint32_t colour, const FontSpec& font,
            const ViewRect& clip) override;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace vt
