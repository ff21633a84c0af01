#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <string>

#include "gtk/gtk_test_support.h"
#include "image/image_buffer.h"

#include <gio/gio.h>
#include <gtk/gtk.h>

namespace vt {
namespace {

constexpr char kCompositor[] = "xcompmgr";

// Per-pixel transparent windows on the test's own screen, with and without a
// compositing manager running on it.
class GtkLayeredTest : public GtkDesktopPlatformTest {
 protected:
  void TearDown() override {
    StopCompositor();
    GtkDesktopPlatformTest::TearDown();
  }
  static bool Composited() { return gdk_screen_is_composited(gdk_screen_get_default()); }
  // Starts the compositing manager and waits until the toolkit knows of it;
  // false with the reason in why when it cannot be had.
  bool StartCompositor(std::string* why) {
    gchar* path = g_find_program_in_path(kCompositor);
    if (!path) {
      *why = "the compositing manager xcompmgr is not installed (Debian package xcompmgr)";
      return false;
    }
    g_free(path);
    GSubprocessLauncher* launcher =
        g_subprocess_launcher_new(static_cast<GSubprocessFlags>(G_SUBPROCESS_FLAGS_STDOUT_SILENCE |
                                                               G_SUBPROCESS_FLAGS_STDERR_SILENCE));
    g_subprocess_launcher_setenv(launcher, "DISPLAY", desktop_->Name().c_str(), TRUE);
    compositor_ = g_subprocess_launcher_spawn(launcher, nullptr, kCompositor, nullptr);
    g_object_unref(launcher);
    if (!compositor_ || !PumpUntil(&Composited)) {
      *why = "xcompmgr did not take over the screen";
      return false;
    }
    return true;
  }
  void StopCompositor() {
    if (!compositor_) return;
    g_subprocess_send_signal(compositor_, SIGTERM);
    g_subprocess_wait(compositor_, nullptr, nullptr);
    g_object_unref(compositor_);
    compositor_ = nullptr;
    // The next test finds the screen as it was, once the toolkit has seen
    // the compositing manager go.
    const gint64 end = g_get_monotonic_time() + 5000000;
    while (Composited() && g_get_monotonic_time() < end) {
      while (g_main_context_iteration(nullptr, FALSE)) {
      }
      g_usleep(5000);
    }
  }
  static bool Close(uint32_t a, uint32_t b) {
    for (int s = 0; s < 24; s += 8)
      if (std::abs(int(a >> s & 0xFF) - int(b >> s & 0xFF)) > 2) return false;
    return true;
  }

  GSubprocess* compositor_ = nullptr;
};

struct SolidWindow : RecordingWindow {
  SolidWindow() : RecordingWindow(0x00FF00) {}
};

// 100 x 50, straight alpha: the left third transparent, the middle third red
// at alpha 128, the right third opaque blue.
RefPtr<ImageBuffer> ThreeBands() {
  RefPtr<ImageBuffer> image = ImageBuffer::Create(PixelFormat::Bgra8, 100, 50);
  if (!image) return image;
  image->SetAlpha(AlphaMode::Straight);
  for (uint32_t y = 0; y < 50; ++y) {
    uint8_t* p = image->Row(y);
    for (uint32_t x = 0; x < 100; ++x, p += 4) {
      const uint8_t band = x < 33 ? 0 : x < 66 ? 1 : 2;
      // Blue, green, red, alpha; the transparent band holds a colour of its
      // own, which must not show.
      const uint8_t pixel[3][4] = {{255, 255, 255, 0}, {0, 0, 255, 128}, {255, 0, 0, 255}};
      for (int i = 0; i < 4; ++i) p[i] = pixel[band][i];
    }
  }
  return image;
}

TEST_F(GtkLayeredTest, TransparentPartsShowTheWindowBeneathUnderACompositor) {
  std::string why;
  if (!StartCompositor(&why)) GTEST_SKIP() << why << "; the per-pixel transparency check needs it";

  SolidWindow below;
  WindowCreateParams params = ClientParams(u"below", {300, 300}, {200, 100}, FrameStyle::kFrameless);
  auto background = platform_->NewWindow(below, params);
  ASSERT_TRUE(background);
  ASSERT_TRUE(PumpUntil([&] { return below.paints > 0 && ScreenPixel(400, 350) == 0x00FF00u; }));

  // As the viewer does: made hidden, switched to the layered style, then
  // presented from the display image.
  SolidWindow layeredEvents;
  layeredEvents.colour = 0xFF00FF;  // shows only if the window painted itself instead
  params.title = u"layered";
  params.visible = false;
  params.clientTopLeft = {2, 2};
  params.clientSize = {2, 2};
  auto layered = platform_->NewWindow(layeredEvents, params);
  ASSERT_TRUE(layered);
  ASSERT_TRUE(layered->SetLayered(true));
  EXPECT_TRUE(layered->IsLayered());
  RefPtr<ImageBuffer> image = ThreeBands();
  ASSERT_TRUE(image);
  ASSERT_TRUE(layered->PresentLayered(*image, {0, 0}, ViewPoint{350, 320}, {100, 50}, true));
  EXPECT_EQ(layered->ClientSize(), (ViewSize{100, 50}));

  // Red at half strength over green: 128 of red, 127 of green.
  const uint32_t half = 0x807F00;
  EXPECT_TRUE(PumpUntil([&] {
    return ScreenPixel(360, 340) == 0x00FF00u && Close(ScreenPixel(400, 340), half) &&
           ScreenPixel(440, 340) == 0x0000FFu;
  })) << std::hex << ScreenPixel(360, 340) << " " << ScreenPixel(400, 340) << " " << ScreenPixel(440, 340);
  // The edges: the window is exactly the image.
  EXPECT_EQ(ScreenPixel(449, 369), 0x0000FFu);
  EXPECT_EQ(ScreenPixel(450, 340), 0x00FF00u);
  EXPECT_EQ(ScreenPixel(440, 370), 0x00FF00u);
  EXPECT_EQ(layeredEvents.paints, 0);

  // A part further right, opaque: the window is a plain rectangle of the
  // image's colours, the transparent band's own white included.
  ASSERT_TRUE(layered->PresentLayered(*image, {20, 0}, ViewPoint{350, 320}, {40, 50}, false));
  EXPECT_TRUE(PumpUntil([&] {
    return ScreenPixel(355, 340) == 0xFFFFFFu && ScreenPixel(385, 340) == 0xFF0000u &&
           ScreenPixel(395, 340) == 0x00FF00u;
  })) << std::hex << ScreenPixel(355, 340) << " " << ScreenPixel(385, 340) << " " << ScreenPixel(395, 340);

  // Transparent again: nothing of the opaque picture stays behind.
  ASSERT_TRUE(layered->PresentLayered(*image, {0, 0}, std::nullopt, {100, 50}, true));
  EXPECT_TRUE(PumpUntil([&] {
    return ScreenPixel(355, 340) == 0x00FF00u && Close(ScreenPixel(385, 340), half) &&
           ScreenPixel(440, 340) == 0x0000FFu;
  })) << std::hex << ScreenPixel(355, 340) << " " << ScreenPixel(385, 340) << " " << ScreenPixel(440, 340);

  // Back to an ordinary window: it paints itself again.
  ASSERT_TRUE(layered->SetLayered(false));
  EXPECT_FALSE(layered->IsLayered());
  EXPECT_TRUE(PumpUntil([&] { return layeredEvents.paints > 0 && ScreenPixel(370, 340) == 0xFF00FFu; }));

  // The compositing manager goes away under a layered window: nothing would
  // show its transparency any more, so the window paints itself, and its
  // owner hears of the change.
  ASSERT_TRUE(layered->SetLayered(true));
  ASSERT_TRUE(layered->PresentLayered(*image, {0, 0}, std::nullopt, {100, 50}, true));
  ASSERT_TRUE(PumpUntil([&] { return ScreenPixel(360, 340) == 0x00FF00u; }));
  const int paints = layeredEvents.paints;
  layeredEvents.colour = 0x00FFFF;
  StopCompositor();
  EXPECT_FALSE(layered->IsLayered());
  EXPECT_EQ(layeredEvents.displayChanges, 1);
  EXPECT_TRUE(PumpUntil([&] { return layeredEvents.paints > paints && ScreenPixel(360, 340) == 0x00FFFFu; }))
      << std::hex << ScreenPixel(360, 340);
  EXPECT_FALSE(layered->SetLayered(true));
  EXPECT_EQ(below.displayChanges, 0);  // not layered: nothing changes for it
}

TEST_F(GtkLayeredTest, LayeredStyleIsRefusedWithoutACompositor) {
  ASSERT_FALSE(Composited()) << "a compositing manager runs on the test screen";
  SolidWindow events;
  WindowCreateParams params = ClientParams(u"plain", {300, 300}, {100, 50}, FrameStyle::kFrameless);
  auto window = platform_->NewWindow(events, params);
  ASSERT_TRUE(window);
  ASSERT_TRUE(PumpUntil([&] { return events.paints > 0; }));
  EXPECT_FALSE(window->SetLayered(true));
  EXPECT_FALSE(window->IsLayered());
  RefPtr<ImageBuffer> image = ThreeBands();
  ASSERT_TRUE(image);
  EXPECT_FALSE(window->PresentLayered(*image, {0, 0}, std::nullopt, {100, 50}, true));
  // Painted as an ordinary window.
  EXPECT_TRUE(window->SetLayered(false));
  events.colour = 0x0000FF;
  window->Repaint();
  EXPECT_TRUE(PumpUntil([&] { return ScreenPixel(350, 325) == 0x0000FFu; }));

  // A compositor that comes later does not help a window made without one;
  // a window made after it has the style.
  std::string why;
  if (!StartCompositor(&why)) return;
  EXPECT_FALSE(window->SetLayered(true));
  SolidWindow laterEvents;
  params.visible = false;
  auto later = platform_->NewWindow(laterEvents, params);
  ASSERT_TRUE(later);
  EXPECT_TRUE(later->SetLayered(true));
}

}  // namespace
}  // namespace vt
