#include "ui/container.h"

#include <algorithm>

namespace vt {

namespace {
constexpr uint32_t kTab = 0x09, kEnd = 0x23, kHome = 0x24, kLeft = 0x25, kUp = 0x26, kRight = 0x27, kDown = 0x28;
}  // namespace

Container::Container() : theme_(Theme::ForDpi(96)) {}

Container::~Container() {
  for (auto& c : controls_) c->parent_ = nullptr;
}

Container::EventScope::~EventScope() {
  if (--c_.eventDepth_ == 0 && c_.dirty_) c_.Invalidate();
}

void Container::Adopt(std::unique_ptr<Control> control) {
  control->parent_ = this;
  controls_.push_back(std::move(control));
  Invalidate();
}

void Container::RemoveAll() {
  focus_ = -1;
  pressed_ = hovered_ = nullptr;
  for (auto& c : controls_) c->parent_ = nullptr;
  controls_.clear();
  Invalidate();
}

void Container::MoveBefore(Control* control, Control* before) {
  const int from = IndexOf(control), to = IndexOf(before);
  if (from < 0 || to < 0 || from == to) return;
  Control* focused = Focused();
  auto moved = std::move(controls_[size_t(from)]);
  controls_.erase(controls_.begin() + from);
  controls_.insert(controls_.begin() + IndexOf(before), std::move(moved));
  focus_ = focused ? IndexOf(focused) : -1;
  Invalidate();
}

void Container::ForgetControl(Control* control) {
  if (pressed_ == control) pressed_ = nullptr;
  if (hovered_ == control) hovered_ = nullptr;
}

int Container::IndexOf(const Control* control) const {
  for (size_t i = 0; i < controls_.size(); ++i)
    if (controls_[i].get() == control) return static_cast<int>(i);
  return -1;
}

bool Container::SetFocus(Control* control) {
  const int index = control ? IndexOf(control) : -1;
  if (control && (index < 0 || !control->CanTakeFocus())) return false;
  if (index == focus_) return true;
  Control* old = Focused();
  focus_ = index;
  if (old) old->OnFocus(false);
  if (control) control->OnFocus(true);
  Invalidate();
  return true;
}

bool Container::FocusNext(bool backwards) {
  const int n = static_cast<int>(controls_.size());
  if (n == 0) return false;
  int i = focus_;
  for (int step = 0; step < n; ++step) {
    i = i < 0 ? (backwards ? n - 1 : 0) : (i + (backwards ? n - 1 : 1)) % n;
    if (controls_[size_t(i)]->CanTakeFocus()) return SetFocus(controls_[size_t(i)].get());
  }
  return false;
}

bool Container::FocusFirst() {
  for (auto& c : controls_)
    if (c->CanTakeFocus()) return SetFocus(c.get());
  return false;
}

bool Container::FocusLast() {
  for (auto it = controls_.rbegin(); it != controls_.rend(); ++it)
    if ((*it)->CanTakeFocus()) return SetFocus(it->get());
  return false;
}

void Container::SetDpi(uint32_t dpi) {
  theme_ = Theme::ForDpi(dpi);
  Invalidate();
}

void Container::Invalidate() {
  if (eventDepth_ > 0) {
    dirty_ = true;
    return;
  }
  dirty_ = false;
  if (!gone_ && Window() && Window()->Exists()) Window()->Repaint();
}

bool Container::HandleKey(uint32_t virtualKey, bool down, uint8_t modifiers) {
  EventScope scope(*this);
  if (Control* focused = Focused(); focused && focused->OnKey(virtualKey, down, modifiers)) return true;
  if (gone_) return true;
  return ContainerKey(virtualKey, down, modifiers);
}

bool Container::ContainerKey(uint32_t virtualKey, bool down, uint8_t modifiers) {
  if (!down) return false;
  switch (virtualKey) {
    case kTab: return FocusNext((modifiers & kModifierShift) != 0);
    case kLeft:
    case kUp: return FocusNext(true);
    case kRight:
    case kDown: return FocusNext(false);
    case kHome: return FocusFirst();
    case kEnd: return FocusLast();
    default: return false;
  }
}

void Container::PaintBackground(Canvas& canvas) { canvas.Fill(canvas.ClipRect(), theme_.face); }

Control* Container::ControlAt(ViewPoint p) const {
  for (auto it = controls_.rbegin(); it != controls_.rend(); ++it)
    if ((*it)->IsVisible() && Contains((*it)->Bounds(), p)) return it->get();
  return nullptr;
}

Control* Container::ControlById(uint16_t id) const {
  for (auto& c : controls_)
    if (c->Id() == id) return c.get();
  return nullptr;
}

void Container::OnCommand(uint32_t command, intptr_t argument) {
  EventScope scope(*this);
  if (Control* c = command ? ControlById(static_cast<uint16_t>(command)) : nullptr)
    c->OnPopupChoice(static_cast<uint16_t>(argument));
}

void Container::OnPaint(PaintTarget& target, const ViewRect&) {
  const ViewSize client = Window()->ClientSize();
  if (client.width <= 0 || client.height <= 0) return;
  if (surface_.width != client.width || surface_.height != client.height)
    surface_.Resize(client.width, client.height, 0xFF000000u);
  Canvas canvas(surface_, CurrentPlatform().Text());
  PaintBackground(canvas);
  for (auto& c : controls_) {
    if (!c->IsVisible() || IsEmpty(c->Bounds())) continue;
    Canvas inner = canvas.Sub(c->Bounds());
    c->Paint(inner, theme_);
  }
  target.DrawSurface(surface_, surface_.Bounds(), {0, 0});
  dirty_ = false;
}

bool Container::OnUnboundKey(uint32_t virtualKey, bool down, uint8_t modifiers) {
  return HandleKey(virtualKey, down, modifiers);
}

void Container::OnChar(char16_t character) {
  EventScope scope(*this);
  if (Control* focused = Focused()) focused->OnChar(character);
}

void Container::OnMouseButton(int button, MouseAction action, ViewPoint client, uint8_t modifiers) {
  EventScope scope(*this);
  Control* target = action == MouseAction::kRelease && pressed_ ? pressed_ : ControlAt(client);
  if (!target || !target->IsEnabled()) {
    if (action == MouseAction::kRelease) pressed_ = nullptr;
    return;
  }
  const ViewPoint at{client.x - target->Bounds().left, client.y - target->Bounds().top};
  switch (action) {
    case MouseAction::kPress:
      if (button == 0 && target->CanTakeFocus()) SetFocus(target);
      pressed_ = target;
      if (Window()) Window()->CaptureMouse(true);
      target->OnMouseDown(button, at, modifiers);
      break;
    case MouseAction::kRelease:
      pressed_ = nullptr;
      if (Window()) Window()->CaptureMouse(false);
      target->OnMouseUp(button, at, modifiers);
      break;
    case MouseAction::kDoubleClick:
      target->OnDoubleClick(button, at);
      break;
  }
}

void Container::OnMouseMove(ViewPoint client, uint8_t) {
  EventScope scope(*this);
  if (pressed_) {
    pressed_->OnMouseMove({client.x - pressed_->Bounds().left, client.y - pressed_->Bounds().top}, true);
    return;
  }
  Control* under = ControlAt(client);
  if (under != hovered_) {
    Control* old = hovered_;
    hovered_ = under;
    if (old) old->OnHover(false);
    if (under && under == hovered_) under->OnHover(true);
  }
  if (under && under == hovered_)
    under->OnMouseMove({client.x - under->Bounds().left, client.y - under->Bounds().top}, false);
}

void Container::OnDpiChanged(uint32_t dpi) { SetDpi(dpi); }

void Container::OnDestroyed() {
  gone_ = true;
  pressed_ = hovered_ = nullptr;
  ToolkitWindow::OnDestroyed();
}

}  // namespace vt
