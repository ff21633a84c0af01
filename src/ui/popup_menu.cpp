#include "ui/popup_menu.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "ui/menu_icons.h"

namespace vt {

namespace {

constexpr uint32_t kEnter = 0x0D, kEscape = 0x1B, kSpace = 0x20, kLeft = 0x25, kRight = 0x27;

std::array<PopupMenu*, kMaxOpenPopups> g_open{};

bool RegisterOpen(PopupMenu* popup) {
  for (PopupMenu*& slot : g_open)
    if (!slot) {
      slot = popup;
      return true;
    }
  return false;
}

void UnregisterOpen(PopupMenu* popup) {
  for (PopupMenu*& slot : g_open)
    if (slot == popup) slot = nullptr;
}

int32_t Round(double v) { return static_cast<int32_t>(std::lround(v)); }

}  // namespace

size_t OpenPopupCount() {
  return static_cast<size_t>(std::count_if(g_open.begin(), g_open.end(), [](PopupMenu* p) { return p; }));
}

PopupMetrics PopupMetrics::ForDpi(uint32_t dpi) {
  PopupMetrics m;
  m.scale = (dpi ? dpi : 96) / 96.0;
  const double s = m.scale;
  m.itemHeight = Round(28 * s);
  m.separatorHeight = Round(6 * s);
  m.textIndent = Round(20 * s);
  m.iconSize = s < 1.5 ? 16 : s < 1.75 ? 20 : s < 2.0 ? 24 : s < 3.0 ? 32 : Round(16 * s);
  m.spacer = Round(3 * s);
  return m;
}

// ---- PopupOwner ---------------------------------------------------------------

PopupOwner::~PopupOwner() = default;

PopupMenu* PopupOwner::OpenPopupMenu() const { return popup_ && popup_->IsOpen() ? popup_.get() : nullptr; }

void PopupOwner::ClosePopup() {
  if (PopupMenu* open = OpenPopupMenu()) open->Close();
}

bool PopupOwner::OpenPopup(bool byKeyboard) {
  if (OpenPopupMenu()) return false;
  Control& control = OwnerControl();
  Container* parent = control.Parent();
  if (!parent || !parent->Window() || !parent->Exists()) return false;
  popup_.reset();  // the one that closed before
  MenuModel model;
  BuildPopup(model);
  model.TrimSeparators();
  const auto* parentPopup = dynamic_cast<const PopupMenu*>(parent);
  const uint32_t dpi = parentPopup ? static_cast<uint32_t>(Round(parentPopup->Metrics().scale * 96))
                                   : parent->Window()->Monitor().dpi;
  popup_ = std::make_unique<PopupMenu>(DropKind(), parent, this, dpi);
  popup_->Build(model);
  const ViewPoint origin = parent->Window()->ClientOrigin();
  const ViewRect r = control.Bounds();
  const ViewRect anchor{origin.x + r.left, origin.y + r.top, origin.x + r.right, origin.y + r.bottom};
  if (!popup_->Open(anchor, byKeyboard, InitialFocus())) {
    popup_.reset();
    return false;
  }
  parent->OnCommand(kPopupHoverNotice, 1);
  return true;
}

// ---- MenuItem ------------------------------------------------------------------

int32_t MenuItem::NaturalWidth(const Theme& theme, const PopupMetrics& m) const {
  TextRenderer& text = CurrentPlatform().Text();
  int32_t w = m.iconSize + m.textIndent + text.Measure(entry_.text, theme.font).width;
  if (!entry_.accelerator.empty()) w += m.textIndent + text.Measure(entry_.accelerator, theme.font).width;
  return w + m.textIndent;
}

void MenuItem::Paint(Canvas& canvas, const Theme& theme) {
  const auto* popup = dynamic_cast<const PopupMenu*>(Parent());
  const PopupMetrics m = popup ? popup->Metrics() : PopupMetrics::ForDpi(96);
  const ViewSize size = Size();
  if (IsEnabled() && (HasFocus() || OpenPopupMenu())) {
    const int32_t inset = theme.Px(2);
    canvas.Fill({inset, 0, size.width - inset, size.height}, theme.highlight);
  }
  const uint32_t colour = IsEnabled() ? theme.text : theme.disabledText;
  const MenuIcon icon = entry_.checked ? MenuIcon::kChecked : entry_.icon;
  const int32_t iconLeft = Round(6 * m.scale);
  const ViewRect iconBox{iconLeft, (size.height - m.iconSize) / 2, iconLeft + m.iconSize,
                         (size.height - m.iconSize) / 2 + m.iconSize};
  DrawMenuIcon(canvas, icon, iconBox, colour, IsEnabled() ? theme.accent : theme.disabledText);
  const int32_t textLeft = m.iconSize + m.textIndent;
  canvas.TextIn(entry_.text, {textLeft, 0, size.width - m.textIndent, size.height}, colour, theme.font);
  if (!entry_.accelerator.empty())
    canvas.TextIn(entry_.accelerator, {textLeft, 0, size.width - m.textIndent, size.height}, colour, theme.font,
                  TextAlign::kRight);
  if (HasSubmenu()) DrawSubmenuArrow(canvas, {size.width - m.textIndent, 0, size.width, size.height}, colour);
}

bool MenuItem::OnKey(uint32_t virtualKey, bool down, uint8_t modifiers) {
  if (PopupMenu* open = OpenPopupMenu()) return open->PopupKey(virtualKey, down, modifiers);
  if (down && (virtualKey == kEnter || virtualKey == kSpace)) {
    Choose(true);
    return true;
  }
  return false;
}

void MenuItem::Choose(bool byKeyboard) {
  if (!IsEnabled()) return;
  if (HasSubmenu()) {
    OpenPopup(byKeyboard);
    return;
  }
  if (auto* popup = dynamic_cast<PopupMenu*>(Parent())) popup->ItemChosen(entry_.command, entry_.code);
}

void MenuItem::OnMouseUp(int button, ViewPoint at, uint8_t) {
  if (button <= 1 && Contains({0, 0, Size().width, Size().height}, at)) Choose(false);
}

void MenuItem::OnHover(bool inside) {
  if (auto* popup = dynamic_cast<PopupMenu*>(Parent()); popup && inside) popup->HoverItem(this);
}

void MenuSeparator::Paint(Canvas& canvas, const Theme& theme) {
  const ViewSize size = Size();
  const int32_t y = size.height / 2;
  canvas.Fill({theme.Px(4), y, size.width - theme.Px(4), y + std::max(1, theme.Px(1))}, theme.menuSeparator);
}

// ---- PopupMenu -----------------------------------------------------------------

PopupMenu::PopupMenu(PopupKind kind, ToolkitWindow* owner, PopupOwner* ownerControl, uint32_t dpi)
    : kind_(kind), owner_(owner), ownerControl_(ownerControl), dpi_(dpi ? dpi : 96),
      metrics_(PopupMetrics::ForDpi(dpi_)) {
  SetDpi(dpi_);
}

PopupMenu::~PopupMenu() {
  // Closed here while this object is whole: its children and the table entry go with it.
  Close();
  UnregisterOpen(this);
}

MenuItem& PopupMenu::AddMenuItem(const MenuEntry& entry) { return Add<MenuItem>(entry); }

void PopupMenu::AddSeparator() { Add<MenuSeparator>(); }

void PopupMenu::Build(const MenuModel& model) {
  for (const MenuEntry& e : model.Entries()) {
    if (e.separator)
      AddSeparator();
    else
      AddMenuItem(e);
  }
}

bool PopupMenu::HasItems() const {
  for (size_t i = 0; i < Count(); ++i)
    if (dynamic_cast<const MenuItem*>(At(i))) return true;
  return false;
}

void PopupMenu::Layout(const ViewRect& anchor) {
  const Theme& theme = CurrentTheme();
  const ViewRect work = CurrentPlatform().MonitorNearest(anchor).workArea;
  // The items' heights and widths, and the popup's height in one column.
  int32_t single = 2 * metrics_.spacer;
  std::vector<int32_t> heights(Count()), widths(Count());
  for (size_t i = 0; i < Count(); ++i) {
    const auto* item = dynamic_cast<const MenuItem*>(At(i));
    heights[i] = item ? metrics_.itemHeight : metrics_.separatorHeight;
    widths[i] = item ? item->NaturalWidth(theme, metrics_) : 0;
    single += heights[i];
  }
  // The window's border lies around the client: one pixel each side.
  constexpr int32_t kBorder = 1;
  ViewPoint at;
  switch (kind_) {
    case PopupKind::kContextMenu: at = {anchor.left, anchor.top}; break;
    case PopupKind::kMenuBarDropDown: at = {anchor.left + 3, anchor.bottom + 5}; break;
    case PopupKind::kControlDropDown:
      at = ownerControl_ && ownerControl_->DropsBelow()
               ? ViewPoint{anchor.left, anchor.bottom}
               : ViewPoint{anchor.right, anchor.top - metrics_.spacer - kBorder};
      break;
  }
  // The bottom of the work area, less 2 pixels, ends every column; a menu
  // that fits in one column is moved up rather than split.
  const int32_t limit = work.bottom - 2;
  if (at.y + single + 2 * kBorder > limit) at.y = std::max(work.top, limit - single - 2 * kBorder);
  const int32_t clientTop = at.y + kBorder;

  std::vector<int32_t> columnOf(Count()), columnWidths;
  int32_t y = metrics_.spacer, height = 0, column = 0, columnWidth = 0;
  std::vector<int32_t> tops(Count());
  for (size_t i = 0; i < Count(); ++i) {
    if (y > metrics_.spacer && clientTop + y + heights[i] > limit) {
      columnWidths.push_back(columnWidth);
      ++column;
      columnWidth = 0;
      y = metrics_.spacer;
    }
    tops[i] = y;
    columnOf[i] = column;
    columnWidth = std::max(columnWidth, widths[i]);
    y += heights[i];
    height = std::max(height, y);
  }
  columnWidths.push_back(columnWidth);
  columns_ = static_cast<int>(columnWidths.size());
  if (kind_ == PopupKind::kControlDropDown && ownerControl_ && ownerControl_->DropsBelow() && columns_ == 1)
    columnWidths[0] = std::max(columnWidths[0], anchor.Width() - 2 * kBorder);
  std::vector<int32_t> lefts(columnWidths.size(), 0);
  for (size_t c = 1; c < columnWidths.size(); ++c) lefts[c] = lefts[c - 1] + columnWidths[c - 1];
  const int32_t width = std::max(lefts.back() + columnWidths.back(), metrics_.itemHeight);
  height += metrics_.spacer;
  for (size_t i = 0; i < Count(); ++i) {
    const size_t c = static_cast<size_t>(columnOf[i]);
    At(i)->SetBounds({lefts[c], tops[i], lefts[c] + columnWidths[c], tops[i] + heights[i]});
  }

  const int32_t outer = width + 2 * kBorder;
  if (at.x + outer > work.right) {
    // Opened beside its owner, it goes to the owner's other side; at a point,
    // it opens leftwards from there.
    const int32_t other = kind_ == PopupKind::kControlDropDown && !(ownerControl_ && ownerControl_->DropsBelow())
                              ? anchor.left - outer
                              : kind_ == PopupKind::kContextMenu ? anchor.left - outer : work.right - outer;
    at.x = other >= work.left ? other : work.right - outer;
  }
  at.x = std::max(at.x, work.left);
  placed_ = {at.x + kBorder, clientTop, at.x + kBorder + width, clientTop + height};
}

bool PopupMenu::Open(const ViewRect& anchor, bool byKeyboard, int focus) {
  if (Exists() || !HasItems()) return false;
  if (!RegisterOpen(this)) return false;
  registered_ = true;
  Layout(anchor);
  WindowCreateParams params;
  params.popup = true;
  params.frame = FrameStyle::kFramelessBorder;
  params.visible = false;
  params.noActivate = true;
  params.topmost = true;
  params.clientTopLeft = {placed_.left, placed_.top};
  params.clientSize = {placed_.Width(), placed_.Height()};
  if (owner_ && owner_->Window()) params.owner = owner_->Window()->NativeHandle();
  if (!CreateToolkitWindow(params)) {
    UnregisterOpen(this);
    registered_ = false;
    return false;
  }
  if (byKeyboard) {
    Control* target = focus >= 0 ? At(static_cast<size_t>(focus)) : nullptr;
    if (!target || !target->CanTakeFocus() || !SetFocus(target)) FocusFirst();
  }
  Window()->Show(ShowState::kNormal, false);
  Window()->Repaint();
  return true;
}

void PopupMenu::Close() {
  for (size_t i = 0; i < Count(); ++i)
    if (auto* item = dynamic_cast<MenuItem*>(At(i))) item->ClosePopup();
  if (Exists()) Window()->Destroy();
}

PopupMenu* PopupMenu::OpenChild() const {
  for (size_t i = 0; i < Count(); ++i)
    if (auto* item = dynamic_cast<const MenuItem*>(At(i)))
      if (PopupMenu* child = item->OpenPopupMenu()) return child;
  return nullptr;
}

void PopupMenu::ItemChosen(uint16_t command, uint16_t code) {
  if (kind_ == PopupKind::kContextMenu) {
    result_ = command;
  } else if (owner_ && owner_->Window() && owner_->Exists()) {
    owner_->Window()->PostCommand(command, code);
  }
  Close();
}

bool PopupMenu::PopupKey(uint32_t virtualKey, bool down, uint8_t modifiers) {
  if (!Exists()) return false;
  EventScope scope(*this);
  // 1. The focused item first (an open submenu hears it through its item).
  if (Control* focused = Focused(); focused && focused->OnKey(virtualKey, down, modifiers)) return true;
  if (!Exists()) return true;
  // 2. Releases go no further.
  if (!down) return true;
  // 3. Escape and Left.
  if (virtualKey == kEscape || virtualKey == kLeft) {
    switch (kind_) {
      case PopupKind::kContextMenu:
        if (virtualKey == kEscape) {
          Close();
          return true;
        }
        break;
      case PopupKind::kControlDropDown:
        Close();
        return true;
      case PopupKind::kMenuBarDropDown:
        closedByKeyboard_ = true;
        Close();
        return virtualKey == kEscape;
    }
  }
  // 4. Right opens the focused item's drop-down.
  if (virtualKey == kRight) {
    if (auto* item = dynamic_cast<MenuItem*>(Focused()); item && item->HasSubmenu()) {
      if (item->IsEnabled()) item->OpenPopup(true);
      return true;
    }
    if (!Focused() && kind_ == PopupKind::kMenuBarDropDown) {
      closedByKeyboard_ = true;
      Close();
      return false;
    }
  }
  // 5. The container's keys.
  return ContainerKey(virtualKey, down, modifiers);
}

void PopupMenu::HoverItem(MenuItem* item) {
  if (!Exists()) return;
  if (item->CanTakeFocus()) SetFocus(item);
  PopupMenu* child = OpenChild();
  const bool wanted = item->HasSubmenu() && item->IsEnabled() && !item->OpenPopupMenu();
  if (wanted || (child && !item->OpenPopupMenu())) Window()->SetTimer(kSubmenuTimer, kSubmenuDelay);
}

void PopupMenu::OnTimer(uint32_t id) {
  if (id != kSubmenuTimer || !Exists()) return;
  Window()->KillTimer(kSubmenuTimer);
  EventScope scope(*this);
  auto* item = dynamic_cast<MenuItem*>(Focused());
  // Another submenu than the item's own goes first.
  for (size_t i = 0; i < Count(); ++i)
    if (auto* other = dynamic_cast<MenuItem*>(At(i)); other && other != item) other->ClosePopup();
  if (item && item->HasSubmenu() && item->IsEnabled()) item->OpenPopup(false);
}

bool PopupMenu::OnMenuKey(uint32_t virtualKey, bool down, uint8_t modifiers) {
  return Exists() && PopupKey(virtualKey, down, modifiers);
}

bool PopupMenu::OnMenuPress(int, ViewPoint screen) {
  for (PopupMenu* p = this; p; p = p->OpenChild()) {
    const ViewRect r = p->placed_;
    if (!Contains({r.left - 1, r.top - 1, r.right + 1, r.bottom + 1}, screen)) continue;
    // On an item the press goes to the popup that shows it.
    if (dynamic_cast<const MenuItem*>(p->ControlAt({screen.x - r.left, screen.y - r.top}))) return false;
    Close();
    return true;
  }
  // Elsewhere: the menu goes, and the press does what it would have done.
  Close();
  return false;
}

bool PopupMenu::OnUnboundKey(uint32_t virtualKey, bool down, uint8_t modifiers) {
  return PopupKey(virtualKey, down, modifiers);
}

void PopupMenu::OnCommand(uint32_t command, intptr_t argument) {
  if (command == kPopupPressedNotice || command == kPopupHoverNotice) {
    Invalidate();  // an item's drop-down opened or closed: its highlight follows
    return;
  }
  ItemChosen(static_cast<uint16_t>(command), static_cast<uint16_t>(argument));
}

void PopupMenu::OnMouseButton(int button, MouseAction action, ViewPoint client, uint8_t modifiers) {
  if (action == MouseAction::kPress && !dynamic_cast<MenuItem*>(ControlAt(client))) {
    Close();  // a press on the popup's own background
    return;
  }
  Container::OnMouseButton(button, action, client, modifiers);
}

void PopupMenu::OnDestroyed() {
  if (registered_) UnregisterOpen(this);
  registered_ = false;
  if (ownerControl_) ownerControl_->lastFocus_ = FocusIndex();
  Container::OnDestroyed();
  if (Container* parent = ownerControl_ ? ownerControl_->OwnerControl().Parent() : nullptr)
    if (parent->Exists()) parent->OnCommand(kPopupHoverNotice, 0);
}

void PopupMenu::PaintBackground(Canvas& canvas) { canvas.Fill(canvas.ClipRect(), CurrentTheme().menuBackground); }

uint16_t RunModalMenu(PopupMenu& menu, bool hook) {
  Platform& os = CurrentPlatform();
  if (!menu.IsOpen()) return menu.Result();
  if (hook) os.BeginMenuCapture(*menu.Window(), menu);
  os.RunNestedLoop([&menu] { return menu.IsOpen(); });
  if (hook) os.EndMenuCapture();
  // A loop that ended without the menu closing (the program is quitting):
  // nothing was chosen.
  if (menu.IsOpen()) menu.Close();
  return menu.Result();
}

}  // namespace vt
