#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "ui/control.h"

namespace vt {

// A row of tabs, one chosen: Left and Right (or a click) choose the tab
// beside and notify kNotifySelection.
class TabStrip : public Control {
 public:
  explicit TabStrip(std::vector<std::u16string> tabs = {}) : tabs_(std::move(tabs)) {}
  const std::vector<std::u16string>& Tabs() const { return tabs_; }
  size_t AddTab(std::u16string title);
  int Selected() const { return selected_; }
  void SetSelected(int index, bool notify = false);
  // Where tab i lies in the strip.
  ViewRect TabRect(size_t i) const;

  bool Focusable() const override { return true; }
  void Paint(Canvas& canvas, const Theme& theme) override;
  bool OnKey(uint32_t virtualKey, bool down, uint8_t modifiers) override;
  void OnMouseDown(int button, ViewPoint at, uint8_t modifiers) override;

 private:
  std::vector<std::u16string> tabs_;
  int selected_ = 0;
};

}  // namespace vt
