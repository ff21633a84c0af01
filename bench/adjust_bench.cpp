// The colour stage and sharpening on a 24-megapixel Bgra8 photo with one and
// two threads, each next to a one-thread memcpy of the same bytes (goal:
// colour stage x_memcpy <= 3 on one thread and <= 2 on two), and composing
// plus rendering one frame of a 1920 x 1080 animation (goal: 5 ms).
//
//   vistrel_bench_adjust --benchmark_counters_tabular=true
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "base/tasks.h"
#include "image/image_buffer.h"
#include "render/adjustments.h"
#include "render/frame_step.h"
#include "render/render_view.h"
#include "render/view_state.h"

namespace {

using vt::PixelFormat;
using vt::RefPtr;
using Clock = std::chrono::steady_clock;

constexpr uint32_t kWidth = 6000, kHeight = 4000;

// Photo-like content, the same for every run.
vt::ImageBuffer* Photo() {
  static RefPtr<vt::ImageBuffer> photo = [] {
    RefPtr<vt::ImageBuffer> b = vt::ImageBuffer::Create(PixelFormat::Bgra8, kWidth, kHeight);
    uint32_t noise = 12345;
    for (uint32_t y = 0; y < kHeight; ++y) {
      uint8_t* row = b->Row(y);
      for (uint32_t x = 0; x < kWidth; ++x) {
        noise = noise * 1664525u + 1013904223u;
        const int n = static_cast<int>(noise >> 28) - 8;
        const int edge = ((x / 97 + y / 61) & 1) ? 40 : 0;
        row[4 * x] = static_cast<uint8_t>(std::clamp<int>(int(x * 200 / kWidth) + edge + n, 0, 255));
        row[4 * x + 1] = static_cast<uint8_t>(std::clamp<int>(int(y * 200 / kHeight) + edge + n, 0, 255));
        row[4 * x + 2] = static_cast<uint8_t>(std::clamp<int>(int((x + y) * 100 / (kWidth + kHeight)) + n, 0, 255));
        row[4 * x + 3] = 255;
      }
    }
    return b;
  }();
  return photo.get();
}

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// Processor time of the calling thread: on a shared machine what other
// processes take is left out. One thread's pass is measured this way.
double ThreadSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// Each iteration also copies the photo's bytes on this thread, untimed by the
// framework; x_memcpy is the pass's time over the copy's, both taken in the
// same iterations so that a change of load affects the two alike: processor
// time of this thread with one thread, wall time with more.
template <class Pass>
void AgainstMemcpy(benchmark::State& state, Pass pass) {
  vt::SetParallelThreadCount(static_cast<uint32_t>(state.range(0)));
  vt::ImageBuffer* source = Photo();
  RefPtr<vt::ImageBuffer> target = vt::ImageBuffer::Create(PixelFormat::Bgra8, kWidth, kHeight);
  const size_t bytes = size_t{kWidth} * kHeight * 4;
  std::vector<uint8_t> from(bytes, 1), to(bytes);
  // Once untimed: the target's pages are mapped on first touch.
  pass(target.get(), source);
  std::memcpy(to.data(), from.data(), bytes);
  const bool oneThread = state.range(0) == 1;
  auto now = [oneThread] { return oneThread ? ThreadSeconds() : Seconds(Clock::now().time_since_epoch()); };
  double passTime = 0, copyTime = 0;
  for (auto _ : state) {
    const double t0 = now();
    if (vt::Failed(pass(target.get(), source))) state.SkipWithError("the pass failed");
    benchmark::ClobberMemory();
    const double t1 = now();
    state.PauseTiming();
    std::memcpy(to.data(), from.data(), bytes);
    benchmark::DoNotOptimize(to.data());
    benchmark::ClobberMemory();
    const double t2 = now();
    state.ResumeTiming();
    passTime += t1 - t0;
    copyTime += t2 - t1;
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
  if (copyTime > 0) state.counters["x_memcpy"] = passTime / copyTime;
}

enum class Controls { kLinear, kGamma, kHue };

// Contrast, brightness, saturation and a bias (the linear form), then gamma
// on top, then a hue turn on top of that.
vt::ColourSettings Colour(Controls controls) {
  vt::ColourSettings c;
  c.Set(vt::ColourField::kContrast, 0.2f);
  c.Set(vt::ColourField::kBrightness, 0.1f);
  c.Set(vt::ColourField::kSaturation, 0.3f);
  c.Set(vt::ColourField::kRedBias, 0.05f);
  if (controls != Controls::kLinear) c.Set(vt::ColourField::kGamma, 1.2f);
  if (controls == Controls::kHue) c.Set(vt::ColourField::kHue, 0.1f);
  return c;
}

void ColourStage(benchmark::State& state, Controls controls) {
  const vt::ColourSettings settings = Colour(controls);
  AgainstMemcpy(state, [&](vt::ImageBuffer* t, vt::ImageBuffer* s) { return vt::ApplyAdjustments(t, s, settings); });
}

void Sharpening(benchmark::State& state, float amount) {
  AgainstMemcpy(state, [amount](vt::ImageBuffer* t, vt::ImageBuffer* s) { return vt::Sharpen(t, s, amount, 2.5f, 7); });
}

// A 1920 x 1080 animation as a GIF decodes: palette frames, the first whole,
// the others a moving 600 x 400 patch with a transparent entry, drawn over.
RefPtr<vt::ImageBuffer> Animation() {
  constexpr uint32_t w = 1920, h = 1080, frames = 12;
  RefPtr<vt::ImageBuffer> first, last;
  for (uint32_t k = 0; k < frames; ++k) {
    const uint32_t fw = k == 0 ? w : 600, fh = k == 0 ? h : 400;
    RefPtr<vt::ImageBuffer> f = vt::ImageBuffer::Create(PixelFormat::Indexed8, fw, fh);
    uint32_t* palette = f->Palette();
    for (uint32_t i = 0; i < 256; ++i) palette[i] = 0xFF000000u | (i * 0x010307u & 0xFFFFFFu);
    palette[0] = 0;  // transparent
    f->PaletteChanged();
    for (uint32_t y = 0; y < fh; ++y) {
      uint8_t* row = f->Row(y);
      for (uint32_t x = 0; x < fw; ++x) row[x] = static_cast<uint8_t>((x / 8 + y / 8 + k) % 7 == 0 ? 0 : (x + y + k * 13) & 0xFF);
    }
    f->SetAlpha(vt::AlphaMode::Straight);
    vt::FrameDescription& d = f->Frame();
    d.canvasWidth = w, d.canvasHeight = h, d.background = 0xFF000000u;
    d.x = k == 0 ? 0 : (k * 97) % (w - fw), d.y = k == 0 ? 0 : (k * 53) % (h - fh);
    d.delay = 40, d.loop = 1, d.blend = 1, d.disposal = k % 3 == 2 ? 1 : 0;
    if (!first)
      first = f;
    else
      last->SetNext(f);
    last = f;
  }
  return first;
}

void AnimationFrame(benchmark::State& state) {
  vt::SetParallelThreadCount(static_cast<uint32_t>(state.range(0)));
  // As a viewer window makes its view.
  vt::ViewFlags flags;
  flags.displayBuffers = true;
  flags.keepTransparency = true;
  vt::ViewState view(Animation(), flags);
  vt::RenderView(view);
  for (auto _ : state) {
    if (!vt::StepFrame(view, vt::FrameDirection::kNext)) state.SkipWithError("the animation stopped");
    vt::RenderView(view);
    benchmark::DoNotOptimize(view.DisplayImage());
  }
}

void Register() {
  using benchmark::RegisterBenchmark;
  for (const auto& [name, controls] : {std::pair<const char*, Controls>{"linear", Controls::kLinear},
                                      {"gamma", Controls::kGamma},
                                      {"hue", Controls::kHue}}) {
    RegisterBenchmark((std::string("ColourStage/Bgra8/6000x4000/") + name).c_str(), ColourStage, controls)
        ->Arg(1)->Arg(2)->ArgName("threads")->Unit(benchmark::kMillisecond)->UseRealTime();
  }
  RegisterBenchmark("Sharpen/Bgra8/6000x4000", Sharpening, 0.5f)
      ->Arg(1)->Arg(2)->ArgName("threads")->Unit(benchmark::kMillisecond)->UseRealTime();
  RegisterBenchmark("AnimationFrame/1920x1080", AnimationFrame)
      ->Arg(1)->Arg(2)->ArgName("threads")->Unit(benchmark::kMillisecond)->UseRealTime();
}

}  // namespace

int main(int argc, char** argv) {
  Register();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
