#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <vector>

#include "platform/gtk/gtk_platform.h"

#include <gtk/gtk.h>

namespace vt {
namespace {

// Needs an X display of its own with no window manager: the screen test
// script runs it under a virtual one and sets VISTREL_GTK_DISPLAY_TESTS.
class GtkWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::getenv("VISTREL_GTK_DISPLAY_TESTS")) GTEST_SKIP() << "runs under the virtual display only";
    platform_ = CreateGtkPlatform(nullptr, nullptr);
    ASSERT_TRUE(platform_);
  }
  // Runs the loop until done() or a few seconds passed.
  bool PumpUntil(const std::function<bool()>& done) {
    const uint64_t end = platform_->TickCount() + 3000;
    while (!done() && platform_->TickCount() < end) {
      platform_->PumpPendingMessages();
      g_usleep(10000);
    }
    platform_->PumpPendingMessages();
    return done();
  }
  // The screen's pixel as 0xRRGGBB.
  static uint32_t ScreenPixel(int x, int y) {
    GdkPixbuf* p = gdk_pixbuf_get_from_window(gdk_get_default_root_window(), x, y, 1, 1);
    if (!p) return 0xFFFFFFFFu;
    const guchar* d = gdk_pixbuf_read_pixels(p);
    const uint32_t v = uint32_t{d[0]} << 16 | uint32_t{d[1]} << 8 | d[2];
    g_object_unref(p);
    return v;
  }
  std::unique_ptr<Platform> platform_;
};

struct RedWindow : WindowEvents {
  void OnCloseRequest() override {}
  void OnDestroyed() override {}
  void OnPaint(PaintTarget& target, const ViewRect& dirty) override {
    target.Fill({0, 0, 100, 50}, colour);
    ++paints;
    lastDirty = dirty;
  }
  void OnSize(ViewSize size, ShowState) override { sizes.push_back(size); }
  uint32_t colour = 0xFF0000;
  int paints = 0;
  ViewRect lastDirty;
  std::vector<ViewSize> sizes;
};

TEST_F(GtkWindowTest, RepaintIsOnScreenWhenItReturns) {
  RedWindow events;
  WindowCreateParams params;
  params.title = u"repaint";
  params.clientTopLeft = {300, 300};
  params.clientSize = {100, 50};
  params.frame = FrameStyle::kFrameless;
  auto window = platform_->NewWindow(events, params);
  ASSERT_TRUE(window);
  ASSERT_TRUE(PumpUntil([&] { return events.paints > 0 && ScreenPixel(350, 325) == 0xFF0000; }));
  // No message is pumped between the request and the look at the screen.
  for (const uint32_t colour : {0x00FF00u, 0x0000FFu, 0xFF0000u}) {
    const int before = events.paints;
    events.colour = colour;
    window->Repaint();
    EXPECT_GT(events.paints, before);
    EXPECT_EQ(ScreenPixel(350, 325), colour);
  }
  // Hidden, nothing is painted until it is shown again.
  window->Hide();
  PumpUntil([&] { return !window->IsVisible(); });
  const int hidden = events.paints;
  events.colour = 0x00FF00;
  window->Repaint();
  EXPECT_EQ(events.paints, hidden);
  window->Show(ShowState::kNormal, false);
  EXPECT_TRUE(PumpUntil([&] { return ScreenPixel(350, 325) == 0x00FF00u; }));
}

TEST_F(GtkWindowTest, ThinBorderLiesOutsideTheClientArea) {
  RedWindow events;
  WindowCreateParams params;
  params.title = u"border";
  params.clientTopLeft = {100, 200};
  params.clientSize = {100, 50};
  params.frame = FrameStyle::kFramelessBorder;
  auto window = platform_->NewWindow(events, params);
  ASSERT_TRUE(window);
  ASSERT_TRUE(PumpUntil([&] { return events.paints > 0 && ScreenPixel(100, 200) == 0xFF0000; }));
  EXPECT_EQ(window->ClientOrigin(), (ViewPoint{100, 200}));
  EXPECT_EQ(window->ClientSize(), (ViewSize{100, 50}));
  EXPECT_EQ(window->WindowRect(), (ViewRect{99, 199, 201, 251}));
  // The paint is in client coordinates: the client's own corner is its 0, 0.
  EXPECT_EQ(events.lastDirty, (ViewRect{0, 0, 100, 50}));
  const uint32_t border = ScreenPixel(99, 199);
  EXPECT_NE(border, 0xFF0000u);
  EXPECT_NE(border, 0u);  // not the empty screen
  EXPECT_EQ(ScreenPixel(200, 250), border);
  EXPECT_EQ(ScreenPixel(150, 199), border);
  EXPECT_EQ(ScreenPixel(99, 225), border);
  EXPECT_EQ(ScreenPixel(199, 249), 0xFF0000u);
  EXPECT_EQ(ScreenPixel(98, 198), 0u);
  EXPECT_EQ(ScreenPixel(201, 251), 0u);

  // Without the border the client stays where it was.
  window->SetFrame(FrameStyle::kFrameless);
  EXPECT_TRUE(PumpUntil([&] {
    return ScreenPixel(99, 199) == 0 && ScreenPixel(200, 250) == 0 && window->ClientSize() == ViewSize{100, 50};
  }));
  // The bordered size the system reports once more after the switch is not
  // passed on as a change of the client.
  for (const ViewSize& size : events.sizes) EXPECT_EQ(size, (ViewSize{100, 50}));
  EXPECT_EQ(window->ClientOrigin(), (ViewPoint{100, 200}));
  EXPECT_EQ(window->ClientSize(), (ViewSize{100, 50}));
  EXPECT_EQ(window->WindowRect(), (ViewRect{100, 200, 200, 250}));
  EXPECT_EQ(ScreenPixel(100, 200), 0xFF0000u);
  EXPECT_EQ(ScreenPixel(200, 250), 0u);
}

}  // namespace
}  // namespace vt
