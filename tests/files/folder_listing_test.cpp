#include "files/folder_listing.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

#include "base/file_system.h"
#include "files_test_util.h"

namespace vt {
namespace {

namespace fs = std::filesystem;
using test::ListingNames;
using test::NameSet;
using test::TempDir;
using test::U16;
using test::WaitUntil;

// prefix, number, extension. (Spelled out because GCC 12 at -O3 warns falsely
// about "x" + std::to_string(i) + ".y".)
std::string Numbered(const char* prefix, int i, const char* ext) {
  std::string s(prefix);
  s.append(std::to_string(i));
  s.append(ext);
  return s;
}

std::string Padded(int i, size_t width) {
  std::string s = std::to_string(i);
  return std::string(width > s.size() ? width - s.size() : 0, 'x') + s;
}

TEST(FolderListing, ScanRecordsNamesSizesAndFlags) {
  TempDir dir;
  dir.Write("a.jpg", "12345");
  dir.Write("b.png", "");
  dir.Write(".hidden.bmp", "x");
  fs::create_directory(fs::path(dir.Path()) / "sub.jpg");
  auto registry = MakeRef<FolderListingRegistry>();
  RefPtr<FolderListing> l = registry->Acquire(U16(dir.Path()), false);
  ASSERT_TRUE(l);
  EXPECT_EQ(l->Pattern(), U16(dir.Path()) + std::u16string(1, kPathSeparator) + u"*");
  l->WaitForScan();
  EXPECT_TRUE(l->IsScanComplete());
  EXPECT_TRUE(l->IsValid());
  FolderListing::ReadLock lock(*l);
  int seen = 0;
  FolderEntryInfo info;
  for (const char16_t* e = l->NextEntry(lock, nullptr, &info); e; e = l->NextEntry(lock, e, &info)) {
    std::u16string n(e, info.nameLength);
    EXPECT_EQ(e[info.nameLength], u'\0');
    if (n == u"a.jpg") {
      EXPECT_EQ(info.size, 5u);
      EXPECT_FALSE(info.isFolder);
      EXPECT_NE(info.lastWriteTime, 0u);
      ++seen;
    } else if (n == u"b.png") {
      EXPECT_EQ(info.size, 0u);
      ++seen;
    } else if (n == u"sub.jpg") {
      EXPECT_TRUE(info.isFolder);
      ++seen;
    } else if (n == u".hidden.bmp") {
#ifndef _WIN32
      EXPECT_TRUE(info.isHidden);
#endif
      ++seen;
    }
  }
  EXPECT_EQ(seen, 4);
}

TEST(FolderListing, MissingFolderGivesEmptyCompleteListing) {
  TempDir dir;
  auto registry = MakeRef<FolderListingRegistry>();
  RefPtr<FolderListing> l = registry->Acquire(U16(dir.Path() + "/nope"), false);
  ASSERT_TRUE(l);
  EXPECT_TRUE(ListingNames(*l).empty());
  EXPECT_TRUE(l->IsScanComplete());
  EXPECT_FALSE(registry->Acquire(u"", false));
}

#ifndef _WIN32
TEST(FolderListing, UnreadableFolderGivesEmptyListing) {
  TempDir dir;
  fs::path sub = fs::path(dir.Path()) / "locked";
  fs::create_directory(sub);
  std::ofstream(sub / "a.jpg").put('x');
  fs::permissions(sub, fs::perms::none);
  auto registry = MakeRef<FolderListingRegistry>();
  RefPtr<FolderListing> l = registry->Acquire(U16(sub.string()), false);
  const size_t n = ListingNames(*l).size();
  fs::permissions(sub, fs::perms::owner_all);
  if (n != 0) GTEST_SKIP() << "running with rights that read any folder";
  EXPECT_TRUE(l->IsScanComplete());
}
#endif

TEST(FolderListing, ManyEntriesSpanManyBlocks) {
  TempDir dir;
  std::set<std::u16string> expected;
  // About 3 records of 120-character names fit in a block per kilobyte.
  for (int i = 0; i < 600; ++i) {
    std::string name = Padded(i, 120) + ".jpg";
    dir.Write(name, "");
    expected.insert(U16(name));
  }
  auto registry = MakeRef<FolderListingRegistry>();
  RefPtr<FolderListing> l = registry->Acquire(U16(dir.Path()), false);
  EXPECT_EQ(NameSet(*l), expected);
  EXPECT_EQ(ListingNames(*l).size(), expected.size());
}

TEST(FolderListing, NamesBeyondThePathLimitAreLeftOut) {
  TempDir dir;
  const size_t folderLength = U16(dir.Path()).size() + 2;  // separator and '*'
  ASSERT_LT(folderLength + 20, kMaxPath);
  // Full pattern length plus name and NUL must stay below 261.
  const size_t fits = kMaxPath - folderLength - 1;
  std::string ok(fits - 4, 'k');
  std::string tooLong(fits - 3, 'l');
  dir.Write(ok + ".jpg", "");
  dir.Write(tooLong + ".jpg", "");
  auto registry = MakeRef<FolderListingRegistry>();
  RefPtr<FolderListing> l = registry->Acquire(U16(dir.Path()), false);
  EXPECT_EQ(NameSet(*l), std::set<std::u16string>{U16(ok + ".jpg")});
  // A folder path that leaves no room for the pattern gets no listing.
  EXPECT_FALSE(registry->Acquire(std::u16string(kMaxPath, u'a'), false));
}

TEST(FolderListingRegistry, SharesValidListingsOnly) {
  TempDir dir;
  dir.Write("a.jpg", "");
  auto registry = MakeRef<FolderListingRegistry>();
  EXPECT_FALSE(registry->Acquire(U16(dir.Path()), true));
  RefPtr<FolderListing> a = registry->Acquire(U16(dir.Path()), false);
  RefPtr<FolderListing> b = registry->Acquire(U16(dir.Path()) + test::Sep(), true);
  EXPECT_EQ(a.get(), b.get());
  EXPECT_EQ(registry->CountForTesting(), 1u);
  b.reset();
  a.reset();
  EXPECT_EQ(registry->CountForTesting(), 0u);
  EXPECT_FALSE(registry->Acquire(U16(dir.Path()), true));
}

// A reader walks the listing while the scan is still writing it: every record it
// sees must be complete, and it must see all of them.
TEST(FolderListingConcurrency, ReadersWalkWhileTheScanWrites) {
  TempDir dir;
  const int kFiles = 6000;
  for (int i = 0; i < kFiles; ++i) dir.Write(Numbered("f", i, ".jpg"), "");
  for (int round = 0; round < 3; ++round) {
    auto registry = MakeRef<FolderListingRegistry>();
    RefPtr<FolderListing> l = registry->Acquire(U16(dir.Path()), false);
    std::atomic<int> bad{0};
    std::vector<std::thread> readers;
    for (int t = 0; t < 3; ++t) {
      readers.emplace_back([&] {
        auto names = ListingNames(*l);
        if (static_cast<int>(names.size()) != kFiles) bad++;
        for (const auto& n : names) {
          if (n.size() < 6 || n[0] != u'f' || n.substr(n.size() - 4) != u".jpg") bad++;
        }
      });
    }
    for (auto& t : readers) t.join();
    EXPECT_EQ(bad.load(), 0);
  }
}

// Releasing a listing whose scan is still running stops the scan; nothing
// leaks, hangs or touches freed blocks.
TEST(FolderListingConcurrency, ReleasingStopsARunningScan) {
  TempDir dir;
  for (int i = 0; i < 3000; ++i) dir.Write(Numbered("g", i, ".png"), "");
  auto registry = MakeRef<FolderListingRegistry>();
  for (int i = 0; i < 20; ++i) {
    RefPtr<FolderListing> l = registry->Acquire(U16(dir.Path()), false);
    if (i % 2) {
      FolderListing::ReadLock lock(*l);
      l->NextEntry(lock, nullptr);
    }
  }
  EXPECT_EQ(registry->CountForTesting(), 0u);
  // Acquiring and releasing from many threads at once.
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 10; ++i) {
        RefPtr<FolderListing> l = registry->Acquire(U16(dir.Path()), false);
        if (l && i % 3 == 0) ListingNames(*l);
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(registry->CountForTesting(), 0u);
}

TEST(FolderListingConcurrency, FolderRemovedDuringScan) {
  for (int round = 0; round < 3; ++round) {
    TempDir dir;
    fs::path sub = fs::path(dir.Path()) / "vanishing";
    fs::create_directory(sub);
    for (int i = 0; i < 2000; ++i) {
      std::ofstream(sub / Numbered("h", i, ".jpg")).put('x');
    }
    auto registry = MakeRef<FolderListingRegistry>();
    RefPtr<FolderListing> l = registry->Acquire(U16(sub.string()), false);
    std::error_code ec;
    fs::remove_all(sub, ec);
    auto names = ListingNames(*l);  // whatever it saw, it ends
    EXPECT_LE(names.size(), 2000u);
    EXPECT_TRUE(l->IsScanComplete());
  }
}

TEST(FolderListing, UpdateEntryRenamesAndRemoves) {
  TempDir dir;
  std::set<std::u16string> expected;
  // Names that fill blocks, so that growing one forces a split.
  for (int i = 0; i < 200; ++i) {
    std::string name = Padded(i, 40) + ".jpg";
    dir.Write(name, std::string(i, 'z'));
    expected.insert(U16(name));
  }
  auto registry = MakeRef<FolderListingRegistry>();
  RefPtr<FolderListing> l = registry->Acquire(U16(dir.Path()), false);
  auto order = ListingNames(*l);
  ASSERT_EQ(order.size(), 200u);

  // Same length: in place.
  const std::u16string first = order[0];
  const std::u16string firstNew = std::u16string(first.size() - 4, u'q') + u".png";
  EXPECT_TRUE(l->UpdateEntry(first, firstNew));
  // Grown well beyond the block's slack.
  const std::u16string mid = order[100];
  const std::u16string midNew = std::u16string(200, u'r') + u".jpg";
  EXPECT_TRUE(l->UpdateEntry(mid, midNew));
  // Shrunk.
  const std::u16string late = order[150];
  EXPECT_TRUE(l->UpdateEntry(late, u"s.jpg"));
  // Removed.
  const std::u16string gone = order[50];
  EXPECT_TRUE(l->UpdateEntry(gone, u""));
  EXPECT_FALSE(l->UpdateEntry(u"no such name.jpg", u"x.jpg"));

  std::vector<std::u16string> want = order;
  want[0] = firstNew;
  want[100] = midNew;
  want[150] = u"s.jpg";
  want.erase(want.begin() + 50);
  EXPECT_EQ(ListingNames(*l), want);

  // Sizes stay with their renamed entries (file i holds i bytes).
  const std::u16string digits = mid.substr(mid.find_first_not_of(u'x'));
  const uint64_t midSize = std::stoul(test::U8(digits.substr(0, digits.size() - 4)));
  FolderListing::ReadLock lock(*l);
  FolderEntryInfo info;
  for (const char16_t* e = l->NextEntry(lock, nullptr, &info); e; e = l->NextEntry(lock, e, &info)) {
    if (std::u16string_view(e, info.nameLength) == midNew) {
      EXPECT_EQ(info.size, midSize);
    }
  }
}

TEST(FolderListing, UpdateEntryGrowsEveryRecordOfABlock) {
  TempDir dir;
  for (int i = 0; i < 100; ++i) dir.Write(Padded(i, 20) + ".jpg", "");
  auto registry = MakeRef<FolderListingRegistry>();
  RefPtr<FolderListing> l = registry->Acquire(U16(dir.Path()), false);
  auto order = ListingNames(*l);
  std::vector<std::u16string> want;
  for (const auto& n : order) {
    std::u16string grown = u"long-" + std::u16string(150, u'w') + n;
    ASSERT_TRUE(l->UpdateEntry(n, grown));
    want.push_back(grown);
  }
  EXPECT_EQ(ListingNames(*l), want);
  for (const auto& n : want) ASSERT_TRUE(l->UpdateEntry(n, u""));
  EXPECT_TRUE(ListingNames(*l).empty());
}

class CountingListener : public FolderChangeListener {
 public:
  void OnFolderChanged() override { count++; }
  std::atomic<int> count{0};
};

TEST(FolderWatch, ChangesReachListenersAfterTheBurstSettles) {
  TempDir dir;
  dir.Write("a.jpg", "");
  auto registry = MakeRef<FolderListingRegistry>();
  RefPtr<FolderListing> l = registry->Acquire(U16(dir.Path()), false);
  l->WaitForScan();
  CountingListener listener;
  l->AddListener(&listener);
  l->AddListener(&listener);  // no duplicates
  l->AddListener(nullptr);
  ASSERT_TRUE(l->IsWatching());
  for (int i = 0; i < 40; ++i) dir.Write(Numbered("burst", i, ".jpg"), "data");
  ASSERT_TRUE(WaitUntil([&] { return listener.count.load() > 0; }));
  EXPECT_FALSE(l->IsValid());
  // Forty changes in quick succession are told in very few notifications.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_LE(listener.count.load(), 4);
  // The next acquisition is a new scan that sees the new files.
  RefPtr<FolderListing> fresh = registry->Acquire(U16(dir.Path()), false);
  EXPECT_NE(fresh.get(), l.get());
  EXPECT_EQ(NameSet(*fresh).size(), 41u);
  l->RemoveListener(&listener);
  EXPECT_FALSE(l->IsWatching());
}

TEST(FolderWatch, SuspendedWatchingKeepsTheListing) {
  TempDir dir;
  auto registry = MakeRef<FolderListingRegistry>();
  RefPtr<FolderListing> l = registry->Acquire(U16(dir.Path()), false);
  CountingListener listener;
  l->SuspendWatching(true);
  l->AddListener(&listener);
  EXPECT_FALSE(l->IsWatching());
  l->SuspendWatching(true);
  l->SuspendWatching(false);
  EXPECT_FALSE(l->IsWatching());  // nested
  dir.Write("quiet.jpg", "");
  std::this_thread::sleep_for(std::chrono::milliseconds(250));
  EXPECT_EQ(listener.count.load(), 0);
  EXPECT_TRUE(l->IsValid());
  l->SuspendWatching(false);
  EXPECT_TRUE(l->IsWatching());
  dir.Write("loud.jpg", "");
  EXPECT_TRUE(WaitUntil([&] { return listener.count.load() > 0; }));
  l->RemoveListener(&listener);
}

// A listener may remove itself and release the last reference from inside its
// notification without deadlocking.
class SelfRemovingListener final : public FolderChangeListener {
 public:
  void OnFolderChanged() override {
    listing->RemoveListener(this);
    listing.reset();
    done = true;
  }
  RefPtr<FolderListing> listing;
  std::atomic<bool> done{false};
};

TEST(FolderWatch, ListenerRemovesItselfAndReleasesTheListing) {
  TempDir dir;
  auto registry = MakeRef<FolderListingRegistry>();
  auto* listener = new SelfRemovingListener();
  {
    RefPtr<FolderListing> l = registry->Acquire(U16(dir.Path()), false);
    listener->listing = l;
    l->AddListener(listener);
  }
  dir.Write("poke.jpg", "");
  ASSERT_TRUE(WaitUntil([&] { return listener->done.load(); }));
  EXPECT_TRUE(WaitUntil([&] { return registry->CountForTesting() == 0; }));
  // The detached watch thread ends on its own; give it a moment before the
  // listener goes away.
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  delete listener;
}

TEST(FolderWatch, StopsPromptlyAndSurvivesTheFolderVanishing) {
  TempDir dir;
  fs::path sub = fs::path(dir.Path()) / "watched";
  fs::create_directory(sub);
  auto registry = MakeRef<FolderListingRegistry>();
  RefPtr<FolderListing> l = registry->Acquire(U16(sub.string()), false);
  CountingListener listener;
  l->AddListener(&listener);
  ASSERT_TRUE(l->IsWatching());
  std::error_code ec;
  fs::remove_all(sub, ec);
#ifndef _WIN32
  // Windows keeps a watched folder until the watch closes; elsewhere it goes
  // at once and the watch reports it.
  EXPECT_TRUE(WaitUntil([&] { return listener.count.load() > 0; }));
#endif
  const auto start = std::chrono::steady_clock::now();
  l->RemoveListener(&listener);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}

}  // namespace
}  // namespace vt
