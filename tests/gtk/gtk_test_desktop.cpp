#include "gtk/gtk_test_desktop.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <gio/gio.h>
#include <glib-unix.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>

namespace vt {
namespace {

constexpr char kWindowManager[] = "openbox";

TestDesktop* g_desktop = nullptr;
std::string g_failure;

bool WaitForWindowManager(const std::string& name, int ms) {
  Display* x = XOpenDisplay(name.c_str());
  if (!x) return false;
  const Atom check = XInternAtom(x, "_NET_SUPPORTING_WM_CHECK", False);
  bool up = false;
  for (int waited = 0; !up && waited < ms; waited += 20) {
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(x, DefaultRootWindow(x), check, 0, 1, False, XA_WINDOW, &type, &format, &count, &after,
                           &data) == Success &&
        count == 1)
      up = true;
    if (data) XFree(data);
    if (!up) g_usleep(20000);
  }
  XCloseDisplay(x);
  return up;
}

class DesktopEnvironment : public ::testing::Environment {
 public:
  void TearDown() override { TestDesktop::Shutdown(); }
};
const auto* const g_environment = ::testing::AddGlobalTestEnvironment(new DesktopEnvironment);

}  // namespace

TestDesktop* TestDesktop::Get(std::string* whyNot) {
  if (!g_desktop && g_failure.empty()) {
    auto* desktop = new TestDesktop;
    if (desktop->Start(&g_failure)) {
      g_desktop = desktop;
    } else {
      Shutdown();  // whatever did start
      delete desktop;
    }
  }
  if (!g_desktop) *whyNot = g_failure;
  return g_desktop;
}

bool TestDesktop::Start(std::string* whyNot) {
  gchar* xvfb = g_find_program_in_path("Xvfb");
  if (!xvfb) {
    *whyNot = "Xvfb is not installed (Debian package xvfb)";
    return false;
  }
  g_free(xvfb);
  gint pipe[2];
  if (!g_unix_open_pipe(pipe, FD_CLOEXEC, nullptr)) {
    *whyNot = "no pipe";
    return false;
  }
  GSubprocessLauncher* launcher =
      g_subprocess_launcher_new(static_cast<GSubprocessFlags>(G_SUBPROCESS_FLAGS_STDOUT_SILENCE |
                                                             G_SUBPROCESS_FLAGS_STDERR_SILENCE));
  // The server picks a free display itself and writes its number to fd 3.
  g_subprocess_launcher_take_fd(launcher, pipe[1], 3);
  server_ = g_subprocess_launcher_spawn(launcher, nullptr, "Xvfb", "-displayfd", "3", "-screen", "0", "1280x1024x24",
                                        "-nolisten", "tcp", nullptr);
  g_object_unref(launcher);
  std::string number;
  if (server_) {
    const gint64 end = g_get_monotonic_time() + 10000000;
    char c = 0;
    while (g_get_monotonic_time() < end) {
      pollfd p{pipe[0], POLLIN, 0};
      if (poll(&p, 1, 100) <= 0) continue;
      if (read(pipe[0], &c, 1) != 1 || c == '\n') break;
      number += c;
    }
  }
  close(pipe[0]);
  if (number.empty()) {
    *whyNot = "Xvfb did not start";
    return false;
  }
  name_ = ":" + number;

  gchar* manager = g_find_program_in_path(kWindowManager);
  if (manager) {
    g_free(manager);
    GSubprocessLauncher* wm =
        g_subprocess_launcher_new(static_cast<GSubprocessFlags>(G_SUBPROCESS_FLAGS_STDOUT_SILENCE |
                                                               G_SUBPROCESS_FLAGS_STDERR_SILENCE));
    g_subprocess_launcher_setenv(wm, "DISPLAY", name_.c_str(), TRUE);
    manager_ = g_subprocess_launcher_spawn(wm, nullptr, kWindowManager, "--sm-disable", nullptr);
    g_object_unref(wm);
    windowManager_ = manager_ && WaitForWindowManager(name_, 10000);
  }
  return true;
}

void TestDesktop::Enter() {
  const char* env = g_getenv("DISPLAY");
  hadEnv_ = env != nullptr;
  previousEnv_ = env ? env : "";
  g_setenv("DISPLAY", name_.c_str(), TRUE);
  gdk_set_allowed_backends("x11");
  GdkDisplayManager* displays = gdk_display_manager_get();
  GdkDisplay* current = gdk_display_manager_get_default_display(displays);
  // As the program does: the first display of the process is opened from
  // the environment.
  gtk_init_check(nullptr, nullptr);
  if (!display_) {
    GdkDisplay* now = gdk_display_manager_get_default_display(displays);
    display_ = now && name_ == gdk_display_get_name(now) ? now : gdk_display_open(name_.c_str());
  }
  previous_ = current;
  if (display_) gdk_display_manager_set_default_display(displays, static_cast<GdkDisplay*>(display_));
}

void TestDesktop::Leave() {
  if (hadEnv_)
    g_setenv("DISPLAY", previousEnv_.c_str(), TRUE);
  else
    g_unsetenv("DISPLAY");
  // None before: what a later test brings up on the environment's display
  // finds that one as the default.
  GdkDisplay* previous = static_cast<GdkDisplay*>(previous_);
  if (!previous && hadEnv_) previous = gdk_display_open(previousEnv_.c_str());
  if (previous) gdk_display_manager_set_default_display(gdk_display_manager_get(), previous);
  previous_ = nullptr;
}

void TestDesktop::Shutdown() {
  TestDesktop* d = g_desktop;
  if (!d) return;
  // The toolkit keeps its connection (closing a display of the toolkit is
  // not clean); nothing reads from it once the tests are over.
  while (g_main_context_iteration(nullptr, FALSE)) {
  }
  for (void* process : {d->manager_, d->server_}) {
    if (!process) continue;
    g_subprocess_send_signal(G_SUBPROCESS(process), SIGTERM);
    g_subprocess_wait(G_SUBPROCESS(process), nullptr, nullptr);
    g_object_unref(process);
  }
  d->manager_ = d->server_ = nullptr;
  g_desktop = nullptr;
  delete d;
}

}  // namespace vt
