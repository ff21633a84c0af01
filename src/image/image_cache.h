#pragma once
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "base/cancel.h"
#include "base/file_system.h"
#include "base/ref_counted.h"
#include "base/status.h"
#include "base/tasks.h"
#include "image/image_buffer.h"
#include "image/image_reader.h"

namespace vt {

class FormatRegistry;
class Navigator;

// An event shared between the scheduler of a load and the load itself.
class LoadCompletion : public RefCounted {
 public:
  Event& Done() { return done_; }

 private:
  Event done_;
};

// Work a window wants done on a read-ahead image once it is decoded, while the
// user is still looking at the previous one: typically the image scaled to the
// size the window expects to show it at. Runs on the loading thread, so it must
// not touch the window; it returns null when there is nothing to prepare.
class RenderHint : public RefCounted {
 public:
  virtual RefPtr<ImageBuffer> Prepare(ImageBuffer* image, const CancelFlag* cancel) const = 0;
};

// What a background load loads: the given file, or the next or previous image
// file of the given file's folder, or the neighbour in the last direction.
enum class LoadMode : uint8_t { File = 0, Next = 1, Previous = 2, SameDirection = 3 };

// The decoded images most recently used, and the background loads that fill
// it ahead of the viewer. Images are identified by their file name, file time
// and file size properties, so a file replaced on disk is loaded afresh.
//
// Schedule, Join, the foreground loads and the settings are meant for one
// thread (the user-interface thread); Lookup and Store may be called from any.
class ImageCache : public RefCounted {
 public:
  static constexpr uint32_t kMaxCapacity = 16;
  static constexpr uint32_t kInitialCapacity = 3;

  // formats and navigator default to the process's own.
  explicit ImageCache(const FormatRegistry* formats = nullptr, Navigator* navigator = nullptr);
  ~ImageCache() override;

  uint32_t Capacity() const;
  // Clamped to 1..16; entries beyond the new capacity are released.
  void SetCapacity(uint32_t capacity);
  size_t Count() const;

  // The cached image of the file as it is now on disk, moved to the front.
  RefPtr<ImageBuffer> Lookup(const std::u16string& path);
  // Adds the first frame of image's chain unless it is cached already, at the
  // front or (atEnd) at the end; a full cache releases its last entry.
  void Store(ImageBuffer* image, bool atEnd);
  // Releases every cached image of the file (whatever its time and size), so
  // that the next load reads the file again; the number released.
  size_t Remove(const std::u16string& path);

  // The viewer's way to load a file. Waits for a background load of this very
  // file, or cancels the others; then serves the cache or decodes. When *image
  // holds a buffer the result is converted into it (with its frame chain),
  // otherwise *image receives the cached or decoded image.
  Status LoadPath(RefPtr<ImageBuffer>* image, const std::u16string& path, uint32_t openFlags = 0,
                  ProgressSink* progress = nullptr, const CancelFlag* cancel = nullptr);
  // The same for a reader the caller opened.
  Status LoadReader(RefPtr<ImageBuffer>* image, ImageReader* reader,
                    ProgressSink* progress = nullptr, const CancelFlag* cancel = nullptr);

  // Starts a background load. False when nothing was scheduled (mode File for a
  // file that is cached already). The completion event, when given, is set when
  // the load ends however it ends. A hint prepares the decoded image further
  // within the same load (and is cancelled with it); its result is kept with
  // the entry until TakePrepared hands it out.
  bool ScheduleLoad(const std::u16string& path, LoadMode mode, bool memoryCheck,
                    RefPtr<LoadCompletion> completion = nullptr,
                    RefPtr<ProgressSink> progress = nullptr, RefPtr<RenderHint> hint = nullptr);
  // What the hint of the load that cached image prepared, once: the entry lets
  // go of it, so that no two views ever share it.
  RefPtr<ImageBuffer> TakePrepared(ImageBuffer* image);
  // With a pending load of path: hands it progress (telling it loading is under
  // way) and waits for the loads. Otherwise cancels every pending load and waits
  // for them. Returns at once when nothing is pending.
  void Join(const std::u16string* path = nullptr, ProgressSink* progress = nullptr);
  size_t PendingCount() const;

  // Whether loads chain every frame of animated and multi-page files. A change
  // empties the cache, whose images were decoded the other way.
  void SetAllFrames(bool allFrames);
  bool AllFrames() const;

  // The direction of the last neighbour load: 1 next, 2 previous.
  uint8_t LastDirection() const;

  // Whether available physical memory is below what decoding needs: 64 bytes
  // per pixel of image (16 for Indexed8), else 64 per byte of path's file (not
  // short when it cannot be read), else 512 MiB.
  bool MemoryIsShort(ImageBuffer* image, const std::u16string* path) const;
  // Tests replace the memory figure.
  using MemoryProbe = uint64_t (*)();
  void SetMemoryProbe(MemoryProbe probe);

 private:
  struct Entry;
  struct Request;
  class RequestProgress;

  void RunRequest(Request* request);
  void FinishRequest(Request* request);
  // After the task group has been waited for, requests whose tasks never ran.
  void DropUnstartedRequests();
  RefPtr<ImageBuffer> LookupLocked(const std::u16string& path, const std::u16string& timeText,
                                   const std::u16string& sizeText, const FileStamp* stamp);
  Status Finish(RefPtr<ImageBuffer>* image, RefPtr<ImageBuffer> hit, ImageReader* reader,
                ProgressSink* progress, const CancelFlag* cancel);

  const FormatRegistry& formats_;
  Navigator& navigator_;

  mutable std::mutex mutex_;  // entries, capacity, all-frames flag
  std::vector<std::unique_ptr<Entry>> entries_;  // most recently used first
  uint32_t capacity_ = kInitialCapacity;
  bool allFrames_ = false;
  std::atomic<uint8_t> lastDirection_{1};
  std::atomic<MemoryProbe> memoryProbe_{nullptr};

  mutable std::mutex pendingMutex_;
  std::list<std::unique_ptr<Request>> pending_;

  CancelFlag cancel_;
  TaskGroup loads_;
};

}  // namespace vt
