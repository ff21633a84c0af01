#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "ui/container.h"
#include "ui/menu_model.h"

namespace vt {

// The sizes of a popup menu at a dpi scale (monitor dpi / 96): item height
// 28, separator 6 and text indent 20 at 96 dpi, each scaled and rounded; the
// icon size steps 16, 20, 24, 32 with the scale, then grows with it.
struct PopupMetrics {
  double scale = 1.0;
  int32_t itemHeight = 28;
  int32_t separatorHeight = 6;
  int32_t textIndent = 20;
  int32_t iconSize = 16;
  int32_t spacer = 3;  // the room above the first item and below the last
  static PopupMetrics ForDpi(uint32_t dpi);
};

// 0: a context menu run by the modal loop (the choice is the loop's result);
// 1: the drop-down of a control (a submenu, a list); 2: the drop-down of a
// menu-bar button. Kinds 1 and 2 post the choice to their owner window.
enum class PopupKind : uint8_t { kContextMenu = 0, kControlDropDown = 1, kMenuBarDropDown = 2 };

// The toolkit's own notifications between a control and its drop-down
// (pressed state and hover state); not user commands.
inline constexpr uint16_t kPopupPressedNotice = 29431;
inline constexpr uint16_t kPopupHoverNotice = 29432;

// At most this many popups are open at once.
inline constexpr size_t kMaxOpenPopups = 8;
size_t OpenPopupCount();

class PopupMenu;

// A control that opens a drop-down: a menu item with a submenu, a list's
// drop-down, a menu-bar button.
class PopupOwner {
 public:
  virtual ~PopupOwner();
  // Fills the drop-down each time it opens.
  virtual void BuildPopup(MenuModel& model) = 0;
  virtual PopupKind DropKind() const { return PopupKind::kControlDropDown; }
  // Opens below the control (a list, at least as wide as the control)
  // instead of beside it (a submenu).
  virtual bool DropsBelow() const { return false; }
  // The item focused when the drop-down opens by keyboard: the one focused
  // when it last closed (-1: the first that can take the focus).
  virtual int InitialFocus() const { return lastFocus_; }
  virtual Control& OwnerControl() = 0;

  // Nothing when the drop-down is open already. Otherwise builds, places and
  // shows it (by keyboard: with the focus on the item focused when it last
  // closed, or on the first item that can take it); false when it has nothing
  // to show or no popup can be opened.
  bool OpenPopup(bool byKeyboard);
  void ClosePopup();
  // The open drop-down, or null.
  PopupMenu* OpenPopupMenu() const;

 private:
  friend class PopupMenu;
  std::unique_ptr<PopupMenu> popup_;
  int lastFocus_ = -1;
};

// One line of a popup menu that can be chosen.
class MenuItem : public Control, public PopupOwner {
 public:
  explicit MenuItem(MenuEntry entry) : entry_(std::move(entry)) { SetEnabled(entry_.enabled); }
  const MenuEntry& Entry() const { return entry_; }
  uint16_t Command() const { return entry_.command; }
  bool HasSubmenu() const { return static_cast<bool>(entry_.submenu); }
  // Chooses the item: opens its submenu, or hands its command to the popup.
  void Choose(bool byKeyboard);
  // The width the item asks for.
  int32_t NaturalWidth(const Theme& theme, const PopupMetrics& metrics) const;

  bool Focusable() const override { return true; }
  void Paint(Canvas& canvas, const Theme& theme) override;
  bool OnKey(uint32_t virtualKey, bool down, uint8_t modifiers) override;
  void OnMouseUp(int button, ViewPoint at, uint8_t modifiers) override;
  void OnHover(bool inside) override;
  void BuildPopup(MenuModel& model) override { entry_.submenu(model); }
  Control& OwnerControl() override { return *this; }

 private:
  MenuEntry entry_;
};

class MenuSeparator : public Control {
 public:
  void Paint(Canvas& canvas, const Theme& theme) override;
};

// A popup menu: a borderless topmost window of items stacked in columns.
class PopupMenu : public Container, public MenuCaptureSink {
 public:
  // owner: the window that receives the choice of kinds 1 and 2 (and owns
  // the popup's window); ownerControl: the control that opened it, if any.
  PopupMenu(PopupKind kind, ToolkitWindow* owner, PopupOwner* ownerControl, uint32_t dpi);
  ~PopupMenu() override;

  MenuItem& AddMenuItem(const MenuEntry& entry);
  void AddSeparator();
  void Build(const MenuModel& model);
  bool HasItems() const;

  // Lays the items out against anchor (screen: the point of a context menu,
  // the rectangle of the owning control otherwise) and shows the popup
  // without taking the activation. focus: the item to focus when opened by
  // keyboard (-1: the first that can take it). False when there is nothing to
  // show or the table of open popups is full.
  bool Open(const ViewRect& anchor, bool byKeyboard, int focus = -1);
  void Close();
  bool IsOpen() const { return Exists(); }

  PopupKind Kind() const { return kind_; }
  const PopupMetrics& Metrics() const { return metrics_; }
  // The command chosen in a context menu; 0 for none.
  uint16_t Result() const { return result_; }
  bool ClosedByKeyboard() const { return closedByKeyboard_; }
  int ColumnCount() const { return columns_; }
  // Where the popup's client area lies on the screen.
  ViewRect ScreenClientRect() const { return placed_; }
  // The submenu open from one of the items, or null.
  PopupMenu* OpenChild() const;
  // The item's choice arriving at this popup.
  void ItemChosen(uint16_t command, uint16_t code);
  // The key handler of a popup.
  bool PopupKey(uint32_t virtualKey, bool down, uint8_t modifiers);
  // The pointer rests on an item: it is highlighted, and a submenu opens (or
  // another one closes) after a short wait.
  void HoverItem(MenuItem* item);
  static constexpr uint32_t kSubmenuTimer = 1;
  static constexpr uint32_t kSubmenuDelay = 300;

  // MenuCaptureSink
  bool OnMenuKey(uint32_t virtualKey, bool down, uint8_t modifiers) override;
  bool OnMenuPress(int button, ViewPoint screen) override;

  // Window events
  bool OnUnboundKey(uint32_t virtualKey, bool down, uint8_t modifiers) override;
  void OnCommand(uint32_t command, intptr_t argument) override;
  void OnMouseButton(int button, MouseAction action, ViewPoint client, uint8_t modifiers) override;
  void OnTimer(uint32_t id) override;
  void OnDestroyed() override;
  void PaintBackground(Canvas& canvas) override;

 private:
  // Item bounds in columns and the client rectangle on the screen.
  void Layout(const ViewRect& anchor);

  PopupKind kind_;
  ToolkitWindow* owner_;
  PopupOwner* ownerControl_;
  uint32_t dpi_;
  PopupMetrics metrics_;
  uint16_t result_ = 0;
  bool closedByKeyboard_ = false;
  bool registered_ = false;
  int columns_ = 0;
  ViewRect placed_;
};

// Runs a context menu until it closes: with hook, the thread's keys and
// presses go to it first wherever they are aimed. The command chosen, 0 when
// the menu closed without a choice.
uint16_t RunModalMenu(PopupMenu& menu, bool hook);

}  // namespace vt
