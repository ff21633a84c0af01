// Whole-image conversion passes on one thread, each next to a memcpy of the
// same number of bytes. The goal is a pass within 1.5 times its memcpy.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "base/cpu_features.h"
#include "base/tasks.h"
#include "image/colour_models.h"
#include "image/colour_models_kernels.h"
#include "image/image_buffer.h"
#include "image/row_kernels.h"

namespace {

using vt::PixelFormat;

constexpr uint32_t kWidth = 2048, kHeight = 2048;
constexpr size_t kPixels = size_t{kWidth} * kHeight;

void FillPseudoRandom(uint8_t* p, size_t n, uint32_t seed) {
  uint32_t x = seed;
  for (size_t i = 0; i < n; ++i) {
    x = x * 1664525u + 1013904223u;
    p[i] = static_cast<uint8_t>(x >> 24);
  }
}

vt::RefPtr<vt::ImageBuffer> RandomImage(PixelFormat f) {
  vt::RefPtr<vt::ImageBuffer> b = vt::ImageBuffer::Create(f, kWidth, kHeight);
  for (uint32_t y = 0; y < kHeight; ++y)
    FillPseudoRandom(b->Row(y), size_t{kWidth} * b->BytesPerPixel(), y + 1);
  if (f == PixelFormat::Indexed8)
    for (uint32_t i = 0; i < 256; ++i) b->Palette()[i] = i * 0x9E3779B1u;
  return b;
}

void SingleThread() { vt::SetParallelThreadCount(1); }

void Memcpy(benchmark::State& state, size_t bytes) {
  std::vector<uint8_t> a(bytes, 1), b(bytes);
  for (auto _ : state) {
    std::memcpy(b.data(), a.data(), bytes);
    benchmark::DoNotOptimize(b.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}

void ConvertPass(benchmark::State& state, PixelFormat from, PixelFormat to, bool dither) {
  SingleThread();
  vt::GlobalConversionOptions().dithering = dither;
  vt::RefPtr<vt::ImageBuffer> src = RandomImage(from);
  vt::RefPtr<vt::ImageBuffer> dst = vt::ImageBuffer::Create(to, kWidth, kHeight);
  for (auto _ : state) {
    if (vt::ConvertInto(dst.get(), src.get(), false) != vt::status::kOk) state.SkipWithError("failed");
    benchmark::ClobberMemory();
  }
  // Counted as the larger of the two planes, the bytes its memcpy moves.
  const size_t bytes = kPixels * std::max(vt::BytesPerPixel(from), vt::BytesPerPixel(to));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
  vt::GlobalConversionOptions().dithering = true;
}

// 16 to 8 bits with error diffusion: Bgra16 source, 8 bytes per pixel.
void BM_Bgra16ToBgra8Dithered(benchmark::State& s) { ConvertPass(s, PixelFormat::Bgra16, PixelFormat::Bgra8, true); }
void BM_Bgra16ToBgra8HighByte(benchmark::State& s) { ConvertPass(s, PixelFormat::Bgra16, PixelFormat::Bgra8, false); }
void BM_Memcpy8BytesPerPixel(benchmark::State& s) { Memcpy(s, kPixels * 8); }

// Palette lookup: Bgra8 target, 4 bytes per pixel.
void BM_Indexed8ToBgra8(benchmark::State& s) { ConvertPass(s, PixelFormat::Indexed8, PixelFormat::Bgra8, true); }
void BM_Memcpy4BytesPerPixel(benchmark::State& s) { Memcpy(s, kPixels * 4); }

// YCbCr to RGB in place over a run of Bgra8 pixels.
void BM_YCbCrToBgra8(benchmark::State& state) {
  SingleThread();
  std::vector<uint8_t> pixels(kPixels * 4);
  FillPseudoRandom(pixels.data(), pixels.size(), 5);
  for (auto _ : state) {
    vt::YCbCrToBgra8(pixels.data(), kPixels);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kPixels * 4));
}

// Each YCbCr kernel alone on the same plane: 0 scalar, 1 SSE2, 2 SSSE3.
void BM_YCbCrKernel(benchmark::State& state) {
  const vt::CpuFeatures& cpu = vt::GetCpuFeatures();
  vt::YCbCrKernel kernel = &vt::YCbCrToBgra8Scalar;
  if (state.range(0) == 1) kernel = cpu.sse2 ? vt::Sse2YCbCrKernel() : nullptr;
  if (state.range(0) == 2) kernel = cpu.ssse3 ? vt::Ssse3YCbCrKernel() : nullptr;
  if (!kernel) {
    state.SkipWithError("not available");
    return;
  }
  std::vector<uint8_t> pixels(kPixels * 4);
  FillPseudoRandom(pixels.data(), pixels.size(), 5);
  for (auto _ : state) {
    kernel(pixels.data(), kPixels);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kPixels * 4));
}

// The dithering row kernel alone, per variant, on a row that stays in cache.
void BM_DitherRow(benchmark::State& state) {
  const vt::RowKernels* k = vt::RowKernelsFor(static_cast<vt::RowKernelLevel>(state.range(0)));
  if (!k) {
    state.SkipWithError("not available");
    return;
  }
  std::vector<uint16_t> src(size_t{kWidth} * 4), err((kWidth + 2) * 4);
  FillPseudoRandom(reinterpret_cast<uint8_t*>(src.data()), src.size() * 2, 9);
  std::vector<uint8_t> dst(size_t{kWidth} * 4);
  bool reverse = false;
  for (auto _ : state) {
    k->ditherBgra16Row(dst.data(), src.data(), err.data(), kWidth, reverse);
    reverse = !reverse;
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kWidth));
}

BENCHMARK(BM_Memcpy8BytesPerPixel)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Bgra16ToBgra8Dithered)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Bgra16ToBgra8HighByte)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Memcpy4BytesPerPixel)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Indexed8ToBgra8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_YCbCrToBgra8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_YCbCrKernel)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DitherRow)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
