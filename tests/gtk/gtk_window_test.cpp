#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <optional>

#include "gtk/gtk_test_support.h"

#include <X11/Xlib.h>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>

namespace vt {
namespace {

// Needs an X display of its own with no window manager: the screen test
// script runs it under a virtual one and sets VISTREL_GTK_DISPLAY_TESTS.
class GtkWindowTest : public GtkPlatformTest {
 protected:
  void SetUp() override {
    if (!std::getenv("VISTREL_GTK_DISPLAY_TESTS")) GTEST_SKIP() << "runs under the virtual display only";
    GtkPlatformTest::SetUp();
  }
};

struct RedWindow : RecordingWindow {
  RedWindow() : RecordingWindow(0xFF0000) {}
};

TEST_F(GtkWindowTest, RepaintIsOnScreenWhenItReturns) {
  RedWindow events;
  auto window = platform_->NewWindow(events, ClientParams(u"repaint", {300, 300}, {100, 50}, FrameStyle::kFrameless));
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
  auto window =
      platform_->NewWindow(events, ClientParams(u"border", {100, 200}, {100, 50}, FrameStyle::kFramelessBorder));
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

// Looks for the message box from inside its own modal loop, notes where the
// X server shows it (with the window manager's frame, when there is one) once
// it is on screen, and answers it. Answers whatever message box there is
// after a few seconds, so that a box that never shows does not hang the test.
struct MessageBoxProbe {
  std::optional<ViewRect> rect;
  int ticks = 0;

  static gboolean Tick(gpointer data) {
    auto* probe = static_cast<MessageBoxProbe*>(data);
    const bool late = ++probe->ticks > 100;
    GList* windows = gtk_window_list_toplevels();
    for (GList* l = windows; l; l = l->next) {
      if (!GTK_IS_MESSAGE_DIALOG(l->data)) continue;
      GtkWidget* box = GTK_WIDGET(l->data);
      GdkWindow* w = gtk_widget_get_window(box);
      XWindowAttributes a{};
      if (w && XGetWindowAttributes(GDK_WINDOW_XDISPLAY(w), GDK_WINDOW_XID(w), &a) && a.map_state == IsViewable) {
        const ViewRect client = ServerClientRect(GDK_WINDOW_XID(w));
        const std::optional<ViewRect> frame = ServerFrame(GDK_WINDOW_XID(w));
        probe->rect = frame ? AroundClient(client, *frame) : client;
      }
      if (probe->rect || late) gtk_dialog_response(GTK_DIALOG(box), GTK_RESPONSE_OK);
    }
    g_list_free(windows);
    return probe->rect || late ? G_SOURCE_REMOVE : G_SOURCE_CONTINUE;
  }
};

TEST_F(GtkWindowTest, MessageBoxesAreCentredWithoutWindowManager) {
  // Where the box appears for an owner at 900, 700 (hidden or shown) and for
  // none; the screen is 1280 x 1024 and, without a window manager, all work area.
  auto show = [&](PlatformWindow* owner) {
    MessageBoxProbe probe;
    g_timeout_add(50, &MessageBoxProbe::Tick, &probe);
    const MessageBoxAnswer answer =
        platform_->ShowMessageBox(owner, u"无法打开文件", u"Vistrel", MessageBoxKind::kError);
    EXPECT_EQ(answer, MessageBoxAnswer::kOk);
    return probe.rect;
  };
  auto centre = [](const ViewRect& r) { return ViewPoint{r.left + r.Width() / 2, r.top + r.Height() / 2}; };
  auto near = [](ViewPoint a, ViewPoint b) { return std::abs(a.x - b.x) <= 1 && std::abs(a.y - b.y) <= 1; };

  RedWindow events;
  WindowCreateParams params = ClientParams(u"owner", {700, 600}, {400, 300}, FrameStyle::kFrameless);
  params.visible = false;
  auto window = platform_->NewWindow(events, params);
  ASSERT_TRUE(window);

  // An owner not yet on screen (a window whose image failed to open): the
  // middle of its monitor's work area.
  const ViewRect area = window->Monitor().workArea;
  ASSERT_EQ(area, (ViewRect{0, 0, 1280, 1024}));
  std::optional<ViewRect> box = show(window.get());
  ASSERT_TRUE(box);
  EXPECT_GT(box->Width(), 50);
  EXPECT_TRUE(near(centre(*box), {640, 512})) << box->left << "," << box->top << " " << box->Width() << "x"
                                              << box->Height();

  // Shown: the middle of the owner.
  window->Show(ShowState::kNormal, true);
  ASSERT_TRUE(PumpUntil([&] { return events.paints > 0 && window->IsVisible(); }));
  const ViewPoint owner = centre(window->WindowRect());
  EXPECT_EQ(owner, (ViewPoint{900, 750}));
  box = show(window.get());
  ASSERT_TRUE(box);
  EXPECT_TRUE(near(centre(*box), owner)) << box->left << "," << box->top << " " << box->Width() << "x"
                                         << box->Height();

  // An owner near the corner: the box stays wholly on the screen.
  window->PlaceClient({1220, 1000}, {60, 24});
  ASSERT_TRUE(PumpUntil([&] { return window->ClientOrigin() == ViewPoint{1220, 1000}; }));
  box = show(window.get());
  ASSERT_TRUE(box);
  EXPECT_EQ(box->right, 1280) << box->left << "," << box->top << " " << box->Width() << "x" << box->Height();
  EXPECT_EQ(box->bottom, 1024);

  // No owner: the middle of the screen.
  box = show(nullptr);
  ASSERT_TRUE(box);
  EXPECT_TRUE(near(centre(*box), {640, 512})) << box->left << "," << box->top;
}

// Under a window manager (the test's own screen with openbox).
class GtkManagedWindowTest : public GtkDesktopPlatformTest {
 protected:
  void SetUp() override {
    GtkDesktopPlatformTest::SetUp();
    if (!IsSkipped() && !HasFatalFailure()) NeedWindowManager();
  }
};

// The message box with its frame in the middle of the work area when its
// owner is not on screen.
TEST_F(GtkManagedWindowTest, MessageBoxOfAHiddenOwnerIsCentredWithItsFrame) {
  RedWindow events;
  WindowCreateParams params = ClientParams(u"owner", {900, 700}, {300, 200});
  params.visible = false;
  auto window = platform_->NewWindow(events, params);
  ASSERT_TRUE(window);
  const ViewRect area = window->Monitor().workArea;
  // The frame of a dialog may differ a little from that of the windows the
  // program knows the frame of.
  constexpr int kSlack = 8;
  for (PlatformWindow* owner : {window.get(), static_cast<PlatformWindow*>(nullptr)}) {
    MessageBoxProbe probe;
    g_timeout_add(50, &MessageBoxProbe::Tick, &probe);
    EXPECT_EQ(platform_->ShowMessageBox(owner, u"x", u"Vistrel", MessageBoxKind::kInformation),
              MessageBoxAnswer::kOk);
    ASSERT_TRUE(probe.rect);
    const ViewRect& box = *probe.rect;
    EXPECT_LE(std::abs((box.left + box.right) - (area.left + area.right)), kSlack)
        << box.left << "," << box.top << " " << box.Width() << "x" << box.Height();
    EXPECT_LE(std::abs((box.top + box.bottom) - (area.top + area.bottom)), kSlack)
        << box.left << "," << box.top << " " << box.Width() << "x" << box.Height();
  }
}

// Into full screen and back as the viewer does it: it reads the new size and
// state as soon as it asked for them, and the screen follows.
void CheckFullScreenRoundTrip(Platform& platform) {
  RedWindow events;
  auto window = platform.NewWindow(events, ClientParams(u"full screen", {300, 200}, {320, 240}));
  ASSERT_TRUE(window);
  const ViewRect normal{300, 200, 620, 440};
  ASSERT_TRUE(
      PumpUntil(platform, [&] { return events.paints > 0 && ServerClientRect(window->NativeHandle()) == normal; }));
  const ViewRect monitor = window->Monitor().rect;
  ASSERT_EQ(monitor, (ViewRect{0, 0, 1280, 1024}));

  window->Show(ShowState::kMaximized, true);
  EXPECT_EQ(window->State(), ShowState::kMaximized);
  EXPECT_EQ(window->ClientOrigin(), (ViewPoint{0, 0}));
  EXPECT_EQ(window->ClientSize(), (ViewSize{1280, 1024}));
  EXPECT_TRUE(PumpUntil(platform, [&] { return ServerClientRect(window->NativeHandle()) == monitor; }))
      << ServerClientRect(window->NativeHandle()).Width();
  EXPECT_EQ(window->State(), ShowState::kMaximized);
  EXPECT_EQ(window->ClientSize(), (ViewSize{1280, 1024}));

  window->Show(ShowState::kNormal, true);
  EXPECT_EQ(window->State(), ShowState::kNormal);
  EXPECT_EQ(window->ClientOrigin(), (ViewPoint{300, 200}));
  EXPECT_EQ(window->ClientSize(), (ViewSize{320, 240}));
  EXPECT_TRUE(PumpUntil(platform, [&] { return ServerClientRect(window->NativeHandle()) == normal; }))
      << ServerClientRect(window->NativeHandle()).Width();
  EXPECT_EQ(window->State(), ShowState::kNormal);
  EXPECT_EQ(window->ClientSize(), (ViewSize{320, 240}));
}

TEST_F(GtkWindowTest, FullScreenWithoutWindowManager) { CheckFullScreenRoundTrip(*platform_); }

TEST_F(GtkManagedWindowTest, FullScreenUnderWindowManager) { CheckFullScreenRoundTrip(*platform_); }

}  // namespace
}  // namespace vt
