#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gtk/gtk_test_support.h"
#include "support/test_support.h"

#include <X11/Xlib.h>
#ifdef VT_HAVE_XTEST
#include <X11/extensions/XTest.h>
#include <X11/extensions/Xfixes.h>
#endif
#include <gdk/gdkx.h>
#include <gtk/gtk.h>

namespace vt {
namespace {

// Windows on a screen of the test's own under a real window manager.
class GtkDesktopTest : public GtkDesktopPlatformTest {
 protected:
  static Display* X() { return GDK_DISPLAY_XDISPLAY(gdk_display_get_default()); }
};

struct Recorder : RecordingWindow {
  Recorder() : RecordingWindow(0x336699) {}
};

TEST_F(GtkDesktopTest, FrameIsKnownBeforeTheFirstFramedWindowIsShown) {
  if (!NeedWindowManager()) return;
  // Asked before any window exists, as the viewer does to size its first one.
  const FrameMetrics before = platform_->FrameMetricsForDpi(96);
  EXPECT_GT(before.captionHeight, 0);

  Recorder events;
  auto window = platform_->NewWindow(events, ClientParams(u"framed", {200, 150}, {320, 240}));
  ASSERT_TRUE(window);
  ASSERT_TRUE(PumpUntil([&] { return ServerFrame(window->NativeHandle()).has_value() && events.paints > 0; }));
  // What the window manager really put around the window.
  const ViewRect frame = *ServerFrame(window->NativeHandle());
  EXPECT_EQ(before.borderWidth, std::max(frame.left, frame.right));
  EXPECT_EQ(before.borderHeight, frame.bottom);
  EXPECT_EQ(before.captionHeight, frame.top - frame.bottom);
  const FrameMetrics after = platform_->FrameMetricsForDpi(96);
  EXPECT_EQ(after.borderWidth, before.borderWidth);
  EXPECT_EQ(after.borderHeight, before.borderHeight);
  EXPECT_EQ(after.captionHeight, before.captionHeight);
}

TEST_F(GtkDesktopTest, FramedWindowHasItsClientWhereItWasAskedFor) {
  if (!NeedWindowManager()) return;
  Recorder events;
  WindowCreateParams params = ClientParams(u"placed", {200, 150}, {320, 240});
  auto window = platform_->NewWindow(events, params);
  ASSERT_TRUE(window);
  const uintptr_t id = window->NativeHandle();
  const ViewRect asked{200, 150, 520, 390};
  EXPECT_TRUE(PumpUntil([&] { return ServerClientRect(id) == asked && events.paints > 0; }))
      << ServerClientRect(id).left << "," << ServerClientRect(id).top << " " << ServerClientRect(id).Width() << "x"
      << ServerClientRect(id).Height();
  Pump(300);  // nothing moves it afterwards
  EXPECT_EQ(ServerClientRect(id), asked);
  EXPECT_EQ(window->ClientOrigin(), (ViewPoint{200, 150}));
  EXPECT_EQ(window->ClientSize(), (ViewSize{320, 240}));
  const auto frame = ServerFrame(id);
  ASSERT_TRUE(frame);
  EXPECT_EQ(window->WindowRect(),
            (ViewRect{200 - frame->left, 150 - frame->top, 520 + frame->right, 390 + frame->bottom}));

  // As the viewer does: made tiny in the middle of the screen, then given
  // the image's size once it is loaded.
  Recorder viewerEvents;
  params.title = u"viewer";
  params.clientTopLeft = {639, 511};
  params.clientSize = {2, 2};
  auto viewer = platform_->NewWindow(viewerEvents, params);
  ASSERT_TRUE(viewer);
  ASSERT_TRUE(PumpUntil([&] { return viewerEvents.paints > 0; }));
  viewer->PlaceClient({479, 391}, {322, 242});
  const ViewRect image{479, 391, 801, 633};
  EXPECT_TRUE(PumpUntil([&] { return ServerClientRect(viewer->NativeHandle()) == image; }));
  Pump(300);
  EXPECT_EQ(ServerClientRect(viewer->NativeHandle()), image);
  EXPECT_EQ(viewer->ClientOrigin(), (ViewPoint{479, 391}));
  EXPECT_EQ(viewer->ClientSize(), (ViewSize{322, 242}));
  // A window placed by its outer rectangle has its frame inside it.
  viewer->PlaceWindow(ViewPoint{100, 100}, {400, 300});
  const ViewRect outer{100 + frame->left, 100 + frame->top, 500 - frame->right, 400 - frame->bottom};
  EXPECT_TRUE(PumpUntil([&] { return ServerClientRect(viewer->NativeHandle()) == outer; }));
  EXPECT_EQ(viewer->WindowRect(), (ViewRect{100, 100, 500, 400}));
}

// What a full-screen window asks when it loses the activation: where the
// window that took it lies, frame included.
TEST_F(GtkDesktopTest, ForegroundWindowIsTheOneTheWindowManagerActivated) {
  if (!NeedWindowManager()) return;
  Recorder events;
  auto first = platform_->NewWindow(events, ClientParams(u"first", {100, 120}, {300, 200}));
  auto second = platform_->NewWindow(events, ClientParams(u"second", {600, 500}, {200, 150}));
  ASSERT_TRUE(first && second);
  for (PlatformWindow* w : {first.get(), second.get()}) {
    w->BringToFront();
    ASSERT_TRUE(PumpUntil([&] { return w->IsForeground(); })) << "the window manager did not activate it";
    const auto frame = ServerFrame(w->NativeHandle());
    ASSERT_TRUE(frame);
    const ViewRect whole = AroundClient(ServerClientRect(w->NativeHandle()), *frame);
    EXPECT_TRUE(PumpUntil([&] { return platform_->ForegroundWindowRect() == std::optional<ViewRect>(whole); }));
  }
}

#ifdef VT_HAVE_XTEST
// The cursor the server shows now, as another client sees it.
unsigned long ShownCursor(const std::string& display) {
  Display* x = XOpenDisplay(display.c_str());
  if (!x) return 0;
  unsigned long serial = 0;
  if (XFixesCursorImage* image = XFixesGetCursorImage(x)) {
    serial = image->cursor_serial;
    XFree(image);
  }
  XCloseDisplay(x);
  return serial;
}
#endif

TEST_F(GtkDesktopTest, BusyCursorShowsBeforeTheLoopRunsAgain) {
#ifndef VT_HAVE_XTEST
  GTEST_SKIP() << "built without the X test extension library (Debian package libxtst-dev)";
#else
  Recorder events;
  auto window = platform_->NewWindow(events, ClientParams(u"busy", {300, 300}, {200, 200}, FrameStyle::kFrameless));
  ASSERT_TRUE(window);
  ASSERT_TRUE(PumpUntil([&] { return events.paints > 0; }));
  XTestFakeMotionEvent(X(), -1, 400, 400, CurrentTime);
  XFlush(X());
  ASSERT_TRUE(PumpUntil([&] { return window->IsUnderCursor(); }));
  window->SetCursor(CursorKind::kArrow);
  Pump(100);
  const unsigned long arrow = ShownCursor(desktop_->Name());
  ASSERT_NE(arrow, 0u);
  // A load keeps the thread from the loop: nothing is pumped from here on.
  window->SetCursor(CursorKind::kWait);
  const unsigned long busy = ShownCursor(desktop_->Name());
  EXPECT_NE(busy, arrow);
  window->SetCursor(CursorKind::kArrow);
  EXPECT_EQ(ShownCursor(desktop_->Name()), arrow);
#endif
}

// The window manager's frame is a window of its own around the client: the
// pointer on its title bar or border is still over this window (the hover
// frame of the viewer stays up there).
TEST_F(GtkDesktopTest, PointerOnTheFrameIsOverTheWindow) {
#ifndef VT_HAVE_XTEST
  GTEST_SKIP() << "built without the X test extension library (Debian package libxtst-dev)";
#else
  if (!NeedWindowManager()) return;
  Recorder events;
  auto window = platform_->NewWindow(events, ClientParams(u"hover", {300, 300}, {200, 150}));
  ASSERT_TRUE(window);
  ASSERT_TRUE(PumpUntil([&] { return ServerFrame(window->NativeHandle()).has_value() && events.paints > 0; }));
  const ViewRect frame = *ServerFrame(window->NativeHandle());
  ASSERT_GT(frame.top, 1);
  struct Spot {
    const char* where;
    int x, y;
    bool over;
  };
  for (const Spot& s : {Spot{"client", 400, 375, true}, Spot{"title bar", 330, 300 - frame.top / 2, true},
                        Spot{"outside", 900, 700, false}}) {
    SCOPED_TRACE(s.where);
    XTestFakeMotionEvent(X(), -1, s.x, s.y, CurrentTime);
    XFlush(X());
    EXPECT_TRUE(PumpUntil([&] { return window->IsUnderCursor() == s.over; }));
  }
#endif
}

#ifdef VT_HAVE_XTEST
struct DragSource {
  std::string uris;
  static void OnGet(GtkWidget*, GdkDragContext*, GtkSelectionData* data, guint, guint, gpointer self) {
    const std::string& uris = static_cast<DragSource*>(self)->uris;
    gtk_selection_data_set(data, gtk_selection_data_get_target(data), 8,
                           reinterpret_cast<const guchar*>(uris.data()), static_cast<gint>(uris.size()));
  }
};
#endif

TEST_F(GtkDesktopTest, FilesDraggedFromAnotherWindowAreDropped) {
#ifndef VT_HAVE_XTEST
  GTEST_SKIP() << "built without the X test extension library (Debian package libxtst-dev)";
#else
  int event = 0, error = 0, major = 0, minor = 0;
  if (!XTestQueryExtension(X(), &event, &error, &major, &minor)) GTEST_SKIP() << "the X server has no XTEST";
  test::TempDir dir;
  const std::string first = dir.Write("图 一.bmp", "x");
  const std::string second = dir.Write("b#2.png", "x");
  gchar* firstUri = g_filename_to_uri(first.c_str(), nullptr, nullptr);
  gchar* secondUri = g_filename_to_uri(second.c_str(), nullptr, nullptr);
  DragSource source;
  source.uris = std::string(firstUri) + "\r\n" + secondUri + "\r\n";
  g_free(firstUri);
  g_free(secondUri);

  // The drop target: the program's window that takes files.
  Recorder events;
  WindowCreateParams params = ClientParams(u"target", {600, 200}, {200, 200}, FrameStyle::kFrameless);
  params.acceptFiles = true;
  auto target = platform_->NewWindow(events, params);
  ASSERT_TRUE(target);

  // The drag source: a window of the toolkit offering the files.
  static char uriList[] = "text/uri-list";
  static const GtkTargetEntry targets[] = {{uriList, 0, 0}};
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_decorated(GTK_WINDOW(window), FALSE);
  gtk_window_move(GTK_WINDOW(window), 100, 200);
  gtk_window_resize(GTK_WINDOW(window), 200, 200);
  gtk_widget_add_events(window, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK | GDK_POINTER_MOTION_MASK);
  gtk_drag_source_set(window, GDK_BUTTON1_MASK, targets, 1, GDK_ACTION_COPY);
  g_signal_connect(window, "drag-data-get", G_CALLBACK(&DragSource::OnGet), &source);
  gtk_widget_show(window);

  ASSERT_TRUE(PumpUntil([&] { return events.paints > 0 && gtk_widget_get_mapped(window); }));
  Pump(300);
  // Where the two really are.
  gint sx = 0, sy = 0;
  gdk_window_get_origin(gtk_widget_get_window(window), &sx, &sy);
  const ViewRect to = ServerClientRect(target->NativeHandle());

  Display* x = X();
  auto moveTo = [&](int px, int py) {
    XTestFakeMotionEvent(x, -1, px, py, CurrentTime);
    XFlush(x);
    Pump(30);
  };
  moveTo(sx + 100, sy + 100);
  XTestFakeButtonEvent(x, 1, True, CurrentTime);
  XFlush(x);
  Pump(50);
  // Past the drag threshold, then across to the target in steps.
  const int fromX = sx + 100, fromY = sy + 100, toX = to.left + 100, toY = to.top + 100;
  for (int step = 1; step <= 20; ++step)
    moveTo(fromX + (toX - fromX) * step / 20, fromY + (toY - fromY) * step / 20);
  moveTo(toX + 2, toY + 2);
  Pump(100);
  XTestFakeButtonEvent(x, 1, False, CurrentTime);
  XFlush(x);
  EXPECT_TRUE(PumpUntil([&] { return !events.dropped.empty(); }));
  ASSERT_EQ(events.dropped.size(), 1u);
  EXPECT_EQ(events.dropped[0], (std::vector<std::u16string>{test::U16(first), test::U16(second)}));
  gtk_widget_destroy(window);
  Pump(50);
#endif
}

}  // namespace
}  // namespace vt
