#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <random>

#include "app/command_line.h"
#include "viewer/view_command.h"
#include "viewer/viewer_fixture.h"

namespace vt::test {
namespace {

constexpr uint32_t kRed = 0xFF0000;
constexpr uint32_t kGreen = 0x00FF00;

std::u16string Quoted(const std::string& path) { return u"\"" + U16(path) + u"\""; }

std::u16string FolderOf(const std::string& path) {
  return U16(std::filesystem::path(path).parent_path().string());
}

TEST(LogonZoomTextTest, RoundsToThreeDecimalsAndAlwaysWritesThree) {
  EXPECT_EQ(LogonZoomText(0.5), u"0.500");
  EXPECT_EQ(LogonZoomText(1.0), u"1.000");
  EXPECT_EQ(LogonZoomText(0.4958), u"0.496");
  // Rounding the last digit alone would give "1.9910".
  EXPECT_EQ(LogonZoomText(1.9996), u"2.000");
  EXPECT_EQ(LogonZoomText(0.9995), u"1.000");
  EXPECT_EQ(LogonZoomText(12.3456), u"12.346");
  EXPECT_EQ(LogonZoomText(0.0625f), u"0.063");
  EXPECT_EQ(LogonZoomText(0.125), u"0.125");
}

TEST(LogonZoomTextTest, MatchesTheDigitWiseTextWhereverThatIsWellFormed) {
  // Whole part, two truncated decimals, the third rounded: the same text
  // unless the third digit rounds up to ten.
  std::mt19937 random(7);
  std::uniform_real_distribution<double> zooms(0.01, 40.0);
  int compared = 0;
  for (int i = 0; i < 2000; ++i) {
    const double z = zooms(random);
    const int whole = static_cast<int>(z);
    const int hundredths = static_cast<int>(z * 100.0);
    const int d1 = hundredths / 10 % 10, d2 = hundredths % 10;
    const int d3 = static_cast<int>(std::lround(z * 1000.0 - hundredths * 10.0));
    if (d3 > 9) continue;
    char text[32];
    std::snprintf(text, sizeof text, "%d.%d%d%d", whole, d1, d2, d3);
    ASSERT_EQ(U8(LogonZoomText(z)), text) << z;
    ++compared;
  }
  EXPECT_GT(compared, 1500);
}

TEST(LogonArgumentsTest, AreReadBackByTheStartUpScanner) {
  const std::u16string path = u"C:\\My Pictures\\sea side.png";
  const std::u16string arguments = LogonArguments({-1250, -40}, 0.4958, path);
  EXPECT_EQ(arguments, u"-freeze -pos=-1250,-40 -zoom=0.496 \"C:\\My Pictures\\sea side.png\"");
  // The system starts the program as "program" arguments.
  const StartupOptions startup =
      ScanStartupArguments(SplitCommandLine(u"\"C:\\Program Files\\Vistrel\\vistrel.exe\" " + arguments));
  ASSERT_TRUE(startup.file.has_value());
  EXPECT_EQ(*startup.file, path);
  EXPECT_FALSE(startup.close);
  EXPECT_FALSE(startup.singleInstanceOff);
  const WindowOptions window = ParseWindowOptions(startup.arguments);
  EXPECT_TRUE(window.frozen);
  EXPECT_FALSE(window.index);
  EXPECT_FALSE(window.fullScreen);
  EXPECT_EQ(window.posX, -1250);
  EXPECT_EQ(window.posY, -40);
  EXPECT_FLOAT_EQ(window.zoom, 0.496f);
  EXPECT_FALSE(window.title.has_value());
}

using ViewerLogoffTest = ViewerFixture;

TEST_F(ViewerLogoffTest, FrozenWindowLeavesOneShortcutThatPlacesItsClient) {
  Options().viewerTitleBar = 0;
  const std::string a = dir.Write("a.bmp", SolidBmp(400, 300, kRed));
  ViewerWindow* w = Open(a, {u"-freeze", u"-pos=50,60"});
  ASSERT_NE(w, nullptr);
  ASSERT_TRUE(w->IsFrozen());
  // A thin-bordered window: its own corner lies one pixel outside the client.
  ASSERT_TRUE(w->ThinBorder());
  EXPECT_EQ(Native(w)->WindowRect().left, 49);

  platform.EndSession();
  ASSERT_EQ(platform.logonShortcuts.size(), 1u);
  const auto& shortcut = platform.logonShortcuts[0];
  EXPECT_EQ(shortcut.name, u"a.bmp");
  EXPECT_EQ(shortcut.arguments, u"-freeze -pos=50,60 -zoom=1.000 " + Quoted(a));
  EXPECT_EQ(shortcut.workingFolder, FolderOf(a));

  // A larger image shown in the frozen window at half size.
  const std::string b = dir.Write("b.bmp", SolidBmp(800, 600, kGreen));
  ASSERT_EQ(w->OpenImage(U16(b), true), status::kOk);
  platform.Pump();
  platform.EndSession();
  ASSERT_EQ(platform.logonShortcuts.size(), 2u);
  EXPECT_EQ(platform.logonShortcuts[1].name, u"b.bmp");
  EXPECT_EQ(platform.logonShortcuts[1].arguments, u"-freeze -pos=50,60 -zoom=0.500 " + Quoted(b));
}

TEST_F(ViewerLogoffTest, OnlyFrozenWindowsOfExistingFilesLeaveShortcuts) {
  Options().viewerTitleBar = 0;
  const std::string a = dir.Write("a.bmp", SolidBmp(200, 100, kRed));
  const std::string gone = dir.Write("gone.bmp", SolidBmp(200, 100, kGreen));
  const std::string kept = dir.Write("kept.bmp", SolidBmp(200, 100, kGreen));
  ViewerWindow* normal = Open(a);
  ViewerWindow* thawed = Open(a, {u"-freeze"});
  ViewerWindow* orphan = Open(gone, {u"-freeze", u"-pos=300,10"});
  ViewerWindow* frozen = Open(kept, {u"-freeze", u"-pos=600,10"});
  ASSERT_TRUE(normal && thawed && orphan && frozen);
  thawed->Dispatch(kCmdFreeze, 0);
  ASSERT_FALSE(thawed->IsFrozen());
  std::filesystem::remove(gone);

  platform.EndSession();
  ASSERT_EQ(platform.logonShortcuts.size(), 1u);
  EXPECT_EQ(platform.logonShortcuts[0].name, u"kept.bmp");
}

// The entry an earlier logoff left for a frozen window is for that window as
// it is: once it is unfrozen, shows another file or is closed, the entry goes,
// or the next logon would bring back what the user put away. Only the end of
// the logon itself keeps it.
TEST_F(ViewerLogoffTest, EntryGoesWhenTheWindowStopsShowingItsFileFrozen) {
  Options().viewerTitleBar = 0;
  const std::string a = dir.Write("a.bmp", SolidBmp(200, 100, kRed));
  const std::string b = dir.Write("b.bmp", SolidBmp(200, 100, kGreen));
  const std::string c = dir.Write("c.bmp", SolidBmp(200, 100, kGreen));
  ViewerWindow* thawed = Open(a, {u"-freeze"});
  ViewerWindow* switched = Open(b, {u"-freeze", u"-pos=300,10"});
  ViewerWindow* normal = Open(a);
  ASSERT_TRUE(thawed && switched && normal);

  thawed->Dispatch(kCmdFreeze, 0);
  ASSERT_FALSE(thawed->IsFrozen());
  EXPECT_EQ(platform.removedLogonShortcuts, (std::vector<std::u16string>{u"a.bmp"}));
  ASSERT_EQ(switched->OpenImage(U16(c), true), status::kOk);
  EXPECT_EQ(platform.removedLogonShortcuts, (std::vector<std::u16string>{u"a.bmp", u"b.bmp"}));
  // Unfrozen or never frozen windows have no entry to take back.
  Native(thawed)->Destroy();
  Native(normal)->Destroy();
  EXPECT_EQ(platform.removedLogonShortcuts.size(), 2u);
  Native(switched)->Destroy();
  EXPECT_EQ(platform.removedLogonShortcuts, (std::vector<std::u16string>{u"a.bmp", u"b.bmp", u"c.bmp"}));

  // The logon ends: the windows go with the process, their entries stay.
  ViewerWindow* pinned = Open(a, {u"-freeze"});
  ASSERT_NE(pinned, nullptr);
  platform.EndSession();
  ASSERT_FALSE(platform.logonShortcuts.empty());
  EXPECT_EQ(platform.logonShortcuts.back().name, u"a.bmp");
  Native(pinned)->Destroy();
  EXPECT_EQ(platform.removedLogonShortcuts.size(), 3u);
}

// Ends the session, starts the program as the shortcut would and checks that
// the frozen window comes back as it was.
// The keywords carry no size: the window gets its size from the image at the
// zoom, which is its frozen size unless the zoom changed after the freeze.
void ExpectComesBack(HeadlessPlatform& platform, ViewerApp& app, ViewerWindow* w, bool sameSize) {
  const ViewPoint origin = w->Window()->ClientOrigin();
  const ViewSize size = w->Window()->ClientSize();
  const double zoom = w->View()->Zoom();
  const size_t before = platform.logonShortcuts.size();
  platform.EndSession();
  ASSERT_EQ(platform.logonShortcuts.size(), before + 1);
  const std::u16string commandLine =
      u"\"/opt/vistrel/vistrel.exe\" " + platform.logonShortcuts.back().arguments;
  const StartupOptions startup = ScanStartupArguments(SplitCommandLine(commandLine));
  ASSERT_TRUE(startup.file.has_value());
  EXPECT_EQ(*startup.file, w->Path());

  ViewerWindow* again = app.OpenWindow(startup.file, &startup.arguments, nullptr);
  platform.Pump();
  ASSERT_NE(again, nullptr);
  EXPECT_TRUE(again->IsFrozen());
  EXPECT_EQ(again->Window()->ClientOrigin(), origin);
  EXPECT_NEAR(again->View()->Zoom(), zoom, 0.0005);
  if (sameSize) {
    EXPECT_NEAR(again->Window()->ClientSize().width, size.width, 1);
    EXPECT_NEAR(again->Window()->ClientSize().height, size.height, 1);
  }
}

TEST_F(ViewerLogoffTest, FrozenWindowComesBackWhereItWasWithItsZoom) {
  Options().viewerTitleBar = 0;
  const std::string a = dir.Write("sea side.bmp", SolidBmp(300, 200, kRed));
  ViewerWindow* w = Open(a, {u"-freeze", u"-pos=100,80"});
  ASSERT_NE(w, nullptr);
  Native(w)->UserMove({421, 333});
  w->Dispatch(kCmdZoomIn, 0);
  platform.Pump();
  ASSERT_NE(w->View()->Zoom(), 1.0);
  ASSERT_NE(w->Window()->ClientOrigin(), (ViewPoint{100, 80}));
  ExpectComesBack(platform, *app, w, false);
}

class ViewerLogoffTwoMonitorsTest : public ViewerFixture {
 protected:
  ViewerLogoffTwoMonitorsTest()
      : ViewerFixture({{{0, 0, 1920, 1080}, {0, 0, 1920, 1040}, 96},
                       {{-1280, -200, 0, 824}, {-1280, -200, 0, 784}, 96}}) {}
};

TEST_F(ViewerLogoffTwoMonitorsTest, FrozenWindowLeftOfThePrimaryComesBackThere) {
  Options().viewerTitleBar = 0;
  const std::string a = dir.Write("a.bmp", SolidBmp(640, 480, kGreen));
  ViewerWindow* w = Open(a, {u"-freeze", u"-pos=-1000,-150", u"-zoom=0.75"});
  ASSERT_NE(w, nullptr);
  ASSERT_EQ(w->Window()->ClientOrigin(), (ViewPoint{-1000, -150}));
  ExpectComesBack(platform, *app, w, true);
}

}  // namespace
}  // namespace vt::test
