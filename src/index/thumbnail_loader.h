#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "base/cancel.h"
#include "base/status.h"
#include "base/tasks.h"
#include "index/index_cache.h"
#include "index/index_item.h"

namespace vt {

class FormatRegistry;

// The size of a thumbnail of a width x height image in a box: the image
// scaled to fit, never enlarged, at least one pixel each way.
ViewSize ThumbnailSize(uint32_t width, uint32_t height, uint32_t boxWidth, uint32_t boxHeight);

// What opening a file for the index found out.
struct ThumbnailOutcome {
  IndexItem* item = nullptr;  // the item it belongs to (a token: the loader never touches it)
  uint32_t run = 0;           // the run that made it
  ItemKind kind = ItemKind::kOther;
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t bitsPerPixel = 0;
  RefPtr<ImageBuffer> thumbnail;
  std::u16string comment;
  bool fromCache = false;
  // A shortcut's target: its path, and its size and time, which replace the item's.
  std::u16string target;
  std::optional<std::pair<uint64_t, uint64_t>> targetStamp;
};

// Opens an image file and makes its thumbnail for the box: through the load
// pipeline (first frame only; a reader that can decode at a reduced size does
// so when that still covers the thumbnail), scaled into the box and never
// enlarged. False (kind kOther) when the file is not an image this program reads.
bool MakeThumbnail(const FormatRegistry& formats, const std::u16string& path, uint32_t boxWidth,
                   uint32_t boxHeight, ThumbnailOutcome* out, const CancelFlag* cancel);

// The background work of one index window: loading its cache file, making
// the thumbnails of its items, saving the cache. Everything runs as tasks of
// the window's group; results come back through a list the window takes
// from on its own thread after each notification.
class IndexWorker {
 public:
  struct Job {
    IndexItem* item;
    std::u16string path;
    std::u16string name;
    uint64_t fileSize;
    uint64_t lastWriteTime;
    bool shortcut;
  };
  // Resolves a shortcut file to its target: path, and whether it is a
  // folder; nothing when it cannot.
  using ShortcutResolver = std::function<std::optional<std::pair<std::u16string, bool>>(const std::u16string&)>;

  IndexWorker(const FormatRegistry& formats, IndexCache& cache);
  ~IndexWorker();
  IndexWorker(const IndexWorker&) = delete;
  IndexWorker& operator=(const IndexWorker&) = delete;

  // Stops whatever runs and waits for it; outcomes not taken yet are dropped.
  // A save already asked for is never dropped: it is waited for.
  void Cancel();

  // Starts a new run: the cache file is read, for the box given or (with
  // takeFilesBox) for the box the file was made for, while the caller scans
  // the folder.
  void StartRun(uint32_t boxWidth, uint32_t boxHeight, bool takeFilesBox);
  // The thumbnails of jobs, made on `threads` tasks once the cache is read:
  // from the cache where it has them, otherwise from the file. notify runs on
  // a worker thread after each job.
  void StartThumbnails(std::vector<Job> jobs, uint32_t threads, std::function<void()> notify,
                       ShortcutResolver resolver = nullptr);
  // Waits for the cache file to be read: whether it is valid, and the box
  // the thumbnails are made for.
  bool WaitForCache(uint32_t* boxWidth, uint32_t* boxHeight);
  // The outcomes since the last call, of the current run only.
  std::vector<ThumbnailOutcome> TakeOutcomes();
  uint32_t Run() const { return run_; }

  // Writes the cache file in the background; done(status) runs on the
  // worker thread when it has been written (or failed).
  void StartSave(std::vector<IndexCacheEntry> entries, uint32_t boxWidth, uint32_t boxHeight,
                 std::function<void(Status)> done);
  // Waits for every task of the window.
  void Wait() {
    group_.Wait();
    saves_.Wait();
  }
  // Waits for the saves asked for so far.
  void WaitForSaves() { saves_.Wait(); }

  // How many thumbnails were made by decoding a file, over the worker's life.
  uint64_t DecodedCount() const { return decoded_.load(); }

 private:
  struct RunState;
  void EnsureCacheLoaded(RunState& state);
  void Work(const std::shared_ptr<RunState>& state);

  const FormatRegistry& formats_;
  IndexCache& cache_;
  TaskGroup group_;
  // Saves run apart from the thumbnails: cancelling a run must not drop a
  // save the user asked for before it started.
  TaskGroup saves_;
  std::shared_ptr<RunState> state_;
  uint32_t run_ = 0;
  std::atomic<uint64_t> decoded_{0};
};

}  // namespace vt
