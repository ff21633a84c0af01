#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "platform/gtk/gtk_progress.h"

#include <gio/gio.h>
#include <glib/gstdio.h>

namespace vt {
namespace {

constexpr char kUri[] = "application://vistrel.desktop";
constexpr char kPath[] = "/com/korvanne/Vistrel";

struct Update {
  std::string uri;
  std::string path;
  std::string sender;
  bool hasProgress = false;
  double progress = -1;
  bool hasVisible = false;
  bool visible = false;
};

// A session bus of the test's own with a listener on it, as a dock would
// listen.
class LauncherProgressTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gchar* daemon = g_find_program_in_path("dbus-daemon");
    if (!daemon) GTEST_SKIP() << "dbus-daemon is not installed (Debian package dbus-daemon)";
    g_free(daemon);
    const char* old = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    if (old) oldAddress_ = old;
    hadAddress_ = old != nullptr;
    bus_ = g_test_dbus_new(G_TEST_DBUS_NONE);
    g_test_dbus_up(bus_);
    GError* error = nullptr;
    listener_ = g_dbus_connection_new_for_address_sync(
        g_test_dbus_get_bus_address(bus_),
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, &error);
    ASSERT_TRUE(listener_) << (error ? error->message : "");
    subscription_ = g_dbus_connection_signal_subscribe(listener_, nullptr, "com.canonical.Unity.LauncherEntry",
                                                       "Update", nullptr, nullptr, G_DBUS_SIGNAL_FLAGS_NONE,
                                                       &OnSignal, this, nullptr);
    // The bus has the listener's match rule once it answered a later call.
    GVariant* id = g_dbus_connection_call_sync(listener_, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                               "org.freedesktop.DBus", "GetId", nullptr, nullptr,
                                               G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, nullptr);
    ASSERT_TRUE(id);
    g_variant_unref(id);
  }
  void TearDown() override {
    if (listener_) {
      g_dbus_connection_signal_unsubscribe(listener_, subscription_);
      g_dbus_connection_close_sync(listener_, nullptr, nullptr);
      g_object_unref(listener_);
    }
    if (bus_) {
      g_test_dbus_down(bus_);
      g_object_unref(bus_);
    }
    if (hadAddress_)
      g_setenv("DBUS_SESSION_BUS_ADDRESS", oldAddress_.c_str(), TRUE);
    else
      g_unsetenv("DBUS_SESSION_BUS_ADDRESS");
  }
  static void OnSignal(GDBusConnection*, const gchar* sender, const gchar* path, const gchar*, const gchar*,
                       GVariant* parameters, gpointer data) {
    auto* self = static_cast<LauncherProgressTest*>(data);
    Update u;
    u.sender = sender ? sender : "";
    u.path = path;
    if (g_variant_is_of_type(parameters, G_VARIANT_TYPE("(sa{sv})"))) {
      const gchar* uri = nullptr;
      GVariant* properties = nullptr;
      g_variant_get(parameters, "(&s@a{sv})", &uri, &properties);
      u.uri = uri;
      u.hasProgress = g_variant_lookup(properties, "progress", "d", &u.progress);
      gboolean visible = FALSE;
      u.hasVisible = g_variant_lookup(properties, "progress-visible", "b", &visible);
      u.visible = visible;
      g_variant_unref(properties);
    }
    self->updates_.push_back(u);
  }
  bool PumpUntil(const std::function<bool()>& done) {
    const gint64 end = g_get_monotonic_time() + 3000000;
    while (!done() && g_get_monotonic_time() < end) {
      if (!g_main_context_iteration(nullptr, FALSE)) g_usleep(2000);
    }
    return done();
  }
  // Runs the listener's side long enough for a signal that was not sent to
  // have arrived: a round trip through the bus after the sender's queue.
  void Settle(LauncherProgress&) {
    for (int i = 0; i < 20; ++i) {
      g_main_context_iteration(nullptr, FALSE);
      g_usleep(5000);
    }
  }

  GTestDBus* bus_ = nullptr;
  GDBusConnection* listener_ = nullptr;
  guint subscription_ = 0;
  std::vector<Update> updates_;
  std::string oldAddress_;
  bool hadAddress_ = false;
};

TEST_F(LauncherProgressTest, DocksHearTheStatesOfALoad) {
  LauncherProgress progress(kUri, kPath);
  ASSERT_TRUE(PumpUntil([&] { return progress.Connected(); }));

  progress.Set(ProgressState::kNormal, 0, 100);
  ASSERT_TRUE(PumpUntil([&] { return updates_.size() == 1; }));
  EXPECT_EQ(updates_[0].uri, kUri);
  EXPECT_EQ(updates_[0].path, kPath);
  EXPECT_FALSE(updates_[0].sender.empty());
  ASSERT_TRUE(updates_[0].hasProgress && updates_[0].hasVisible);
  EXPECT_TRUE(updates_[0].visible);
  EXPECT_DOUBLE_EQ(updates_[0].progress, 0.0);

  progress.Set(ProgressState::kNormal, 1, 4);
  ASSERT_TRUE(PumpUntil([&] { return updates_.size() == 2; }));
  EXPECT_TRUE(updates_[1].visible);
  EXPECT_DOUBLE_EQ(updates_[1].progress, 0.25);

  // More done than the total counts as all of it.
  progress.Set(ProgressState::kNormal, 7, 5);
  ASSERT_TRUE(PumpUntil([&] { return updates_.size() == 3; }));
  EXPECT_DOUBLE_EQ(updates_[2].progress, 1.0);

  progress.Set(ProgressState::kNone, 0, 0);
  ASSERT_TRUE(PumpUntil([&] { return updates_.size() == 4; }));
  EXPECT_FALSE(updates_[3].visible);

  // No moving bar in the signal: shown, empty.
  progress.Set(ProgressState::kIndeterminate, 3, 4);
  ASSERT_TRUE(PumpUntil([&] { return updates_.size() == 5; }));
  EXPECT_TRUE(updates_[4].visible);
  EXPECT_DOUBLE_EQ(updates_[4].progress, 0.0);
  for (const Update& u : updates_) EXPECT_EQ(u.sender, updates_[0].sender);
}

TEST_F(LauncherProgressTest, ReportsTooSmallToSeeAndRepeatsAreNotSent) {
  LauncherProgress progress(kUri, kPath);
  ASSERT_TRUE(PumpUntil([&] { return progress.Connected(); }));
  // A load of 10000 rows reports each of them.
  for (uint32_t row = 0; row <= 10000; ++row) progress.Set(ProgressState::kNormal, row, 10000);
  progress.Set(ProgressState::kNormal, 10000, 10000);
  progress.Set(ProgressState::kNone, 0, 0);
  progress.Set(ProgressState::kNone, 0, 0);
  ASSERT_TRUE(PumpUntil([&] { return !updates_.empty() && !updates_.back().visible; }));
  Settle(progress);
  // One per hundredth, then the hide.
  ASSERT_EQ(updates_.size(), 102u);
  for (size_t i = 0; i < 101; ++i) {
    EXPECT_TRUE(updates_[i].visible);
    EXPECT_DOUBLE_EQ(updates_[i].progress, static_cast<double>(i) / 100.0) << i;
  }
  EXPECT_FALSE(updates_[101].visible);
}

TEST_F(LauncherProgressTest, BarLeftShowingIsHiddenWhenTheProgramEnds) {
  {
    LauncherProgress progress(kUri, kPath);
    ASSERT_TRUE(PumpUntil([&] { return progress.Connected(); }));
    progress.Set(ProgressState::kNormal, 30, 100);
  }
  ASSERT_TRUE(PumpUntil([&] { return updates_.size() == 2; }));
  EXPECT_TRUE(updates_[0].visible);
  EXPECT_DOUBLE_EQ(updates_[0].progress, 0.3);
  EXPECT_FALSE(updates_[1].visible);
}

TEST_F(LauncherProgressTest, StateSetBeforeTheBusAnsweredGoesOutLater) {
  LauncherProgress progress(kUri, kPath);
  // Straight away: the connection is still being made, nothing waits for it.
  progress.Set(ProgressState::kNormal, 1, 2);
  ASSERT_TRUE(PumpUntil([&] { return progress.Connected(); }));
  progress.Set(ProgressState::kNormal, 1, 2);
  ASSERT_TRUE(PumpUntil([&] { return !updates_.empty(); }));
  EXPECT_TRUE(updates_[0].visible);
  EXPECT_DOUBLE_EQ(updates_[0].progress, 0.5);
}

TEST(LauncherProgressWithoutBus, DoesNothingAndNeverFails) {
  const char* old = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  const std::string saved = old ? old : "";
  const char* oldRuntime = std::getenv("XDG_RUNTIME_DIR");
  const std::string savedRuntime = oldRuntime ? oldRuntime : "";
  g_unsetenv("DBUS_SESSION_BUS_ADDRESS");
  // A runtime folder without a bus socket in it.
  gchar* empty = g_dir_make_tmp("vistrel-nobus-XXXXXX", nullptr);
  ASSERT_TRUE(empty);
  g_setenv("XDG_RUNTIME_DIR", empty, TRUE);
  // The runtime folder is read once per process by the library: compare with
  // what it uses.
  gchar* bus = g_build_filename(g_get_user_runtime_dir(), "bus", nullptr);
  const bool socketThere = g_file_test(bus, G_FILE_TEST_EXISTS);
  g_free(bus);
  if (!socketThere) {
    EXPECT_EQ(LauncherProgress::SessionBusAddress(), "");
  }
  g_setenv("DBUS_SESSION_BUS_ADDRESS", "autolaunch:", TRUE);
  EXPECT_EQ(LauncherProgress::SessionBusAddress(), "");
  g_setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/vistrel-test-bus", TRUE);
  {
    // A bus that cannot be reached: the connection fails in the background.
    LauncherProgress progress(kUri, kPath);
    progress.Set(ProgressState::kNormal, 5, 10);
    const gint64 end = g_get_monotonic_time() + 300000;
    while (g_get_monotonic_time() < end && !progress.Connected()) g_usleep(2000);
    EXPECT_FALSE(progress.Connected());
    progress.Set(ProgressState::kNone, 0, 0);
  }
  {
    // Destroyed while connecting.
    LauncherProgress progress(kUri, kPath);
    progress.Set(ProgressState::kIndeterminate, 0, 0);
  }
  if (old)
    g_setenv("DBUS_SESSION_BUS_ADDRESS", saved.c_str(), TRUE);
  else
    g_unsetenv("DBUS_SESSION_BUS_ADDRESS");
  if (oldRuntime)
    g_setenv("XDG_RUNTIME_DIR", savedRuntime.c_str(), TRUE);
  else
    g_unsetenv("XDG_RUNTIME_DIR");
  g_rmdir(empty);
  g_free(empty);
}

}  // namespace
}  // namespace vt
