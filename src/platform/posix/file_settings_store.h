#pragma once
#include <string>

#include "platform/settings_store.h"

namespace vt {

// The settings store outside Windows: one file in the user's configuration
// folder holding the program's key path and its values with their names and
// registry types.
//
// File layout (little-endian): "VTSTORE1", CRC-32 of everything after it,
// key path (u32 length in UTF-16 units, UTF-16 text), u32 value count, then per
// value: name (u32 length, UTF-16 text), u32 type, u32 size, the bytes.
//
// Every write replaces the file through a temporary file and a rename, so a
// crash leaves the old or the new store, never half of one. A damaged or
// foreign file reads as no values; before the first write it is moved aside
// to "<name>.damaged" rather than overwritten.
class FileSettingsStore : public SettingsStore {
 public:
  // `configFolder`: the user's configuration folder ($XDG_CONFIG_HOME or
  // ~/.config); the store is "Korvanne/Vistrel.settings" inside it.
  FileSettingsStore(std::string configFolder, std::u16string programPath);

  std::optional<SettingsValue> Read(std::u16string_view name) override;
  bool Write(std::u16string_view name, const SettingsValue& value) override;
  bool Delete(std::u16string_view name) override;
  // Installed means the install step put the marker "Vistrel.installed" beside
  // the program; a copy run from its build folder has none.
  bool IsInstalled() override;
  // No such policy exists here: logical name order applies.
  std::optional<uint32_t> NoStrCmpLogicalPolicy() override { return std::nullopt; }
  // XDG_PICTURES_DIR from user-dirs.dirs, else ~/Pictures when it exists.
  std::u16string PicturesFolder() override;

  const std::string& FilePath() const { return path_; }
  static constexpr const char* kInstalledMarker = "Vistrel.installed";

 private:
  using ValueMap = std::map<std::u16string, SettingsValue, std::less<>>;
  enum class FileState { kMissing, kGood, kUnreadable };
  FileState Load(ValueMap* values) const;
  bool Store(const ValueMap& values);
  bool Modify(std::u16string_view name, const SettingsValue* value);

  std::string configFolder_;
  std::string path_;
  std::u16string programPath_;
};

// $XDG_CONFIG_HOME when it is an absolute path, else $HOME/.config.
std::string UserConfigFolder();

}  // namespace vt
