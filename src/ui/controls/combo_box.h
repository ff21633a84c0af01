#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "ui/control.h"
#include "ui/popup_menu.h"

namespace vt {

// A drop-down list: shows the chosen entry; Up, Down, Home and End choose
// without opening; Alt+Down, F4, Space and a click open the list below it
// (a drop-down of the control, kind 1) with the chosen entry focused. A new
// choice notifies kNotifySelection. Give it an id: the list's choice comes
// back to the window as the command of that id.
class ComboBox : public Control, public PopupOwner {
 public:
  explicit ComboBox(std::vector<std::u16string> entries = {}, int selected = -1);
  const std::vector<std::u16string>& Entries() const { return entries_; }
  void SetEntries(std::vector<std::u16string> entries, int selected = -1);
  int Selected() const { return selected_; }
  // -1 for none; out of range clamps. Notifies when asked and changed.
  void SetSelected(int index, bool notify = false);

  bool Focusable() const override { return true; }
  void Paint(Canvas& canvas, const Theme& theme) override;
  bool OnKey(uint32_t virtualKey, bool down, uint8_t modifiers) override;
  void OnMouseDown(int button, ViewPoint at, uint8_t modifiers) override;
  void OnPopupChoice(uint16_t code) override;
  void BuildPopup(MenuModel& model) override;
  bool DropsBelow() const override { return true; }
  int InitialFocus() const override { return selected_; }
  Control& OwnerControl() override { return *this; }

 private:
  std::vector<std::u16string> entries_;
  int selected_;
};

}  // namespace vt
