// Conversion between the pixel formats, and the rectangle copy.
//
// Arithmetic where several choices would do:
// - 16 to 8 bits is the high byte, or with dithering on the error diffusion of
//   DitherBgra16Row (grey gets the same diffusion on its one channel).
// - float to 16 bits is clamp(v, 0, 1) * 65535 + 0.5 truncated (NaN gives 0);
//   8 to 16 bits is v * 257; 8 and 16 bits to float divide by 255 and 65535.
// - colour to grey, except Bgra8 to Gray8 (which averages, or works in linear
//   light when asked), uses the Rec. 709 luma weights 0.2126 R + 0.7152 G +
//   0.0722 B on the stored values; the 16-bit form uses 13933, 46871 and 4732
//   in 1/65536 units (they sum to 65536, so white stays white).
// - alpha passes through; sources without alpha give opaque pixels.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>

#include "image/image_buffer.h"
#include "image/quantize.h"
#include "image/row_kernels.h"
#include "image/stripe_split.h"

namespace vt {

namespace {

using PF = PixelFormat;

// Below this many pixels per stripe the task overhead outweighs the work.
constexpr uint32_t kMinPixelsPerStripe = 32768;

const RowKernels& K() { return ActiveRowKernels(); }

template <class T>
std::unique_ptr<T[]> TryAllocate(size_t n) {
  return std::unique_ptr<T[]>(new (std::nothrow) T[n]());
}

RawPlane PlaneOf(ImageBuffer* b) { return {b->Origin(), b->Pitch(), b->Width(), b->Height()}; }

RawPlane SubPlane(const RawPlane& p, uint32_t x, uint32_t y, uint32_t w, uint32_t h,
                  uint32_t bpp) {
  return {p.origin + y * p.pitch + size_t{x} * bpp, p.pitch, w, h};
}

// ---- per-pixel helpers -------------------------------------------------------

constexpr uint32_t kLumaR16 = 13933, kLumaG16 = 46871, kLumaB16 = 4732;
constexpr float kLumaR = 0.2126f, kLumaG = 0.7152f, kLumaB = 0.0722f;

inline uint16_t Luma16(uint32_t b, uint32_t g, uint32_t r) {
  return static_cast<uint16_t>((kLumaR16 * r + kLumaG16 * g + kLumaB16 * b + 32768) >> 16);
}
inline float LumaF(float b, float g, float r) { return kLumaR * r + kLumaG * g + kLumaB * b; }
inline uint16_t FloatToU16One(float v) {
  uint16_t out;
  K().floatToU16(&out, &v, 1);
  return out;
}

inline const uint16_t* As16(const uint8_t* p) { return reinterpret_cast<const uint16_t*>(p); }
inline uint16_t* As16(uint8_t* p) { return reinterpret_cast<uint16_t*>(p); }
inline const float* AsF(const uint8_t* p) { return reinterpret_cast<const float*>(p); }
inline float* AsF(uint8_t* p) { return reinterpret_cast<float*>(p); }

// ---- linear-light grey -------------------------------------------------------

float SrgbEncode(float v) {
  return v <= 0.0031308f ? 12.92f * v : 1.055f * std::pow(v, 1.0f / 2.4f) - 0.055f;
}

// Bgra8 to Gray8 in linear light: channels decoded from sRGB, Y from the linear
// channels, Y encoded again. The encoded level only grows with Y, so instead of
// a power per pixel the 255 linear thresholds at which the level steps up are
// found once (by bisection over the float values, with the very function they
// replace) and each pixel needs a search among them.
class LinearGray {
 public:
  static const LinearGray& Get() {
    static const LinearGray table;
    return table;
  }
  static uint8_t Level(float y) {
    const float e = SrgbEncode(y);
    if (e <= 0.0f) return 0;
    if (e >= 1.0f) return 255;
    return static_cast<uint8_t>(static_cast<int>(e * 255.0f + 0.5f));
  }
  float Linear(uint8_t v) const { return linear_[v]; }
  float Y(uint8_t b, uint8_t g, uint8_t r) const {
    return 0.212656f * linear_[r] + 0.715158f * linear_[g] + 0.072186f * linear_[b];
  }
  uint8_t Gray(uint8_t b, uint8_t g, uint8_t r) const {
    const float y = Y(b, g, r);
    return static_cast<uint8_t>(std::upper_bound(thresholds_ + 1, thresholds_ + 256, y) -
                                (thresholds_ + 1));
  }

 private:
  LinearGray() {
    for (int i = 0; i < 256; ++i) {
      const double v = i / 255.0;
      linear_[i] = static_cast<float>(v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4));
    }
    // thresholds_[k]: the smallest non-negative float whose level is at least k.
    // Non-negative floats order like their bit patterns, so bisect on those.
    thresholds_[0] = 0.0f;
    const uint32_t topBits = 0x40000000u;  // 2.0f: every level is reached below it
    for (int k = 1; k < 256; ++k) {
      uint32_t lo = 0, hi = topBits;
      while (lo < hi) {
        const uint32_t mid = lo + (hi - lo) / 2;
        float f;
        std::memcpy(&f, &mid, 4);
        if (Level(f) >= k) hi = mid;
        else lo = mid + 1;
      }
      std::memcpy(&thresholds_[k], &lo, 4);
    }
  }
  float linear_[256];
  float thresholds_[256];
};

// ---- rows ------------------------------------------------------------------

struct RowContext {
  const uint32_t* palette = nullptr;
  uint16_t* err = nullptr;  // error sums of a dithered step
  uint32_t y = 0;
  bool linearGray = false;
};
using StepFn = void (*)(uint8_t* dst, const uint8_t* src, uint32_t n, RowContext& ctx);

struct Step {
  StepFn fn;
  PF out;
  bool serial;  // carries state from row to row: the rows run in order on one thread
};

void DitherGrayRow(uint8_t* dst, const uint16_t* src, uint16_t* err, size_t n, bool reverse) {
  err[0] = err[n + 1] = 0;
  const ptrdiff_t d = reverse ? -1 : 1;
  ptrdiff_t x = reverse ? static_cast<ptrdiff_t>(n) - 1 : 0;
  uint32_t carry = 0, ahead = 0;
  for (size_t k = 0; k < n; ++k, x += d) {
    uint16_t* e = err + x + 1;
    uint32_t v = (DitherInput(src[x]) >> 4) + ((*e + carry + 8) >> 4);
    if (v > 4095) v = 4095;
    const uint32_t r = v & 15;
    dst[x] = static_cast<uint8_t>(v >> 4);
    carry = 7 * r;
    *e = static_cast<uint16_t>(ahead + 5 * r);
    e[-d] = static_cast<uint16_t>(e[-d] + 3 * r);
    ahead = r;
  }
}

void CopyB8(uint8_t* d, const uint8_t* s, uint32_t n, RowContext&) { std::memcpy(d, s, 4 * size_t{n}); }
void CopyB16(uint8_t* d, const uint8_t* s, uint32_t n, RowContext&) { std::memcpy(d, s, 8 * size_t{n}); }
void CopyBF(uint8_t* d, const uint8_t* s, uint32_t n, RowContext&) { std::memcpy(d, s, 16 * size_t{n}); }
void CopyG8(uint8_t* d, const uint8_t* s, uint32_t n, RowContext&) { std::memcpy(d, s, n); }
void CopyG16(uint8_t* d, const uint8_t* s, uint32_t n, RowContext&) { std::memcpy(d, s, 2 * size_t{n}); }
void CopyGF(uint8_t* d, const uint8_t* s, uint32_t n, RowContext&) { std::memcpy(d, s, 4 * size_t{n}); }

void B16ToB8High(uint8_t* d, const uint8_t* s, uint32_t n, RowContext&) {
  K().highBytes16(d, As16(s), 4 * size_t{n});
}
void B16ToB8Dither(uint8_t* d, const uint8_t* s, uint32_t n, RowContext& c) {
  K().ditherBgra16Row(d, As16(s), c.err, n, c.y & 1);
}
void G16ToG8High(uint8_t* d, const uint8_t* s, uint32_t n, RowContext&) {
  K().highBytes16(d, As16(s), n);
}
void G16ToG8Dither(uint8_t* d, const uint8_t* s, uint32_t n, RowContext& c) {
  DitherGrayRow(d, As16(s), c.err, n, c.y & 1);
}
void BFToB16(uint8_t* d, const uint8_t* s, uint32_t n, RowContext&) {
  K().floatToU16(As16(d), AsF(s), 4 * size_t{n});
}
void GFToG16(uint8_t* d, const uint8_t* s, uint32_t n, RowContext&) {
  K().floatToU16(As16(d), AsF(s), n);
}
void G8ToB8(uint8_t* d, const uint8_t* s, uint32_t n, RowContext&) { K().gray8ToBgra8(d, s, n); }
void I8ToB8(uint8_t* d, const uint8_t* s, uint32_t n, RowContext& c) {
  K().indexed8ToBgra8(d, s, c.palette, n);
}
void B8ToB16(uint8_t* d, const uint8_t* s, uint32_t n, RowContext&) {
  K().widen8To16(As16(d), s, 4 * size_t{n});
}
void G8ToB16(uint8_t* d, const uint8_t* s, uint32_t n, RowContext&) {
  uint16_t* o = As16(d);
  for (uint32_t i = 0; i < n; ++i) {
    const uint16_t v = static_cast<uint16_t>(s[i] * 257u);
    o[4 * i] = o[4 * i + 1] = o[4 * i + 2] = v;
    o[4 * i + 3] = 0xFFFF;
  }
}
void G16ToB16(uint8_t* d, const uint8_t* s, uint32_t n, RowContext&) {
  uint16_t* o = As16(d);
  const uint16_t* g = As16(s);
  for (uint32_t i = 0; i < n; ++i) {
    o[4 * i] = o[4 * i + 1] = o[4 * i + 2] = g[i];
    o[4 * i + 3] = 0xFFFF;
  }
}
void B8ToBF(uint8_t* d, const uint8_t* s, uint32_t n, RowContext&) {
  K().u8ToFloat(AsF(d), s, 4 * size_t{n});
}
void B16ToBF(uint8_t* d, const uint8_t* s, uint32_t n, RowContext&) {
  K().u16ToFloat(AsF(d), As16(s), 4 * size_t{n});
}
// Grey into blue, green, red with alpha 1: the grey row is converted to float in
// the alpha-free upper part of the target first, then spread downwards.
void SpreadGrayFloat(float* o, uint32_t n) {
  const float* g = o + 3 * size_t{n};
  for (uint32_t i = 0; i < n; ++i) {
    const float v = g[i];
    o[4 * i] = o[4 * i + 1] = o[4 * i + 2] = v;
    o[4 * i + 3] = 1.0f;
  }
}
void G8ToBF(uint8_t* d, const uint8_t* s, uint32_t n, RowContext&) {
  K().u8ToFloat(AsF(d) + 3 * size_t{n}, s, n);
  SpreadGrayFloat(AsF(d), n);
}
void G16ToBF(uint8_t* d, const uint8_t* s, uint32_t n, RowContext&) {
  K().u16ToFloat(AsF(d) + 3 * size_t{n}, As16(s), n);
  SpreadGrayFloat(AsF(d), n);
}
void GFToBF(uint8_t* d, const uint8_t* s, uint32_t n, RowContext&) {
  std::memcpy(AsF(d) + 3 * size_t{n}, s, 4 * size_t{n});
  SpreadGrayFloat(AsF(d), n);
}
void B8ToG8(uint8_t* d, const uint8_t* s, uint32_t n, RowContext& c) {
  if (!c.linearGray) {
    K().bgra8ToGray8(d, s, n);
    return;
  }
  const LinearGray& lg = LinearGray::Get();
  for (uint32_t i = 0; i < n; ++i) d[i] = lg.Gray(s[4 * i], s[4 * i + 1], s[4 * i + 2]);
}
void B8ToG16(uint8_t* d, const uint8_t* s, uint32_t n, RowContext&) {
  uint16_t* o = As16(d);
  for (uint32_t i = 0; i < n; ++i)
    o[i] = Luma16(s[4 * i] * 257u, s[4 * i + 1] * 257u, s[4 * i + 2] * 257u);
}
void B16ToG16(uint8_t* d, const uint8_t* s, uint32_t n, RowContext&) {
  uint16_t* o = As16(d);
  const uint16_t* p = As16(s);
  for (uint32_t i = 0; i < n; ++i) o[i] = Luma16(p[4 * i], p[4 * i + 1], p[4 * i + 2]);
}
void BFToG16(uint8_t* d, const uint8_t* s, uint32_t n, RowContext&) {
  uint16_t* o = As16(d);
  const float* p = AsF(s);
  for (uint32_t i = 0; i < n; ++i) o[i] = FloatToU16One(LumaF(p[4 * i], p[4 * i + 1], p[4 * i + 2]));
}
void G8ToG16(uint8_t* d, const uint8_t* s, uint32_t n, RowContext&) { K().widen8To16(As16(d), s, n); }
void B8ToGF(uint8_t* d, const uint8_t* s, uint32_t n, RowContext&) {
  float* o = AsF(d);
  for (uint32_t i = 0; i < n; ++i)
    o[i] = LumaF(s[4 * i] / 255.0f, s[4 * i + 1] / 255.0f, s[4 * i + 2] / 255.0f);
}
void B16ToGF(uint8_t* d, const uint8_t* s, uint32_t n, RowContext&) {
  float* o = AsF(d);
  const uint16_t* p = As16(s);
  for (uint32_t i = 0; i < n; ++i)
    o[i] = LumaF(p[4 * i] / 65535.0f, p[4 * i + 1] / 65535.0f, p[4 * i + 2] / 65535.0f);
}
void BFToGF(uint8_t* d, const uint8_t* s, uint32_t n, RowContext&) {
  float* o = AsF(d);
  const float* p = AsF(s);
  for (uint32_t i = 0; i < n; ++i) o[i] = LumaF(p[4 * i], p[4 * i + 1], p[4 * i + 2]);
}
void G8ToGF(uint8_t* d, const uint8_t* s, uint32_t n, RowContext&) { K().u8ToFloat(AsF(d), s, n); }
void G16ToGF(uint8_t* d, const uint8_t* s, uint32_t n, RowContext&) {
  K().u16ToFloat(AsF(d), As16(s), n);
}

// The steps from one format to another; at most three.
struct Plan {
  Step steps[3];
  int count = 0;
  bool serial = false;
  void Add(StepFn fn, PF out, bool isSerial = false) {
    steps[count++] = {fn, out, isSerial};
    serial = serial || isSerial;
  }
};

bool MakePlan(PF from, PF to, bool dither, Plan& p) {
  const StepFn b16ToB8 = dither ? B16ToB8Dither : B16ToB8High;
  const StepFn g16ToG8 = dither ? G16ToG8Dither : G16ToG8High;
  // Palette sources are looked up first and then go the Bgra8 way.
  if (from == PF::Indexed8 && to != PF::Indexed8) {
    p.Add(I8ToB8, PF::Bgra8);
    from = PF::Bgra8;
    if (to == PF::Bgra8) return true;
  }
  switch (to) {
    case PF::Bgra8:
      switch (from) {
        case PF::Bgra8: p.Add(CopyB8, to); return true;
        case PF::Bgra16: p.Add(b16ToB8, to, dither); return true;
        case PF::BgraFloat: p.Add(BFToB16, PF::Bgra16); p.Add(b16ToB8, to, dither); return true;
        case PF::Gray8: p.Add(G8ToB8, to); return true;
        case PF::Gray16: p.Add(g16ToG8, PF::Gray8, dither); p.Add(G8ToB8, to); return true;
        case PF::GrayFloat:
          p.Add(GFToG16, PF::Gray16);
          p.Add(g16ToG8, PF::Gray8, dither);
          p.Add(G8ToB8, to);
          return true;
        default: return false;
      }
    case PF::Bgra16:
      switch (from) {
        case PF::Bgra8: p.Add(B8ToB16, to); return true;
        case PF::Bgra16: p.Add(CopyB16, to); return true;
        case PF::BgraFloat: p.Add(BFToB16, to); return true;
        case PF::Gray8: p.Add(G8ToB16, to); return true;
        case PF::Gray16: p.Add(G16ToB16, to); return true;
        case PF::GrayFloat: p.Add(GFToG16, PF::Gray16); p.Add(G16ToB16, to); return true;
        default: return false;
      }
    case PF::BgraFloat:
      switch (from) {
        case PF::Bgra8: p.Add(B8ToBF, to); return true;
        case PF::Bgra16: p.Add(B16ToBF, to); return true;
        case PF::BgraFloat: p.Add(CopyBF, to); return true;
        case PF::Gray8: p.Add(G8ToBF, to); return true;
        case PF::Gray16: p.Add(G16ToBF, to); return true;
        case PF::GrayFloat: p.Add(GFToBF, to); return true;
        default: return false;
      }
    case PF::Gray8:
      switch (from) {
        case PF::Bgra8: p.Add(B8ToG8, to); return true;
        case PF::Bgra16: p.Add(B16ToG16, PF::Gray16); p.Add(g16ToG8, to, dither); return true;
        case PF::BgraFloat: p.Add(BFToG16, PF::Gray16); p.Add(g16ToG8, to, dither); return true;
        case PF::Gray8: p.Add(CopyG8, to); return true;
        case PF::Gray16: p.Add(g16ToG8, to, dither); return true;
        case PF::GrayFloat: p.Add(GFToG16, PF::Gray16); p.Add(g16ToG8, to, dither); return true;
        default: return false;
      }
    case PF::Gray16:
      switch (from) {
        case PF::Bgra8: p.Add(B8ToG16, to); return true;
        case PF::Bgra16: p.Add(B16ToG16, to); return true;
        case PF::BgraFloat: p.Add(BFToG16, to); return true;
        case PF::Gray8: p.Add(G8ToG16, to); return true;
        case PF::Gray16: p.Add(CopyG16, to); return true;
        case PF::GrayFloat: p.Add(GFToG16, to); return true;
        default: return false;
      }
    case PF::GrayFloat:
      switch (from) {
        case PF::Bgra8: p.Add(B8ToGF, to); return true;
        case PF::Bgra16: p.Add(B16ToGF, to); return true;
        case PF::BgraFloat: p.Add(BFToGF, to); return true;
        case PF::Gray8: p.Add(G8ToGF, to); return true;
        case PF::Gray16: p.Add(G16ToGF, to); return true;
        case PF::GrayFloat: p.Add(CopyGF, to); return true;
        default: return false;
      }
    default:
      return false;
  }
}

// Runs a plan over every row of src into dst (same size). Plans without state run
// as parallel stripes; a dithered plan runs its rows in order.
Status RunPlan(const Plan& plan, const RawPlane& dst, const RawPlane& src,
               const uint32_t* palette) {
  const uint32_t w = src.width, h = src.height;
  if (w == 0 || h == 0) return status::kOk;
  const bool linearGray = GlobalConversionOptions().linearLightGray;
  const size_t tempBytes = size_t{w} * 16;
  auto runRows = [&](uint32_t first, uint32_t end, uint16_t* err) -> bool {
    std::unique_ptr<uint8_t[]> temp[2];
    for (int i = 0; i < std::min(plan.count - 1, 2); ++i) {
      temp[i] = TryAllocate<uint8_t>(tempBytes);
      if (!temp[i]) return false;
    }
    RowContext ctx;
    ctx.palette = palette;
    ctx.err = err;
    ctx.linearGray = linearGray;
    for (uint32_t y = first; y < end; ++y) {
      ctx.y = y;
      const uint8_t* in = src.Row(y);
      for (int k = 0; k < plan.count; ++k) {
        uint8_t* out = k == plan.count - 1 ? dst.Row(y) : temp[k & 1].get();
        plan.steps[k].fn(out, in, w, ctx);
        in = out;
      }
    }
    return true;
  };
  if (plan.serial) {
    auto err = TryAllocate<uint16_t>((size_t{w} + 2) * 4);
    if (!err) return status::kOutOfMemory;
    return runRows(0, h, err.get()) ? status::kOk : status::kOutOfMemory;
  }
  std::atomic<bool> ok{true};
  ForEachStripe(w, h, kMinPixelsPerStripe, [&](const Stripe& s) {
    if (!runRows(s.firstRow, s.endRow, nullptr)) ok = false;
  });
  return ok ? status::kOk : status::kOutOfMemory;
}

Status ConvertPlane(const RawPlane& dst, PF to, const RawPlane& src, PF from,
                    const uint32_t* palette) {
  Plan plan;
  if (!MakePlan(from, to, GlobalConversionOptions().dithering, plan))
    return status::kUnsupportedColourFormat;
  return RunPlan(plan, dst, src, palette);
}

void SetGrayRamp(uint32_t* palette) {
  for (uint32_t i = 0; i < 256; ++i) palette[i] = i * 0x010101u | 0xFF000000u;
}

// The pixels of source as Bgra8, in a buffer of its own unless they already are.
RefPtr<ImageBuffer> AsBgra8(ImageBuffer* source, Status* st) {
  if (source->Format() == PF::Bgra8) return RefPtr<ImageBuffer>(source);
  RefPtr<ImageBuffer> temp = ImageBuffer::Create(PF::Bgra8, source->Width(), source->Height());
  if (!temp) {
    *st = status::kOutOfMemory;
    return nullptr;
  }
  *st = ConvertPlane(PlaneOf(temp.get()), PF::Bgra8, PlaneOf(source), source->Format(),
                     source->Palette());
  return Succeeded(*st) ? temp : nullptr;
}

Status ConvertToIndexed8(ImageBuffer* target, ImageBuffer* source, uint32_t colours) {
  colours = std::clamp<uint32_t>(colours, 2, 256);
  uint32_t* palette = target->Palette();
  const RawPlane out = PlaneOf(target);
  const PF from = source->Format();
  Status st = status::kOk;
  if (IsGrayFormat(from) && colours == 256) {
    // Grey keeps its levels: the index plane is written as if it were Gray8.
    st = ConvertPlane(out, PF::Gray8, PlaneOf(source), from, nullptr);
    if (Failed(st)) return st;
    SetGrayRamp(palette);
  } else if (from == PF::Indexed8) {
    bool used[256] = {};
    uint32_t usedCount = 0;
    for (uint32_t y = 0; y < source->Height(); ++y) {
      const uint8_t* row = source->Row(y);
      for (uint32_t x = 0; x < source->Width(); ++x)
        if (!used[row[x]]) {
          used[row[x]] = true;
          ++usedCount;
        }
    }
    if (usedCount <= colours) {
      for (uint32_t y = 0; y < source->Height(); ++y)
        std::memcpy(target->Row(y), source->Row(y), source->Width());
      std::memcpy(palette, source->Palette(), 256 * 4);
    } else {
      RefPtr<ImageBuffer> bgra = AsBgra8(source, &st);
      if (!bgra) return st;
      if (!QuantizeBgra8(PlaneOf(bgra.get()), out, colours, palette)) return status::kOutOfMemory;
    }
  } else {
    RefPtr<ImageBuffer> bgra = AsBgra8(source, &st);
    if (!bgra) return st;
    if (source->Width() && source->Height() &&
        !QuantizeBgra8(PlaneOf(bgra.get()), out, colours, palette))
      return status::kOutOfMemory;
  }
  target->PaletteChanged();
  return status::kOk;
}

// The pixels only: no size check, no frame description, no chain.
Status ConvertPixels(ImageBuffer* target, ImageBuffer* source, uint32_t colours) {
  const PF to = target->Format();
  if (to == PF::Indexed8) return ConvertToIndexed8(target, source, colours);
  if (!IsStorageFormat(to)) return status::kUnsupportedColourFormat;
  return ConvertPlane(PlaneOf(target), to, PlaneOf(source), source->Format(), source->Palette());
}

AlphaMode AlphaFor(PF format, AlphaMode source) {
  return format == PF::Bgra8 || format == PF::Bgra16 || format == PF::BgraFloat ? source
                                                                                : AlphaMode::None;
}

// Converts the frames after source and links them after target, each into
// format (or its own format when keepFormats), stopping at the first failure.
void ConvertChain(ImageBuffer* target, ImageBuffer* source, PF format, bool keepFormats,
                  uint32_t colours) {
  ImageBuffer* last = target;
  for (ImageBuffer* s = source->Next(); s; s = s->Next()) {
    const PF f = keepFormats ? s->Format() : format;
    // A display frame stays a display frame where the format allows one.
    const bool display = s->IsDisplay() && IsDisplayFormat(f);
    RefPtr<ImageBuffer> t = ImageBuffer::Create(f, s->Width(), s->Height(), display);
    if (!t || Failed(ConvertPixels(t.get(), s, colours))) return;
    t->Frame() = s->Frame();
    t->SetAlpha(AlphaFor(f, s->Alpha()));
    last->SetNext(t);
    last = t.get();
  }
}

Status ConvertIntoImpl(ImageBuffer* target, ImageBuffer* source, bool withChain, uint32_t colours,
                       bool keepFormats) {
  if (!target || !source || target == source) return status::kInvalidArgument;
  if (target->Width() != source->Width() || target->Height() != source->Height())
    return status::kInvalidArgument;
  // The source may hang off the target's chain, which is released next.
  RefPtr<ImageBuffer> keep(source);
  target->DetachNext();
  const Status st = ConvertPixels(target, source, colours);
  if (Failed(st)) return st;
  target->Frame() = source->Frame();
  if (withChain) ConvertChain(target, source, target->Format(), keepFormats, colours);
  return status::kOk;
}

}  // namespace

RefPtr<ImageBuffer> Convert(ImageBuffer* source, PixelFormat target, bool display, bool withChain,
                            uint32_t colours) {
  if (!source) return nullptr;
  const bool same = target == PF::SameAsSource;
  const PF format = same ? source->Format() : target;
  RefPtr<ImageBuffer> t = ImageBuffer::Create(format, source->Width(), source->Height(), display);
  if (!t) return nullptr;
  if (Failed(ConvertIntoImpl(t.get(), source, withChain, colours, same))) return nullptr;
  t->SetAlpha(AlphaFor(format, source->Alpha()));
  return t;
}

Status ConvertInto(ImageBuffer* target, ImageBuffer* source, bool withChain, uint32_t colours) {
  return ConvertIntoImpl(target, source, withChain, colours, false);
}

Status CopyRect(ImageBuffer* target, int32_t x, int32_t y, ImageBuffer* source, uint32_t sx,
                uint32_t sy, uint32_t w, uint32_t h) {
  if (!target || !source) return status::kInvalidArgument;
  if ((w == kToEdge && sx > source->Width()) || (h == kToEdge && sy > source->Height()))
    return status::kInvalidArgument;
  int64_t cw = w == kToEdge ? int64_t{source->Width()} - sx : int64_t{w};
  int64_t ch = h == kToEdge ? int64_t{source->Height()} - sy : int64_t{h};
  int64_t tx = x, ty = y, srcX = sx, srcY = sy;
  if (tx < 0) {
    srcX -= tx;
    cw += tx;
    tx = 0;
  }
  if (ty < 0) {
    srcY -= ty;
    ch += ty;
    ty = 0;
  }
  cw = std::min<int64_t>(cw, int64_t{target->Width()} - tx);
  ch = std::min<int64_t>(ch, int64_t{target->Height()} - ty);
  if (cw <= 0 || ch <= 0) return status::kNothingDone;
  if (srcX + cw > source->Width() || srcY + ch > source->Height()) return status::kInvalidArgument;

  const uint32_t X = static_cast<uint32_t>(tx), Y = static_cast<uint32_t>(ty);
  const uint32_t SX = static_cast<uint32_t>(srcX), SY = static_cast<uint32_t>(srcY);
  const uint32_t W = static_cast<uint32_t>(cw), H = static_cast<uint32_t>(ch);
  const PF to = target->Format(), from = source->Format();
  const RawPlane dst = SubPlane(PlaneOf(target), X, Y, W, H, BytesPerPixel(to));
  const RawPlane src = SubPlane(PlaneOf(source), SX, SY, W, H, BytesPerPixel(from));

  if (to == from) {
    // The same buffer may overlap itself: rows run away from the overlap and
    // each row moves as a whole.
    const size_t bytes = size_t{W} * BytesPerPixel(to);
    if (target == source && Y > SY) {
      for (uint32_t r = H; r-- > 0;) std::memmove(dst.Row(r), src.Row(r), bytes);
    } else {
      for (uint32_t r = 0; r < H; ++r) std::memmove(dst.Row(r), src.Row(r), bytes);
    }
    return status::kOk;
  }
  if (to == PF::Indexed8) {
    // Indices only mean something with the target's own palette: the source's
    // colours are matched to it.
    RefPtr<ImageBuffer> bgra = ImageBuffer::Create(PF::Bgra8, W, H);
    if (!bgra) return status::kOutOfMemory;
    Status st = ConvertPlane(PlaneOf(bgra.get()), PF::Bgra8, src, from, source->Palette());
    if (Failed(st)) return st;
    return MapToPalette(PlaneOf(bgra.get()), dst, target->Palette(), 256) ? status::kOk
                                                                          : status::kOutOfMemory;
  }
  return ConvertPlane(dst, to, src, from, source->Palette());
}

}  // namespace vt
