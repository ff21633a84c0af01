#include "ui/control.h"

#include "ui/container.h"

namespace vt {

void Control::SetBounds(const ViewRect& bounds) {
  if (bounds == bounds_) return;
  bounds_ = bounds;
  Invalidate();
}

void Control::SetVisible(bool visible) {
  if (visible == visible_) return;
  visible_ = visible;
  if (!visible && HasFocus()) parent_->SetFocus(nullptr);
  Invalidate();
}

void Control::SetEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  Invalidate();
}

bool Control::HasFocus() const { return parent_ && parent_->Focused() == this; }

void Control::Invalidate() {
  if (parent_) parent_->Invalidate();
}

void Control::Notify(uint16_t code) {
  if (parent_) parent_->OnControlNotify(*this, code);
}

const Theme& Control::CurrentTheme() const {
  static const Theme kDefault = Theme::ForDpi(96);
  return parent_ ? parent_->CurrentTheme() : kDefault;
}

}  // namespace vt
