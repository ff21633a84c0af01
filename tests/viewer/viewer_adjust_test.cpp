// Turning, mirroring and adjusting the image in the window, the adjustments
// dialog, the animation controls and writing the rotation into a JPEG file.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "files/jpeg_orientation.h"
#include "render/frame_step.h"
#include "render/orientation.h"
#include "viewer/adjust_dialog.h"
#include "viewer/view_command.h"
#include "viewer/viewer_fixture.h"

namespace vt::test {
namespace {

using ViewerAdjustTest = ViewerFixture;

// Where a pixel of the image turned by code comes from in the W x H source;
// written from the meaning of the code, not from the program's code.
void SourceOf(uint8_t code, int32_t w, int32_t h, int32_t x, int32_t y, int32_t* sx, int32_t* sy) {
  int turns = code & 3;
  bool v = (code & 4) != 0, hm = (code & 8) != 0;
  if (v && hm) turns = (turns + 2) % 4, v = hm = false;
  const int32_t tw = turns % 2 ? h : w, th = turns % 2 ? w : h;
  if (v) y = th - 1 - y;
  if (hm) x = tw - 1 - x;
  switch (turns) {
    case 0: *sx = x, *sy = y; break;
    case 1: *sx = w - 1 - y, *sy = x; break;  // counter-clockwise: the right column becomes the top row
    case 2: *sx = w - 1 - x, *sy = h - 1 - y; break;
    default: *sx = y, *sy = h - 1 - x; break;
  }
}

// One colour per 8 x 8 block, so that a zoomed picture has exact colours in
// the middle of each block whatever the filter.
uint32_t BlockColour(int32_t x, int32_t y) { return uint32_t(x / 8) << 16 | uint32_t(y / 8) << 8 | 0x80; }

TEST_F(ViewerAdjustTest, TurnAndMirrorCommandsShowTheImageTurned) {
  struct Case {
    std::vector<uint32_t> commands;
    uint8_t code;
  };
  const Case cases[] = {
      {{kCmdRotateLeft}, 1},
      {{kCmdRotateRight}, 3},
      {{kCmdRotate180}, 2},
      {{kCmdRotateLeft, kCmdRotateLeft, kCmdRotateLeft, kCmdRotateLeft}, 0},
      {{kCmdMirrorVertical}, 4},
      {{kCmdMirrorVertical, kCmdMirrorHorizontal}, 12},
      {{kCmdRotateLeft, kCmdMirrorHorizontal}, 9},
      {{kCmdMirrorHorizontal, kCmdMirrorHorizontal, kCmdRotateRight}, 3},
  };
  Options().viewerTitleBar = 0;
  const int32_t W = 304, H = 200;
  const std::string a = dir.Write("a.bmp", MakeBmp(W, H, BlockColour));
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "code " << int(c.code));
    ViewerWindow* w = Open(a);
    ASSERT_NE(w, nullptr);
    const int32_t transforms = w->View()->ActiveTransforms();
    for (uint32_t command : c.commands) {
      w->Dispatch(command, 0);
      platform.Pump();
    }
    EXPECT_EQ(w->View()->Adjustments().orientation, c.code);
    EXPECT_EQ(w->View()->ActiveTransforms(), transforms + (c.code != 0 ? 1 : 0));
    const bool swapped = (c.code & 1) != 0;
    ASSERT_EQ(w->View()->ShownWidth(), uint32_t(swapped ? H : W));
    ASSERT_EQ(w->View()->ShownHeight(), uint32_t(swapped ? W : H));
    ASSERT_EQ(w->ClientSize().width, int32_t(w->View()->ShownWidth()));
    for (const ViewPoint p : {ViewPoint{4, 4}, ViewPoint{int32_t(w->View()->ShownWidth()) - 4, 12},
                              ViewPoint{20, int32_t(w->View()->ShownHeight()) - 4}}) {
      int32_t sx, sy;
      SourceOf(c.code, W, H, p.x, p.y, &sx, &sy);
      EXPECT_EQ(Native(w)->Pixel(p.x, p.y), 0xFF000000u | BlockColour(sx, sy)) << p.x << "," << p.y;
    }
    w->Window()->Destroy();
    platform.Pump();
  }
}

// A zoom too large to scale whole is drawn part by part from the turned image.
TEST_F(ViewerAdjustTest, LargeZoomOfATurnedImageIsDrawnInParts) {
  Options().viewerTitleBar = 0;
  const int32_t W = 1200, H = 904;
  ViewerWindow* w = Open(dir.Write("big.bmp", MakeBmp(W, H, BlockColour)));
  ASSERT_NE(w, nullptr);
  w->Dispatch(kCmdRotateLeft, 0);
  platform.Pump();
  w->Dispatch(kCmdZoom400, 0);
  platform.Pump();
  ASSERT_TRUE(w->View()->DisplayTiled());
  ASSERT_EQ(w->View()->ShownWidth(), uint32_t(4 * H));
  ASSERT_EQ(w->View()->ShownHeight(), uint32_t(4 * W));
  int checked = 0;
  for (const ViewPoint scroll : {ViewPoint{0, 0}, ViewPoint{1700, 2900}, ViewPoint{4 * H - 900, 4 * W - 900}}) {
    w->SetScroll(scroll);
    w->Refresh();
    platform.Pump();
    const ViewPoint s = w->Scroll();
    // Middles of blocks of the turned image near the window's corners.
    for (const ViewPoint corner : {ViewPoint{40, 40}, ViewPoint{w->ClientSize().width - 40, w->ClientSize().height - 40}}) {
      const int32_t tx = (s.x + corner.x) / 4 / 8 * 8 + 4, ty = (s.y + corner.y) / 4 / 8 * 8 + 4;
      const ViewPoint at{tx * 4 + 2 - s.x, ty * 4 + 2 - s.y};
      if (at.x < 0 || at.y < 0 || at.x >= w->ClientSize().width || at.y >= w->ClientSize().height) continue;
      int32_t sx, sy;
      SourceOf(1, W, H, tx, ty, &sx, &sy);
      EXPECT_EQ(Native(w)->Pixel(at.x, at.y), 0xFF000000u | BlockColour(sx, sy))
          << "scroll " << s.x << "," << s.y << " at " << at.x << "," << at.y;
      ++checked;
    }
  }
  EXPECT_EQ(checked, 6);
}

TEST_F(ViewerAdjustTest, TheAdjustmentFileBesideTheImageIsAppliedWhenItOpens) {
  const std::string a = dir.Write("p.bmp", SolidBmp(64, 48, 0x204080));
  // Inversion and a quarter turn, as the dialog's "保存" writes them.
  dir.Write("p.bmp.vta", std::string("RIFF\x1c\0\0\0VTIALADJ\x10\0\0\0CINV\0\0\x80\x3fIROT\0\0\x80\x3f", 36));
  // The adjustment file itself names the image it belongs to.
  for (const std::string& path : {a, a + ".vta"}) {
    ViewerWindow* w = Open(path);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->Path(), U16(a));
    EXPECT_EQ(w->View()->Adjustments().orientation, 1);
    EXPECT_EQ(w->View()->ShownWidth(), 48u);
    EXPECT_EQ(Native(w)->Pixel(5, 5), 0xFFDFBF7Fu);
    w->Window()->Destroy();
    platform.Pump();
  }
}

TEST(AdjustDialogText, ValueTextsAndPositions) {
  struct Text {
    int32_t position;
    const char16_t* text;
  };
  for (const Text& t : {Text{0, u"0.00"}, Text{-5, u"-0.05"}, Text{150, u"1.50"}, Text{-100, u"-1.00"}, Text{7, u"0.07"}})
    EXPECT_EQ(AdjustValueText(t.position), t.text) << t.position;
  // Half a position rounds away from zero; fields beyond the range stop at its ends.
  EXPECT_EQ(AdjustPositionOfField(AdjustSlider::kContrast, 0.0025f), 1);
  EXPECT_EQ(AdjustPositionOfField(AdjustSlider::kContrast, -0.0025f), -1);
  EXPECT_EQ(AdjustPositionOfField(AdjustSlider::kBrightness, 0.505f), 51);
  EXPECT_EQ(AdjustPositionOfField(AdjustSlider::kHue, 0.9f), 100);
  EXPECT_FLOAT_EQ(AdjustFieldOfPosition(AdjustSlider::kHue, -100), -0.5f);
  EXPECT_FLOAT_EQ(AdjustFieldOfPosition(AdjustSlider::kGamma, 150), 1.5f);
}

TEST_F(ViewerAdjustTest, DialogChangesTheViewLiveSavesResetsAndSitsBesideTheViewer) {
  Options().viewerTitleBar = 0;
  const std::string a = dir.Write("p.bmp", SolidBmp(64, 48, 0x404040));
  ViewerWindow* w = Open(a);
  ASSERT_NE(w, nullptr);
  int changes = 0;
  const ViewRect work = w->MonitorWorkArea();
  {
    AdjustDialog dialog(
        *w->View(), U16(a), [&](bool) { ++changes; }, [](std::u16string_view t) { return std::u16string(t); });
    const ViewRect owner{100, 100, 400, 300};
    ASSERT_TRUE(dialog.Create(w, owner, work));
    EXPECT_EQ(dialog.Window()->WindowRect().left, owner.right);
    EXPECT_EQ(dialog.Window()->WindowRect().top, owner.top);
    EXPECT_EQ(dialog.Window()->Title(), u"图像调整 | Vistrel");
    EXPECT_FALSE(dialog.ResetButton().IsEnabled());
    EXPECT_FALSE(dialog.SaveButton().IsEnabled());
    EXPECT_TRUE(dialog.SliderOf(AdjustSlider::kHue).IsEnabled());
    dialog.SliderOf(AdjustSlider::kBrightness).SetValue(50, true);
    EXPECT_EQ(changes, 1);
    EXPECT_FLOAT_EQ(w->View()->Adjustments().colour.Get(ColourField::kBrightness), 0.5f);
    EXPECT_EQ(w->View()->ColourAdjustmentCount(), 1);
    EXPECT_EQ(dialog.SliderOf(AdjustSlider::kBrightness).ValueText(), u"0.50");
    EXPECT_TRUE(dialog.ResetButton().IsEnabled());
    ASSERT_TRUE(dialog.SaveButton().IsEnabled());
    dialog.SaveButton().Click();
    EXPECT_EQ(ReadFileBytes(a + ".vta"), std::string("RIFF\x14\0\0\0VTIALADJ\x08\0\0\0CBRI\0\0\0\x3f", 28));
    EXPECT_FALSE(dialog.SaveButton().IsEnabled());
    // The mirror box and the rotation list write the code.
    dialog.VerticalMirror().Toggle();
    dialog.Rotation().SetSelected(3, true);
    EXPECT_EQ(w->View()->Adjustments().orientation, 3 | 4);
    EXPECT_TRUE(dialog.SaveButton().IsEnabled());
    // "重置": back to the image as it is, and the file goes.
    dialog.ResetButton().Click();
    EXPECT_EQ(w->View()->Adjustments(), AdjustmentRecord{});
    EXPECT_EQ(w->View()->ColourAdjustmentCount(), 0);
    EXPECT_EQ(dialog.SliderOf(AdjustSlider::kBrightness).Value(), 0);
    EXPECT_FALSE(FileExists(a + ".vta"));
    EXPECT_FALSE(dialog.ResetButton().IsEnabled());
  }
  {
    // Against the work area's right edge it goes to the viewer's left.
    AdjustDialog dialog(*w->View(), U16(a), [](bool) {}, [](std::u16string_view t) { return std::u16string(t); });
    const ViewRect owner{work.right - 300, 500, work.right, 700};
    ASSERT_TRUE(dialog.Create(w, owner, work));
    EXPECT_EQ(dialog.Window()->WindowRect().right, owner.left);
    EXPECT_LE(dialog.Window()->WindowRect().bottom, work.bottom);
  }
  // A grey image has no colours to turn or bias.
  const std::string g = CorpusPath("pngsuite/png/basn0g08.png");
  ViewerWindow* gw = Open(g);
  ASSERT_NE(gw, nullptr);
  AdjustDialog grey(*gw->View(), U16(g), [](bool) {}, [](std::u16string_view t) { return std::u16string(t); });
  ASSERT_TRUE(grey.Create(gw, gw->Window()->WindowRect(), work));
  for (int i = 0; i < kAdjustSliderCount; ++i) {
    const auto s = static_cast<AdjustSlider>(i);
    const bool colourOnly = s == AdjustSlider::kHue || s == AdjustSlider::kSaturation || s == AdjustSlider::kRedBias ||
                            s == AdjustSlider::kGreenBias || s == AdjustSlider::kBlueBias;
    EXPECT_EQ(grey.SliderOf(s).IsEnabled(), !colourOnly) << i;
  }
}

// The command runs the dialog modally: the view follows the sliders while it
// runs, and "取消" (Escape) takes every change back.
TEST_F(ViewerAdjustTest, AdjustCommandShowsChangesLiveAndCancelTakesThemBack) {
  Options().viewerTitleBar = 0;
  const std::string a = dir.Write("p.bmp", SolidBmp(64, 48, 0x404040));
  ViewerWindow* w = Open(a);
  ASSERT_NE(w, nullptr);
  for (const bool ok : {false, true}) {
    SCOPED_TRACE(ok ? "确定" : "取消");
    int step = 0;
    uint32_t during = 0;
    platform.onNestedLoopIdle = [&] {
      HeadlessWindow* d = platform.Foreground();
      if (!d || d == Native(w)) return false;
      if (step++ == 0) {
        platform.PostKey(d->NativeHandle(), 0x23);  // End: the first slider, contrast, to its top
        return true;
      }
      during = Native(w)->Pixel(5, 5);
      platform.PostKey(d->NativeHandle(), ok ? 0x0D : 0x1B);
      platform.onNestedLoopIdle = nullptr;
      return true;
    };
    w->Dispatch(kCmdAdjustImage, 0);
    platform.Pump();
    // Contrast 1.0 stretches 0x40 away from mid-grey: (0.251 - 0.5) x 1 + 0.251.
    EXPECT_EQ(during, 0xFF010101u);
    EXPECT_EQ(Native(w)->Pixel(5, 5), ok ? 0xFF010101u : 0xFF404040u);
    EXPECT_EQ(w->View()->ColourAdjustmentCount(), ok ? 1 : 0);
  }
}

TEST_F(ViewerAdjustTest, PausedAnimationStepsByHandAndShowsItsFrameInTheTitle) {
  Options().viewerTitleBar = 0;
  ViewerWindow* w = Open(CorpusPath("gif/peterdn/gifs/animated_loop.gif"));
  ASSERT_NE(w, nullptr);
  ASSERT_TRUE(w->View()->Animated());
  const uint32_t frames = FrameCount(*w->View());
  ASSERT_GE(frames, 3u);
  HeadlessWindow* n = Native(w);
  ASSERT_TRUE(n->HasTimer(ViewerWindow::kAnimationTimer));
  const std::u16string playing = TitleOf(w);
  EXPECT_EQ(playing.find(u"帧"), std::u16string::npos);

  w->Dispatch(kPauseAnimationCommand, 0);
  EXPECT_TRUE(w->AnimationPaused());
  EXPECT_FALSE(n->HasTimer(ViewerWindow::kAnimationTimer));
  const uint32_t at = FrameIndex(*w->View());
  const std::u16string total = U16("/" + std::to_string(frames) + "]");
  EXPECT_NE(TitleOf(w).find(U16("[帧 " + std::to_string(at + 1)) + total), std::u16string::npos) << "paused title";
  platform.AdvanceTime(5000);
  EXPECT_EQ(FrameIndex(*w->View()), at);  // it stays where it stopped

  // The keys no binding takes: "." forward, "," back.
  platform.PostKey(n->NativeHandle(), 0xBE);
  platform.Pump();
  const uint32_t next = (at + 1) % frames;
  EXPECT_EQ(FrameIndex(*w->View()), next);
  EXPECT_NE(TitleOf(w).find(U16("[帧 " + std::to_string(next + 1)) + total), std::u16string::npos);
  // A turn holds through a step: every frame comes out turned.
  const uint32_t width = w->View()->ShownWidth(), height = w->View()->ShownHeight();
  w->Dispatch(kCmdRotateLeft, 0);
  platform.Pump();
  w->Dispatch(kPreviousFrameCommand, 0);
  EXPECT_EQ(FrameIndex(*w->View()), at);
  EXPECT_EQ(w->View()->ShownWidth(), height);
  EXPECT_EQ(w->View()->ShownHeight(), width);
  EXPECT_FALSE(n->HasTimer(ViewerWindow::kAnimationTimer));  // the turn's layout keeps it paused

  w->Dispatch(kPauseAnimationCommand, 0);
  EXPECT_FALSE(w->AnimationPaused());
  EXPECT_TRUE(n->HasTimer(ViewerWindow::kAnimationTimer));
  EXPECT_EQ(TitleOf(w).find(u"帧"), std::u16string::npos);
  platform.AdvanceTime(static_cast<uint64_t>(n->TimerRemaining(ViewerWindow::kAnimationTimer)));
  EXPECT_EQ(FrameIndex(*w->View()), (at + 1) % frames);

  // A still image has nothing to pause: said with a beep.
  ViewerWindow* still = Open(dir.Write("s.bmp", SolidBmp(16, 16, 0x102030)));
  const int beeps = platform.beeps;
  still->Dispatch(kPauseAnimationCommand, 0);
  still->Dispatch(kNextFrameCommand, 0);
  EXPECT_EQ(platform.beeps - beeps, 2);
  EXPECT_FALSE(still->AnimationPaused());
}

// The rotation goes into the file's own orientation tag, two bytes, and the
// file shows as the view did when it is opened again.
TEST_F(ViewerAdjustTest, SaveRotationRewritesTheJpegOrientationTagOnly) {
  Options().viewerTitleBar = 0;
  const std::string photo = CorpusPath("jpeg/libjpeg-turbo/testimages/testorig.jpg");
  ASSERT_TRUE(FileExists(photo));
  // The photo with an EXIF block in front of its own segments: big-endian,
  // one entry, orientation 6 (exiftool's files are checked in the files tests).
  const std::string original = ReadFileBytes(photo);
  const std::string exif("\xFF\xE1\x00\x22" "Exif\0\0" "MM\0\x2A\0\0\0\x08" "\0\x01"
                         "\x01\x12\0\x03\0\0\0\x01\0\x06\0\0" "\0\0\0\0", 36);
  const std::string jpg = dir.Write("o6.jpg", original.substr(0, 2) + exif + original.substr(2));
  const std::string before = ReadFileBytes(jpg);
  ViewerWindow* w = Open(jpg);
  ASSERT_NE(w, nullptr);
  ASSERT_EQ(w->View()->Adjustments().orientation, 3);
  w->Dispatch(kCmdRotate180, 0);  // code 1
  platform.Pump();
  const std::vector<uint32_t> shown = {Native(w)->Pixel(3, 3), Native(w)->Pixel(60, 20), Native(w)->Pixel(20, 100)};
  w->Dispatch(kSaveRotationCommand, 0);
  platform.Pump();
  EXPECT_TRUE(platform.messageBoxes.empty());
  const std::string after = ReadFileBytes(jpg);
  ASSERT_EQ(after.size(), before.size());
  const auto tag = FindJpegOrientationTag({reinterpret_cast<const uint8_t*>(after.data()), after.size()});
  ASSERT_TRUE(tag);
  EXPECT_EQ(tag->value, 8);  // a counter-clockwise quarter turn shows it upright
  for (size_t i = 0; i < after.size(); ++i)
    if (i != tag->offset && i != tag->offset + 1) {
      ASSERT_EQ(after[i], before[i]) << "byte " << i;
    }
  // Read again: the image's own orientation is the view's now, the picture the same.
  EXPECT_EQ(w->View()->ImageOrientationCode(), 1);
  EXPECT_EQ(w->View()->Adjustments().orientation, 1);
  EXPECT_EQ(shown, (std::vector<uint32_t>{Native(w)->Pixel(3, 3), Native(w)->Pixel(60, 20), Native(w)->Pixel(20, 100)}));

  // A JPEG without the tag cannot be turned losslessly: said, and left alone.
  const std::string plain = dir.Write("plain.jpg", ReadFileBytes(photo));
  ViewerWindow* p = Open(plain);
  ASSERT_NE(p, nullptr);
  p->Dispatch(kCmdRotateLeft, 0);
  platform.Pump();
  p->Dispatch(kSaveRotationCommand, 0);
  ASSERT_EQ(platform.messageBoxes.size(), 1u);
  EXPECT_EQ(platform.messageBoxes[0].kind, MessageBoxKind::kInformation);
  EXPECT_EQ(ReadFileBytes(plain), ReadFileBytes(photo));
}

}  // namespace
}  // namespace vt::test
