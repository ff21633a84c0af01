#include "base/file_mapping.h"

#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>

#include "support/test_support.h"

namespace vt {
namespace {

using test::U16;

TEST(MappedFile, MapsTheWholeFile) {
  test::TempDir dir;
  std::string bytes(100000, 'x');
  bytes[99999] = 'y';
  std::unique_ptr<MappedFile> m;
  ASSERT_EQ(MappedFile::Open(U16(dir.Write("a.bin", bytes)), &m), status::kOk);
  ASSERT_EQ(m->Size(), bytes.size());
  EXPECT_EQ(m->Data()[99999], 'y');
}

TEST(MappedFile, EmptyMissingAndFoldersFailToOpen) {
  test::TempDir dir;
  std::unique_ptr<MappedFile> m;
  EXPECT_EQ(MappedFile::Open(U16(dir.Write("empty", "")), &m), status::kCannotOpenFile);
  EXPECT_EQ(MappedFile::Open(U16(dir.Path() + "/nothing-here"), &m), status::kCannotOpenFile);
  EXPECT_EQ(MappedFile::Open(U16(dir.Path()), &m), status::kCannotOpenFile);
  EXPECT_EQ(m, nullptr);
}

TEST(MappedFile, NonAsciiNames) {
  test::TempDir dir;
  std::unique_ptr<MappedFile> m;
  ASSERT_EQ(MappedFile::Open(U16(dir.Write("\xE5\x9B\xBE\xE5\x83\x8F.bin", "abc")), &m),
            status::kOk);
  EXPECT_EQ(m->Size(), 3u);
}

TEST(FileTime, ReportsTheLastWriteTime) {
  test::TempDir dir;
  std::string path = dir.Write("t.bin", "x");
  FileTime t;
  ASSERT_TRUE(GetFileLastWriteTime(U16(path), &t));
  std::time_t now = std::time(nullptr);
  std::tm* utc = std::gmtime(&now);
  EXPECT_EQ(t.year, utc->tm_year + 1900);
  EXPECT_GE(t.month, 1);
  EXPECT_LE(t.month, 12);
  EXPECT_FALSE(GetFileLastWriteTime(U16(dir.Path() + "/missing"), &t));
}

}  // namespace
}  // namespace vt

namespace vt {
namespace {

TEST(MappedFile, LargeFilesAreMapped) {
  // Large files take the mapping path; a sparse file costs no disk space.
  test::TempDir dir;
  std::string path = dir.Write("big.bin", "head");
  std::error_code ec;
  const uintmax_t size = (uintmax_t{256} << 20) + 4096;
  std::filesystem::resize_file(path, size, ec);
  if (ec) GTEST_SKIP() << "cannot make a sparse file here";
  std::unique_ptr<MappedFile> m;
  ASSERT_EQ(MappedFile::Open(test::U16(path), &m), status::kOk);
  ASSERT_EQ(m->Size(), size);
  EXPECT_EQ(m->Data()[0], 'h');
  EXPECT_EQ(m->Data()[size - 1], 0);
}

}  // namespace
}  // namespace vt
