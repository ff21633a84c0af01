// Folder navigation and read-ahead.
//
// Goals: a scan of a 100 000-file folder runs in the background, so acquiring
// the listing (what opening the user's file waits for) takes microseconds; one
// Next step over a complete listing of 100 000 entries takes at most 10 ms;
// stepping through a folder of 24-megapixel images at a steady pace finds the
// next image in the cache.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include "base/byte_cursor.h"
#include "base/text.h"
#include "files/navigate.h"
#include "image/format_registry.h"
#include "image/image_cache.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// A folder under the temporary folder, removed at exit.
class BenchDir {
 public:
  explicit BenchDir(const std::string& tag) {
    std::random_device rd;
    path_ = fs::temp_directory_path() / ("vistrel-bench-" + tag + "-" + std::to_string(rd()));
    fs::create_directories(path_);
  }
  ~BenchDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  const fs::path& Path() const { return path_; }
  std::u16string U16() const { return vt::Utf8ToUtf16(path_.string()); }

 private:
  fs::path path_;
};

vt::Status NoProbe(const vt::FileSource&) { return vt::status::kUnknownFormat; }
vt::RefPtr<vt::ImageReader> NoReader(vt::FileSource*, const vt::FormatRecord*) { return nullptr; }

// The 100 000-file folder, made once: names like a camera's ("IMG_12345.jpg")
// plus one in ten side files that are not images.
const BenchDir& BigFolder() {
  static BenchDir* dir = [] {
    auto* d = new BenchDir("big");
    for (int i = 0; i < 100000; ++i) {
      const bool image = i % 10 != 0;
      std::ofstream(d->Path() / ("IMG_" + std::to_string(i) + (image ? ".jpg" : ".xmp")));
    }
    return d;
  }();
  return *dir;
}

const vt::FormatRegistry& JpgOnly() {
  static const vt::FormatRecord rec{u"jpg", u"JPEG", NoProbe, NoReader};
  static vt::FormatRegistry* r = [] {
    auto* reg = new vt::FormatRegistry();
    reg->Register(&rec);
    return reg;
  }();
  return *r;
}

// What opening the user's file waits for: the listing is handed out before its
// scan has finished. Counters: the whole scan, in the background.
void BM_AcquireWhileScanning(benchmark::State& state) {
  const BenchDir& dir = BigFolder();
  double scanMs = 0;
  for (auto _ : state) {
    auto registry = vt::MakeRef<vt::FolderListingRegistry>();
    auto t0 = Clock::now();
    vt::RefPtr<vt::FolderListing> l = registry->Acquire(dir.U16(), false);
    benchmark::DoNotOptimize(l.get());
    state.PauseTiming();
    l->WaitForScan();
    scanMs += std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    state.ResumeTiming();
  }
  state.counters["scan_ms"] = scanMs / static_cast<double>(state.iterations());
}
BENCHMARK(BM_AcquireWhileScanning)->Unit(benchmark::kMicrosecond)->Iterations(5);

// One Next step over a complete listing of 100 000 entries (goal: <= 10 ms).
void BM_NextStep100k(benchmark::State& state) {
  const BenchDir& dir = BigFolder();
  vt::Navigator nav(&JpgOnly());
  vt::RefPtr<vt::FolderListing> slot = nav.Listings().Acquire(dir.U16(), false);
  slot->WaitForScan();
  std::u16string path = dir.U16() + u"/IMG_50001.jpg";
  for (auto _ : state) {
    std::u16string out;
    bool ok = vt::NavigateFolder(nav, &slot, vt::NavigateMode::Next, &out, path);
    benchmark::DoNotOptimize(ok);
    if (!ok) state.SkipWithError("no next file");
  }
}
BENCHMARK(BM_NextStep100k)->Unit(benchmark::kMillisecond);

// Read-ahead. A stand-in for a 24-megapixel JPEG: an 8 MB file whose decode
// fills a 6000 x 4000 BGRA image and takes as long as a fast JPEG decoder
// would (about 150 ms here, of which writing the pixels is a part).
constexpr uint32_t kW = 6000, kH = 4000;
constexpr int kDecodeMs = 150;

class BigReader : public vt::ImageReader {
 public:
  using ImageReader::ImageReader;

 protected:
  vt::Status ReadHeader() override {
    width_ = kW;
    height_ = kH;
    outputFormat_ = vt::PixelFormat::Bgra8;
    bitDepth_ = 24;
    return vt::status::kOk;
  }
  vt::Status Decode(vt::ImageBuffer* t, bool, vt::ProgressSink*, const vt::CancelFlag* c) override {
    auto end = Clock::now() + std::chrono::milliseconds(kDecodeMs);
    for (uint32_t y = 0; y < t->Height(); ++y) {
      if (vt::IsCancelled(c)) return vt::status::kCancelled;
      std::memset(t->Row(y), static_cast<int>(y), size_t{t->Width()} * 4);
    }
    std::this_thread::sleep_until(end);
    return vt::status::kOk;
  }
};
vt::Status ProbeBig(const vt::FileSource& s) {
  return s.Size() >= 4 && std::memcmp(s.Data(), "BIG!", 4) == 0 ? vt::status::kOk
                                                                 : vt::status::kUnknownFormat;
}
vt::RefPtr<vt::ImageReader> CreateBig(vt::FileSource* s, const vt::FormatRecord* r) {
  return vt::MakeRef<BigReader>(s, r);
}

// Steps through 16 images at a steady pace (state.range(0) ms per image), as
// the viewer does: load the file through the cache, keep it, read the next one
// ahead. Counters: the share of steps served from the cache and the mean wait.
void BM_ReadAheadStepping(benchmark::State& state) {
  static const vt::FormatRecord rec{u"jpg", u"Big test image", ProbeBig, CreateBig};
  static vt::FormatRegistry* formats = [] {
    auto* reg = new vt::FormatRegistry();
    reg->Register(&rec);
    return reg;
  }();
  BenchDir dir("readahead");
  std::string bytes(8 << 20, '\0');
  std::memcpy(bytes.data(), "BIG!", 4);
  const int kFiles = 16;
  for (int i = 0; i < kFiles; ++i) {
    std::ofstream(dir.Path() / ("DSC" + std::to_string(1000 + i) + ".jpg"), std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  const auto pace = std::chrono::milliseconds(state.range(0));
  double hits = 0, steps = 0, waitMs = 0;
  for (auto _ : state) {
    vt::Navigator nav(formats);
    auto cache = vt::MakeRef<vt::ImageCache>(formats, &nav);
    vt::RefPtr<vt::FolderListing> slot;
    std::u16string path = dir.U16() + u"/DSC1000.jpg";
    for (int i = 0; i < kFiles; ++i) {
      auto t0 = Clock::now();
      const bool cached = static_cast<bool>(cache->Lookup(path));
      vt::RefPtr<vt::ImageBuffer> image;
      if (vt::Failed(cache->LoadPath(&image, path))) state.SkipWithError("load failed");
      if (i > 0) {  // the first image has nothing read ahead of it
        waitMs += std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
        hits += cached ? 1 : 0;
        steps += 1;
      }
      cache->Store(image.get(), false);
      cache->ScheduleLoad(path, vt::LoadMode::Next, true);
      std::this_thread::sleep_for(pace);
      std::u16string next;
      if (!vt::NavigateFolder(nav, &slot, vt::NavigateMode::Next, &next, path)) break;
      path = next;
    }
    cache->Join();
  }
  state.counters["hit_rate"] = steps ? hits / steps : 0;
  state.counters["wait_ms"] = steps ? waitMs / steps : 0;
}
BENCHMARK(BM_ReadAheadStepping)->Arg(100)->Arg(300)->Arg(1000)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
