// Scaling throughput: the display reduction of a 24-megapixel photo, a small
// thumbnail reduction, and the box passes next to a memcpy of their source.
// Counters report megapixels of source per second; the box passes also report
// their time over that of the copy.
//
// bench/scale_vs_pillow.py runs this next to an outside bicubic resize of the
// same pixels; it asks for them with
//   vistrel_bench_scale --write-source=PATH WIDTHxHEIGHT
// which writes the generated image as raw blue, green, red, alpha bytes and ends.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "base/tasks.h"
#include "image/image_buffer.h"
#include "render/scale.h"
#include "render/scale_kernels.h"

namespace {

using vt::PixelFormat;
using vt::RefPtr;

// Photo-like content: smooth shading, edges and a little noise, the same for
// every run.
RefPtr<vt::ImageBuffer> MakeSource(PixelFormat f, uint32_t w, uint32_t h) {
  RefPtr<vt::ImageBuffer> b = vt::ImageBuffer::Create(PixelFormat::Bgra8, w, h);
  uint32_t noise = 12345;
  for (uint32_t y = 0; y < h; ++y) {
    uint8_t* row = b->Row(y);
    for (uint32_t x = 0; x < w; ++x) {
      noise = noise * 1664525u + 1013904223u;
      const int n = static_cast<int>(noise >> 29) - 4;
      const int edge = ((x / 97 + y / 61) & 1) ? 40 : 0;
      row[4 * x] = static_cast<uint8_t>(std::clamp<int>(int(x * 200 / w) + edge + n, 0, 255));
      row[4 * x + 1] = static_cast<uint8_t>(std::clamp<int>(int(y * 200 / h) + edge + n, 0, 255));
      row[4 * x + 2] = static_cast<uint8_t>(std::clamp<int>(int((x + y) * 100 / (w + h)) + 2 * edge + n, 0, 255));
      row[4 * x + 3] = 255;
    }
  }
  if (f == PixelFormat::Bgra8) return b;
  return vt::Convert(b.get(), f, false, false);
}

vt::ImageBuffer* CachedSource(PixelFormat f, uint32_t w, uint32_t h) {
  static std::map<std::tuple<int, uint32_t, uint32_t>, RefPtr<vt::ImageBuffer>> cache;
  auto& slot = cache[{static_cast<int>(f), w, h}];
  if (!slot) slot = MakeSource(f, w, h);
  return slot.get();
}

// Processor time of the calling thread (which runs a whole pass with one
// thread) and of the process: what other processes on a shared machine take is
// left out of both.
double ClockSeconds(clockid_t clock) {
  timespec t{};
  clock_gettime(clock, &t);
  return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}
double ThreadSeconds() { return ClockSeconds(CLOCK_THREAD_CPUTIME_ID); }
double ProcessSeconds() { return ClockSeconds(CLOCK_PROCESS_CPUTIME_ID); }

void ScaleCase(benchmark::State& state, PixelFormat f, uint32_t sw, uint32_t sh, uint32_t dw,
               uint32_t dh) {
  vt::SetParallelThreadCount(static_cast<uint32_t>(state.range(0)));
  vt::ImageBuffer* src = CachedSource(f, sw, sh);
  RefPtr<vt::ImageBuffer> dst = vt::ImageBuffer::Create(f, dw, dh);
  double processTime = 0;
  for (auto _ : state) {
    const double t0 = ProcessSeconds();
    if (vt::Failed(vt::Scale(dst.get(), src, 0, nullptr))) state.SkipWithError("scale failed");
    benchmark::ClobberMemory();
    processTime += ProcessSeconds() - t0;
  }
  state.counters["src_MP/s"] = benchmark::Counter(double(sw) * sh / 1e6 * state.iterations(),
                                                  benchmark::Counter::kIsRate);
  // Processor time of all threads per call: next to the one-thread figure it
  // shows the work that splitting adds, which wall time on a loaded machine
  // cannot.
  if (state.iterations() > 0)
    state.counters["all_threads_cpu_ms"] = processTime * 1e3 / double(state.iterations());
}


// Each iteration also copies as many bytes as the source holds, untimed by the
// framework; x_memcpy is the pass's processor time over the copy's, both taken
// in the same iterations so that a change of load affects the two alike.
void BoxCase(benchmark::State& state, PixelFormat f, uint32_t factor) {
  vt::SetParallelThreadCount(1);
  constexpr uint32_t w = 6000, h = 4000;
  vt::ImageBuffer* src = CachedSource(f, w, h);
  RefPtr<vt::ImageBuffer> dst = vt::ImageBuffer::Create(f, w / factor, h / factor);
  const size_t bytes = size_t{w} * h * src->BytesPerPixel();
  std::vector<uint8_t> from(bytes, 1), to(bytes);
  double boxTime = 0, copyTime = 0;
  for (auto _ : state) {
    const double t0 = ThreadSeconds();
    if (vt::Failed(vt::BoxReduce(dst.get(), src, nullptr))) state.SkipWithError("box failed");
    benchmark::ClobberMemory();
    const double t1 = ThreadSeconds();
    state.PauseTiming();
    std::memcpy(to.data(), from.data(), bytes);
    benchmark::DoNotOptimize(to.data());
    benchmark::ClobberMemory();
    const double t2 = ThreadSeconds();
    state.ResumeTiming();
    boxTime += t1 - t0;
    copyTime += t2 - t1;
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
  if (copyTime > 0) state.counters["x_memcpy"] = boxTime / copyTime;
}

// The column-sum step of the 8-bit box passes alone, per kernel level, on the
// sums of one 6000-pixel row held in the first-level cache.
void BoxSumsCase(benchmark::State& state, vt::ScaleKernelLevel level, uint32_t channels,
                 uint32_t factor) {
  const vt::ScaleKernels* k = vt::ScaleKernelsFor(level);
  if (!k) {
    state.SkipWithError("level not available");
    return;
  }
  const size_t values = size_t{6000} * channels;
  std::vector<uint16_t> sums(values);
  for (size_t i = 0; i < values; ++i)
    sums[i] = static_cast<uint16_t>((i * 7919) % (factor * 255 + 1));
  std::vector<uint8_t> out(values / factor);
  const size_t n = 6000 / factor;
  for (auto _ : state) {
    (channels == 4 ? k->boxSumsBgra8 : k->boxSumsGray8)(out.data(), sums.data(), factor, n);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(values * sizeof(uint16_t)));
}

void MemcpyCase(benchmark::State& state, size_t bytes) {
  std::vector<uint8_t> a(bytes, 1), b(bytes);
  for (auto _ : state) {
    std::memcpy(b.data(), a.data(), bytes);
    benchmark::DoNotOptimize(b.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
}

void Register() {
  using benchmark::RegisterBenchmark;
  RegisterBenchmark("Scale/Bgra8/6000x4000_to_1920x1280", ScaleCase, PixelFormat::Bgra8, 6000,
                    4000, 1920, 1280)
      ->Arg(1)->Arg(2)->ArgName("threads")->Unit(benchmark::kMillisecond)->UseRealTime();
  RegisterBenchmark("Scale/Bgra8/2560x1600_to_320x200", ScaleCase, PixelFormat::Bgra8, 2560, 1600,
                    320, 200)
      ->Arg(1)->Arg(2)->ArgName("threads")->Unit(benchmark::kMillisecond)->UseRealTime();
  RegisterBenchmark("Scale/Bgra8/1000x800_to_1730x1384", ScaleCase, PixelFormat::Bgra8, 1000, 800,
                    1730, 1384)
      ->Arg(1)->ArgName("threads")->Unit(benchmark::kMillisecond)->UseRealTime();
  RegisterBenchmark("Scale/Gray8/6000x4000_to_1920x1280", ScaleCase, PixelFormat::Gray8, 6000,
                    4000, 1920, 1280)
      ->Arg(1)->ArgName("threads")->Unit(benchmark::kMillisecond)->UseRealTime();
  RegisterBenchmark("Scale/Bgra16/6000x4000_to_1920x1280", ScaleCase, PixelFormat::Bgra16, 6000,
                    4000, 1920, 1280)
      ->Arg(1)->ArgName("threads")->Unit(benchmark::kMillisecond)->UseRealTime();
  const std::pair<const char*, PixelFormat> boxFormats[] = {
      {"Bgra8", PixelFormat::Bgra8},   {"Gray8", PixelFormat::Gray8},
      {"Bgra16", PixelFormat::Bgra16}, {"Gray16", PixelFormat::Gray16},
      {"BgraFloat", PixelFormat::BgraFloat}, {"GrayFloat", PixelFormat::GrayFloat}};
  for (uint32_t factor : {2u, 4u, 8u, 16u}) {
    for (const auto& [name, format] : boxFormats) {
      RegisterBenchmark(("BoxReduce/" + std::string(name) + "/by" + std::to_string(factor)).c_str(),
                        BoxCase, format, factor)
          ->Unit(benchmark::kMillisecond);
    }
  }
  const std::pair<const char*, vt::ScaleKernelLevel> levels[] = {
      {"scalar", vt::ScaleKernelLevel::Scalar},
      {"sse2", vt::ScaleKernelLevel::Sse2},
      {"ssse3", vt::ScaleKernelLevel::Ssse3}};
  for (uint32_t channels : {4u, 1u}) {
    for (uint32_t factor : {4u, 8u, 16u}) {
      for (const auto& [name, level] : levels) {
        RegisterBenchmark(("BoxSums/" + std::string(channels == 4 ? "Bgra8" : "Gray8") + "/by" +
                           std::to_string(factor) + "/" + name)
                              .c_str(),
                          BoxSumsCase, level, channels, factor)
            ->Unit(benchmark::kMicrosecond);
      }
    }
  }
  RegisterBenchmark("Memcpy/Bgra8_source", MemcpyCase, size_t{6000} * 4000 * 4)
      ->Unit(benchmark::kMillisecond);
  RegisterBenchmark("Memcpy/Gray8_source", MemcpyCase, size_t{6000} * 4000)
      ->Unit(benchmark::kMillisecond);
}

int WriteSource(const std::string& path, const std::string& size) {
  uint32_t w = 0, h = 0;
  if (std::sscanf(size.c_str(), "%ux%u", &w, &h) != 2 || !w || !h) return 2;
  RefPtr<vt::ImageBuffer> b = MakeSource(PixelFormat::Bgra8, w, h);
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return 1;
  for (uint32_t y = 0; y < h; ++y) std::fwrite(b->Row(y), 4, w, f);
  return std::fclose(f) == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string flag = "--write-source=";
  if (argc == 3 && std::strncmp(argv[1], flag.c_str(), flag.size()) == 0)
    return WriteSource(argv[1] + flag.size(), argv[2]);
  Register();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
