#include <gtest/gtest.h>

#include <filesystem>

#include "viewer/view_command.h"
#include "viewer/view_commands.h"
#include "viewer/viewer_fixture.h"

namespace vt::test {
namespace {

constexpr uint32_t kRed = 0xFF0000;
constexpr uint32_t kGreen = 0x00FF00;

using ViewerCommandsTest = ViewerFixture;

TEST(ViewCommandTable, EveryUserCommandHasANameAndNothingElseHasOne) {
  for (uint32_t c = 19990; c < 20080; ++c)
    EXPECT_EQ(ViewCommandName(c).empty(), c < kFirstUserCommand || c > kLastUserCommand) << c;
  EXPECT_EQ(ViewCommandName(kCmdZoom12), u"缩放到 12% 大小");
  EXPECT_EQ(ViewCommandName(kCmdClose), u"关闭");
  // Index commands: the ones only keys reach have no name.
  for (uint32_t c = 21999; c <= 22045; ++c) {
    const bool keyOnly = c == 22002 || c == 22003 || c == 22011 || c == 22016 || c == 22043;
    EXPECT_EQ(IndexCommandName(c).empty(), keyOnly || c < 22000 || c > 22044) << c;
  }
  EXPECT_EQ(IndexCommandName(22044), u"关闭");
}

enum class Effect { kNavigates, kZooms, kBeeps, kNothing, kCloses };

struct DispatchCase {
  const char* state;
  uint32_t command;
  Effect effect;
};

// The rules a command meets before it runs, per state of the window.
TEST_F(ViewerCommandsTest, DispatchRulesPerState) {
  const DispatchCase cases[] = {
      {"normal", kCmdNextFile, Effect::kNavigates},
      {"normal", kCmdZoomIn, Effect::kZooms},
      {"normal", kCmdSaveAs, Effect::kBeeps},  // not in this program yet: said so
      {"normal", kCmdRotateLeft, Effect::kNothing},
      {"normal", kLastUserCommand + 36, Effect::kNothing},
      {"normal", 19999, Effect::kNothing},
      {"normal", kCmdClose, Effect::kCloses},
      {"frozen", kCmdNextFile, Effect::kNavigates},
      {"frozen", kCmdZoomIn, Effect::kZooms},
      {"frozen", kCmdRestoreOriginalSize, Effect::kNothing},
      {"frozen", kCmdAdjustImage, Effect::kNothing},  // ignored before anything else
      {"frozen", kCmdRotateLeft, Effect::kNothing},
      {"frozen", kCmdClose, Effect::kCloses},
      {"slideshow", kCmdNextFile, Effect::kNothing},
      {"slideshow", kCmdFirstFile, Effect::kNothing},
      {"slideshow", kCmdCreateNext, Effect::kNothing},
      {"slideshow", kCmdZoomOut, Effect::kZooms},
      {"slideshow", kCmdClose, Effect::kCloses},
  };
  const std::string a = dir.Write("a.bmp", SolidBmp(64, 48, kRed));
  dir.Write("b.bmp", SolidBmp(64, 48, kGreen));
  for (const DispatchCase& c : cases) {
    SCOPED_TRACE(std::string(c.state) + " " + std::to_string(c.command));
    const std::string_view state = c.state;
    ViewerWindow* w = Open(a, state == "frozen" ? ArgumentList{u"-freeze"} : ArgumentList{});
    ASSERT_NE(w, nullptr);
    if (state == "slideshow") w->Dispatch(kCmdSlideshowState, 1);
    const int beeps = platform.beeps;
    const double zoom = w->View()->Zoom();
    w->Dispatch(c.command, 0);
    platform.Pump();
    EXPECT_EQ(platform.beeps - beeps, c.effect == Effect::kBeeps ? 1 : 0);
    EXPECT_EQ(w->Exists(), c.effect != Effect::kCloses);
    if (!w->Exists()) continue;
    EXPECT_EQ(w->Path() != U16(a), c.effect == Effect::kNavigates);
    EXPECT_EQ(w->View()->Zoom() != zoom, c.effect == Effect::kZooms);
    w->Window()->Destroy();
    platform.Pump();
  }
}

TEST_F(ViewerCommandsTest, ReloadReadsAFileRewrittenInPlace) {
  const std::string a = dir.Write("a.bmp", SolidBmp(32, 32, kRed));
  const auto stamp = std::filesystem::last_write_time(a);
  ViewerWindow* w = Open(a);
  ASSERT_NE(w, nullptr);
  ASSERT_EQ(Native(w)->Pixel(5, 5), 0xFFFF0000u);
  // The same size and time: only a reload tells the new picture from the cached one.
  dir.Write("a.bmp", SolidBmp(32, 32, kGreen));
  std::filesystem::last_write_time(a, stamp);
  w->Dispatch(kCmdReload, 0);
  platform.Pump();
  EXPECT_EQ(Native(w)->Pixel(5, 5), 0xFF00FF00u);
  EXPECT_EQ(w->Path(), U16(a));
}

TEST_F(ViewerCommandsTest, ColourSamplerReadsTheScreenUnderThePointerInsideTheClientOnly) {
  Options().viewerTitleBar = 0;
  const std::string a = dir.Write("a.bmp", MakeBmp(64, 64, [](int x, int) { return x < 32 ? 0x123456u : 0xFF8000u; }));
  ViewerWindow* w = Open(a);
  ASSERT_NE(w, nullptr);
  const ViewPoint origin = w->ClientOrigin();
  platform.cursor = {origin.x + 40, origin.y + 10};
  w->Dispatch(kCmdColourSampler, 0);
  ASSERT_EQ(platform.messageBoxes.size(), 1u);
  EXPECT_EQ(platform.messageBoxes[0].text, u"     R:\t255\n     G:\t128\n     B:\t0");
  EXPECT_EQ(platform.messageBoxes[0].caption, u"RGB");
  EXPECT_EQ(platform.messageBoxes[0].kind, MessageBoxKind::kTopmostPlain);
  platform.cursor = {origin.x - 1, origin.y + 10};
  w->Dispatch(kCmdColourSampler, 0);
  platform.cursor = {origin.x + 10, origin.y + 64};
  w->Dispatch(kCmdColourSampler, 0);
  EXPECT_EQ(platform.messageBoxes.size(), 1u);
}

TEST_F(ViewerCommandsTest, CaptureShowsTheScreenAtFullSizeWithoutAFolder) {
  const std::string a = dir.Write("a.bmp", SolidBmp(100, 80, kRed));
  dir.Write("b.bmp", SolidBmp(100, 80, kGreen));
  ViewerWindow* w = Open(a);
  ASSERT_NE(w, nullptr);
  w->Dispatch(kCmdCaptureScreen, 0);
  platform.Pump();
  EXPECT_EQ(w->Path(), u"<screen>");
  EXPECT_TRUE(TitleOf(w).starts_with(u"<screen> | 1920\u20221080\u202224"));
  EXPECT_EQ(w->View()->Zoom(), 1.0);
  EXPECT_EQ(Native(w)->State(), ShowState::kNormal);
  EXPECT_TRUE(Native(w)->IsVisible());
  // The picture holds the window as it was on screen: its red image on black.
  ImageBuffer* shot = w->View()->SourceImage();
  ASSERT_NE(shot, nullptr);
  EXPECT_EQ(shot->Width(), 1920u);
  EXPECT_EQ(shot->Height(), 1080u);
  // No folder: stepping does nothing, reloading beeps.
  w->Dispatch(kCmdNextFile, 0);
  platform.Pump();
  EXPECT_EQ(w->Path(), u"<screen>");
  const int beeps = platform.beeps;
  w->Dispatch(kCmdReload, 0);
  EXPECT_EQ(platform.beeps, beeps + 1);
}

TEST_F(ViewerCommandsTest, FolderAndHelpGoToTheShell) {
  const std::string a = dir.Write("a.bmp", SolidBmp(16, 16, kRed));
  ViewerWindow* w = Open(a);
  ASSERT_NE(w, nullptr);
  w->Dispatch(kCmdOpenFolder, 0);
  ASSERT_EQ(platform.shellOpened.size(), 1u);
  EXPECT_EQ(platform.shellOpened[0], U16(dir.Path()));
  // No help file beside the program: a beep, nothing opened.
  w->Dispatch(kCmdHelp, 0);
  EXPECT_EQ(platform.shellOpened.size(), 1u);
  EXPECT_EQ(platform.beeps, 1);
  // A shell that cannot open the folder is heard too.
  platform.shellOpens = false;
  w->Dispatch(kCmdOpenFolder, 0);
  EXPECT_EQ(platform.beeps, 2);
}

TEST_F(ViewerCommandsTest, HelpOpensTheHelpFileBesideTheProgram) {
  app.reset();
  SettingsEnvironment env;
  env.programPath = U16(dir.Path() + "/vistrel.exe");
  env.builtInKeyBindings = [] { return BuiltInViewerBindingEntries(); };
  settings = std::make_unique<Settings>(&store, env);
  settings->Load();
  app = std::make_unique<ViewerApp>(platform, *settings, *cache, GlobalNavigator());
  dir.Write("Vistrel.chm", "ITSF");
  ViewerWindow* w = Open(dir.Write("a.bmp", SolidBmp(16, 16, kRed)));
  ASSERT_NE(w, nullptr);
  EXPECT_TRUE(Native(w)->SendKey(0x70));  // F1
  ASSERT_EQ(platform.shellOpened.size(), 1u);
  EXPECT_EQ(platform.shellOpened[0], U16(dir.Path() + "/Vistrel.chm"));
}

TEST_F(ViewerCommandsTest, SlideshowFullScreenSettingToggles) {
  ViewerWindow* w = Open(dir.Write("a.bmp", SolidBmp(16, 16, kRed)));
  ASSERT_NE(w, nullptr);
  const uint8_t before = Options().slideshowFullScreen;
  w->Dispatch(kCmdSlideshowFullScreen, 0);
  EXPECT_EQ(Options().slideshowFullScreen, before ? 0 : 1);
  w->Dispatch(kCmdSlideshowFullScreen, 0);
  EXPECT_EQ(Options().slideshowFullScreen, before);
}

// "Keep zoom": the next image of a series comes at the zoom and the centre
// of view of the one before, and the switch survives a restart.
TEST_F(ViewerCommandsTest, KeepZoomCarriesZoomAndCentreToTheNextImage) {
  Options().viewerTitleBar = 0;
  const std::string a = dir.Write("a.bmp", SolidBmp(1400, 1100, kRed));
  const std::string b = dir.Write("b.bmp", SolidBmp(1400, 1100, kGreen));
  ViewerWindow* w = Open(a);
  ASSERT_NE(w, nullptr);
  EXPECT_FALSE(settings->KeepZoom());
  w->Dispatch(kKeepZoomCommand, 0);
  EXPECT_TRUE(settings->KeepZoom());
  w->Dispatch(kCmdZoom150, 0);  // 2100 x 1650: larger than the window
  ASSERT_EQ(w->View()->Zoom(), 1.5);
  w->SetScroll({100, 300});
  const ViewPoint scroll = w->Scroll();
  w->Dispatch(kCmdNextFile, 0);
  platform.Pump();
  ASSERT_EQ(w->Path(), U16(b));
  EXPECT_EQ(w->View()->Zoom(), 1.5);
  EXPECT_NEAR(w->Scroll().x, scroll.x, 1);
  EXPECT_NEAR(w->Scroll().y, scroll.y, 1);

  // Off again: the next image is fitted as usual.
  w->Dispatch(kKeepZoomCommand, 0);
  w->Dispatch(kCmdNextFile, 0);
  platform.Pump();
  EXPECT_LT(w->View()->Zoom(), 1.0);

  w->Dispatch(kKeepZoomCommand, 0);
  settings->Save();
  ASSERT_TRUE(store.values.count(u"KeepZoom"));
  EXPECT_EQ(store.values[u"KeepZoom"], SettingsValue::U32(1));
  Settings again(&store, SettingsEnvironment{u"/opt/vistrel/vistrel.exe", [] { return BuiltInViewerBindingEntries(); }});
  again.Load();
  EXPECT_TRUE(again.KeepZoom());
}

}  // namespace
}  // namespace vt::test
