// The index's thumbnails of one folder, timed as the window makes them:
//   1. every image opened and its thumbnail made (no cache file), on the
//      worker tasks the window uses;
//   2. the cache file written;
//   3. the folder visited again: every thumbnail taken from the file.
// Prints one line per step and the process's peak resident memory.
// Usage: vistrel_bench_index FOLDER [BOX]
#include <sys/resource.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

#include "base/folder_paths.h"
#include "base/tasks.h"
#include "base/text.h"
#include "files/navigate.h"
#include "formats/builtin_formats.h"
#include "image/format_registry.h"
#include "index/index_scan.h"
#include "index/thumbnail_loader.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Visit {
  double seconds = 0;
  size_t images = 0;
  uint64_t decoded = 0;
  std::vector<vt::IndexCacheEntry> entries;
};

// One visit of the folder as the window makes it: read the cache file, scan,
// then make or find every thumbnail.
Visit RunVisit(const std::u16string& folder, uint32_t box) {
  vt::IndexCache cache;
  cache.SetFolder(folder);
  vt::IndexWorker worker(vt::GlobalFormatRegistry(), cache);
  Visit v;
  const auto start = Clock::now();
  worker.StartRun(box, box, false);
  vt::IndexItemList none;
  auto registry = vt::MakeRef<vt::FolderListingRegistry>();
  vt::IndexScanResult scan = vt::ScanIndexFolder(*registry, folder, none, false, 0);
  std::vector<vt::IndexWorker::Job> jobs;
  for (auto& item : scan.items)
    if (item->kind == vt::ItemKind::kUnexamined)
      jobs.push_back({item.get(), item->path, std::u16string(item->Name()), item->fileSize, item->lastWriteTime, false});
  std::mutex m;
  std::condition_variable cv;
  size_t done = 0;
  const size_t total = jobs.size();
  worker.StartThumbnails(std::move(jobs), vt::ParallelThreadCount(), [&] {
    std::lock_guard lock(m);
    cv.notify_all();
  });
  std::vector<vt::ThumbnailOutcome> outcomes;
  {
    std::unique_lock lock(m);
    while (done < total) {
      lock.unlock();
      for (auto& o : worker.TakeOutcomes()) outcomes.push_back(std::move(o));
      lock.lock();
      done = outcomes.size();
      if (done < total) cv.wait_for(lock, std::chrono::milliseconds(5));
    }
  }
  worker.Wait();
  v.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  v.decoded = worker.DecodedCount();
  for (auto& o : outcomes) {
    if (o.kind != vt::ItemKind::kImage) continue;
    ++v.images;
    v.entries.push_back({std::u16string(o.item->Name()), o.item->fileSize, o.item->lastWriteTime, o.width, o.height,
                         o.bitsPerPixel, o.thumbnail, o.comment});
  }
  return v;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s FOLDER [BOX]\n", argv[0]);
    return 2;
  }
  const std::u16string folder = vt::Utf8ToUtf16(argv[1]);
  const uint32_t box = argc > 2 ? uint32_t(std::atoi(argv[2])) : 160;
  vt::RegisterBuiltinFormats(vt::GlobalFormatRegistry());
  vt::SetParallelThreadCount(std::max(1u, std::thread::hardware_concurrency()));

  vt::IndexCache cache;
  cache.SetFolder(folder);
  cache.Remove();
  const Visit cold = RunVisit(folder, box);
  std::printf("made:   %zu thumbnails (%llu decoded) in %.3f s, %.1f images/s with %u threads\n", cold.images,
              static_cast<unsigned long long>(cold.decoded), cold.seconds, cold.images / cold.seconds,
              vt::ParallelThreadCount());

  const auto saveStart = Clock::now();
  const vt::Status s = cache.Save(cold.entries, box, box);
  std::printf("saved:  Vistrel.vti in %.3f s (status %d)\n",
              std::chrono::duration<double>(Clock::now() - saveStart).count(), int(s));

  const Visit warm = RunVisit(folder, box);
  std::printf("cached: %zu thumbnails (%llu decoded) in %.3f s, %.1fx faster than making them\n", warm.images,
              static_cast<unsigned long long>(warm.decoded), warm.seconds, cold.seconds / warm.seconds);
  struct rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  std::printf("peak memory: %.1f MB\n", usage.ru_maxrss / 1024.0);
  return warm.decoded == 0 && warm.images == cold.images ? 0 : 1;
}
