#include "image/image_cache.h"

#include <algorithm>

#include "base/file_mapping.h"
#include "base/text.h"
#include "files/navigate.h"
#include "image/format_registry.h"

namespace vt {

namespace {

// How often a thread that waits for a background load lets the progress it
// attached apply what was reported (a taskbar updates fine at this pace).
constexpr uint32_t kWaitingReportMs = 30;

// The file time and size texts a freshly opened reader would give the file
// now; false when the file cannot be opened.
struct Identity {
  std::u16string timeText;
  std::u16string sizeText;
  FileStamp stamp;
};

bool CurrentIdentity(const std::u16string& path, Identity* out) {
  FileTime t;
  if (!GetFileStamp(path, &out->stamp) || !GetFileLastWriteTime(path, &t)) return false;
  out->timeText = FormatFileTime(t.year, t.month, t.day, t.hour, t.minute, t.second);
  // A file source reports sizes beyond 32 bits as 0xFFFFFFFF.
  const uint64_t size = std::min<uint64_t>(out->stamp.size, 0xFFFFFFFFu);
  out->sizeText = AsciiToUtf16(std::to_string(size));
  return true;
}

std::u16string PropertyText(ImageBuffer* image, PropertyId id) {
  const std::u16string* s = image->Properties().Get(id);
  return s ? *s : std::u16string();
}

// Raw camera files are large and slow and the viewer reads only their embedded
// preview, if anything; reading them ahead would waste the time it saves.
bool IsRawFile(const std::u16string& path) {
  return path.size() >= 4 && EqualsIgnoreAsciiCase(std::u16string_view(path).substr(path.size() - 4),
                                                   u".raw");
}

}  // namespace

struct ImageCache::Entry {
  RefPtr<ImageBuffer> image;  // the first frame of its chain
  // The identity properties, copied at store time so that lookups never read
  // the properties of an image another thread may be using.
  std::u16string path, timeText, sizeText;
  // Known when the cache loaded the file itself: tells apart two versions of a
  // file written within the same second with the same size.
  bool hasStamp = false;
  FileStamp stamp;
  RefPtr<ImageBuffer> prepared;  // made by the load's render hint
};

// Forwards a background load's progress to whoever joins it later.
class ImageCache::RequestProgress : public ProgressSink {
 public:
  explicit RequestProgress(RefPtr<ProgressSink> target) : target_(std::move(target)) {}
  void Attach(ProgressSink* target) {
    {
      std::lock_guard lock(mutex_);
      target_ = RefPtr<ProgressSink>(target);
    }
    if (target) target->LoadStarting();
  }
  void LoadStarting() override {
    if (RefPtr<ProgressSink> t = Target()) t->LoadStarting();
  }
  void Report(uint32_t done, uint32_t total) override {
    if (RefPtr<ProgressSink> t = Target()) t->Report(done, total);
  }

 private:
  RefPtr<ProgressSink> Target() {
    std::lock_guard lock(mutex_);
    return target_;
  }
  std::mutex mutex_;
  RefPtr<ProgressSink> target_;
};

struct ImageCache::Request {
  std::u16string path;  // guarded by pendingMutex_ once scheduled
  LoadMode mode = LoadMode::File;
  bool allFrames = false;
  bool memoryCheck = false;
  RefPtr<LoadCompletion> completion;
  RefPtr<RequestProgress> progress;
  RefPtr<RenderHint> hint;
  RefPtr<ImageReader> reader;
  std::list<std::unique_ptr<Request>>::iterator self;
};

ImageCache::ImageCache(const FormatRegistry* formats, Navigator* navigator)
    : formats_(formats ? *formats : GlobalFormatRegistry()),
      navigator_(navigator ? *navigator : GlobalNavigator()) {}

ImageCache::~ImageCache() {
  if (PendingCount() != 0) {
    cancel_.Set();
    loads_.Cancel();
    loads_.Wait();
    DropUnstartedRequests();
    cancel_.Reset();
  }
  loads_.Wait();
  std::vector<std::unique_ptr<Entry>> entries;
  {
    std::lock_guard lock(mutex_);
    entries.swap(entries_);
  }
}

uint32_t ImageCache::Capacity() const {
  std::lock_guard lock(mutex_);
  return capacity_;
}

void ImageCache::SetCapacity(uint32_t capacity) {
  capacity = std::clamp<uint32_t>(capacity, 1, kMaxCapacity);
  std::vector<std::unique_ptr<Entry>> dropped;
  {
    std::lock_guard lock(mutex_);
    capacity_ = capacity;
    while (entries_.size() > capacity_) {
      dropped.push_back(std::move(entries_.back()));
      entries_.pop_back();
    }
  }
}

size_t ImageCache::Count() const {
  std::lock_guard lock(mutex_);
  return entries_.size();
}

bool ImageCache::AllFrames() const {
  std::lock_guard lock(mutex_);
  return allFrames_;
}

void ImageCache::SetAllFrames(bool allFrames) {
  std::vector<std::unique_ptr<Entry>> dropped;
  {
    std::lock_guard lock(mutex_);
    if (allFrames_ == allFrames) return;
    allFrames_ = allFrames;
    dropped.swap(entries_);
  }
}

uint8_t ImageCache::LastDirection() const { return lastDirection_.load(std::memory_order_relaxed); }

void ImageCache::SetMemoryProbe(MemoryProbe probe) { memoryProbe_.store(probe); }

bool ImageCache::MemoryIsShort(ImageBuffer* image, const std::u16string* path) const {
  uint64_t needed;
  if (image) {
    const uint64_t perPixel = image->Format() == PixelFormat::Indexed8 ? 16 : 64;
    needed = perPixel * image->Width() * image->Height();
  } else if (path) {
    FileStamp stamp;
    if (!GetFileStamp(*path, &stamp)) return false;
    needed = 64 * stamp.size;
  } else {
    needed = uint64_t{512} << 20;
  }
  MemoryProbe probe = memoryProbe_.load();
  const uint64_t available = probe ? probe() : AvailablePhysicalMemory();
  // An unknown figure does not stop the read-ahead.
  return available != 0 && available < needed;
}

// Lookup and store.

RefPtr<ImageBuffer> ImageCache::LookupLocked(const std::u16string& path,
                                             const std::u16string& timeText,
                                             const std::u16string& sizeText,
                                             const FileStamp* stamp) {
  for (size_t i = 0; i < entries_.size(); ++i) {
    Entry& e = *entries_[i];
    if (!SameFileName(e.path, path) || e.timeText != timeText || e.sizeText != sizeText) continue;
    if (e.hasStamp && stamp && !(e.stamp == *stamp)) continue;
    std::rotate(entries_.begin(), entries_.begin() + i, entries_.begin() + i + 1);
    return entries_.front()->image;
  }
  return nullptr;
}

RefPtr<ImageBuffer> ImageCache::Lookup(const std::u16string& path) {
  Identity id;
  if (!CurrentIdentity(path, &id)) return nullptr;
  std::lock_guard lock(mutex_);
  return LookupLocked(path, id.timeText, id.sizeText, &id.stamp);
}

size_t ImageCache::Remove(const std::u16string& path) {
  std::vector<std::unique_ptr<Entry>> gone;  // released outside the lock
  std::lock_guard lock(mutex_);
  for (auto it = entries_.begin(); it != entries_.end();) {
    if (SameFileName((*it)->path, path)) {
      gone.push_back(std::move(*it));
      it = entries_.erase(it);
    } else {
      ++it;
    }
  }
  return gone.size();
}

void ImageCache::Store(ImageBuffer* image, bool atEnd) {
  if (!image) return;
  ImageBuffer* first = image->First();
  auto entry = std::make_unique<Entry>();
  entry->image = RefPtr<ImageBuffer>(first);
  entry->path = PropertyText(first, PropertyId::FileName);
  entry->timeText = PropertyText(first, PropertyId::FileTime);
  entry->sizeText = PropertyText(first, PropertyId::FileSize);
  std::unique_ptr<Entry> dropped;
  std::lock_guard lock(mutex_);
  for (const auto& e : entries_) {
    if (e->image.get() == first) return;
  }
  if (entries_.size() >= capacity_) {
    dropped = std::move(entries_.back());
    entries_.pop_back();
  }
  if (atEnd) {
    entries_.push_back(std::move(entry));
  } else {
    entries_.insert(entries_.begin(), std::move(entry));
  }
}

RefPtr<ImageBuffer> ImageCache::TakePrepared(ImageBuffer* image) {
  if (!image) return nullptr;
  ImageBuffer* first = image->First();
  RefPtr<ImageBuffer> prepared;
  {
    std::lock_guard lock(mutex_);
    for (const auto& e : entries_) {
      if (e->image.get() == first) {
        prepared = std::move(e->prepared);
        break;
      }
    }
  }
  return prepared;
}

// Foreground loads.

Status ImageCache::Finish(RefPtr<ImageBuffer>* image, RefPtr<ImageBuffer> hit, ImageReader* reader,
                          ProgressSink* progress, const CancelFlag* cancel) {
  if (hit) {
    if (!*image) {
      *image = std::move(hit);
      return status::kOk;
    }
    return ConvertInto(image->get(), hit.get(), true);
  }
  RefPtr<ImageBuffer> target = *image;
  if (!target) {
    Status s = MakeTargetBuffer(reader, &target, IsDisplayFormat(reader->OutputFormat()), false);
    if (Failed(s)) return s;
  }
  Status s = reader->DecodeInto(target.get(), AllFrames(), progress, cancel);
  if (IsCancelled(cancel)) return status::kCancelled;
  if (Failed(s)) return s;
  if (!*image) *image = std::move(target);
  return s;
}

Status ImageCache::LoadPath(RefPtr<ImageBuffer>* image, const std::u16string& path,
                            uint32_t openFlags, ProgressSink* progress, const CancelFlag* cancel) {
  Join(&path, progress);
  if (IsCancelled(cancel)) return status::kCancelled;
  if (RefPtr<ImageBuffer> hit = Lookup(path)) return Finish(image, std::move(hit), nullptr, progress, cancel);
  if (progress) progress->LoadStarting();
  RefPtr<ImageReader> reader;
  Status s = formats_.OpenReader(path, &reader, openFlags);
  if (Failed(s)) return s;
  return Finish(image, nullptr, reader.get(), progress, cancel);
}

Status ImageCache::LoadReader(RefPtr<ImageBuffer>* image, ImageReader* reader,
                              ProgressSink* progress, const CancelFlag* cancel) {
  if (!reader) return status::kInvalidArgument;
  const std::u16string path = reader->Source() ? reader->Source()->Path() : std::u16string();
  Join(path.empty() ? nullptr : &path, progress);
  if (IsCancelled(cancel)) return status::kCancelled;
  RefPtr<ImageBuffer> hit = path.empty() ? nullptr : Lookup(path);
  if (!hit && progress) progress->LoadStarting();
  return Finish(image, std::move(hit), reader, progress, cancel);
}

// Background loads.

size_t ImageCache::PendingCount() const {
  std::lock_guard lock(pendingMutex_);
  return pending_.size();
}

bool ImageCache::ScheduleLoad(const std::u16string& path, LoadMode mode, bool memoryCheck,
                              RefPtr<LoadCompletion> completion, RefPtr<ProgressSink> progress,
                              RefPtr<RenderHint> hint) {
  if (path.empty() || static_cast<uint8_t>(mode) > 3) return false;
  if (mode == LoadMode::File) {
    Identity id;
    if (CurrentIdentity(path, &id)) {
      std::lock_guard lock(mutex_);
      for (const auto& e : entries_) {
        if (SameFileName(e->path, path) && e->timeText == id.timeText &&
            e->sizeText == id.sizeText && (!e->hasStamp || e->stamp == id.stamp))
          return false;
      }
    }
  }
  auto request = std::make_unique<Request>();
  request->path = path;
  request->mode = mode;
  request->allFrames = AllFrames();
  request->memoryCheck = memoryCheck;
  request->completion = std::move(completion);
  request->progress = MakeRef<RequestProgress>(std::move(progress));
  request->hint = std::move(hint);
  Request* r = request.get();
  {
    std::lock_guard lock(pendingMutex_);
    pending_.push_front(std::move(request));
    r->self = pending_.begin();
  }
  loads_.Run([this, r] { RunRequest(r); });
  return true;
}

void ImageCache::RunRequest(Request* r) {
  std::u16string start;
  {
    std::lock_guard lock(pendingMutex_);
    start = r->path;
  }
  std::u16string file;
  bool found = false;
  RefPtr<FolderListing> listing;
  auto step = [&](NavigateMode m) {
    return NavigateFolder(navigator_, &listing, m, &file, start, &cancel_);
  };
  switch (r->mode) {
    case LoadMode::File:
      file = start;
      found = true;
      break;
    case LoadMode::Next:
    case LoadMode::Previous: {
      const bool next = r->mode == LoadMode::Next;
      found = step(next ? NavigateMode::Next : NavigateMode::Previous);
      if (found) lastDirection_.store(next ? 1 : 2, std::memory_order_relaxed);
      break;
    }
    case LoadMode::SameDirection: {
      const bool back = lastDirection_.load(std::memory_order_relaxed) == 2;
      found = step(back ? NavigateMode::Previous : NavigateMode::Next) ||
              step(back ? NavigateMode::Last : NavigateMode::First);
      break;
    }
  }
  listing.reset();
  if (!found || cancel_.IsSet() || IsRawFile(file)) return FinishRequest(r);
  {
    std::lock_guard lock(pendingMutex_);
    r->path = file;
  }

  Identity id;
  if (!CurrentIdentity(file, &id)) return FinishRequest(r);
  {
    std::lock_guard lock(mutex_);
    for (const auto& e : entries_) {
      if (SameFileName(e->path, file) && e->timeText == id.timeText &&
          e->sizeText == id.sizeText && (!e->hasStamp || e->stamp == id.stamp))
        return FinishRequest(r);
    }
  }
  if (r->memoryCheck && MemoryIsShort(nullptr, &file)) return FinishRequest(r);
  if (cancel_.IsSet()) return FinishRequest(r);

  Status s = formats_.OpenReader(file, &r->reader);
  if (Failed(s) || cancel_.IsSet()) return FinishRequest(r);
  RefPtr<ImageBuffer> target;
  s = MakeTargetBuffer(r->reader.get(), &target, IsDisplayFormat(r->reader->OutputFormat()), false);
  if (Failed(s) || cancel_.IsSet()) return FinishRequest(r);
  s = r->reader->DecodeInto(target.get(), r->allFrames, r->progress.get(), &cancel_);
  if (Failed(s) || cancel_.IsSet()) return FinishRequest(r);
  r->progress->Report(100, 100);

  // A failed preparation leaves the window its normal path; a cancelled one
  // cancels the whole load like a cancelled decode does.
  RefPtr<ImageBuffer> prepared;
  if (r->hint) prepared = r->hint->Prepare(target.get(), &cancel_);
  if (cancel_.IsSet()) return FinishRequest(r);

  auto entry = std::make_unique<Entry>();
  entry->prepared = std::move(prepared);
  entry->image = target;
  entry->path = PropertyText(target.get(), PropertyId::FileName);
  entry->timeText = PropertyText(target.get(), PropertyId::FileTime);
  entry->sizeText = PropertyText(target.get(), PropertyId::FileSize);
  entry->hasStamp = true;
  entry->stamp = id.stamp;
  std::unique_ptr<Entry> dropped;
  {
    std::lock_guard lock(mutex_);
    bool present = false;
    for (const auto& e : entries_) {
      present = present || (SameFileName(e->path, entry->path) && e->timeText == entry->timeText &&
                            e->sizeText == entry->sizeText);
    }
    // Decoded the other way meanwhile: not what the viewer would show.
    if (!present && allFrames_ == r->allFrames) {
      if (entries_.size() >= capacity_) {
        dropped = std::move(entries_.back());
        entries_.pop_back();
      }
      // At the end: a read-ahead image is the first to go until it is used.
      entries_.push_back(std::move(entry));
    }
  }
  FinishRequest(r);
}

void ImageCache::FinishRequest(Request* r) {
  std::unique_ptr<Request> own;
  {
    std::lock_guard lock(pendingMutex_);
    own = std::move(*r->self);
    pending_.erase(r->self);
  }
  own->reader.reset();
  if (own->completion) own->completion->Done().Set();
}

void ImageCache::DropUnstartedRequests() {
  std::list<std::unique_ptr<Request>> dropped;
  {
    std::lock_guard lock(pendingMutex_);
    dropped.swap(pending_);
  }
  for (auto& r : dropped) {
    if (r->completion) r->completion->Done().Set();
  }
}

void ImageCache::Join(const std::u16string* path, ProgressSink* progress) {
  RefPtr<RequestProgress> match;
  {
    std::lock_guard lock(pendingMutex_);
    if (pending_.empty()) return;
    if (path) {
      for (auto& r : pending_) {
        if (SameFileName(r->path, *path)) {
          match = r->progress;
          break;
        }
      }
    }
  }
  if (match) {
    match->Attach(progress);
    if (progress) {
      while (!loads_.WaitFor(kWaitingReportMs)) progress->Waiting();
      progress->Waiting();
    } else {
      loads_.Wait();
    }
    return;
  }
  cancel_.Set();
  loads_.Cancel();
  loads_.Wait();
  DropUnstartedRequests();
  cancel_.Reset();
}

}  // namespace vt
