#include "index/thumbnail_loader.h"

#include <algorithm>
#include <cmath>
#include <condition_variable>

#include "base/file_system.h"
#include "files/navigate.h"
#include "image/format_registry.h"
#include "render/scale.h"

namespace vt {

namespace {
// Files of no known image extension are probed for a format only up to this
// size: probing maps the whole file, and large files without an image
// extension are videos and archives far more often than pictures.
constexpr uint64_t kMaxProbedSize = 64ull << 20;
}  // namespace

ViewSize ThumbnailSize(uint32_t width, uint32_t height, uint32_t boxWidth, uint32_t boxHeight) {
  if (width == 0 || height == 0) return {0, 0};
  if (width <= boxWidth && height <= boxHeight) return {int32_t(width), int32_t(height)};
  const double scale = std::min(double(boxWidth) / width, double(boxHeight) / height);
  const auto side = [&](uint32_t v, uint32_t box) {
    return static_cast<int32_t>(std::clamp<double>(std::lround(v * scale), 1, box));
  };
  return {side(width, boxWidth), side(height, boxHeight)};
}

bool MakeThumbnail(const FormatRegistry& formats, const std::u16string& path, uint32_t boxWidth,
                   uint32_t boxHeight, ThumbnailOutcome* out, const CancelFlag* cancel) {
  out->kind = ItemKind::kOther;
  const size_t cut = path.find_last_of(u"\\/");
  const std::u16string_view name = std::u16string_view(path).substr(cut == std::u16string::npos ? 0 : cut + 1);
  if (FindImageFormat(name, formats) < 0) {
    FileStamp stamp;
    if (!GetFileStamp(path, &stamp) || stamp.size > kMaxProbedSize) return false;
  }
  RefPtr<ImageReader> reader;
  if (Failed(formats.OpenReader(path, &reader)) || !reader) return false;
  const ViewSize size = ThumbnailSize(reader->Width(), reader->Height(), boxWidth, boxHeight);
  if (size.width <= 0 || size.height <= 0) return false;
  RefPtr<ImageBuffer> thumbnail = ImageBuffer::Create(PixelFormat::Bgra8, uint32_t(size.width), uint32_t(size.height));
  if (!thumbnail) return false;
  if (Failed(reader->DecodeInto(thumbnail.get(), false, nullptr, cancel))) return false;
  out->kind = ItemKind::kImage;
  out->width = reader->Width();
  out->height = reader->Height();
  out->bitsPerPixel = reader->BitDepth();
  if (const std::u16string* comment = thumbnail->Properties().Get(PropertyId::Comment)) out->comment = *comment;
  out->thumbnail = std::move(thumbnail);
  return true;
}

struct IndexWorker::RunState {
  uint32_t run = 0;
  CancelFlag cancel;
  // The cache file is read once per run, by whichever task comes first.
  std::mutex loadMutex;
  std::condition_variable loadDone;
  int loadState = 0;  // 0 not started, 1 reading, 2 read
  uint32_t boxWidth = 0, boxHeight = 0;
  bool takeFilesBox = false;
  bool cacheValid = false;

  std::vector<Job> jobs;
  std::atomic<size_t> next{0};
  std::function<void()> notify;
  ShortcutResolver resolver;

  std::mutex outMutex;
  std::vector<ThumbnailOutcome> outcomes;
};

IndexWorker::IndexWorker(const FormatRegistry& formats, IndexCache& cache) : formats_(formats), cache_(cache) {
  InstallPipelineScaler();
}

IndexWorker::~IndexWorker() { Cancel(); }

void IndexWorker::Cancel() {
  if (state_) state_->cancel.Set();
  group_.Cancel();
  group_.Wait();
  saves_.Wait();
  state_.reset();
}

void IndexWorker::StartRun(uint32_t boxWidth, uint32_t boxHeight, bool takeFilesBox) {
  Cancel();
  state_ = std::make_shared<RunState>();
  state_->run = ++run_;
  state_->boxWidth = boxWidth;
  state_->boxHeight = boxHeight;
  state_->takeFilesBox = takeFilesBox;
  std::shared_ptr<RunState> state = state_;
  group_.Run([this, state] { EnsureCacheLoaded(*state); });
}

void IndexWorker::EnsureCacheLoaded(RunState& state) {
  std::unique_lock lock(state.loadMutex);
  if (state.loadState == 0) {
    state.loadState = 1;
    lock.unlock();
    uint32_t w = state.takeFilesBox ? 0 : state.boxWidth, h = state.takeFilesBox ? 0 : state.boxHeight;
    const bool valid = cache_.Load(&w, &h);
    lock.lock();
    state.cacheValid = valid;
    if (valid) state.boxWidth = w, state.boxHeight = h;
    state.loadState = 2;
    state.loadDone.notify_all();
    return;
  }
  // The task reading it is running: it ends soon.
  state.loadDone.wait(lock, [&] { return state.loadState == 2; });
}

bool IndexWorker::WaitForCache(uint32_t* boxWidth, uint32_t* boxHeight) {
  if (!state_) return false;
  EnsureCacheLoaded(*state_);
  std::lock_guard lock(state_->loadMutex);
  *boxWidth = state_->boxWidth;
  *boxHeight = state_->boxHeight;
  return state_->cacheValid;
}

void IndexWorker::StartThumbnails(std::vector<Job> jobs, uint32_t threads, std::function<void()> notify,
                                  ShortcutResolver resolver) {
  if (!state_ || jobs.empty()) return;
  state_->jobs = std::move(jobs);
  state_->notify = std::move(notify);
  state_->resolver = std::move(resolver);
  std::shared_ptr<RunState> state = state_;
  const uint32_t n = std::clamp<uint32_t>(threads, 1, static_cast<uint32_t>(state->jobs.size()));
  for (uint32_t i = 0; i < n; ++i) group_.Run([this, state] { Work(state); });
}

void IndexWorker::Work(const std::shared_ptr<RunState>& state) {
  // Each task is one lane of the run's parallelism: the decoders inside it
  // stay on its thread rather than spreading over the others' processors.
  ParallelOperationScope lane;
  EnsureCacheLoaded(*state);
  uint32_t boxWidth, boxHeight;
  bool cacheValid;
  {
    std::lock_guard lock(state->loadMutex);
    boxWidth = state->boxWidth, boxHeight = state->boxHeight, cacheValid = state->cacheValid;
  }
  for (;;) {
    const size_t i = state->next.fetch_add(1);
    if (i >= state->jobs.size() || state->cancel.IsSet()) return;
    const Job& job = state->jobs[i];
    ThumbnailOutcome out;
    out.item = job.item;
    out.run = state->run;
    CachedThumbnail cached;
    if (cacheValid && cache_.FindThumbnail(job.name, job.fileSize, job.lastWriteTime, &cached)) {
      out.kind = ItemKind::kImage;
      out.width = cached.width, out.height = cached.height, out.bitsPerPixel = cached.bitsPerPixel;
      out.thumbnail = std::move(cached.thumbnail);
      out.comment = std::move(cached.comment);
      out.fromCache = true;
    } else {
      std::u16string path = job.path;
      bool folder = false;
      if (job.shortcut && state->resolver) {
        if (auto target = state->resolver(job.path)) {
          FileStamp stamp;
          if (GetFileStamp(target->first, &stamp)) out.targetStamp = {stamp.size, stamp.lastWriteTime};
          out.target = target->first;
          path = target->first;
          folder = target->second;
        }
      }
      if (folder) {
        out.kind = ItemKind::kFolder;
      } else if (MakeThumbnail(formats_, path, boxWidth, boxHeight, &out, &state->cancel)) {
        decoded_.fetch_add(1);
        // The file had no record of an image it should hold.
        if (cacheValid) cache_.SetOutOfDate();
      }
    }
    if (state->cancel.IsSet()) return;
    {
      std::lock_guard lock(state->outMutex);
      state->outcomes.push_back(std::move(out));
    }
    if (state->notify) state->notify();
  }
}

std::vector<ThumbnailOutcome> IndexWorker::TakeOutcomes() {
  if (!state_) return {};
  std::lock_guard lock(state_->outMutex);
  return std::exchange(state_->outcomes, {});
}

void IndexWorker::StartSave(std::vector<IndexCacheEntry> entries, uint32_t boxWidth, uint32_t boxHeight,
                            std::function<void(Status)> done) {
  auto shared = std::make_shared<std::vector<IndexCacheEntry>>(std::move(entries));
  saves_.Run([this, shared, boxWidth, boxHeight, done = std::move(done)] {
    const Status s = cache_.Save(*shared, boxWidth, boxHeight);
    if (done) done(s);
  });
}

}  // namespace vt
