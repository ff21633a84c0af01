#include "base/file_system.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "files_test_util.h"

namespace vt {
namespace {

using test::TempDir;
using test::U16;

TEST(PathExists, FilesFoldersAndNothing) {
  TempDir dir;
  dir.Write("a.jpg", "x");
  EXPECT_TRUE(PathExists(U16(dir.Path())));
  EXPECT_TRUE(PathExists(U16(dir.Path() + "/a.jpg")));
  EXPECT_FALSE(PathExists(U16(dir.Path() + "/b.jpg")));
  EXPECT_FALSE(PathExists(u""));
#ifdef _WIN32
  EXPECT_TRUE(PathExists(u"C:"));
  EXPECT_TRUE(PathExists(u"c:"));
  EXPECT_TRUE(PathExists(u"C:\\"));
  EXPECT_FALSE(PathExists(u"1:"));
  // A network path is tested through the long-path UNC form; a server that
  // does not exist is simply absent.
  EXPECT_FALSE(PathExists(u"\\\\no-such-server-vt\\share\\x.jpg"));
#else
  EXPECT_TRUE(PathExists(u"/"));
#endif
}

TEST(PathExists, PathsBeyondTheClassicLimit) {
  TempDir dir;
  std::filesystem::path deep = dir.Path();
  std::string component(60, 'd');
  for (int i = 0; i < 5; ++i) deep /= component;
  std::error_code ec;
  std::filesystem::create_directories(deep, ec);
  if (ec) GTEST_SKIP() << "cannot create a long path here";
  const std::u16string p = U16(deep.string());
  ASSERT_GE(p.size(), kMaxPath);
  EXPECT_TRUE(PathExists(p));
  EXPECT_FALSE(PathExists(p + u"x"));
}

TEST(FileSystem, AbsolutePathsAreMadeAgainstTheCurrentFolder) {
  const std::filesystem::path here = std::filesystem::current_path();
  const auto expect = [](const std::filesystem::path& p) { return p.lexically_normal().u16string(); };
  EXPECT_EQ(AbsolutePath(u"photo.jpg"), expect(here / "photo.jpg"));
  EXPECT_EQ(AbsolutePath(u"./a/../b/photo.jpg"), expect(here / "b" / "photo.jpg"));
#ifdef _WIN32
  EXPECT_EQ(AbsolutePath(u"C:/srv/pictures/./x/../photo.jpg"), u"C:\\srv\\pictures\\photo.jpg");
  EXPECT_EQ(AbsolutePath(u"C:\\srv\\ä ö.png"), u"C:\\srv\\ä ö.png");
#else
  EXPECT_EQ(AbsolutePath(u"/srv/pictures/./x/../photo.jpg"), u"/srv/pictures/photo.jpg");
  EXPECT_EQ(AbsolutePath(u"/srv/pictures/ä ö.png"), u"/srv/pictures/ä ö.png");
#endif
  EXPECT_EQ(AbsolutePath(u""), u"");
}

TEST(FileSystem, StampsAndMemory) {
  TempDir dir;
  const std::string f = dir.Write("s.bin", "12345");
  FileStamp a, b;
  ASSERT_TRUE(GetFileStamp(U16(f), &a));
  EXPECT_EQ(a.size, 5u);
  EXPECT_FALSE(GetFileStamp(U16(f + "x"), &b));
  EXPECT_GT(AvailablePhysicalMemory(), 0u);
}

TEST(FileSystem, EnumerationOfMissingFolderFails) {
  TempDir dir;
  int n = 0;
  EXPECT_FALSE(EnumerateDirectory(U16(dir.Path() + "/missing/*"), [&](const DirectoryEntry&) {
    ++n;
    return true;
  }));
  EXPECT_EQ(n, 0);
  dir.Write("a.jpg", "");
  dir.Write("b.png", "");
  std::vector<std::u16string> names;
  EXPECT_TRUE(EnumerateDirectory(U16(dir.Path() + "/*.jpg"), [&](const DirectoryEntry& e) {
    names.emplace_back(e.name);
    return true;
  }));
  EXPECT_EQ(names, std::vector<std::u16string>{u"a.jpg"});
}

TEST(FileSystem, WatchWakesOnStopFromAnotherThread) {
  TempDir dir;
  auto w = DirectoryWatch::Start(U16(dir.Path()));
  ASSERT_TRUE(w);
  EXPECT_EQ(w->Wait(10), DirectoryWatch::WaitResult::TimedOut);
  dir.Write("x", "1");
  EXPECT_EQ(w->Wait(5000), DirectoryWatch::WaitResult::Changed);
  w->Rearm();
  std::thread stopper([&] { w->Stop(); });
  EXPECT_EQ(w->Wait(DirectoryWatch::kInfinite), DirectoryWatch::WaitResult::Stopped);
  stopper.join();
  EXPECT_FALSE(DirectoryWatch::Start(U16(dir.Path() + "/missing")));
}

}  // namespace
}  // namespace vt
