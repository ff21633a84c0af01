#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <set>
#include <vector>

#include "base/tasks.h"
#include "image/image_buffer.h"
#include "support/test_support.h"

namespace vt {
namespace {

using PF = PixelFormat;

template <class T>
T& At(ImageBuffer* b, uint32_t x, uint32_t y, uint32_t channel = 0, uint32_t channels = 1) {
  return reinterpret_cast<T*>(b->Row(y))[x * channels + channel];
}
uint32_t Bgra8(ImageBuffer* b, uint32_t x, uint32_t y) { return At<uint32_t>(b, x, y); }

RefPtr<ImageBuffer> Make(PF f, uint32_t w, uint32_t h, bool display = false) {
  RefPtr<ImageBuffer> b = ImageBuffer::Create(f, w, h, display);
  EXPECT_TRUE(b) << PixelFormatName(f);
  return b;
}

// Random pixels of any format (floats within -0.25 .. 1.25).
RefPtr<ImageBuffer> RandomImage(PF f, uint32_t w, uint32_t h, uint32_t seed) {
  RefPtr<ImageBuffer> b = Make(f, w, h);
  for (uint32_t y = 0; y < h; ++y) {
    auto bytes = test::RandomBytes(size_t{w} * b->BytesPerPixel(), seed + y);
    if (IsFloatFormat(f)) {
      float* row = reinterpret_cast<float*>(b->Row(y));
      for (size_t i = 0; i < bytes.size() / 4; ++i) row[i] = bytes[4 * i] / 170.0f - 0.25f;
    } else {
      std::memcpy(b->Row(y), bytes.data(), bytes.size());
    }
  }
  if (f == PF::Indexed8)
    for (uint32_t i = 0; i < 256; ++i) b->Palette()[i] = i * 0x9E3779B1u;
  return b;
}

bool SamePixels(ImageBuffer* a, ImageBuffer* b) {
  if (a->Format() != b->Format() || a->Width() != b->Width() || a->Height() != b->Height())
    return false;
  for (uint32_t y = 0; y < a->Height(); ++y)
    if (std::memcmp(a->Row(y), b->Row(y), size_t{a->Width()} * a->BytesPerPixel())) return false;
  return true;
}

class ConversionOptionsGuard {
 public:
  ConversionOptionsGuard() : saved_(GlobalConversionOptions()) {}
  ~ConversionOptionsGuard() { GlobalConversionOptions() = saved_; }

 private:
  ConversionOptions saved_;
};

class ThreadCountGuard {
 public:
  explicit ThreadCountGuard(uint32_t n) : saved_(ParallelThreadCount()) { SetParallelThreadCount(n); }
  ~ThreadCountGuard() { SetParallelThreadCount(saved_); }

 private:
  uint32_t saved_;
};

constexpr PF kFormats[] = {PF::Bgra8, PF::Bgra16, PF::BgraFloat, PF::Gray8,
                           PF::Gray16, PF::GrayFloat, PF::Indexed8};

TEST(Convert, EverySourceToEveryTargetFillsABufferOfTheTarget) {
  for (PF from : kFormats) {
    RefPtr<ImageBuffer> src = RandomImage(from, 37, 5, 7);
    for (PF to : kFormats) {
      RefPtr<ImageBuffer> out = Convert(src.get(), to, false, false);
      ASSERT_TRUE(out) << PixelFormatName(from) << " -> " << PixelFormatName(to);
      EXPECT_EQ(out->Format(), to);
      EXPECT_EQ(out->Width(), 37u);
      EXPECT_EQ(out->Height(), 5u);
      if (from == to && to != PF::Indexed8) {
        EXPECT_TRUE(SamePixels(out.get(), src.get())) << PixelFormatName(to);
      }
    }
    RefPtr<ImageBuffer> same = Convert(src.get(), PF::SameAsSource, false, false);
    ASSERT_TRUE(same);
    EXPECT_EQ(same->Format(), from);
  }
}

TEST(Convert, ColourValuesFollowTheStatedArithmetic) {
  ConversionOptionsGuard guard;
  GlobalConversionOptions().dithering = false;
  RefPtr<ImageBuffer> src = Make(PF::Bgra8, 2, 1);
  At<uint32_t>(src.get(), 0, 0) = 0x40302010;  // blue 0x10, green 0x20, red 0x30, alpha 0x40
  At<uint32_t>(src.get(), 1, 0) = 0xFFFFFFFF;

  RefPtr<ImageBuffer> b16 = Convert(src.get(), PF::Bgra16, false, false);
  EXPECT_EQ(At<uint16_t>(b16.get(), 0, 0, 0, 4), 0x1010);
  EXPECT_EQ(At<uint16_t>(b16.get(), 0, 0, 3, 4), 0x4040);
  RefPtr<ImageBuffer> bf = Convert(src.get(), PF::BgraFloat, false, false);
  EXPECT_FLOAT_EQ(At<float>(bf.get(), 0, 0, 2, 4), 48.0f / 255.0f);
  EXPECT_EQ(At<float>(bf.get(), 1, 0, 3, 4), 1.0f);
  RefPtr<ImageBuffer> g8 = Convert(src.get(), PF::Gray8, false, false);
  EXPECT_EQ(At<uint8_t>(g8.get(), 0, 0), (0x10 + 0x20 + 0x30 + 1) / 3);
  EXPECT_EQ(At<uint8_t>(g8.get(), 1, 0), 255);
  RefPtr<ImageBuffer> g16 = Convert(src.get(), PF::Gray16, false, false);
  // Rec. 709 luma of the widened channels.
  const double luma = (0.2126 * 0x30 + 0.7152 * 0x20 + 0.0722 * 0x10) * 257;
  EXPECT_NEAR(At<uint16_t>(g16.get(), 0, 0), luma, 1.0);
  EXPECT_EQ(At<uint16_t>(g16.get(), 1, 0), 65535);
  RefPtr<ImageBuffer> gf = Convert(src.get(), PF::GrayFloat, false, false);
  EXPECT_NEAR(At<float>(gf.get(), 0, 0), luma / 65535.0, 1e-6);

  // Back down: high bytes without dithering give the original bytes again.
  RefPtr<ImageBuffer> back = Convert(b16.get(), PF::Bgra8, false, false);
  EXPECT_TRUE(SamePixels(back.get(), src.get()));
  back = Convert(bf.get(), PF::Bgra8, false, false);
  EXPECT_TRUE(SamePixels(back.get(), src.get()));

  // Grey to colour: the level in blue, green and red, opaque.
  RefPtr<ImageBuffer> grey = Make(PF::Gray8, 1, 1);
  At<uint8_t>(grey.get(), 0, 0) = 0x5A;
  EXPECT_EQ(Bgra8(Convert(grey.get(), PF::Bgra8, false, false).get(), 0, 0), 0xFF5A5A5Au);
  RefPtr<ImageBuffer> grey16 = Convert(grey.get(), PF::Bgra16, false, false);
  EXPECT_EQ(At<uint16_t>(grey16.get(), 0, 0, 1, 4), 0x5A5A);
  EXPECT_EQ(At<uint16_t>(grey16.get(), 0, 0, 3, 4), 0xFFFF);
  RefPtr<ImageBuffer> greyF = Convert(grey.get(), PF::BgraFloat, false, false);
  EXPECT_FLOAT_EQ(At<float>(greyF.get(), 0, 0, 0, 4), 90.0f / 255.0f);
  EXPECT_EQ(At<float>(greyF.get(), 0, 0, 3, 4), 1.0f);
}

TEST(Convert, FloatSourcesClampToSixteenBitsButGrayFloatKeepsHighRange) {
  RefPtr<ImageBuffer> src = Make(PF::BgraFloat, 1, 1);
  float* p = &At<float>(src.get(), 0, 0, 0, 4);
  p[0] = 2.0f;
  p[1] = -0.5f;
  p[2] = std::nanf("");
  p[3] = 0.5f;
  RefPtr<ImageBuffer> b16 = Convert(src.get(), PF::Bgra16, false, false);
  EXPECT_EQ(At<uint16_t>(b16.get(), 0, 0, 0, 4), 65535);
  EXPECT_EQ(At<uint16_t>(b16.get(), 0, 0, 1, 4), 0);
  EXPECT_EQ(At<uint16_t>(b16.get(), 0, 0, 2, 4), 0);
  EXPECT_EQ(At<uint16_t>(b16.get(), 0, 0, 3, 4), 32768);
  p[0] = p[1] = p[2] = 3.0f;
  RefPtr<ImageBuffer> gf = Convert(src.get(), PF::GrayFloat, false, false);
  EXPECT_NEAR(At<float>(gf.get(), 0, 0), 3.0f, 1e-5);
}

TEST(Convert, IndexedSourcesGoThroughThePalette) {
  RefPtr<ImageBuffer> src = Make(PF::Indexed8, 3, 1);
  src->Palette()[7] = 0x80112233;
  At<uint8_t>(src.get(), 0, 0) = 7;
  At<uint8_t>(src.get(), 1, 0) = 254;  // default opaque white
  At<uint8_t>(src.get(), 2, 0) = 253;  // default transparent black
  RefPtr<ImageBuffer> b8 = Convert(src.get(), PF::Bgra8, false, false);
  EXPECT_EQ(Bgra8(b8.get(), 0, 0), 0x80112233u);
  EXPECT_EQ(Bgra8(b8.get(), 1, 0), 0xFFFFFFFFu);
  EXPECT_EQ(Bgra8(b8.get(), 2, 0), 0u);
  RefPtr<ImageBuffer> b16 = Convert(src.get(), PF::Bgra16, false, false);
  EXPECT_EQ(At<uint16_t>(b16.get(), 0, 0, 0, 4), 0x3333);
  EXPECT_EQ(At<uint16_t>(b16.get(), 0, 0, 2, 4), 0x1111);
  EXPECT_EQ(At<uint16_t>(b16.get(), 0, 0, 3, 4), 0x8080);
  RefPtr<ImageBuffer> g8 = Convert(src.get(), PF::Gray8, false, false);
  EXPECT_EQ(At<uint8_t>(g8.get(), 0, 0), (0x11 + 0x22 + 0x33 + 1) / 3);
}

TEST(Convert, DitheringKeepsTheMeanOfAFlatArea) {
  ConversionOptionsGuard guard;
  GlobalConversionOptions().dithering = true;
  // 0x1238 enters the diffusion as 0x1238 - 0x12 = 4646, 12-bit 290, that is 18.125 levels.
  RefPtr<ImageBuffer> src = Make(PF::Bgra16, 64, 64);
  for (uint32_t y = 0; y < 64; ++y)
    for (uint32_t x = 0; x < 64; ++x)
      for (uint32_t c = 0; c < 4; ++c) At<uint16_t>(src.get(), x, y, c, 4) = c == 3 ? 0xABCD : 0x1238;
  RefPtr<ImageBuffer> out = Convert(src.get(), PF::Bgra8, false, false);
  double sum = 0;
  std::set<uint8_t> levels;
  for (uint32_t y = 0; y < 64; ++y)
    for (uint32_t x = 0; x < 64; ++x) {
      const uint32_t p = Bgra8(out.get(), x, y);
      EXPECT_EQ(p >> 24, 0xABu);  // alpha is the high byte, undiffused
      sum += p & 0xFF;
      levels.insert(static_cast<uint8_t>(p >> 8));
    }
  EXPECT_NEAR(sum / (64 * 64), 18.125, 0.02);  // the edges drop some error
  EXPECT_EQ(levels, (std::set<uint8_t>{18, 19}));

  // Grey goes through the same diffusion into Gray8 and then to Bgra8.
  RefPtr<ImageBuffer> grey = Make(PF::Gray16, 64, 64);
  for (uint32_t y = 0; y < 64; ++y)
    for (uint32_t x = 0; x < 64; ++x) At<uint16_t>(grey.get(), x, y) = 0x1238;
  RefPtr<ImageBuffer> greyOut = Convert(grey.get(), PF::Bgra8, false, false);
  sum = 0;
  for (uint32_t y = 0; y < 64; ++y)
    for (uint32_t x = 0; x < 64; ++x) {
      const uint32_t p = Bgra8(greyOut.get(), x, y);
      ASSERT_EQ(p, (p & 0xFF) * 0x010101u | 0xFF000000u);
      sum += p & 0xFF;
    }
  EXPECT_NEAR(sum / (64 * 64), 18.125, 0.02);  // the edges drop some error

  // The first pixels, checked by hand: 0x1238 - 0x12 = 4646 gives 290 in
  // sixteenths of a level, 18 with remainder 2; the next pixel gets 14
  // sixteenths, rounded 1, so 291: 18 with remainder 3.
  EXPECT_EQ(Bgra8(out.get(), 0, 0) & 0xFF, 18u);
  EXPECT_EQ(Bgra8(out.get(), 1, 0) & 0xFF, 18u);
}

TEST(Convert, LinearLightGreyUsesTheSrgbCurve) {
  ConversionOptionsGuard guard;
  GlobalConversionOptions().linearLightGray = true;
  // Expected levels computed independently in double precision; none lies
  // close to a rounding boundary.
  struct Case {
    uint8_t b, g, r, grey;
  } cases[] = {{0, 0, 255, 127},    {0, 255, 0, 220},  {255, 0, 0, 76},      {10, 200, 30, 173},
               {50, 100, 150, 111}, {0, 0, 0, 0},      {255, 255, 255, 255}, {1, 2, 3, 2}};
  RefPtr<ImageBuffer> src = Make(PF::Bgra8, std::size(cases), 1);
  for (size_t i = 0; i < std::size(cases); ++i)
    At<uint32_t>(src.get(), static_cast<uint32_t>(i), 0) =
        cases[i].b | cases[i].g << 8 | cases[i].r << 16 | 0xFF000000u;
  RefPtr<ImageBuffer> out = Convert(src.get(), PF::Gray8, false, false);
  for (size_t i = 0; i < std::size(cases); ++i)
    EXPECT_EQ(At<uint8_t>(out.get(), static_cast<uint32_t>(i), 0), cases[i].grey) << i;

  // Greys stay (within the rounding of the round trip) where they are.
  RefPtr<ImageBuffer> ramp = Make(PF::Bgra8, 256, 1);
  for (uint32_t i = 0; i < 256; ++i) At<uint32_t>(ramp.get(), i, 0) = i * 0x010101u | 0xFF000000u;
  RefPtr<ImageBuffer> rampOut = Convert(ramp.get(), PF::Gray8, false, false);
  for (uint32_t i = 0; i < 256; ++i) EXPECT_NEAR(At<uint8_t>(rampOut.get(), i, 0), i, 1) << i;
}

TEST(Convert, GreyToIndexedKeepsLevelsWithAGreyRamp) {
  RefPtr<ImageBuffer> src = RandomImage(PF::Gray8, 20, 3, 5);
  RefPtr<ImageBuffer> out = Convert(src.get(), PF::Indexed8, false, false);
  ASSERT_TRUE(out);
  for (uint32_t y = 0; y < 3; ++y)
    EXPECT_EQ(0, std::memcmp(out->Row(y), src->Row(y), 20));
  for (uint32_t i = 0; i < 256; ++i) EXPECT_EQ(out->Palette()[i], i * 0x010101u | 0xFF000000u);
}

TEST(Convert, FewColoursAreKeptExactlyInTheIndexedImage) {
  RefPtr<ImageBuffer> src = Make(PF::Bgra8, 40, 10);
  const uint32_t colours[] = {0xFF0000FF, 0x80FF0000, 0x00000000, 0xFF123456, 0xFFFFFFFF};
  for (uint32_t y = 0; y < 10; ++y)
    for (uint32_t x = 0; x < 40; ++x) At<uint32_t>(src.get(), x, y) = colours[(x * 7 + y) % 5];
  RefPtr<ImageBuffer> indexed = Convert(src.get(), PF::Indexed8, false, false, 5);
  ASSERT_TRUE(indexed);
  RefPtr<ImageBuffer> back = Convert(indexed.get(), PF::Bgra8, false, false);
  EXPECT_TRUE(SamePixels(back.get(), src.get()));
  // Fewer colours than the image has: at most that many indices are used.
  RefPtr<ImageBuffer> three = Convert(src.get(), PF::Indexed8, false, false, 3);
  ASSERT_TRUE(three);
  std::set<uint8_t> used;
  for (uint32_t y = 0; y < 10; ++y)
    for (uint32_t x = 0; x < 40; ++x) used.insert(At<uint8_t>(three.get(), x, y));
  EXPECT_LE(used.size(), 3u);
  EXPECT_GE(used.size(), 2u);
}

// Mean absolute error per channel of an image against its indexed version.
double QuantisationError(ImageBuffer* src, uint32_t colours) {
  RefPtr<ImageBuffer> indexed = Convert(src, PF::Indexed8, false, false, colours);
  EXPECT_TRUE(indexed);
  if (!indexed) return 1e9;
  std::set<uint8_t> used;
  double total = 0;
  for (uint32_t y = 0; y < src->Height(); ++y)
    for (uint32_t x = 0; x < src->Width(); ++x) {
      const uint8_t i = At<uint8_t>(indexed.get(), x, y);
      used.insert(i);
      const uint32_t a = Bgra8(src, x, y), b = indexed->Palette()[i];
      for (int c = 0; c < 4; ++c)
        total += std::abs(static_cast<int>((a >> (8 * c)) & 0xFF) - static_cast<int>((b >> (8 * c)) & 0xFF));
    }
  EXPECT_LE(used.size(), colours);
  return total / (4.0 * src->Width() * src->Height());
}

TEST(Convert, ColourReductionOfASmoothImageIsCloseAndDeterministic) {
  // A smooth two-dimensional colour field: thousands of distinct colours.
  RefPtr<ImageBuffer> src = Make(PF::Bgra8, 300, 200);
  for (uint32_t y = 0; y < 200; ++y)
    for (uint32_t x = 0; x < 300; ++x) {
      const uint32_t b = x * 255 / 299, g = y * 255 / 199, r = (x + y) * 255 / 498;
      At<uint32_t>(src.get(), x, y) = b | g << 8 | r << 16 | 0xFF000000u;
    }
  const double e256 = QuantisationError(src.get(), 256);
  const double e16 = QuantisationError(src.get(), 16);
  // A uniform 6x7x6 cube would give about 6 levels of error per channel; the
  // adaptive palette must do better on a field that covers little of the cube.
  EXPECT_LT(e256, 3.0);
  EXPECT_LT(e16, 12.0);
  EXPECT_LT(e256, e16);

  RefPtr<ImageBuffer> a, b;
  {
    ThreadCountGuard one(1);
    a = Convert(src.get(), PF::Indexed8, false, false, 64);
  }
  {
    ThreadCountGuard four(4);
    b = Convert(src.get(), PF::Indexed8, false, false, 64);
  }
  ASSERT_TRUE(a && b);
  EXPECT_TRUE(SamePixels(a.get(), b.get()));
  EXPECT_EQ(0, std::memcmp(a->Palette(), b->Palette(), 1024));
}

TEST(Convert, ResultsDoNotDependOnTheThreadCount) {
  for (PF from : {PF::BgraFloat, PF::Indexed8, PF::Bgra16}) {
    RefPtr<ImageBuffer> src = RandomImage(from, 700, 300, 11);
    for (PF to : {PF::Bgra8, PF::Gray16, PF::GrayFloat}) {
      RefPtr<ImageBuffer> a, b;
      {
        ThreadCountGuard one(1);
        a = Convert(src.get(), to, false, false);
      }
      {
        ThreadCountGuard four(4);
        b = Convert(src.get(), to, false, false);
      }
      ASSERT_TRUE(a && b);
      EXPECT_TRUE(SamePixels(a.get(), b.get())) << PixelFormatName(from) << " -> " << PixelFormatName(to);
    }
  }
}

TEST(ConvertInto, SizeMismatchFailsAndLeavesTheTargetAlone) {
  RefPtr<ImageBuffer> src = RandomImage(PF::Bgra8, 10, 10, 1);
  RefPtr<ImageBuffer> target = RandomImage(PF::Bgra8, 10, 9, 2);
  RefPtr<ImageBuffer> copy = Convert(target.get(), PF::SameAsSource, false, false);
  RefPtr<ImageBuffer> next = Make(PF::Gray8, 1, 1);
  target->SetNext(next);
  target->Frame().delay = 77;
  EXPECT_EQ(ConvertInto(target.get(), src.get(), true), status::kInvalidArgument);
  EXPECT_TRUE(SamePixels(target.get(), copy.get()));
  EXPECT_EQ(target->Next(), next.get());
  EXPECT_EQ(target->Frame().delay, 77);
  EXPECT_EQ(ConvertInto(target.get(), target.get(), false), status::kInvalidArgument);
}

TEST(ConvertInto, CopiesTheFrameDescriptionAndReleasesAnOldNextFrame) {
  RefPtr<ImageBuffer> src = RandomImage(PF::Gray8, 4, 4, 3);
  src->Frame().canvasWidth = 40;
  src->Frame().x = 3;
  src->Frame().delay = -1;
  src->Frame().disposal = 2;
  RefPtr<ImageBuffer> target = Make(PF::Bgra16, 4, 4);
  RefPtr<ImageBuffer> old = Make(PF::Bgra16, 4, 4);
  target->SetNext(old);
  EXPECT_EQ(ConvertInto(target.get(), src.get(), false), status::kOk);
  EXPECT_EQ(target->Next(), nullptr);
  EXPECT_EQ(old->Previous(), nullptr);
  EXPECT_EQ(old->RefCount(), 1u);
  EXPECT_EQ(target->Frame().canvasWidth, 40u);
  EXPECT_EQ(target->Frame().x, 3u);
  EXPECT_EQ(target->Frame().delay, -1);
  EXPECT_EQ(target->Frame().disposal, 2);
}

TEST(ConvertInto, WithChainConvertsTheFollowingFrames) {
  RefPtr<ImageBuffer> first = RandomImage(PF::Bgra8, 8, 8, 1);
  RefPtr<ImageBuffer> second = Make(PF::Gray8, 5, 3, true);
  RefPtr<ImageBuffer> third = RandomImage(PF::Bgra16, 2, 2, 3);
  second->Frame().delay = 20;
  third->Frame().delay = 30;
  first->SetNext(second);
  second->SetNext(third);

  // Into one format: every frame becomes Bgra8; the display frame stays a
  // display frame.
  RefPtr<ImageBuffer> all = Convert(first.get(), PF::Bgra8, false, true);
  ASSERT_TRUE(all);
  ASSERT_EQ(all->ChainLength(), 3u);
  ImageBuffer* n1 = all->Next();
  ImageBuffer* n2 = n1->Next();
  EXPECT_EQ(n1->Format(), PF::Bgra8);
  EXPECT_TRUE(n1->IsDisplay());
  EXPECT_EQ(n1->Width(), 5u);
  EXPECT_EQ(n1->Frame().delay, 20);
  EXPECT_EQ(n2->Format(), PF::Bgra8);
  EXPECT_FALSE(n2->IsDisplay());
  EXPECT_EQ(n2->Frame().delay, 30);
  EXPECT_EQ(n2->Previous(), n1);

  // SameAsSource keeps each frame's own format.
  RefPtr<ImageBuffer> kept = Convert(first.get(), PF::SameAsSource, false, true);
  ASSERT_EQ(kept->ChainLength(), 3u);
  EXPECT_EQ(kept->Next()->Format(), PF::Gray8);
  EXPECT_EQ(kept->Next()->Next()->Format(), PF::Bgra16);
  EXPECT_TRUE(SamePixels(kept->Next()->Next(), third.get()));

  // A display frame that cannot stay one in the target format becomes a memory buffer.
  RefPtr<ImageBuffer> wide = Convert(first.get(), PF::Bgra16, false, true);
  ASSERT_EQ(wide->ChainLength(), 3u);
  EXPECT_FALSE(wide->Next()->IsDisplay());

  // Without the flag only the first frame is converted.
  EXPECT_EQ(Convert(first.get(), PF::Bgra8, false, false)->ChainLength(), 1u);
}

TEST(Convert, DisplayTargetsAndUnavailableFormats) {
  RefPtr<ImageBuffer> src = RandomImage(PF::Bgra8, 3, 3, 1);
  RefPtr<ImageBuffer> display = Convert(src.get(), PF::Indexed8, true, false);
  ASSERT_TRUE(display);
  EXPECT_TRUE(display->IsDisplay());
  EXPECT_EQ(Convert(src.get(), PF::Bgra16, true, false), nullptr);
  EXPECT_EQ(Convert(nullptr, PF::Bgra8, false, false), nullptr);
  EXPECT_EQ(Convert(src.get(), static_cast<PF>(9), false, false), nullptr);
}

// ---- rectangle copy -------------------------------------------------------

RefPtr<ImageBuffer> Numbered(PF f, uint32_t w, uint32_t h) {
  RefPtr<ImageBuffer> b = Make(f, w, h);
  for (uint32_t y = 0; y < h; ++y)
    for (uint32_t x = 0; x < w; ++x) {
      if (f == PF::Bgra8) At<uint32_t>(b.get(), x, y) = 0xFF000000u | y << 8 | x;
      else At<uint8_t>(b.get(), x, y) = static_cast<uint8_t>(y * 16 + x);
    }
  return b;
}

TEST(CopyRect, ClipsToTheTargetAndShiftsNegativePositions) {
  RefPtr<ImageBuffer> src = Numbered(PF::Bgra8, 10, 10);
  RefPtr<ImageBuffer> dst = Make(PF::Bgra8, 6, 6);
  for (uint32_t y = 0; y < 6; ++y) std::memset(dst->Row(y), 0, 24);
  // Target (-2, -1), source (3, 4), 5 x 5: becomes target (0, 0), source (5, 5), 3 x 4.
  EXPECT_EQ(CopyRect(dst.get(), -2, -1, src.get(), 3, 4, 5, 5), status::kOk);
  for (uint32_t y = 0; y < 6; ++y)
    for (uint32_t x = 0; x < 6; ++x) {
      const uint32_t expected = x < 3 && y < 4 ? 0xFF000000u | (y + 5) << 8 | (x + 5) : 0;
      EXPECT_EQ(Bgra8(dst.get(), x, y), expected) << x << "," << y;
    }
  // Up to the source's edge, clipped by the target's.
  EXPECT_EQ(CopyRect(dst.get(), 4, 4, src.get(), 1, 2, kToEdge, kToEdge), status::kOk);
  EXPECT_EQ(Bgra8(dst.get(), 5, 5), 0xFF000000u | 3 << 8 | 2);
}

TEST(CopyRect, EmptyAreasDoNothingAndOutsideSourcesFail) {
  RefPtr<ImageBuffer> src = Numbered(PF::Gray8, 8, 8);
  RefPtr<ImageBuffer> dst = Make(PF::Gray8, 4, 4);
  for (uint32_t y = 0; y < 4; ++y) std::memset(dst->Row(y), 0x77, 4);
  EXPECT_EQ(CopyRect(dst.get(), 4, 0, src.get(), 0, 0, 2, 2), status::kNothingDone);
  EXPECT_EQ(CopyRect(dst.get(), -3, 0, src.get(), 0, 0, 3, 2), status::kNothingDone);
  EXPECT_EQ(CopyRect(dst.get(), 0, 0, src.get(), 0, 0, 0, 2), status::kNothingDone);
  EXPECT_EQ(CopyRect(dst.get(), 0, 0, src.get(), 7, 7, 2, 2), status::kInvalidArgument);
  EXPECT_EQ(CopyRect(dst.get(), 0, 0, src.get(), 9, 0, kToEdge, 1), status::kInvalidArgument);
  for (uint32_t y = 0; y < 4; ++y)
    for (uint32_t x = 0; x < 4; ++x) EXPECT_EQ(At<uint8_t>(dst.get(), x, y), 0x77);
}

TEST(CopyRect, OtherFormatsAreConvertedFirst) {
  RefPtr<ImageBuffer> grey = Numbered(PF::Gray8, 8, 8);
  RefPtr<ImageBuffer> dst = Make(PF::Bgra8, 4, 4);
  EXPECT_EQ(CopyRect(dst.get(), 1, 1, grey.get(), 2, 3, 2, 2), status::kOk);
  EXPECT_EQ(Bgra8(dst.get(), 1, 1), 0xFF000000u | 0x010101u * (3 * 16 + 2));
  EXPECT_EQ(Bgra8(dst.get(), 2, 2), 0xFF000000u | 0x010101u * (4 * 16 + 3));

  // Into an indexed target the colours are matched to the target's palette.
  RefPtr<ImageBuffer> indexed = Make(PF::Indexed8, 2, 1);
  indexed->Palette()[0] = 0xFF0000FF;  // blue
  indexed->Palette()[1] = 0xFFFF0000;  // red
  for (uint32_t i = 2; i < 256; ++i) indexed->Palette()[i] = 0xFF00FF00;  // green
  RefPtr<ImageBuffer> colour = Make(PF::Bgra8, 2, 1);
  At<uint32_t>(colour.get(), 0, 0) = 0xFFF01010;  // nearly red
  At<uint32_t>(colour.get(), 1, 0) = 0xFF1010F0;  // nearly blue
  EXPECT_EQ(CopyRect(indexed.get(), 0, 0, colour.get(), 0, 0, 2, 1), status::kOk);
  EXPECT_EQ(At<uint8_t>(indexed.get(), 0, 0), 1);
  EXPECT_EQ(At<uint8_t>(indexed.get(), 1, 0), 0);
}

TEST(CopyRect, OverlappingCopyWithinOneBufferMovesTheOriginalPixels) {
  RefPtr<ImageBuffer> b = Numbered(PF::Gray8, 8, 8);
  RefPtr<ImageBuffer> original = Convert(b.get(), PF::SameAsSource, false, false);
  EXPECT_EQ(CopyRect(b.get(), 1, 1, b.get(), 0, 0, 6, 6), status::kOk);
  for (uint32_t y = 0; y < 6; ++y)
    for (uint32_t x = 0; x < 6; ++x)
      EXPECT_EQ(At<uint8_t>(b.get(), x + 1, y + 1), At<uint8_t>(original.get(), x, y));
  EXPECT_EQ(CopyRect(b.get(), 0, 0, b.get(), 1, 1, 6, 6), status::kOk);
  for (uint32_t y = 0; y < 6; ++y)
    for (uint32_t x = 0; x < 6; ++x)
      EXPECT_EQ(At<uint8_t>(b.get(), x, y), At<uint8_t>(original.get(), x, y));
}

}  // namespace
}  // namespace vt
