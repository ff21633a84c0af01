#include "ui/key_bindings.h"

#include <array>

namespace vt {

namespace {

constexpr KeyBinding kViewerBindings[] = {
    {0, 0x4F, 20000}, {0, 0x4E, 20005}, {0, 0x22, 20001}, {0, 0x20, 20001}, {2, 0x22, 20006},
    {2, 0x20, 20006}, {0, 0x21, 20002}, {0, 0x08, 20002}, {2, 0x21, 20007}, {2, 0x08, 20007},
    {0, 0x23, 20004}, {0, 0x24, 20003}, {2, 0x46, 20033}, {0, 0x41, 20035}, {0, 0x46, 20036},
    {0, 0x42, 20060}, {0, 0x52, 20013}, {0, 0x55, 20061}, {0, 0x53, 20051}, {0, 0x54, 20014},
    {0, 0x57, 20012}, {2, 0x43, 20048}, {2, 0x56, 20049}, {0, 0x49, 20008}, {4, 0x43, 20040},
    {4, 0x4D, 20041}, {4, 0x52, 20039}, {2, 0x58, 20043}, {4, 0x44, 20043}, {1, 0x58, 20045},
    {4, 0x45, 20045}, {4, 0x57, 20011}, {0, 0x26, 20025}, {0, 0x6B, 20025}, {0, 0x28, 20026},
    {0, 0x6D, 20026}, {0, 0x31, 20016}, {0, 0x32, 20017}, {0, 0x33, 20018}, {0, 0x34, 20019},
    {0, 0x35, 20020}, {0, 0x36, 20021}, {0, 0x37, 20022}, {0, 0x38, 20023}, {0, 0x39, 20024},
    {0, 0x30, 20027}, {0, 0x25, 20028}, {0, 0x27, 20030}, {2, 0x27, 20032}, {2, 0x28, 20031},
    {2, 0x2D, 20048}, {1, 0x2D, 20049}, {2, 0x25, 20032}, {4, 0x0D, 20015}, {2, 0x0D, 20056},
    {0, 0x09, 20009}, {1, 0x09, 20010}, {2, 0x26, 20031}, {0, 0x70, 20062}, {0, 0x71, 20039},
    {0, 0x72, 20000}, {0, 0x73, 20005}, {0, 0x74, 20034}, {0, 0x75, 20056}, {0, 0x76, 20035},
    {0, 0x77, 20011}, {0, 0x78, 20012}, {0, 0x79, 20013}, {0, 0x7A, 20015}, {0, 0x7B, 20037},
    {0, 0x1B, 20064}, {4, 0x58, 20064}, {6, 0x58, 20063},
};
static_assert(std::size(kViewerBindings) == 73);

// The commands a frozen window still answers to by key.
constexpr uint16_t kFrozenCommands[] = {20033, 20005, 20000, 20001, 20002,
                                        20003, 20004, 20025, 20026, 20064};

}  // namespace

std::span<const KeyBinding> BuiltInViewerBindings() { return kViewerBindings; }

std::span<const std::array<uint8_t, 4>> BuiltInViewerBindingEntries() {
  static const auto entries = [] {
    std::array<std::array<uint8_t, 4>, std::size(kViewerBindings)> out{};
    for (size_t i = 0; i < out.size(); ++i)
      out[i] = {kViewerBindings[i].modifiers, kViewerBindings[i].virtualKey,
                static_cast<uint8_t>(kViewerBindings[i].command),
                static_cast<uint8_t>(kViewerBindings[i].command >> 8)};
    return out;
  }();
  return entries;
}

std::optional<uint16_t> AcceleratorTable::CommandFor(uint8_t modifiers, uint32_t virtualKey) const {
  for (const KeyBinding& b : bindings_)
    if (b.virtualKey == virtualKey && b.modifiers == (modifiers & 7)) return b.command;
  return std::nullopt;
}

std::optional<KeyBinding> AcceleratorTable::FindBinding(uint16_t command) const {
  for (const KeyBinding& b : bindings_)
    if (b.command == command) return b;
  return std::nullopt;
}

AcceleratorTable BuildFrozenTable(const AcceleratorTable& full) {
  std::vector<KeyBinding> out;
  for (uint16_t command : kFrozenCommands)
    if (auto b = full.FindBinding(command)) out.push_back(*b);
  return AcceleratorTable(std::move(out));
}

std::vector<KeyBinding> BindingsFromBytes(std::span<const std::array<uint8_t, 4>> stored) {
  std::vector<KeyBinding> out;
  out.reserve(stored.size());
  for (const auto& e : stored)
    out.push_back({e[0], e[1], static_cast<uint16_t>(e[2] | e[3] << 8)});
  return out;
}

std::u16string NormalizeKeyName(std::u16string_view name) {
  if (name.starts_with(u"PGDN")) return u"PgDn" + std::u16string(name.substr(4));
  if (name.starts_with(u"PGUP")) return u"PgUp" + std::u16string(name.substr(4));
  std::u16string out(name);
  for (size_t i = 1; i < out.size(); ++i) {
    char16_t& c = out[i];
    if ((c >= u'A' && c <= u'Z') || c == u'\u00C4' || c == u'\u00C5' || c == u'\u00D6') c = static_cast<char16_t>(c + 32);
  }
  return out;
}

std::u16string KeyBindingName(const KeyBinding& binding, bool longNames,
                              const std::function<std::u16string(uint32_t)>& keyName, size_t capacity) {
  // The text must leave room for its terminating NUL.
  const size_t room = capacity > 0 ? capacity - 1 : 0;
  std::u16string text;
  static constexpr std::u16string_view kLong[] = {u"Shift-", u"Ctrl-", u"Alt-"};
  static constexpr std::u16string_view kShort[] = {u"s-", u"c-", u"a-"};
  for (int i = 0; i < 3; ++i) {
    if (!(binding.modifiers & (1 << i))) continue;
    const std::u16string_view prefix = longNames ? kLong[i] : kShort[i];
    if (text.size() + prefix.size() > room) return text;
    text += prefix;
  }
  const uint8_t key = binding.virtualKey;
  std::u16string name = key >= 0x30 && key <= 0x5A ? std::u16string(1, static_cast<char16_t>(key))
                                                   : NormalizeKeyName(keyName ? keyName(key) : std::u16string());
  if (text.size() + name.size() > room) name.resize(room - text.size());
  return text + name;
}

std::u16string CommandKeysName(const AcceleratorTable& table, uint16_t command,
                               const std::function<std::u16string(uint32_t)>& keyName) {
  std::u16string text;
  for (const KeyBinding& b : table.Bindings()) {
    if (b.command != command) continue;
    if (!text.empty()) text += u" \u00B7 ";
    text += KeyBindingName(b, false, keyName);
  }
  return text;
}

}  // namespace vt
