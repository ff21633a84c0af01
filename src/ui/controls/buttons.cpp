#include "ui/controls/buttons.h"

#include <algorithm>

#include "ui/container.h"
#include "ui/menu_icons.h"

namespace vt {

namespace {
constexpr uint32_t kEnter = 0x0D, kSpace = 0x20;
}  // namespace

void Label::SetText(std::u16string text) {
  if (text == text_) return;
  text_ = std::move(text);
  Invalidate();
}

void Label::Paint(Canvas& canvas, const Theme& theme) {
  canvas.TextIn(text_, {0, 0, Size().width, Size().height}, IsEnabled() ? theme.text : theme.disabledText,
                theme.font, align_);
}

// ---- PushButton ---------------------------------------------------------------

void PushButton::SetText(std::u16string text) {
  text_ = std::move(text);
  Invalidate();
}

void PushButton::SetDefault(bool on) {
  default_ = on;
  Invalidate();
}

void PushButton::Click() {
  if (IsEnabled()) Activate();
}

void PushButton::Paint(Canvas& canvas, const Theme& theme) {
  const ViewRect all{0, 0, Size().width, Size().height};
  const uint32_t top = pressed_ ? 0xD8D8D8 : hover_ ? 0xFBF3E6 : 0xFDFDFD;
  const uint32_t bottom = pressed_ ? 0xE4E4E4 : hover_ ? 0xF2E1C8 : 0xE9E9E9;
  canvas.Gradient(all, IsEnabled() ? top : 0xF4F4F4, IsEnabled() ? bottom : 0xF4F4F4);
  const bool strong = IsEnabled() && (default_ || HasFocus());
  canvas.Frame(all, strong ? theme.focusBorder : theme.border, strong && default_ ? theme.Px(2) : 1);
  PaintFace(canvas, theme, {theme.Px(4), theme.Px(2), all.right - theme.Px(4), all.bottom - theme.Px(2)});
  if (HasFocus()) canvas.Frame({theme.Px(3), theme.Px(3), all.right - theme.Px(3), all.bottom - theme.Px(3)},
                               MixColour(theme.focusBorder, 0xFFFFFF, 160));
}

void PushButton::PaintFace(Canvas& canvas, const Theme& theme, const ViewRect& face) {
  const int32_t shift = pressed_ ? 1 : 0;
  canvas.TextIn(text_, {face.left + shift, face.top + shift, face.right + shift, face.bottom + shift},
                IsEnabled() ? theme.text : theme.disabledText, theme.font, TextAlign::kCentre);
}

bool PushButton::OnKey(uint32_t virtualKey, bool down, uint8_t modifiers) {
  if (modifiers & (kModifierCtrl | kModifierAlt)) return false;
  if (virtualKey == kSpace) {
    // Pushed on the press, acts on the release, as buttons do.
    if (down) {
      pressed_ = true;
    } else if (pressed_) {
      pressed_ = false;
      Click();
    }
    Invalidate();
    return true;
  }
  if (virtualKey == kEnter && down) {
    Click();
    return true;
  }
  return false;
}

void PushButton::OnMouseDown(int button, ViewPoint, uint8_t) {
  if (button != 0) return;
  mouseDown_ = pressed_ = true;
  Invalidate();
}

void PushButton::OnMouseUp(int button, ViewPoint at, uint8_t) {
  if (button != 0 || !mouseDown_) return;
  mouseDown_ = pressed_ = false;
  Invalidate();
  if (Contains({0, 0, Size().width, Size().height}, at)) Click();
}

void PushButton::OnMouseMove(ViewPoint at, bool held) {
  if (!held || !mouseDown_) return;
  const bool inside = Contains({0, 0, Size().width, Size().height}, at);
  if (inside != pressed_) {
    pressed_ = inside;
    Invalidate();
  }
}

void PushButton::OnHover(bool inside) {
  hover_ = inside;
  Invalidate();
}

void PushButton::OnFocus(bool focused) {
  if (!focused) pressed_ = mouseDown_ = false;
}

// ---- CheckBox -----------------------------------------------------------------

void CheckBox::SetChecked(bool checked) {
  if (checked == checked_) return;
  checked_ = checked;
  Invalidate();
}

void CheckBox::Toggle() {
  SetChecked(!checked_);
  Notify(kNotifyClicked);
}

void CheckBox::Paint(Canvas& canvas, const Theme& theme) {
  const int32_t box = theme.Px(13);
  const int32_t top = (Size().height - box) / 2;
  const ViewRect r{0, top, box, top + box};
  canvas.Fill(r, IsEnabled() ? theme.window : theme.face);
  canvas.Frame(r, HasFocus() ? theme.focusBorder : theme.border);
  if (checked_) DrawMenuIcon(canvas, MenuIcon::kChecked, r, theme.text, IsEnabled() ? theme.accent : theme.disabledText);
  canvas.TextIn(text_, {box + theme.Px(6), 0, Size().width, Size().height},
                IsEnabled() ? theme.text : theme.disabledText, theme.font);
}

bool CheckBox::OnKey(uint32_t virtualKey, bool down, uint8_t modifiers) {
  if (virtualKey != kSpace || (modifiers & (kModifierCtrl | kModifierAlt))) return false;
  if (!down) Toggle();
  return true;
}

void CheckBox::OnMouseUp(int button, ViewPoint at, uint8_t) {
  if (button == 0 && Contains({0, 0, Size().width, Size().height}, at)) Toggle();
}

// ---- ColourButton ------------------------------------------------------------

std::array<uint32_t, 16>& SharedCustomColours() {
  // The chooser's starting table, as blue, green, red words.
  static std::array<uint32_t, 16> colours = {0xE0E0E0, 0xA0A0A0, 0xA00000, 0x00A000, 0x0000A0, 0xA0A000,
                                             0xA000A0, 0x00A0A0, 0x606060, 0x404040, 0xFF8080, 0x80FF80,
                                             0x8080FF, 0xFFFF80, 0xFF80FF, 0x80FFFF};
  return colours;
}

void ColourButton::SetColour(uint32_t colour) {
  colour_ = colour & 0xFFFFFF;
  Invalidate();
}

void ColourButton::Activate() {
  Container* parent = Parent();
  const auto chosen =
      CurrentPlatform().ChooseColour(parent ? parent->Window() : nullptr, colour_, SharedCustomColours());
  if (!chosen || (*chosen & 0xFFFFFF) == colour_) return;
  SetColour(*chosen);
  Notify(kNotifyChanged);
}

void ColourButton::PaintFace(Canvas& canvas, const Theme& theme, const ViewRect& face) {
  const ViewRect swatch{face.left + theme.Px(2), face.top + theme.Px(2), face.right - theme.Px(2),
                        face.bottom - theme.Px(2)};
  canvas.Fill(swatch, IsEnabled() ? colour_ : MixColour(colour_, theme.face, 160));
  canvas.Frame(swatch, theme.border);
}

}  // namespace vt
