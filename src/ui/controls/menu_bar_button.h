#pragma once
#include <functional>
#include <string>

#include "ui/control.h"
#include "ui/popup_menu.h"

namespace vt {

// A button of a menu bar: a click, Enter, Space or Down opens its menu 3
// pixels right of its left edge and 5 below its lower edge (a drop-down of
// kind 2, whose choice is posted to the window as a command). Left and Right
// in the menu close it and, not handled there, reach the window's own keys,
// which move on to the neighbouring button.
class MenuBarButton : public Control, public PopupOwner {
 public:
  MenuBarButton(std::u16string text, std::function<void(MenuModel&)> builder)
      : text_(std::move(text)), builder_(std::move(builder)) {}
  const std::u16string& Text() const { return text_; }

  bool Focusable() const override { return true; }
  void Paint(Canvas& canvas, const Theme& theme) override;
  bool OnKey(uint32_t virtualKey, bool down, uint8_t modifiers) override;
  void OnMouseDown(int button, ViewPoint at, uint8_t modifiers) override;
  void BuildPopup(MenuModel& model) override { builder_(model); }
  PopupKind DropKind() const override { return PopupKind::kMenuBarDropDown; }
  Control& OwnerControl() override { return *this; }

 private:
  std::u16string text_;
  std::function<void(MenuModel&)> builder_;
};

}  // namespace vt
