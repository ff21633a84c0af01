#include "ui/controls/slider.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace vt {

namespace {
constexpr uint32_t kPageUp = 0x21, kPageDown = 0x22, kEnd = 0x23, kHome = 0x24, kLeft = 0x25, kUp = 0x26,
                   kRight = 0x27, kDown = 0x28;
}  // namespace

Slider::Slider(int32_t minimum, int32_t maximum, int32_t value, int32_t pageStep)
    : minimum_(std::min(minimum, maximum)), maximum_(std::max(minimum, maximum)), value_(minimum_),
      pageStep_(pageStep > 0 ? pageStep : std::max<int32_t>(1, (maximum_ - minimum_) / 5)) {
  value_ = std::clamp(value, minimum_, maximum_);
}

void Slider::SetValue(int32_t value, bool notify) {
  value = std::clamp(value, minimum_, maximum_);
  if (value == value_) return;
  value_ = value;
  Invalidate();
  if (notify) Notify(kNotifyChanged);
}

std::u16string Slider::ValueText() const {
  if (valueText_) return valueText_(value_);
  const std::string digits = std::to_string(value_);
  return std::u16string(digits.begin(), digits.end());
}

void Slider::Track(const Theme& theme, int32_t* left, int32_t* right) const {
  // Room for the widest value text at the right.
  TextRenderer& text = CurrentPlatform().Text();
  const std::u16string low = valueText_ ? valueText_(minimum_) : u"-0000";
  const std::u16string high = valueText_ ? valueText_(maximum_) : u"-0000";
  const int32_t textWidth =
      std::max(text.Measure(low, theme.font).width, text.Measure(high, theme.font).width) + theme.Px(8);
  *left = theme.Px(6);
  *right = std::max(*left + 1, Size().width - textWidth - theme.Px(6));
}

int32_t Slider::ValueAt(int32_t x) const {
  int32_t left = 0, right = 0;
  Track(CurrentTheme(), &left, &right);
  const double t = std::clamp(double(x - left) / std::max(right - left, 1), 0.0, 1.0);
  return minimum_ + static_cast<int32_t>(std::lround(t * (maximum_ - minimum_)));
}

void Slider::Paint(Canvas& canvas, const Theme& theme) {
  int32_t left = 0, right = 0;
  Track(theme, &left, &right);
  const int32_t mid = Size().height / 2;
  const int32_t thick = std::max(2, theme.Px(4));
  canvas.Fill({left, mid - thick / 2, right, mid - thick / 2 + thick}, 0xD6D6D6);
  const double t = maximum_ > minimum_ ? double(value_ - minimum_) / (maximum_ - minimum_) : 0;
  const int32_t x = left + static_cast<int32_t>(std::lround(t * (right - left)));
  const uint32_t accent = IsEnabled() ? theme.accent : theme.disabledText;
  canvas.Fill({left, mid - thick / 2, x, mid - thick / 2 + thick}, accent);
  const int32_t r = theme.Px(6);
  canvas.Ellipse({x - r, mid - r, x + r, mid + r}, accent);
  if (HasFocus()) canvas.Ellipse({x - r - theme.Px(2), mid - r - theme.Px(2), x + r + theme.Px(2), mid + r + theme.Px(2)},
                                 theme.focusBorder, 1);
  canvas.TextIn(ValueText(), {right + theme.Px(8), 0, Size().width, Size().height},
                IsEnabled() ? theme.text : theme.disabledText, theme.font, TextAlign::kRight);
}

bool Slider::OnKey(uint32_t virtualKey, bool down, uint8_t modifiers) {
  int32_t target;
  switch (virtualKey) {
    case kLeft:
    case kUp: target = value_ - 1; break;
    case kRight:
    case kDown: target = value_ + 1; break;
    case kPageUp: target = value_ - pageStep_; break;
    case kPageDown: target = value_ + pageStep_; break;
    case kHome: target = minimum_; break;
    case kEnd: target = maximum_; break;
    default: return false;
  }
  if (modifiers & (kModifierCtrl | kModifierAlt)) return false;
  if (down) SetValue(target, true);
  return true;
}

void Slider::OnMouseDown(int button, ViewPoint at, uint8_t) {
  if (button != 0) return;
  dragging_ = true;
  SetValue(ValueAt(at.x), true);
}

void Slider::OnMouseMove(ViewPoint at, bool held) {
  if (held && dragging_) SetValue(ValueAt(at.x), true);
}

void Slider::OnMouseUp(int button, ViewPoint, uint8_t) {
  if (button == 0) dragging_ = false;
}

}  // namespace vt
