#pragma once
#include <cstdint>
#include <mutex>
#include <thread>

#include "base/ref_counted.h"
#include "image/image_reader.h"
#include "platform/platform.h"

namespace vt {

// Carries the progress of a window's loads to the taskbar button, always on
// the window's own thread: the taskbar belongs to that thread, yet a load that
// was already running in the background when the window asked for its file
// reports from the loader's thread. Such reports keep only the latest value
// and post one command to the window, which applies whatever is latest when
// it arrives; a burst of reports costs one message.
//
// The sinks handed to the loads may outlive the window (the cache keeps a
// load's sink until the load ends): once detached, the relay posts nothing and
// touches neither the window nor the platform any more.
class LoadProgress : public RefCounted {
 public:
  // window receives applyCommand; both live on the calling thread.
  LoadProgress(Platform& os, PlatformWindow* window, uint32_t applyCommand);

  // A sink for one load; its reports count until End (or the next Begin).
  RefPtr<ProgressSink> Begin();
  void End();
  // The window's handler of the posted command.
  void ApplyPosted();
  // Applies the latest value now (on the window's thread, while it waits for
  // a load and cannot take the posted command).
  void ApplyPending();
  // The window is going: nothing reaches it from now on.
  void Detach();

 private:
  class Sink;
  void Report(uint32_t load, uint32_t done, uint32_t total);

  Platform& os_;
  const std::thread::id owner_;
  const uint32_t command_;
  std::mutex mutex_;  // everything below
  PlatformWindow* window_;
  uint32_t loads_ = 0;
  uint32_t current_ = 0;  // the load whose reports count, 0 for none
  bool pending_ = false;  // a value waits for the posted command
  bool posted_ = false;   // a command is on its way
  uint32_t done_ = 0;
  uint32_t total_ = 0;
};

}  // namespace vt
