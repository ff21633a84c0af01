// The index window on the headless screen: grid, thumbnails, cache file,
// commands, mouse and keys, the folder watch.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <set>
#include <thread>

#include "base/file_mapping.h"
#include "base/file_system.h"
#include "base/text.h"
#include "index/index_window.h"
#include "viewer/view_commands.h"
#include "viewer/viewer_fixture.h"

namespace vt::test {
namespace {

constexpr uint32_t kRed = 0x0000FF, kBlue = 0xFF0000, kGreen = 0x00FF00;

class IndexWindowTest : public ViewerFixture {
 protected:
  IndexWindowTest() {
    dir.Write("red.bmp", SolidBmp(64, 48, kRed));
    dir.Write("blue.bmp", SolidBmp(20, 200, kBlue));
    dir.Write("notes.txt", "just text");
    std::filesystem::create_directory(dir.Path() + "/sub");
  }

  // Runs the window's messages until its thumbnails are done and its
  // background work (a cache save) has ended.
  void Settle(IndexWindow* w) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < until) {
      platform.Pump();
      if (!w->IsLoading()) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ASSERT_FALSE(w->IsLoading());
    w->Worker().Wait();
    platform.Pump();
  }
  IndexWindow* Index(const std::string& path) {
    IndexWindow* w = app->OpenIndex(U16(path), std::nullopt);
    if (w) Settle(w);
    return w;
  }
  static HeadlessWindow* Native(IndexWindow* w) { return static_cast<HeadlessWindow*>(w->Window()); }
  const IndexItem* Find(IndexWindow* w, std::u16string_view name) {
    for (const auto& i : w->Items())
      if (i->Name() == name) return i.get();
    return nullptr;
  }
  ViewPoint CentreOf(IndexWindow* w, std::u16string_view name) {
    const ViewRect box = BoxOfCell(Find(w, name)->cell, w->Layout());
    return {(box.left + box.right) / 2, (box.top + box.bottom) / 2 - w->ScrollY()};
  }
  uint32_t PixelAt(IndexWindow* w, std::u16string_view name) {
    const ViewPoint p = CentreOf(w, name);
    return Native(w)->Pixel(p.x, p.y) & 0xFFFFFF;
  }
  std::string Cache() const { return dir.Path() + "/Vistrel.vti"; }
  void Close(IndexWindow* w) {
    w->Window()->Destroy();
    app->Reap();
  }
};

TEST_F(IndexWindowTest, ShowsTheFolderAsAGridOfThumbnails) {
  IndexWindow* w = Index(dir.Path());
  ASSERT_TRUE(w);
  std::vector<std::u16string> shown;
  for (const auto& i : w->Items())
    if (i->visible) shown.emplace_back(i->Name());
  // Folders first; the text file is no image and not shown by default.
  EXPECT_EQ(shown, (std::vector<std::u16string>{u"..", u"sub", u"blue.bmp", u"red.bmp"}));
  EXPECT_EQ(Find(w, u"notes.txt")->kind, ItemKind::kOther);
  const std::u16string folderName = U16(std::filesystem::path(dir.Path()).filename().string());
  EXPECT_EQ(w->Window()->Title(), folderName + u" | 2 | Vistrel");
  const IndexItem* blue = Find(w, u"blue.bmp");
  ASSERT_TRUE(blue->thumbnail);
  EXPECT_EQ(blue->thumbnail->Width(), 16u);  // 20 x 200 into 160 x 160
  EXPECT_EQ(blue->thumbnail->Height(), 160u);
  EXPECT_EQ(Find(w, u"red.bmp")->thumbnail->Width(), 64u) << "never enlarged";
  EXPECT_EQ(ResolutionText(blue->width, blue->height, blue->bitsPerPixel), u"20x200x24");
  EXPECT_EQ(PixelAt(w, u"red.bmp"), kRed);
  EXPECT_EQ(PixelAt(w, u"blue.bmp"), kBlue);
  EXPECT_FALSE(test::FileExists(Cache())) << "no cache file unless asked for";
  // The same grid painted whole for saving.
  RefPtr<ImageBuffer> whole = w->PaintIndexImage();
  ASSERT_TRUE(whole);
  EXPECT_EQ(int32_t(whole->Width()), w->GridSize().width);
  const ViewRect box = BoxOfCell(Find(w, u"red.bmp")->cell, w->Layout());
  uint32_t p;
  std::memcpy(&p, whole->Row(uint32_t(box.top + box.bottom) / 2) + (box.left + box.right) / 2 * 4, 4);
  EXPECT_EQ(p & 0xFFFFFF, kRed);
}

TEST_F(IndexWindowTest, TheSecondVisitTakesEveryThumbnailFromTheCacheFile) {
  Options().indexAutoCreateCache = 1;
  IndexWindow* first = Index(dir.Path());
  EXPECT_EQ(first->Worker().DecodedCount(), 2u);
  ASSERT_TRUE(test::FileExists(Cache()));
  IndexCacheContent content;
  const std::string bytes = test::ReadFileBytes(Cache());
  ASSERT_TRUE(ParseIndexCache(std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()), &content));
  EXPECT_EQ(content.records.size(), 2u);
  Close(first);

  IndexWindow* second = Index(dir.Path());
  EXPECT_EQ(second->Worker().DecodedCount(), 0u) << "no image opened";
  EXPECT_EQ(second->ImageCount(), 2u);
  EXPECT_EQ(PixelAt(second, u"red.bmp"), kRed);
  EXPECT_TRUE(second->Cache().IsValid());
  EXPECT_FALSE(second->Cache().IsOutOfDate());
  Close(second);

  // One image changed: only it is opened, and the file is brought up to date.
  dir.Write("red.bmp", SolidBmp(30, 30, kGreen));
  IndexWindow* third = Index(dir.Path());
  EXPECT_EQ(third->Worker().DecodedCount(), 1u);
  EXPECT_EQ(PixelAt(third, u"red.bmp"), kGreen);
  EXPECT_NE(test::ReadFileBytes(Cache()), bytes) << "rewritten";
  EXPECT_FALSE(third->Cache().IsOutOfDate());
}

TEST_F(IndexWindowTest, TheCachedBoxSizeOverridesTheChosenOneOnlyWhenSet) {
  Options().indexAutoCreateCache = 1;
  Close(Index(dir.Path()));  // a file for 160 x 160 boxes
  struct Case {
    const char* what;
    uint8_t overrides;
    int32_t box;
    uint64_t decoded;
  };
  for (const Case& k : {Case{"the file's size rules", 1, 160, 0}, Case{"the window's size rules", 0, 128, 2}}) {
    Options().indexThumbWidth = Options().indexThumbHeight = 128;
    Options().indexCacheSizeOverrides = k.overrides;
    IndexWindow* w = Index(dir.Path());
    EXPECT_EQ(w->Layout().boxWidth, k.box) << k.what;
    EXPECT_EQ(w->Worker().DecodedCount(), k.decoded) << k.what;
    EXPECT_EQ(Find(w, u"blue.bmp")->thumbnail->Height(), uint32_t(k.box)) << k.what;
    Close(w);
  }
  // The second window rewrote the file for its own boxes.
  uint32_t width = 0, height = 0;
  IndexCache cache;
  cache.SetFolder(U16(dir.Path()));
  ASSERT_TRUE(cache.Load(&width, &height));
  EXPECT_EQ(width, 128u);
}

TEST_F(IndexWindowTest, AFileAddedToTheFolderAppearsByItself) {
  IndexWindow* w = Index(dir.Path());
  dir.Write("green.bmp", SolidBmp(8, 8, kGreen));
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < until && !(Find(w, u"green.bmp") && Find(w, u"green.bmp")->thumbnail)) {
    platform.Pump();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  Settle(w);
  ASSERT_TRUE(Find(w, u"green.bmp"));
  EXPECT_EQ(PixelAt(w, u"green.bmp"), kGreen);
  EXPECT_EQ(w->Worker().DecodedCount(), 3u) << "the others kept their thumbnails";
}

TEST_F(IndexWindowTest, CommandsChangeWhatTheGridShows) {
  IndexWindow* w = Index(dir.Path());
  struct Case {
    const char* what;
    std::vector<uint32_t> commands;
    std::function<bool()> holds;
  };
  const Case cases[] = {
      {"name lines 2, twice: none", {22029, 22029}, [&] { return Options().indexNameLines == 0; }},
      {"name lines 3", {22030}, [&] { return w->Layout().nameLines == 3; }},
      {"non-image files shown", {22027}, [&] { return Find(w, u"notes.txt")->visible; }},
      {"folders hidden", {22026}, [&] { return !Find(w, u"sub")->visible; }},
      {"sort by file size", {22023}, [&] {
         return Options().indexSortOrder == 3 && w->Items()[0]->kind == ItemKind::kFolder;
       }},
      {"sort by image size: the smaller image first", {22025}, [&] {
         std::vector<std::u16string> images;
         for (const auto& i : w->Items())
           if (i->kind == ItemKind::kImage) images.emplace_back(i->Name());
         return images == std::vector<std::u16string>{u"red.bmp", u"blue.bmp"};  // 3072 < 4000 pixels
       }},
      {"file date caption", {22035}, [&] { return w->Layout().fileDate; }},
      {"recursive", {22001}, [&] {
         return w->IsRecursive() && w->Window()->Title().find(u" + ...") != std::u16string::npos &&
                Options().indexSortOrder == 5;
       }},
      {"back again", {22001}, [&] { return !w->IsRecursive(); }},
  };
  for (const Case& k : cases) {
    for (uint32_t c : k.commands) w->Dispatch(c);
    Settle(w);
    EXPECT_TRUE(k.holds()) << k.what;
  }
  // Commands of parts still to come beep instead of doing nothing.
  const int beeps = platform.beeps;
  for (uint32_t c : {22005u, 22007u, 22009u, 22010u, 22019u, 22041u}) w->Dispatch(c);
  EXPECT_EQ(platform.beeps, beeps + 6);
}

TEST_F(IndexWindowTest, CommandsOfOtherPartsGetTheSelectionOnceSupplied) {
  IndexWindow* w = Index(dir.Path());
  Native(w)->Click(0, CentreOf(w, u"blue.bmp"), kModifierCtrl);
  Native(w)->Click(0, CentreOf(w, u"red.bmp"), kModifierCtrl);
  std::vector<std::u16string> got;
  IndexAction* copy = IndexActionSlot(kIdxCopyFiles);
  ASSERT_TRUE(copy);
  EXPECT_EQ(IndexActionSlot(kIdxSaveCache), nullptr) << "the index's own command";
  *copy = [&](IndexWindow& window, std::span<IndexItem* const> selection) {
    EXPECT_EQ(&window, w);
    for (IndexItem* i : selection) got.emplace_back(i->Name());
  };
  EXPECT_TRUE(IsIndexCommandAvailable(kIdxCopyFiles));
  const int beeps = platform.beeps;
  w->Dispatch(kIdxCopyFiles);
  *copy = nullptr;
  EXPECT_EQ(got, (std::vector<std::u16string>{u"blue.bmp", u"red.bmp"}));
  EXPECT_EQ(platform.beeps, beeps);
  EXPECT_FALSE(IsIndexCommandAvailable(kIdxCopyFiles));
}

TEST_F(IndexWindowTest, CacheCommandsAndTheRecursiveRefusal) {
  IndexWindow* w = Index(dir.Path());
  w->Dispatch(kIdxSaveCache);
  Settle(w);
  EXPECT_TRUE(test::FileExists(Cache()));
  EXPECT_TRUE(w->Cache().IsValid());
  w->Dispatch(kIdxRemoveCache);
  EXPECT_FALSE(test::FileExists(Cache()));
  w->Dispatch(kIdxRecursive);
  Settle(w);
  w->Dispatch(kIdxSaveCache);
  ASSERT_EQ(platform.messageBoxes.size(), 1u);
  EXPECT_EQ(platform.messageBoxes[0].text, u"无法创建缓存文件!");
  EXPECT_EQ(platform.messageBoxes[0].caption, u"Vistrel");
  EXPECT_FALSE(test::FileExists(Cache()));
}

TEST_F(IndexWindowTest, TheMenuOffersTheCacheCommandsThatApply) {
  struct Case {
    bool valid, outOfDate, exists, recursive;
    bool save, update, remove;
  };
  IndexMenuText text{[](std::u16string_view t) { return std::u16string(t); }, [](uint16_t) { return u""; }};
  for (const Case& k : std::initializer_list<Case>{{false, false, false, false, true, false, false},
                                                   {false, false, true, false, true, false, true},
                                                   {true, false, true, false, false, false, true},
                                                   {true, true, true, false, false, true, true},
                                                   {true, true, true, true, false, false, false}}) {
    IndexMenuState s;
    s.cacheValid = k.valid, s.cacheOutOfDate = k.outOfDate, s.cacheFileExists = k.exists, s.recursive = k.recursive;
    std::set<uint16_t> commands;
    const MenuModel menu = BuildIndexMenu(s, text);
    for (const MenuEntry& e : menu.Entries()) {
      if (e.separator) continue;
      commands.insert(e.command);
      EXPECT_EQ(e.enabled, e.submenu || IsIndexCommandAvailable(e.command)) << e.command;
    }
    EXPECT_EQ(commands.count(kIdxSaveCache), size_t(k.save));
    EXPECT_EQ(commands.count(kIdxUpdateCache), size_t(k.update));
    EXPECT_EQ(commands.count(kIdxRemoveCache), size_t(k.remove));
  }
  IndexMenuState s;
  s.imageSelected = s.anySelected = true;
  std::set<uint16_t> commands;
  const MenuModel menu = BuildIndexMenu(s, text);
  for (const MenuEntry& e : menu.Entries()) commands.insert(e.command);
  EXPECT_TRUE(commands.count(kIdxViewImage) && commands.count(kIdxDeleteFiles));
  EXPECT_FALSE(commands.count(kIdxViewIndex));
}

TEST_F(IndexWindowTest, ClicksSelectAndOpen) {
  IndexWindow* w = Index(dir.Path());
  HeadlessWindow* n = Native(w);
  // Ctrl+click toggles the selection and opens nothing.
  n->Click(0, CentreOf(w, u"red.bmp"), kModifierCtrl);
  EXPECT_TRUE(Find(w, u"red.bmp")->selected);
  EXPECT_TRUE(app->Windows().empty());
  n->Click(2, CentreOf(w, u"blue.bmp"));
  EXPECT_TRUE(Find(w, u"blue.bmp")->selected);
  n->Click(0, CentreOf(w, u"red.bmp"), kModifierCtrl);
  EXPECT_FALSE(Find(w, u"red.bmp")->selected);
  // A plain click selects the one item and opens it in a viewer window.
  n->Click(0, CentreOf(w, u"red.bmp"));
  platform.Pump();
  EXPECT_FALSE(Find(w, u"blue.bmp")->selected);
  ASSERT_EQ(app->Windows().size(), 1u);
  EXPECT_EQ(app->Windows()[0]->Path(), U16(dir.Path()) + kPathSeparator + u"red.bmp");
  // A click on the folder shows it; the back button returns to the parent.
  n->Click(0, CentreOf(w, u"sub"));
  Settle(w);
  EXPECT_EQ(w->Folder(), U16(dir.Path()) + kPathSeparator + u"sub");
  n->Click(3, {5, 5});
  Settle(w);
  EXPECT_EQ(w->Folder(), U16(dir.Path()));
}

TEST_F(IndexWindowTest, KeysMoveOpenAndClose) {
  Options().indexCloseOnOpen = 1;
  IndexWindow* w = Index(dir.Path());
  HeadlessWindow* n = Native(w);
  n->SendKey(0x24);  // Home: the first cell
  EXPECT_TRUE(w->Items()[0]->selected);
  n->SendKey(0x27), n->SendKey(0x27), n->SendKey(0x27);  // .., sub, blue, red
  EXPECT_TRUE(Find(w, u"red.bmp")->selected);
  n->SendKey(0x0D);
  platform.Pump();
  ASSERT_EQ(app->Windows().size(), 1u);
  // Closing after opening waits 200 ms.
  EXPECT_TRUE(w->Exists());
  platform.AdvanceTime(IndexWindow::kCloseDelay);
  EXPECT_FALSE(w->Exists());
}

TEST_F(IndexWindowTest, TheIndexKeywordAndTheViewersIndexCommandOpenIt) {
  const ArgumentList index{u"-INDEX"};
  app->OpenWindow(U16(dir.Path() + "/red.bmp"), &index, nullptr);
  ASSERT_EQ(app->IndexWindows().size(), 1u);
  EXPECT_TRUE(app->Windows().empty());
  EXPECT_EQ(app->IndexWindows()[0]->Folder(), U16(dir.Path()));
  Settle(app->IndexWindows()[0]);

  Options().indexCloseOnOpen = 1;
  ViewerWindow* v = Open(dir.Path() + "/blue.bmp");
  ASSERT_TRUE(v);
  EXPECT_TRUE(IsViewCommandAvailable(kCmdIndex));
  v->Dispatch(kCmdIndex, 0);
  ASSERT_EQ(app->IndexWindows().size(), 2u);
  Settle(app->IndexWindows()[1]);
  platform.Pump();
  EXPECT_TRUE(app->Windows().empty()) << "the viewer gave way to the index";
}

}  // namespace
}  // namespace vt::test
