#include "platform/memory_settings_store.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "app/settings.h"
#include "support/test_support.h"

#ifdef _WIN32
#include <windows.h>

#include "platform/win32/registry_key.h"
#include "platform/win32/registry_settings_store.h"
#else
#include <cstdlib>

#include "platform/posix/file_settings_store.h"
#endif

namespace vt {
namespace {

// What every store must do with the three value types.
void ExerciseStore(SettingsStore* store) {
  EXPECT_FALSE(store->Read(u"Options8"));
  const std::vector<uint8_t> block = test::RandomBytes(172, 1);
  ASSERT_TRUE(store->Write(u"Options8", SettingsValue::Binary(block)));
  ASSERT_TRUE(store->Write(u"Vistrel-Ver", SettingsValue::String(u"9.3")));
  ASSERT_TRUE(store->Write(u"Count", SettingsValue::U32(0xA1B2C3D4u)));
  ASSERT_TRUE(store->Write(u"Empty", SettingsValue::Binary({})));
  auto b = store->Read(u"Options8");
  ASSERT_TRUE(b);
  EXPECT_EQ(b->type, SettingsValueType::kBinary);
  EXPECT_EQ(b->bytes, block);
  EXPECT_EQ(store->Read(u"Vistrel-Ver")->AsString(), u"9.3");
  EXPECT_EQ(store->Read(u"Count")->AsU32(), 0xA1B2C3D4u);
  EXPECT_FALSE(store->Read(u"Count")->AsString());
  EXPECT_TRUE(store->Read(u"Empty")->bytes.empty());
  ASSERT_TRUE(store->Write(u"Vistrel-Ver", SettingsValue::String(u"10.0 — ünïcode")));
  EXPECT_EQ(store->Read(u"Vistrel-Ver")->AsString(), u"10.0 — ünïcode");
  EXPECT_TRUE(store->Delete(u"Options8"));
  EXPECT_TRUE(store->Delete(u"Options8"));  // already gone
  EXPECT_FALSE(store->Read(u"Options8"));
  EXPECT_TRUE(store->Read(u"Count"));
}

TEST(SettingsValueTest, StringsEndAtNulAndIgnoreAnOddByte) {
  SettingsValue v;
  v.type = SettingsValueType::kString;
  v.bytes = {'a', 0, 'b', 0, 0, 0, 'c', 0, 'x'};
  EXPECT_EQ(v.AsString(), u"ab");
  v.bytes = {'a', 0, 'b'};
  EXPECT_EQ(v.AsString(), u"a");
  EXPECT_FALSE(SettingsValue::Binary({}).AsU32());
}

TEST(MemorySettingsStoreTest, BehavesAsAStore) {
  MemorySettingsStore store;
  ExerciseStore(&store);
  store.failWrites = true;
  EXPECT_FALSE(store.Write(u"x", SettingsValue::U32(1)));
}

#ifndef _WIN32

struct FileStoreTest : ::testing::Test {
  test::TempDir config;
  test::TempDir program;
  std::u16string programPath = test::U16(program.Path() + "/vistrel");
  FileSettingsStore store{config.Path(), programPath};
};

TEST_F(FileStoreTest, KeepsValuesAcrossInstancesInOneFile) {
  ExerciseStore(&store);
  EXPECT_EQ(store.FilePath(), config.Path() + "/Korvanne/Vistrel.settings");
  FileSettingsStore again(config.Path(), programPath);
  EXPECT_EQ(again.Read(u"Count")->AsU32(), 0xA1B2C3D4u);
  // No temporary file is left behind.
  size_t files = 0;
  for (auto& e : std::filesystem::directory_iterator(config.Path() + "/Korvanne")) {
    (void)e;
    ++files;
  }
  EXPECT_EQ(files, 1u);
}

TEST_F(FileStoreTest, DamagedOrForeignFilesReadAsMissingAndAreKeptAside) {
  ASSERT_TRUE(store.Write(u"LastFile", SettingsValue::String(u"a.png")));
  const std::string good = test::ReadFileBytes(store.FilePath());
  // Every cut and every flipped byte of a good file reads as no values.
  for (size_t cut = 0; cut < good.size(); ++cut) {
    std::filesystem::remove(store.FilePath());
    config.Write("Korvanne/Vistrel.settings", good.substr(0, cut));
    ASSERT_FALSE(store.Read(u"LastFile")) << cut;
  }
  for (size_t i = 0; i < good.size(); ++i) {
    std::string bad = good;
    bad[i] ^= 0x20;
    config.Write("Korvanne/Vistrel.settings", bad);
    ASSERT_FALSE(store.Read(u"LastFile")) << i;
  }
  const std::string foreign = "[Settings]\nLastFile=b.png\n";
  config.Write("Korvanne/Vistrel.settings", foreign);
  EXPECT_FALSE(store.Read(u"LastFile"));
  ASSERT_TRUE(store.Write(u"Keys1", SettingsValue::Binary(std::vector<uint8_t>{1, 2, 3, 4})));
  EXPECT_EQ(test::ReadFileBytes(store.FilePath() + ".damaged"), foreign);
  EXPECT_EQ(store.Read(u"Keys1")->bytes.size(), 4u);
}

TEST_F(FileStoreTest, InstalledMeansTheMarkerBesideTheProgram) {
  EXPECT_FALSE(store.IsInstalled());
  program.Write(FileSettingsStore::kInstalledMarker, "");
  EXPECT_TRUE(store.IsInstalled());
  EXPECT_FALSE(store.NoStrCmpLogicalPolicy());
}

TEST_F(FileStoreTest, FirstRunOfACopyFromTheBuildFolderCreatesNoFile) {
  Settings s(&store, {programPath, {}});
  s.Load();
  s.RecentFolders().AddOrRemove(u"/tmp", false);
  s.Save();
  EXPECT_FALSE(test::FileExists(store.FilePath()));
  program.Write(FileSettingsStore::kInstalledMarker, "");
  Settings t(&store, {programPath, {}});
  t.Load();
  EXPECT_TRUE(t.IsFirstRunOfInstalledCopy());
  t.Options().slideshowDelay = 33;
  t.Save();
  Settings u(&store, {programPath, {}});
  u.Load();
  EXPECT_EQ(u.Options().slideshowDelay, 33u);
}

TEST_F(FileStoreTest, PicturesFolderComesFromUserDirs) {
  config.Write("user-dirs.dirs", "# comment\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
                                 "XDG_PICTURES_DIR=\"$HOME/Bilder\"\n");
  const char* home = std::getenv("HOME");
  EXPECT_EQ(store.PicturesFolder(), test::U16(std::string(home ? home : "") + "/Bilder"));
  config.Write("user-dirs.dirs", "XDG_PICTURES_DIR=\"/srv/pics\"\n");
  EXPECT_EQ(store.PicturesFolder(), u"/srv/pics");
}

#else

// A key of the test's own, removed afterwards, so that the test runs in any
// prefix and leaves no trace in it.
struct RegistryStoreTest : ::testing::Test {
  std::u16string suffix = u"VistrelTest" + test::U16(std::to_string(GetCurrentProcessId()));
  RegistryLocations where{u"Software\\Korvanne\\" + suffix,
                          u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\" + suffix + u".exe",
                          u"Software\\Korvanne\\" + suffix + u"Policy"};
  RegistrySettingsStore store{where};
  ~RegistryStoreTest() override {
    for (const auto& [root, key] : {std::pair{HKEY_CURRENT_USER, where.settingsKey},
                                    {HKEY_CURRENT_USER, where.policyKey},
                                    {HKEY_LOCAL_MACHINE, where.appPathsKey}})
      RegDeleteTreeW(root, ToWide(key).c_str()), RegDeleteKeyW(root, ToWide(key).c_str());
  }
};

TEST_F(RegistryStoreTest, ReadsAndWritesTypedValues) {
  ExerciseStore(&store);
  RegistryKey key = RegistryKey::Open(HKEY_CURRENT_USER, ToWide(where.settingsKey));
  ASSERT_TRUE(key.IsOpen());
  // The narrow and wide variants reach the same value.
  uint32_t n = 0;
  EXPECT_EQ(key.ReadInto("Count", &n, 4), 4u);
  EXPECT_EQ(n, 0xA1B2C3D4u);
  const uint32_t fallback = 77;
  EXPECT_EQ(key.ReadInto(L"Missing", &n, 4, &fallback), 0u);
  EXPECT_EQ(n, 77u);
  RegistryKey none = RegistryKey::Open(HKEY_CURRENT_USER, std::wstring_view(L"Software\\Korvanne\\NoSuchKey"));
  EXPECT_EQ(none.ReadInto("Count", &n, 4, &fallback), 4u);
  EXPECT_EQ(n, 77u);
}

TEST_F(RegistryStoreTest, InstalledAndPolicyComeFromTheirKeys) {
  EXPECT_FALSE(store.IsInstalled());
  EXPECT_FALSE(store.NoStrCmpLogicalPolicy());
  {
    RegistryKey app = RegistryKey::Create(HKEY_LOCAL_MACHINE, ToWide(where.appPathsKey));
    if (!app.IsOpen()) GTEST_SKIP() << "no write access to HKEY_LOCAL_MACHINE";
  }
  EXPECT_TRUE(store.IsInstalled());
  RegistryKey policy = RegistryKey::Create(HKEY_CURRENT_USER, ToWide(where.policyKey));
  const DWORD one = 1;
  ASSERT_TRUE(policy.Write("NoStrCmpLogical", REG_DWORD, &one, 4));
  EXPECT_EQ(store.NoStrCmpLogicalPolicy(), 1u);

  Settings s(&store, {u"C:\\Program Files\\Vistrel\\Vistrel.exe", {}});
  s.Load();
  EXPECT_TRUE(s.IsFirstRunOfInstalledCopy());
  EXPECT_EQ(s.Options().plainNameOrder, 1);
  s.Save();
  EXPECT_EQ(store.Read(u"Options8")->bytes.size(), 172u);
}

TEST_F(RegistryStoreTest, NotInstalledFirstRunCreatesNoKey) {
  Settings s(&store, {u"C:\\build\\Vistrel.exe", {}});
  s.Load();
  s.Save();
  EXPECT_FALSE(RegistryKey::Open(HKEY_CURRENT_USER, ToWide(where.settingsKey)).IsOpen());
}

#endif

}  // namespace
}  // namespace vt
