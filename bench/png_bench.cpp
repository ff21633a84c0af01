// PNG decode throughput against the reference PNG library's simplified API,
// side by side in one run, on a 24-megapixel RGB image compressed at level 6:
// once with the filters the encoder picks row by row and once with Paeth on
// every row (the slowest filter to undo).
//
// The goal: at least 1.5 times the reference library's throughput. Both
// decode from memory into 32-bit blue-green-red-alpha pixels.
//
//   BM_PngDecode/<kind>:            our reader with zlib (what every build ships).
//   BM_PngDecodeLibdeflate/<kind>:  the same reader with libdeflate behind the
//                                   inflate interface (measured, not shipped).
//   BM_LibpngDecode/<kind>:         the reference library, simplified API.
// kind 0 = encoder's filters, 1 = Paeth everywhere.
#include <benchmark/benchmark.h>
#include <libdeflate.h>
#include <png.h>

#include <cstring>
#include <string>
#include <vector>

#include "formats/png/png_inflate.h"
#include "formats/png/png_reader.h"
#include "image/format_registry.h"

namespace {

constexpr uint32_t kWidth = 6000;
constexpr uint32_t kHeight = 4000;  // 24 megapixels

const vt::FormatRecord kRecord{u"png", u"Portable network graphics", vt::ProbePng,
                               vt::CreatePngReader};

void AppendBytes(png_structp png, png_bytep data, png_size_t n) {
  static_cast<std::string*>(png_get_io_ptr(png))->append(reinterpret_cast<char*>(data), n);
}
void NoFlush(png_structp) {}

// Smooth gradients with some noise, so that every filter has work to do and
// the data compress like a photograph rather than like a flat area.
const std::string& File(int kind) {
  static std::string files[2];
  std::string& f = files[kind];
  if (!f.empty()) return f;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_set_write_fn(png, &f, AppendBytes, NoFlush);
  png_set_IHDR(png, info, kWidth, kHeight, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_compression_level(png, 6);
  if (kind == 1) png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_PAETH);
  png_write_info(png, info);
  std::vector<uint8_t> row(size_t{kWidth} * 3);
  uint32_t seed = 12345;
  for (uint32_t y = 0; y < kHeight; ++y) {
    for (uint32_t x = 0; x < kWidth; ++x) {
      seed = seed * 1664525u + 1013904223u;
      const uint32_t noise = (seed >> 24) & 15;
      row[3 * x] = static_cast<uint8_t>(x * 255 / kWidth + noise);
      row[3 * x + 1] = static_cast<uint8_t>(y * 255 / kHeight + (noise >> 1));
      row[3 * x + 2] = static_cast<uint8_t>(((x + y) >> 4) + noise);
    }
    png_write_row(png, row.data());
  }
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return f;
}

vt::Status InflateLibdeflate(std::span<const std::span<const uint8_t>> pieces, uint8_t* out,
                             size_t outSize, size_t* produced, const vt::CancelFlag*,
                             vt::PngInflateReady ready) {
  *produced = 0;
  std::vector<uint8_t> joined;
  for (const auto& p : pieces) joined.insert(joined.end(), p.begin(), p.end());
  thread_local libdeflate_decompressor* d = libdeflate_alloc_decompressor();
  size_t got = 0;
  const libdeflate_result r =
      libdeflate_zlib_decompress(d, joined.data(), joined.size(), out, outSize, &got);
  if (r == LIBDEFLATE_SUCCESS) {
    *produced = got;
    if (ready.call) ready.call(ready.context, got);
    return vt::status::kOk;
  }
  // Truncated or oversized streams: the streaming inflater keeps what it can.
  return vt::InflatePngZlib(pieces, out, outSize, produced, nullptr, ready);
}

void DecodeOurs(benchmark::State& state, vt::PngInflateFunction inflate) {
  const std::string& file = File(static_cast<int>(state.range(0)));
  auto source = vt::MakeMemorySource(u"bench.png", file);
  vt::RefPtr<vt::ImageReader> reader = vt::CreatePngReader(source.get(), &kRecord);
  if (vt::Failed(reader->Open())) {
    state.SkipWithError("open failed");
    return;
  }
  vt::RefPtr<vt::ImageBuffer> image;
  vt::MakeTargetBuffer(reader.get(), &image, true, false);
  vt::SetPngInflateFunction(inflate);
  for (auto _ : state) {
    if (vt::Failed(reader->DecodeInto(image.get(), false, nullptr, nullptr))) {
      state.SkipWithError("decode failed");
      break;
    }
    benchmark::DoNotOptimize(image->Row(kHeight - 1)[0]);
  }
  vt::SetPngInflateFunction(nullptr);
  state.SetItemsProcessed(state.iterations() * int64_t{kWidth} * kHeight);
  state.counters["MB/s"] = benchmark::Counter(double(state.iterations()) * kWidth * kHeight * 3,
                                              benchmark::Counter::kIsRate,
                                              benchmark::Counter::kIs1000);
}

void BM_PngDecode(benchmark::State& state) { DecodeOurs(state, nullptr); }
void BM_PngDecodeLibdeflate(benchmark::State& state) { DecodeOurs(state, InflateLibdeflate); }

void BM_LibpngDecode(benchmark::State& state) {
  const std::string& file = File(static_cast<int>(state.range(0)));
  std::vector<uint8_t> pixels(size_t{kWidth} * kHeight * 4);
  for (auto _ : state) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, file.data(), file.size())) {
      state.SkipWithError("libpng open failed");
      break;
    }
    image.format = PNG_FORMAT_BGRA;
    if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) {
      state.SkipWithError("libpng decode failed");
      break;
    }
    benchmark::DoNotOptimize(pixels.back());
  }
  state.SetItemsProcessed(state.iterations() * int64_t{kWidth} * kHeight);
  state.counters["MB/s"] = benchmark::Counter(double(state.iterations()) * kWidth * kHeight * 3,
                                              benchmark::Counter::kIsRate,
                                              benchmark::Counter::kIs1000);
}

}  // namespace

BENCHMARK(BM_LibpngDecode)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PngDecode)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PngDecodeLibdeflate)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
