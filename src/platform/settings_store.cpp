#include "platform/memory_settings_store.h"

namespace vt {

std::optional<SettingsValue> MemorySettingsStore::Read(std::u16string_view name) {
  auto it = values.find(name);
  if (it == values.end() || it->second.bytes.size() > kMaxValueSize) return std::nullopt;
  return it->second;
}

bool MemorySettingsStore::Write(std::u16string_view name, const SettingsValue& value) {
  if (failWrites) return false;
  values.insert_or_assign(std::u16string(name), value);
  log.emplace_back(name);
  return true;
}

bool MemorySettingsStore::Delete(std::u16string_view name) {
  if (failWrites) return false;
  auto it = values.find(name);
  if (it != values.end()) values.erase(it);
  log.emplace_back(name);
  return true;
}

}  // namespace vt
