#include "ui/controls/edit_field.h"

#include <algorithm>

namespace vt {

namespace {

constexpr uint32_t kBackspace = 0x08, kEnd = 0x23, kHome = 0x24, kLeft = 0x25, kRight = 0x27, kInsert = 0x2D,
                   kDelete = 0x2E;

bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }
bool IsBlank(char16_t c) { return c == u' ' || c == u'\t' || c == 0x3000; }

}  // namespace

EditField::EditField(std::u16string text, size_t maxLength) : maxLength_(maxLength) { SetText(std::move(text)); }

void EditField::SetText(std::u16string text) {
  if (text.size() > maxLength_) text.resize(maxLength_);
  if (!text.empty() && IsLowSurrogate(text.back()) && text.size() == maxLength_) text.pop_back();
  text_ = std::move(text);
  caret_ = anchor_ = text_.size();
  KeepCaretInView();
  Invalidate();
}

void EditField::Select(size_t anchor, size_t caret) {
  anchor_ = std::min(anchor, text_.size());
  caret_ = std::min(caret, text_.size());
  KeepCaretInView();
  Invalidate();
}

size_t EditField::Previous(size_t at, bool word) const {
  if (at == 0) return 0;
  if (!word) {
    --at;
    if (at > 0 && IsLowSurrogate(text_[at])) --at;
    return at;
  }
  // To the start of the word before: blanks first, then the word.
  while (at > 0 && IsBlank(text_[at - 1])) --at;
  while (at > 0 && !IsBlank(text_[at - 1])) --at;
  return at;
}

size_t EditField::Next(size_t at, bool word) const {
  const size_t n = text_.size();
  if (at >= n) return n;
  if (!word) {
    ++at;
    if (at < n && IsLowSurrogate(text_[at])) ++at;
    return at;
  }
  // To the start of the next word: the rest of this word, then blanks.
  while (at < n && !IsBlank(text_[at])) ++at;
  while (at < n && IsBlank(text_[at])) ++at;
  return at;
}

void EditField::MoveCaret(size_t to, bool extend) {
  caret_ = to;
  if (!extend) anchor_ = to;
  KeepCaretInView();
  Invalidate();
}

void EditField::ReplaceSelection(std::u16string_view text) {
  if (readOnly_) return;
  const size_t start = SelectionStart(), end = SelectionEnd();
  const size_t room = maxLength_ - (text_.size() - (end - start));
  std::u16string_view put = text.substr(0, std::min(text.size(), room));
  if (!put.empty() && put.size() < text.size() && IsLowSurrogate(text[put.size()])) put.remove_suffix(1);
  if (put.empty() && start == end) return;
  text_.replace(start, end - start, put);
  caret_ = anchor_ = start + put.size();
  KeepCaretInView();
  Invalidate();
  Notify(kNotifyChanged);
}

void EditField::Copy() const {
  if (HasSelection())
    CurrentPlatform().SetClipboardText(std::u16string_view(text_).substr(SelectionStart(), SelectionEnd() - SelectionStart()));
}

void EditField::Paste() {
  auto text = CurrentPlatform().ClipboardText();
  if (!text) return;
  // One line: the text ends at its first line break.
  const size_t end = std::min(text->find_first_of(u"\r\n"), text->size());
  ReplaceSelection(std::u16string_view(*text).substr(0, end));
}

bool EditField::OnKey(uint32_t virtualKey, bool down, uint8_t modifiers) {
  const bool shift = modifiers & kModifierShift, ctrl = modifiers & kModifierCtrl;
  if (modifiers & kModifierAlt) return false;
  switch (virtualKey) {
    case kLeft:
    case kRight:
    case kHome:
    case kEnd:
    case kBackspace:
    case kDelete:
    case kInsert:
      break;
    case 'A':
    case 'C':
    case 'X':
    case 'V':
      if (!ctrl || shift) return false;
      break;
    default:
      return false;
  }
  if (!down) return true;
  switch (virtualKey) {
    case kLeft:
      MoveCaret(HasSelection() && !shift && !ctrl ? SelectionStart() : Previous(caret_, ctrl), shift);
      break;
    case kRight:
      MoveCaret(HasSelection() && !shift && !ctrl ? SelectionEnd() : Next(caret_, ctrl), shift);
      break;
    case kHome: MoveCaret(0, shift); break;
    case kEnd: MoveCaret(text_.size(), shift); break;
    case kBackspace:
      if (!HasSelection()) anchor_ = Previous(caret_, ctrl);
      ReplaceSelection({});
      break;
    case kDelete:
      if (shift && !ctrl) {  // cut
        Copy();
        ReplaceSelection({});
        break;
      }
      if (!HasSelection()) anchor_ = Next(caret_, ctrl);
      ReplaceSelection({});
      break;
    case kInsert:
      if (ctrl && !shift) Copy();
      if (shift && !ctrl) Paste();
      break;
    case 'A': Select(0, text_.size()); break;
    case 'C': Copy(); break;
    case 'X':
      Copy();
      ReplaceSelection({});
      break;
    case 'V': Paste(); break;
  }
  return true;
}

bool EditField::OnChar(char16_t character) {
  // Control characters (Backspace, Tab, Enter, Escape and the Ctrl letters)
  // are keys, not text.
  if (character < 0x20 || character == 0x7F) return false;
  ReplaceSelection(std::u16string_view(&character, 1));
  return true;
}

int32_t EditField::Padding() const { return CurrentTheme().Px(4); }

int32_t EditField::TextWidth(size_t length) const {
  if (length == 0) return 0;
  return CurrentPlatform().Text().Measure(std::u16string_view(text_).substr(0, length), CurrentTheme().font).width;
}

size_t EditField::PositionAt(int32_t x) const {
  const int32_t target = x - Padding() + scroll_;
  size_t best = 0;
  int32_t bestDistance = INT32_MAX;
  for (size_t i = 0; i <= text_.size(); i = Next(i, false)) {
    const int32_t d = std::abs(TextWidth(i) - target);
    if (d < bestDistance) {
      bestDistance = d;
      best = i;
    }
    if (i == text_.size()) break;
  }
  return best;
}

void EditField::KeepCaretInView() {
  const int32_t inner = std::max(Size().width - 2 * Padding(), 1);
  const int32_t x = TextWidth(caret_);
  // The caret is a pixel wide: it stays inside.
  if (x - scroll_ > inner - 1) scroll_ = x - inner + 1;
  if (x < scroll_) scroll_ = x;
  // No empty room at the right while the text could fill it.
  scroll_ = std::max(0, std::min(scroll_, TextWidth(text_.size()) - inner + 1));
  scroll_ = std::max(0, std::min(scroll_, x));
}

void EditField::Paint(Canvas& canvas, const Theme& theme) {
  const ViewRect all{0, 0, Size().width, Size().height};
  canvas.Fill(all, IsEnabled() && !readOnly_ ? theme.window : theme.face);
  canvas.Frame(all, HasFocus() ? theme.focusBorder : theme.border);
  const int32_t pad = Padding();
  Canvas inner = canvas.Sub({pad, 1, all.right - pad, all.bottom - 1});
  const int32_t height = all.Height() - 2;
  const ViewSize line = canvas.MeasureText(u"Ag", theme.font);
  const int32_t top = (height - line.height) / 2;
  const uint32_t colour = IsEnabled() ? theme.text : theme.disabledText;
  inner.Text(text_, {-scroll_, top}, colour, theme.font);
  if (HasFocus() && HasSelection()) {
    const int32_t a = TextWidth(SelectionStart()) - scroll_, b = TextWidth(SelectionEnd()) - scroll_;
    Canvas selected = inner.Sub({a, 0, b, height});
    selected.Fill(selected.ClipRect(), theme.selection);
    selected.Text(std::u16string_view(text_).substr(SelectionStart(), SelectionEnd() - SelectionStart()), {0, top},
                  theme.selectionText, theme.font);
  }
  if (HasFocus()) {
    const int32_t x = TextWidth(caret_) - scroll_;
    inner.Fill({x, top, x + std::max(1, theme.Px(1)), top + line.height}, theme.text);
  }
}

void EditField::OnMouseDown(int button, ViewPoint at, uint8_t modifiers) {
  if (button != 0) return;
  selecting_ = true;
  MoveCaret(PositionAt(at.x), (modifiers & kModifierShift) != 0);
}

void EditField::OnMouseMove(ViewPoint at, bool held) {
  if (held && selecting_) MoveCaret(PositionAt(at.x), true);
}

void EditField::OnMouseUp(int button, ViewPoint, uint8_t) {
  if (button == 0) selecting_ = false;
}

void EditField::OnDoubleClick(int button, ViewPoint at) {
  if (button != 0) return;
  const size_t p = PositionAt(at.x);
  size_t start = p, end = p;
  while (start > 0 && !IsBlank(text_[start - 1])) --start;
  while (end < text_.size() && !IsBlank(text_[end])) ++end;
  Select(start, end);
}

void EditField::OnFocus(bool focused) {
  selecting_ = false;
  if (focused) Select(0, text_.size());  // as a dialog's fields are entered by Tab
}

}  // namespace vt
