#include "gtk/gtk_test_support.h"

#include <utility>

#include "platform/gtk/gtk_platform.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>

namespace vt {
namespace {

Display* DefaultXDisplay() { return GDK_DISPLAY_XDISPLAY(gdk_display_get_default()); }

}  // namespace

bool PumpUntil(Platform& platform, const std::function<bool()>& done, int ms) {
  const uint64_t end = platform.TickCount() + ms;
  while (!done() && platform.TickCount() < end) {
    platform.PumpPendingMessages();
    g_usleep(5000);
  }
  platform.PumpPendingMessages();
  return done();
}

uint32_t ScreenPixel(int x, int y) {
  GdkPixbuf* p = gdk_pixbuf_get_from_window(gdk_get_default_root_window(), x, y, 1, 1);
  if (!p) return 0xFFFFFFFFu;
  const guchar* d = gdk_pixbuf_read_pixels(p);
  const uint32_t v = uint32_t{d[0]} << 16 | uint32_t{d[1]} << 8 | d[2];
  g_object_unref(p);
  return v;
}

ViewRect ServerClientRect(uintptr_t window) {
  Display* x = DefaultXDisplay();
  ::Window child = 0;
  int left = 0, top = 0;
  XTranslateCoordinates(x, window, DefaultRootWindow(x), 0, 0, &left, &top, &child);
  XWindowAttributes a{};
  XGetWindowAttributes(x, window, &a);
  return {left, top, left + a.width, top + a.height};
}

std::optional<ViewRect> ServerFrame(uintptr_t window) {
  Display* x = DefaultXDisplay();
  Atom type = 0;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  std::optional<ViewRect> out;
  if (XGetWindowProperty(x, window, XInternAtom(x, "_NET_FRAME_EXTENTS", False), 0, 4, False, XA_CARDINAL, &type,
                         &format, &count, &after, &data) == Success &&
      count == 4) {
    // Format 32 properties come back as longs, whatever their width.
    const auto* v = reinterpret_cast<const long*>(data);
    out = ViewRect{int32_t(v[0]), int32_t(v[2]), int32_t(v[1]), int32_t(v[3])};
  }
  if (data) XFree(data);
  return out;
}

ViewRect AroundClient(const ViewRect& client, const ViewRect& frame) {
  return {client.left - frame.left, client.top - frame.top, client.right + frame.right,
          client.bottom + frame.bottom};
}

WindowCreateParams ClientParams(std::u16string title, ViewPoint clientTopLeft, ViewSize clientSize,
                                FrameStyle frame) {
  WindowCreateParams params;
  params.title = std::move(title);
  params.clientTopLeft = clientTopLeft;
  params.clientSize = clientSize;
  params.frame = frame;
  return params;
}

void GtkPlatformTest::SetUp() {
  platform_ = CreateGtkPlatform(nullptr, nullptr);
  ASSERT_TRUE(platform_);
}

void GtkDesktopPlatformTest::SetUp() {
  std::string why;
  desktop_ = TestDesktop::Get(&why);
  if (!desktop_) GTEST_SKIP() << why;
  desktop_->Enter();
  GtkPlatformTest::SetUp();
}

void GtkDesktopPlatformTest::TearDown() {
  GtkPlatformTest::TearDown();
  if (desktop_) desktop_->Leave();
}

bool GtkDesktopPlatformTest::NeedWindowManager() {
  if (desktop_->HasWindowManager()) return true;
  // The skip returns from the function it stands in, which must be void.
  []() { GTEST_SKIP() << "the window manager openbox is not installed (Debian package openbox)"; }();
  return false;
}

}  // namespace vt
