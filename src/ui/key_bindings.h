#pragma once
#include <cstdint>
#include <array>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vt {

// One key binding as it is stored: modifier bits (1 Shift, 2 Ctrl, 4 Alt), the
// Windows virtual-key code and the command it sends.
struct KeyBinding {
  uint8_t modifiers = 0;
  uint8_t virtualKey = 0;
  uint16_t command = 0;
  friend bool operator==(const KeyBinding&, const KeyBinding&) = default;
};
static_assert(sizeof(KeyBinding) == 4);

// The viewer's built-in bindings, in stored order.
std::span<const KeyBinding> BuiltInViewerBindings();

// The same in their stored four-byte form.
std::span<const std::array<uint8_t, 4>> BuiltInViewerBindingEntries();

// A window's key table: keys to commands, first match wins.
class AcceleratorTable {
 public:
  AcceleratorTable() = default;
  explicit AcceleratorTable(std::vector<KeyBinding> bindings) : bindings_(std::move(bindings)) {}

  std::optional<uint16_t> CommandFor(uint8_t modifiers, uint32_t virtualKey) const;
  // The first binding of command, if any.
  std::optional<KeyBinding> FindBinding(uint16_t command) const;
  std::span<const KeyBinding> Bindings() const { return bindings_; }

 private:
  std::vector<KeyBinding> bindings_;
};

// The restricted table of a frozen window: the first binding of each command
// that still acts while frozen.
AcceleratorTable BuildFrozenTable(const AcceleratorTable& full);

// Bindings from their stored four-byte form.
std::vector<KeyBinding> BindingsFromBytes(std::span<const std::array<uint8_t, 4>> stored);

// A key name as the system gives it, in the form lists and menus show:
// "PGDN" and "PGUP" become "PgDn" and "PgUp"; otherwise every letter after
// the first is lower-cased (Ä, Å and Ö too), so "ESC" reads "Esc".
std::u16string NormalizeKeyName(std::u16string_view systemName);

// The text of a binding: modifier prefixes in the order Shift, Ctrl, Alt
// ("Shift-", "Ctrl-", "Alt-", or with short names "s-", "c-", "a-"), then the
// key: digits and letters as themselves, any other key by keyName (the
// system's name of a virtual key, normalized here). capacity counts the
// characters of a buffer that ends with a NUL: a prefix goes in only while
// room remains, and the text ends where one does not fit.
std::u16string KeyBindingName(const KeyBinding& binding, bool longNames,
                              const std::function<std::u16string(uint32_t)>& keyName,
                              size_t capacity = 64);

// The short names of every key of command, joined by " · ": the shortcut text
// of a menu item.
std::u16string CommandKeysName(const AcceleratorTable& table, uint16_t command,
                               const std::function<std::u16string(uint32_t)>& keyName);

}  // namespace vt
