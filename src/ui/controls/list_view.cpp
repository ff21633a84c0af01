#include "ui/controls/list_view.h"

#include <algorithm>

namespace vt {

namespace {
constexpr uint32_t kEnter = 0x0D, kPageUp = 0x21, kPageDown = 0x22, kEnd = 0x23, kHome = 0x24, kUp = 0x26,
                   kDown = 0x28;
}  // namespace

void ListView::SetRows(std::vector<std::vector<std::u16string>> rows, int selected) {
  rows_ = std::move(rows);
  selected_ = -1;
  top_ = 0;
  SetSelected(selected);
  Invalidate();
}

void ListView::AddRow(std::vector<std::u16string> cells) {
  rows_.push_back(std::move(cells));
  Invalidate();
}

void ListView::RemoveRow(size_t index) {
  if (index >= rows_.size()) return;
  rows_.erase(rows_.begin() + static_cast<ptrdiff_t>(index));
  if (selected_ >= static_cast<int>(rows_.size())) selected_ = static_cast<int>(rows_.size()) - 1;
  top_ = std::min(top_, rows_.empty() ? 0 : rows_.size() - 1);
  Invalidate();
}

void ListView::SetSelected(int index, bool notify) {
  index = rows_.empty() || index < 0 ? -1 : std::min(index, static_cast<int>(rows_.size()) - 1);
  if (index == selected_) return;
  selected_ = index;
  KeepSelectionInView();
  Invalidate();
  if (notify) Notify(kNotifySelection);
}

int32_t ListView::RowHeight() const { return CurrentTheme().font.pixelHeight + CurrentTheme().Px(8); }

size_t ListView::VisibleRows() const {
  const int32_t h = RowHeight();
  return static_cast<size_t>(std::max(1, (Size().height - h - 2) / h));
}

void ListView::KeepSelectionInView() {
  if (selected_ < 0) return;
  const size_t s = static_cast<size_t>(selected_), visible = VisibleRows();
  if (s < top_) top_ = s;
  if (s >= top_ + visible) top_ = s + 1 - visible;
}

int ListView::RowAt(ViewPoint at) const {
  const int32_t h = RowHeight();
  if (at.y < h + 1) return -1;  // the header
  const size_t row = top_ + static_cast<size_t>((at.y - h - 1) / h);
  return row < rows_.size() ? static_cast<int>(row) : -1;
}

void ListView::Paint(Canvas& canvas, const Theme& theme) {
  const ViewRect all{0, 0, Size().width, Size().height};
  const int32_t h = RowHeight(), pad = theme.Px(6);
  canvas.Fill(all, theme.window);
  canvas.Gradient({1, 1, all.right - 1, h + 1}, 0xFFFFFF, 0xF0F0F0);
  canvas.Fill({1, h, all.right - 1, h + 1}, theme.menuSeparator);
  int32_t x = 1;
  for (const Column& c : columns_) {
    const int32_t w = theme.Px(c.width);
    canvas.TextIn(c.title, {x + pad, 1, x + w - pad, h}, theme.text, theme.font, c.align);
    canvas.Fill({x + w - 1, theme.Px(4), x + w, h - theme.Px(4)}, theme.menuSeparator);
    x += w;
  }
  Canvas body = canvas.Sub({1, h + 1, all.right - 1, all.bottom - 1});
  for (size_t r = top_, y = 0; r < rows_.size() && static_cast<int32_t>(y) < all.Height(); ++r, y += h) {
    const int32_t top = static_cast<int32_t>(y);
    const bool selected = static_cast<int>(r) == selected_;
    uint32_t colour = IsEnabled() ? theme.text : theme.disabledText;
    if (selected) {
      body.Fill({0, top, all.right, top + h}, HasFocus() ? theme.selection : theme.highlight);
      if (HasFocus()) colour = theme.selectionText;
    }
    int32_t cx = 0;
    for (size_t c = 0; c < columns_.size(); ++c) {
      const int32_t w = theme.Px(columns_[c].width);
      if (c < rows_[r].size())
        body.TextIn(rows_[r][c], {cx + pad, top, cx + w - pad, top + h}, colour, theme.font, columns_[c].align);
      cx += w;
    }
  }
  canvas.Frame(all, HasFocus() ? theme.focusBorder : theme.border);
}

bool ListView::OnKey(uint32_t virtualKey, bool down, uint8_t modifiers) {
  if (modifiers & (kModifierCtrl | kModifierAlt)) return false;
  const int page = static_cast<int>(VisibleRows());
  const int last = static_cast<int>(rows_.size()) - 1;
  int target;
  switch (virtualKey) {
    case kUp: target = selected_ < 0 ? 0 : selected_ - 1; break;
    case kDown: target = selected_ + 1; break;
    case kPageUp: target = selected_ - page; break;
    case kPageDown: target = selected_ < 0 ? page - 1 : selected_ + page; break;
    case kHome: target = 0; break;
    case kEnd: target = last; break;
    case kEnter:
      if (down && selected_ >= 0) Notify(kNotifyDoubleClicked);
      return selected_ >= 0;
    default: return false;
  }
  if (down && !rows_.empty()) SetSelected(std::clamp(target, 0, last), true);
  return true;
}

void ListView::OnMouseDown(int button, ViewPoint at, uint8_t) {
  if (button != 0) return;
  const int row = RowAt(at);
  if (row >= 0) SetSelected(row, true);
}

void ListView::OnDoubleClick(int button, ViewPoint at) {
  if (button == 0 && RowAt(at) >= 0 && RowAt(at) == selected_) Notify(kNotifyDoubleClicked);
}

}  // namespace vt
