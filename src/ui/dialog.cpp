#include "ui/dialog.h"

#include <algorithm>
#include <cmath>

#include "app/dictionary.h"

namespace vt {

namespace {
constexpr uint32_t kTab = 0x09, kEnter = 0x0D, kEscape = 0x1B, kPageUp = 0x21, kPageDown = 0x22;
}  // namespace

bool Dialog::CreateDialog(ToolkitWindow* owner, std::u16string_view title, ViewSize client) {
  Platform& os = CurrentPlatform();
  ViewRect around;
  MonitorInfo monitor;
  if (owner && owner->Window() && owner->Exists()) {
    around = owner->Window()->WindowRect();
    monitor = owner->Window()->Monitor();
  } else {
    const ViewPoint p = os.CursorPosition();
    monitor = os.MonitorNearest({p.x, p.y, p.x + 1, p.y + 1});
    around = monitor.workArea;
  }
  SetDpi(monitor.dpi);
  const Theme& theme = CurrentTheme();
  const ViewSize size{theme.Px(client.width), theme.Px(client.height)};
  const ViewRect area = monitor.workArea;
  ViewPoint at{around.left + (around.Width() - size.width) / 2, around.top + (around.Height() - size.height) / 2};
  at.x = std::max(std::min(at.x, area.right - size.width), area.left);
  at.y = std::max(std::min(at.y, area.bottom - size.height), area.top);
  WindowCreateParams params;
  params.title = std::u16string(title);
  params.clientTopLeft = at;
  params.clientSize = size;
  params.visible = false;
  params.frame = FrameStyle::kDialog;
  if (owner && owner->Window()) params.owner = owner->Window()->NativeHandle();
  owner_ = owner;
  ownerLifetime_ = owner ? owner->Lifetime() : std::weak_ptr<const void>();
  return CreateToolkitWindow(params);
}

PlatformWindow* Dialog::OwnerWindow() const {
  if (!owner_ || ownerLifetime_.expired() || !owner_->Exists()) return nullptr;
  return owner_->Window();
}

void Dialog::SetDefaultButton(PushButton* button) {
  if (default_) default_->SetDefault(false);
  default_ = button;
  if (default_) default_->SetDefault(true);
}

int Dialog::RunModal() {
  if (!Exists()) return 0;
  ended_ = false;
  result_ = 0;
  running_ = true;
  // The owner takes no input while the dialog runs, as with any modal
  // dialog: a second command there would run inside this one's loop.
  PlatformWindow* owner = OwnerWindow();
  const bool disableOwner = owner && owner->IsEnabled();
  if (disableOwner) owner->SetEnabled(false);
  Window()->Show(ShowState::kNormal, true);
  if (!Focused()) FocusFirst();
  Invalidate();
  CurrentPlatform().RunNestedLoop([this] { return !ended_ && Exists(); });
  running_ = false;
  // Enabled before the dialog goes, so that the activation returns to it.
  if (disableOwner && (owner = OwnerWindow())) owner->SetEnabled(true);
  if (Exists()) Window()->Destroy();
  return result_;
}

void Dialog::EndDialog(int result) {
  result_ = result;
  ended_ = true;
  // Outside a modal run the window simply goes.
  if (!running_ && Exists()) Window()->Destroy();
}

bool Dialog::ContainerKey(uint32_t virtualKey, bool down, uint8_t modifiers) {
  if (down && !(modifiers & (kModifierCtrl | kModifierAlt))) {
    if (virtualKey == kEnter && default_ && default_->IsEnabled() && default_->IsVisible()) {
      default_->Click();
      return true;
    }
    if (virtualKey == kEscape) {
      if (cancel_ && cancel_->IsEnabled())
        cancel_->Click();
      else
        EndDialog(0);
      return true;
    }
  }
  return Container::ContainerKey(virtualKey, down, modifiers);
}

// ---- PropertySheet ------------------------------------------------------------

PropertySheet::PropertySheet() {
  tabs_ = &Add<TabStrip>();
  ok_ = &Add<PushButton>(std::u16string(Translate(u"确定")));
  cancel_ = &Add<PushButton>(std::u16string(Translate(u"取消")));
  apply_ = &Add<PushButton>(std::u16string(Translate(u"应用")));
  SetDefaultButton(ok_);
  SetCancelButton(cancel_);
}

bool PropertySheet::CreateSheet(ToolkitWindow* owner, std::u16string_view title, ViewSize page) {
  page_ = page;
  // Tabs 28 high, 8 of margin around, the buttons' row 23 high under the page.
  if (!CreateDialog(owner, title, {page.width + 16, page.height + 28 + 8 + 23 + 16})) return false;
  Layout();
  return true;
}

void PropertySheet::Layout() {
  const Theme& theme = CurrentTheme();
  const int32_t pageTop = 8 + 28;
  tabs_->SetBounds({theme.Px(8), theme.Px(8), theme.Px(8 + page_.width), theme.Px(pageTop)});
  const int32_t buttonTop = pageTop + page_.height + 8;
  int32_t right = 8 + page_.width;
  for (PushButton* b : {apply_, cancel_, ok_}) {
    b->SetBounds({theme.Px(right - 75), theme.Px(buttonTop), theme.Px(right), theme.Px(buttonTop + 23)});
    right -= 75 + 6;
  }
  for (const auto& [control, r] : bounds96_)
    const_cast<Control*>(control)->SetBounds({theme.Px(8 + r.left), theme.Px(pageTop + 8 + r.top),
                                              theme.Px(8 + r.right), theme.Px(pageTop + 8 + r.bottom)});
}

size_t PropertySheet::AddPage(std::u16string title) {
  const size_t page = tabs_->AddTab(std::move(title));
  if (page == 0) tabs_->SetSelected(0);
  return page;
}

void PropertySheet::Place(Control& control, size_t page, ViewRect bounds96) {
  // The pages' controls come before the buttons when Tab goes round.
  MoveBefore(&control, ok_);
  pageOf_[&control] = page;
  bounds96_[&control] = bounds96;
  control.SetVisible(page == current_);
  Layout();
}

void PropertySheet::SelectPage(size_t page) {
  if (page >= PageCount()) return;
  current_ = page;
  tabs_->SetSelected(static_cast<int>(page));
  for (const auto& [control, p] : pageOf_) const_cast<Control*>(control)->SetVisible(p == page);
  Invalidate();
}

bool PropertySheet::ContainerKey(uint32_t virtualKey, bool down, uint8_t modifiers) {
  const bool ctrl = (modifiers & kModifierCtrl) != 0, shift = (modifiers & kModifierShift) != 0;
  const bool next = ctrl && ((virtualKey == kTab && !shift) || virtualKey == kPageDown);
  const bool previous = ctrl && ((virtualKey == kTab && shift) || virtualKey == kPageUp);
  if ((next || previous) && PageCount() > 0) {
    if (down) SelectPage((current_ + (next ? 1 : PageCount() - 1)) % PageCount());
    return true;
  }
  return Dialog::ContainerKey(virtualKey, down, modifiers);
}

void PropertySheet::OnControlNotify(Control& control, uint16_t code) {
  if (&control == tabs_ && code == kNotifySelection) {
    SelectPage(static_cast<size_t>(tabs_->Selected()));
  } else if (&control == ok_ && code == kNotifyClicked) {
    if (onApply) onApply();
    EndDialog(1);
  } else if (&control == cancel_ && code == kNotifyClicked) {
    EndDialog(0);
  } else if (&control == apply_ && code == kNotifyClicked) {
    if (onApply) onApply();
  }
}

}  // namespace vt
