#include "ui/controls/tab_strip.h"

#include <algorithm>

namespace vt {

namespace {
constexpr uint32_t kLeft = 0x25, kRight = 0x27;
}  // namespace

size_t TabStrip::AddTab(std::u16string title) {
  tabs_.push_back(std::move(title));
  Invalidate();
  return tabs_.size() - 1;
}

void TabStrip::SetSelected(int index, bool notify) {
  if (tabs_.empty()) return;
  index = std::clamp(index, 0, static_cast<int>(tabs_.size()) - 1);
  if (index == selected_) return;
  selected_ = index;
  Invalidate();
  if (notify) Notify(kNotifySelection);
}

ViewRect TabStrip::TabRect(size_t i) const {
  const Theme& theme = CurrentTheme();
  TextRenderer& text = CurrentPlatform().Text();
  int32_t x = theme.Px(2);
  for (size_t t = 0; t < tabs_.size(); ++t) {
    const int32_t w = text.Measure(tabs_[t], theme.font).width + theme.Px(20);
    if (t == i) return {x, 0, x + w, Size().height};
    x += w;
  }
  return {};
}

void TabStrip::Paint(Canvas& canvas, const Theme& theme) {
  const int32_t h = Size().height;
  canvas.Fill({0, h - 1, Size().width, h}, theme.border);
  for (size_t i = 0; i < tabs_.size(); ++i) {
    const ViewRect r = TabRect(i);
    const bool chosen = static_cast<int>(i) == selected_;
    const ViewRect face{r.left, chosen ? 0 : theme.Px(2), r.right, chosen ? h : h - 1};
    canvas.Fill(face, chosen ? theme.window : 0xE8E8E8);
    canvas.Fill({face.left, face.top, face.right, face.top + 1}, theme.border);
    canvas.Fill({face.left, face.top, face.left + 1, face.bottom}, theme.border);
    canvas.Fill({face.right - 1, face.top, face.right, face.bottom}, theme.border);
    canvas.TextIn(tabs_[i], face, IsEnabled() ? theme.text : theme.disabledText, theme.font, TextAlign::kCentre);
    if (chosen && HasFocus())
      canvas.Frame({face.left + theme.Px(3), face.top + theme.Px(3), face.right - theme.Px(3), face.bottom - theme.Px(3)},
                   theme.focusBorder);
  }
}

bool TabStrip::OnKey(uint32_t virtualKey, bool down, uint8_t modifiers) {
  if ((virtualKey != kLeft && virtualKey != kRight) || (modifiers & (kModifierCtrl | kModifierAlt))) return false;
  if (down) SetSelected(selected_ + (virtualKey == kRight ? 1 : -1), true);
  return true;
}

void TabStrip::OnMouseDown(int button, ViewPoint at, uint8_t) {
  if (button != 0) return;
  for (size_t i = 0; i < tabs_.size(); ++i)
    if (Contains(TabRect(i), at)) SetSelected(static_cast<int>(i), true);
}

}  // namespace vt
