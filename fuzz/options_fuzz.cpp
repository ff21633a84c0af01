// Every settings value is untrusted: the fuzz input is cut into the options
// block, the recent list, "Keys1" and "Dictionary8", and the settings object
// must load them, save and load again without fault.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <span>

#include "app/settings.h"
#include "base/byte_cursor.h"
#include "platform/settings_store.h"

namespace {

// The in-memory store lives in the platform library; the core needs only this.
class FuzzStore : public vt::SettingsStore {
 public:
  std::optional<vt::SettingsValue> Read(std::u16string_view name) override {
    auto it = values.find(name);
    if (it == values.end()) return std::nullopt;
    return it->second;
  }
  bool Write(std::u16string_view name, const vt::SettingsValue& value) override {
    values.insert_or_assign(std::u16string(name), value);
    return true;
  }
  bool Delete(std::u16string_view name) override {
    auto it = values.find(name);
    if (it != values.end()) values.erase(it);
    return true;
  }
  bool IsInstalled() override { return true; }
  std::optional<uint32_t> NoStrCmpLogicalPolicy() override { return 1; }
  std::u16string PicturesFolder() override { return u"/pictures"; }
  std::map<std::u16string, vt::SettingsValue, std::less<>> values;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  vt::ByteCursor c(data, size);
  FuzzStore store;
  store.values[u"Vistrel-Ver"] = vt::SettingsValue::String(u"9.3");
  // 172 bytes of block, then length-prefixed values.
  auto block = c.Bytes(std::min<size_t>(172, c.Remaining()));
  store.values[u"Options8"] = vt::SettingsValue::Binary(block);
  for (const char16_t* name : {u"RecentList", u"Keys1", u"Dictionary8", u"LastFile"}) {
    const size_t n = std::min<size_t>(c.U16LE(), c.Remaining());
    auto bytes = c.Bytes(n);
    vt::SettingsValue v = vt::SettingsValue::Binary(bytes);
    if (std::u16string_view(name) == u"LastFile") v.type = vt::SettingsValueType::kString;
    store.values[name] = v;
  }
  vt::Settings s(&store, {u"/opt/vistrel/vistrel", {}});
  s.Load();
  if (s.Options().keyBindingCount != s.KeyBindings().size() && s.Options().keyBindingCount != 0)
    std::abort();
  for (size_t i = 0; i < s.RecentFolders().Count(); ++i) s.RecentFolders().Entry(i);
  s.RecentFolders().AddOrRemove(u"/pictures/more", false);
  vt::Translate(u"打开");
  s.SaveDictionary();
  s.SaveKeyBindings();
  s.Save();
  // What was saved loads back to the same options.
  vt::Settings again(&store, {u"/opt/vistrel/vistrel", {}});
  again.Load();
  vt::OptionsBlock a = s.Options(), b = again.Options();
  a.dictionarySize = b.dictionarySize = 0;  // released at save
  if (std::memcmp(&a, &b, sizeof a) != 0) std::abort();
  again.Save();
  return 0;
}
