#pragma once
#include <map>
#include <string>
#include <vector>

#include "platform/settings_store.h"

namespace vt {

// Kept out of settings_store.h so that code of the core, which sees only the
// interface, never refers to this platform-library class.
// The store for tests: values in a map, the environment set by the test, and
// counts of the writes so that a test can tell what a save touched.
class MemorySettingsStore : public SettingsStore {
 public:
  std::optional<SettingsValue> Read(std::u16string_view name) override;
  bool Write(std::u16string_view name, const SettingsValue& value) override;
  bool Delete(std::u16string_view name) override;
  bool IsInstalled() override { return installed; }
  std::optional<uint32_t> NoStrCmpLogicalPolicy() override { return policy; }
  std::u16string PicturesFolder() override { return picturesFolder; }

  std::map<std::u16string, SettingsValue, std::less<>> values;
  bool installed = true;
  std::optional<uint32_t> policy;
  std::u16string picturesFolder;
  bool failWrites = false;  // Write and Delete fail while set
  // Every successful Write or Delete, in order: the value's name.
  std::vector<std::u16string> log;
};

}  // namespace vt
