#include "files/navigate.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "base/file_system.h"
#include "files/compare_names.h"
#include "files_test_util.h"

namespace vt {
namespace {

namespace fs = std::filesystem;
using test::TempDir;
using test::TestFormats;
using test::U16;

class NavigateTest : public ::testing::Test {
 protected:
  std::u16string P(const std::string& name) const { return U16(dir.Path()) + u"/" + U16(name); }
  // The name of the file a step gives, or "" when it gives nothing.
  std::string Step(NavigateMode mode, const std::string& from) {
    std::u16string out;
    if (!NavigateFolder(nav, &slot, mode, &out, P(from))) return "";
    const size_t cut = out.find_last_of(u"\\/");
    return test::U8(out.substr(cut + 1));
  }
  TempDir dir;
  Navigator nav{&TestFormats()};
  RefPtr<FolderListing> slot;
};

TEST_F(NavigateTest, NaturalAndPlainOrder) {
  dir.Write("img2.jpg", "");
  dir.Write("img10.jpg", "");
  dir.Write("img1.jpg", "");
  EXPECT_EQ(Step(NavigateMode::Next, "img1.jpg"), "img2.jpg");
  EXPECT_EQ(Step(NavigateMode::Next, "img2.jpg"), "img10.jpg");
  EXPECT_EQ(Step(NavigateMode::Next, "img10.jpg"), "");
  EXPECT_EQ(Step(NavigateMode::Previous, "img10.jpg"), "img2.jpg");
  EXPECT_EQ(Step(NavigateMode::Previous, "img1.jpg"), "");
  EXPECT_EQ(Step(NavigateMode::First, "img10.jpg"), "img1.jpg");
  EXPECT_EQ(Step(NavigateMode::Last, "img1.jpg"), "img10.jpg");

  SetNaturalFileOrder(false);
  EXPECT_EQ(Step(NavigateMode::Next, "img1.jpg"), "img10.jpg");
  EXPECT_EQ(Step(NavigateMode::Next, "img10.jpg"), "img2.jpg");
  EXPECT_EQ(Step(NavigateMode::Last, "img1.jpg"), "img2.jpg");
  SetNaturalFileOrder(true);
}

TEST_F(NavigateTest, TheCurrentFileIsNeverTheResult) {
  dir.Write("a.jpg", "");
  dir.Write("b.jpg", "");
  dir.Write("c.jpg", "");
  EXPECT_EQ(Step(NavigateMode::First, "a.jpg"), "b.jpg");
  EXPECT_EQ(Step(NavigateMode::Last, "c.jpg"), "b.jpg");
  // A current file that is not in the folder (deleted meanwhile) still works.
  EXPECT_EQ(Step(NavigateMode::Next, "bb.jpg"), "c.jpg");
  EXPECT_EQ(Step(NavigateMode::Previous, "bb.jpg"), "b.jpg");
}

TEST_F(NavigateTest, SingleImageGivesNothing) {
  dir.Write("only.png", "");
  dir.Write("notes.txt", "");
  for (NavigateMode m : {NavigateMode::Next, NavigateMode::Previous, NavigateMode::First,
                         NavigateMode::Last, NavigateMode::SameDirection}) {
    EXPECT_EQ(Step(m, "only.png"), "") << int(m);
  }
}

TEST_F(NavigateTest, OnlyImageFilesAreCandidates) {
  dir.Write("a.jpg", "");
  dir.Write("b.vts", "");
  dir.Write("c.vti", "");
  dir.Write("d.vta", "");
  dir.Write("e.jpgxyz", "");
  dir.Write("f.gif", "");  // a format without a reader
  dir.Write("g", "");
  dir.Write("h.jpg.lnk", "");
  dir.Write("i.JPEG", "");
  fs::create_directory(fs::path(dir.Path()) / "b.jpg");  // a folder named like an image
  EXPECT_EQ(Step(NavigateMode::Next, "a.jpg"), "i.JPEG");
  EXPECT_EQ(Step(NavigateMode::Next, "i.JPEG"), "");
  EXPECT_EQ(FindImageFormat(u"x.PNG", TestFormats()), TestFormats().LookupByExtension(u"x.png"));
  EXPECT_GE(FindImageFormat(u"x.jpeg", TestFormats()), 0);
  EXPECT_EQ(FindImageFormat(u"x.jpegx", TestFormats()), -1);
  EXPECT_EQ(FindImageFormat(u"x.", TestFormats()), -1);
  // A name without a dot is taken whole as its extension.
  EXPECT_EQ(FindImageFormat(u"jpg", TestFormats()), FindImageFormat(u"a.jpg", TestFormats()));
  EXPECT_EQ(FindImageFormat(u"x.gif", TestFormats()), -1);
}

TEST_F(NavigateTest, RememberedDirectionAndSameDirection) {
  dir.Write("1.jpg", "");
  dir.Write("2.jpg", "");
  dir.Write("3.jpg", "");
  EXPECT_EQ(nav.Direction(), kDirectionNone);
  EXPECT_EQ(Step(NavigateMode::SameDirection, "2.jpg"), "3.jpg");  // unset: forward
  EXPECT_EQ(Step(NavigateMode::Previous, "3.jpg"), "2.jpg");
  EXPECT_EQ(nav.Direction(), kDirectionBackward);
  EXPECT_EQ(Step(NavigateMode::SameDirection, "2.jpg"), "1.jpg");
  // First and Last leave it alone.
  EXPECT_EQ(Step(NavigateMode::Last, "2.jpg"), "3.jpg");
  EXPECT_EQ(nav.Direction(), kDirectionBackward);
  // At the start going back, the other direction runs and is remembered.
  EXPECT_EQ(Step(NavigateMode::SameDirection, "1.jpg"), "2.jpg");
  EXPECT_EQ(nav.Direction(), kDirectionForward);
  EXPECT_EQ(Step(NavigateMode::Next, "3.jpg"), "");
  EXPECT_EQ(nav.Direction(), kDirectionForward);
}

TEST_F(NavigateTest, BadArgumentsAndCurrentMode) {
  dir.Write("a.jpg", "");
  std::u16string out;
  EXPECT_FALSE(NavigateFolder(nav, &slot, NavigateMode::Next, &out, u""));
  EXPECT_FALSE(NavigateFolder(nav, &slot, static_cast<NavigateMode>(6), &out, P("a.jpg")));
  EXPECT_FALSE(NavigateFolder(nav, &slot, NavigateMode::Next, &out, u"a.jpg"));  // no folder
  EXPECT_TRUE(NavigateFolder(nav, &slot, NavigateMode::Current, &out, P("a.jpg")));
  EXPECT_EQ(out, P("a.jpg"));
  EXPECT_FALSE(NavigateFolder(nav, &slot, NavigateMode::Current, &out, P("gone.jpg")));
  // A folder that cannot be listed gives nothing.
  RefPtr<FolderListing> other;
  EXPECT_FALSE(NavigateFolder(nav, &other, NavigateMode::Next, &out, P("missing/x.jpg")));
}

TEST_F(NavigateTest, OutputMayBeTheCurrentPath) {
  dir.Write("a.jpg", "");
  dir.Write("b.jpg", "");
  std::u16string path = P("a.jpg");
  ASSERT_TRUE(NavigateFolder(nav, &slot, NavigateMode::Next, &path, path));
  EXPECT_EQ(path, P("b.jpg"));
}

TEST_F(NavigateTest, CancelStopsTheWalk) {
  dir.Write("a.jpg", "");
  dir.Write("b.jpg", "");
  CancelFlag cancel;
  cancel.Set();
  std::u16string out;
  EXPECT_FALSE(NavigateFolder(nav, &slot, NavigateMode::Next, &out, P("a.jpg"), &cancel));
}

TEST_F(NavigateTest, SlotListingIsReusedUntilInvalid) {
  dir.Write("a.jpg", "");
  dir.Write("c.jpg", "");
  EXPECT_EQ(Step(NavigateMode::Next, "a.jpg"), "c.jpg");
  RefPtr<FolderListing> first = slot;
  // Without a listener nobody watches: a new file is not seen by the old listing.
  dir.Write("b.jpg", "");
  EXPECT_EQ(Step(NavigateMode::Next, "a.jpg"), "c.jpg");
  EXPECT_EQ(slot.get(), first.get());
  // With a listener the change invalidates it and the next step rescans.
  struct Quiet : FolderChangeListener {
    void OnFolderChanged() override { n++; }
    std::atomic<int> n{0};
  } listener;
  slot->AddListener(&listener);
  dir.Write("ab.jpg", "");
  ASSERT_TRUE(test::WaitUntil([&] { return listener.n.load() > 0; }));
  EXPECT_EQ(Step(NavigateMode::Next, "a.jpg"), "ab.jpg");
  EXPECT_NE(slot.get(), first.get());
  first->RemoveListener(&listener);
}

#ifndef _WIN32
// On a case-sensitive file system "A.jpg" and "a.jpg" are two files; stepping
// must reach both and must not bounce between them.
TEST_F(NavigateTest, NamesDifferingOnlyInCaseAreAllVisited) {
  dir.Write("A.jpg", "");
  dir.Write("a.jpg", "");
  dir.Write("b.jpg", "");
  std::vector<std::string> seen = {Step(NavigateMode::First, "zzz.jpg")};
  while (seen.size() < 5) {
    std::string n = Step(NavigateMode::Next, seen.back());
    if (n.empty()) break;
    seen.push_back(n);
  }
  EXPECT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen.back(), "b.jpg");
}
#endif

TEST_F(NavigateTest, ThousandsOfOtherFiles) {
  for (int i = 0; i < 3000; ++i) dir.Write("doc" + std::to_string(i) + ".txt", "");
  dir.Write("x1.png", "");
  dir.Write("x2.png", "");
  EXPECT_EQ(Step(NavigateMode::Next, "x1.png"), "x2.png");
  EXPECT_EQ(Step(NavigateMode::Next, "x2.png"), "");
  EXPECT_EQ(Step(NavigateMode::First, "x2.png"), "x1.png");
}

}  // namespace
}  // namespace vt
