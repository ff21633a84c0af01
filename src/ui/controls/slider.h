#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "ui/control.h"

namespace vt {

// A horizontal slider with its value written beside it. Left and Up step
// down by one line, Right and Down up; Page Up and Page Down by a page;
// Home and End go to the ends; a press on the track jumps there and a drag
// follows the pointer. Every change notifies kNotifyChanged.
class Slider : public Control {
 public:
  Slider(int32_t minimum, int32_t maximum, int32_t value, int32_t pageStep = 0);
  int32_t Value() const { return value_; }
  int32_t Minimum() const { return minimum_; }
  int32_t Maximum() const { return maximum_; }
  // Clamped to the range; notifies only when the value changes.
  void SetValue(int32_t value, bool notify = false);
  // How the value reads beside the track (the number by default).
  void SetValueText(std::function<std::u16string(int32_t)> text) { valueText_ = std::move(text); }
  std::u16string ValueText() const;

  bool Focusable() const override { return true; }
  void Paint(Canvas& canvas, const Theme& theme) override;
  bool OnKey(uint32_t virtualKey, bool down, uint8_t modifiers) override;
  void OnMouseDown(int button, ViewPoint at, uint8_t modifiers) override;
  void OnMouseMove(ViewPoint at, bool held) override;
  void OnMouseUp(int button, ViewPoint at, uint8_t modifiers) override;

 private:
  // The track's extent along x for the current size and theme.
  void Track(const Theme& theme, int32_t* left, int32_t* right) const;
  int32_t ValueAt(int32_t x) const;

  int32_t minimum_, maximum_, value_, pageStep_;
  bool dragging_ = false;
  std::function<std::u16string(int32_t)> valueText_;
};

}  // namespace vt
