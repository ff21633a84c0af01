// The index's items, order, cells and captions, without a window.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/file_system.h"
#include "base/text.h"
#include "files/compare_names.h"
#include "index/index_layout.h"
#include "index/index_sort.h"
#include "platform/pixel_surface.h"
#include "support/test_support.h"

namespace vt {
namespace {

using test::U16;
using test::U8;

TEST(IndexCaptions, SizeDateAndResolutionTexts) {
  struct Size {
    uint64_t bytes;
    const char16_t* text;
  };
  for (const Size& k : std::initializer_list<Size>{{0, u"0 字节"},
                                                   {1023, u"1023 字节"},
                                                   {1024, u"1.0 KB"},
                                                   {1126, u"1.1 KB"},     // 11771 >> 10 = 11 tenths
                                                   {1075, u"1.0 KB"},     // 10761 >> 10 = 10 tenths
                                                   {1232895, u"1204.0 KB"},
                                                   {1232896, u"1.2 MB"},  // 0x12D000 switches to MB
                                                   {1572864, u"1.5 MB"},
                                                   {5368709120ull, u"5120.0 MB"}}) {
    EXPECT_EQ(U8(FileSizeText(k.bytes)), U8(k.text)) << k.bytes;
  }
  struct Date {
    uint64_t fileTime;
    const char* text;
  };
  for (const Date& k : std::initializer_list<Date>{{0, ""},
                                                   {10000000, "1601-01-01, 00:00:01"},
                                                   {116444736000000000ull, "1970-01-01, 00:00:00"},
                                                   {125963424010000000ull, "2000-03-01, 00:00:01"},
                                                   {133537247990000000ull, "2024-02-29, 23:59:59"},
                                                   {157784112000000000ull, "2100-12-31, 12:00:00"}}) {
    EXPECT_EQ(U8(FileDateText(k.fileTime)), k.text) << k.fileTime;
  }
  EXPECT_EQ(ResolutionText(6000, 4000, 24), u"6000x4000x24");
}

int32_t Cells7(std::u16string_view t) { return int32_t(t.size()) * 7; }

TEST(IndexCaptions, NamesBreakAtNaturalPoints) {
  struct Case {
    const char* name;
    int32_t lines, width;
    std::vector<const char*> expected;
  };
  // Seven pixels a character: a width of 70 holds ten.
  const Case cases[] = {
      {"short.jpg", 2, 70, {"short.jpg"}},
      {"holiday_at_the_sea", 2, 70, {"holiday_at", "_the_sea"}},
      {"beachside.panorama", 3, 70, {"beachside", ".panorama"}},
      {"IMG20230714abc", 2, 70, {"IMG2023071", "4abc"}},  // "IMG" is shorter than five
      {"SummerHolidayPhoto", 3, 70, {"Summer", "Holiday", "Photo"}},
      {"abcdefghijklmnopqrstuvwxyz", 3, 70, {"abcdefghij", "klmnopqrst", "uvwxyz"}},
      {"abcdefghijklmnopqrstuvwxyz", 2, 70, {"abcdefghij", "klmnopqrs…"}},
      {"my holiday     pictures", 2, 70, {"my holiday", "pictures"}},
      {"Tea", 1, 14, {"T…"}},
      {"ab.cdefghijklmn", 2, 70, {"ab.cdefghi", "jklmn"}},  // no break before the fifth character
      {"a-b-c-d-e-f-g-h-i", 2, 70, {"a-b-c-d-e", "-f-g-h-i"}},
      {"anything", 0, 70, {}},
  };
  for (const Case& k : cases) {
    const auto lines = BreakName(U16(k.name), k.lines, k.width, Cells7);
    std::vector<std::string> got;
    for (const auto& l : lines) got.push_back(U8(l));
    EXPECT_EQ(got, std::vector<std::string>(k.expected.begin(), k.expected.end())) << k.name;
  }
  EXPECT_EQ(U8(CutWithEllipsis(u"abcdefghijklm", 70, Cells7)), "abcdefghi…");
  EXPECT_EQ(U8(CutAtWordWithEllipsis(u"a sunny day at sea", 70, Cells7)), "a sunny…");
  EXPECT_EQ(U8(CutAtWordWithEllipsis(u"unbreakablewords", 70, Cells7)), "unbreakab…");
  EXPECT_EQ(U8(CutAtWordWithEllipsis(u"fits", 70, Cells7)), "fits");
}

IndexItem Item(const char* path, ItemKind kind, uint64_t size = 0, uint64_t time = 0) {
  std::u16string p = U16(path);
  std::replace(p.begin(), p.end(), u'/', kPathSeparator);
  const size_t cut = p.find_last_of(u"\\/");
  std::unique_ptr<IndexItem> item = MakeIndexItem(p.substr(0, cut), p.substr(cut + 1), kind == ItemKind::kFolder,
                                                  size, time);
  item->kind = kind;
  return std::move(*item);
}

TEST(IndexCaptions, ShownNamesAndCaptionLines) {
  struct Case {
    const char* path;
    ItemKind kind;
    bool shortcut, extension;
    const char16_t* shown;
  };
  for (const Case& k : std::initializer_list<Case>{
           {"/p/beach.jpg", ItemKind::kImage, false, false, u"beach"},
           {"/p/beach.jpg", ItemKind::kImage, false, true, u"beach.jpg"},
           {"/p/notes.txt", ItemKind::kOther, false, false, u"notes.txt"},
           {"/p/show.vts", ItemKind::kScript, false, false, u"show.vts"},
           {"/p/beach.jpg.lnk", ItemKind::kImage, true, false, u"beach \u2192"},
           {"/p/beach.jpg.lnk", ItemKind::kImage, true, true, u"beach.jpg \u2192"},
           {"/p/notes.txt.LNK", ItemKind::kOther, true, false, u"notes.txt \u2192"},
           {"/p/.jpg", ItemKind::kImage, false, false, u".jpg"},
       }) {
    IndexItem item = Item(k.path, k.kind);
    item.shortcut = k.shortcut;
    EXPECT_EQ(U8(DisplayName(item, k.extension)), U8(k.shown)) << k.path;
  }

  IndexLayoutOptions o;
  o.nameLines = 2, o.comment = true, o.resolution = true, o.fileSize = true, o.fileDate = true;
  IndexItem image = Item("/p/longer_name_of_a_picture.png", ItemKind::kImage, 2048, 116444736000000000ull);
  image.width = 640, image.height = 480, image.bitsPerPixel = 32;
  image.comment = u"evening light";
  std::vector<std::string> got;
  for (const CaptionLine& l : CaptionLines(image, o, 70, Cells7)) got.push_back(U8(l.text) + (l.comment ? " [c]" : ""));
  EXPECT_EQ(got, (std::vector<std::string>{"longer", "_name_of_…", "evening… [c]", "640x480x32", "2.0 KB",
                                            "1970-01-01, 00:00:00"}));
  // A folder says nothing of its size; what is not an image has no comment
  // or resolution, but keeps its lines.
  IndexItem folder = Item("/p/trips", ItemKind::kFolder, 4096);
  got.clear();
  for (const CaptionLine& l : CaptionLines(folder, o, 70, Cells7)) got.push_back(U8(l.text));
  EXPECT_EQ(got, (std::vector<std::string>{"trips", "", "", "", "", ""}));
}

TEST(IndexLayout, CellSizesFollowTheCaptionLines) {
  struct Case {
    const char* what;
    int32_t names;
    bool comment, resolution, size, date;
    int32_t captions;
  };
  const int32_t h = 17;
  for (const Case& k : std::initializer_list<Case>{{"defaults", 1, true, true, false, false, 17 + 22 + 17},
                                                   {"every line off", 0, false, false, false, false, 17 / 5},
                                                   {"four name lines", 4, false, false, false, false, 68},
                                                   {"comment only", 0, true, false, false, false, 22},
                                                   {"all on", 2, true, true, true, true, 34 + 22 + 51}}) {
    IndexLayoutOptions o;
    o.nameLines = k.names, o.comment = k.comment, o.resolution = k.resolution, o.fileSize = k.size,
    o.fileDate = k.date;
    o.boxWidth = 160, o.boxHeight = 120, o.spacing = 10;
    EXPECT_EQ(CaptionHeight(o, h), k.captions) << k.what;
    EXPECT_EQ(CellSize(o, h), (ViewSize{160 + 10 + 5, 120 + 10 + 2 + k.captions})) << k.what;
  }
  EXPECT_EQ(IndexFontHeight(96), 14);
  EXPECT_EQ(IndexFontHeight(144), 21);
  EXPECT_EQ(IndexFontHeight(120), 18);  // 17.5 rounds up
}

TEST(IndexLayout, CellsFillRowsAndSkipHiddenKinds) {
  IndexLayoutOptions o;
  o.boxWidth = 100, o.boxHeight = 80, o.spacing = 10, o.nameLines = 0, o.comment = false, o.resolution = false;
  o.showFolders = false;
  const int32_t h = 10;  // captions: 10 / 5 = 2; cells 115 x 94
  IndexItemList items;
  const ItemKind kinds[] = {ItemKind::kImage, ItemKind::kFolder, ItemKind::kUnexamined, ItemKind::kOther,
                            ItemKind::kImage, ItemKind::kScript, ItemKind::kImage};
  for (ItemKind k : kinds) items.push_back(std::make_unique<IndexItem>(Item("/p/x", k)));
  struct Case {
    int32_t client;
    ViewSize grid;
    std::vector<ViewPoint> cells;  // of the shown items, in order
  };
  const Case cases[] = {
      // Starts at (12, 12); two cells end at 242: a client of 242 holds two a row.
      {242, {242, 12 + 94 * 2 + 2}, {{12, 12}, {127, 12}, {12, 106}, {127, 106}}},
      {241, {127, 12 + 94 * 4 + 2}, {{12, 12}, {12, 106}, {12, 200}, {12, 294}}},
      {1000, {472, 12 + 94 + 2}, {{12, 12}, {127, 12}, {242, 12}, {357, 12}}},
      // Narrower than one cell: one a row all the same.
      {50, {50, 12 + 94 * 4 + 2}, {{12, 12}, {12, 106}, {12, 200}, {12, 294}}},
  };
  for (const Case& k : cases) {
    EXPECT_EQ(PlaceCells(items, o, h, k.client), k.grid) << k.client;
    std::vector<ViewPoint> cells;
    for (const auto& i : items) {
      EXPECT_EQ(i->visible, IsItemShown(*i, o));
      if (i->visible) {
        cells.push_back({i->cell.left, i->cell.top});
        EXPECT_EQ(i->cell.Width(), 115);
      } else {
        EXPECT_TRUE(IsEmpty(i->cell));
      }
    }
    EXPECT_EQ(cells, k.cells) << k.client;
  }
  o.showFolders = o.showNonImages = true;
  PlaceCells(items, o, h, 1000);
  for (const auto& i : items) EXPECT_TRUE(i->visible);
}

std::vector<std::string> Sorted(std::vector<IndexItem> in, SortMode mode) {
  IndexItemList list;
  for (auto& i : in) list.push_back(std::make_unique<IndexItem>(std::move(i)));
  SortIndexItems(list, mode);
  std::vector<std::string> out;
  // Paths are compared with '/' for the separator the system joins with.
  for (const auto& i : list) {
    std::string path = U8(i->path);
    std::replace(path.begin(), path.end(), '\\', '/');
    out.push_back(path);
  }
  return out;
}

IndexItem Image(const char* path, uint32_t w, uint32_t h, uint32_t bpp) {
  IndexItem i = Item(path, ItemKind::kImage);
  i.width = w, i.height = h, i.bitsPerPixel = bpp;
  return i;
}

TEST(IndexSort, EveryModeWithTheFolderAndDriveRules) {
  SetNaturalFileOrder(true);
  IndexItem driveA = Item("/A:\\", ItemKind::kFolder), driveD = Item("/D:\\", ItemKind::kFolder);
  driveA.path = u"A:\\", driveA.nameStart = 0;
  driveD.path = u"D:\\", driveD.nameStart = 0;
  struct Case {
    const char* what;
    std::vector<IndexItem> items;
    SortMode mode;
    std::vector<std::string> expected;
  };
  std::vector<Case> cases;
  cases.push_back({"a drive root: the drives before every other folder",
                   {Item("/c/b.jpg", ItemKind::kImage), Item("/c/Windows", ItemKind::kFolder), driveD,
                    Item("/c/Apps", ItemKind::kFolder), driveA},
                   SortMode::kName,
                   {"A:/", "D:/", "/c/Apps", "/c/Windows", "/c/b.jpg"}});
  cases.push_back({"names in natural order, folders first",
                   {Item("/p/img10.jpg", ItemKind::kImage), Item("/p/img9.jpg", ItemKind::kImage),
                    Item("/p/zz", ItemKind::kFolder), Item("/p/IMG1.jpg", ItemKind::kUnexamined)},
                   SortMode::kName,
                   {"/p/zz", "/p/IMG1.jpg", "/p/img9.jpg", "/p/img10.jpg"}});
  cases.push_back({"image size: images by pixels then depth, the rest by name",
                   {Item("/p/zz", ItemKind::kFolder), Item("/p/b.txt", ItemKind::kOther),
                    Image("/p/big.jpg", 100, 100, 24), Image("/p/small.png", 10, 10, 32),
                    Image("/p/same8.gif", 50, 20, 8), Image("/p/same24.bmp", 20, 50, 24),
                    Item("/p/a.vts", ItemKind::kScript)},
                   SortMode::kImageSize,
                   {"/p/zz", "/p/small.png", "/p/same8.gif", "/p/same24.bmp", "/p/big.jpg", "/p/a.vts", "/p/b.txt"}});
  cases.push_back({"file size, ties keep their order",
                   {Item("/p/c", ItemKind::kImage, 30), Item("/p/a", ItemKind::kImage, 10),
                    Item("/p/b", ItemKind::kImage, 30), Item("/p/d", ItemKind::kFolder, 99)},
                   SortMode::kFileSize,
                   {"/p/d", "/p/a", "/p/c", "/p/b"}});
  cases.push_back({"file date",
                   {Item("/p/new", ItemKind::kImage, 0, 300), Item("/p/old", ItemKind::kImage, 0, 100),
                    Item("/p/mid", ItemKind::kOther, 0, 200)},
                   SortMode::kFileDate,
                   {"/p/old", "/p/mid", "/p/new"}});
  cases.push_back({"full path without items of subfolders: by name",
                   {Item("/p/b.jpg", ItemKind::kImage), Item("/p/sub", ItemKind::kFolder),
                    Item("/p/a.jpg", ItemKind::kImage)},
                   SortMode::kFullPath,
                   {"/p/sub", "/p/a.jpg", "/p/b.jpg"}});
  {
    std::vector<IndexItem> items;
    items.push_back(Item("/p/sub/z.jpg", ItemKind::kImage));
    items.push_back(Item("/p/b.jpg", ItemKind::kImage));
    items.push_back(Item("/p/sub", ItemKind::kFolder));
    items.push_back(Item("/p/sub/a.jpg", ItemKind::kImage));
    items.push_back(Item("/p/..", ItemKind::kFolder));
    items.push_back(Item("/p/a.jpg", ItemKind::kImage));
    items[0].subfolderItem = items[3].subfolderItem = true;
    cases.push_back({"full path with items of subfolders",
                     std::move(items),
                     SortMode::kFullPath,
                     {"/p/..", "/p/a.jpg", "/p/b.jpg", "/p/sub", "/p/sub/a.jpg", "/p/sub/z.jpg"}});
  }
  cases.push_back({"no sorting", {Item("/p/b", ItemKind::kImage), Item("/p/a", ItemKind::kFolder)},
                   SortMode::kNone, {"/p/b", "/p/a"}});
  for (Case& k : cases) EXPECT_EQ(Sorted(std::move(k.items), k.mode), k.expected) << k.what;
}

}  // namespace
}  // namespace vt
