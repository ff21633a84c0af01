#include "platform/gtk/gtk_clicks.h"

#include <gtest/gtest.h>

#include <vector>

namespace vt {
namespace {

using A = MouseAction;
constexpr ClickTracker::Limits kLimits{400, 5};

// A window of the other system that asked for double clicks sees a quick
// second click as press, release, double click, release: the presses alone
// are translated here, releases pass through unchanged.
TEST(ClickTracker, SecondQuickPressIsOnlyADoubleClick) {
  ClickTracker t;
  EXPECT_EQ(t.Press(1, 0, 1000, {10, 10}, kLimits), A::kPress);
  EXPECT_EQ(t.Press(1, 0, 1200, {10, 10}, kLimits), A::kDoubleClick);
}

TEST(ClickTracker, AfterADoubleClickTheNextPressStartsOver) {
  ClickTracker t;
  std::vector<A> got;
  for (uint32_t time : {1000u, 1100u, 1200u, 1300u, 1400u}) got.push_back(t.Press(1, 0, time, {5, 5}, kLimits));
  EXPECT_EQ(got, (std::vector<A>{A::kPress, A::kDoubleClick, A::kPress, A::kDoubleClick, A::kPress}));
}

TEST(ClickTracker, SlowOrDistantOrOtherPressesAreFirstPresses) {
  {
    ClickTracker t;
    EXPECT_EQ(t.Press(1, 0, 1000, {10, 10}, kLimits), A::kPress);
    EXPECT_EQ(t.Press(1, 0, 1400, {10, 10}, kLimits), A::kPress);        // exactly the limit is too slow
    EXPECT_EQ(t.Press(1, 0, 1799, {10, 10}, kLimits), A::kDoubleClick);  // but pairs with the one before
  }
  {
    ClickTracker t;
    EXPECT_EQ(t.Press(1, 0, 1000, {10, 10}, kLimits), A::kPress);
    EXPECT_EQ(t.Press(1, 0, 1100, {16, 10}, kLimits), A::kPress);  // moved 6 across
    EXPECT_EQ(t.Press(1, 0, 1200, {16, 4}, kLimits), A::kPress);        // moved 6 up from that
    EXPECT_EQ(t.Press(1, 0, 1300, {11, 9}, kLimits), A::kDoubleClick);  // 5 and 5: still inside
  }
  {
    ClickTracker t;  // another button between the two breaks the pair
    EXPECT_EQ(t.Press(1, 0, 1000, {10, 10}, kLimits), A::kPress);
    EXPECT_EQ(t.Press(1, 1, 1050, {10, 10}, kLimits), A::kPress);
    EXPECT_EQ(t.Press(1, 0, 1100, {10, 10}, kLimits), A::kPress);
    EXPECT_EQ(t.Press(1, 0, 1150, {10, 10}, kLimits), A::kDoubleClick);
  }
  {
    ClickTracker t;  // the second press in another window
    EXPECT_EQ(t.Press(1, 0, 1000, {10, 10}, kLimits), A::kPress);
    EXPECT_EQ(t.Press(2, 0, 1100, {10, 10}, kLimits), A::kPress);
  }
  {
    ClickTracker t;
    EXPECT_EQ(t.Press(1, 2, 1000, {10, 10}, kLimits), A::kPress);
    t.Forget();
    EXPECT_EQ(t.Press(1, 2, 1100, {10, 10}, kLimits), A::kPress);
  }
}

TEST(ClickTracker, SideButtonsAndTheClockWrappingAround) {
  ClickTracker t;
  EXPECT_EQ(t.Press(1, 4, 0xFFFFFF00u, {0, 0}, kLimits), A::kPress);
  EXPECT_EQ(t.Press(1, 4, 0x00000010u, {0, 0}, kLimits), A::kDoubleClick);  // 272 ms later
  // A clock that went backwards is not a quick second press.
  EXPECT_EQ(t.Press(1, 4, 5000, {0, 0}, kLimits), A::kPress);
  EXPECT_EQ(t.Press(1, 4, 4990, {0, 0}, kLimits), A::kPress);
}

TEST(UriList, LocalPathsInOrderDecoded) {
  const auto paths = LocalPathsOfUriList(
      "# dragged from a file manager\r\n"
      "file:///home/u/a%20b.png\r\n"
      "file://localhost/tmp/x.jpg\r\n"
      "https://example.com/y.png\r\n"
      "file:///home/u/%C3%A9t%C3%A9.gif\r\n");
  EXPECT_EQ(paths, (std::vector<std::u16string>{u"/home/u/a b.png", u"/tmp/x.jpg", u"/home/u/\u00e9t\u00e9.gif"}));
}

TEST(UriList, OtherHostsAndJunkGiveNothing) {
  EXPECT_TRUE(LocalPathsOfUriList("file://elsewhere.invalid/etc/passwd\r\n").empty());
  EXPECT_TRUE(LocalPathsOfUriList("").empty());
  EXPECT_TRUE(LocalPathsOfUriList("not a uri\nfile:relative.png\n").empty());
  // The last line need not end with a line break.
  EXPECT_EQ(LocalPathsOfUriList("file:///a.png"), std::vector<std::u16string>{u"/a.png"});
}

}  // namespace
}  // namespace vt
