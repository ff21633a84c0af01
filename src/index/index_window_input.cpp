// The index window's mouse and keyboard.
#include <algorithm>

#include "image/image_cache.h"
#include "index/index_window.h"
#include "viewer/viewer_app.h"

namespace vt {

namespace {
constexpr uint32_t kBack = 0x08, kEnter = 0x0D, kSpace = 0x20, kPageUp = 0x21, kPageDown = 0x22, kEnd = 0x23,
                   kHome = 0x24, kLeft = 0x25, kUp = 0x26, kRight = 0x27, kDown = 0x28, kDelete = 0x2E,
                   kKeyA = 0x41, kApplications = 0x5D, kF10 = 0x79;
}  // namespace

void IndexWindow::OnMouseButton(int button, MouseAction action, ViewPoint client, uint8_t modifiers) {
  PlatformWindow* w = Window();
  if (!w || destroyed_) return;
  if (action == MouseAction::kRelease) {
    if (draggingWindow_ || draggingBar_) {
      draggingWindow_ = draggingBar_ = false;
      w->CaptureMouse(false);
      return;
    }
    IndexItem* item = ItemAt(client);
    if (button == 0 && pressed_ && item == pressed_) {
      pressed_ = nullptr;
      OpenItem(*item);
      return;
    }
    pressed_ = nullptr;
    if (button == 1) ShowContextMenu(false);
    // The back button goes up to the parent folder.
    if (button == 3 && !items_.empty() && items_.front()->Name() == u"..") OpenItem(*items_.front());
    return;
  }

  IndexItem* item = ItemAt(client);
  if (action == MouseAction::kDoubleClick && !item) {
    if (button == 0) ToggleMaximized();
    return;
  }
  if (action == MouseAction::kDoubleClick) return;  // the press before it did the work

  if (button == 0 && Contains(ScrollBarRect(), client)) {
    draggingBar_ = true;
    dragStart_ = client;
    dragScroll_ = scrollY_;
    w->CaptureMouse(true);
    return;
  }
  if ((modifiers & (kModifierShift | kModifierCtrl)) || button == 2) {
    if (item) {
      item->selected = !item->selected;
      focus_ = item;
      Invalidate();
      return;
    }
  } else if (button != 1) {
    for (auto& i : items_) i->selected = false;
  }
  if (item) {
    item->selected = true;
    pressed_ = item;
    focus_ = item;
    // The image will most likely be opened: start reading it now.
    if (item->kind == ItemKind::kImage) app_.Cache().ScheduleLoad(item->path, LoadMode::File, true);
  } else if ((button == 0 || button == 2) && w->State() != ShowState::kMaximized) {
    draggingWindow_ = true;
    dragStart_ = app_.Os().CursorPosition();
    dragWindow_ = w->WindowRect();
    w->CaptureMouse(true);
  }
  Invalidate();
}

void IndexWindow::OnMouseMove(ViewPoint client, uint8_t) {
  PlatformWindow* w = Window();
  if (!w) return;
  if (draggingWindow_) {
    const ViewPoint now = app_.Os().CursorPosition();
    w->PlaceWindow(ViewPoint{dragWindow_.left + now.x - dragStart_.x, dragWindow_.top + now.y - dragStart_.y},
                   {dragWindow_.Width(), dragWindow_.Height()});
  } else if (draggingBar_ && client_.height > 0 && grid_.height > 0) {
    const int64_t moved = int64_t(client.y - dragStart_.y) * grid_.height / client_.height;
    ScrollTo(dragScroll_ + int32_t(moved));
  }
}

void IndexWindow::OnWheel(int delta, ViewPoint, uint8_t) {
  const int32_t row = CellSize(layout_, lineHeight_).height;
  ScrollTo(scrollY_ - int32_t(int64_t(delta) * row / 120));
}

void IndexWindow::EnsureVisible(const IndexItem& item) {
  if (item.cell.top < scrollY_) {
    ScrollTo(item.cell.top - layout_.spacing);
  } else if (item.cell.bottom > scrollY_ + client_.height) {
    ScrollTo(item.cell.bottom - client_.height);
  }
}

void IndexWindow::MoveFocus(int32_t dx, int32_t dy, bool page) {
  std::vector<IndexItem*> shown;
  for (auto& i : items_)
    if (i->visible) shown.push_back(i.get());
  if (shown.empty()) return;
  auto at = std::find(shown.begin(), shown.end(), focus_);
  IndexItem* next = shown.front();
  if (at != shown.end()) {
    const ViewSize cell = CellSize(layout_, lineHeight_);
    const int32_t perRow = std::max(1, grid_.width / std::max(1, cell.width));
    const int32_t rows = page ? std::max(1, client_.height / std::max(1, cell.height)) : 1;
    const int64_t index = int64_t(at - shown.begin()) + dx + int64_t(dy) * perRow * rows;
    next = shown[size_t(std::clamp<int64_t>(index, 0, int64_t(shown.size()) - 1))];
  }
  for (auto& i : items_) i->selected = false;
  next->selected = true;
  focus_ = next;
  EnsureVisible(*next);
  Invalidate();
}

bool IndexWindow::OnUnboundKey(uint32_t key, bool down, uint8_t modifiers) {
  if (!down) return false;
  const bool ctrl = modifiers & kModifierCtrl;
  switch (key) {
    case kLeft: MoveFocus(-1, 0, false); return true;
    case kRight: MoveFocus(1, 0, false); return true;
    case kUp: MoveFocus(0, -1, false); return true;
    case kDown: MoveFocus(0, 1, false); return true;
    case kPageUp: MoveFocus(0, -1, true); return true;
    case kPageDown: MoveFocus(0, 1, true); return true;
    case kHome: MoveFocus(-int32_t(items_.size()), 0, false); return true;
    case kEnd: MoveFocus(int32_t(items_.size()), 0, false); return true;
    case kEnter:
      if (modifiers == 0) OpenSelected();
      return true;
    case kSpace:
      if (focus_) focus_->selected = !focus_->selected;
      Invalidate();
      return true;
    case kBack:
      if (!items_.empty() && items_.front()->Name() == u"..") OpenItem(*items_.front());
      return true;
    case kDelete: Dispatch(kIdxDeleteFiles); return true;
    case kKeyA:
      if (!ctrl) return false;
      for (auto& i : items_) i->selected = i->visible;
      Invalidate();
      return true;
    case kApplications: ShowContextMenu(true); return true;
    case kF10:
      if ((modifiers & 7) != kModifierShift) return false;
      ShowContextMenu(true);
      return true;
    default: return false;
  }
}

}  // namespace vt
