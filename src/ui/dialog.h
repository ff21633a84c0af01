#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ui/container.h"
#include "ui/controls/buttons.h"
#include "ui/controls/tab_strip.h"

namespace vt {

// A window of controls run modally: Enter pushes the default button (unless
// the focused control takes it), Escape the cancel button or ends with 0.
class Dialog : public Container {
 public:
  // Makes the window, centred on the owner (or the owner's monitor, or the
  // monitor of the pointer), at the dpi of that monitor; client is at 96 dpi.
  bool CreateDialog(ToolkitWindow* owner, std::u16string_view title, ViewSize client);
  // Shows the dialog and runs until EndDialog or until its window is gone:
  // the result (0 when it was closed). The window is destroyed on the way out.
  int RunModal();
  void EndDialog(int result);
  bool IsRunning() const { return running_; }

  void SetDefaultButton(PushButton* button);
  void SetCancelButton(PushButton* button) { cancel_ = button; }
  PushButton* DefaultButton() const { return default_; }

  bool ContainerKey(uint32_t virtualKey, bool down, uint8_t modifiers) override;
  void OnCloseRequest() override { EndDialog(0); }

 private:
  PlatformWindow* OwnerWindow() const;

  ToolkitWindow* owner_ = nullptr;
  std::weak_ptr<const void> ownerLifetime_;
  PushButton* default_ = nullptr;
  PushButton* cancel_ = nullptr;
  bool running_ = false;
  bool ended_ = false;
  int result_ = 0;
};

// Pages of controls under a tab strip, with the buttons "确定" (apply and
// end with 1), "取消" (end with 0) and "应用" (apply). Ctrl+Tab and
// Ctrl+Page Down go to the next page, Ctrl+Shift+Tab and Ctrl+Page Up to
// the one before. Only the chosen page's controls are shown and take the focus.
class PropertySheet : public Dialog {
 public:
  PropertySheet();
  // Makes the window with room for pages of page size (at 96 dpi) and lays
  // out the tab strip and the buttons.
  bool CreateSheet(ToolkitWindow* owner, std::u16string_view title, ViewSize page);
  size_t AddPage(std::u16string title);
  template <class T, class... Args>
  T& AddToPage(size_t page, ViewRect bounds96, Args&&... args) {
    T& control = Add<T>(std::forward<Args>(args)...);
    Place(control, page, bounds96);
    return control;
  }
  void SelectPage(size_t page);
  size_t CurrentPage() const { return current_; }
  size_t PageCount() const { return tabs_->Tabs().size(); }
  TabStrip& Tabs() { return *tabs_; }
  // Called by "确定" and "应用": the pages' values take effect.
  std::function<void()> onApply;

  bool ContainerKey(uint32_t virtualKey, bool down, uint8_t modifiers) override;
  void OnControlNotify(Control& control, uint16_t code) override;

 private:
  void Place(Control& control, size_t page, ViewRect bounds96);
  void Layout();

  TabStrip* tabs_;
  PushButton* ok_;
  PushButton* cancel_;
  PushButton* apply_;
  std::map<const Control*, size_t> pageOf_;
  std::map<const Control*, ViewRect> bounds96_;
  size_t current_ = 0;
  ViewSize page_;
};

}  // namespace vt
