#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "files/compare_names.h"
#include "viewer/view_command.h"
#include "viewer/viewer_fixture.h"
#include "viewer/viewer_paint.h"

namespace vt::test {
namespace {

constexpr uint32_t kRed = 0xFF0000;  // red, green, blue from the high byte down
constexpr uint32_t kGreen = 0x00FF00;

class ViewerWindowTest : public ViewerFixture {
 protected:
  // A start of the program (on this display, with this store) with the
  // arguments after the program's name; its exit status.
  int Start(const std::u16string& arguments) {
    ProgramEnvironment env;
    env.programPath = u"/opt/vistrel/vistrel.exe";
    env.store = &store;
    env.commandLine = u"vistrel.exe " + arguments;
    return RunProgram(platform, env);
  }
  static std::u16string Quoted(const std::string& path) { return u"\"" + U16(path) + u"\""; }
};

TEST_F(ViewerWindowTest, FirstImageIsFittedCentredAndTitled) {
  Options().viewerTitleBar = 0;  // framed
  const std::string path = dir.Write("photo.bmp", SolidBmp(640, 480, kRed));
  ViewerWindow* w = Open(path);
  ASSERT_NE(w, nullptr);
  HeadlessWindow* n = Native(w);
  EXPECT_TRUE(n->IsVisible());
  EXPECT_EQ(TitleOf(w), u"photo.bmp | 640\u2022480\u202224 | Vistrel");
  // 640 x 480 fits the work area: client at 1:1, centred, the caption's
  // half-height lower because the frame sits above the client.
  EXPECT_EQ(n->ClientSize(), (ViewSize{640, 480}));
  EXPECT_EQ(n->ClientOrigin(), (ViewPoint{960 - 320, 520 - 240 + 23 / 2}));
  // What was painted is the image, edge to edge.
  EXPECT_EQ(n->Pixel(0, 0), 0xFFFF0000u);
  EXPECT_EQ(n->Pixel(639, 479), 0xFFFF0000u);
  EXPECT_EQ(settings->LastFilePath(), U16(path));
}

TEST_F(ViewerWindowTest, LargeImageIsFittedToTheWorkAreaAndTitleShowsTheZoom) {
  Options().viewerTitleBar = 0;
  const std::string path = dir.Write("big.bmp", SolidBmp(3000, 2000, kGreen));
  ViewerWindow* w = Open(path);
  ASSERT_NE(w, nullptr);
  const ViewSize c = Native(w)->ClientSize();
  // Framed: 1040 - 2 x 8 - 23 high at most; the width follows the aspect.
  EXPECT_EQ(c.height, 1001);
  EXPECT_NEAR(c.width, 1501.5, 1.0);
  const std::u16string title = TitleOf(w);
  EXPECT_NE(title.find(u" | 0.5"), std::u16string::npos) << std::string(title.begin(), title.end());
  EXPECT_TRUE(title.ends_with(u"x | Vistrel"));
}

TEST_F(ViewerWindowTest, StartZoomPositionTitleAndTopmostKeywords) {
  Options().viewerTitleBar = 0;
  Options().autoFit = 0;
  const std::string path = dir.Write("a.bmp", SolidBmp(640, 480, kRed));
  ViewerWindow* w = Open(path, {u"-zoom=0.5", u"-pos=100,200", u"-topmost"});
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(Native(w)->ClientSize(), (ViewSize{320, 240}));
  EXPECT_EQ(Native(w)->ClientOrigin().x, 100);
  EXPECT_TRUE(Native(w)->IsTopmost());
  EXPECT_EQ(TitleOf(w), u"a.bmp | 640\u2022480\u202224 | 0.5x | Vistrel");

  ViewerWindow* t = Open(path, {u"-title=My pictures"});
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(TitleOf(t), u"My pictures - Vistrel");
}

TEST_F(ViewerWindowTest, FullScreenStartCoversTheMonitorAndShrinksOnlyLargeImages) {
  Options().viewerTitleBar = 0;
  Options().viewerBackgroundFlags = 0x40;  // the grey of the settings, not the image's red
  const std::string small = dir.Write("s.bmp", SolidBmp(200, 100, kRed));
  ViewerWindow* w = Open(small, {u"-fullscreen"});
  ASSERT_NE(w, nullptr);
  HeadlessWindow* n = Native(w);
  EXPECT_EQ(n->State(), ShowState::kMaximized);
  EXPECT_EQ(n->ClientSize(), (ViewSize{1920, 1080}));
  EXPECT_TRUE(n->IsTopmost());
  EXPECT_EQ(w->View()->Zoom(), 1.0);  // only shrinks
  // The image is centred on the background.
  EXPECT_EQ(n->Pixel(960, 540), 0xFFFF0000u);
  EXPECT_EQ(n->Pixel(10, 10), 0xFF808080u);

  // A new large image in the maximized window is shrunk into the monitor.
  const std::string large = dir.Write("t.bmp", SolidBmp(3840, 1000, kGreen));
  ASSERT_EQ(w->OpenImage(U16(large), true), status::kOk);
  platform.Pump();
  EXPECT_EQ(n->State(), ShowState::kMaximized);
  EXPECT_DOUBLE_EQ(w->View()->Zoom(), 0.5);

  // Leaving full screen fits the window again and drops the topmost state.
  w->Dispatch(kCmdToggleFullScreen, 0);
  platform.Pump();
  EXPECT_EQ(n->State(), ShowState::kNormal);
  EXPECT_FALSE(n->IsTopmost());
  EXPECT_LE(n->ClientSize().width, 1920 - 16);
}

TEST_F(ViewerWindowTest, FullScreenWindowMinimizesWhenAnotherWindowIsActivated) {
  Options().viewerTitleBar = 0;
  const std::string a = dir.Write("a.bmp", SolidBmp(200, 100, kRed));
  ViewerWindow* w = Open(a, {u"-fullscreen"});
  ASSERT_NE(w, nullptr);
  ViewerWindow* other = Open(a);
  ASSERT_NE(other, nullptr);
  other->Window()->BringToFront();
  EXPECT_EQ(Native(w)->State(), ShowState::kMinimized);
}

TEST_F(ViewerWindowTest, FrozenWindowKeepsItsSizeAndIgnoresMostCommands) {
  Options().viewerTitleBar = 0;
  const std::string a = dir.Write("a.bmp", SolidBmp(400, 300, kRed));
  const std::string b = dir.Write("b.bmp", SolidBmp(800, 600, kGreen));
  ViewerWindow* w = Open(a, {u"-freeze", u"-pos=50,60"});
  ASSERT_NE(w, nullptr);
  HeadlessWindow* n = Native(w);
  EXPECT_TRUE(w->IsFrozen());
  EXPECT_NE(n->Owner(), 0u);
  EXPECT_TRUE(n->IsNoActivate());
  EXPECT_LT(n->ZOrder(), 0);  // at the bottom
  EXPECT_EQ(n->ClientSize(), (ViewSize{400, 300}));
  EXPECT_EQ(n->ClientOrigin(), (ViewPoint{50, 60}));
  EXPECT_FALSE(w->FrameShown());

  // A larger image is fitted into the saved size at the saved place.
  ASSERT_EQ(w->OpenImage(U16(b), true), status::kOk);
  platform.Pump();
  EXPECT_EQ(n->ClientSize(), (ViewSize{400, 300}));
  EXPECT_DOUBLE_EQ(w->View()->Zoom(), 0.5);

  // Commands outside the frozen set do nothing; keys outside it are unbound.
  w->Dispatch(kCmdTopmost, 0);
  EXPECT_FALSE(n->IsTopmost());
  EXPECT_FALSE(n->SendKey('U'));
  // Close unfreezes first, then closes.
  w->Dispatch(kCmdClose, 0);
  EXPECT_TRUE(w->Exists());
  platform.Pump();
  EXPECT_FALSE(w->Exists());
}

TEST_F(ViewerWindowTest, FreezeCommandSavesTheClientAndRestrictsTheKeys) {
  Options().viewerTitleBar = 0;
  const std::string a = dir.Write("a.bmp", SolidBmp(400, 300, kRed));
  ViewerWindow* w = Open(a);
  ASSERT_NE(w, nullptr);
  EXPECT_TRUE(Native(w)->SendKey('F', kModifierCtrl));
  EXPECT_TRUE(w->IsFrozen());
  ASSERT_NE(w->Accelerators(), nullptr);
  EXPECT_EQ(w->Accelerators()->Bindings().size(), 10u);
  EXPECT_FALSE(Native(w)->SendKey('R'));  // restore original size: not while frozen
  EXPECT_TRUE(Native(w)->SendKey('F', kModifierCtrl));
  EXPECT_FALSE(w->IsFrozen());
  EXPECT_TRUE(w->FrameShown());
}

TEST_F(ViewerWindowTest, TaskbarProgressFollowsTheDecode) {
  // Tall enough for the reader to report many times along the way.
  const std::string path = dir.Write("tall.bmp", SolidBmp(64, 300, kRed));
  platform.progress.clear();
  ViewerWindow* w = Open(path);
  ASSERT_NE(w, nullptr);
  ASSERT_TRUE(w->HasImage());
  const auto& p = platform.progress;
  ASSERT_GE(p.size(), 2u);
  // Reset first, hidden last, and full just before.
  EXPECT_EQ(p.front().state, ProgressState::kNormal);
  EXPECT_EQ(p.front().done, 0u);
  EXPECT_EQ(p.back().state, ProgressState::kNone);
  const auto& full = p[p.size() - 2];
  EXPECT_EQ(full.state, ProgressState::kNormal);
  EXPECT_EQ(full.done, full.total);
  // In between: the decode's own reports, rising, several strictly partial.
  int partial = 0;
  double last = 0;
  for (size_t i = 1; i + 2 < p.size(); ++i) {
    ASSERT_EQ(p[i].state, ProgressState::kNormal);
    ASSERT_GT(p[i].total, 0u);
    ASSERT_LE(p[i].done, p[i].total);
    const double share = double(p[i].done) / p[i].total;
    EXPECT_GE(share, last);
    last = share;
    if (p[i].done > 0 && p[i].done < p[i].total) ++partial;
  }
  EXPECT_GE(partial, 3);
}

TEST_F(ViewerWindowTest, MissingFileShowsTheMessageAndTheWindowCloses) {
  const std::string path = dir.Path() + "/missing.bmp";
  ViewerWindow* w = app->OpenWindow(U16(path), nullptr, nullptr);
  EXPECT_EQ(w, nullptr);
  ASSERT_EQ(platform.messageBoxes.size(), 1u);
  EXPECT_EQ(platform.messageBoxes[0].caption, u"Vistrel");
  EXPECT_EQ(platform.messageBoxes[0].text, u"无法打开文件: \"" + U16(path) + u"\"");
  platform.Pump();
  EXPECT_TRUE(app->Windows().empty());
  EXPECT_TRUE(platform.quitRequested);
}

// What went wrong and with which file, for every kind of failure; a start on
// such a file ends with a failure status.
TEST_F(ViewerWindowTest, AFileThatCannotBeShownIsNamedAndFailsTheStart) {
  struct Case {
    const char* name;
    std::string bytes;
    std::u16string text;  // %s: the path
  };
  const Case cases[] = {
      {"broken.jpg", "\xFF\xD8\xFF\xE0\x00\x10JFIF", u"文件损坏, 被截断或格式错误\n%s"},
      {"words.bmp", "this is no image of any kind, only words", u"未知的文件格式\n%s"},
      {"empty.png", "", u"文件为空\n%s"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::u16string path = U16(dir.Write(c.name, c.bytes));
    std::u16string expected = c.text;
    expected.replace(expected.find(u"%s"), 2, path);

    platform.messageBoxes.clear();
    EXPECT_EQ(app->OpenWindow(path, nullptr, nullptr), nullptr);
    ASSERT_EQ(platform.messageBoxes.size(), 1u);
    EXPECT_EQ(platform.messageBoxes[0].text, expected);
    platform.Pump();

    EXPECT_EQ(Start(u"\"" + path + u"\""), 1);
    ASSERT_EQ(platform.messageBoxes.size(), 2u);
    EXPECT_EQ(platform.messageBoxes[1].text, expected);
  }
  // A start on a missing file fails too; one that shows its file does not.
  EXPECT_EQ(Start(Quoted(dir.Path() + "/missing.bmp")), 1);
  EXPECT_EQ(Start(Quoted(dir.Write("good.bmp", SolidBmp(8, 8, kRed)))), 0);
}

TEST_F(ViewerWindowTest, NoFileShowsTheOpenDialogAndCancelOpensNothing) {
  EXPECT_EQ(app->OpenWindow(std::nullopt, nullptr, nullptr), nullptr);
  ASSERT_EQ(platform.openDialogTitles.size(), 1u);
  EXPECT_EQ(platform.openDialogTitles[0], u"打开图像文件 | Vistrel");

  const std::string a = dir.Write("a.bmp", SolidBmp(64, 64, kRed));
  const std::string b = dir.Write("b.bmp", SolidBmp(64, 64, kGreen));
  platform.openDialogAnswers.push_back({U16(a), U16(b)});
  EXPECT_NE(app->OpenWindow(std::nullopt, nullptr, nullptr), nullptr);
  platform.Pump();
  EXPECT_EQ(app->Windows().size(), 2u);
}

TEST_F(ViewerWindowTest, NavigationWrapsWithOneBeep) {
  Options().viewerTitleBar = 0;
  const std::string a = dir.Write("img1.bmp", SolidBmp(32, 32, kRed));
  dir.Write("img2.bmp", SolidBmp(32, 32, kGreen));
  const std::string c = dir.Write("img10.bmp", SolidBmp(32, 32, 0xFF0000));
  dir.Write("notes.txt", "not an image");
  ViewerWindow* w = Open(a);
  ASSERT_NE(w, nullptr);
  HeadlessWindow* n = Native(w);

  EXPECT_TRUE(n->SendKey(0x22));  // Page Down
  platform.Pump();
  EXPECT_TRUE(w->Path().ends_with(u"img2.bmp"));
  EXPECT_TRUE(n->SendKey(0x20));  // Space
  platform.Pump();
  EXPECT_EQ(w->Path(), U16(c));
  EXPECT_EQ(platform.beeps, 0);
  EXPECT_TRUE(TitleOf(w).starts_with(u"img10.bmp"));

  EXPECT_TRUE(n->SendKey(0x20));
  platform.Pump();
  EXPECT_EQ(platform.beeps, 1);
  EXPECT_EQ(w->Path(), U16(a));

  EXPECT_TRUE(n->SendKey(0x08));  // Backspace: previous wraps to the last
  platform.Pump();
  EXPECT_EQ(platform.beeps, 2);
  EXPECT_EQ(w->Path(), U16(c));

  EXPECT_TRUE(n->SendKey(0x24));  // Home
  platform.Pump();
  EXPECT_EQ(w->Path(), U16(a));
  EXPECT_TRUE(n->SendKey(0x23));  // End
  platform.Pump();
  EXPECT_EQ(w->Path(), U16(c));
  EXPECT_EQ(platform.beeps, 2);
  EXPECT_TRUE(platform.messageBoxes.empty());
}

TEST_F(ViewerWindowTest, FolderWithOneImageBeepsAndShowsItAgain) {
  const std::string a = dir.Write("only.bmp", SolidBmp(32, 32, kRed));
  ViewerWindow* w = Open(a);
  ASSERT_NE(w, nullptr);
  w->Dispatch(kCmdNextFile, 0);
  platform.Pump();
  EXPECT_EQ(platform.beeps, 1);
  EXPECT_EQ(w->Path(), U16(a));
  EXPECT_TRUE(w->HasImage());
}

// The folder is watched while a window steps through it: a file written there
// after the window opened is the next image, and one removed is passed over.
// The watch reports on its own thread a moment after the change, so the step
// is retried until then.
TEST_F(ViewerWindowTest, StepsSeeFilesAddedToAndRemovedFromTheFolder) {
  const std::string a = dir.Write("a.bmp", SolidBmp(32, 32, kRed));
  ViewerWindow* w = Open(a);
  ASSERT_NE(w, nullptr);
  const auto stepUntil = [&](const std::string& wanted) {
    for (int i = 0; i < 100 && w->Path() != U16(wanted); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      w->Dispatch(kCmdNextFile, 0);
      platform.Pump();
    }
    return w->Path() == U16(wanted);
  };
  const std::string b = dir.Write("b.bmp", SolidBmp(32, 32, kGreen));
  EXPECT_TRUE(stepUntil(b));
  const std::string c = dir.Write("c.bmp", SolidBmp(32, 32, kGreen));
  std::filesystem::remove(b);
  // From the vanished b.bmp the next image is the new c.bmp. (A step taken
  // before the watch has spoken may still try b.bmp and report it.)
  EXPECT_TRUE(stepUntil(c));
  EXPECT_TRUE(w->HasImage());
}

TEST_F(ViewerWindowTest, UnreadableFilesAreSkippedWhileStepping) {
  const std::string a = dir.Write("a.bmp", SolidBmp(32, 32, kRed));
  dir.Write("b.bmp", "BM broken");
  dir.Write("c.bmp", "BM broken too");
  const std::string d = dir.Write("d.bmp", SolidBmp(32, 32, kGreen));
  ViewerWindow* w = Open(a);
  ASSERT_NE(w, nullptr);
  w->Dispatch(kCmdNextFile, 0);
  platform.Pump();
  EXPECT_EQ(w->Path(), U16(d));
  EXPECT_TRUE(platform.messageBoxes.empty());  // passed over, not reported one by one
  EXPECT_EQ(platform.beeps, 0);
  // And backwards over them, wrapping once at the start.
  w->Dispatch(kCmdPreviousFile, 0);
  platform.Pump();
  EXPECT_EQ(w->Path(), U16(a));
  w->Dispatch(kCmdPreviousFile, 0);
  platform.Pump();
  EXPECT_EQ(w->Path(), U16(d));
  EXPECT_EQ(platform.beeps, 1);
}

// The user's "NoStrCmpLogical" policy turns the natural order off for every
// folder the program steps through: img1, img10, img2.
TEST_F(ViewerWindowTest, ThePlainOrderPolicyReachesTheFolderSteps) {
  const std::string a = dir.Write("img1.bmp", SolidBmp(16, 16, kRed));
  const std::string b = dir.Write("img2.bmp", SolidBmp(16, 16, kGreen));
  const std::string c = dir.Write("img10.bmp", SolidBmp(16, 16, kGreen));
  struct Restore {
    ~Restore() { SetNaturalFileOrder(true); }
  } restore;
  for (const std::optional<uint32_t> policy :
       {std::optional<uint32_t>(1), std::optional<uint32_t>()}) {
    store.policy = policy;
    ASSERT_EQ(Start(Quoted(a)), 0);
    platform.Pump();
    ViewerWindow* w = Open(a);
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(Native(w)->SendKey(0x20));  // Space
    platform.Pump();
    EXPECT_EQ(w->Path(), U16(policy ? c : b));
    w->Dispatch(kCmdClose, 0);
    platform.Pump();
  }
}

TEST_F(ViewerWindowTest, CacheCapacityFollowsTheWindowCount) {
  EXPECT_EQ(CacheCapacityForWindows(1), 3u);
  EXPECT_EQ(CacheCapacityForWindows(2), 6u);
  EXPECT_EQ(CacheCapacityForWindows(3), 7u);
  EXPECT_EQ(CacheCapacityForWindows(4), 9u);
  EXPECT_EQ(CacheCapacityForWindows(11), 16u);
  EXPECT_EQ(CacheCapacityForWindows(40), 16u);

  const std::string a = dir.Write("a.bmp", SolidBmp(32, 32, kRed));
  Open(a);
  EXPECT_EQ(cache->Capacity(), 3u);
  Open(a);
  Open(a);
  EXPECT_EQ(app->Windows().size(), 3u);
  EXPECT_EQ(cache->Capacity(), 7u);
}

TEST_F(ViewerWindowTest, FramelessWindowIsPresentedLayeredWithAThinBorder) {
  Options().viewerTitleBar = 2;  // never a title bar
  const std::string path = dir.Write("p.bmp", MakeBmp(300, 200, [](int x, int) {
    return x < 150 ? kRed : kGreen;
  }));
  ViewerWindow* w = Open(path);
  ASSERT_NE(w, nullptr);
  HeadlessWindow* n = Native(w);
  EXPECT_FALSE(w->FrameShown());
  EXPECT_TRUE(w->ThinBorder());  // no alpha in the image
  EXPECT_EQ(n->Frame(), FrameStyle::kFramelessBorder);
  EXPECT_TRUE(n->IsLayered());
  EXPECT_GE(n->PresentCount(), 1);
  EXPECT_EQ(n->PaintCount(), 0);
  EXPECT_FALSE(n->LastPresentPerPixelAlpha());
  EXPECT_EQ(n->ClientSize(), (ViewSize{300, 200}));
  EXPECT_EQ(n->ClientOrigin(), (ViewPoint{960 - 150, 520 - 100}));
  EXPECT_EQ(n->WindowRect(), (ViewRect{809, 419, 1111, 621}));
  EXPECT_EQ(n->Pixel(0, 0), 0xFFFF0000u);
  EXPECT_EQ(n->Pixel(299, 199), 0xFF00FF00u);
}

TEST_F(ViewerWindowTest, RefusedLayeredStyleSwitchesSemiTransparencyOffAndPaints) {
  Options().viewerTitleBar = 2;
  platform.refuseLayered = true;
  const std::string path = dir.Write("p.bmp", SolidBmp(100, 80, kRed));
  ViewerWindow* w = Open(path);
  ASSERT_NE(w, nullptr);
  EXPECT_NE(Options().viewerBackgroundFlags & 0x80, 0);
  EXPECT_GE(Native(w)->PaintCount(), 1);
  EXPECT_EQ(Native(w)->Pixel(50, 40), 0xFFFF0000u);
}

// A 32-bit bitmap with alpha; pixel gives blue, green, red, alpha of (x, y).
std::string AlphaBmp(int32_t width, int32_t height,
                     const std::function<uint32_t(int, int)>& pixel) {
  std::string s = "BM";
  const auto put = [&s](uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) s.push_back(static_cast<char>(v >> (8 * i)));
  };
  const uint32_t imageBytes = uint32_t(width) * uint32_t(height) * 4;
  put(54 + imageBytes, 4), put(0, 4), put(54, 4);
  put(40, 4), put(uint32_t(width), 4), put(uint32_t(height), 4), put(1, 2), put(32, 2);
  put(0, 4), put(imageBytes, 4), put(2835, 4), put(2835, 4), put(0, 4), put(0, 4);
  for (int y = height - 1; y >= 0; --y)
    for (int x = 0; x < width; ++x) put(pixel(x, y), 4);
  return s;
}

// The left half fully transparent, the right half opaque red.
std::string HalfTransparentBmp(int32_t width, int32_t height) {
  return AlphaBmp(width, height, [width](int x, int) { return x < width / 2 ? 0u : 0xFFFF0000u; });
}

// A red disc on a transparent canvas: it shows on the window's background,
// never on a background of its own colour; with the checkerboard on, the
// squares show through around it, in framed and in layered windows.
TEST_F(ViewerWindowTest, APictureOnATransparentCanvasStaysVisible) {
  Options().viewerTitleBar = 0;
  Options().viewerBackgroundFlags = 0;  // automatic colour, semi-transparent
  const std::string disc =
      dir.Write("disc.bmp", AlphaBmp(120, 90, [](int x, int y) {
                  return (x - 60) * (x - 60) + (y - 45) * (y - 45) < 30 * 30 ? 0xFFFF0000u : 0u;
                }));
  ViewerWindow* w = Open(disc);
  ASSERT_NE(w, nullptr);
  HeadlessWindow* n = Native(w);
  const ViewSize client = n->ClientSize();
  const ViewPoint at{(client.width - 120 + 1) / 2, (client.height - 90 + 1) / 2};
  EXPECT_EQ(w->BackgroundColour(), 0xFF808080u);
  EXPECT_EQ(n->Pixel(at.x + 2, at.y + 2), 0xFF808080u);
  EXPECT_EQ(n->Pixel(at.x + 60, at.y + 45), 0xFFFF0000u);

  EXPECT_FALSE(w->CheckerboardShown());
  w->SetCheckerboard(true);
  EXPECT_TRUE(settings->Checkerboard());
  // Squares of 8 from the image's corner, light first.
  EXPECT_EQ(n->Pixel(at.x + 2, at.y + 2), kCheckerLight);
  EXPECT_EQ(n->Pixel(at.x + 10, at.y + 2), kCheckerDark);
  EXPECT_EQ(n->Pixel(at.x + 10, at.y + 10), kCheckerLight);
  EXPECT_EQ(n->Pixel(at.x + 60, at.y + 45), 0xFFFF0000u);

  // Layered: the squares make the window opaque.
  Options().viewerTitleBar = 2;
  ViewerWindow* layered = Open(disc);
  ASSERT_NE(layered, nullptr);
  HeadlessWindow* l = Native(layered);
  ASSERT_TRUE(l->IsLayered());
  EXPECT_FALSE(l->LastPresentPerPixelAlpha());
  EXPECT_EQ(l->Pixel(2, 2), kCheckerLight);
  // Turned off in one window, it goes in all of them.
  layered->SetCheckerboard(false);
  EXPECT_TRUE(l->LastPresentPerPixelAlpha());
  EXPECT_EQ(l->Pixel(2, 2) >> 24, 0u);
  EXPECT_EQ(n->Pixel(at.x + 2, at.y + 2), 0xFF808080u);
}

// 800 % of an image far larger than the screen: only what the window shows
// (and a margin) is ever scaled, and moving over the image scales the part
// that comes into view.
TEST_F(ViewerWindowTest, ALargeZoomScalesOnlyWhatTheWindowShows) {
  Options().viewerTitleBar = 0;
  // Left half red, right half green; the top 100 rows blue.
  const std::string big = dir.Write("big.bmp", MakeBmp(1200, 800, [](int x, int y) {
                                      return y < 100 ? 0x0000FFu : x < 600 ? kRed : kGreen;
                                    }));
  ViewerWindow* w = Open(big);
  ASSERT_NE(w, nullptr);
  HeadlessWindow* n = Native(w);
  n->SendKey('9');  // 800 %
  ASSERT_EQ(w->View()->Zoom(), 8.0);
  EXPECT_EQ(TitleOf(w), u"big.bmp | 1200\u2022800\u202224 | 8.0x | Vistrel");
  const ViewSize client = n->ClientSize();
  ASSERT_TRUE(w->View()->DisplayTiled());
  const auto partPixels = [&] {
    const ImageBuffer* part = w->View()->DisplayImage();
    return part ? uint64_t{part->Width()} * part->Height() : 0;
  };
  // The part is the window and a quarter of it on every side, at most.
  const uint64_t screenful = uint64_t(client.width) * uint64_t(client.height);
  EXPECT_GT(partPixels(), 0u);
  EXPECT_LE(partPixels(), screenful * 9 / 4 + 1);
  // The centre of the image is the centre of the window.
  EXPECT_EQ(n->Pixel(client.width / 2 - 100, client.height / 2), 0xFFFF0000u);
  EXPECT_EQ(n->Pixel(client.width / 2 + 100, client.height / 2), 0xFF00FF00u);

  // To the top-left corner, then the right edge.
  w->SetScroll({0, 0});
  w->Refresh();
  EXPECT_EQ(w->View()->DisplayOrigin(), (ViewPoint{0, 0}));
  EXPECT_EQ(n->Pixel(5, 5), 0xFF0000FFu);
  EXPECT_EQ(n->Pixel(5, 8 * 100 + 5), 0xFFFF0000u);
  EXPECT_LE(partPixels(), screenful * 9 / 4 + 1);
  w->SetScroll({9600 - client.width, 4000});
  w->Refresh();
  EXPECT_EQ(n->Pixel(client.width - 1, 5), 0xFF00FF00u);
  EXPECT_LE(partPixels(), screenful * 9 / 4 + 1);
  const ViewPoint origin = w->View()->DisplayOrigin();
  EXPECT_GE(origin.x + int32_t(w->View()->DisplayImage()->Width()), 9600);
}

TEST_F(ViewerWindowTest, WithdrawnPerPixelPresentationPaintsOnAnOpaqueBackground) {
  Options().viewerTitleBar = 2;
  Options().viewerBackgroundFlags = 0x40;  // semi-transparent, the settings' grey
  ViewerWindow* w = Open(dir.Write("glass.bmp", HalfTransparentBmp(100, 80)));
  ASSERT_NE(w, nullptr);
  HeadlessWindow* n = Native(w);
  ASSERT_TRUE(n->IsLayered());
  ASSERT_TRUE(n->LastPresentPerPixelAlpha());
  EXPECT_EQ(n->Pixel(10, 40) >> 24, 0u);  // the desktop shows through

  // What a desktop does when its compositor quits: the style is gone.
  n->SetLayered(false);
  const int paints = n->PaintCount();
  w->OnDisplayChange();
  platform.Pump();
  EXPECT_GT(n->PaintCount(), paints);
  EXPECT_EQ(n->Pixel(10, 40), 0xFF808080u);  // the background, not a hole
  EXPECT_EQ(n->Pixel(90, 40), 0xFFFF0000u);
  // Only this window lost it: the setting stays for windows to come.
  EXPECT_EQ(Options().viewerBackgroundFlags & 0x80, 0);
}

// Started in full screen, the window has no normal size to go back to: it is
// laid out as a window opened on the image normally.
TEST_F(ViewerWindowTest, LeavingAFullScreenStartGivesTheWindowOfANormalStart) {
  Options().viewerTitleBar = 0;
  const std::string path = dir.Write("l.bmp", SolidBmp(3840, 1000, kGreen));
  ViewerWindow* normal = Open(path);
  ASSERT_NE(normal, nullptr);
  ViewerWindow* w = Open(path, {u"-fullscreen"});
  ASSERT_NE(w, nullptr);
  ASSERT_EQ(Native(w)->State(), ShowState::kMaximized);
  w->Dispatch(kCmdToggleFullScreen, 0);
  platform.Pump();
  EXPECT_EQ(Native(w)->State(), ShowState::kNormal);
  EXPECT_DOUBLE_EQ(w->View()->Zoom(), normal->View()->Zoom());
  EXPECT_EQ(Native(w)->ClientSize(), Native(normal)->ClientSize());
  EXPECT_EQ(Native(w)->WindowRect(), Native(normal)->WindowRect());

  // Small images too, through the system's restore.
  const std::string small = dir.Write("s.bmp", SolidBmp(300, 200, kRed));
  ViewerWindow* s = Open(small, {u"-fullscreen"});
  ASSERT_NE(s, nullptr);
  Native(s)->Show(ShowState::kNormal, true);
  platform.Pump();
  EXPECT_DOUBLE_EQ(s->View()->Zoom(), 1.0);
  EXPECT_EQ(Native(s)->ClientSize(), (ViewSize{300, 200}));
}

TEST_F(ViewerWindowTest, HoverModeShowsTheFrameAndHidesItAfterTheMouseLeft) {
  Options().viewerTitleBar = 1;
  const std::string path = dir.Write("p.bmp", SolidBmp(300, 200, kRed));
  ViewerWindow* w = Open(path);
  ASSERT_NE(w, nullptr);
  HeadlessWindow* n = Native(w);
  EXPECT_FALSE(w->FrameShown());
  n->SendMouseMove({10, 10});
  EXPECT_TRUE(w->FrameShown());
  EXPECT_EQ(n->Frame(), FrameStyle::kFramed);
  EXPECT_TRUE(n->HasTimer(ViewerWindow::kHoverTimer));
  platform.AdvanceTime(250);  // still under the cursor: stays
  EXPECT_TRUE(w->FrameShown());
  platform.cursor = {0, 0};
  platform.AdvanceTime(250);
  EXPECT_FALSE(w->FrameShown());
  EXPECT_FALSE(n->HasTimer(ViewerWindow::kHoverTimer));
}

// The frame that hovering brings up must lie on the work area (1920 x 1040
// here, a frame 8 + 23 high above the client and 8 below) for an image as
// tall as the screen, started, zoomed and stepped to; without hovering the
// window gives up no room. A small image stays in the middle of the area.
TEST_F(ViewerWindowTest, HoverFrameOfAScreenHighImageLiesOnTheWorkArea) {
  const std::string tall = dir.Write("a-tall.bmp", SolidBmp(500, 2200, kRed));
  const std::string wide = dir.Write("b-wide.bmp", SolidBmp(4000, 1000, kGreen));
  const std::string small = dir.Write("small.bmp", SolidBmp(640, 480, kGreen));
  const ViewRect area{0, 0, 1920, 1040};
  auto inside = [&](const ViewRect& r) {
    return r.left >= area.left && r.top >= area.top && r.right <= area.right && r.bottom <= area.bottom;
  };
  struct Case {
    uint8_t titleBar;
    int32_t clientHeight;  // of the tall image, started
  };
  // Never framed, the window takes the whole height less its thin border.
  for (const Case c : {Case{1, 1040 - 2 * 8 - 23}, Case{2, 1040 - 2}}) {
    SCOPED_TRACE(testing::Message() << "title bar " << int(c.titleBar));
    Options().viewerTitleBar = c.titleBar;
    ViewerWindow* w = Open(tall);
    ASSERT_NE(w, nullptr);
    HeadlessWindow* n = Native(w);
    EXPECT_EQ(n->ClientSize().height, c.clientHeight);
    if (c.titleBar == 1) {
      const auto hoverFrameInside = [&](const char* when) {
        SCOPED_TRACE(when);
        n->SendMouseMove({10, 10});
        ASSERT_TRUE(w->FrameShown());
        EXPECT_TRUE(inside(n->WindowRect()));
        platform.cursor = {-10000, -10000};
        platform.AdvanceTime(2 * ViewerWindow::kHoverMilliseconds);
        ASSERT_FALSE(w->FrameShown());
      };
      hoverFrameInside("started");
      w->Dispatch(kCmdZoomIn, 0);
      platform.Pump();
      hoverFrameInside("zoomed in");
      w->Dispatch(kCmdNextFile, 0);
      platform.Pump();
      ASSERT_EQ(w->Path(), U16(wide));
      w->Dispatch(kCmdPreviousFile, 0);
      platform.Pump();
      ASSERT_EQ(w->Path(), U16(tall));
      hoverFrameInside("stepped back to");
    }
    w->Window()->Destroy();
    platform.Pump();
    ViewerWindow* s = Open(small);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(Native(s)->ClientOrigin(), (ViewPoint{960 - 320, 520 - 240}));
    s->Window()->Destroy();
    platform.Pump();
  }
}

TEST_F(ViewerWindowTest, FramedPaintCentresTheImageOnTheBackground) {
  Options().viewerTitleBar = 0;
  Options().autoFit = 0;
  Options().viewerBackgroundFlags = 0x40;  // automatic colour off
  Options().viewerBackground[0] = 0x10;
  Options().viewerBackground[1] = 0x20;
  Options().viewerBackground[2] = 0x30;
  const std::string path = dir.Write("p.bmp", SolidBmp(100, 80, kRed));
  ViewerWindow* w = Open(path);
  ASSERT_NE(w, nullptr);
  w->PlaceClient(w->ClientOrigin(), {300, 200});
  HeadlessWindow* n = Native(w);
  EXPECT_EQ(n->Pixel(99, 59), 0xFF302010u);
  EXPECT_EQ(n->Pixel(100, 60), 0xFFFF0000u);
  EXPECT_EQ(n->Pixel(199, 139), 0xFFFF0000u);
  EXPECT_EQ(n->Pixel(200, 140), 0xFF302010u);
}

TEST_F(ViewerWindowTest, OverlaysAreDrawnWhiteThenBlackAtTheirPlace) {
  Options().viewerTitleBar = 0;
  Options().overlays[0] = 0x10 | 1;  // title, top right
  Options().overlays[1] = 0;
  Options().overlays[2] = 0;
  const std::string path = dir.Write("title.bmp", SolidBmp(400, 300, kRed));
  ViewerWindow* w = Open(path);
  ASSERT_NE(w, nullptr);
  const auto& labels = Native(w)->Labels();
  ASSERT_EQ(labels.size(), 2u);
  EXPECT_EQ(labels[0].text, labels[1].text);
  EXPECT_EQ(labels[0].colour, 0xFFFFFFFFu);
  EXPECT_EQ(labels[1].colour, 0xFF000000u);
  EXPECT_EQ(labels[0].at.x + 1, labels[1].at.x);
  EXPECT_EQ(labels[0].at.y + 1, labels[1].at.y);
  // Right-aligned: ends 2m from the right edge.
  const int32_t width = static_cast<int32_t>(labels[1].text.size()) * 7;
  EXPECT_LT(labels[1].at.x + width, 400);
  EXPECT_GT(labels[1].at.x + width, 400 - 20);
}

TEST_F(ViewerWindowTest, AnimationTimerUsesTheFrameDelays) {
  Options().viewerTitleBar = 0;
  const std::string path = dir.Write("p.bmp", SolidBmp(10, 10, kRed));
  ViewerWindow* w = Open(path);
  ASSERT_NE(w, nullptr);
  const uint64_t now = platform.TickCount();
  w->SetAnimationTimer(0);
  EXPECT_EQ(w->AnimationDue(), now + 33);
  EXPECT_EQ(Native(w)->TimerRemaining(ViewerWindow::kAnimationTimer), 33);
  // Due times accumulate even when the tick arrives late.
  platform.AdvanceTime(30);
  w->SetAnimationTimer(100);
  EXPECT_EQ(w->AnimationDue(), now + 133);
  w->SetAnimationTimer(-1);
  EXPECT_EQ(w->AnimationDue(), 0u);
  EXPECT_FALSE(Native(w)->HasTimer(ViewerWindow::kAnimationTimer));
}

TEST_F(ViewerWindowTest, HandOffOpensASecondWindowAndCloseAllEndsThem) {
  const std::string a = dir.Write("a.bmp", SolidBmp(64, 48, kRed));
  const std::string b = dir.Write("b.bmp", SolidBmp(48, 64, kGreen));
  ViewerWindow* first = Open(a);
  ASSERT_NE(first, nullptr);

  // A second start forwards its command line to the running window.
  const auto running = platform.FindTopLevelWindows(u"Vistrel");
  ASSERT_EQ(running.size(), 1u);
  const std::u16string payload = BuildHandOffPayload(U16(b), {U16(b), u"-topmost"});
  const auto bytes = HandOffBytes(payload);
  EXPECT_TRUE(platform.SendCopyData(running[0], kHandOffTag, bytes));
  platform.Pump();
  ASSERT_EQ(app->Windows().size(), 2u);
  EXPECT_EQ(app->Windows()[1]->Path(), U16(b));
  EXPECT_TRUE(app->Windows()[1]->IsTopmost());
  // A wrong tag or a cut payload is refused.
  EXPECT_FALSE(platform.SendCopyData(running[0], 0x12345678, bytes));
  EXPECT_FALSE(platform.SendCopyData(running[0], kHandOffTag, std::span(bytes).first(2)));

  first->Dispatch(kCmdCloseAll, 0);
  platform.Pump();
  EXPECT_TRUE(app->Windows().empty());
  EXPECT_TRUE(platform.quitRequested);
}

TEST_F(ViewerWindowTest, SlideshowStateIgnoresNavigationAndStopsBeforeClosing) {
  const std::string a = dir.Write("a.bmp", SolidBmp(16, 16, kRed));
  dir.Write("b.bmp", SolidBmp(16, 16, kGreen));
  ViewerWindow* w = Open(a);
  ASSERT_NE(w, nullptr);
  w->Dispatch(kCmdSlideshowState, 1);
  EXPECT_TRUE(TitleOf(w).starts_with(u"幻灯片 | a.bmp"));
  w->Dispatch(kCmdNextFile, 0);
  platform.Pump();
  EXPECT_EQ(w->Path(), U16(a));
  w->Dispatch(kCmdClose, 0);
  EXPECT_TRUE(w->Exists());
  platform.Pump();
  EXPECT_FALSE(w->Exists());
}

TEST_F(ViewerWindowTest, TopmostAndBackCommands) {
  const std::string a = dir.Write("a.bmp", SolidBmp(16, 16, kRed));
  ViewerWindow* w = Open(a);
  ASSERT_NE(w, nullptr);
  EXPECT_TRUE(Native(w)->SendKey('U'));
  EXPECT_TRUE(w->IsTopmost());
  EXPECT_TRUE(Native(w)->IsTopmost());
  w->Dispatch(kCmdTopmost, 0);
  EXPECT_FALSE(Native(w)->IsTopmost());
  Native(w)->SendKey('B');
  EXPECT_LT(Native(w)->ZOrder(), 0);
  w->Dispatch(kCmdBringToFront, 0);
  EXPECT_GT(Native(w)->ZOrder(), 0);
  EXPECT_TRUE(Native(w)->IsForeground());
}

TEST_F(ViewerWindowTest, ZoomKeysChangeTheZoomAndTheTitle) {
  Options().viewerTitleBar = 0;
  const std::string a = dir.Write("a.bmp", SolidBmp(400, 300, kRed));
  ViewerWindow* w = Open(a);
  ASSERT_NE(w, nullptr);
  Native(w)->SendKey('2');  // 25 %
  EXPECT_DOUBLE_EQ(w->View()->Zoom(), 0.25);
  EXPECT_TRUE(TitleOf(w).ends_with(u" | 0.25x | Vistrel"));
  EXPECT_EQ(Native(w)->ClientSize(), (ViewSize{100, 75}));
  Native(w)->SendKey(0x26);  // up: zoom in a quarter octave
  EXPECT_TRUE(TitleOf(w).ends_with(u" | 0.297x | Vistrel"));
  Native(w)->SendKey('R');
  EXPECT_DOUBLE_EQ(w->View()->Zoom(), 1.0);
  EXPECT_EQ(TitleOf(w), u"a.bmp | 400\u2022300\u202224 | Vistrel");
}

TEST_F(ViewerWindowTest, RunProgramForwardsToTheRunningInstanceAndCloseEndsIt) {
  const std::string a = dir.Write("a.bmp", SolidBmp(16, 16, kRed));
  const std::string b = dir.Write("b.bmp", SolidBmp(16, 16, kGreen));
  ViewerWindow* w = Open(a);
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(Start(Quoted(b)), 0);
  platform.Pump();
  EXPECT_EQ(app->Windows().size(), 2u);

  // A name relative to the starting process's folder reaches the running
  // instance as the whole path, and the window can step through its folder.
  const std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(std::filesystem::path(a).parent_path());
  EXPECT_EQ(Start(u"b.bmp"), 0);
  std::filesystem::current_path(before);
  platform.Pump();
  ASSERT_EQ(app->Windows().size(), 3u);
  ViewerWindow* relative = app->Windows().back();
  EXPECT_EQ(relative->Path(), U16(b));
  relative->Dispatch(kCmdNextFile, 0);
  platform.Pump();
  EXPECT_EQ(relative->Path(), U16(a));

  EXPECT_EQ(Start(u"-CLOSE"), 0);
  platform.Pump();
  EXPECT_TRUE(app->Windows().empty());
}

// The image a start names is decoded before the platform is up, into the
// cache the program then uses; starts that open no image begin nothing.
TEST_F(ViewerWindowTest, StartupLoadDecodesTheNamedImageAheadOfTheWindow) {
  const std::string a = dir.Write("a b.bmp", SolidBmp(64, 48, kRed));
  const std::u16string quoted = u"\"" + U16(a) + u"\"";
  for (const std::u16string& line : std::vector<std::u16string>{
           u"vistrel.exe", u"vistrel.exe -close " + quoted, u"vistrel.exe -index " + quoted, u"vistrel.exe <clipboard>"}) {
    SCOPED_TRACE(std::string(line.begin(), line.end()));
    EXPECT_FALSE(BeginStartupLoad(line));
  }
  // A name relative to the process's folder is the file there.
  const std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(std::filesystem::path(a).parent_path());
  RefPtr<ImageCache> early = BeginStartupLoad(u"vistrel.exe -zoom=2 \"a b.bmp\"");
  std::filesystem::current_path(before);
  ASSERT_TRUE(early);
  const std::u16string path = U16(a);
  early->Join(&path);
  const RefPtr<ImageBuffer> decoded = early->Lookup(path);
  ASSERT_TRUE(decoded);
  EXPECT_EQ(decoded->Width(), 64u);
  EXPECT_TRUE(early->AllFrames());

  // The serving start shows it from that cache: no dialog, no message box.
  ProgramEnvironment env;
  env.programPath = u"/opt/vistrel/vistrel.exe";
  env.store = &store;
  env.commandLine = u"vistrel.exe -zoom=2 " + quoted;
  env.cache = early;
  EXPECT_EQ(RunProgram(platform, env), 0);
  EXPECT_TRUE(platform.openDialogTitles.empty());
  EXPECT_TRUE(platform.messageBoxes.empty());
  EXPECT_EQ(early->Lookup(path), decoded);
}

}  // namespace
}  // namespace vt::test
