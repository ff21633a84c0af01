#include <gtest/gtest.h>

#include "ui/popup_menu.h"
#include "viewer/view_command.h"
#include "viewer/viewer_fixture.h"

namespace vt::test {
namespace {

constexpr uint32_t kEnter = 0x0D, kEscape = 0x1B, kRight = 0x27, kDown = 0x28;

using ViewerContextMenuTest = ViewerFixture;

// The popup window on the fake screen while a menu runs: the visible window
// that is not the viewer.
HeadlessWindow* PopupWindow(HeadlessPlatform& platform, HeadlessWindow* viewer) {
  for (HeadlessWindow* w : platform.Windows())
    if (w != viewer && w->IsVisible() && w->IsTopmost()) return w;
  return nullptr;
}

TEST_F(ViewerContextMenuTest, RightButtonOpensTheMenuAtThePointerWithItsTextsDrawn) {
  Options().viewerTitleBar = 0;
  ViewerWindow* w = Open(dir.Write("a.bmp", SolidBmp(320, 240, 0x0000FF)));
  ASSERT_NE(w, nullptr);
  HeadlessWindow* viewer = Native(w);
  const ViewPoint origin = w->ClientOrigin();
  int looks = 0;
  platform.onNestedLoopIdle = [&] {
    ++looks;
    HeadlessWindow* popup = PopupWindow(platform, viewer);
    EXPECT_NE(popup, nullptr);
    if (!popup) return false;
    // Its corner (outside the one-pixel border) at the pointer.
    EXPECT_EQ(popup->ClientOrigin(), (ViewPoint{origin.x + 50 + 1, origin.y + 60 + 1}));
    // Every item shows its text: the bands of rows holding text pixels
    // (enabled or disabled) are the normal menu's twelve items.
    int bands = 0;
    bool inBand = false;
    for (int32_t y = 0; y < popup->ClientSize().height; ++y) {
      bool text = false;
      for (int32_t x = 0; x < popup->ClientSize().width && !text; ++x) {
        const uint32_t p = popup->Pixel(x, y);
        text = p == 0xFF202020u || p == 0xFFA0A0A0u;
      }
      bands += text && !inBand;
      inBand = text;
    }
    EXPECT_EQ(bands, 12);
    EXPECT_TRUE(platform.MenuCaptureActive());
    return false;  // nothing more comes: the loop ends without a choice
  };
  viewer->SendMouseButton(1, MouseAction::kPress, {50, 60});
  viewer->SendMouseButton(1, MouseAction::kRelease, {50, 60});
  EXPECT_EQ(looks, 1);
  EXPECT_EQ(OpenPopupCount(), 0u);
  EXPECT_EQ(w->View()->Zoom(), 1.0);
}

// Keys typed while the menu runs: down to "查看", into it, down to "放大",
// Enter: the window zooms in and its title says so.
TEST_F(ViewerContextMenuTest, KeysChooseFromASubmenuAndTheWindowReacts) {
  Options().viewerTitleBar = 0;
  ViewerWindow* w = Open(dir.Write("a.bmp", SolidBmp(320, 240, 0x0000FF)));
  ASSERT_NE(w, nullptr);
  const uintptr_t viewer = w->Window()->NativeHandle();
  for (int i = 0; i < 6; ++i) platform.PostKey(viewer, kDown);
  platform.PostKey(viewer, kRight);
  // Past the three window items and the five turns and mirrors.
  for (int i = 0; i < 8; ++i) platform.PostKey(viewer, kDown);
  platform.PostKey(viewer, kEnter);
  Native(w)->SendMouseButton(1, MouseAction::kRelease, {50, 60});
  platform.Pump();
  EXPECT_NEAR(w->View()->Zoom(), 1.189, 0.001);
  EXPECT_TRUE(TitleOf(w).ends_with(u" | 1.189x | Vistrel"));
  EXPECT_EQ(OpenPopupCount(), 0u);
}

// Escape closes the menu and nothing else (without the menu it closes the window).
TEST_F(ViewerContextMenuTest, EscapeClosesOnlyTheMenu) {
  ViewerWindow* w = Open(dir.Write("a.bmp", SolidBmp(64, 48, 0x0000FF)));
  ASSERT_NE(w, nullptr);
  const uintptr_t viewer = w->Window()->NativeHandle();
  platform.PostKey(viewer, kEscape);
  Native(w)->SendMouseButton(1, MouseAction::kRelease, {5, 5});
  platform.Pump();
  EXPECT_TRUE(w->Exists());
  EXPECT_EQ(OpenPopupCount(), 0u);
  EXPECT_EQ(w->View()->Zoom(), 1.0);
}

// The context-menu key opens the menu with its first item focused; the
// frozen window's menu is the short one.
TEST_F(ViewerContextMenuTest, MenuKeyOpensByKeyboardAndFrozenWindowsShowTheirMenu) {
  ViewerWindow* w = Open(dir.Write("a.bmp", SolidBmp(64, 48, 0x0000FF)), {u"-freeze"});
  ASSERT_NE(w, nullptr);
  const uintptr_t viewer = w->Window()->NativeHandle();
  // Focus on "冻结窗口" (unfreeze) already: Enter chooses it.
  platform.PostKey(viewer, kEnter);
  EXPECT_TRUE(Native(w)->SendKey(0x5D));
  platform.Pump();
  EXPECT_FALSE(w->IsFrozen());
  // Shift+F10 as well; Escape leaves it.
  platform.PostKey(viewer, kEscape);
  EXPECT_TRUE(Native(w)->SendKey(0x79, kModifierShift));
  EXPECT_TRUE(w->Exists());
  EXPECT_EQ(platform.menuCaptures, 2);
}

}  // namespace
}  // namespace vt::test
