// Bitmap reader throughput against a plain memory copy of the same bytes.
//
// The goal: an uncompressed 24-bit bitmap of 24 megapixels decodes in at most
// 1.5 times the time of a memcpy of its pixel bytes. The reader reads the file
// where it is mapped and writes each output byte once, so the decode is bound
// by memory traffic like the copy. Compare BM_BmpDecode/24 with BM_MemcpyPixels/24.
//
//   BM_BmpDecode:     open + decode into a buffer allocated once (the steady state).
//   BM_BmpLoad:       open + fresh target buffer + decode (what a viewer load pays).
//   BM_MemcpyPixels:  memcpy of the file's pixel bytes into a buffer allocated once.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "formats/bmp/bmp_reader.h"
#include "image/format_registry.h"

namespace {

constexpr uint32_t kWidth = 6000;
constexpr uint32_t kHeight = 4000;  // 24 megapixels

const vt::FormatRecord kRecord{u"bmp", u"Windows bitmap format", vt::ProbeBmp,
                               vt::CreateBmpReader};

void Put(std::string& s, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) s.push_back(static_cast<char>(v >> (8 * i) & 0xFF));
}

// A bottom-up bitmap of the given depth with a varied pattern.
const std::string& File(int bpp) {
  static std::string files[33];
  std::string& f = files[bpp];
  if (!f.empty()) return f;
  const uint32_t paletteBytes = bpp <= 8 ? 4u << bpp : 0;
  const uint32_t rowBytes = ((kWidth * bpp + 7) / 8 + 3) & ~3u;
  const uint32_t offset = 14 + 40 + paletteBytes;
  f = "BM";
  Put(f, offset + rowBytes * kHeight, 4);
  Put(f, 0, 4);
  Put(f, offset, 4);
  Put(f, 40, 4);
  Put(f, kWidth, 4);
  Put(f, kHeight, 4);
  Put(f, 1, 2);
  Put(f, bpp, 2);
  Put(f, 0, 4);
  Put(f, rowBytes * kHeight, 4);
  Put(f, 2835, 4);
  Put(f, 2835, 4);
  Put(f, 0, 4);
  Put(f, 0, 4);
  for (uint32_t i = 0; i < paletteBytes / 4; ++i) Put(f, i * 0x010203u, 4);
  const size_t start = f.size();
  f.resize(start + size_t{rowBytes} * kHeight);
  uint32_t x = 12345;
  for (size_t i = start; i < f.size(); ++i) {
    x = x * 1103515245u + 12345u;
    f[i] = static_cast<char>(x >> 24);
  }
  return f;
}

size_t PixelBytes(int bpp) {
  return size_t{((kWidth * bpp + 7) / 8 + 3) & ~3u} * kHeight;
}

void BM_BmpDecode(benchmark::State& state) {
  const int bpp = static_cast<int>(state.range(0));
  auto source = vt::MakeMemorySource(u"bench.bmp", File(bpp));
  vt::RefPtr<vt::ImageReader> reader = vt::CreateBmpReader(source.get(), &kRecord);
  if (vt::Failed(reader->Open())) return state.SkipWithError("open failed");
  vt::RefPtr<vt::ImageBuffer> image;
  if (vt::Failed(vt::MakeTargetBuffer(reader.get(), &image, true, false)))
    return state.SkipWithError("no buffer");
  for (auto _ : state) {
    vt::RefPtr<vt::ImageReader> r = vt::CreateBmpReader(source.get(), &kRecord);
    r->Open();
    benchmark::DoNotOptimize(r->DecodeInto(image.get(), false, nullptr, nullptr));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * PixelBytes(bpp)));
}
BENCHMARK(BM_BmpDecode)->Arg(8)->Arg(24)->Arg(32)->Unit(benchmark::kMillisecond);

void BM_BmpLoad(benchmark::State& state) {
  const int bpp = static_cast<int>(state.range(0));
  auto source = vt::MakeMemorySource(u"bench.bmp", File(bpp));
  for (auto _ : state) {
    vt::RefPtr<vt::ImageReader> r = vt::CreateBmpReader(source.get(), &kRecord);
    r->Open();
    vt::RefPtr<vt::ImageBuffer> image;
    vt::MakeTargetBuffer(r.get(), &image, true, false);
    benchmark::DoNotOptimize(r->DecodeInto(image.get(), false, nullptr, nullptr));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * PixelBytes(bpp)));
}
BENCHMARK(BM_BmpLoad)->Arg(24)->Unit(benchmark::kMillisecond);

void BM_MemcpyPixels(benchmark::State& state) {
  const int bpp = static_cast<int>(state.range(0));
  const std::string& file = File(bpp);
  const size_t n = PixelBytes(bpp);
  std::vector<uint8_t> out(n, 1);
  for (auto _ : state) {
    std::memcpy(out.data(), file.data() + (file.size() - n), n);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * n));
}
BENCHMARK(BM_MemcpyPixels)->Arg(24)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
