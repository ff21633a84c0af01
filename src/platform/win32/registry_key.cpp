#include "platform/win32/registry_key.h"

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "base/text.h"

namespace vt {

namespace {

std::wstring Narrow(std::string_view utf8) { return ToWide(Utf8ToUtf16(utf8)); }

}  // namespace

std::wstring ToWide(std::u16string_view text) {
  return std::wstring(reinterpret_cast<const wchar_t*>(text.data()), text.size());
}

RegistryKey::~RegistryKey() {
  if (key_) RegCloseKey(key_);
}

RegistryKey::RegistryKey(RegistryKey&& o) noexcept : key_(std::exchange(o.key_, nullptr)) {}

RegistryKey& RegistryKey::operator=(RegistryKey&& o) noexcept {
  if (this != &o) {
    if (key_) RegCloseKey(key_);
    key_ = std::exchange(o.key_, nullptr);
  }
  return *this;
}

RegistryKey RegistryKey::Open(HKEY root, std::wstring_view path) {
  HKEY key = nullptr;
  const std::wstring p(path);
  if (RegOpenKeyExW(root, p.c_str(), 0, kRead, &key) != ERROR_SUCCESS) return RegistryKey();
  return RegistryKey(key);
}

RegistryKey RegistryKey::Open(HKEY root, std::string_view path) { return Open(root, Narrow(path)); }

RegistryKey RegistryKey::Create(HKEY root, std::wstring_view path) {
  HKEY key = nullptr;
  const std::wstring p(path);
  if (RegCreateKeyExW(root, p.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, kAllAccess, nullptr,
                      &key, nullptr) != ERROR_SUCCESS)
    return RegistryKey();
  return RegistryKey(key);
}

RegistryKey RegistryKey::Create(HKEY root, std::string_view path) {
  return Create(root, Narrow(path));
}

size_t RegistryKey::ReadInto(std::wstring_view name, void* buffer, size_t size,
                             const void* defaultBytes) const {
  if (defaultBytes)
    std::memcpy(buffer, defaultBytes, size);
  else
    std::memset(buffer, 0, size);
  if (!key_) return size;
  const std::wstring n(name);
  DWORD bytes = static_cast<DWORD>(size);
  if (RegQueryValueExW(key_, n.c_str(), nullptr, nullptr, static_cast<BYTE*>(buffer), &bytes) !=
      ERROR_SUCCESS) {
    // A failed read may have scribbled on the buffer: the default comes back.
    if (defaultBytes)
      std::memcpy(buffer, defaultBytes, size);
    else
      std::memset(buffer, 0, size);
    return 0;
  }
  return bytes;
}

size_t RegistryKey::ReadInto(std::string_view name, void* buffer, size_t size,
                             const void* defaultBytes) const {
  return ReadInto(Narrow(name), buffer, size, defaultBytes);
}

std::optional<SettingsValue> RegistryKey::Query(std::wstring_view name, size_t maxSize) const {
  if (!key_) return std::nullopt;
  const std::wstring n(name);
  // The value may change between the size query and the read; retry then.
  for (int attempt = 0; attempt < 4; ++attempt) {
    DWORD type = 0, bytes = 0;
    if (RegQueryValueExW(key_, n.c_str(), nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS ||
        bytes > maxSize)
      return std::nullopt;
    std::vector<uint8_t> data(bytes);
    DWORD got = bytes;
    const LONG r = RegQueryValueExW(key_, n.c_str(), nullptr, &type, data.data(), &got);
    if (r == ERROR_MORE_DATA) continue;
    if (r != ERROR_SUCCESS) return std::nullopt;
    data.resize(got);
    SettingsValue v;
    v.type = static_cast<SettingsValueType>(type);
    v.bytes = std::move(data);
    return v;
  }
  return std::nullopt;
}

bool RegistryKey::Write(std::wstring_view name, DWORD type, const void* data, size_t size) const {
  if (!key_) return false;
  const std::wstring n(name);
  return RegSetValueExW(key_, n.c_str(), 0, type, static_cast<const BYTE*>(data),
                        static_cast<DWORD>(size)) == ERROR_SUCCESS;
}

bool RegistryKey::Write(std::string_view name, DWORD type, const void* data, size_t size) const {
  return Write(Narrow(name), type, data, size);
}

bool RegistryKey::DeleteValue(std::wstring_view name) const {
  if (!key_) return false;
  const std::wstring n(name);
  const LONG r = RegDeleteValueW(key_, n.c_str());
  return r == ERROR_SUCCESS || r == ERROR_FILE_NOT_FOUND;
}

}  // namespace vt
