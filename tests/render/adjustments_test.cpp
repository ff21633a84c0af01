// The colour stage against a plain float evaluation of its formulas, over a
// table of settings and every pixel format; the vector kernels against the
// scalar ones; the unsharp mask against a float unsharp mask.
#include "render/adjustments.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "base/tasks.h"
#include "image/image_buffer.h"
#include "render/adjust_kernels.h"
#include "support/test_support.h"

namespace vt {
namespace {

using PF = PixelFormat;
using CF = ColourField;

// ---- the reference -------------------------------------------------------------

struct Reference {
  ColourSettings s;
  float F(CF f) const { return s.Get(f); }

  // The value of a channel before the curve, for r, g, b in 0..1.
  void Linear(float& r, float& g, float& b) const {
    const float red = F(CF::kRedBias), green = F(CF::kGreenBias), blue = F(CF::kBlueBias);
    const float dR = (red - (green + blue) / 2) / 2;
    const float dG = (green - (red + blue) / 2) / 2;
    const float dB = (blue - (red + green) / 2) / 2;
    if (F(CF::kHue) != 0) Hue(r, g, b);
    r += dR, g += dG, b += dB;
    const float m = (r + g + b) * 0.33333334f;
    const float base = ((m - 0.5f) * F(CF::kContrast) + m) * (1 + F(CF::kBrightness)) + F(CF::kLightness);
    const float k = 1 + F(CF::kSaturation);
    r = (r - m) * k + base, g = (g - m) * k + base, b = (b - m) * k + base;
  }
  float LinearGray(float g) const {
    return ((g - 0.5f) * F(CF::kContrast) + g) * (1 + F(CF::kBrightness)) + F(CF::kLightness);
  }
  void Hue(float& r, float& g, float& b) const {
    const float mx = std::max({r, g, b}), mn = std::min({r, g, b});
    float h = 0, s = mx > 0 ? (mx - mn) / mx : 0, v = mx;
    if (mx != mn) {
      if (mx == r) h = (g - b) / (mx - mn);
      else if (mx == g) h = 2 + (b - r) / (mx - mn);
      else h = 4 + (r - g) / (mx - mn);
      h /= 6;
      if (h < 0) h += 1;
    }
    h = std::fmod(h + F(CF::kHue) + 2.0f, 1.0f);
    const int i = int(h * 6) % 6;
    const float f = h * 6 - std::floor(h * 6), p = v * (1 - s), q = v * (1 - s * f), t = v * (1 - s * (1 - f));
    const float rgb[6][3] = {{v, t, p}, {q, v, p}, {p, v, t}, {p, q, v}, {t, p, v}, {v, p, q}};
    r = rgb[i][0], g = rgb[i][1], b = rgb[i][2];
  }
  // The curve into 0..max (not rounded).
  float Curve(float c, float max) const {
    if (F(CF::kGamma) != 1 && c > 0) c = std::pow(c, 2 - F(CF::kGamma));
    return std::clamp(c, 0.0f, 1.0f) * max;
  }
  float Out(float c, float max) const {
    const float v = std::round(Curve(c, max));
    return s.invert ? max - v : v;
  }
};

// How far a result may lie from the reference at value c before the curve: a
// level, and what the curve makes of a slip of 0.1 level before it (the stage
// works in fixed point; steep gammas magnify that near black).
float Tolerance(const Reference& r, float c, float max) {
  const float slip = 0.1f / 255;
  return 1 + std::abs(r.Curve(c + slip, max) - r.Curve(c - slip, max));
}

ColourSettings Make(std::initializer_list<std::pair<CF, float>> fields, bool invert = false) {
  ColourSettings s;
  for (auto [f, v] : fields) s.Set(f, v);
  s.invert = invert;
  return s;
}

const std::vector<ColourSettings>& SettingsTable() {
  static const std::vector<ColourSettings> table = {
      Make({}, true),
      Make({{CF::kContrast, 1.0f}}),
      Make({{CF::kContrast, -0.5f}, {CF::kBrightness, 0.37f}}),
      Make({{CF::kBrightness, -0.6f}, {CF::kLightness, 0.2f}}),
      Make({{CF::kSaturation, -1.0f}}),
      Make({{CF::kSaturation, 0.8f}, {CF::kRedBias, 0.3f}, {CF::kBlueBias, -0.25f}}),
      Make({{CF::kGreenBias, 0.9f}, {CF::kLightness, -0.4f}}, true),
      Make({{CF::kGamma, 0.4f}}),
      Make({{CF::kGamma, 1.6f}, {CF::kContrast, 0.25f}}),
      Make({{CF::kHue, 0.25f}}),
      Make({{CF::kHue, -0.4f}, {CF::kSaturation, 0.3f}, {CF::kGamma, 1.2f}}, true),
      Make({{CF::kContrast, 0.5f}, {CF::kBrightness, 2.0f}, {CF::kSaturation, 1.0f}, {CF::kLightness, -0.5f},
            {CF::kRedBias, 1.0f}, {CF::kGreenBias, -0.5f}, {CF::kBlueBias, 0.5f}, {CF::kGamma, 0.7f}}),
  };
  return table;
}

template <class T>
T* Px(ImageBuffer* b, uint32_t x, uint32_t y, uint32_t channels) {
  return reinterpret_cast<T*>(b->Row(y)) + size_t{x} * channels;
}

RefPtr<ImageBuffer> RandomImage(PF f, uint32_t w, uint32_t h, uint32_t seed) {
  RefPtr<ImageBuffer> b = ImageBuffer::Create(f, w, h);
  std::mt19937 rng(seed);
  for (uint32_t y = 0; y < h; ++y) {
    uint8_t* row = b->Row(y);
    if (f == PF::BgraFloat || f == PF::GrayFloat) {
      float* p = reinterpret_cast<float*>(row);
      for (uint32_t i = 0; i < w * (f == PF::BgraFloat ? 4 : 1); ++i) p[i] = float(rng() % 1001) / 1000.0f;
    } else {
      for (size_t i = 0; i < size_t{w} * b->BytesPerPixel(); ++i) row[i] = static_cast<uint8_t>(rng());
    }
  }
  if (f == PF::Indexed8)
    for (int i = 0; i < 256; ++i) b->Palette()[i] = static_cast<uint32_t>(rng()) | 0xFF000000u;
  return b;
}

TEST(ColourStage, EveryFormatFollowsTheFormulas) {
  for (PF f : {PF::Bgra8, PF::Bgra16, PF::BgraFloat, PF::Gray8, PF::Gray16, PF::GrayFloat, PF::Indexed8}) {
    RefPtr<ImageBuffer> source = RandomImage(f, 67, 19, 7 + int(f));
    source->Frame().background = 0xFF2080C0u;
    const bool gray = IsGrayFormat(f);
    for (size_t k = 0; k < SettingsTable().size(); ++k) {
      const Reference ref{SettingsTable()[k]};
      SCOPED_TRACE(testing::Message() << PixelFormatName(f) << " settings " << k);
      RefPtr<ImageBuffer> target = ImageBuffer::Create(f, source->Width(), source->Height());
      ASSERT_EQ(ApplyAdjustments(target.get(), source.get(), ref.s), status::kOk);

      // One colour of 8-bit channels against the reference.
      const auto checkColour = [&](uint32_t in, uint32_t out, const char* what) {
        float c[3] = {(in >> 16 & 0xFF) / 255.0f, (in >> 8 & 0xFF) / 255.0f, (in & 0xFF) / 255.0f};
        if (gray) {
          for (float& v : c) v = ref.LinearGray(v);
        } else {
          ref.Linear(c[0], c[1], c[2]);
        }
        const uint32_t got[3] = {out >> 16 & 0xFF, out >> 8 & 0xFF, out & 0xFF};
        for (int i = 0; i < 3; ++i)
          ASSERT_LE(std::abs(ref.Out(c[i], 255) - float(got[i])), Tolerance(ref, c[i], 255)) << what << " " << i;
        ASSERT_EQ(out >> 24, in >> 24) << what << ": alpha stays";
      };
      checkColour(source->Frame().background, target->Frame().background, "background");

      for (uint32_t y = 0; y < source->Height(); ++y) {
        for (uint32_t x = 0; x < source->Width(); ++x) {
          switch (f) {
            case PF::Bgra8: {
              uint32_t in, out;
              std::memcpy(&in, Px<uint8_t>(source.get(), x, y, 4), 4);
              std::memcpy(&out, Px<uint8_t>(target.get(), x, y, 4), 4);
              checkColour(in, out, "pixel");
              break;
            }
            case PF::Indexed8:
              ASSERT_EQ(*Px<uint8_t>(target.get(), x, y, 1), *Px<uint8_t>(source.get(), x, y, 1));
              break;
            case PF::Gray8: {
              const float c = ref.LinearGray(*Px<uint8_t>(source.get(), x, y, 1) / 255.0f);
              ASSERT_LE(std::abs(ref.Out(c, 255) - *Px<uint8_t>(target.get(), x, y, 1)), Tolerance(ref, c, 255));
              break;
            }
            case PF::Gray16: {
              const float c = ref.LinearGray(*Px<uint16_t>(source.get(), x, y, 1) / 65535.0f);
              ASSERT_LE(std::abs(ref.Out(c, 65535) - *Px<uint16_t>(target.get(), x, y, 1)), 1.0f);
              break;
            }
            case PF::Bgra16: {
              const uint16_t* s = Px<uint16_t>(source.get(), x, y, 4);
              const uint16_t* d = Px<uint16_t>(target.get(), x, y, 4);
              float c[3] = {s[2] / 65535.0f, s[1] / 65535.0f, s[0] / 65535.0f};
              ref.Linear(c[0], c[1], c[2]);
              for (int i = 0; i < 3; ++i) ASSERT_LE(std::abs(ref.Out(c[i], 65535) - d[2 - i]), 1.0f);
              ASSERT_EQ(d[3], s[3]);
              break;
            }
            case PF::BgraFloat: {
              const float* s = Px<float>(source.get(), x, y, 4);
              const float* d = Px<float>(target.get(), x, y, 4);
              float c[3] = {s[2], s[1], s[0]};
              ref.Linear(c[0], c[1], c[2]);
              for (int i = 0; i < 3; ++i) {
                // Float images keep light above white; the rest is the formula.
                float want = c[i] > 0 && ref.F(CF::kGamma) != 1 ? std::pow(c[i], 2 - ref.F(CF::kGamma)) : c[i];
                want = std::max(want, 0.0f);
                if (ref.s.invert) want = 1 - std::min(want, 1.0f);
                ASSERT_NEAR(d[2 - i], want, 1e-4f);
              }
              break;
            }
            case PF::GrayFloat: {
              const float c = ref.LinearGray(*Px<float>(source.get(), x, y, 1));
              float want = std::max(c > 0 && ref.F(CF::kGamma) != 1 ? std::pow(c, 2 - ref.F(CF::kGamma)) : c, 0.0f);
              if (ref.s.invert) want = 1 - std::min(want, 1.0f);
              ASSERT_NEAR(*Px<float>(target.get(), x, y, 1), want, 1e-4f);
              break;
            }
            default: FAIL();
          }
        }
      }
      if (f == PF::Indexed8)
        for (int i = 0; i < 256; ++i) checkColour(source->Palette()[i], target->Palette()[i], "palette");
    }
  }
}

TEST(ColourStage, PremultipliedPixelsAreAdjustedAsTheColourTheyStandFor) {
  RefPtr<ImageBuffer> source = ImageBuffer::Create(PF::Bgra8, 3, 1);
  const uint32_t pixels[3] = {0x80402010u, 0x00000000u, 0xFF804020u};
  std::memcpy(source->Row(0), pixels, sizeof pixels);
  source->SetAlpha(AlphaMode::Premultiplied);
  RefPtr<ImageBuffer> target = ImageBuffer::Create(PF::Bgra8, 3, 1);
  ASSERT_EQ(ApplyAdjustments(target.get(), source.get(), Make({}, true)), status::kOk);
  uint32_t out[3];
  std::memcpy(out, target->Row(0), sizeof out);
  // Half-covered 0x804020 inverted is 0x7FBFDF, half covered again.
  EXPECT_EQ(out[0], 0x80406070u);
  EXPECT_EQ(out[1], 0u);  // nothing there stays nothing
  EXPECT_EQ(out[2], 0xFF7FBFDFu);
  EXPECT_EQ(target->Alpha(), AlphaMode::Premultiplied);
}

TEST(ColourStage, MismatchedBuffersAreRefused) {
  RefPtr<ImageBuffer> a = ImageBuffer::Create(PF::Bgra8, 4, 4), b = ImageBuffer::Create(PF::Bgra8, 4, 5),
                      c = ImageBuffer::Create(PF::Gray8, 4, 4);
  EXPECT_EQ(ApplyAdjustments(a.get(), b.get(), {}), status::kInvalidArgument);
  EXPECT_EQ(ApplyAdjustments(a.get(), c.get(), {}), status::kInvalidArgument);
  EXPECT_EQ(ApplyAdjustments(nullptr, a.get(), {}), status::kInvalidArgument);
  EXPECT_EQ(Sharpen(a.get(), b.get(), 1, 2.5f, 7), status::kInvalidArgument);
}

// ---- vector kernels ----------------------------------------------------------------

TEST(AdjustKernels, VectorVariantsEqualTheScalarOnes) {
  const AdjustKernels* scalar = AdjustKernelsFor(AdjustKernelLevel::Scalar);
  const AdjustKernels* sse2 = AdjustKernelsFor(AdjustKernelLevel::Sse2);
  if (!sse2) GTEST_SKIP() << "no SSE2 kernels in this build";
  std::vector<uint8_t> curve(kCurveEntries);
  for (int i = 0; i < kCurveEntries; ++i) curve[size_t(i)] = static_cast<uint8_t>((i * 37) >> 7);
  const std::vector<uint8_t> src = test::RandomBytes(4 * 203, 11);
  ColourFixed params[4];
  params[1].gain = 12000, params[1].sumWeight = -2500, params[1].offset[0] = -900000, params[1].offset[2] = 1500000;
  params[2] = params[1], params[2].invert = true;
  params[3].gain = 3000, params[3].sumWeight = 9000, params[3].offset[1] = -3000000, params[3].curve = curve.data();
  for (const ColourFixed& p : params) {
    for (size_t n : {0, 1, 3, 4, 5, 64, 203}) {
      std::vector<uint8_t> a(4 * n), b(4 * n);
      scalar->colourBgra8(a.data(), src.data(), n, p);
      sse2->colourBgra8(b.data(), src.data(), n, p);
      ASSERT_EQ(a, b) << n;
    }
  }
  // Blur and sharpen rows of 4 and 1 channels, with their edge copies.
  SharpenFixed p;
  p.taps[0] = 25, p.taps[1] = 62, p.taps[2] = 82;
  const std::vector<uint8_t> rows = test::RandomBytes(5 * 4 * 101, 12);
  for (int16_t amount : {int16_t(32512), int16_t(-32512), int16_t(4096), int16_t(-700)}) {
    for (uint8_t threshold : {0, 7, 40}) {
      p.amount = amount, p.threshold = threshold;
      for (size_t step : {1, 4}) {
        const size_t n = 4 * 101 - 4 * step;
        std::vector<uint16_t> blurA(5 * n), blurB(5 * n);
        for (int k = 0; k < 5; ++k) {
          scalar->blurRow8(blurA.data() + k * n, rows.data() + k * 4 * 101 / 5 + 2 * step, n, step, p);
          sse2->blurRow8(blurB.data() + k * n, rows.data() + k * 4 * 101 / 5 + 2 * step, n, step, p);
        }
        ASSERT_EQ(blurA, blurB);
        const uint16_t* five[5];
        for (int k = 0; k < 5; ++k) five[k] = blurA.data() + k * n;
        std::vector<uint8_t> a(n), b(n);
        scalar->sharpenRow8(a.data(), rows.data() + 3, five, n, p);
        sse2->sharpenRow8(b.data(), rows.data() + 3, five, n, p);
        ASSERT_EQ(a, b) << amount << " " << int(threshold);
      }
    }
  }
}

// ---- the unsharp mask ------------------------------------------------------------------

// The unsharp mask in floats: the blur by the five taps in both directions
// with the edges repeated, then the threshold rule and amount x difference.
std::vector<float> FloatUnsharp(const std::vector<float>& in, uint32_t w, uint32_t h, uint32_t channels,
                                float amount, float threshold, std::vector<float>* blurredOut) {
  const std::array<uint16_t, 3> t = SharpenTaps(2.5f);
  const float taps[5] = {t[0] / 256.0f, t[1] / 256.0f, t[2] / 256.0f, t[1] / 256.0f, t[0] / 256.0f};
  const auto at = [&](int64_t x, int64_t y, uint32_t c) {
    x = std::clamp<int64_t>(x, 0, w - 1), y = std::clamp<int64_t>(y, 0, h - 1);
    return in[(size_t(y) * w + size_t(x)) * channels + c];
  };
  std::vector<float> out(in.size()), blurred(in.size());
  for (uint32_t y = 0; y < h; ++y)
    for (uint32_t x = 0; x < w; ++x)
      for (uint32_t c = 0; c < channels; ++c) {
        float b = 0;
        for (int j = 0; j < 5; ++j)
          for (int i = 0; i < 5; ++i) b += taps[j] * taps[i] * at(int64_t(x) + i - 2, int64_t(y) + j - 2, c);
        const size_t k = (size_t(y) * w + x) * channels + c;
        blurred[k] = b;
        const float d = in[k] - b;
        out[k] = std::abs(d) < threshold ? in[k] : in[k] + d * amount;
      }
  *blurredOut = blurred;
  return out;
}

TEST(Sharpen, EveryFormatFollowsAFloatUnsharpMask) {
  SetParallelThreadCount(2);
  constexpr uint32_t kW = 53, kH = 41;
  for (PF f : {PF::Bgra8, PF::Gray8, PF::Bgra16, PF::Gray16, PF::BgraFloat, PF::GrayFloat}) {
    for (float amount : {1.5f, -0.75f}) {
      SCOPED_TRACE(testing::Message() << PixelFormatName(f) << " amount " << amount);
      RefPtr<ImageBuffer> source = RandomImage(f, kW, kH, 3);
      const uint32_t channels = IsGrayFormat(f) ? 1 : 4;
      const float max = f == PF::Bgra8 || f == PF::Gray8 ? 255 : f == PF::Bgra16 || f == PF::Gray16 ? 65535 : 1;
      std::vector<float> in(size_t{kW} * kH * channels);
      for (uint32_t y = 0; y < kH; ++y)
        for (uint32_t i = 0; i < kW * channels; ++i) {
          const uint8_t* row = source->Row(y);
          in[y * kW * channels + i] = max == 255 ? row[i]
                                      : max == 1 ? reinterpret_cast<const float*>(row)[i]
                                                 : reinterpret_cast<const uint16_t*>(row)[i];
        }
      // 16-bit channels scale the threshold of 7 by 256.
      const float threshold = amount <= 0 ? 0 : max == 65535 ? 7 * 256 : 7 * max / 255;
      std::vector<float> blurred;
      const std::vector<float> want = FloatUnsharp(in, kW, kH, channels, std::trunc(amount * 256) / 256, threshold, &blurred);
      RefPtr<ImageBuffer> target = ImageBuffer::Create(f, kW, kH);
      ASSERT_EQ(Sharpen(target.get(), source.get(), amount, 2.5f, 7), status::kOk);
      int compared = 0;
      for (uint32_t y = 0; y < kH; ++y)
        for (uint32_t i = 0; i < kW * channels; ++i) {
          const size_t k = y * kW * channels + i;
          // Right at the threshold the integer blur may decide the other way.
          if (std::abs(std::abs(in[k] - blurred[k]) - threshold) < max / 255) continue;
          const uint8_t* row = target->Row(y);
          const float got = max == 255 ? row[i]
                            : max == 1 ? reinterpret_cast<const float*>(row)[i]
                                       : reinterpret_cast<const uint16_t*>(row)[i];
          const float expect = max == 1 ? want[k] : std::clamp(want[k], 0.0f, max);
          // Integer channels: the rounded blur and the cut product, a level or two.
          ASSERT_NEAR(got, expect, max == 1 ? 1e-4f : 2.0f) << "value " << k;
          ++compared;
        }
      EXPECT_GT(compared, int(kW * kH * channels * 9 / 10));
    }
  }
  SetParallelThreadCount(1);
}

TEST(Sharpen, FlatAreasStayAndPalettesComeOutInColour) {
  RefPtr<ImageBuffer> flat = ImageBuffer::Create(PF::Indexed8, 20, 12);
  for (uint32_t y = 0; y < 12; ++y) std::memset(flat->Row(y), 3, 20);
  flat->Palette()[3] = 0xFF336699u;
  RefPtr<ImageBuffer> target = ImageBuffer::Create(PF::Bgra8, 20, 12);
  ASSERT_EQ(Sharpen(target.get(), flat.get(), 2.0f, 2.5f, 0), status::kOk);
  for (uint32_t y = 0; y < 12; ++y)
    for (uint32_t x = 0; x < 20; ++x) ASSERT_EQ(reinterpret_cast<uint32_t*>(target->Row(y))[x], 0xFF336699u);
  const std::array<uint16_t, 3> t = SharpenTaps(2.5f);
  EXPECT_EQ(2 * t[0] + 2 * t[1] + t[2], 256);
  EXPECT_TRUE(t[0] < t[1] && t[1] < t[2]);
}

}  // namespace
}  // namespace vt
