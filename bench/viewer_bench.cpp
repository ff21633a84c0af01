// The viewer window on the headless back end, with real 24-megapixel JPEGs.
//
// Goals: time to first image (the open-window request until the window has
// shown a 6000 x 4000 q90 JPEG fitted to a 1920 x 1080 work area) at most
// 100 ms; next image with read-ahead (the key until the next image is shown,
// stepping through a folder of such JPEGs at a steady pace) at most 16 ms.
//
// Zoom to 800 % (key 9) of the same image in a window filling the work area:
// the time from the key to the return of the message pump that showed the
// zoomed image, and the peak memory it took (the process's resident high-water
// mark, reset before the key, less what was resident then). Goal: about one
// screenful of time and memory (at most 100 ms and 64 MiB), whatever the zoom.
// A pan by half a window, which scales what comes into view, is timed too.
//
// The JPEGs are made at start-up from a generated picture with cjpeg, so the
// benchmark needs cjpeg on the path.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "app/settings.h"
#include "base/text.h"
#include "files/navigate.h"
#include "formats/builtin_formats.h"
#include "image/format_registry.h"
#include "image/image_cache.h"
#include "platform/headless/headless_platform.h"
#include "platform/memory_settings_store.h"
#include "ui/key_bindings.h"
#include "viewer/viewer_app.h"
#include "viewer/viewer_window.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

constexpr uint32_t kWidth = 6000, kHeight = 4000;
constexpr int kFolderImages = 12;
constexpr uint32_t kKeyPageDown = 0x22;

// A folder under the temporary folder, removed at exit.
class BenchDir {
 public:
  BenchDir() {
    std::random_device rd;
    path_ = fs::temp_directory_path() / ("vistrel-bench-viewer-" + std::to_string(rd()));
    fs::create_directories(path_);
  }
  ~BenchDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  const fs::path& Path() const { return path_; }

 private:
  fs::path path_;
};

// A photograph-like picture: smooth gradients, a fine periodic texture that
// changes with the position, and noise, so the encoder keeps plenty of
// coefficients (q90 gives about 1 byte per pixel, as camera pictures do).
void WritePicture(const fs::path& ppm, uint32_t seed) {
  std::ofstream out(ppm, std::ios::binary);
  out << "P6\n" << kWidth << ' ' << kHeight << "\n255\n";
  std::mt19937 rng(seed);
  std::normal_distribution<float> noise(0.0f, 9.0f);
  std::vector<uint8_t> row(size_t{kWidth} * 3);
  for (uint32_t y = 0; y < kHeight; ++y) {
    for (uint32_t x = 0; x < kWidth; ++x) {
      const float fx = float(x) / kWidth, fy = float(y) / kHeight;
      const float texture = 28.0f * std::sin(float(x) * (0.05f + 0.2f * fy)) * std::cos(float(y) * (0.07f + 0.1f * fx));
      const float base[3] = {60 + 120 * fx, 90 + 100 * fy, 200 - 150 * fx * fy};
      for (int c = 0; c < 3; ++c) {
        const float v = base[c] + texture * (0.6f + 0.2f * float(c)) + noise(rng);
        row[size_t{x} * 3 + c] = static_cast<uint8_t>(std::clamp(v, 0.0f, 255.0f));
      }
    }
    out.write(reinterpret_cast<const char*>(row.data()), static_cast<std::streamsize>(row.size()));
  }
}

// The test images: one JPEG alone in its folder and a folder of them.
struct Pictures {
  BenchDir dir;
  fs::path single;
  fs::path folder;
  std::vector<fs::path> folderFiles;
  bool ok = false;
};

const Pictures& TestPictures() {
  static Pictures* pictures = [] {
    auto* p = new Pictures;
    const fs::path ppm = p->dir.Path() / "picture.ppm";
    fs::create_directories(p->dir.Path() / "single");
    fs::create_directories(p->dir.Path() / "folder");
    p->single = p->dir.Path() / "single" / "DSC00001.jpg";
    p->folder = p->dir.Path() / "folder";
    WritePicture(ppm, 1);
    const std::string command = "cjpeg -quality 90 -outfile '" + p->single.string() + "' '" + ppm.string() + "'";
    p->ok = std::system(command.c_str()) == 0 && fs::exists(p->single);
    fs::remove(ppm);
    // Copies under other names: the cache knows images by path, so each one
    // is decoded again.
    for (int i = 0; p->ok && i < kFolderImages; ++i) {
      char name[32];
      std::snprintf(name, sizeof name, "DSC%05d.jpg", 100 + i);
      p->folderFiles.push_back(p->folder / name);
      fs::copy_file(p->single, p->folderFiles.back());
    }
    if (p->ok)
      std::fprintf(stderr, "test JPEG: %u x %u, %.1f MB\n", kWidth, kHeight,
                   double(fs::file_size(p->single)) / 1e6);
    return p;
  }();
  return *pictures;
}

const vt::FormatRegistry& Formats() {
  static vt::FormatRegistry* formats = [] {
    auto* r = new vt::FormatRegistry();
    vt::RegisterBuiltinFormats(*r);
    return r;
  }();
  return *formats;
}

// A serving instance on one 1920 x 1080 monitor whose work area is all of it,
// with settings in memory, as a fresh process has it.
struct Instance {
  vt::HeadlessPlatform platform{{{{0, 0, 1920, 1080}, {0, 0, 1920, 1080}, 96}}};
  vt::MemorySettingsStore store;
  std::unique_ptr<vt::Settings> settings;
  vt::Navigator navigator{&Formats()};
  vt::RefPtr<vt::ImageCache> cache;
  std::unique_ptr<vt::ViewerApp> app;

  Instance() {
    vt::SetCurrentPlatform(&platform);
    vt::SettingsEnvironment env;
    env.programPath = u"/opt/vistrel/vistrel.exe";
    env.builtInKeyBindings = [] { return vt::BuiltInViewerBindingEntries(); };
    settings = std::make_unique<vt::Settings>(&store, env);
    settings->Load();
    cache = vt::RefPtr<vt::ImageCache>::Adopt(new vt::ImageCache(&Formats(), &navigator));
    app = std::make_unique<vt::ViewerApp>(platform, *settings, *cache, navigator);
  }
  ~Instance() {
    app.reset();
    cache->Join();
    vt::SetCurrentPlatform(nullptr);
  }
  static vt::HeadlessWindow* Native(vt::ViewerWindow* w) {
    return static_cast<vt::HeadlessWindow*>(w->Window());
  }
  // The window has shown something of the image (a paint or a layered present).
  static int Shown(vt::ViewerWindow* w) { return Native(w)->PaintCount() + Native(w)->PresentCount(); }
};

// Time to first image. Counters: open_ms is the open-window request itself
// (reading and decoding the file, making the window), show_ms the queued
// layout and the paint that follow.
void BM_TimeToFirstImage(benchmark::State& state) {
  const Pictures& pictures = TestPictures();
  if (!pictures.ok) {
    state.SkipWithError("cjpeg could not make the test JPEG");
    return;
  }
  const std::u16string path = vt::Utf8ToUtf16(pictures.single.string());
  double openMs = 0, showMs = 0;
  for (auto _ : state) {
    Instance instance;
    const vt::ArgumentList arguments;
    const auto t0 = Clock::now();
    vt::ViewerWindow* w = instance.app->OpenWindow(path, &arguments, nullptr);
    const auto t1 = Clock::now();
    instance.platform.Pump();
    const auto t2 = Clock::now();
    if (!w || !w->HasImage() || Instance::Shown(w) == 0) {
      state.SkipWithError("the image was not shown");
      break;
    }
    const vt::ViewSize client = w->Window()->ClientSize();
    if (client.width > 1920 || client.height > 1080 || (client.width < 1900 && client.height < 1060)) {
      state.SkipWithError("the window was not fitted to the work area");
      break;
    }
    state.SetIterationTime(std::chrono::duration<double>(t2 - t0).count());
    openMs += Ms(t1 - t0);
    showMs += Ms(t2 - t1);
  }
  const double n = static_cast<double>(std::max<benchmark::IterationCount>(state.iterations(), 1));
  state.counters["open_ms"] = openMs / n;
  state.counters["show_ms"] = showMs / n;
}
BENCHMARK(BM_TimeToFirstImage)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(8);

// Next image with read-ahead: Page Down in a folder of the JPEGs, one key every
// state.range(0) ms. Each iteration is one step; the time runs from the key
// to the return of the message pump that showed the next image. Counters: the
// slowest step, the share of steps within 16 ms, the share whose image the
// read-ahead had ready in the cache when the key came, the first step on its
// own (its read-ahead was scheduled while the window was being made), and the
// split of a step into the key's own handling (finding and opening the file,
// rendering the view) and the queued layout and paint.
void BM_NextImageReadAhead(benchmark::State& state) {
  const Pictures& pictures = TestPictures();
  if (!pictures.ok) {
    state.SkipWithError("cjpeg could not make the test JPEG");
    return;
  }
  const auto pace = std::chrono::milliseconds(state.range(0));
  Instance instance;
  const vt::ArgumentList arguments;
  vt::ViewerWindow* w =
      instance.app->OpenWindow(vt::Utf8ToUtf16(pictures.folderFiles.front().string()), &arguments, nullptr);
  instance.platform.Pump();
  if (!w || !w->HasImage()) {
    state.SkipWithError("the first image was not shown");
    return;
  }
  size_t at = 0;
  double worst = 0, first = 0, fast = 0, steps = 0, ready = 0, keyMs = 0, showMs = 0;
  for (auto _ : state) {
    std::this_thread::sleep_for(pace);  // the user looks at the picture
    const size_t next = (at + 1) % pictures.folderFiles.size();
    const std::u16string nextPath = vt::Utf8ToUtf16(pictures.folderFiles[next].string());
    ready += instance.cache->PendingCount() == 0 && instance.cache->Lookup(nextPath) ? 1 : 0;
    const int shownBefore = Instance::Shown(w);
    const auto t0 = Clock::now();
    Instance::Native(w)->SendKey(kKeyPageDown);
    const auto t1 = Clock::now();
    instance.platform.Pump();
    const auto t2 = Clock::now();
    const double ms = Ms(t2 - t0);
    keyMs += Ms(t1 - t0);
    showMs += Ms(t2 - t1);
    at = next;
    if (w->Path() != vt::Utf8ToUtf16(pictures.folderFiles[at].string()) || Instance::Shown(w) == shownBefore) {
      state.SkipWithError("Page Down did not show the next image");
      break;
    }
    state.SetIterationTime(ms / 1000.0);
    if (steps == 0) first = ms;
    worst = std::max(worst, ms);
    fast += ms <= 16.0 ? 1 : 0;
    steps += 1;
  }
  state.counters["worst_ms"] = worst;
  state.counters["first_ms"] = first;
  state.counters["within_16ms"] = steps ? fast / steps : 0;
  state.counters["ready"] = steps ? ready / steps : 0;
  state.counters["key_ms"] = steps ? keyMs / steps : 0;
  state.counters["show_ms"] = steps ? showMs / steps : 0;
}
BENCHMARK(BM_NextImageReadAhead)
    ->Arg(500)
    ->Arg(1000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(kFolderImages - 1);

// Resident memory of the process, in bytes: now (VmRSS) or its high-water
// mark (VmHWM). 0 where the system does not tell.
uint64_t ResidentBytes(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  const std::string key = std::string(field) + ":";
  while (std::getline(status, line))
    if (line.rfind(key, 0) == 0)
      return std::strtoull(line.c_str() + key.size(), nullptr, 10) * 1024;
  return 0;
}
// Starts the high-water mark again from what is resident now.
bool ResetPeakResident() {
  std::ofstream clear("/proc/self/clear_refs");
  clear << "5";
  return static_cast<bool>(clear);
}

void BM_Zoom800(benchmark::State& state) {
  const Pictures& pictures = TestPictures();
  if (!pictures.ok) {
    state.SkipWithError("cjpeg could not make the test JPEG");
    return;
  }
  const std::u16string path = vt::Utf8ToUtf16(pictures.single.string());
  double peakMb = 0, panMs = 0;
  for (auto _ : state) {
    Instance instance;
    const vt::ArgumentList arguments;
    vt::ViewerWindow* w = instance.app->OpenWindow(path, &arguments, nullptr);
    instance.platform.Pump();
    if (!w || !w->HasImage()) {
      state.SkipWithError("the image was not shown");
      break;
    }
    const int shownBefore = Instance::Shown(w);
    const uint64_t resident = ResidentBytes("VmRSS");
    const bool peakKnown = ResetPeakResident();
    const auto t0 = Clock::now();
    Instance::Native(w)->SendKey('9');
    instance.platform.Pump();
    const auto t1 = Clock::now();
    const uint64_t peak = ResidentBytes("VmHWM");
    if (!w->View() || w->View()->Zoom() != 8.0 || Instance::Shown(w) == shownBefore) {
      state.SkipWithError("the zoom was refused");
      break;
    }
    const vt::ViewPoint scroll = w->Scroll();
    const auto t2 = Clock::now();
    w->SetScroll({scroll.x + w->Window()->ClientSize().width / 2, scroll.y});
    w->Refresh();
    instance.platform.Pump();
    const auto t3 = Clock::now();
    state.SetIterationTime(std::chrono::duration<double>(t1 - t0).count());
    peakMb += peakKnown && peak > resident ? double(peak - resident) / (1024.0 * 1024.0) : 0;
    panMs += Ms(t3 - t2);
  }
  const double n = static_cast<double>(std::max<benchmark::IterationCount>(state.iterations(), 1));
  state.counters["peak_MiB"] = peakMb / n;
  state.counters["pan_ms"] = panMs / n;
}
BENCHMARK(BM_Zoom800)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
