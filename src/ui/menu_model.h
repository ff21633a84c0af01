#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vt {

// The pictures a menu item may carry, by resource number. An item in the
// checked state shows kChecked instead of its own.
enum class MenuIcon : uint16_t {
  kNone = 0,
  kOpen = 3001,
  kNewWindow = 3002,
  kNext = 3003,
  kPrevious = 3004,
  kFirst = 3005,
  kLast = 3006,
  kZoomIn = 3007,
  kZoomOut = 3008,
  kFullScreen = 3009,
  kRestore = 3010,
  kClose = 3011,
  kHelp = 3012,
  kFolder = 3013,
  kReload = 3014,
  kCapture = 3015,
  kFreeze = 3016,
  kOptions = 3017,
  kSlideshow = 3018,
  kCopy = 3019,
  kPaste = 3020,
  kDelete = 3021,
  kRotate = 3022,
  kChecked = 3023,
};

class MenuModel;

// One line of a popup menu: an item or a separator. An item with a submenu
// builder opens that submenu instead of choosing a command.
struct MenuEntry {
  bool separator = false;
  uint16_t command = 0;
  uint16_t code = 0;
  std::u16string text;
  std::u16string accelerator;  // the key text shown at the right
  MenuIcon icon = MenuIcon::kNone;
  bool enabled = true;
  bool checked = false;
  std::function<void(MenuModel&)> submenu;
};

// What a popup menu shows, built each time it opens.
class MenuModel {
 public:
  MenuEntry& AddItem(uint16_t command, std::u16string text, MenuIcon icon = MenuIcon::kNone) {
    MenuEntry e;
    e.command = command;
    e.text = std::move(text);
    e.icon = icon;
    entries_.push_back(std::move(e));
    return entries_.back();
  }
  MenuEntry& AddSubmenu(std::u16string text, std::function<void(MenuModel&)> builder,
                        MenuIcon icon = MenuIcon::kNone) {
    MenuEntry& e = AddItem(0, std::move(text), icon);
    e.submenu = std::move(builder);
    return e;
  }
  // Separators never lead, trail or follow one another.
  void AddSeparator() {
    if (entries_.empty() || entries_.back().separator) return;
    MenuEntry e;
    e.separator = true;
    entries_.push_back(std::move(e));
  }
  void TrimSeparators() {
    while (!entries_.empty() && entries_.back().separator) entries_.pop_back();
  }
  const std::vector<MenuEntry>& Entries() const { return entries_; }
  bool Empty() const { return entries_.empty(); }

 private:
  std::vector<MenuEntry> entries_;
};

}  // namespace vt
