#include "platform/gtk/gtk_progress.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

namespace vt {

namespace {

constexpr char kInterface[] = "com.canonical.Unity.LauncherEntry";
// How long a closing object waits for a connection attempt it cancelled.
constexpr gint64 kCancelWaitUs = 1000000;
// How long the last signal of a closing object may take to be sent.
constexpr gint64 kFlushWaitUs = 200000;

}  // namespace

std::string LauncherProgress::SessionBusAddress() {
  const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  if (address && *address) {
    // Such an address starts a bus of its own when none runs: not for a
    // progress bar.
    if (g_str_has_prefix(address, "autolaunch:")) return {};
    return address;
  }
  // Where the user's session manager puts the bus when it tells nobody.
  const char* runtime = g_get_user_runtime_dir();
  if (!runtime) return {};
  gchar* path = g_build_filename(runtime, "bus", nullptr);
  std::string out;
  if (g_file_test(path, G_FILE_TEST_EXISTS) && !g_file_test(path, G_FILE_TEST_IS_REGULAR)) {
    gchar* escaped = g_dbus_address_escape_value(path);
    out = std::string("unix:path=") + escaped;
    g_free(escaped);
  }
  g_free(path);
  return out;
}

LauncherProgress::LauncherProgress(std::string appUri, std::string objectPath)
    : appUri_(std::move(appUri)), objectPath_(std::move(objectPath)) {
  const std::string address = SessionBusAddress();
  if (address.empty() || !g_variant_is_object_path(objectPath_.c_str())) return;
  context_ = g_main_context_new();
  cancel_ = g_cancellable_new();
  connecting_ = true;
  g_main_context_push_thread_default(context_);
  g_dbus_connection_new_for_address(
      address.c_str(),
      static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                        G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
      nullptr, cancel_, &OnConnected, this);
  g_main_context_pop_thread_default(context_);
}

LauncherProgress::~LauncherProgress() {
  if (connecting_) {
    // The callback holds this object: it has to have run before the object goes.
    g_cancellable_cancel(cancel_);
    const gint64 end = g_get_monotonic_time() + kCancelWaitUs;
    while (connecting_ && g_get_monotonic_time() < end) {
      if (!g_main_context_iteration(context_, FALSE)) g_usleep(1000);
    }
  }
  if (connection_) {
    // A bar left showing would stay on the icon until the dock notices that
    // the program is gone.
    if (sentVisible_) {
      visible_ = false;
      Emit();
      // A closed connection drops what it has not written yet; the bus is
      // given a moment to take the signal, no more.
      struct Flush {
        bool done = false;
        bool abandoned = false;
      };
      auto* flush = new Flush;
      g_main_context_push_thread_default(context_);
      g_dbus_connection_flush(
          connection_, nullptr,
          [](GObject* source, GAsyncResult* result, gpointer data) {
            g_dbus_connection_flush_finish(G_DBUS_CONNECTION(source), result, nullptr);
            auto* f = static_cast<Flush*>(data);
            if (f->abandoned)
              delete f;
            else
              f->done = true;
          },
          flush);
      g_main_context_pop_thread_default(context_);
      const gint64 end = g_get_monotonic_time() + kFlushWaitUs;
      while (!flush->done && g_get_monotonic_time() < end) {
        if (!g_main_context_iteration(context_, FALSE)) g_usleep(1000);
      }
      if (flush->done)
        delete flush;
      else
        flush->abandoned = true;  // a bus that stopped reading keeps it
    }
    g_dbus_connection_close(connection_, nullptr, nullptr, nullptr);
    g_object_unref(connection_);
  }
  if (cancel_) g_object_unref(cancel_);
  if (context_) {
    while (g_main_context_iteration(context_, FALSE)) {
    }
    g_main_context_unref(context_);
  }
}

void LauncherProgress::OnConnected(GObject*, GAsyncResult* result, gpointer data) {
  auto* self = static_cast<LauncherProgress*>(data);
  self->connecting_ = false;
  GError* error = nullptr;
  self->connection_ = g_dbus_connection_new_for_address_finish(result, &error);
  // No bus after all: the bar is simply not shown.
  if (error) g_error_free(error);
  if (self->connection_) g_dbus_connection_set_exit_on_close(self->connection_, FALSE);
}

bool LauncherProgress::Connected() {
  if (connecting_) {
    while (g_main_context_iteration(context_, FALSE)) {
    }
  }
  return connection_ && !g_dbus_connection_is_closed(connection_);
}

void LauncherProgress::Set(ProgressState state, uint32_t done, uint32_t total) {
  visible_ = state != ProgressState::kNone;
  percent_ = 0;
  if (state == ProgressState::kNormal && total > 0)
    percent_ = static_cast<int32_t>(uint64_t{std::min(done, total)} * 100 / total);
  if (!Connected()) return;
  // The docks draw nothing of the value while the bar is hidden.
  if (visible_ == sentVisible_ && (!visible_ || percent_ == sentPercent_)) return;
  Emit();
}

void LauncherProgress::Emit() {
  GVariantBuilder properties;
  g_variant_builder_init(&properties, G_VARIANT_TYPE("a{sv}"));
  g_variant_builder_add(&properties, "{sv}", "progress", g_variant_new_double(percent_ / 100.0));
  g_variant_builder_add(&properties, "{sv}", "progress-visible", g_variant_new_boolean(visible_));
  // Queued for the connection's own thread: this does not wait for the bus.
  g_dbus_connection_emit_signal(connection_, nullptr, objectPath_.c_str(), kInterface, "Update",
                                g_variant_new("(sa{sv})", appUri_.c_str(), &properties), nullptr);
  sentVisible_ = visible_;
  sentPercent_ = percent_;
}

}  // namespace vt
