#include "ui/controls/combo_box.h"

#include <algorithm>

#include "ui/menu_icons.h"

namespace vt {

namespace {
constexpr uint32_t kSpace = 0x20, kEnd = 0x23, kHome = 0x24, kUp = 0x26, kDown = 0x28, kF4 = 0x73;
}  // namespace

ComboBox::ComboBox(std::vector<std::u16string> entries, int selected) : entries_(std::move(entries)), selected_(-1) {
  SetSelected(selected);
}

void ComboBox::SetEntries(std::vector<std::u16string> entries, int selected) {
  ClosePopup();
  entries_ = std::move(entries);
  selected_ = -1;
  SetSelected(selected);
  Invalidate();
}

void ComboBox::SetSelected(int index, bool notify) {
  index = entries_.empty() || index < 0 ? -1 : std::min(index, static_cast<int>(entries_.size()) - 1);
  if (index == selected_) return;
  selected_ = index;
  Invalidate();
  if (notify) Notify(kNotifySelection);
}

void ComboBox::Paint(Canvas& canvas, const Theme& theme) {
  const ViewRect all{0, 0, Size().width, Size().height};
  canvas.Fill(all, IsEnabled() ? theme.window : theme.face);
  canvas.Frame(all, HasFocus() || OpenPopupMenu() ? theme.focusBorder : theme.border);
  const int32_t arrow = all.Height();
  const uint32_t colour = IsEnabled() ? theme.text : theme.disabledText;
  if (selected_ >= 0) {
    ViewRect text{theme.Px(4), 1, all.right - arrow, all.bottom - 1};
    if (HasFocus()) {
      canvas.Fill({2, 2, all.right - arrow, all.bottom - 2}, theme.selection);
      canvas.TextIn(entries_[size_t(selected_)], text, theme.selectionText, theme.font);
    } else {
      canvas.TextIn(entries_[size_t(selected_)], text, colour, theme.font);
    }
  }
  // The arrow: the submenu arrow turned down.
  const double cx = all.right - arrow / 2.0, cy = all.Height() / 2.0, h = std::max(arrow / 4.0, 3.0);
  canvas.Triangle(cx - h / 2, cy - h / 4, cx + h / 2, cy - h / 4, cx, cy + h / 4, colour);
}

bool ComboBox::OnKey(uint32_t virtualKey, bool down, uint8_t modifiers) {
  if (PopupMenu* open = OpenPopupMenu()) return open->PopupKey(virtualKey, down, modifiers);
  const bool alt = modifiers & kModifierAlt;
  const bool opens = virtualKey == kF4 || virtualKey == kSpace || (alt && (virtualKey == kDown || virtualKey == kUp));
  if (opens) {
    if (down) OpenPopup(true);
    return true;
  }
  if (modifiers & (kModifierCtrl | kModifierAlt)) return false;
  int target;
  switch (virtualKey) {
    case kUp: target = std::max(selected_ - 1, 0); break;
    case kDown: target = selected_ + 1; break;
    case kHome: target = 0; break;
    case kEnd: target = static_cast<int>(entries_.size()) - 1; break;
    default: return false;
  }
  if (down && !entries_.empty()) SetSelected(target, true);
  return true;
}

void ComboBox::OnMouseDown(int button, ViewPoint, uint8_t) {
  if (button != 0) return;
  if (OpenPopupMenu())
    ClosePopup();
  else
    OpenPopup(false);
}

void ComboBox::BuildPopup(MenuModel& model) {
  for (size_t i = 0; i < entries_.size(); ++i) {
    MenuEntry& e = model.AddItem(Id(), entries_[i]);
    e.code = static_cast<uint16_t>(i);
    e.checked = static_cast<int>(i) == selected_;
  }
}

void ComboBox::OnPopupChoice(uint16_t code) { SetSelected(code, true); }

}  // namespace vt
