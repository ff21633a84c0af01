// The colour stage and the unsharp mask.
//
// Per colour pixel, with R, G, B the channels in 0..1 (single precision):
//   bias offsets dR = (red - (green + blue) / 2) / 2 (likewise dG, dB);
//   with a hue turn, H of the HSV form moves by hue (a whole turn is 1);
//   m = (R + dR + G + dG + B + dB) x 0.33333334;
//   base = ((m - 0.5) x contrast + m) x (1 + brightness) + lightness;
//   C'' = (C + dC - m) x (1 + saturation) + base;
//   with gamma != 1, C'' > 0 becomes C''^(2 - gamma); then 0..1 maps to the
//   channel's range (clamped, rounded) and inversion flips it.
// Grey pixels use g'' = ((g - 0.5) x contrast + g) x (1 + brightness) +
// lightness with the same curve. Without a hue turn the colour formula is
// linear in the channels up to the curve, which lets Bgra8 images run through
// the fixed-point kernels of adjust_kernels.h; everything else runs the
// formula itself.
#include "render/adjustments.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <type_traits>
#include <vector>

#include "image/image_buffer.h"
#include "image/stripe_split.h"
#include "render/adjust_kernels.h"

namespace vt {

namespace {

using PF = PixelFormat;
using CF = ColourField;

// Stripes of fewer pixels cost more to hand out than they save.
constexpr uint32_t kMinPixelsPerStripe = 2048;

// ---- the formula -------------------------------------------------------------

struct Formula {
  explicit Formula(const ColourSettings& s)
      : contrast(s.Get(CF::kContrast)),
        brightness(s.Get(CF::kBrightness)),
        hue(s.Get(CF::kHue)),
        saturation(s.Get(CF::kSaturation)),
        lightness(s.Get(CF::kLightness)),
        gamma(s.Get(CF::kGamma)),
        invert(s.invert) {
    const float r = s.Get(CF::kRedBias), g = s.Get(CF::kGreenBias), b = s.Get(CF::kBlueBias);
    bias[0] = (b - (r + g) / 2) / 2;
    bias[1] = (g - (r + b) / 2) / 2;
    bias[2] = (r - (g + b) / 2) / 2;
  }

  // The colour before the curve; c holds blue, green, red in 0..1.
  void Linear(float c[3]) const {
    if (hue != 0) TurnHue(c);
    const float b = c[0] + bias[0], g = c[1] + bias[1], r = c[2] + bias[2];
    const float m = (r + g + b) * 0.33333334f;
    const float base = ((m - 0.5f) * contrast + m) * (1 + brightness) + lightness;
    c[0] = (b - m) * (1 + saturation) + base;
    c[1] = (g - m) * (1 + saturation) + base;
    c[2] = (r - m) * (1 + saturation) + base;
  }
  float LinearGray(float g) const { return ((g - 0.5f) * contrast + g) * (1 + brightness) + lightness; }
  // Gamma only; the caller clamps.
  float Gamma(float v) const { return gamma != 1 && v > 0 ? std::pow(v, 2 - gamma) : v; }
  // The whole curve into 0..max, rounded, inversion included.
  float Curve(float v, float max) const {
    v = Gamma(v);
    const float out = v <= 0 ? 0 : v >= 1 ? max : std::nearbyint(v * max);
    return invert ? max - out : out;
  }

  void TurnHue(float c[3]) const {
    const float b = c[0], g = c[1], r = c[2];
    const float hi = std::max({r, g, b}), lo = std::min({r, g, b});
    const float v = hi, s = hi > 0 ? (hi - lo) / hi : 0;
    float h = 0;
    if (hi > lo) {
      const float d = hi - lo;
      if (hi == r)
        h = (g - b) / d;
      else if (hi == g)
        h = 2 + (b - r) / d;
      else
        h = 4 + (r - g) / d;
      h /= 6;
      if (h < 0) h += 1;
    }
    h += hue;
    h -= std::floor(h);  // one unit is a whole turn
    const float h6 = h * 6;
    const float sector = std::floor(h6);
    const float f = h6 - sector;
    const float p = v * (1 - s), q = v * (1 - s * f), t = v * (1 - s * (1 - f));
    float rr, gg, bb;
    switch (static_cast<int>(sector) % 6) {
      case 0: rr = v, gg = t, bb = p; break;
      case 1: rr = q, gg = v, bb = p; break;
      case 2: rr = p, gg = v, bb = t; break;
      case 3: rr = p, gg = q, bb = v; break;
      case 4: rr = t, gg = p, bb = v; break;
      default: rr = v, gg = p, bb = q; break;
    }
    c[0] = bb, c[1] = gg, c[2] = rr;
  }

  float contrast, brightness, hue, saturation, lightness, gamma;
  bool invert;
  float bias[3];  // blue, green, red
};

// One straight-alpha Bgra8 colour through the formula (palette entries, the
// background colour). Alpha stays.
uint32_t AdjustColour(const Formula& f, uint32_t bgra, bool gray) {
  float c[3] = {(bgra & 0xFF) / 255.0f, (bgra >> 8 & 0xFF) / 255.0f, (bgra >> 16 & 0xFF) / 255.0f};
  if (gray) {
    for (float& v : c) v = f.LinearGray(v);
  } else {
    f.Linear(c);
  }
  uint32_t out = bgra & 0xFF000000u;
  for (int k = 0; k < 3; ++k) out |= static_cast<uint32_t>(f.Curve(c[k], 255)) << (8 * k);
  return out;
}

// ---- Bgra8 ------------------------------------------------------------------

// The curve at 1/64-level steps of the value before it, for the kernels.
std::vector<uint8_t> CurveTable(const Formula& f) {
  std::vector<uint8_t> table(kCurveEntries);
  for (int i = 0; i < kCurveEntries; ++i)
    table[size_t(i)] = static_cast<uint8_t>(f.Curve(float(i) / (255 << kCurveFractionBits), 255));
  return table;
}

// The formula without hue as the kernels' linear form: C'' x 255 =
// (1 + s) x channel + w x (b + g + r) + offset, with w = ((1 + contrast) x
// (1 + brightness) - (1 + s)) x 0.33333334. False when a coefficient leaves
// the fixed-point range (values no control produces): then the formula runs.
bool FixedForm(const Formula& f, ColourFixed* out) {
  const double one = double(1 << kColourFractionBits);
  const double gain = 1.0 + f.saturation;
  const double weight = ((1.0 + f.contrast) * (1.0 + f.brightness) - gain) * 0.33333334;
  const double biasSum = double(f.bias[0]) + f.bias[1] + f.bias[2];
  const double constant = -0.5 * f.contrast * (1.0 + f.brightness) + f.lightness;
  const double g = std::nearbyint(gain * one), w = std::nearbyint(weight * one);
  if (!(std::abs(g) <= 32767 && std::abs(w) <= 32767)) return false;
  out->gain = static_cast<int16_t>(g);
  out->sumWeight = static_cast<int16_t>(w);
  for (int c = 0; c < 3; ++c) {
    // The biases shift each channel; their mean shifts m as well.
    const double o = 255.0 * (gain * f.bias[c] + weight * biasSum + constant) * one;
    if (!(std::abs(o) <= double(1 << 24))) return false;
    out->offset[c] = static_cast<int32_t>(std::nearbyint(o));
  }
  return true;
}

// A pixel of premultiplied colour: adjusted as the colour it stands for.
inline void PremultipliedPixel(const Formula& f, const uint8_t* s, uint8_t* d) {
  const uint32_t a = s[3];
  if (a == 0) {
    std::memcpy(d, s, 4);
    return;
  }
  const uint32_t straight = (std::min(255u, (s[0] * 255 + a / 2) / a)) |
                            (std::min(255u, (s[1] * 255 + a / 2) / a)) << 8 |
                            (std::min(255u, (s[2] * 255 + a / 2) / a)) << 16;
  const uint32_t out = AdjustColour(f, straight, false);
  for (int k = 0; k < 3; ++k) d[k] = static_cast<uint8_t>(((out >> (8 * k) & 0xFF) * a + 127) / 255);
  d[3] = static_cast<uint8_t>(a);
}

void AdjustBgra8(ImageBuffer* target, ImageBuffer* source, const Formula& f) {
  const uint32_t w = source->Width();
  const bool premultiplied = source->Alpha() == AlphaMode::Premultiplied;
  ColourFixed fixed;
  const bool linear = f.hue == 0 && !premultiplied && FixedForm(f, &fixed);
  // The curve as a table: the kernels read it, and so does the hue turn,
  // which would otherwise raise every channel to a power.
  std::vector<uint8_t> curve;
  if (!linear || f.gamma != 1) curve = CurveTable(f);
  if (linear && f.gamma != 1) fixed.curve = curve.data();
  fixed.invert = f.invert;
  const AdjustKernels& k = ActiveAdjustKernels();
  ForEachStripe(w, source->Height(), kMinPixelsPerStripe, [&](const Stripe& stripe) {
    for (uint32_t y = stripe.firstRow; y < stripe.endRow; ++y) {
      const uint8_t* s = source->Row(y);
      uint8_t* d = target->Row(y);
      if (linear) {
        k.colourBgra8(d, s, w, fixed);
        continue;
      }
      for (uint32_t x = 0; x < w; ++x, s += 4, d += 4) {
        if (premultiplied && s[3] != 255) {
          PremultipliedPixel(f, s, d);
          continue;
        }
        float c[3] = {s[0] / 255.0f, s[1] / 255.0f, s[2] / 255.0f};
        f.Linear(c);
        for (int k = 0; k < 3; ++k) {
          const float at = c[k] * float(255 << kCurveFractionBits) + 0.5f;
          d[k] = curve[at <= 0 ? 0 : at >= float(kCurveEntries - 1) ? kCurveEntries - 1 : size_t(at)];
        }
        d[3] = s[3];
      }
    }
  });
}

// ---- 16-bit and float colour -------------------------------------------------

template <class T>
void AdjustBgraDeep(ImageBuffer* target, ImageBuffer* source, const Formula& f) {
  constexpr bool kFloat = std::is_floating_point_v<T>;
  constexpr float kMax = kFloat ? 1.0f : 65535.0f;
  const uint32_t w = source->Width();
  const bool premultiplied = source->Alpha() == AlphaMode::Premultiplied;
  ForEachStripe(w, source->Height(), kMinPixelsPerStripe, [&](const Stripe& stripe) {
    for (uint32_t y = stripe.firstRow; y < stripe.endRow; ++y) {
      const T* s = reinterpret_cast<const T*>(source->Row(y));
      T* d = reinterpret_cast<T*>(target->Row(y));
      for (uint32_t x = 0; x < w; ++x, s += 4, d += 4) {
        const float a = float(s[3]) / kMax;
        const float unmul = premultiplied && a > 0 ? 1 / a : 1;
        float c[3] = {float(s[0]) / kMax * unmul, float(s[1]) / kMax * unmul, float(s[2]) / kMax * unmul};
        f.Linear(c);
        for (int k = 0; k < 3; ++k) {
          if constexpr (kFloat) {
            // Light above white stays (the display maps it); below black is none.
            float v = std::max(f.Gamma(c[k]), 0.0f);
            if (f.invert) v = 1 - std::min(v, 1.0f);
            d[k] = premultiplied ? v * a : v;
          } else {
            const float v = f.Curve(c[k], kMax);
            d[k] = T(premultiplied ? std::nearbyint(v * a) : v);
          }
        }
        d[3] = s[3];
      }
    }
  });
}

// ---- grey --------------------------------------------------------------------

template <class T>
void AdjustGrayTable(ImageBuffer* target, ImageBuffer* source, const Formula& f) {
  constexpr uint32_t kLevels = sizeof(T) == 1 ? 256 : 65536;
  constexpr float kMax = float(kLevels - 1);
  std::vector<T> table(kLevels);
  for (uint32_t i = 0; i < kLevels; ++i) table[i] = static_cast<T>(f.Curve(f.LinearGray(i / kMax), kMax));
  const uint32_t w = source->Width();
  ForEachStripe(w, source->Height(), kMinPixelsPerStripe, [&](const Stripe& stripe) {
    for (uint32_t y = stripe.firstRow; y < stripe.endRow; ++y) {
      const T* s = reinterpret_cast<const T*>(source->Row(y));
      T* d = reinterpret_cast<T*>(target->Row(y));
      for (uint32_t x = 0; x < w; ++x) d[x] = table[s[x]];
    }
  });
}

void AdjustGrayFloat(ImageBuffer* target, ImageBuffer* source, const Formula& f) {
  const uint32_t w = source->Width();
  ForEachStripe(w, source->Height(), kMinPixelsPerStripe, [&](const Stripe& stripe) {
    for (uint32_t y = stripe.firstRow; y < stripe.endRow; ++y) {
      const float* s = reinterpret_cast<const float*>(source->Row(y));
      float* d = reinterpret_cast<float*>(target->Row(y));
      for (uint32_t x = 0; x < w; ++x) {
        float v = std::max(f.Gamma(f.LinearGray(s[x])), 0.0f);
        d[x] = f.invert ? 1 - std::min(v, 1.0f) : v;
      }
    }
  });
}

// ---- sharpening --------------------------------------------------------------

// Fills rows of the blurred image on demand: a stripe keeps the five it
// needs, slot r % 5 holding row r (rows beyond the edges repeat the edge).
template <class Acc>
class BlurRows {
 public:
  BlurRows(size_t values, uint32_t height) : height_(height) {
    for (auto& r : rows_) r.resize(values);
  }
  template <class Fill>
  const Acc* Row(int64_t y, const Fill& fill) {
    const uint32_t r = static_cast<uint32_t>(std::clamp<int64_t>(y, 0, int64_t{height_} - 1));
    std::vector<Acc>& slot = rows_[r % 5];
    if (have_[r % 5] != int64_t{r}) {
      fill(slot.data(), r);
      have_[r % 5] = r;
    }
    return slot.data();
  }

 private:
  uint32_t height_;
  std::vector<Acc> rows_[5];
  int64_t have_[5] = {-1, -1, -1, -1, -1};
};

// A row with two copies of its edge pixel beyond both ends.
template <class T>
void PadRow(std::vector<T>& padded, const T* row, uint32_t width, uint32_t channels) {
  const size_t n = size_t{width} * channels;
  std::copy(row, row + n, padded.begin() + 2 * channels);
  for (uint32_t c = 0; c < channels; ++c) {
    padded[c] = padded[channels + c] = row[c];
    padded[n + 2 * channels + c] = padded[n + 3 * channels + c] = row[n - channels + c];
  }
}

void Sharpen8(ImageBuffer* target, ImageBuffer* source, uint32_t channels, const SharpenFixed& p) {
  const uint32_t w = source->Width(), h = source->Height();
  const size_t n = size_t{w} * channels;
  const AdjustKernels& k = ActiveAdjustKernels();
  ForEachStripe(w, h, kMinPixelsPerStripe, [&](const Stripe& stripe) {
    BlurRows<uint16_t> blur(n, h);
    std::vector<uint8_t> padded(n + 4 * channels);
    const auto fill = [&](uint16_t* out, uint32_t y) {
      PadRow(padded, source->Row(y), w, channels);
      k.blurRow8(out, padded.data() + 2 * channels, n, channels, p);
    };
    for (uint32_t y = stripe.firstRow; y < stripe.endRow; ++y) {
      const uint16_t* rows[5];
      for (int j = 0; j < 5; ++j) rows[j] = blur.Row(int64_t{y} + j - 2, fill);
      k.sharpenRow8(target->Row(y), source->Row(y), rows, n, p);
    }
  });
}

// The same rule for 16-bit and float channels: the blurred value is the
// exact weighted sum, the difference scales by amount / 4096 (the 8-bit
// kernels' fixed point) and 16-bit results are clamped and rounded.
template <class T>
void SharpenDeep(ImageBuffer* target, ImageBuffer* source, uint32_t channels, const SharpenFixed& p) {
  constexpr bool kFloat = std::is_floating_point_v<T>;
  using Acc = std::conditional_t<kFloat, float, uint32_t>;
  const uint32_t w = source->Width(), h = source->Height();
  const size_t n = size_t{w} * channels;
  const float threshold = kFloat ? p.threshold / 255.0f : float(p.threshold) * 256;
  const uint32_t t[5] = {p.taps[0], p.taps[1], p.taps[2], p.taps[1], p.taps[0]};
  ForEachStripe(w, h, kMinPixelsPerStripe, [&](const Stripe& stripe) {
    BlurRows<Acc> blur(n, h);
    std::vector<T> padded(n + 4 * channels);
    const auto fill = [&](Acc* out, uint32_t y) {
      PadRow(padded, reinterpret_cast<const T*>(source->Row(y)), w, channels);
      const T* c = padded.data() + 2 * channels;
      for (size_t i = 0; i < n; ++i) {
        Acc v = 0;
        for (int j = 0; j < 5; ++j) v += Acc(c[i + (j - 2) * std::ptrdiff_t(channels)]) * Acc(t[j]);
        out[i] = v;
      }
    };
    for (uint32_t y = stripe.firstRow; y < stripe.endRow; ++y) {
      const Acc* rows[5];
      for (int j = 0; j < 5; ++j) rows[j] = blur.Row(int64_t{y} + j - 2, fill);
      const T* s = reinterpret_cast<const T*>(source->Row(y));
      T* d = reinterpret_cast<T*>(target->Row(y));
      for (size_t i = 0; i < n; ++i) {
        if constexpr (kFloat) {
          float v = 0;
          for (int j = 0; j < 5; ++j) v += rows[j][i] * float(t[j]);
          const float diff = s[i] - v / 65536.0f;
          d[i] = std::abs(diff) < threshold ? s[i] : s[i] + diff * (float(p.amount) / 4096.0f);
        } else {
          uint64_t v = 0;
          for (int j = 0; j < 5; ++j) v += uint64_t{rows[j][i]} * t[j];
          const int64_t diff = int64_t{s[i]} - int64_t((v + 32768) >> 16);
          d[i] = std::abs(diff) < threshold
                     ? s[i]
                     : T(std::clamp<int64_t>(s[i] + ((diff * p.amount) >> 12), 0, 65535));
        }
      }
    }
  });
}

}  // namespace

int ColourSettings::NonDefaultCount() const {
  int n = invert ? 1 : 0;
  for (int i = 0; i < kColourFieldCount; ++i)
    if (values[size_t(i)] != Default(static_cast<ColourField>(i))) ++n;
  return n;
}

bool AppliesToGray(ColourField f) {
  return f == CF::kContrast || f == CF::kBrightness || f == CF::kLightness || f == CF::kGamma;
}

Status ApplyAdjustments(ImageBuffer* target, ImageBuffer* source, const ColourSettings& settings) {
  if (!target || !source || target->Width() != source->Width() ||
      target->Height() != source->Height() || target->Format() != source->Format())
    return status::kInvalidArgument;
  const PF format = source->Format();
  const Formula f(settings);
  switch (format) {
    case PF::Indexed8: {
      if (target != source)
        for (uint32_t y = 0; y < source->Height(); ++y)
          std::memcpy(target->Row(y), source->Row(y), source->Width());
      const uint32_t* from = source->Palette();
      uint32_t* to = target->Palette();
      for (int i = 0; i < 256; ++i) to[i] = AdjustColour(f, from[i], false);
      target->PaletteChanged();
      break;
    }
    case PF::Bgra8: AdjustBgra8(target, source, f); break;
    case PF::Bgra16: AdjustBgraDeep<uint16_t>(target, source, f); break;
    case PF::BgraFloat: AdjustBgraDeep<float>(target, source, f); break;
    case PF::Gray8: AdjustGrayTable<uint8_t>(target, source, f); break;
    case PF::Gray16: AdjustGrayTable<uint16_t>(target, source, f); break;
    case PF::GrayFloat: AdjustGrayFloat(target, source, f); break;
    default: return status::kUnsupportedColourFormat;
  }
  if (target != source) {
    target->Frame() = source->Frame();
    target->SetAlpha(source->Alpha());
  }
  target->Frame().background = AdjustColour(f, source->Frame().background, IsGrayFormat(format));
  return status::kOk;
}

std::array<uint16_t, 3> SharpenTaps(float radius) {
  // The Gaussian's share of each pixel of the five: the integral over
  // [i - 0.5, i + 0.5] with standard deviation radius / 2.
  const double sigma = std::max(double(radius) / 2, 0.05);
  const auto cdf = [sigma](double x) { return 0.5 * std::erf(x / (sigma * std::sqrt(2.0))); };
  const double share[3] = {cdf(2.5) - cdf(1.5), cdf(1.5) - cdf(0.5), 2 * cdf(0.5)};
  const double total = 2 * share[0] + 2 * share[1] + share[2];
  std::array<uint16_t, 3> taps;
  for (int i = 0; i < 3; ++i) taps[size_t(i)] = static_cast<uint16_t>(std::lround(share[i] / total * 256));
  // Whatever rounding took or added goes to the centre, so flat areas stay.
  taps[2] = static_cast<uint16_t>(256 - 2 * taps[0] - 2 * taps[1]);
  return taps;
}

Status Sharpen(ImageBuffer* target, ImageBuffer* source, float amount, float radius, int threshold) {
  if (!target || !source || target == source || target->Width() != source->Width() ||
      target->Height() != source->Height())
    return status::kInvalidArgument;
  RefPtr<ImageBuffer> from(source);
  if (source->Format() == PF::Indexed8) {
    // Blurred pixels fall between the palette's colours.
    from = Convert(source, PF::Bgra8, false, false);
    if (!from) return status::kOutOfMemory;
  }
  const PF format = from->Format();
  if (target->Format() != format) return status::kInvalidArgument;
  target->Frame() = from->Frame();
  target->SetAlpha(from->Alpha());
  const float scaled = std::trunc(amount * 256);
  const int32_t k = static_cast<int32_t>(std::isnan(scaled) ? 0 : std::clamp(scaled, -2032.0f, 2032.0f));
  if (k == 0) return ConvertInto(target, from.get(), false);

  SharpenFixed p;
  const std::array<uint16_t, 3> taps = SharpenTaps(radius);
  std::copy(taps.begin(), taps.end(), p.taps);
  p.amount = static_cast<int16_t>(k * 16);
  // Softening blurs everywhere; sharpening leaves fine noise alone.
  p.threshold = static_cast<uint8_t>(k > 0 ? std::clamp(threshold, 0, 255) : 0);
  switch (format) {
    case PF::Bgra8: Sharpen8(target, from.get(), 4, p); break;
    case PF::Gray8: Sharpen8(target, from.get(), 1, p); break;
    case PF::Bgra16: SharpenDeep<uint16_t>(target, from.get(), 4, p); break;
    case PF::Gray16: SharpenDeep<uint16_t>(target, from.get(), 1, p); break;
    case PF::BgraFloat: SharpenDeep<float>(target, from.get(), 4, p); break;
    case PF::GrayFloat: SharpenDeep<float>(target, from.get(), 1, p); break;
    default: return status::kUnsupportedColourFormat;
  }
  return status::kOk;
}

}  // namespace vt
