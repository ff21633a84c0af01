#pragma once
#include <cstdint>
#include <string>

#include <gio/gio.h>

#include "platform/platform.h"

namespace vt {

// The progress shown on the program's icon in the desktop's dock or task
// manager. There is no toolkit call for it: the docks listen on the session
// bus for the launcher-entry signal "com.canonical.Unity.LauncherEntry.Update",
// which names the program by its menu entry and carries "progress" (0 to 1) and
// "progress-visible". Without a session bus nothing is shown and nothing
// fails. Nothing here ever waits for the bus: the connection is made in the
// background and the latest state goes out once it stands.
class LauncherProgress {
 public:
  // appUri: "application://" and the name of the installed menu entry.
  // objectPath: the bus object the signal comes from.
  LauncherProgress(std::string appUri, std::string objectPath);
  ~LauncherProgress();
  LauncherProgress(const LauncherProgress&) = delete;
  LauncherProgress& operator=(const LauncherProgress&) = delete;

  // kNone hides the bar; kIndeterminate shows it empty (the signal has no
  // moving state); kNormal shows done out of total.
  void Set(ProgressState state, uint32_t done, uint32_t total);
  // Whether the signal can be sent now (completes a pending connection).
  bool Connected();

  // The session bus's address as the environment gives it: empty when there
  // is none (no bus is ever started for this).
  static std::string SessionBusAddress();

 private:
  static void OnConnected(GObject* source, GAsyncResult* result, gpointer self);
  void Emit();

  std::string appUri_;
  std::string objectPath_;
  // The connection's callbacks run here, and only when this object asks, so
  // none of them can run in the middle of the program's own work.
  GMainContext* context_ = nullptr;
  GCancellable* cancel_ = nullptr;
  bool connecting_ = false;
  GDBusConnection* connection_ = nullptr;
  // What should be shown, and what the docks were last told (in hundredths,
  // -1 before the first signal). A load reports every few rows; a finer step
  // than a dock can draw would only fill the bus.
  bool visible_ = false;
  int32_t percent_ = 0;
  bool sentVisible_ = false;
  int32_t sentPercent_ = -1;
};

}  // namespace vt
