#pragma once
#include <windows.h>

#include <optional>
#include <string_view>

#include "platform/settings_store.h"

namespace vt {

// An open registry key, closed when the object goes. Every operation has a
// wide and a narrow variant; narrow names are UTF-8 and are passed on as wide
// text, so no code page stands between a name and its key.
class RegistryKey {
 public:
  RegistryKey() = default;
  ~RegistryKey();
  RegistryKey(RegistryKey&& o) noexcept;
  RegistryKey& operator=(RegistryKey&& o) noexcept;
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;

  static constexpr REGSAM kRead = KEY_READ;              // 0x20019
  static constexpr REGSAM kAllAccess = KEY_ALL_ACCESS;   // 0xF003F

  // Opens for reading; a missing key gives a closed object.
  static RegistryKey Open(HKEY root, std::wstring_view path);
  static RegistryKey Open(HKEY root, std::string_view path);
  // Opens with all access, creating the key when it is missing.
  static RegistryKey Create(HKEY root, std::wstring_view path);
  static RegistryKey Create(HKEY root, std::string_view path);

  bool IsOpen() const { return key_ != nullptr; }
  HKEY Handle() const { return key_; }

  // Fills `buffer` with `defaultBytes` (zeros without them), then reads the
  // value over it. Returns the bytes read: 0 when the value is missing or does
  // not fit; with no key the buffer keeps the default and `size` is returned.
  size_t ReadInto(std::wstring_view name, void* buffer, size_t size,
                  const void* defaultBytes = nullptr) const;
  size_t ReadInto(std::string_view name, void* buffer, size_t size,
                  const void* defaultBytes = nullptr) const;
  // The whole value with its type; nothing when missing or over `maxSize`.
  std::optional<SettingsValue> Query(std::wstring_view name, size_t maxSize) const;
  bool Write(std::wstring_view name, DWORD type, const void* data, size_t size) const;
  bool Write(std::string_view name, DWORD type, const void* data, size_t size) const;
  bool DeleteValue(std::wstring_view name) const;

 private:
  explicit RegistryKey(HKEY key) : key_(key) {}
  HKEY key_ = nullptr;
};

// Wide text from UTF-16 (the same units on Windows).
std::wstring ToWide(std::u16string_view text);

}  // namespace vt
