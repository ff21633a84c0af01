#include "platform/win32/registry_settings_store.h"

#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

#include "platform/win32/registry_key.h"

namespace vt {

RegistrySettingsStore::RegistrySettingsStore(RegistryLocations locations)
    : locations_(std::move(locations)) {}

std::optional<SettingsValue> RegistrySettingsStore::Read(std::u16string_view name) {
  // A missing key reads as missing values.
  RegistryKey key = RegistryKey::Open(HKEY_CURRENT_USER, ToWide(locations_.settingsKey));
  return key.Query(ToWide(name), kMaxValueSize);
}

bool RegistrySettingsStore::Write(std::u16string_view name, const SettingsValue& value) {
  if (value.bytes.size() > kMaxValueSize) return false;
  RegistryKey key = RegistryKey::Create(HKEY_CURRENT_USER, ToWide(locations_.settingsKey));
  return key.Write(ToWide(name), static_cast<DWORD>(value.type), value.bytes.data(),
                   value.bytes.size());
}

bool RegistrySettingsStore::Delete(std::u16string_view name) {
  RegistryKey key = RegistryKey::Create(HKEY_CURRENT_USER, ToWide(locations_.settingsKey));
  return key.DeleteValue(ToWide(name));
}

bool RegistrySettingsStore::IsInstalled() {
  return RegistryKey::Open(HKEY_LOCAL_MACHINE, ToWide(locations_.appPathsKey)).IsOpen();
}

std::optional<uint32_t> RegistrySettingsStore::NoStrCmpLogicalPolicy() {
  RegistryKey key = RegistryKey::Open(HKEY_CURRENT_USER, ToWide(locations_.policyKey));
  auto v = key.Query(L"NoStrCmpLogical", 4);
  if (!v) return std::nullopt;
  return v->AsU32();
}

std::u16string RegistrySettingsStore::PicturesFolder() {
  PWSTR path = nullptr;
  std::u16string folder;
  if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_Pictures, 0, nullptr, &path)) && path)
    folder.assign(reinterpret_cast<const char16_t*>(path));
  CoTaskMemFree(path);
  return folder;
}

std::unique_ptr<SettingsStore> CreateSystemSettingsStore(const std::u16string&) {
  return std::make_unique<RegistrySettingsStore>();
}

}  // namespace vt
