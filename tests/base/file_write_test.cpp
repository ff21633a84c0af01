// Replacing a file by rename from a temporary file beside it: the old file
// stays whole whatever fails on the way, and no temporary file is left behind.
#include "base/file_write.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/test_support.h"

namespace vt {
namespace {

namespace fs = std::filesystem;
using test::U16;

std::span<const uint8_t> Bytes(const std::string& s) { return {reinterpret_cast<const uint8_t*>(s.data()), s.size()}; }

size_t EntriesIn(const std::string& folder) {
  size_t n = 0;
  for ([[maybe_unused]] const auto& e : fs::directory_iterator(folder)) ++n;
  return n;
}

TEST(ReplaceFileContents, ReplacesKeepingPermissionsAndOptionallyTheTime) {
  test::TempDir dir;
  const std::string path = dir.Write("a.jpg", "old contents");
  const auto old = fs::last_write_time(path) - std::chrono::hours(24 * 365);
  for (const bool keepTime : {true, false}) {
    SCOPED_TRACE(keepTime ? "keep time" : "new time");
    fs::last_write_time(path, old);
#ifndef _WIN32
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
#endif
    ASSERT_EQ(ReplaceFileContents(U16(path), Bytes("new contents"), keepTime), status::kOk);
    EXPECT_EQ(test::ReadFileBytes(path), "new contents");
    EXPECT_EQ(fs::last_write_time(path) == old, keepTime);
#ifndef _WIN32
    EXPECT_EQ(fs::status(path).permissions(), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
#endif
    EXPECT_EQ(EntriesIn(dir.Path()), 1u);
  }
  // A new file is made too.
  ASSERT_EQ(ReplaceFileContents(U16(dir.Path() + "/b.vta"), Bytes("b")), status::kOk);
  EXPECT_EQ(test::ReadFileBytes(dir.Path() + "/b.vta"), "b");
}

TEST(ReplaceFileContents, FailuresLeaveWhatWasThere) {
  test::TempDir dir;
  // No folder to put the temporary file in.
  EXPECT_EQ(ReplaceFileContents(U16(dir.Path() + "/missing/a.jpg"), Bytes("x")), status::kCannotCreateFile);
  // A folder in the file's place cannot be replaced by a file: the rename fails.
  fs::create_directory(dir.Path() + "/folder.jpg");
  dir.Write("folder.jpg/inside", "kept");
  EXPECT_EQ(ReplaceFileContents(U16(dir.Path() + "/folder.jpg"), Bytes("x")), status::kCannotWriteFile);
  EXPECT_EQ(test::ReadFileBytes(dir.Path() + "/folder.jpg/inside"), "kept");
  EXPECT_EQ(EntriesIn(dir.Path()), 1u);
  // Every temporary name taken (files of some other run): the original stays.
  const std::string path = dir.Write("c.jpg", "original");
  for (int i = 0; i < 10; ++i) dir.Write("c.jpg.~vt" + std::to_string(i), "someone else's");
  EXPECT_EQ(ReplaceFileContents(U16(path), Bytes("x")), status::kCannotCreateFile);
  EXPECT_EQ(test::ReadFileBytes(path), "original");
  EXPECT_EQ(test::ReadFileBytes(path + ".~vt3"), "someone else's");
  // Removing: a missing file is no failure.
  EXPECT_TRUE(RemoveFile(U16(path)));
  EXPECT_TRUE(RemoveFile(U16(path)));
  EXPECT_FALSE(fs::exists(path));
}

}  // namespace
}  // namespace vt
