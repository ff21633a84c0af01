#pragma once
#include <string>

#include "platform/settings_store.h"

namespace vt {

// Where the registry store looks; tests point it at keys of their own.
struct RegistryLocations {
  std::u16string settingsKey = std::u16string(kSettingsKeyPath);  // under HKEY_CURRENT_USER
  // Under HKEY_LOCAL_MACHINE: its existence means the copy is installed.
  std::u16string appPathsKey = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Vistrel.exe";
  // Under HKEY_CURRENT_USER.
  std::u16string policyKey = u"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer";
};

class RegistrySettingsStore : public SettingsStore {
 public:
  explicit RegistrySettingsStore(RegistryLocations locations = {});

  std::optional<SettingsValue> Read(std::u16string_view name) override;
  bool Write(std::u16string_view name, const SettingsValue& value) override;
  bool Delete(std::u16string_view name) override;
  bool IsInstalled() override;
  std::optional<uint32_t> NoStrCmpLogicalPolicy() override;
  std::u16string PicturesFolder() override;

 private:
  RegistryLocations locations_;
};

}  // namespace vt
