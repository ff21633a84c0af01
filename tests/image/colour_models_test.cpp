#include "image/colour_models.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

#include "base/cpu_features.h"
#include "base/tasks.h"
#include "image/colour_models_kernels.h"
#include "image/image_buffer.h"
#include "support/test_support.h"

namespace vt {
namespace {

using Px = std::array<uint8_t, 4>;

std::vector<uint8_t> Flatten(std::initializer_list<Px> pixels) {
  std::vector<uint8_t> v;
  for (const Px& p : pixels) v.insert(v.end(), p.begin(), p.end());
  return v;
}

Px At(const std::vector<uint8_t>& v, size_t i) { return {v[4 * i], v[4 * i + 1], v[4 * i + 2], v[4 * i + 3]}; }

int Clamp255(double v) { return static_cast<int>(std::clamp(std::round(v), 0.0, 255.0)); }

double SrgbEncode(double v) { return v <= 0.0031308 ? 12.92 * v : 1.055 * std::pow(v, 1 / 2.4) - 0.055; }

class ThreadCountScope {
 public:
  explicit ThreadCountScope(uint32_t n) : saved_(ParallelThreadCount()) { SetParallelThreadCount(n); }
  ~ThreadCountScope() { SetParallelThreadCount(saved_); }

 private:
  uint32_t saved_;
};

RefPtr<ImageBuffer> MakeImage(PixelFormat f, uint32_t w, uint32_t h, bool display = false) {
  RefPtr<ImageBuffer> image = ImageBuffer::Create(f, w, h, display);
  EXPECT_TRUE(image);
  return image;
}

void SetGreyRamp(ImageBuffer* image) {
  uint32_t* pal = image->Palette();
  ASSERT_NE(pal, nullptr);
  for (uint32_t i = 0; i < 256; ++i) pal[i] = i * 0x010101u | ((i * 7u) & 0xFFu) << 24;
}

// ---------------------------------------------------------------- YCbCr

TEST(ColourYCbCr, KnownColours) {
  std::vector<uint8_t> v = Flatten({{128, 128, 128, 0},   // mid grey
                                    {0, 128, 128, 9},     // black
                                    {255, 128, 128, 9},   // white
                                    {76, 85, 255, 0},     // red (R 255 G 0 B 0 encoded)
                                    {150, 44, 21, 0},     // green (0 255 0)
                                    {29, 255, 107, 0},    // blue (0 0 255)
                                    {255, 255, 255, 0}}); // beyond the range: clamped
  YCbCrToBgra8(v.data(), 7);
  EXPECT_EQ(At(v, 0), (Px{128, 128, 128, 255}));
  EXPECT_EQ(At(v, 1), (Px{0, 0, 0, 255}));
  EXPECT_EQ(At(v, 2), (Px{255, 255, 255, 255}));
  const Px red = At(v, 3), green = At(v, 4), blue = At(v, 5);
  EXPECT_LE(red[0], 1);
  EXPECT_LE(red[1], 1);
  EXPECT_GE(red[2], 253);
  EXPECT_LE(green[0], 2);
  EXPECT_GE(green[1], 253);
  EXPECT_LE(green[2], 2);
  EXPECT_GE(blue[0], 253);
  EXPECT_LE(blue[1], 2);
  EXPECT_LE(blue[2], 2);
  EXPECT_EQ(At(v, 6), (Px{255, 121, 255, 255}));  // green 255 + floor(-34289 / 256)
}

// Against the equations in double precision: red and blue add the rounded
// chroma products, green is computed in 8-bit fixed point and may be one off.
TEST(ColourYCbCr, MatchesFloatingPointEquations) {
  std::vector<uint8_t> v(256 * 256 * 4);
  for (int y = 0; y < 256; y += 5) {
    for (int i = 0; i < 256 * 256; ++i) {
      v[4 * i] = static_cast<uint8_t>(y);
      v[4 * i + 1] = static_cast<uint8_t>(i & 255);
      v[4 * i + 2] = static_cast<uint8_t>(i >> 8);
      v[4 * i + 3] = 0;
    }
    YCbCrToBgra8(v.data(), 256 * 256);
    for (int i = 0; i < 256 * 256; ++i) {
      const double cb = (i & 255) - 128.0, cr = (i >> 8) - 128.0;
      const int r = Clamp255(y + std::round(1.402 * cr));
      const int g = Clamp255(y - 0.344136 * cb - 0.714136 * cr);
      const int b = Clamp255(y + std::round(1.772 * cb));
      ASSERT_EQ(v[4 * i], b) << y << " " << cb << " " << cr;
      ASSERT_NEAR(v[4 * i + 1], g, 1) << y << " " << cb << " " << cr;
      ASSERT_EQ(v[4 * i + 2], r) << y << " " << cb << " " << cr;
      ASSERT_EQ(v[4 * i + 3], 255);
    }
  }
}

// Every vector variant this build and processor can run, with its name.
std::vector<std::pair<const char*, YCbCrKernel>> YCbCrVectorKernels() {
  std::vector<std::pair<const char*, YCbCrKernel>> kernels;
  const CpuFeatures& cpu = GetCpuFeatures();
  if (YCbCrKernel k = Sse2YCbCrKernel(); k && cpu.sse2) kernels.emplace_back("SSE2", k);
  if (YCbCrKernel k = Ssse3YCbCrKernel(); k && cpu.ssse3) kernels.emplace_back("SSSE3", k);
  return kernels;
}

TEST(ColourYCbCr, VectorEqualsScalarForEveryTriple) {
  const auto kernels = YCbCrVectorKernels();
  if (kernels.empty()) GTEST_SKIP() << "no vector variant here";
  std::vector<uint8_t> a(256 * 256 * 4), reference;
  for (int y = 0; y < 256; ++y) {
    for (int i = 0; i < 256 * 256; ++i) {
      a[4 * i] = static_cast<uint8_t>(y);
      a[4 * i + 1] = static_cast<uint8_t>(i);
      a[4 * i + 2] = static_cast<uint8_t>(i >> 8);
      a[4 * i + 3] = static_cast<uint8_t>(i * 31);
    }
    reference = a;
    YCbCrToBgra8Scalar(reference.data(), 256 * 256);
    for (const auto& [name, vector] : kernels) {
      std::vector<uint8_t> b = a;
      vector(b.data(), 256 * 256);
      ASSERT_EQ(reference, b) << name << " Y " << y;
    }
  }
}

TEST(ColourYCbCr, VectorEqualsScalarOnRandomRunsOfManyLengthsAndOffsets) {
  const auto kernels = YCbCrVectorKernels();
  if (kernels.empty()) GTEST_SKIP() << "no vector variant here";
  const std::vector<uint8_t> source = test::RandomBytes(4 * 1100 + 64, 7);
  for (const auto& [name, vector] : kernels) {
    for (size_t n : {0u, 1u, 3u, 4u, 5u, 7u, 8u, 9u, 15u, 16u, 17u, 20u, 31u, 33u, 35u, 64u, 255u,
                     1000u, 1031u}) {
      for (size_t offset = 0; offset < 16; offset += 3) {
        std::vector<uint8_t> a = source, b = source;
        YCbCrToBgra8Scalar(a.data() + offset, n);
        vector(b.data() + offset, n);
        // Bytes outside the run stay as they were in both.
        ASSERT_EQ(a, b) << name << " n " << n << " offset " << offset;
        ASSERT_TRUE(
            std::equal(b.begin() + offset + 4 * n, b.end(), source.begin() + offset + 4 * n));
      }
    }
  }
}

TEST(ColourYCbCr, ParallelRunsGiveTheSameImageAsOneThread) {
  // 1024 x 512 pixels with slack: several runs of 131072 pixels.
  RefPtr<ImageBuffer> one = MakeImage(PixelFormat::Bgra8, 1024, 512);
  RefPtr<ImageBuffer> many = MakeImage(PixelFormat::Bgra8, 1024, 512);
  ASSERT_TRUE(one && many);
  const size_t bytes = one->Pitch() * one->Height();
  ASSERT_GT(bytes / 4, size_t{131072} * 2);
  const std::vector<uint8_t> random = test::RandomBytes(bytes, 42);
  std::memcpy(one->Origin(), random.data(), bytes);
  std::memcpy(many->Origin(), random.data(), bytes);
  {
    ThreadCountScope threads(1);
    ASSERT_EQ(ApplyColourModel(one.get(), ColourModel::YCbCr, 8), status::kOk);
  }
  {
    ThreadCountScope threads(4);
    ASSERT_EQ(ApplyColourModel(many.get(), ColourModel::YCbCr, 8), status::kOk);
  }
  EXPECT_EQ(std::memcmp(one->Origin(), many->Origin(), bytes), 0);
  // And the same as the reference kernel over the plane as one run.
  std::vector<uint8_t> reference = random;
  YCbCrToBgra8Scalar(reference.data(), bytes / 4);
  EXPECT_EQ(std::memcmp(many->Origin(), reference.data(), bytes), 0);
}

TEST(ColourYCbCr, ConvertsTheRowSlackOfABgra8Image) {
  RefPtr<ImageBuffer> image = MakeImage(PixelFormat::Bgra8, 3, 2);
  ASSERT_TRUE(image);
  ASSERT_GT(image->Stride(), 3u);
  uint8_t* slack = image->Row(0) + 4 * 3;
  const uint8_t grey[4] = {128, 128, 128, 0};
  for (uint32_t y = 0; y < 2; ++y)
    for (uint32_t x = 0; x < image->Stride(); ++x) std::memcpy(image->Row(y) + 4 * x, grey, 4);
  ASSERT_EQ(ApplyColourModel(image.get(), ColourModel::YCbCr, 8), status::kOk);
  EXPECT_EQ(slack[3], 255);
  EXPECT_EQ(image->Row(1)[4 * 2 + 3], 255);
}

// ---------------------------------------------------------------- CMYK family

TEST(ColourCmyk, EightBitUsesIntegerDivision) {
  std::vector<uint8_t> v = Flatten({{0, 0, 0, 0}, {0, 0, 0, 255}, {255, 0, 0, 0}, {100, 50, 200, 30}});
  CmykToBgra8(v.data(), 4);
  EXPECT_EQ(At(v, 0), (Px{255, 255, 255, 255}));
  EXPECT_EQ(At(v, 1), (Px{0, 0, 0, 255}));
  EXPECT_EQ(At(v, 2), (Px{255, 255, 0, 255}));
  // 155 x 225 / 255 = 136.8, 205 x 225 / 255 = 180.9, 55 x 225 / 255 = 48.5
  EXPECT_EQ(At(v, 3), (Px{48, 180, 136, 255}));
}

TEST(ColourCmyk, InvertedVariantMultiplies) {
  std::vector<uint8_t> v = Flatten({{255, 255, 255, 255}, {0, 0, 0, 255}, {100, 50, 200, 30}});
  CmylToBgra8(v.data(), 3);
  EXPECT_EQ(At(v, 0), (Px{255, 255, 255, 255}));
  EXPECT_EQ(At(v, 1), (Px{0, 0, 0, 255}));
  EXPECT_EQ(At(v, 2), (Px{23, 5, 11, 255}));  // 200x30/255, 50x30/255, 100x30/255
}

TEST(ColourCmyk, SixteenBitImage) {
  RefPtr<ImageBuffer> image = MakeImage(PixelFormat::Bgra16, 2, 1);
  ASSERT_TRUE(image);
  uint16_t* p = image->View(PixelFormat::Bgra16).RowAs<uint16_t>(0);
  const uint16_t in[8] = {0, 0, 0, 0, 65535, 0, 32767, 16384};
  std::memcpy(p, in, sizeof in);
  ASSERT_EQ(ApplyColourModel(image.get(), ColourModel::Cmyk, 16), status::kOk);
  EXPECT_EQ(p[0], 65535);
  EXPECT_EQ(p[1], 65535);
  EXPECT_EQ(p[2], 65535);
  EXPECT_EQ(p[3], 65535);
  EXPECT_EQ(p[4], 24575);  // 32768 x 49151 / 65535
  EXPECT_EQ(p[5], 49151);
  EXPECT_EQ(p[6], 0);
  EXPECT_EQ(p[7], 65535);
}

TEST(ColourYcck, InkAndBlackCombine) {
  std::vector<uint8_t> v = Flatten({{0, 128, 128, 255},     // no ink, no black: white
                                    {255, 128, 128, 255},   // full ink
                                    {0, 128, 128, 0},       // full black
                                    {128, 128, 128, 255}}); // half ink
  YcckToBgra8(v.data(), 4);
  EXPECT_EQ(At(v, 0), (Px{255, 255, 255, 255}));
  // Red alone keeps its lift of 8 where everything else reaches 0.
  // (The ink case computes 255 - 255 through the chroma constants and may
  // truncate to 7.)
  const Px ink = At(v, 1);
  EXPECT_EQ(ink[0], 0);
  EXPECT_EQ(ink[1], 0);
  EXPECT_NEAR(ink[2], 8, 1);
  EXPECT_EQ(ink[3], 255);
  EXPECT_EQ(At(v, 2), (Px{0, 0, 8, 255}));
  const Px half = At(v, 3);
  EXPECT_NEAR(half[0], 127, 1);
  EXPECT_NEAR(half[1], 127, 1);
  EXPECT_NEAR(half[2], 135, 1);
}

// ---------------------------------------------------------------- Lab and XYZ

// CIE L*a*b* (D65) to encoded sRGB, written out from the CIE definitions.
std::array<double, 3> LabReference(double l, double a, double b) {
  const double fy = (l + 16) / 116, fx = fy + a / 500, fz = fy - b / 200;
  auto inv = [](double f) { return f > 6.0 / 29 ? f * f * f : 3 * (6.0 / 29) * (6.0 / 29) * (f - 4.0 / 29); };
  const double x = 0.95047 * inv(fx), y = inv(fy), z = 1.08883 * inv(fz);
  const double r = 3.2406 * x - 1.5372 * y - 0.4986 * z;
  const double g = -0.9689 * x + 1.8758 * y + 0.0415 * z;
  const double bl = 0.0557 * x - 0.204 * y + 1.057 * z;
  return {255 * SrgbEncode(bl), 255 * SrgbEncode(g), 255 * SrgbEncode(r)};
}

TEST(ColourLab, WhiteBlackAndGreys) {
  std::vector<uint8_t> v = Flatten({{255, 0, 0, 0}, {0, 0, 0, 0}, {128, 0, 0, 0}, {10, 0, 0, 0}});
  LabToBgra8(v.data(), 4);
  for (int c = 0; c < 3; ++c) {
    EXPECT_GE(v[c], 254) << c;
    EXPECT_EQ(v[4 + c], 0) << c;
  }
  EXPECT_EQ(v[3], 255);
  // L* 50.2 is a mid grey on screen (119 or 120), not its linear value 47.
  const double grey = LabReference(128 * 100.0 / 255, 0, 0)[0];
  for (int c = 0; c < 3; ++c) EXPECT_NEAR(v[8 + c], grey, 1.0) << c;
  // Near black the straight segment applies (L* 3.9: Y = 0.0043).
  const double dark = LabReference(10 * 100.0 / 255, 0, 0)[0];
  for (int c = 0; c < 3; ++c) EXPECT_NEAR(v[12 + c], dark, 1.0) << c;
}

TEST(ColourLab, ColoursAgreeWithTheCieDefinition) {
  const int samples[][3] = {{128, 40, 30},  {150, -30, 30}, {200, 20, -30},  {90, 10, -40},
                            {230, -10, 50}, {100, 30, -20}, {180, -20, -20}};
  for (const auto& s : samples) {
    uint8_t p[4] = {static_cast<uint8_t>(s[0]), static_cast<uint8_t>(static_cast<int8_t>(s[1])),
                    static_cast<uint8_t>(static_cast<int8_t>(s[2])), 0};
    LabToBgra8(p, 1);
    const auto ref = LabReference(s[0] * 100.0 / 255, s[1], s[2]);
    for (int c = 0; c < 3; ++c) {
      ASSERT_GT(ref[c], 0.0);
      ASSERT_LT(ref[c], 255.0);
      EXPECT_NEAR(p[c], ref[c], 2.0) << s[0] << " " << s[1] << " " << s[2] << " channel " << c;
    }
  }
}

TEST(ColourXyz, EightBitWhiteAndBlack) {
  // D65 white scaled so that Z (1.089) still fits a byte: a light grey.
  std::vector<uint8_t> v = Flatten({{222, 234, 255, 0}, {0, 0, 0, 0}});
  XyzToBgra8(v.data(), 2);
  const double expected = 255 * SrgbEncode(234.0 / 255);  // 245.5
  for (int c = 0; c < 3; ++c) {
    EXPECT_NEAR(v[c], expected, 1.5) << c;
    EXPECT_EQ(v[4 + c], 0) << c;
  }
  EXPECT_EQ(v[3], 255);
}

TEST(ColourXyz, FloatImageIsEncodedButNotClamped) {
  RefPtr<ImageBuffer> image = MakeImage(PixelFormat::BgraFloat, 2, 1);
  ASSERT_TRUE(image);
  float* p = image->View(PixelFormat::BgraFloat).RowAs<float>(0);
  const float in[8] = {0.9505f, 1.0f, 1.089f, 0.2f, 1.901f, 2.0f, 2.178f, 0.0f};
  std::memcpy(p, in, sizeof in);
  ASSERT_EQ(ApplyColourModel(image.get(), ColourModel::Xyz, 32), status::kOk);
  for (int c = 0; c < 3; ++c) {
    EXPECT_NEAR(p[c], 1.0f, 0.005f) << c;
    EXPECT_NEAR(p[4 + c], SrgbEncode(2.0), 0.01) << c;
  }
  EXPECT_EQ(p[3], 1.0f);
  EXPECT_EQ(p[7], 1.0f);
}

// ---------------------------------------------------------------- RGB

TEST(ColourRgb, FloatColourIsEncodedAndAlphaKept) {
  RefPtr<ImageBuffer> image = MakeImage(PixelFormat::BgraFloat, 1, 1);
  ASSERT_TRUE(image);
  float* p = image->View(PixelFormat::BgraFloat).RowAs<float>(0);
  const float in[4] = {0.5f, 0.001f, 1.0f, 0.25f};
  std::memcpy(p, in, sizeof in);
  ASSERT_EQ(ApplyColourModel(image.get(), ColourModel::Unknown, 32), status::kOk);
  EXPECT_NEAR(p[0], 0.735357f, 1e-5f);
  EXPECT_NEAR(p[1], 0.01292f, 1e-6f);
  EXPECT_NEAR(p[2], 1.0f, 1e-6f);
  EXPECT_EQ(p[3], 0.25f);
}

TEST(ColourRgb, IntegerFormatsAreLeftAlone) {
  RefPtr<ImageBuffer> image = MakeImage(PixelFormat::Bgra8, 1, 1);
  ASSERT_TRUE(image);
  const uint8_t in[4] = {1, 2, 3, 4};
  std::memcpy(image->Origin(), in, 4);
  ASSERT_EQ(ApplyColourModel(image.get(), ColourModel::Rgb, 8), status::kOk);
  EXPECT_EQ(std::memcmp(image->Origin(), in, 4), 0);
}

// ---------------------------------------------------------------- grey

std::vector<uint8_t> GreyAfter(ColourModel model, uint32_t depth, std::vector<uint8_t> levels) {
  RefPtr<ImageBuffer> image = MakeImage(PixelFormat::Gray8, static_cast<uint32_t>(levels.size()), 1);
  if (!image) return {};
  std::memcpy(image->Origin(), levels.data(), levels.size());
  EXPECT_EQ(ApplyColourModel(image.get(), model, depth), status::kOk);
  return {image->Origin(), image->Origin() + levels.size()};
}

TEST(ColourGrey, LowDepthsExpandToTheFullRange) {
  EXPECT_EQ(GreyAfter(ColourModel::L, 1, {0, 1}), (std::vector<uint8_t>{0, 255}));
  EXPECT_EQ(GreyAfter(ColourModel::L, 2, {0, 1, 2, 3}), (std::vector<uint8_t>{0, 85, 170, 255}));
  EXPECT_EQ(GreyAfter(ColourModel::L, 4, {0, 7, 15}), (std::vector<uint8_t>{0, 119, 255}));
  EXPECT_EQ(GreyAfter(ColourModel::L, 8, {0, 7, 15}), (std::vector<uint8_t>{0, 7, 15}));
  // Levels a damaged file leaves above the depth's range saturate.
  EXPECT_EQ(GreyAfter(ColourModel::L, 1, {2, 200}), (std::vector<uint8_t>{255, 255}));
  // A depth of 0 says nothing about the range: the levels stay.
  EXPECT_EQ(GreyAfter(ColourModel::L, 0, {3, 200}), (std::vector<uint8_t>{3, 200}));
}

TEST(ColourGrey, BlackModelInverts) {
  EXPECT_EQ(GreyAfter(ColourModel::K, 1, {0, 1}), (std::vector<uint8_t>{255, 0}));
  EXPECT_EQ(GreyAfter(ColourModel::K, 4, {15, 5}), (std::vector<uint8_t>{0, 170}));
  EXPECT_EQ(GreyAfter(ColourModel::K, 8, {0, 10, 255}), (std::vector<uint8_t>{255, 245, 0}));

  RefPtr<ImageBuffer> deep = MakeImage(PixelFormat::Gray16, 2, 1);
  ASSERT_TRUE(deep);
  uint16_t* d = deep->View(PixelFormat::Gray16).RowAs<uint16_t>(0);
  d[0] = 1000;
  d[1] = 65535;
  ASSERT_EQ(ApplyColourModel(deep.get(), ColourModel::K, 16), status::kOk);
  EXPECT_EQ(d[0], 64535);
  EXPECT_EQ(d[1], 0);

  RefPtr<ImageBuffer> real = MakeImage(PixelFormat::GrayFloat, 2, 1);
  ASSERT_TRUE(real);
  float* f = real->View(PixelFormat::GrayFloat).RowAs<float>(0);
  f[0] = 0.5f;
  f[1] = 0.0f;
  ASSERT_EQ(ApplyColourModel(real.get(), ColourModel::K, 32), status::kOk);
  EXPECT_NEAR(f[0], 1.0f - 0.735357f, 1e-5f);
  EXPECT_EQ(f[1], 1.0f);
}

TEST(ColourGrey, FloatLightnessIsEncoded) {
  RefPtr<ImageBuffer> real = MakeImage(PixelFormat::GrayFloat, 1, 1);
  ASSERT_TRUE(real);
  float* f = real->View(PixelFormat::GrayFloat).RowAs<float>(0);
  f[0] = 0.5f;
  ASSERT_EQ(ApplyColourModel(real.get(), ColourModel::L, 32), status::kOk);
  EXPECT_NEAR(f[0], 0.735357f, 1e-5f);
}

TEST(ColourGrey, IndexedImageLosesItsPaletteAndExpands) {
  RefPtr<ImageBuffer> image = MakeImage(PixelFormat::Indexed8, 2, 1);
  ASSERT_TRUE(image);
  image->Palette()[0] = 0xFF123456u;  // not a ramp
  image->Origin()[0] = 15;
  image->Origin()[1] = 3;
  ASSERT_EQ(ApplyColourModel(image.get(), ColourModel::L, 4), status::kOk);
  EXPECT_EQ(image->Format(), PixelFormat::Gray8);
  EXPECT_EQ(image->Origin()[0], 255);
  EXPECT_EQ(image->Origin()[1], 51);
}

// ---------------------------------------------------------------- grey-ramp palettes

TEST(ColourGreyRamp, ExactRampBecomesGrayWithoutAlpha) {
  for (bool display : {false, true}) {
    RefPtr<ImageBuffer> image = MakeImage(PixelFormat::Indexed8, 4, 2, display);
    ASSERT_TRUE(image);
    SetGreyRamp(image.get());  // alpha differs from entry to entry: it is not looked at
    image->Origin()[1] = 200;
    ASSERT_EQ(ApplyColourModel(image.get(), ColourModel::Rgb, 8), status::kOk);
    EXPECT_EQ(image->Format(), PixelFormat::Gray8) << display;
    EXPECT_EQ(image->Alpha(), AlphaMode::None);
    EXPECT_EQ(image->Origin()[1], 200);
  }
}

TEST(ColourGreyRamp, ARampImageWithTransparencyKeepsItsPalette) {
  // As Gray8 its transparent pixels would become visible greys.
  RefPtr<ImageBuffer> image = MakeImage(PixelFormat::Indexed8, 4, 2, false);
  ASSERT_TRUE(image);
  SetGreyRamp(image.get());
  image->SetAlpha(AlphaMode::Straight);
  ASSERT_EQ(ApplyColourModel(image.get(), ColourModel::Rgb, 8), status::kOk);
  EXPECT_EQ(image->Format(), PixelFormat::Indexed8);
  EXPECT_EQ(image->Alpha(), AlphaMode::Straight);
}

TEST(ColourGreyRamp, OneEntryOffOrAnotherDepthKeepsThePalette) {
  RefPtr<ImageBuffer> off = MakeImage(PixelFormat::Indexed8, 4, 2);
  ASSERT_TRUE(off);
  SetGreyRamp(off.get());
  off->Palette()[77] += 0x100;  // green 78
  off->SetAlpha(AlphaMode::Straight);
  ASSERT_EQ(ApplyColourModel(off.get(), ColourModel::Rgb, 8), status::kOk);
  EXPECT_EQ(off->Format(), PixelFormat::Indexed8);
  EXPECT_EQ(off->Alpha(), AlphaMode::Straight);

  RefPtr<ImageBuffer> shallow = MakeImage(PixelFormat::Indexed8, 4, 2);
  ASSERT_TRUE(shallow);
  SetGreyRamp(shallow.get());
  ASSERT_EQ(ApplyColourModel(shallow.get(), ColourModel::Rgb, 4), status::kOk);
  EXPECT_EQ(shallow->Format(), PixelFormat::Indexed8);
}

TEST(ColourPalette, EntriesAreConvertedAndIndicesKept) {
  RefPtr<ImageBuffer> image = MakeImage(PixelFormat::Indexed8, 2, 1);
  ASSERT_TRUE(image);
  uint32_t* pal = image->Palette();
  for (uint32_t i = 0; i < 256; ++i) pal[i] = 0;  // C M Y K = 0: white
  pal[5] = 255u;  // full cyan
  image->Origin()[0] = 5;
  image->Origin()[1] = 9;
  ASSERT_EQ(ApplyColourModel(image.get(), ColourModel::Cmyk, 8), status::kOk);
  EXPECT_EQ(image->Format(), PixelFormat::Indexed8);
  EXPECT_EQ(pal[5], 0xFF00FFFFu);  // red 0, green and blue 255, opaque
  EXPECT_EQ(pal[9], 0xFFFFFFFFu);
  EXPECT_EQ(image->Origin()[0], 5);
}

// ---------------------------------------------------------------- unsupported

TEST(ApplyColourModel, CombinationsWithoutAConversionFail) {
  struct Case {
    PixelFormat format;
    ColourModel model;
  };
  const Case cases[] = {
      {PixelFormat::Gray8, ColourModel::Cmyk},      {PixelFormat::Gray16, ColourModel::YCbCr},
      {PixelFormat::Bgra16, ColourModel::YCbCr},    {PixelFormat::Bgra16, ColourModel::Xyz},
      {PixelFormat::BgraFloat, ColourModel::Lab},   {PixelFormat::BgraFloat, ColourModel::Cmyk},
      {PixelFormat::Bgra8, ColourModel::L},         {PixelFormat::Bgra16, ColourModel::K},
      {PixelFormat::GrayFloat, ColourModel::Ycck},  {PixelFormat::Gray8, static_cast<ColourModel>(12)},
  };
  for (const Case& c : cases) {
    RefPtr<ImageBuffer> image = MakeImage(c.format, 2, 2);
    ASSERT_TRUE(image);
    EXPECT_EQ(ApplyColourModel(image.get(), c.model, 8), status::kUnsupportedColourFormat)
        << PixelFormatName(c.format) << " " << static_cast<int>(c.model);
  }
  EXPECT_EQ(ApplyColourModel(nullptr, ColourModel::Rgb, 8), status::kInvalidArgument);
}

TEST(ColourModelText, TextsOfTheCodes) {
  EXPECT_EQ(ColourModelText(ColourModel::Rgb), u"RGB");
  EXPECT_EQ(ColourModelText(ColourModel::YCbCr), u"YCbCr");
  EXPECT_EQ(ColourModelText(ColourModel::Ycck), u"YCCK");
  EXPECT_EQ(ColourModelText(ColourModel::Lab), u"Lab");
  EXPECT_EQ(ColourModelText(ColourModel::Unknown), u"?");
  EXPECT_EQ(ColourModelText(static_cast<ColourModel>(40)), u"?");
}

}  // namespace
}  // namespace vt
