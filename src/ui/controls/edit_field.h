#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "ui/control.h"

namespace vt {

// A one-line text field with a caret and a selection. Positions count UTF-16
// units and never split a surrogate pair. Keys: Left, Right, Home, End (with
// Shift the selection follows, with Ctrl by words), Backspace and Delete
// (with Ctrl a word), Ctrl+A, and the clipboard keys Ctrl+C, Ctrl+X, Ctrl+V,
// Ctrl+Insert, Shift+Insert and Shift+Delete. Changes notify kNotifyChanged.
class EditField : public Control {
 public:
  explicit EditField(std::u16string text = {}, size_t maxLength = 260);
  const std::u16string& Text() const { return text_; }
  // Replaces the text; the caret goes to its end.
  void SetText(std::u16string text);
  size_t Caret() const { return caret_; }
  size_t SelectionStart() const { return std::min(anchor_, caret_); }
  size_t SelectionEnd() const { return std::max(anchor_, caret_); }
  bool HasSelection() const { return anchor_ != caret_; }
  void Select(size_t anchor, size_t caret);
  void SetReadOnly(bool readOnly) { readOnly_ = readOnly; }
  // The first pixel of the text shown at the left edge.
  int32_t ScrollOffset() const { return scroll_; }

  bool Focusable() const override { return true; }
  void Paint(Canvas& canvas, const Theme& theme) override;
  bool OnKey(uint32_t virtualKey, bool down, uint8_t modifiers) override;
  bool OnChar(char16_t character) override;
  void OnMouseDown(int button, ViewPoint at, uint8_t modifiers) override;
  void OnMouseMove(ViewPoint at, bool held) override;
  void OnMouseUp(int button, ViewPoint at, uint8_t modifiers) override;
  void OnDoubleClick(int button, ViewPoint at) override;
  void OnFocus(bool focused) override;

 private:
  size_t Previous(size_t at, bool word) const;
  size_t Next(size_t at, bool word) const;
  void MoveCaret(size_t to, bool extend);
  // Puts text in place of the selection (cut to the length limit).
  void ReplaceSelection(std::u16string_view text);
  void Copy() const;
  void Paste();
  // The caret position nearest to x (the control's coordinates).
  size_t PositionAt(int32_t x) const;
  int32_t TextWidth(size_t length) const;
  int32_t Padding() const;
  void KeepCaretInView();

  std::u16string text_;
  size_t maxLength_;
  size_t caret_ = 0;
  size_t anchor_ = 0;
  int32_t scroll_ = 0;
  bool readOnly_ = false;
  bool selecting_ = false;
};

}  // namespace vt
