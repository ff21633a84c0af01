#include "render/scale.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <new>
#include <type_traits>
#include <vector>

#include "image/image_buffer.h"
#include "image/image_reader.h"
#include "image/stripe_split.h"
#include "render/scale_kernels.h"

namespace vt {

namespace {

using PF = PixelFormat;

constexpr uint32_t kMinPixelsPerStripe = 32768;

// Keys' cubic convolution kernel with a = -0.5.
double Keys(double x) {
  constexpr double a = -0.5;
  x = x < 0 ? -x : x;
  if (x <= 1) return (a + 2) * x * x * x - (a + 3) * x * x + 1;
  if (x < 2) return a * x * x * x - 5 * a * x * x + 8 * a * x - 4 * a;
  return 0;
}

// Entries round by adding one half and truncating toward zero, so the negative
// lobes come out one unit smaller in magnitude than nearest rounding would make
// them and a phase's taps sum to 16384..16387. The 8-bit passes use these as
// they are: their final rounding absorbs the surplus (a flat area stays flat).
// The 16-bit and float passes would show it as a gain of up to 0.02 % on flat
// areas, so they take the surplus off each phase's largest tap.
struct CubicTable {
  int16_t taps[256][4];
  int16_t normalized[256][4];
  float floats[256][4];
  CubicTable() {
    for (int p = 0; p < 256; ++p) {
      const double f = p / 256.0;
      const double d[4] = {1 + f, f, 1 - f, 2 - f};
      int sum = 0, largest = 0;
      for (int k = 0; k < 4; ++k) {
        taps[p][k] = static_cast<int16_t>(static_cast<int32_t>(Keys(d[k]) * 16384 + 0.5));
        sum += taps[p][k];
        if (taps[p][k] > taps[p][largest]) largest = k;
      }
      for (int k = 0; k < 4; ++k) normalized[p][k] = taps[p][k];
      normalized[p][largest] = static_cast<int16_t>(normalized[p][largest] - (sum - 16384));
      for (int k = 0; k < 4; ++k)
        floats[p][k] = static_cast<float>(normalized[p][k]) * (1.0f / 16384.0f);
    }
  }
};

const CubicTable& Table() {
  static const CubicTable table;
  return table;
}

template <class T>
std::unique_ptr<T[]> TryAllocate(size_t n) {
  return std::unique_ptr<T[]>(new (std::nothrow) T[n]());
}

// ---------------------------------------------------------------------------
// Per-format glue between the driver and the kernels.

struct Bgra8Ops {
  using Sample = uint8_t;
  using Inter = int16_t;
  static constexpr uint32_t kChannels = 4;
  static constexpr bool kSkipZeroTaps = true;
  static void Horizontal(const ScaleKernels& k, bool pick, Inter* out, const Sample* row,
                         const ColumnTap* t, const float*, uint32_t b, uint32_t e) {
    (pick ? k.pickBgra8 : k.horizontalBgra8)(out, row, t, b, e);
  }
  static void Vertical(const ScaleKernels& k, Sample* out, const Inter* const rows[4],
                       uint32_t phase, size_t n) {
    k.vertical8(out, rows, CubicTaps(phase), n);
  }
};

struct Gray8Ops : Bgra8Ops {
  static constexpr uint32_t kChannels = 1;
  static void Horizontal(const ScaleKernels& k, bool pick, Inter* out, const Sample* row,
                         const ColumnTap* t, const float*, uint32_t b, uint32_t e) {
    (pick ? k.pickGray8 : k.horizontalGray8)(out, row, t, b, e);
  }
};

struct Bgra16Ops {
  using Sample = uint16_t;
  using Inter = int32_t;
  static constexpr uint32_t kChannels = 4;
  static constexpr bool kSkipZeroTaps = true;
  static void Horizontal(const ScaleKernels& k, bool, Inter* out, const Sample* row,
                         const ColumnTap* t, const float*, uint32_t b, uint32_t e) {
    k.horizontalBgra16(out, row, t, b, e);
  }
  static void Vertical(const ScaleKernels& k, Sample* out, const Inter* const rows[4],
                       uint32_t phase, size_t n) {
    k.vertical16(out, rows, CubicTapsNormalized(phase), n);
  }
};

struct Gray16Ops : Bgra16Ops {
  static constexpr uint32_t kChannels = 1;
  static void Horizontal(const ScaleKernels& k, bool, Inter* out, const Sample* row,
                         const ColumnTap* t, const float*, uint32_t b, uint32_t e) {
    k.horizontalGray16(out, row, t, b, e);
  }
};

// Float rows are all filtered even under zero taps: a zero tap times an infinite
// sample is still part of the formula.
struct BgraFOps {
  using Sample = float;
  using Inter = float;
  static constexpr uint32_t kChannels = 4;
  static constexpr bool kSkipZeroTaps = false;
  static void Horizontal(const ScaleKernels& k, bool, Inter* out, const Sample* row,
                         const ColumnTap* t, const float* f, uint32_t b, uint32_t e) {
    k.horizontalBgraF(out, row, t, f, b, e);
  }
  static void Vertical(const ScaleKernels& k, Sample* out, const Inter* const rows[4],
                       uint32_t phase, size_t n) {
    k.verticalF(out, rows, CubicTapsFloat(phase), n);
  }
};

struct GrayFOps : BgraFOps {
  static constexpr uint32_t kChannels = 1;
  static void Horizontal(const ScaleKernels& k, bool, Inter* out, const Sample* row,
                         const ColumnTap* t, const float* f, uint32_t b, uint32_t e) {
    k.horizontalGrayF(out, row, t, f, b, e);
  }
};

// The columns of the horizontal pass: dw entries plus 8 guards that repeat the
// last column, and the range whose four source pixels all lie inside the row.
struct Columns {
  std::unique_ptr<ColumnTap[]> taps;
  std::unique_ptr<float[]> floats;  // float formats: 4 per entry
  uint32_t interiorBegin = 0;
  uint32_t interiorEnd = 0;
  bool pick = false;  // every phase is 0
};

// Columns [begin, begin + count) of a target row dw wide.
bool BuildColumns(uint32_t dw, uint32_t sw, uint32_t begin, uint32_t count, bool exactTaps,
                  bool withFloats, Columns* c) {
  const size_t n = size_t{count} + 8;
  c->taps = TryAllocate<ColumnTap>(n);
  if (!c->taps) return false;
  if (withFloats) {
    c->floats = TryAllocate<float>(4 * n);
    if (!c->floats) return false;
  }
  const uint64_t step = (uint64_t{sw} << 16) / dw;
  c->pick = (step & 0xFFFF) == 0;
  const CubicTable& table = Table();
  for (size_t i = 0; i < n; ++i) {
    const uint64_t p = uint64_t{std::min<size_t>(begin + i, dw - 1)} * step;
    const uint32_t phase = static_cast<uint32_t>(p >> 8) & 255;
    ColumnTap& t = c->taps[i];
    t.first = static_cast<int32_t>(p >> 16) - 1;
    std::memcpy(t.tap, exactTaps ? table.taps[phase] : table.normalized[phase], sizeof t.tap);
    if (withFloats) std::memcpy(&c->floats[4 * i], table.floats[phase], 4 * sizeof(float));
  }
  uint32_t b = 0;
  while (b < count && c->taps[b].first < 0) ++b;
  uint32_t e = b;
  while (e < count && int64_t{c->taps[e].first} + 3 <= int64_t{sw} - 1) ++e;
  c->interiorBegin = b;
  c->interiorEnd = e;
  return true;
}

// The edge columns: their four pixels are gathered with the row's ends
// repeated, and the scalar kernel filters them as a column starting at 0.
template <class Ops>
void HorizontalEdges(const ScaleKernels& scalar, typename Ops::Inter* out,
                     const typename Ops::Sample* row, uint32_t sw, const Columns& c,
                     uint32_t begin, uint32_t end) {
  constexpr uint32_t C = Ops::kChannels;
  typename Ops::Sample window[4 * C];
  typename Ops::Inter value[C];
  for (uint32_t i = begin; i < end; ++i) {
    for (int k = 0; k < 4; ++k) {
      const int64_t x = std::clamp<int64_t>(int64_t{c.taps[i].first} + k, 0, int64_t{sw} - 1);
      std::memcpy(window + C * k, row + C * x, C * sizeof(typename Ops::Sample));
    }
    ColumnTap local = c.taps[i];
    local.first = 0;
    Ops::Horizontal(scalar, false, value, window, &local,
                    c.floats ? &c.floats[4 * size_t{i}] : nullptr, 0, 1);
    std::memcpy(out + C * size_t{i}, value, sizeof value);
  }
}

// ---------------------------------------------------------------------------
// Box reduction.

uint32_t Log2(uint32_t v) {
  uint32_t s = 0;
  while ((1u << s) < v) ++s;
  return s;
}

// Sums of factor x factor blocks, rounded to the nearest level.
template <class Sample>
void BoxRowInteger(Sample* out, const uint8_t* src, size_t pitch, uint32_t factor,
                   uint32_t channels, uint32_t dw, uint32_t* sums) {
  const size_t n = size_t{dw} * factor * channels;
  std::fill(sums, sums + n, 0u);
  for (uint32_t r = 0; r < factor; ++r) {
    const Sample* row = reinterpret_cast<const Sample*>(src + r * pitch);
    for (size_t i = 0; i < n; ++i) sums[i] += row[i];
  }
  const uint32_t shift = Log2(factor * factor);
  const uint32_t half = (factor * factor) / 2;
  for (uint32_t x = 0; x < dw; ++x) {
    for (uint32_t c = 0; c < channels; ++c) {
      uint32_t s = 0;
      for (uint32_t k = 0; k < factor; ++k) s += sums[(size_t{x} * factor + k) * channels + c];
      out[size_t{x} * channels + c] = static_cast<Sample>((s + half) >> shift);
    }
  }
}

// Float blocks: the column sums in row order, then the block's columns in order,
// scaled by the exact reciprocal of the block's power-of-two area.
void BoxRowFloat(float* out, const uint8_t* src, size_t pitch, uint32_t factor, uint32_t channels,
                 uint32_t dw, float* sums) {
  const size_t n = size_t{dw} * factor * channels;
  std::fill(sums, sums + n, 0.0f);
  for (uint32_t r = 0; r < factor; ++r) {
    const float* row = reinterpret_cast<const float*>(src + r * pitch);
    for (size_t i = 0; i < n; ++i) sums[i] += row[i];
  }
  const float scale = 1.0f / static_cast<float>(factor * factor);
  for (uint32_t x = 0; x < dw; ++x) {
    for (uint32_t c = 0; c < channels; ++c) {
      float s = 0;
      for (uint32_t k = 0; k < factor; ++k) s += sums[(size_t{x} * factor + k) * channels + c];
      out[size_t{x} * channels + c] = s * scale;
    }
  }
}

// The per-task sums of the box pass for one target row.
class BoxRows {
 public:
  bool Allocate(PF format, uint32_t factor, uint32_t dw) {
    format_ = format;
    factor_ = factor;
    dw_ = dw;
    channels_ = IsGrayFormat(format) ? 1 : 4;
    const size_t values = size_t{dw} * factor * channels_;
    if (format == PF::Bgra8 || format == PF::Gray8) {
      if (factor > 2) sums16_ = TryAllocate<uint16_t>(values);
      return factor == 2 || sums16_;
    }
    if (format == PF::Bgra16 || format == PF::Gray16) return (sums32_ = TryAllocate<uint32_t>(values)) != nullptr;
    return (sumsF_ = TryAllocate<float>(values)) != nullptr;
  }

  // factor source rows, pitch bytes apart, into one target row.
  void Reduce(const ScaleKernels& k, uint8_t* out, const uint8_t* src, size_t pitch) {
    const size_t values = size_t{dw_} * factor_ * channels_;
    switch (format_) {
      case PF::Bgra8:
      case PF::Gray8:
        if (factor_ == 2) {
          (format_ == PF::Bgra8 ? k.box2Bgra8 : k.box2Gray8)(out, src, pitch, dw_);
          return;
        }
        std::fill(sums16_.get(), sums16_.get() + values, uint16_t{0});
        for (uint32_t r = 0; r < factor_; ++r) k.accumulate8(sums16_.get(), src + r * pitch, values);
        if (format_ == PF::Bgra8)
          k.boxSumsBgra8(out, sums16_.get(), factor_, dw_);
        else
          k.boxSumsGray8(out, sums16_.get(), factor_, dw_);
        return;
      case PF::Bgra16:
      case PF::Gray16:
        BoxRowInteger(reinterpret_cast<uint16_t*>(out), src, pitch, factor_, channels_, dw_,
                      sums32_.get());
        return;
      default:
        BoxRowFloat(reinterpret_cast<float*>(out), src, pitch, factor_, channels_, dw_, sumsF_.get());
        return;
    }
  }

 private:
  PF format_ = PF::Bgra8;
  uint32_t factor_ = 2, dw_ = 0, channels_ = 4;
  std::unique_ptr<uint16_t[]> sums16_;
  std::unique_ptr<uint32_t[]> sums32_;
  std::unique_ptr<float[]> sumsF_;
};

// The rows above the first and below the last repeat the edge rows; the taps
// of the vertical pass come from the row's phase.
//
// With boxShift k > 0 the cubic pass makes an image of 2^k times the target's
// size, which a box pass reduces to the target; each task keeps only the 2^k
// cubic rows of its current target row, so the large intermediate image never
// exists in memory.
//
// Only the area's part of the scaled image is made, into target at (tx, ty);
// every pixel depends on its place in the whole scaled image alone, so a part
// equals that place of the whole.
template <class Ops>
Status CubicResample(ImageBuffer* target, uint32_t tx, uint32_t ty, ImageBuffer* source,
                     const ScaleArea& area, uint32_t boxShift, const CancelFlag* cancel) {
  using Sample = typename Ops::Sample;
  using Inter = typename Ops::Inter;
  constexpr uint32_t C = Ops::kChannels;
  const uint32_t finalWidth = area.width, finalHeight = area.height;
  const uint32_t factor = 1u << boxShift;
  const uint32_t dw = area.fullWidth << boxShift, dh = area.fullHeight << boxShift;
  const uint32_t sw = source->Width(), sh = source->Height();
  const uint32_t cubicWidth = finalWidth << boxShift;
  Columns columns;
  if (!BuildColumns(dw, sw, area.x << boxShift, cubicWidth, sizeof(Sample) == 1,
                    std::is_same_v<Sample, float>, &columns))
    return status::kOutOfMemory;
  const uint64_t stepY = (uint64_t{sh} << 16) / dh;
  const ScaleKernels& kernels = ActiveScaleKernels();
  const ScaleKernels& scalar = *ScaleKernelsFor(ScaleKernelLevel::Scalar);
  const size_t rowValues = size_t{cubicWidth} * C;
  const size_t targetOffset = size_t{tx} * target->BytesPerPixel();

  std::atomic<bool> outOfMemory{false};
  ForEachStripe(finalWidth, finalHeight, kMinPixelsPerStripe, [&](const Stripe& stripe) {
    // The cubic rows of one target row, and the sums that reduce them.
    const size_t blockPitch = (rowValues * sizeof(Sample) + 15) & ~size_t{15};
    std::unique_ptr<uint8_t[]> block;
    BoxRows box;
    if (boxShift) {
      block = TryAllocate<uint8_t>(blockPitch * factor);
      if (!block || !box.Allocate(source->Format(), factor, finalWidth)) {
        outOfMemory = true;
        return;
      }
    }
    // Four filtered rows, reused while the window of source rows moves down,
    // and a zero row for the taps that are zero.
    auto ring = TryAllocate<Inter>(5 * rowValues);
    if (!ring) {
      outOfMemory = true;
      return;
    }
    Inter* zero = ring.get() + 4 * rowValues;
    int64_t tags[4] = {-1, -1, -1, -1};
    auto filtered = [&](int64_t r) -> const Inter* {
      const int slot = static_cast<int>(r & 3);
      Inter* out = ring.get() + slot * rowValues;
      if (tags[slot] != r) {
        const Sample* row = reinterpret_cast<const Sample*>(source->Row(static_cast<uint32_t>(r)));
        HorizontalEdges<Ops>(scalar, out, row, sw, columns, 0, columns.interiorBegin);
        Ops::Horizontal(kernels, columns.pick, out, row, columns.taps.get(), columns.floats.get(),
                        columns.interiorBegin, columns.interiorEnd);
        HorizontalEdges<Ops>(scalar, out, row, sw, columns, columns.interiorEnd, cubicWidth);
        tags[slot] = r;
      }
      return out;
    };
    auto cubicRow = [&](uint32_t y, Sample* out) {
      const uint64_t p = uint64_t{y} * stepY;
      const uint32_t phase = static_cast<uint32_t>(p >> 8) & 255;
      const int16_t* taps = sizeof(Sample) == 1 ? CubicTaps(phase) : CubicTapsNormalized(phase);
      const int64_t base = static_cast<int64_t>(p >> 16) - 1;
      const Inter* rows[4];
      for (int k = 0; k < 4; ++k) {
        if (Ops::kSkipZeroTaps && taps[k] == 0) {
          rows[k] = zero;
          continue;
        }
        rows[k] = filtered(std::clamp<int64_t>(base + k, 0, int64_t{sh} - 1));
      }
      Ops::Vertical(kernels, out, rows, phase, rowValues);
    };
    for (uint32_t y = stripe.firstRow; y < stripe.endRow; ++y) {
      if (IsCancelled(cancel)) return;
      uint8_t* out = target->Row(ty + y) + targetOffset;
      const uint32_t scaledY = area.y + y;
      if (!boxShift) {
        cubicRow(scaledY, reinterpret_cast<Sample*>(out));
        continue;
      }
      for (uint32_t j = 0; j < factor; ++j)
        cubicRow((scaledY << boxShift) + j,
                 reinterpret_cast<Sample*>(block.get() + j * blockPitch));
      box.Reduce(kernels, out, block.get(), blockPitch);
    }
  });
  if (IsCancelled(cancel)) return status::kCancelled;
  return outOfMemory ? status::kOutOfMemory : status::kOk;
}

ScaleArea WholeOf(const ImageBuffer* target) {
  return {target->Width(), target->Height(), 0, 0, target->Width(), target->Height()};
}

Status CubicFor(ImageBuffer* target, uint32_t tx, uint32_t ty, ImageBuffer* source,
                const ScaleArea& area, uint32_t boxShift, const CancelFlag* cancel) {
  switch (source->Format()) {
    case PF::Bgra8:
      return CubicResample<Bgra8Ops>(target, tx, ty, source, area, boxShift, cancel);
    case PF::Bgra16:
      return CubicResample<Bgra16Ops>(target, tx, ty, source, area, boxShift, cancel);
    case PF::BgraFloat:
      return CubicResample<BgraFOps>(target, tx, ty, source, area, boxShift, cancel);
    case PF::Gray8:
      return CubicResample<Gray8Ops>(target, tx, ty, source, area, boxShift, cancel);
    case PF::Gray16:
      return CubicResample<Gray16Ops>(target, tx, ty, source, area, boxShift, cancel);
    case PF::GrayFloat:
      return CubicResample<GrayFOps>(target, tx, ty, source, area, boxShift, cancel);
    default: return status::kUnsupportedColourFormat;
  }
}

Status CubicFor(ImageBuffer* target, ImageBuffer* source, uint32_t boxShift,
                const CancelFlag* cancel) {
  return CubicFor(target, 0, 0, source, WholeOf(target), boxShift, cancel);
}

// The area's part of source reduced by factor, into target at (tx, ty).
Status BoxReduceBy(ImageBuffer* target, uint32_t tx, uint32_t ty, ImageBuffer* source,
                   const ScaleArea& area, uint32_t factor, const CancelFlag* cancel) {
  const uint32_t dw = area.width, dh = area.height;
  const size_t targetOffset = size_t{tx} * target->BytesPerPixel();
  const size_t sourceOffset = size_t{area.x} * factor * source->BytesPerPixel();
  const ScaleKernels& k = ActiveScaleKernels();
  std::atomic<bool> outOfMemory{false};
  ForEachStripe(dw, dh, kMinPixelsPerStripe, [&](const Stripe& stripe) {
    BoxRows rows;
    if (!rows.Allocate(source->Format(), factor, dw)) {
      outOfMemory = true;
      return;
    }
    for (uint32_t y = stripe.firstRow; y < stripe.endRow; ++y) {
      if (IsCancelled(cancel)) return;
      rows.Reduce(k, target->Row(ty + y) + targetOffset,
                  source->Row((area.y + y) * factor) + sourceOffset, source->Pitch());
    }
  });
  if (IsCancelled(cancel)) return status::kCancelled;
  return outOfMemory ? status::kOutOfMemory : status::kOk;
}

// A reduction by 2^k in both directions: one box pass when k <= 4, otherwise by
// 16 into an intermediate and on from there.
Status BoxReducePower(ImageBuffer* target, ImageBuffer* source, uint32_t k,
                      const CancelFlag* cancel) {
  if (k <= 4) return BoxReduce(target, source, cancel);
  RefPtr<ImageBuffer> mid =
      ImageBuffer::Create(source->Format(), source->Width() / 16, source->Height() / 16);
  if (!mid) return status::kOutOfMemory;
  Status s = BoxReduce(mid.get(), source, cancel);
  if (Failed(s)) return s;
  return BoxReducePower(target, mid.get(), k - 4, cancel);
}

// The format the resampler works in for a target: the source's precision in the
// target's family (colour or grey); palette images count as 8-bit colour.
PF WorkingFormat(PF source, PF target) {
  const bool gray = IsGrayFormat(target);
  switch (source) {
    case PF::Bgra16:
    case PF::Gray16:
      return gray ? PF::Gray16 : PF::Bgra16;
    case PF::BgraFloat:
    case PF::GrayFloat:
      return gray ? PF::GrayFloat : PF::BgraFloat;
    default:
      return gray ? PF::Gray8 : PF::Bgra8;
  }
}

}  // namespace

const int16_t* CubicTaps(uint32_t phase) { return Table().taps[phase & 255]; }
const int16_t* CubicTapsNormalized(uint32_t phase) { return Table().normalized[phase & 255]; }
const float* CubicTapsFloat(uint32_t phase) { return Table().floats[phase & 255]; }

Status BoxReduce(ImageBuffer* target, ImageBuffer* source, const CancelFlag* cancel) {
  if (!target || !source || target == source) return status::kInvalidArgument;
  if (!IsStorageFormat(source->Format()) || static_cast<uint8_t>(source->Format()) > 5)
    return status::kUnsupportedColourFormat;
  if (target->Format() != source->Format()) return status::kGeneralFailure;
  const uint32_t sw = source->Width(), sh = source->Height();
  uint32_t factor = 0;
  for (uint32_t f : {2u, 4u, 8u, 16u}) {
    if (target->Width() != 0 && sw / f == target->Width()) factor = f;
  }
  if (!factor || sh / factor != target->Height()) return status::kInvalidArgument;
  if (target->Height() == 0) return status::kOk;
  return BoxReduceBy(target, 0, 0, source, WholeOf(target), factor, cancel);
}

Status Resample(ImageBuffer* target, ImageBuffer* source, const CancelFlag* cancel) {
  if (!target) return status::kInvalidArgument;
  return ResampleArea(target, 0, 0, source, WholeOf(target), cancel);
}

Status ResampleArea(ImageBuffer* target, uint32_t tx, uint32_t ty, ImageBuffer* source,
                    const ScaleArea& area, const CancelFlag* cancel) {
  if (!target || !source || target == source) return status::kInvalidArgument;
  if (target->Format() != source->Format()) return status::kGeneralFailure;
  if (!IsStorageFormat(source->Format()) || static_cast<uint8_t>(source->Format()) > 5)
    return status::kUnsupportedColourFormat;
  const uint32_t dw = area.fullWidth, dh = area.fullHeight;
  const uint32_t sw = source->Width(), sh = source->Height();
  if (uint64_t{area.width} * area.height == 0) return status::kOk;
  if (uint64_t{sw} * sh == 0) return status::kInvalidArgument;
  if (area.x > dw || area.width > dw - area.x || area.y > dh || area.height > dh - area.y ||
      tx > target->Width() || area.width > target->Width() - tx || ty > target->Height() ||
      area.height > target->Height() - ty)
    return status::kInvalidArgument;
  const bool whole = area.width == dw && area.height == dh;

  if (dw == sw && dh == sh) {
    // Phase 0 everywhere: the filter returns every sample unchanged.
    const size_t bytes = size_t{area.width} * source->BytesPerPixel();
    for (uint32_t y = 0; y < area.height; ++y) {
      if (IsCancelled(cancel)) return status::kCancelled;
      std::memcpy(target->Row(ty + y) + size_t{tx} * source->BytesPerPixel(),
                  source->Row(area.y + y) + size_t{area.x} * source->BytesPerPixel(), bytes);
    }
    return status::kOk;
  }

  if (dw <= sw / 2 && dh <= sh / 2) {
    uint32_t k = 1;
    while (uint64_t{dw} << (k + 1) <= sw && uint64_t{dh} << (k + 1) <= sh) ++k;
    const bool exact = uint64_t{dw} << k == sw && uint64_t{dh} << k == sh;
    if (k <= 4) {
      return exact ? BoxReduceBy(target, tx, ty, source, area, 1u << k, cancel)
                   : CubicFor(target, tx, ty, source, area, k, cancel);
    }
    if (!whole) {
      // A reduction by 32 or more leaves a small image: it is made whole and
      // the part copied out.
      RefPtr<ImageBuffer> all = ImageBuffer::Create(source->Format(), dw, dh);
      if (!all) return status::kOutOfMemory;
      const Status s = Resample(all.get(), source, cancel);
      if (Failed(s)) return s;
      return CopyRect(target, static_cast<int32_t>(tx), static_cast<int32_t>(ty), all.get(), area.x,
                      area.y, area.width, area.height) == status::kOk
                 ? status::kOk
                 : status::kGeneralFailure;
    }
    if (exact) return BoxReducePower(target, source, k, cancel);
    RefPtr<ImageBuffer> mid = ImageBuffer::Create(source->Format(), dw << k, dh << k);
    if (!mid) return status::kOutOfMemory;
    Status s = CubicFor(mid.get(), source, 0, cancel);
    if (Failed(s)) return s;
    return BoxReducePower(target, mid.get(), k, cancel);
  }
  return CubicFor(target, tx, ty, source, area, 0, cancel);
}

Status Scale(ImageBuffer* target, ImageBuffer* source, int mode, const CancelFlag* cancel) {
  if (!target || !source) return status::kInvalidArgument;
  if (mode != 0 && mode != 3) return status::kInvalidArgument;
  if (target == source) return status::kOk;
  if (uint64_t{target->Width()} * target->Height() == 0) return status::kOk;
  if (target->Width() == source->Width() && target->Height() == source->Height())
    return ConvertInto(target, source, false);

  const PF to = target->Format();
  const PF from = source->Format();
  if (to == from && to != PF::Indexed8) return Resample(target, source, cancel);
  if (!IsStorageFormat(to) || !IsStorageFormat(from)) return status::kUnsupportedColourFormat;

  const PF work = WorkingFormat(from, to);
  RefPtr<ImageBuffer> matched(source);
  if (from != work) {
    matched = Convert(source, work, false, false);
    if (!matched) return status::kOutOfMemory;
  }
  if (work == to) return Resample(target, matched.get(), cancel);
  RefPtr<ImageBuffer> scaled = ImageBuffer::Create(work, target->Width(), target->Height());
  if (!scaled) return status::kOutOfMemory;
  scaled->SetAlpha(source->Alpha());
  Status s = Resample(scaled.get(), matched.get(), cancel);
  if (Failed(s)) return s;
  return ConvertInto(target, scaled.get(), false);
}

namespace {
Status PipelineScale(ImageBuffer* dst, ImageBuffer* src, const CancelFlag* cancel) {
  return Scale(dst, src, 0, cancel);
}
}  // namespace

void InstallPipelineScaler() { SetScaleFunction(PipelineScale); }

}  // namespace vt
