// JPEG decoding throughput side by side with the TurboJPEG library (linked into
// this benchmark only), on the same 24-megapixel photo-like file.
//
// Goals (ratios of items per second, ours / theirs):
//   BM_Vistrel/baseline420/1thread   >= 1.0 x BM_Turbo/baseline420
//   BM_Vistrel/baseline420/pipeline  >= 1.5 x BM_Turbo/baseline420
//   BM_Vistrel/progressive420        >= 1.0 x BM_Turbo/progressive420
//   BM_VistrelReduced/baseline420    >= 1.0 x BM_TurboEighth/baseline420
// Ours is measured through the reader as the viewer uses it: decode plus the
// colour-model conversion to blue, green, red, alpha. TurboJPEG decodes to BGRX.
// The pipeline's rate is taken from wall-clock time (its second thread's work
// does not show in the calling thread's CPU time); on a machine whose other
// processor is busy it falls back to running the row tasks on the caller.
// Everything else compares CPU time, which stays meaningful on a shared machine.
//
// The files are made once with cjpeg (quality 90, 4:2:0) from a generated
// picture with gradients, edges and noise; the benchmark skips without cjpeg.
#include <benchmark/benchmark.h>
#include <turbojpeg.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/tasks.h"
#include "formats/jpeg/jpeg_reader.h"
#include "image/format_registry.h"

namespace {

constexpr uint32_t kWidth = 6000;
constexpr uint32_t kHeight = 4000;

const vt::FormatRecord kRecord{u"jpg", u"JPEG image file", vt::ProbeJpeg, vt::CreateJpegReader};

std::string ReadAll(const std::string& path) {
  std::string s;
  if (FILE* f = std::fopen(path.c_str(), "rb")) {
    char buf[1 << 16];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
    std::fclose(f);
  }
  return s;
}

// 0: baseline 4:2:0, 1: progressive 4:2:0.
const std::string& File(int kind) {
  static std::string files[2];
  std::string& f = files[kind];
  if (!f.empty()) return f;
  const std::string ppm = "/tmp/vistrel_jpeg_bench.ppm";
  const std::string jpg = "/tmp/vistrel_jpeg_bench_" + std::to_string(kind) + ".jpg";
  if (ReadAll(ppm).empty()) {
    std::string s = "P6\n" + std::to_string(kWidth) + " " + std::to_string(kHeight) + "\n255\n";
    s.reserve(s.size() + size_t{kWidth} * kHeight * 3);
    uint32_t state = 12345;
    for (uint32_t y = 0; y < kHeight; ++y) {
      for (uint32_t x = 0; x < kWidth; ++x) {
        state = state * 1664525u + 1013904223u;
        const int n = static_cast<int>(state >> 26) - 32;
        const int r = static_cast<int>((x * 7 + y * 3) % 256);
        const int g = static_cast<int>((x / 40 + y / 25) % 2 ? 200 : 60);
        const int b = static_cast<int>(128 + 100 * ((x * x / 997 + y) % 64) / 64 - 50);
        for (int v : {r + n, g + n / 2, b - n}) s.push_back(static_cast<char>(v < 0 ? 0 : v > 255 ? 255 : v));
      }
    }
    if (FILE* out = std::fopen(ppm.c_str(), "wb")) {
      std::fwrite(s.data(), 1, s.size(), out);
      std::fclose(out);
    }
  }
  const std::string cmd = std::string("cjpeg -quality 90 -sample 2x2 ") +
                          (kind == 1 ? "-progressive " : "") + "-outfile " + jpg + " " + ppm;
  if (std::system(cmd.c_str()) == 0) f = ReadAll(jpg);
  return f;
}

void Vistrel(benchmark::State& state, int kind, uint32_t threads, bool reduced) {
  const std::string& file = File(kind);
  if (file.empty()) {
    state.SkipWithError("cjpeg missing");
    return;
  }
  const uint32_t saved = vt::ParallelThreadCount();
  vt::SetParallelThreadCount(threads);
  auto source = vt::MakeMemorySource(u"bench.jpg", file);
  vt::RefPtr<vt::ImageReader> reader = vt::CreateJpegReader(source.get(), &kRecord);
  if (vt::Failed(reader->Open())) {
    state.SkipWithError("open failed");
    return;
  }
  vt::RefPtr<vt::ImageBuffer> image;
  vt::MakeTargetBuffer(reader.get(), &image, false, reduced);
  for (auto _ : state) {
    if (vt::Failed(reader->DecodeInto(image.get(), false, nullptr, nullptr)))
      state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(image->Row(0)[0]);
  }
  vt::SetParallelThreadCount(saved);
  state.SetItemsProcessed(state.iterations() * int64_t{kWidth} * kHeight);
}

void Turbo(benchmark::State& state, int kind, int scaleDenominator) {
  const std::string& file = File(kind);
  if (file.empty()) {
    state.SkipWithError("cjpeg missing");
    return;
  }
  tjhandle handle = tjInitDecompress();
  const int w = static_cast<int>(TJSCALED(kWidth, (tjscalingfactor{1, scaleDenominator})));
  const int h = static_cast<int>(TJSCALED(kHeight, (tjscalingfactor{1, scaleDenominator})));
  std::vector<unsigned char> out(size_t(w) * h * 4);
  for (auto _ : state) {
    if (tjDecompress2(handle, reinterpret_cast<const unsigned char*>(file.data()),
                      static_cast<unsigned long>(file.size()), out.data(), w, 0, h, TJPF_BGRX,
                      0) != 0)
      state.SkipWithError("tjDecompress2 failed");
    benchmark::DoNotOptimize(out[0]);
  }
  tjDestroy(handle);
  state.SetItemsProcessed(state.iterations() * int64_t{kWidth} * kHeight);
}

BENCHMARK_CAPTURE(Vistrel, baseline420_1thread, 0, 1, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Vistrel, baseline420_pipeline, 0, 2, false)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(Turbo, baseline420, 0, 1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Vistrel, progressive420, 1, 1, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Turbo, progressive420, 1, 1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Vistrel, reduced_baseline420, 0, 1, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Turbo, eighth_baseline420, 0, 8)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
