// Building an index's items from a real folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "base/file_system.h"
#include "base/folder_paths.h"
#include "base/text.h"
#include "index/index_scan.h"
#include "support/test_support.h"

namespace vt {
namespace {

using test::U16;
using test::U8;

std::vector<std::string> Names(const IndexItemList& items) {
  std::vector<std::string> out;
  for (const auto& i : items) out.push_back(U8(std::u16string(i->Name())) + (i->subfolderItem ? " [sub]" : ""));
  return out;
}

std::set<std::string> NameSet(const IndexItemList& items) {
  const auto names = Names(items);
  return {names.begin(), names.end()};
}

class IndexScanTest : public ::testing::Test {
 protected:
  IndexScanResult Scan(bool recursive, IndexItemList* reuse = nullptr) {
    IndexItemList none;
    return ScanIndexFolder(*registry, U16(dir.Path()), reuse ? *reuse : none, recursive, 0);
  }
  RefPtr<FolderListingRegistry> registry = MakeRef<FolderListingRegistry>();
  test::TempDir dir;
};

TEST_F(IndexScanTest, LeavesOutHiddenFilesAndTheProgramsOwnFiles) {
  for (const char* name : {"photo.jpg", "photo.vta", "photo.VTA", "Vistrel.vti", "x.Vti", "show.vts", ".hidden.jpg",
                           "notes.txt"})
    dir.Write(name, "x");
  std::filesystem::create_directory(dir.Path() + "/.hidden-folder");
  std::filesystem::create_directory(dir.Path() + "/trips");
  const IndexScanResult r = Scan(false);
  EXPECT_TRUE(r.listed);
  EXPECT_EQ(NameSet(r.items), (std::set<std::string>{"..", ".hidden-folder", "trips", "photo.jpg", "show.vts",
                                                     "notes.txt"}));
  for (const auto& i : r.items) {
    const std::u16string name(i->Name());
    const ItemKind expected = name == u"show.vts" ? ItemKind::kScript
                              : (name == u".." || name == u".hidden-folder" || name == u"trips") ? ItemKind::kFolder
                                                                                                  : ItemKind::kUnexamined;
    EXPECT_EQ(i->kind, expected) << U8(name);
    EXPECT_EQ(i->path, U16(dir.Path()) + kPathSeparator + name);
  }
}

TEST_F(IndexScanTest, ReusesItemsWhoseFilesDidNotChange) {
  dir.Write("same.jpg", "aaaa");
  dir.Write("grows.jpg", "aaaa");
  dir.Write("lost.jpg", "aaaa");
  dir.Write("gone.jpg", "aaaa");
  IndexItemList items = Scan(false).items;
  std::map<std::string, IndexItem*> before;
  for (auto& i : items) {
    if (i->kind == ItemKind::kFolder) continue;
    before[U8(std::u16string(i->Name()))] = i.get();
    i->kind = ItemKind::kImage;
    if (i->Name() != u"lost.jpg") i->thumbnail = ImageBuffer::Create(PixelFormat::Bgra8, 2, 2);
  }
  dir.Write("grows.jpg", "aaaaaaaa");
  std::filesystem::remove(dir.Path() + "/gone.jpg");
  dir.Write("new.jpg", "a");
  // The listing of the folder is watched by nobody: a new one sees the changes.
  registry = MakeRef<FolderListingRegistry>();
  const IndexScanResult r = Scan(false, &items);
  std::map<std::string, const IndexItem*> after;
  for (const auto& i : r.items) after[U8(std::u16string(i->Name()))] = i.get();
  EXPECT_EQ(after.count("gone.jpg"), 0u);
  EXPECT_EQ(after["same.jpg"], before["same.jpg"]) << "unchanged: the same item, thumbnail and all";
  EXPECT_TRUE(after["same.jpg"]->thumbnail);
  EXPECT_NE(after["grows.jpg"], before["grows.jpg"]) << "another size: a new item";
  EXPECT_EQ(after["grows.jpg"]->kind, ItemKind::kUnexamined);
  EXPECT_NE(after["lost.jpg"], before["lost.jpg"]) << "an image without its thumbnail is made again";
  ASSERT_EQ(items.size(), 3u) << "what was not found again is left to the caller";
}

TEST_F(IndexScanTest, RecursiveScansPutEachFoldersItemsAfterIt) {
  namespace fs = std::filesystem;
  fs::create_directories(dir.Path() + "/a/deep");
  fs::create_directories(dir.Path() + "/.dot");
  fs::create_directories(dir.Path() + "/b");
  dir.Write("top.jpg", "x");
  dir.Write("a/in-a.jpg", "x");
  dir.Write("a/.hidden.jpg", "x");
  dir.Write("a/deep/in-deep.jpg", "x");
  dir.Write(".dot/in-dot.jpg", "x");
  const IndexScanResult flat = Scan(false);
  EXPECT_FALSE(flat.subfolderItems);
  const IndexScanResult r = Scan(true);
  EXPECT_TRUE(r.subfolderItems);
  // Listing order is the system's: what follows "a" is what lies below it,
  // "deep" followed at once by what lies in it.
  const std::vector<std::string> names = Names(r.items);
  const size_t a = size_t(std::find(names.begin(), names.end(), "a") - names.begin());
  ASSERT_LE(a + 3, names.size() - 1);
  EXPECT_EQ(std::set<std::string>(names.begin() + long(a) + 1, names.begin() + long(a) + 4),
            (std::set<std::string>{"in-a.jpg [sub]", "deep [sub]", "in-deep.jpg [sub]"}));
  const size_t deep = size_t(std::find(names.begin(), names.end(), "deep [sub]") - names.begin());
  EXPECT_EQ(names[deep + 1], "in-deep.jpg [sub]");
  EXPECT_EQ(NameSet(r.items), (std::set<std::string>{"..", ".dot", "a", "b", "top.jpg", "in-a.jpg [sub]", "deep [sub]",
                                                     "in-deep.jpg [sub]"}));
}

TEST_F(IndexScanTest, DriveRootsListTheOtherDrivesFirst) {
  IndexItemList none;
  // Drives A, C and D; the index shows C:. The folder itself cannot be
  // listed here, but the drives are named all the same.
  const IndexScanResult r = ScanIndexFolder(*registry, u"C:\\", none, false, 0b1101);
  ASSERT_GE(r.items.size(), 2u);
  EXPECT_EQ(r.items[0]->path, u"D:\\");
  EXPECT_EQ(r.items[1]->path, u"A:\\");
  EXPECT_TRUE(r.items[0]->IsDriveRoot());
  EXPECT_EQ(r.items[0]->kind, ItemKind::kFolder);
  EXPECT_TRUE(IsDriveRootFolder(u"c:"));
  EXPECT_FALSE(IsDriveRootFolder(u"c:\\x"));
}

TEST(IndexPaths, TooLongPathsAndParents) {
  const std::u16string folder(250, u'f');
  EXPECT_EQ(MakeIndexItem(folder, u"abcdefgh", false, 0, 0)->path.size(), 259u);
  const auto tooLong = MakeIndexItem(folder, u"abcdefghi", false, 0, 0);
  EXPECT_EQ(tooLong->path, kPathTooLongText);
  EXPECT_EQ(tooLong->Name(), kPathTooLongText);
  struct Case {
    const char16_t *path, *parent;
  };
  for (const Case& k : std::initializer_list<Case>{{u"/a/b", u"/a"}, {u"/a/b/", u"/a"}, {u"/a", u"/"},
                                                   {u"C:\\x", u"C:\\"}, {u"C:\\x\\y", u"C:\\x"}, {u"name", u"name"}})
    EXPECT_EQ(U8(ParentFolder(k.path)), U8(k.parent)) << U8(k.path);
}

}  // namespace
}  // namespace vt
