#include "app/settings.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "formats/lzw/lzw.h"
#include "platform/memory_settings_store.h"
#include "support/test_support.h"

namespace vt {
namespace {

#ifdef _WIN32
constexpr char16_t kSep = u'\\';
#else
constexpr char16_t kSep = u'/';
#endif

std::vector<uint8_t> BlockBytes(const OptionsBlock& o) {
  const auto* p = reinterpret_cast<const uint8_t*>(&o);
  return {p, p + sizeof o};
}

size_t Writes(const MemorySettingsStore& s, std::u16string_view name) {
  return static_cast<size_t>(std::count(s.log.begin(), s.log.end(), name));
}

struct Fixture : ::testing::Test {
  MemorySettingsStore store;
  SettingsEnvironment env{u"/opt/vistrel/Vistrel.exe", {}};
  void InstalledBefore() { store.values[u"Vistrel-Ver"] = SettingsValue::String(u"9.3"); }
};

using SettingsTest = Fixture;

TEST(OptionsBlockTest, DefaultsMatchTheStoredLayout) {
  const std::vector<uint8_t> b = BlockBytes(OptionsBlock::Defaults());
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&b[8])), "English - US");
  const std::pair<size_t, uint8_t> expected[] = {
      {89, 1},     {90, 100},   {92, 1},     {95, 1},     {96, 1},    {97, 1},
      {100, 1},    {102, 0x36}, {103, 0x05}, {104, 0x04}, {112, 0x80}, {113, 0x80}, {114, 0x80},
      {116, 1},    {118, 1},    {119, 1},    {123, 1},    {124, 1},   {128, 160},
      {132, 160},  {136, 10},   {140, 1},    {143, 1},    {145, 1},   {148, 0x40},
      {149, 0x40}, {150, 0x40}, {160, 80},   {164, 1},    {165, 1},    {169, 1},   {170, 1}};
  size_t nonZero = 0;
  for (uint8_t v : b) nonZero += v != 0;
  for (auto [offset, value] : expected) EXPECT_EQ(b[offset], value) << "offset " << offset;
  // Nothing else is set: the expected fields plus the 12 letters of the name.
  EXPECT_EQ(nonZero, std::size(expected) + 12);
  const OptionsBlock o = OptionsBlock::Defaults();
  EXPECT_EQ(o.ComputeCrc(), crc32(0, reinterpret_cast<const Bytef*>(b.data()) + 4, 168));
}

TEST_F(SettingsTest, FirstRunOfACopyThatIsNotInstalledLeavesTheStoreUntouched) {
  store.installed = false;
  store.picturesFolder = u"/home/u/Pictures";
  Settings s(&store, env);
  s.Load();
  EXPECT_FALSE(s.IsInstalled());
  EXPECT_FALSE(s.IsFirstRunOfInstalledCopy());
  EXPECT_EQ(BlockBytes(s.Options()).at(76), 1);
  s.Options().autoFit = 0;
  s.RecentFolders().AddOrRemove(u"/data/photos", false);
  s.SetLastFilePath(u"/data/photos/a.jpg");
  s.SetKeyBindings({{1, 2, 3, 4}});
  s.SaveKeyBindings();
  s.SaveDictionary();
  s.Save();
  EXPECT_TRUE(store.values.empty());
  EXPECT_TRUE(store.log.empty());
  Settings again(&store, env);
  again.Load();
  EXPECT_FALSE(again.IsInstalled());  // still a first run
}

TEST_F(SettingsTest, FirstRunOfAnInstalledCopyWritesVersionAndOptions) {
  store.picturesFolder = u"/home/u/Pictures";
  Settings s(&store, env);
  s.Load();
  EXPECT_TRUE(s.IsFirstRunOfInstalledCopy());
  EXPECT_EQ(store.values.at(u"Vistrel-Ver").AsString(), u"9.3");
  EXPECT_EQ(s.RecentFolders().Entry(0), u"/home/u/Pictures");
  EXPECT_EQ(s.LastFilePath(), std::u16string(u"/home/u/Pictures") + kSep);
  s.Save();
  ASSERT_TRUE(store.values.count(u"Options8"));
  OptionsBlock expected = OptionsBlock::Defaults();
  expected.crc = expected.ComputeCrc();
  EXPECT_EQ(store.values.at(u"Options8").bytes, BlockBytes(expected));
  EXPECT_EQ(store.values.at(u"RecentList").bytes.size(), std::string("/home/u/Pictures").size() + 2);
  EXPECT_FALSE(store.values.count(u"LastFile"));

  Settings next(&store, env);
  next.Load();
  EXPECT_FALSE(next.IsFirstRunOfInstalledCopy());
  EXPECT_EQ(Writes(store, u"Vistrel-Ver"), 1u);
}

TEST_F(SettingsTest, UnchangedOptionsAreNotRewritten) {
  InstalledBefore();
  {
    Settings s(&store, env);
    s.Load();
    s.Options().slideshowDelay = 25;
    s.RecentFolders().AddOrRemove(u"/pics", false);
    s.SetLastFilePath(u"/pics/cat.png");
    s.Save();
  }
  EXPECT_EQ(Writes(store, u"Options8"), 1u);
  EXPECT_EQ(store.values.at(u"LastFile").AsString(), u"cat.png");
  store.log.clear();
  {
    Settings s(&store, env);
    s.Load();
    EXPECT_EQ(s.Options().slideshowDelay, 25u);
    EXPECT_EQ(s.LastFilePath(), std::u16string(u"/pics") + kSep + u"cat.png");
    s.Save();
  }
  EXPECT_TRUE(store.log.empty()) << "a load and save without changes writes nothing";
  {
    Settings s(&store, env);
    s.Load();
    s.Options().indexFrozen = 1;
    s.Save();
  }
  EXPECT_EQ(store.log, std::vector<std::u16string>{u"Options8"});
}

// The checkerboard behind transparency is a value of its own beside the
// options block: off by default, a 32-bit 1 when on, written only when it
// changed, left alone by a copy that is not installed.
TEST_F(SettingsTest, CheckerboardIsAValueOfItsOwn) {
  InstalledBefore();
  {
    Settings s(&store, env);
    s.Load();
    EXPECT_FALSE(s.Checkerboard());
    s.SetCheckerboard(true);
    s.Save();
  }
  EXPECT_EQ(store.values.at(u"Checkerboard"), SettingsValue::U32(1));
  store.log.clear();
  {
    Settings s(&store, env);
    s.Load();
    EXPECT_TRUE(s.Checkerboard());
    s.Save();
    EXPECT_TRUE(store.log.empty());
    s.Load();
    s.SetCheckerboard(false);
    s.Save();
  }
  EXPECT_EQ(store.values.at(u"Checkerboard"), SettingsValue::U32(0));
  // Another type or value reads as off.
  for (const SettingsValue& v : {SettingsValue::String(u"1"), SettingsValue::U32(2)}) {
    store.values[u"Checkerboard"] = v;
    Settings s(&store, env);
    s.Load();
    EXPECT_FALSE(s.Checkerboard());
  }
  MemorySettingsStore fresh;
  fresh.installed = false;
  Settings s(&fresh, env);
  s.Load();
  s.SetCheckerboard(true);
  s.Save();
  EXPECT_EQ(fresh.values.count(u"Checkerboard"), 0u);
}

TEST_F(SettingsTest, OldVersionIsUpgradedAndItsOptionsKept) {
  store.values[u"Vistrel-Ver"] = SettingsValue::String(u"9.1");
  OptionsBlock old = OptionsBlock::Defaults();
  old.indexThumbWidth = 200;
  old.notInstalled = 1;  // recomputed, not trusted
  old.clearedAtLoad = 7;
  store.values[u"Options8"] = SettingsValue::Binary(BlockBytes(old));
  store.policy = 1;
  Settings s(&store, env);
  s.Load();
  EXPECT_EQ(store.values.at(u"Vistrel-Ver").AsString(), u"9.3");
  EXPECT_FALSE(s.IsFirstRunOfInstalledCopy());
  EXPECT_EQ(s.Options().indexThumbWidth, 200u);
  EXPECT_EQ(s.Options().notInstalled, 0);
  EXPECT_EQ(s.Options().clearedAtLoad, 0);
  EXPECT_EQ(s.Options().plainNameOrder, 1);
}

TEST_F(SettingsTest, WrongSizesAndTypesLeaveDefaults) {
  InstalledBefore();
  OptionsBlock o = OptionsBlock::Defaults();
  o.autoFit = 0;
  std::vector<uint8_t> longer = BlockBytes(o);
  longer.push_back(0);
  store.values[u"Options8"] = SettingsValue::Binary(longer);
  store.values[u"RecentList"] = SettingsValue::String(u"/not/binary");
  store.values[u"LastFile"] = SettingsValue::U32(5);
  store.policy = 2;
  Settings s(&store, env);
  s.Load();
  EXPECT_EQ(s.Options().autoFit, 1);
  EXPECT_EQ(s.RecentFolders().Count(), 0u);
  EXPECT_EQ(s.Options().plainNameOrder, 0);

  // A block of the right size with values out of range is brought into range,
  // and a language name without its NUL is ended.
  o = OptionsBlock::Defaults();
  o.indexThumbWidth = 0xFFFFFFF0u;
  o.indexThumbHeight = 3;
  o.indexSortOrder = 9;
  std::memset(o.language, 'x', sizeof o.language);
  store.values[u"Options8"] = SettingsValue::Binary(BlockBytes(o));
  Settings t(&store, env);
  t.Load();
  EXPECT_EQ(t.Options().indexThumbHeight, 32u);
  EXPECT_LE(t.Options().indexThumbWidth, 4096u);
  EXPECT_EQ(t.Options().indexSortOrder, 1);
  EXPECT_EQ(t.LanguageName(), std::string(63, 'x'));
}

TEST_F(SettingsTest, KeyBindingsNeedTheCountAndACommand) {
  InstalledBefore();
  OptionsBlock o = OptionsBlock::Defaults();
  o.keyBindingCount = 2;
  store.values[u"Options8"] = SettingsValue::Binary(BlockBytes(o));
  const std::vector<KeyBindingEntry> builtIn = {{0, 0x25, 0x20, 0x4E}, {0, 0x27, 0x21, 0x4E}};
  env.builtInKeyBindings = [&] { return std::span<const KeyBindingEntry>(builtIn); };

  store.values[u"Keys1"] = SettingsValue::Binary(std::vector<uint8_t>{8, 0x41, 1, 0, 0, 0x42, 2, 0});
  {
    Settings s(&store, env);
    s.Load();
    ASSERT_EQ(s.KeyBindings().size(), 2u);
    EXPECT_EQ(s.KeyBindings()[1], (KeyBindingEntry{0, 0x42, 2, 0}));
  }
  for (std::vector<uint8_t> bad : {std::vector<uint8_t>{8, 0x41, 1, 0},              // one entry
                                   std::vector<uint8_t>{8, 0x41, 0, 0, 0, 0x42, 2, 0},  // no command
                                   std::vector<uint8_t>(12, 1)}) {
    store.values[u"Keys1"] = SettingsValue::Binary(bad);
    Settings s(&store, env);
    s.Load();
    EXPECT_EQ(s.Options().keyBindingCount, 0);
    EXPECT_EQ(s.KeyBindings().size(), builtIn.size()) << "the built-in table applies";
  }

  Settings s(&store, env);
  s.Load();
  s.SetKeyBindings({builtIn[1], builtIn[0]});  // the built-in set, reordered
  s.SaveKeyBindings();
  EXPECT_FALSE(store.values.count(u"Keys1"));
  EXPECT_EQ(s.Options().keyBindingCount, 0);
  s.SetKeyBindings(std::vector<KeyBindingEntry>(300, KeyBindingEntry{1, 2, 3, 4}));
  EXPECT_EQ(s.Options().keyBindingCount, 255);
  s.SaveKeyBindings();
  EXPECT_EQ(store.values.at(u"Keys1").bytes.size(), 255u * 4);
}

TEST_F(SettingsTest, DictionaryIsStoredCompressedAndReloaded) {
  InstalledBefore();
  test::TempDir dir;
  std::string utf16 = "\xFF\xFE";
  for (char16_t c : std::u16string(u"打开|Ouvrir\r\n")) utf16 += {char(c & 0xFF), char(c >> 8)};
  dir.Write("Français.language", utf16);
  env.programPath = test::U16(dir.Path()) + kSep + u"Vistrel.exe";
  {
    Settings s(&store, env);
    s.Load();
    s.ChangeLanguage("Français");
    ASSERT_TRUE(s.Dictionary());
    EXPECT_EQ(Translate(u"打开"), u"Ouvrir");
    EXPECT_EQ(s.Options().dictionarySize, s.Dictionary()->SizeInBytes());
    const auto& coded = store.values.at(u"Dictionary8").bytes;
    EXPECT_EQ(coded.at(0), 8);
    s.Save();
    EXPECT_EQ(Translate(u"打开"), u"打开") << "released at exit";
  }
  {
    Settings s(&store, env);
    s.Load();
    EXPECT_EQ(s.LanguageName(), "Français");
    EXPECT_EQ(Translate(u"打开"), u"Ouvrir");
    s.ChangeLanguage("English - US");
    EXPECT_FALSE(s.Dictionary());
    EXPECT_EQ(s.Options().dictionarySize, 0u);
    EXPECT_FALSE(store.values.count(u"Dictionary8"));
    EXPECT_EQ(Translate(u"打开"), u"打开");
  }
}

TEST_F(SettingsTest, DamagedDictionaryIsDropped) {
  InstalledBefore();
  OptionsBlock o = OptionsBlock::Defaults();
  o.dictionarySize = 300;
  store.values[u"Options8"] = SettingsValue::Binary(BlockBytes(o));
  std::vector<uint8_t> garbage = test::RandomBytes(300, 4);
  for (std::vector<uint8_t> stored : {garbage, LzwEncodeBytes(garbage, 8),
                                      std::vector<uint8_t>(700, 0)}) {
    store.values[u"Dictionary8"] = SettingsValue::Binary(stored);
    Settings s(&store, env);
    s.Load();
    EXPECT_FALSE(s.Dictionary());
    EXPECT_EQ(s.Options().dictionarySize, 0u);
    EXPECT_FALSE(ActiveDictionary());
  }
}

TEST_F(SettingsTest, KeepRecentOffClearsTheListAtExit) {
  InstalledBefore();
  Settings s(&store, env);
  s.Load();
  s.RecentFolders().AddOrRemove(u"/a", false);
  s.SetLastFilePath(u"/a/b.gif");
  s.Save();
  ASSERT_TRUE(store.values.count(u"RecentList") && store.values.count(u"LastFile"));
  Settings t(&store, env);
  t.Load();
  t.Options().keepRecent = 0;
  t.Save();
  EXPECT_FALSE(store.values.count(u"RecentList"));
  EXPECT_FALSE(store.values.count(u"LastFile"));
}

TEST(RecentFolders, SeventeenthFolderPushesOutTheOldest) {
  RecentFolderList list;
  for (int i = 0; i < 17; ++i) list.AddOrRemove("/folder" + std::to_string(i), false);
  EXPECT_EQ(list.Count(), 16u);
  EXPECT_EQ(list.EntryUtf8(0), "/folder16");
  EXPECT_EQ(list.EntryUtf8(15), "/folder1");
  EXPECT_TRUE(list.Changed());
}

TEST(RecentFolders, OtherLetterCaseMovesToTheFrontInTheNewCase) {
  RecentFolderList list;
  list.AddOrRemove("C:\\Photos", false);
  list.AddOrRemove("D:\\Other", false);
  list.AddOrRemove("c:\\PHOTOS", false);
  ASSERT_EQ(list.Count(), 2u);
  EXPECT_EQ(list.EntryUtf8(0), "c:\\PHOTOS");
  EXPECT_EQ(list.EntryUtf8(1), "D:\\Other");
  list.SetChanged(false);
  list.AddOrRemove("c:\\PHOTOS", false);  // already first: nothing changes
  EXPECT_FALSE(list.Changed());
  list.AddOrRemove("d:\\other", true);
  EXPECT_EQ(list.Count(), 1u);
  EXPECT_TRUE(list.Changed());
  // Only ASCII letters fold.
  list.AddOrRemove(u"c:\\photos\u00C9", false);
  list.AddOrRemove(u"c:\\photos\u00E9", false);
  EXPECT_EQ(list.Count(), 3u);
  EXPECT_EQ(list.Entry(0), u"c:\\photos\u00E9");
}

TEST(RecentFolders, ByteBudgetAndStoredFormAreKept) {
  RecentFolderList list;
  const std::string big(700, 'a');
  list.AddOrRemove("/" + big, false);
  list.AddOrRemove("/x", false);
  list.AddOrRemove("/" + std::string(400, 'b'), false);  // 702 + 3 + 402 + 1 > 1023
  ASSERT_EQ(list.Count(), 2u);
  EXPECT_EQ(list.EntryUtf8(1), "/x");
  EXPECT_LE(list.UsedBytes().size(), 1023u);
  list.AddOrRemove(std::string(800, 'c'), false);  // too long: ignored
  EXPECT_EQ(list.Count(), 2u);

  // Stored bytes round-trip; a 17th entry and bytes without an ending are cut.
  std::string stored;
  for (int i = 0; i < 20; ++i) stored += "/s" + std::to_string(i) + '\0';
  stored += '\0';
  RecentFolderList parsed;
  parsed.Parse(std::span(reinterpret_cast<const uint8_t*>(stored.data()), stored.size()));
  EXPECT_EQ(parsed.Count(), 16u);
  EXPECT_FALSE(parsed.Changed());
  EXPECT_EQ(parsed.EntryUtf8(15), "/s15");
  EXPECT_EQ(parsed.UsedBytes().back(), 0);
  std::vector<uint8_t> unterminated(1024, 'z');
  RecentFolderList cut;
  cut.Parse(unterminated);
  EXPECT_EQ(cut.Count(), 0u);
  unterminated[500] = 0;
  cut.Parse(unterminated);
  EXPECT_EQ(cut.Count(), 1u);
  EXPECT_EQ(cut.EntryUtf8(0).size(), 500u);
  cut.Clear();
  EXPECT_EQ(cut.Count(), 0u);
  EXPECT_TRUE(cut.Changed());
}

}  // namespace
}  // namespace vt
