#include "render/view_geometry.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>

#include "image/image_buffer.h"
#include "render/fake_screen.h"
#include "render/render_view.h"
#include "support/test_support.h"

namespace vt {
namespace {

using test::FakeMonitor;
using test::FakeScreen;
using test::FakeWindow;
using test::WindowCall;

// One 800 x 600 monitor whose task bar takes the bottom 40 pixels. At 96 dpi
// the fake frame is 8-pixel borders and a 23-pixel caption, so a framed
// window has 800 - 16 = 784 by 560 - 16 - 23 = 521 client pixels available.
FakeScreen OneMonitor() { return FakeScreen({{{0, 0, 800, 600}, {0, 0, 800, 560}, 96}}); }

// A second monitor to the right at 144 dpi (borders 12, caption 35).
FakeScreen TwoMonitors() {
  return FakeScreen({{{0, 0, 800, 600}, {0, 0, 800, 560}, 96},
                     {{800, 0, 1440, 480}, {800, 0, 1440, 480}, 144}});
}

RefPtr<ImageBuffer> Image(uint32_t w, uint32_t h, PixelFormat f = PixelFormat::Bgra8) {
  RefPtr<ImageBuffer> b = ImageBuffer::Create(f, w, h);
  EXPECT_TRUE(b);
  for (uint32_t y = 0; y < h; ++y) std::memset(b->Row(y), 0x80, size_t{w} * b->BytesPerPixel());
  return b;
}

// Display surfaces that can never be made: every scaled display buffer fails
// to allocate, without the test allocating anything large.
std::unique_ptr<DisplaySurface> NoSurface(const DisplayBitmapHeader&, const uint32_t*, size_t) {
  return nullptr;
}
struct FailingSurfaces {
  FailingSurfaces() { SetDisplaySurfaceFactory(&NoSurface); }
  ~FailingSurfaces() { SetDisplaySurfaceFactory(nullptr); }
};

// Display buffers of up to 64 x 64 pixels, no larger.
struct SmallSurface : DisplaySurface {
  explicit SmallSurface(size_t bytes) : bits(bytes) {}
  uint8_t* Bits() override { return bits.data(); }
  std::vector<uint8_t> bits;
};
std::unique_ptr<DisplaySurface> SmallSurfacesOnly(const DisplayBitmapHeader&, const uint32_t*,
                                                  size_t bytes) {
  if (bytes > 2 * 64 * 64 * 4) return nullptr;
  return std::make_unique<SmallSurface>(bytes);
}

ViewSize ShownSize(FakeWindow& w) {
  return {static_cast<int32_t>(w.View()->ShownWidth()),
          static_cast<int32_t>(w.View()->ShownHeight())};
}

void ExpectEveryMoveNested(const FakeWindow& w) {
  for (const WindowCall& c : w.calls) {
    if (c.kind == WindowCall::kRestore) continue;
    EXPECT_GE(c.geometryNesting, 1) << "call kind " << c.kind;
  }
  EXPECT_EQ(w.geometryNesting, 0);
}

TEST(ViewGeometryNoImage, EveryOperationIsANoOp) {
  FakeScreen screen = OneMonitor();
  FakeWindow w(screen, {10, 10}, {100, 100});
  SetZoom(w, 2.0);
  FitImageToWindow(w, true, false);
  FitWindowToImage(w, true);
  RestoreOriginalSize(w);
  TrimImageToWindow(w);
  for (uint32_t c = 20011; c <= 20027; ++c) RunZoomCommand(w, c);
  EXPECT_TRUE(w.NothingRecorded());
}

// --- fit image to window ---------------------------------------------------

TEST(FitImageToWindow, WideImageFitsByWidthAndFillsByHeight) {
  FakeScreen screen = OneMonitor();
  FakeWindow w(screen, {100, 100}, {400, 400});
  w.Show(Image(1000, 500));
  w.largerThanScreen = true;
  // Image aspect 2 >= window aspect 1: fit = 400 / 1000, fill = 400 / 500.
  FitImageToWindow(w, false, false);
  EXPECT_DOUBLE_EQ(w.View()->Zoom(), 0.4);
  EXPECT_EQ(ShownSize(w), (ViewSize{400, 200}));
  EXPECT_FALSE(w.largerThanScreen);
  ASSERT_EQ(w.calls.size(), 1u);
  EXPECT_EQ(w.calls[0].kind, WindowCall::kRefresh);
  EXPECT_EQ(w.titleUpdates, 1);
  FitImageToWindow(w, false, true);
  EXPECT_DOUBLE_EQ(w.View()->Zoom(), 0.8);
  EXPECT_EQ(ShownSize(w), (ViewSize{800, 400}));
  ExpectEveryMoveNested(w);
}

TEST(FitImageToWindow, TallImageFitsByHeightAndFillsByWidth) {
  FakeScreen screen = OneMonitor();
  FakeWindow w(screen, {100, 100}, {400, 300});
  w.Show(Image(500, 1000));
  // Image aspect 0.5 < window aspect 4/3: fit = 300 / 1000, fill = 400 / 500.
  FitImageToWindow(w, false, false);
  EXPECT_DOUBLE_EQ(w.View()->Zoom(), 0.3);
  EXPECT_EQ(ShownSize(w), (ViewSize{150, 300}));
  FitImageToWindow(w, false, true);
  EXPECT_DOUBLE_EQ(w.View()->Zoom(), 0.8);
  EXPECT_EQ(w.View()->ActiveTransforms(), 1);
}

TEST(FitImageToWindow, ZeroClientAreaGivesOnePixelWidth) {
  FakeScreen screen = OneMonitor();
  FakeWindow w(screen, {100, 100}, {0, 0});
  w.Show(Image(1000, 500));
  FitImageToWindow(w, false, false);
  EXPECT_DOUBLE_EQ(w.View()->Zoom(), 1.0 / 1000);
  // 1000 x 0.001 = 1; 500 x 0.001 = 0.5, which rounds up to 1.
  EXPECT_EQ(ShownSize(w), (ViewSize{1, 1}));
}

TEST(FitImageToWindow, WithResizeTheWindowFollowsTheImage) {
  FakeScreen screen = OneMonitor();
  FakeWindow w(screen, {100, 100}, {400, 400});
  w.centred = true;
  w.Show(Image(1000, 500));
  EXPECT_TRUE(RunZoomCommand(w, 20011));
  // Zoom 0.4 shows 400 x 200, centred on the old client centre (300, 300).
  ASSERT_EQ(w.calls.size(), 1u);
  EXPECT_EQ(w.calls[0].kind, WindowCall::kPlaceClient);
  EXPECT_EQ(w.origin, (ViewPoint{100, 200}));
  EXPECT_EQ(w.client, (ViewSize{400, 200}));
  ExpectEveryMoveNested(w);
}

TEST(FitImageToWindow, PositionAndSizePlaceTheFramedWindow) {
  FakeScreen screen = OneMonitor();
  FakeWindow w(screen, {50, 50}, {100, 100});
  w.Show(Image(600, 200));
  FitImageToWindow(w, false, false, ViewPoint{200, 150}, ViewSize{300, 100});
  EXPECT_DOUBLE_EQ(w.View()->Zoom(), 0.5);  // equal aspects: 300 / 600
  // Window = client + 8-pixel borders each side + 23-pixel caption:
  // left 200 - 8, top 150 - 8 - 23, width 300 + 16, height 100 + 23 + 16.
  ASSERT_EQ(w.calls.size(), 1u);
  EXPECT_EQ(w.calls[0].kind, WindowCall::kPlaceWindow);
  EXPECT_EQ(w.calls[0].at, (ViewPoint{192, 119}));
  EXPECT_EQ(w.calls[0].size, (ViewSize{316, 139}));
  EXPECT_EQ(w.origin, (ViewPoint{200, 150}));
  EXPECT_EQ(w.client, (ViewSize{300, 100}));
  ExpectEveryMoveNested(w);
}

TEST(FitImageToWindow, NarrowWindowIsRaisedToTheMinimumWidthAroundTheClient) {
  FakeScreen screen = OneMonitor();
  FakeWindow w(screen, {50, 50}, {100, 100});
  w.Show(Image(202, 100));
  // 101 + 16 = 117 < 136: grows by 19; the left edge moves by ceil(19 / 2) = 10.
  FitImageToWindow(w, false, false, ViewPoint{200, 150}, ViewSize{101, 50});
  ASSERT_EQ(w.calls.size(), 1u);
  EXPECT_EQ(w.calls[0].at, (ViewPoint{182, 119}));
  EXPECT_EQ(w.calls[0].size, (ViewSize{136, 50 + 23 + 16}));
  EXPECT_EQ(w.client, (ViewSize{120, 50}));  // the client grew by the same 19
  w.ClearRecord();
  // Without a position the window keeps its place and only changes size.
  FitImageToWindow(w, false, false, std::nullopt, ViewSize{100, 50});
  ASSERT_EQ(w.calls.size(), 1u);
  EXPECT_EQ(w.calls[0].at, std::nullopt);
  EXPECT_EQ(w.calls[0].size, (ViewSize{136, 89}));
}

TEST(FitImageToWindow, FramelessWindowIsPresentedInstead) {
  FakeScreen screen = OneMonitor();
  FakeWindow w(screen, {50, 50}, {100, 100});
  w.alwaysFramed = false;
  w.frameless = true;
  w.Show(Image(600, 200));
  FitImageToWindow(w, false, false, ViewPoint{200, 150}, ViewSize{300, 100});
  ASSERT_EQ(w.calls.size(), 1u);
  EXPECT_EQ(w.calls[0].kind, WindowCall::kPresent);
  EXPECT_EQ(w.calls[0].at, (ViewPoint{200, 150}));
  EXPECT_EQ(w.calls[0].size, (ViewSize{300, 100}));
}

TEST(FitImageToWindow, FrozenOrFullScreenWindowIsNotResized) {
  FakeScreen screen = OneMonitor();
  FakeWindow w(screen, {0, 0}, {800, 600});
  w.maximized = true;
  w.Show(Image(1600, 400));
  FitImageToWindow(w, true, false);
  EXPECT_DOUBLE_EQ(w.View()->Zoom(), 0.5);
  ASSERT_EQ(w.calls.size(), 1u);
  EXPECT_EQ(w.calls[0].kind, WindowCall::kRefresh);
  EXPECT_TRUE(w.maximized);
}

// --- set zoom --------------------------------------------------------------

TEST(SetZoom, KeepsTheCentrePointAndSizesTheWindowAroundIt) {
  FakeScreen screen = OneMonitor();
  FakeWindow w(screen, {100, 100}, {200, 100});
  w.Show(Image(300, 200));
  w.scroll = {50, 40};
  SetZoom(w, 2.0);
  // Centre in image pixels: ((200/2 + 50) / 1, (100/2 + 40) / 1) = (150, 90).
  // Display 600 x 400 fits the 800 x 560 work area: the client takes it,
  // centred on the old client centre (200, 150): top-left (-100, -50).
  // Scroll = (150 x 2 - 300, 90 x 2 - 200) = (0, -20).
  EXPECT_EQ(w.View()->Zoom(), 2.0);
  EXPECT_EQ(ShownSize(w), (ViewSize{600, 400}));
  EXPECT_EQ(w.client, (ViewSize{600, 400}));
  EXPECT_EQ(w.origin, (ViewPoint{-100, -50}));
  EXPECT_EQ(w.scroll, (ViewPoint{0, -20}));
  EXPECT_FALSE(w.largerThanScreen);
  EXPECT_EQ(w.titleUpdates, 1);
  EXPECT_EQ(w.cursorUpdates, 1);
  ExpectEveryMoveNested(w);

  // Zoom 4: 1200 x 800 exceeds the work area; the client stops at 800 x 560.
  // Centre from the new state: ((600/2 + 0) / 2, (400/2 - 20) / 2) = (150, 90).
  // Old client centre (-100 + 300, -50 + 200) = (200, 150); top-left (200 - 400, 150 - 280).
  // Scroll = (150 x 4 - 400, 90 x 4 - 280) = (200, 80).
  SetZoom(w, 4.0);
  EXPECT_TRUE(w.largerThanScreen);
  EXPECT_EQ(w.client, (ViewSize{800, 560}));
  EXPECT_EQ(w.origin, (ViewPoint{-200, -130}));
  EXPECT_EQ(w.scroll, (ViewPoint{200, 80}));
}

TEST(SetZoom, FullScreenWindowKeepsItsClientArea) {
  FakeScreen screen = OneMonitor();
  FakeWindow w(screen, {0, 0}, {800, 600});
  w.maximized = true;
  w.Show(Image(1600, 1200));
  FitImageToWindow(w, false, false);  // 0.5: display 800 x 600
  ASSERT_EQ(w.View()->Zoom(), 0.5);
  w.ClearRecord();
  SetZoom(w, 1.0);
  // Centre (400 / 0.5, 300 / 0.5) = (800, 600); scroll (800 - 400, 600 - 300).
  // Against the whole monitor (full screen) 1600 x 1200 is larger.
  EXPECT_EQ(w.client, (ViewSize{800, 600}));
  EXPECT_EQ(w.origin, (ViewPoint{0, 0}));
  EXPECT_EQ(w.scroll, (ViewPoint{400, 300}));
  EXPECT_TRUE(w.largerThanScreen);
  EXPECT_EQ(w.View()->ActiveTransforms(), 0);
}

TEST(SetZoom, TopmostWindowMayUseTheWholeMonitor) {
  FakeScreen screen = OneMonitor();
  for (bool topmost : {false, true}) {
    FakeWindow w(screen, {100, 0}, {100, 100});
    w.topmost = topmost;
    w.Show(Image(100, 100));
    SetZoom(w, 5.8);
    // 580 x 580: taller than the 560-pixel work area, not than the 600-pixel monitor.
    EXPECT_EQ(w.largerThanScreen, !topmost);
    EXPECT_EQ(w.client, (ViewSize{580, topmost ? 580 : 560}));
  }
}

TEST(SetZoom, SameZoomDoesNothingAtAll) {
  FakeScreen screen = OneMonitor();
  FakeWindow w(screen, {100, 100}, {200, 200});
  w.Show(Image(100, 100));
  SetZoom(w, 2.0);
  ImageBuffer* display = w.View()->DisplayImage();
  w.ClearRecord();
  SetZoom(w, 2.0);
  EXPECT_TRUE(w.NothingRecorded());
  EXPECT_EQ(w.View()->DisplayImage(), display);  // not even rendered again
}

TEST(SetZoom, NeverBelowTwoPixels) {
  FakeScreen screen = OneMonitor();
  FakeWindow w(screen, {100, 100}, {200, 200});
  w.Show(Image(3, 3));
  // Sizes round by adding a half: 3 x 0.5 + 0.5 = 2 pixels, allowed;
  // 3 x 0.49 + 0.5 = 1.97, cut to 1 pixel, refused.
  SetZoom(w, 0.49);
  EXPECT_EQ(w.View()->Zoom(), 1.0);
  EXPECT_TRUE(w.NothingRecorded());
  SetZoom(w, 0.5);
  EXPECT_EQ(w.View()->Zoom(), 0.5);
  EXPECT_EQ(ShownSize(w), (ViewSize{2, 2}));
  // One more step out: 3 x 0.42 + 0.5 = 1.76 -> 1, refused.
  w.ClearRecord();
  RunZoomCommand(w, 20026);
  EXPECT_EQ(w.View()->Zoom(), 0.5);
  EXPECT_TRUE(w.NothingRecorded());

  // Either direction alone is enough to refuse.
  FakeWindow tall(screen, {100, 100}, {200, 200});
  tall.Show(Image(3, 100));
  SetZoom(tall, 0.4);  // 100 x 0.4 = 40, but 3 x 0.4 + 0.5 = 1.7 -> 1
  EXPECT_EQ(tall.View()->Zoom(), 1.0);
}

TEST(SetZoom, FactorsThatAreNoSizeAreRefused) {
  FakeScreen screen = OneMonitor();
  FakeWindow w(screen, {100, 100}, {200, 200});
  w.Show(Image(10, 10));
  for (double z : {0.0, -2.0, std::numeric_limits<double>::infinity(),
                   std::numeric_limits<double>::quiet_NaN()})
    SetZoom(w, z);
  EXPECT_EQ(w.View()->Zoom(), 1.0);
  EXPECT_TRUE(w.NothingRecorded());
}

TEST(SetZoom, QuarterOctaveStepsDoubleAndHalve) {
  FakeScreen screen = OneMonitor();
  FakeWindow w(screen, {100, 100}, {200, 200});
  w.Show(Image(100, 100));
  for (int i = 0; i < 4; ++i) EXPECT_TRUE(RunZoomCommand(w, 20025));
  EXPECT_NEAR(w.View()->Zoom(), 2.0, 1e-12);
  EXPECT_EQ(ShownSize(w), (ViewSize{200, 200}));
  for (int i = 0; i < 8; ++i) RunZoomCommand(w, 20026);
  EXPECT_NEAR(w.View()->Zoom(), 0.5, 1e-12);
  EXPECT_EQ(ShownSize(w), (ViewSize{50, 50}));
  // In and out are inverse steps.
  EXPECT_NEAR(kZoomStepIn * kZoomStepOut, 1.0, 1e-15);
  EXPECT_NEAR(kZoomStepIn * kZoomStepIn * kZoomStepIn * kZoomStepIn, 2.0, 1e-14);
}

TEST(SetZoom, PresetCommands) {
  const std::pair<uint32_t, double> presets[] = {
      {20016, 0.125}, {20017, 0.25}, {20018, 0.5}, {20019, 0.75}, {20020, 1.0},
      {20021, 1.5},   {20022, 2.0},  {20023, 4.0}, {20024, 8.0}};
  for (auto [command, factor] : presets)
    EXPECT_EQ(PresetZoom(static_cast<ZoomCommand>(command)), factor) << command;
  EXPECT_EQ(PresetZoom(ZoomCommand::kZoomIn), std::nullopt);

  FakeScreen screen = OneMonitor();
  FakeWindow w(screen, {100, 100}, {200, 200});
  w.Show(Image(64, 64));
  EXPECT_TRUE(RunZoomCommand(w, 20016));
  EXPECT_EQ(w.View()->Zoom(), 0.125);  // exactly 1/8, though named 12 %
  EXPECT_EQ(ShownSize(w), (ViewSize{8, 8}));
  EXPECT_FALSE(RunZoomCommand(w, 20015));
  EXPECT_FALSE(RunZoomCommand(w, 20028));
}

TEST(SetZoom, WaitCursorFrom128MiB) {
  FakeScreen screen = OneMonitor();
  struct Case {
    PixelFormat format;
    double zoom;
    bool busy;
  };
  // 4 bytes a pixel: 5792^2 x 4 = 134 189 056 < 134 217 728 <= 5793^2 x 4 = 134 235 396.
  // 1 byte a pixel (palette): 11585^2 = 134 212 225 < 134 217 728 <= 11586^2.
  const Case cases[] = {{PixelFormat::Bgra8, 57.92, false},
                        {PixelFormat::Bgra8, 57.93, true},
                        {PixelFormat::Indexed8, 115.85, false},
                        {PixelFormat::Indexed8, 115.86, true}};
  for (const Case& c : cases) {
    FakeWindow w(screen, {100, 100}, {100, 100});
    w.Show(Image(100, 100, c.format));
    FailingSurfaces failing;  // nothing that large is really made
    SetZoom(w, c.zoom);
    const std::vector<bool> expected = c.busy ? std::vector<bool>{true, false} : std::vector<bool>{};
    EXPECT_EQ(w.busyChanges, expected) << c.zoom;
  }
}

TEST(SetZoom, AZoomThatCannotBeMadeReturnsToThePreviousZoom) {
  FakeScreen screen = OneMonitor();
  FakeWindow w(screen, {100, 100}, {32, 32});
  w.Show(Image(64, 64));
  SetZoom(w, 0.5);
  ASSERT_EQ(w.View()->Zoom(), 0.5);
  w.ClearRecord();
  const ViewPoint origin = w.origin;
  SetDisplaySurfaceFactory(&SmallSurfacesOnly);
  SetZoom(w, 2.0);  // 128 x 128: no display buffer to be had
  SetDisplaySurfaceFactory(nullptr);
  EXPECT_EQ(w.View()->Zoom(), 0.5);
  EXPECT_EQ(ShownSize(w), (ViewSize{32, 32}));
  EXPECT_EQ(w.notAllowedChanges, (std::vector<bool>{true, false}));
  EXPECT_FALSE(w.largerThanScreen);
  EXPECT_EQ(w.origin, origin);
  EXPECT_TRUE(w.calls.empty());
  EXPECT_EQ(w.View()->ActiveTransforms(), 1);
}

// A zoom far beyond memory for the whole enlarged image is not refused: the
// view shows it in parts, and the geometry measures the whole of it.
TEST(SetZoom, AHugeZoomIsTakenAndShownInParts) {
  FakeScreen screen = OneMonitor();
  FakeWindow w(screen, {100, 100}, {64, 64});
  ViewFlags plain;  // memory buffers only: a whole one would fail at its size
  w.Show(Image(64, 64), plain);
  SetZoom(w, 50000.0);  // 3.2 million pixels square
  EXPECT_EQ(w.View()->Zoom(), 50000.0);
  EXPECT_TRUE(w.View()->DisplayTiled());
  EXPECT_EQ(ShownSize(w), (ViewSize{3200000, 3200000}));
  EXPECT_TRUE(w.notAllowedChanges.empty());
  EXPECT_TRUE(w.largerThanScreen);
  // The window fills the work area, centred on the image's centre.
  EXPECT_EQ(w.client, (ViewSize{800, 560}));
  EXPECT_EQ(w.scroll, (ViewPoint{32 * 50000 - 400, 32 * 50000 - 280}));
}

TEST(SetZoom, AShrinkThatCannotBeMadeShowsTheImageAtActualSize) {
  FakeScreen screen = OneMonitor();
  FakeWindow w(screen, {100, 100}, {64, 64});
  w.Show(Image(64, 64));
  FailingSurfaces failing;
  SetZoom(w, 0.5);
  // The render falls back to 1.0, which is not below 0.5: the view stays at
  // 1.0 and the window fits that. The centre (32, 32) is found again in the
  // image as shown: scroll = 32 x 1.0 - 32 = 0.
  EXPECT_EQ(w.View()->Zoom(), 1.0);
  EXPECT_EQ(w.View()->ActiveTransforms(), 0);
  EXPECT_TRUE(w.notAllowedChanges.empty());
  EXPECT_EQ(w.client, (ViewSize{64, 64}));
  EXPECT_EQ(w.origin, (ViewPoint{100, 100}));
  EXPECT_EQ(w.scroll, (ViewPoint{0, 0}));
}

// --- fit window to image ---------------------------------------------------

struct PullBackCase {
  ViewPoint from;
  ViewPoint to;
};

TEST(FitWindowToImage, OnlyAWindowWhollyOutsideIsBroughtBack) {
  FakeScreen screen = OneMonitor();
  // A 200 x 100 image, framed: available 784 x 521 from (0, 0).
  const PullBackCase cases[] = {
      {{900, 100}, {584, 100}},   // past the right edge: 784 - 200
      {{-250, 100}, {0, 100}},    // past the left edge
      {{-200, 100}, {0, 100}},    // ends exactly at the left edge: nothing visible
      {{100, 600}, {100, 421}},   // below the bottom: 521 - 100
      {{100, -150}, {100, 0}},    // above the top
      {{700, 100}, {700, 100}},   // partly outside: stays
      {{-199, -99}, {-199, -99}}, // one pixel inside: stays
      {{783, 520}, {783, 520}},
      {{784, 521}, {584, 421}},
  };
  for (const PullBackCase& c : cases) {
    FakeWindow w(screen, c.from, {50, 50});
    w.Show(Image(200, 100));
    FitWindowToImage(w, true);
    ASSERT_EQ(w.calls.size(), 1u);
    EXPECT_EQ(w.calls[0].kind, WindowCall::kPlaceClient);
    EXPECT_EQ(w.origin, c.to) << c.from.x << "," << c.from.y;
    EXPECT_EQ(w.client, (ViewSize{200, 100}));
    ExpectEveryMoveNested(w);
  }
}

TEST(FitWindowToImage, CentredPlacementAnchorsOnTheClientOrTheArea) {
  FakeScreen screen = OneMonitor();
  FakeWindow w(screen, {100, 100}, {300, 300});
  w.centred = true;
  w.Show(Image(200, 100));
  FitWindowToImage(w, true);  // client centre (250, 250) minus (100, 50)
  EXPECT_EQ(w.origin, (ViewPoint{150, 200}));
  // Centre of the work area (400, 280) minus (100, 50), then half the
  // 23-pixel caption (11) down.
  FitWindowToImage(w, false);
  EXPECT_EQ(w.origin, (ViewPoint{300, 241}));
  // Frameless: the caption plays no part.
  w.alwaysFramed = false;
  w.frameless = true;
  FitWindowToImage(w, false);
  EXPECT_EQ(w.origin, (ViewPoint{300, 230}));
}

TEST(FitWindowToImage, TooLargeImageIsFittedWhenAutomaticFitIsOn) {
  FakeScreen screen = OneMonitor();
  FakeWindow w(screen, {10, 10}, {100, 100});
  w.autoFit = true;
  w.Show(Image(400, 1000));
  FitWindowToImage(w, true);
  // 1000 > 521: width becomes round(521 x 400 / 1000) = round(208.4) = 208.
  // Fitting 400 x 1000 into 208 x 521: aspect 0.4 >= 0.3992, so the zoom is
  // 208 / 400 = 0.52 and the image shows 208 x 520. The window is placed
  // around that client: (10 - 8, 10 - 31), (208 + 16, 521 + 39).
  EXPECT_DOUBLE_EQ(w.View()->Zoom(), 0.52);
  EXPECT_EQ(ShownSize(w), (ViewSize{208, 520}));
  ASSERT_EQ(w.calls.size(), 1u);
  EXPECT_EQ(w.calls[0].kind, WindowCall::kPlaceWindow);
  EXPECT_EQ(w.calls[0].at, (ViewPoint{2, -21}));
  EXPECT_EQ(w.calls[0].size, (ViewSize{224, 560}));
  EXPECT_EQ(w.client, (ViewSize{208, 521}));
  ExpectEveryMoveNested(w);
}

TEST(FitWindowToImage, UserZoomLargerThanTheScreenIsKept) {
  FakeScreen screen = OneMonitor();
  for (bool autoFit : {false, true}) {
    FakeWindow w(screen, {10, 10}, {100, 100});
    w.autoFit = autoFit;
    w.largerThanScreen = autoFit;  // either condition stops the refit
    w.Show(Image(1000, 1000));
    FitWindowToImage(w, true);
    EXPECT_EQ(w.View()->Zoom(), 1.0);
    EXPECT_EQ(w.client, (ViewSize{784, 521}));
    EXPECT_EQ(w.origin, (ViewPoint{10, 10}));
  }
}

TEST(FitWindowToImage, FullScreenWindowIsRestoredFirst) {
  FakeScreen screen = OneMonitor();
  FakeWindow w(screen, {0, 0}, {800, 600});
  w.maximized = true;
  w.Show(Image(200, 100));
  FitWindowToImage(w, true);
  ASSERT_EQ(w.calls.size(), 2u);
  EXPECT_EQ(w.calls[0].kind, WindowCall::kRestore);
  EXPECT_EQ(w.calls[1].kind, WindowCall::kPlaceClient);
  EXPECT_FALSE(w.maximized);
}

TEST(FitWindowToImage, UsesTheFrameAndAreaOfItsOwnMonitor) {
  FakeScreen screen = TwoMonitors();
  // On the 144-dpi monitor: borders 12, caption 35; its area is 640 x 480 at
  // x = 800, so 640 - 24 = 616 by 480 - 24 - 35 = 421 are available.
  FakeWindow w(screen, {900, 100}, {100, 100});
  w.Show(Image(1000, 300));
  FitWindowToImage(w, true);
  EXPECT_EQ(w.client, (ViewSize{616, 300}));
  // Past the right edge of this monitor (800 + 616): brought back to 1416 - 616.
  FakeWindow off(screen, {1420, 100}, {100, 100});
  off.Show(Image(1000, 300));
  EXPECT_EQ(off.MonitorDpi(), 144u);
  FitWindowToImage(off, true);
  EXPECT_EQ(off.origin, (ViewPoint{800, 100}));
}

// --- restore original size -------------------------------------------------

TEST(RestoreOriginalSize, ActualSizeWithoutAutomaticFitAndTheSettingKept) {
  FakeScreen screen = OneMonitor();
  FakeWindow w(screen, {10, 10}, {200, 500});
  w.autoFit = true;
  w.Show(Image(400, 1000));
  FitImageToWindow(w, false, false);  // 0.5
  w.scroll = {7, 9};
  w.ClearRecord();
  EXPECT_TRUE(RunZoomCommand(w, 20013));
  // With automatic fit held off, the 1000-pixel image is not fitted into the
  // 521 available pixels: zoom 1.0 and the window stops at the area.
  EXPECT_EQ(w.View()->Zoom(), 1.0);
  EXPECT_EQ(w.View()->ActiveTransforms(), 0);
  EXPECT_EQ(w.scroll, (ViewPoint{0, 0}));
  EXPECT_EQ(w.client, (ViewSize{400, 521}));
  EXPECT_TRUE(w.autoFit);
  EXPECT_EQ(w.autoFitWrites, (std::vector<bool>{false, true}));
}

TEST(RestoreOriginalSize, FrozenWindowIsOnlyRepainted) {
  FakeScreen screen = OneMonitor();
  FakeWindow w(screen, {10, 10}, {200, 200});
  w.frozen = true;
  w.Show(Image(400, 400));
  FitImageToWindow(w, false, false);
  w.ClearRecord();
  RestoreOriginalSize(w);
  EXPECT_EQ(w.View()->Zoom(), 1.0);
  ASSERT_EQ(w.calls.size(), 1u);
  EXPECT_EQ(w.calls[0].kind, WindowCall::kRefresh);
  EXPECT_EQ(w.client, (ViewSize{200, 200}));
}

// --- trim image to window --------------------------------------------------

TEST(TrimImageToWindow, FullyVisibleImageIsLeftAlone) {
  FakeScreen screen = OneMonitor();
  FakeWindow w(screen, {10, 10}, {200, 100});
  w.Show(Image(200, 100));
  TrimImageToWindow(w);
  EXPECT_TRUE(w.NothingRecorded());
  EXPECT_TRUE(w.View()->Crop().IsNone());
}

TEST(TrimImageToWindow, CropIsTheVisiblePartInImagePixels) {
  FakeScreen screen = OneMonitor();
  FakeWindow w(screen, {10, 10}, {300, 200});
  w.Show(Image(400, 300));
  w.View()->SetZoomFactor(2.0);
  w.View()->DropDisplayLayer();
  RenderView(*w.View());
  w.scroll = {100, 50};
  EXPECT_TRUE(RunZoomCommand(w, 20014));
  // Display 800 x 600 through a 300 x 200 client at (100, 50): image pixels
  // from (50, 25), 150 x 100 of them. At zoom 2 they fill the client exactly.
  EXPECT_EQ(w.View()->Crop(), (CropRect{50, 25, 150, 100}));
  EXPECT_EQ(w.scroll, (ViewPoint{0, 0}));
  EXPECT_EQ(w.View()->Zoom(), 2.0);
  EXPECT_EQ(w.View()->ActiveTransforms(), 2);  // zoom and crop
  EXPECT_NE(w.View()->DisplayImage(), nullptr);
  EXPECT_EQ(w.titleUpdates, 1);
  ASSERT_EQ(w.calls.size(), 1u);
  EXPECT_EQ(w.calls[0].kind, WindowCall::kRefresh);
}

TEST(TrimImageToWindow, OnlyTheOverflowingDirectionIsCutAndCropsAccumulate) {
  FakeScreen screen = OneMonitor();
  FakeWindow w(screen, {10, 10}, {300, 400});
  w.Show(Image(400, 300));
  w.scroll = {30, 7};  // the vertical offset plays no part: 300 <= 400
  TrimImageToWindow(w);
  EXPECT_EQ(w.View()->Crop(), (CropRect{30, 0, 300, 300}));
  // A later trim adds to the offsets of the earlier one.
  w.client = {200, 400};
  w.scroll = {50, 0};
  TrimImageToWindow(w);
  EXPECT_EQ(w.View()->Crop(), (CropRect{80, 0, 200, 300}));
  EXPECT_EQ(w.View()->ActiveTransforms(), 1);
}

TEST(TrimImageToWindow, SinglePrecisionInverseZoom) {
  FakeScreen screen = OneMonitor();
  FakeWindow w(screen, {10, 10}, {600, 150});
  w.Show(Image(1000, 100));
  w.View()->SetZoomFactor(1.5);
  w.View()->DropDisplayLayer();
  RenderView(*w.View());
  ASSERT_EQ(ShownSize(w), (ViewSize{1500, 150}));
  w.scroll = {301, 0};
  TrimImageToWindow(w);
  // f = 1 / 1.5f = 0.6666667f: 301 f = 200.67 -> 200, 600 f = 400.00003 -> 400.
  // Height 150 is not more than the client's 150: kept whole at 150 / 1.5 = 100.
  EXPECT_EQ(w.View()->Crop(), (CropRect{200, 0, 400, 100}));
}

// --- print size ------------------------------------------------------------

TEST(PrintSizeZoom, MonitorDpiOverImageDpi) {
  RefPtr<ImageBuffer> image = Image(10, 10);
  EXPECT_EQ(PrintSizeZoom(*image, 96), std::nullopt);  // no resolution
  const std::pair<const char*, double> cases[] = {
      {"72 x 72 ppi", 96.0 / 72},
      {"300x150 ppi", 96.0 / 300},  // the horizontal value decides
      {"2835 x 2835 ppm", 96.0 / 72},  // 2835 x 0.0254 = 72.009 -> 72
      {"  96 ppi", 1.0},
  };
  for (auto [text, zoom] : cases) {
    image->Properties().Set(PropertyId::PixelDensity, test::U16(text));
    const std::optional<double> z = PrintSizeZoom(*image, 96);
    ASSERT_TRUE(z) << text;
    EXPECT_DOUBLE_EQ(*z, zoom) << text;
  }
  image->Properties().Set(PropertyId::PixelDensity, u"72 dpcm");
  EXPECT_EQ(PrintSizeZoom(*image, 96), std::nullopt);
  image->Properties().Set(PropertyId::PixelDensity, u"-72 ppi");
  EXPECT_EQ(PrintSizeZoom(*image, 96), std::nullopt);
}

TEST(PrintSizeZoom, CommandUsesTheWindowsMonitor) {
  FakeScreen screen = TwoMonitors();
  FakeWindow w(screen, {900, 100}, {100, 100});  // on the 144-dpi monitor
  RefPtr<ImageBuffer> image = Image(100, 100);
  image->Properties().Set(PropertyId::PixelDensity, u"72 x 72 ppi");
  w.Show(image);
  EXPECT_TRUE(RunZoomCommand(w, 20027));
  EXPECT_EQ(w.View()->Zoom(), 2.0);
  EXPECT_EQ(ShownSize(w), (ViewSize{200, 200}));

  FakeWindow none(screen, {100, 100}, {100, 100});
  none.Show(Image(100, 100));
  RunZoomCommand(none, 20027);
  EXPECT_EQ(none.View()->Zoom(), 1.0);
  EXPECT_TRUE(none.NothingRecorded());
}

}  // namespace
}  // namespace vt
