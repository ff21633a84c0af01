#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/command_line.h"
#include "app/settings.h"
#include "image/image_cache.h"
#include "platform/platform.h"
#include "ui/toolkit_window.h"

namespace vt {

class IndexWindow;
class Navigator;
class ViewerWindow;

// The serving instance's windows and what they share: the settings, the
// image cache, the folder navigator and the open-window request.
class ViewerApp {
 public:
  ViewerApp(Platform& platform, Settings& settings, ImageCache& cache, Navigator& navigator);
  ~ViewerApp();
  ViewerApp(const ViewerApp&) = delete;
  ViewerApp& operator=(const ViewerApp&) = delete;

  Platform& Os() { return platform_; }
  Settings& AppSettings() { return settings_; }
  ImageCache& Cache() { return cache_; }
  Navigator& FolderNavigator() { return navigator_; }
  // A built-in text through the interface dictionary.
  std::u16string Translate(std::u16string_view text) const;

  // The open-window request: the file (or the open dialog), the window keywords
  // of arguments, on the monitor of reference. The new window, or null.
  ViewerWindow* OpenWindow(const std::optional<std::u16string>& file, const ArgumentList* arguments,
                           const ViewerWindow* reference);
  // An index window of a folder (or of the folder of a file) on the monitor
  // given; null when it could not be made.
  IndexWindow* OpenIndex(const std::u16string& path, const std::optional<MonitorInfo>& monitor);
  // The last open-window request had a file and could not show it (a
  // cancelled open dialog is no failure).
  bool LastOpenFailed() const { return lastOpenFailed_; }
  // A hand-off from another instance: accepted or not.
  bool ReceiveHandOff(uint64_t tag, const void* data, size_t bytes);

  // Live viewer windows in creation order.
  std::vector<ViewerWindow*> Windows() const;
  // Live index windows in creation order.
  std::vector<IndexWindow*> IndexWindows() const;
  // Every live window of the program: viewers, then indexes.
  std::vector<ToolkitWindow*> AllWindows() const;
  // Windows that are gone are deleted here, outside their own handlers (and
  // not while a window runs a modal loop, whose frame is still on the stack).
  void Reap();
  void BeginModal() { ++modal_; }
  void EndModal() { --modal_; }
  // The owner of frozen windows, made once.
  uintptr_t HiddenOwner();
  // The filter list of the open-file dialog.
  std::vector<std::u16string> OpenFilter() const;

  // Called by the windows.
  void WindowCreating();
  void WindowDestroyed(ViewerWindow* window);
  void IndexWindowDestroyed(IndexWindow* window);

 private:
  Platform& platform_;
  Settings& settings_;
  ImageCache& cache_;
  Navigator& navigator_;
  std::vector<std::unique_ptr<ViewerWindow>> windows_;
  std::vector<std::unique_ptr<ViewerWindow>> closed_;
  std::vector<std::unique_ptr<IndexWindow>> indexes_;
  std::vector<std::unique_ptr<IndexWindow>> closedIndexes_;
  // Quits the loop once no window of either kind is left.
  void QuitWhenNoWindows();
  std::unique_ptr<ToolkitWindow> hiddenOwner_;
  int32_t creating_ = 0;
  int32_t modal_ = 0;
  bool lastOpenFailed_ = false;
};

// The cache capacity for the n-th open window: 3 for one window, n + 4 for two
// and three, n + 5 from four on, at most 16.
uint32_t CacheCapacityForWindows(uint32_t windowCount);

// The program's entry after the platform is up: forwards to a running instance
// or serves, runs until the last window closes, saves the settings. Returns
// the process's exit code: 1 when the file it was started on could not be
// shown, else 0.
struct ProgramEnvironment {
  std::u16string commandLine;
  std::u16string programPath;
  SettingsStore* store = nullptr;
  // The cache that BeginStartupLoad made; null: the program makes its own.
  RefPtr<ImageCache> cache;
};
int RunProgram(Platform& platform, const ProgramEnvironment& environment);

// Starts decoding the image the command line names in the background, before
// the platform is up, so that the decode overlaps the start of the windowing
// system: the first window then waits for this load instead of beginning its
// own. The cache to hand to RunProgram; null when the command line names no
// image to open (no file, "CLOSE", an index view). A start that turns out to
// forward its command line to a running instance cancels the load when the
// cache goes.
RefPtr<ImageCache> BeginStartupLoad(std::u16string_view commandLine);

}  // namespace vt
