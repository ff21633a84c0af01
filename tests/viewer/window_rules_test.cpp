#include <gtest/gtest.h>

#include "viewer/window_rules.h"

namespace vt {
namespace {

// The headless screen's frame at 96 dpi: 8-pixel borders, a 23-pixel caption,
// 136 pixels of minimum tracking width. A framed window is 16 wider and 39
// higher than its client.
constexpr FrameMetrics kFrame{8, 8, 23, 136};
constexpr ViewRect kArea{0, 0, 1920, 1040};
// A 400 x 300 client at (108, 131).
constexpr ViewRect kOld{100, 100, 516, 439};

ViewSize ClientOf(const ViewRect& r) { return {r.Width() - 16, r.Height() - 39}; }

TEST(AspectLockTest, SideEdgesMakeTheHeightCentredOnTheOldWindow) {
  // Right edge 100 pixels out: a 500 wide client is 375 high; the 75 extra
  // pixels split around the old centre (-37 above, the rest below).
  const ViewRect right = AspectLockedWindowRect(SizingEdge::kRight, {100, 100, 616, 439}, kOld, {400, 300},
                                                kFrame, kArea);
  EXPECT_EQ(right, (ViewRect{100, 63, 616, 477}));
  EXPECT_EQ(ClientOf(right), (ViewSize{500, 375}));
  // The left edge keeps the right one.
  const ViewRect left = AspectLockedWindowRect(SizingEdge::kLeft, {0, 100, 516, 439}, kOld, {400, 300},
                                               kFrame, kArea);
  EXPECT_EQ(left, (ViewRect{0, 63, 516, 477}));
  // Shrinking works the same way: 200 wide is 150 high.
  const ViewRect narrow = AspectLockedWindowRect(SizingEdge::kRight, {100, 100, 316, 439}, kOld, {400, 300},
                                                 kFrame, kArea);
  EXPECT_EQ(ClientOf(narrow), (ViewSize{200, 150}));
}

TEST(AspectLockTest, TopAndBottomEdgesMakeTheWidthWithRounding) {
  // 400 high: 400 x 4 / 3 = 533.3, rounded to 533, centred: 133 more pixels,
  // 66 to the left.
  const ViewRect top = AspectLockedWindowRect(SizingEdge::kTop, {100, 0, 516, 439}, kOld, {400, 300},
                                              kFrame, kArea);
  EXPECT_EQ(top, (ViewRect{34, 0, 583, 439}));
  EXPECT_EQ(ClientOf(top), (ViewSize{533, 400}));
  // Half-way values round up: 201 x 3 / 2 = 301.5 -> 302.
  const ViewRect bottom = AspectLockedWindowRect(SizingEdge::kBottom, {100, 100, 516, 340}, kOld, {3, 2},
                                                 kFrame, kArea);
  EXPECT_EQ(ClientOf(bottom), (ViewSize{302, 201}));
  EXPECT_EQ(bottom.top, 100);
}

TEST(AspectLockTest, TheMadeSideStaysInsideTheArea) {
  // Near the bottom of the work area the grown window is pushed up.
  const ViewRect low{100, 700, 516, 1039};
  const ViewRect r = AspectLockedWindowRect(SizingEdge::kRight, {100, 700, 916, 1039}, low, {400, 300},
                                            kFrame, kArea);
  EXPECT_EQ(r, (ViewRect{100, 401, 916, 1040}));
  // Wider than the area's height allows: the height is the area's and the
  // width follows it (1001 x 4 / 3 = 1334.7 -> 1335).
  const ViewRect huge = AspectLockedWindowRect(SizingEdge::kRight, {100, 100, 2100, 439}, kOld, {400, 300},
                                               kFrame, kArea);
  EXPECT_EQ(huge, (ViewRect{100, 0, 1451, 1040}));
  // Centred sideways near the right edge of the area: pushed left.
  const ViewRect side{1700, 100, 1916, 339};
  const ViewRect tall = AspectLockedWindowRect(SizingEdge::kBottom, {1700, 100, 1916, 639}, side, {400, 300},
                                               kFrame, kArea);
  EXPECT_EQ(tall.right, 1920);
  EXPECT_EQ(ClientOf(tall), (ViewSize{667, 500}));
}

TEST(AspectLockTest, NeverNarrowerThanTheMinimumTrackingWidth) {
  // A tall image at 200 high would be 20 wide: the window stays 136 wide and
  // the height the user dragged to stays.
  const ViewRect r = AspectLockedWindowRect(SizingEdge::kBottom, {500, 100, 636, 339}, {500, 100, 636, 300},
                                            {100, 1000}, kFrame, kArea);
  EXPECT_EQ(r, (ViewRect{500, 100, 636, 339}));
  // Dragging a side edge below it: the width is raised and the height follows.
  const ViewRect s = AspectLockedWindowRect(SizingEdge::kLeft, {466, 100, 516, 439}, kOld, {400, 300},
                                            kFrame, kArea);
  EXPECT_EQ(s.Width(), 136);
  EXPECT_EQ(ClientOf(s), (ViewSize{120, 90}));
  EXPECT_EQ(s.right, 516);
}

TEST(AspectLockTest, CornersFollowTheWidthAndKeepTheOppositeCorner) {
  const ViewRect br = AspectLockedWindowRect(SizingEdge::kBottomRight, {100, 100, 716, 900}, kOld, {400, 300},
                                             kFrame, kArea);
  EXPECT_EQ(br, (ViewRect{100, 100, 716, 589}));
  const ViewRect tl = AspectLockedWindowRect(SizingEdge::kTopLeft, {0, 0, 516, 439}, kOld, {400, 300},
                                             kFrame, kArea);
  EXPECT_EQ(tl, (ViewRect{0, 25, 516, 439}));
  const ViewRect tr = AspectLockedWindowRect(SizingEdge::kTopRight, {100, 0, 616, 439}, kOld, {400, 300},
                                             kFrame, kArea);
  EXPECT_EQ(tr, (ViewRect{100, 25, 616, 439}));
}

TEST(KeepWindowReachableTest, AStripOfTheWindowStaysInTheWorkArea) {
  // 2 x 8 + 2 = 18 pixels each way, and the 23-pixel caption at the bottom.
  EXPECT_EQ(KeepWindowReachable({-1000, 100, -400, 500}, kArea, kFrame), (ViewRect{-582, 100, 18, 500}));
  EXPECT_EQ(KeepWindowReachable({1910, 100, 2510, 500}, kArea, kFrame), (ViewRect{1902, 100, 2502, 500}));
  EXPECT_EQ(KeepWindowReachable({100, 1020, 700, 1420}, kArea, kFrame), (ViewRect{100, 999, 700, 1399}));
  EXPECT_EQ(KeepWindowReachable({100, -600, 700, 10}, kArea, kFrame), (ViewRect{100, -592, 700, 18}));
  // Enough of it inside: untouched, however much hangs out.
  for (const ViewRect r : {ViewRect{-500, 100, 18, 500}, ViewRect{1902, 999, 2500, 1400}, ViewRect{10, 10, 200, 200}})
    EXPECT_EQ(KeepWindowReachable(r, kArea, kFrame), r);
  // A work area that does not start at the origin (a second monitor).
  const ViewRect second{1920, 0, 3840, 1040};
  EXPECT_EQ(KeepWindowReachable({100, 100, 600, 500}, second, kFrame), (ViewRect{1438, 100, 1938, 500}));
}

TEST(KeepHoverFrameOnAreaTest, MovesAsLittleAsTheFrameNeedsAndLeavesWindowsPutOffTheArea) {
  struct Case {
    ViewPoint at;
    ViewSize client;
    ViewPoint kept;
  };
  for (const Case& c : {
           Case{{100, 0}, {400, 300}, {100, 31}},         // caption and border above the top
           Case{{100, 800}, {400, 240}, {100, 792}},      // the bottom border below the bottom
           Case{{0, 100}, {400, 300}, {8, 100}},          // the left border
           Case{{1600, 100}, {320, 300}, {1592, 100}},    // the right border
           Case{{100, 500}, {400, 300}, {100, 500}},      // the frame fits already
           Case{{-50, 0}, {400, 300}, {-50, 31}},         // partly off the left: left as it is
           Case{{100, 5}, {400, 1030}, {100, 5}},         // framed, taller than the area
       }) {
    SCOPED_TRACE(testing::Message() << c.at.x << "," << c.at.y);
    EXPECT_EQ(KeepHoverFrameOnArea(c.at, c.client, kArea, kFrame), c.kept);
  }
  // The room to fit into keeps the area's middle whatever the parity.
  EXPECT_EQ(HoverFrameRoom(kArea, kFrame), (ViewRect{8, 20, 1912, 1021}));
  EXPECT_EQ(HoverFrameRoom({0, 0, 1920, 1041}, kFrame), (ViewRect{8, 19, 1912, 1021}));
}

TEST(LiesBesideTest, TenPixelsOfOverlapOrLessInEitherDirection) {
  const ViewRect first{0, 0, 1920, 1080};
  EXPECT_TRUE(LiesBeside(first, {1920, 0, 3840, 1080}));    // edge to edge
  EXPECT_TRUE(LiesBeside(first, {1912, -31, 3848, 1088}));  // a maximized frame 8 pixels across
  EXPECT_TRUE(LiesBeside(first, {1910, 0, 3840, 1080}));
  EXPECT_FALSE(LiesBeside(first, {1909, 0, 3840, 1080}));
  EXPECT_TRUE(LiesBeside(first, {0, 1075, 1920, 2155}));    // stacked monitors
  EXPECT_FALSE(LiesBeside(first, {100, 100, 500, 500}));
  EXPECT_TRUE(LiesBeside(first, {-3000, -3000, -2000, -2000}));  // far away
}

}  // namespace
}  // namespace vt
