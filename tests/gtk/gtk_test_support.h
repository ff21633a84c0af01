#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "gtk/gtk_test_desktop.h"
#include "platform/platform.h"

// What the window tests of the toolkit back end share: a platform per test,
// its loop run until something holds, and the screen as the X server has it.
namespace vt {

// Runs the platform's loop until done() holds or ms have passed, then once
// more; what done() says after that.
bool PumpUntil(Platform& platform, const std::function<bool()>& done, int ms = 5000);

// The screen as the user sees it, 0xRRGGBB (with a compositing manager its
// picture is drawn on the root window); all ones when it cannot be read.
uint32_t ScreenPixel(int x, int y);

// Where the X server has a window's client area (default display).
ViewRect ServerClientRect(uintptr_t window);

// The frame the window manager says it put around a window: the widths of
// its left, top, right and bottom.
std::optional<ViewRect> ServerFrame(uintptr_t window);

// A client rectangle with the frame's widths around it.
ViewRect AroundClient(const ViewRect& client, const ViewRect& frame);

WindowCreateParams ClientParams(std::u16string title, ViewPoint clientTopLeft, ViewSize clientSize,
                                FrameStyle frame = FrameStyle::kFramed);

// Fills what it is asked to paint with one colour and notes what the window
// told it.
struct RecordingWindow : WindowEvents {
  explicit RecordingWindow(uint32_t fill) : colour(fill) {}
  void OnCloseRequest() override {}
  void OnDestroyed() override {}
  void OnPaint(PaintTarget& target, const ViewRect& dirty) override {
    target.Fill(dirty, colour);
    ++paints;
    lastDirty = dirty;
  }
  void OnSize(ViewSize size, ShowState) override { sizes.push_back(size); }
  void OnDroppedFiles(const std::vector<std::u16string>& paths) override { dropped.push_back(paths); }
  void OnDisplayChange() override { ++displayChanges; }

  uint32_t colour;
  int paints = 0;
  ViewRect lastDirty;
  std::vector<ViewSize> sizes;
  std::vector<std::vector<std::u16string>> dropped;
  int displayChanges = 0;
};

// A platform of the toolkit for each test, on the default display.
class GtkPlatformTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override { platform_.reset(); }
  bool PumpUntil(const std::function<bool()>& done, int ms = 5000) { return vt::PumpUntil(*platform_, done, ms); }
  void Pump(int ms) {
    PumpUntil([] { return false; }, ms);
  }

  std::unique_ptr<Platform> platform_;
};

// The same on the test program's own screen (TestDesktop).
class GtkDesktopPlatformTest : public GtkPlatformTest {
 protected:
  void SetUp() override;
  void TearDown() override;
  // Marks the test skipped when no window manager runs on the screen; false
  // then, and the test is to return.
  bool NeedWindowManager();

  TestDesktop* desktop_ = nullptr;
};

}  // namespace vt
