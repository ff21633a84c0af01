#pragma once
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// The persistent store behind the settings object: named values under the
// program's key, typed as the Windows registry types them. Implementations: the
// registry (Windows), a file in the user's configuration folder (elsewhere) and
// memory (tests). This header is pure interface: no system headers.

namespace vt {

// The registry's own type numbers, so that a value keeps its meaning everywhere.
enum class SettingsValueType : uint32_t {
  kString = 1,  // UTF-16 little-endian text with a terminating NUL
  kBinary = 3,
  kU32 = 4,     // 32-bit little-endian
};

struct SettingsValue {
  SettingsValueType type = SettingsValueType::kBinary;
  std::vector<uint8_t> bytes;

  static SettingsValue String(std::u16string_view text) {
    SettingsValue v;
    v.type = SettingsValueType::kString;
    v.bytes.reserve((text.size() + 1) * 2);
    for (char16_t c : text) {
      v.bytes.push_back(static_cast<uint8_t>(c));
      v.bytes.push_back(static_cast<uint8_t>(c >> 8));
    }
    v.bytes.push_back(0);
    v.bytes.push_back(0);
    return v;
  }
  static SettingsValue Binary(std::span<const uint8_t> data) {
    SettingsValue v;
    v.type = SettingsValueType::kBinary;
    v.bytes.assign(data.begin(), data.end());
    return v;
  }
  static SettingsValue U32(uint32_t n) {
    SettingsValue v;
    v.type = SettingsValueType::kU32;
    v.bytes = {static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n >> 16),
               static_cast<uint8_t>(n >> 24)};
    return v;
  }

  // The text of a string value, up to its first NUL (stored strings need not
  // carry one, and an odd last byte is ignored); nothing for other types.
  std::optional<std::u16string> AsString() const {
    if (type != SettingsValueType::kString) return std::nullopt;
    std::u16string text;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
      const char16_t c = static_cast<char16_t>(bytes[i] | bytes[i + 1] << 8);
      if (c == 0) break;
      text.push_back(c);
    }
    return text;
  }
  // A 32-bit value, only when it is one.
  std::optional<uint32_t> AsU32() const {
    if (type != SettingsValueType::kU32 || bytes.size() != 4) return std::nullopt;
    return uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 | uint32_t{bytes[2]} << 16 |
           uint32_t{bytes[3]} << 24;
  }
  friend bool operator==(const SettingsValue&, const SettingsValue&) = default;
};

// The key every implementation keeps the program's values under (relative to
// the current user).
inline constexpr std::u16string_view kSettingsKeyPath = u"Software\\Korvanne\\Vistrel";

class SettingsStore {
 public:
  virtual ~SettingsStore() = default;

  // A value of the program's key; nothing when it, the key or the store is
  // missing or unreadable. Values larger than kMaxValueSize read as missing.
  virtual std::optional<SettingsValue> Read(std::u16string_view name) = 0;
  // Creates the key when needed. False when the value could not be stored.
  virtual bool Write(std::u16string_view name, const SettingsValue& value) = 0;
  // True when the value is gone afterwards (also when it never existed).
  virtual bool Delete(std::u16string_view name) = 0;

  // Whether this copy of the program was installed by its install step.
  virtual bool IsInstalled() = 0;
  // The user's "NoStrCmpLogical" policy value, when one is set.
  virtual std::optional<uint32_t> NoStrCmpLogicalPolicy() = 0;
  // The user's pictures folder, where the program looks first when it knows
  // no other folder; empty when there is none.
  virtual std::u16string PicturesFolder() = 0;

  static constexpr size_t kMaxValueSize = size_t{1} << 20;
};

// The store of the system being built for: the registry on Windows, the file
// store elsewhere. `programPath` is the running program's full path (it decides
// whether the copy is installed).
std::unique_ptr<SettingsStore> CreateSystemSettingsStore(const std::u16string& programPath);

}  // namespace vt
