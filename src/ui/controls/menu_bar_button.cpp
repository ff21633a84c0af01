#include "ui/controls/menu_bar_button.h"

namespace vt {

namespace {
constexpr uint32_t kEnter = 0x0D, kSpace = 0x20, kDown = 0x28;
}  // namespace

void MenuBarButton::Paint(Canvas& canvas, const Theme& theme) {
  const ViewRect all{0, 0, Size().width, Size().height};
  if (OpenPopupMenu() || HasFocus()) canvas.Fill(all, theme.highlight);
  canvas.TextIn(text_, all, IsEnabled() ? theme.text : theme.disabledText, theme.font, TextAlign::kCentre);
}

bool MenuBarButton::OnKey(uint32_t virtualKey, bool down, uint8_t modifiers) {
  if (PopupMenu* open = OpenPopupMenu()) return open->PopupKey(virtualKey, down, modifiers);
  if (virtualKey != kEnter && virtualKey != kSpace && virtualKey != kDown) return false;
  if (down) OpenPopup(true);
  return true;
}

void MenuBarButton::OnMouseDown(int button, ViewPoint, uint8_t) {
  if (button != 0) return;
  if (OpenPopupMenu())
    ClosePopup();
  else
    OpenPopup(false);
}

}  // namespace vt
