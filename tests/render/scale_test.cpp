#include "render/scale.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/tasks.h"
#include "image/image_buffer.h"
#include "render/scale_kernels.h"
#include "render/scale_reference.h"
#include "support/test_support.h"

namespace vt {
namespace {

using test::RandomImage;
using test::ReferenceBox;
using test::ReferenceCubic;
using test::SamePixels;

constexpr PixelFormat kFormats[] = {PixelFormat::Bgra8, PixelFormat::Bgra16,
                                    PixelFormat::BgraFloat, PixelFormat::Gray8,
                                    PixelFormat::Gray16, PixelFormat::GrayFloat};

RefPtr<ImageBuffer> Scaled(ImageBuffer* src, uint32_t w, uint32_t h, PixelFormat f) {
  RefPtr<ImageBuffer> t = ImageBuffer::Create(f, w, h);
  EXPECT_EQ(Scale(t.get(), src, 0, nullptr), status::kOk) << w << "x" << h;
  return t;
}

TEST(CubicTable, HasTheFixedRowsAndNearUnitSums) {
  const int16_t expected[][5] = {{0, 0, 16384, 0, 0},         {1, -31, 16383, 32, 0},
                                 {64, -1151, 14208, 3712, -383}, {128, -1023, 9216, 9216, -1023},
                                 {192, -383, 3712, 14208, -1151}, {255, 0, 32, 16383, -31}};
  for (const auto& row : expected) {
    const int16_t* t = CubicTaps(row[0]);
    for (int k = 0; k < 4; ++k) EXPECT_EQ(t[k], row[k + 1]) << "phase " << row[0] << " tap " << k;
  }
  for (uint32_t p = 0; p < 256; ++p) {
    const int16_t* t = CubicTaps(p);
    const float* f = CubicTapsFloat(p);
    int sum = 0;
    for (int k = 0; k < 4; ++k) {
      sum += t[k];
      EXPECT_EQ(t[k], test::ReferenceTap(p, k)) << "phase " << p;
      EXPECT_EQ(CubicTapsNormalized(p)[k], test::ReferenceNormalizedTap(p, k));
      EXPECT_EQ(f[k], float(CubicTapsNormalized(p)[k]) * 6.1035156e-5f);
    }
    EXPECT_GE(sum, 16384) << "phase " << p;
    EXPECT_LE(sum, 16387) << "phase " << p;
    const int16_t* n = CubicTapsNormalized(p);
    EXPECT_EQ(n[0] + n[1] + n[2] + n[3], 16384) << "phase " << p;
  }
}

// The size rules decide between box, cubic and cubic-then-box; each result must
// equal the reference built the way the rule says.
TEST(Resample, PicksBoxCubicOrBothBySize) {
  RefPtr<ImageBuffer> src = RandomImage(PixelFormat::Bgra8, 1024, 1024, 7);
  RefPtr<ImageBuffer> box4 = Scaled(src.get(), 256, 256, PixelFormat::Bgra8);
  EXPECT_TRUE(SamePixels(box4.get(), ReferenceBox(src.get(), 4).get()));

  RefPtr<ImageBuffer> cubic = Scaled(src.get(), 600, 600, PixelFormat::Bgra8);
  RefPtr<ImageBuffer> ref600 = ReferenceCubic(src.get(), 600, 600);
  EXPECT_TRUE(SamePixels(cubic.get(), ref600.get()));

  RefPtr<ImageBuffer> both = Scaled(src.get(), 300, 300, PixelFormat::Bgra8);
  EXPECT_TRUE(SamePixels(both.get(), ReferenceBox(ref600.get(), 2).get()));

  // One channel keeps the slow reference quick.
  RefPtr<ImageBuffer> gray = RandomImage(PixelFormat::Gray8, 1024, 1024, 8);
  RefPtr<ImageBuffer> both4 = Scaled(gray.get(), 200, 200, PixelFormat::Gray8);
  RefPtr<ImageBuffer> ref800 = ReferenceCubic(gray.get(), 800, 800);
  EXPECT_TRUE(SamePixels(both4.get(), ReferenceBox(ref800.get(), 4).get()));
}

// Every format, up and down, square and skewed sizes, odd widths that leave
// vector tails and edge columns on both sides.
TEST(Resample, MatchesReferenceInEveryFormatAndDirection) {
  const uint32_t sizes[][4] = {{37, 23, 53, 41},  {53, 41, 37, 23}, {64, 64, 32, 33},
                               {40, 30, 20, 15},  {19, 7, 61, 3},   {3, 61, 2, 100},
                               {100, 80, 45, 39}, {2, 2, 9, 9},     {9, 1, 4, 1},
                               {1, 9, 1, 4},      {33, 17, 33, 40}, {17, 33, 40, 33}};
  uint32_t seed = 1;
  for (PixelFormat f : kFormats) {
    for (const auto& s : sizes) {
      RefPtr<ImageBuffer> src = RandomImage(f, s[0], s[1], ++seed);
      RefPtr<ImageBuffer> got = ImageBuffer::Create(f, s[2], s[3]);
      ASSERT_EQ(Resample(got.get(), src.get(), nullptr), status::kOk);
      // Sizes where both sides at least halve take the box stage too.
      RefPtr<ImageBuffer> want;
      float tol = 0;  // a float box mean depends on the order of its additions
      if (s[2] <= s[0] / 2 && s[3] <= s[1] / 2) {
        tol = 1e-5f;
        uint32_t k = 1;
        while ((s[2] << (k + 1)) <= s[0] && (s[3] << (k + 1)) <= s[1]) ++k;
        RefPtr<ImageBuffer> mid = ReferenceCubic(src.get(), s[2] << k, s[3] << k);
        want = ReferenceBox(mid.get(), 1u << k);
      } else {
        want = ReferenceCubic(src.get(), s[2], s[3]);
      }
      EXPECT_TRUE(tol ? test::NearPixels(got.get(), want.get(), tol)
                      : SamePixels(got.get(), want.get()))
          << PixelFormatName(f) << " " << s[0] << "x" << s[1] << " -> " << s[2] << "x" << s[3];
    }
  }
}

TEST(Resample, ExtremeContrastSaturatesLikeTheFormula) {
  // Alternating black and white columns drive the 8-bit intermediate past the
  // 16-bit range at phase 128 (2 x 9216 x 255 / 128 > 32767).
  RefPtr<ImageBuffer> src = ImageBuffer::Create(PixelFormat::Bgra8, 40, 6);
  for (uint32_t y = 0; y < 6; ++y)
    for (uint32_t x = 0; x < 40; ++x)
      std::memset(src->Row(y) + 4 * x, (x / 2) % 2 ? 255 : 0, 4);
  for (uint32_t w : {27u, 80u, 57u}) {
    RefPtr<ImageBuffer> got = Scaled(src.get(), w, 5, PixelFormat::Bgra8);
    EXPECT_TRUE(SamePixels(got.get(), ReferenceCubic(src.get(), w, 5).get())) << w;
  }
}

TEST(Resample, SameSizeCopiesAndOnePixelRepeats) {
  for (PixelFormat f : kFormats) {
    RefPtr<ImageBuffer> src = RandomImage(f, 31, 17, 99);
    RefPtr<ImageBuffer> same = ImageBuffer::Create(f, 31, 17);
    ASSERT_EQ(Resample(same.get(), src.get(), nullptr), status::kOk);
    EXPECT_TRUE(SamePixels(same.get(), src.get())) << PixelFormatName(f);

    // Integer samples repeat exactly (every level is tried); float sums of
    // four products may differ from the sample in the last place.
    for (uint32_t seed = 0; seed < (f == PixelFormat::Gray8 ? 256u : 8u); ++seed) {
      RefPtr<ImageBuffer> one = RandomImage(f, 1, 1, seed);
      if (f == PixelFormat::Gray8) one->Row(0)[0] = uint8_t(seed);
      RefPtr<ImageBuffer> big = Scaled(one.get(), 45, 13, f);
      RefPtr<ImageBuffer> flat = ImageBuffer::Create(f, 45, 13);
      const uint32_t bpp = one->BytesPerPixel();
      for (uint32_t y = 0; y < 13; ++y)
        for (uint32_t x = 0; x < 45; ++x) std::memcpy(flat->Row(y) + x * bpp, one->Row(0), bpp);
      ASSERT_TRUE(test::NearPixels(big.get(), flat.get(), 1e-6f)) << PixelFormatName(f);
    }
  }
}

TEST(BoxReduce, EveryFactorAndFormatIsTheRoundedMean) {
  uint32_t seed = 40;
  for (PixelFormat f : kFormats) {
    for (uint32_t factor : {2u, 4u, 8u, 16u}) {
      // Widths that are not multiples of the factor leave columns unused.
      for (uint32_t w : {factor * 5 + factor - 1, factor * 13}) {
        RefPtr<ImageBuffer> src = RandomImage(f, w, factor * 3 + 1, ++seed);
        RefPtr<ImageBuffer> got = ImageBuffer::Create(f, w / factor, 3);
        ASSERT_EQ(BoxReduce(got.get(), src.get(), nullptr), status::kOk);
        RefPtr<ImageBuffer> want = ReferenceBox(src.get(), factor);
        if (IsFloatFormat(f)) {
          // The mean of floats depends on the order of the additions.
          for (uint32_t y = 0; y < 3; ++y)
            for (uint32_t i = 0; i < got->Width() * test::Channels(f); ++i)
              ASSERT_NEAR(reinterpret_cast<float*>(got->Row(y))[i],
                          reinterpret_cast<float*>(want->Row(y))[i], 1e-5);
        } else {
          EXPECT_TRUE(SamePixels(got.get(), want.get()))
              << PixelFormatName(f) << " by " << factor << " width " << w;
        }
      }
    }
  }
}

TEST(BoxReduce, AllWhiteStaysWhiteAtSixteen) {
  // 256 samples of 255 plus the rounding half is the largest 16-bit column sum.
  RefPtr<ImageBuffer> src = ImageBuffer::Create(PixelFormat::Bgra8, 64, 32);
  for (uint32_t y = 0; y < 32; ++y) std::memset(src->Row(y), 255, 64 * 4);
  RefPtr<ImageBuffer> got = ImageBuffer::Create(PixelFormat::Bgra8, 4, 2);
  ASSERT_EQ(BoxReduce(got.get(), src.get(), nullptr), status::kOk);
  for (uint32_t y = 0; y < 2; ++y)
    for (uint32_t i = 0; i < 16; ++i) EXPECT_EQ(got->Row(y)[i], 255);
}

TEST(Resample, ReductionsBeyondSixteenChainBoxPasses) {
  RefPtr<ImageBuffer> src = RandomImage(PixelFormat::Gray8, 640, 320, 3);
  RefPtr<ImageBuffer> got = Scaled(src.get(), 10, 5, PixelFormat::Gray8);  // by 64
  RefPtr<ImageBuffer> exact = ReferenceBox(src.get(), 64);
  for (uint32_t y = 0; y < 5; ++y)
    for (uint32_t x = 0; x < 10; ++x) EXPECT_NEAR(got->Row(y)[x], exact->Row(y)[x], 1);
}

TEST(Scale, RejectsBadArgumentsAndFormats) {
  RefPtr<ImageBuffer> a = ImageBuffer::Create(PixelFormat::Bgra8, 8, 8);
  RefPtr<ImageBuffer> b = ImageBuffer::Create(PixelFormat::Bgra8, 4, 3);
  RefPtr<ImageBuffer> g = ImageBuffer::Create(PixelFormat::Gray8, 4, 3);
  RefPtr<ImageBuffer> i8 = ImageBuffer::Create(PixelFormat::Indexed8, 8, 8);
  RefPtr<ImageBuffer> i4 = ImageBuffer::Create(PixelFormat::Indexed8, 4, 4);
  EXPECT_EQ(Scale(nullptr, a.get(), 0, nullptr), status::kInvalidArgument);
  EXPECT_EQ(Scale(b.get(), nullptr, 0, nullptr), status::kInvalidArgument);
  EXPECT_EQ(Scale(b.get(), a.get(), 1, nullptr), status::kInvalidArgument);
  EXPECT_EQ(Scale(b.get(), a.get(), 3, nullptr), status::kOk);
  EXPECT_EQ(Scale(a.get(), a.get(), 0, nullptr), status::kOk);
  EXPECT_EQ(Resample(g.get(), a.get(), nullptr), status::kGeneralFailure);
  EXPECT_EQ(Resample(i4.get(), i8.get(), nullptr), status::kUnsupportedColourFormat);
  EXPECT_EQ(BoxReduce(i4.get(), i8.get(), nullptr), status::kUnsupportedColourFormat);
  EXPECT_EQ(BoxReduce(g.get(), a.get(), nullptr), status::kGeneralFailure);
  EXPECT_EQ(BoxReduce(b.get(), a.get(), nullptr), status::kInvalidArgument);  // 8/4 but 8/3
  RefPtr<ImageBuffer> c = ImageBuffer::Create(PixelFormat::Bgra8, 3, 3);
  EXPECT_EQ(BoxReduce(c.get(), a.get(), nullptr), status::kInvalidArgument);  // 8/3
  RefPtr<ImageBuffer> empty = ImageBuffer::Create(PixelFormat::Bgra8, 0, 5);
  if (empty) {
    EXPECT_EQ(Scale(empty.get(), a.get(), 0, nullptr), status::kOk);
  }
}

TEST(Scale, MatchesFormatsThroughConversions) {
  RefPtr<ImageBuffer> wide = RandomImage(PixelFormat::Bgra16, 50, 40, 11);
  // Colour 16-bit into an 8-bit target: resampled at 16 bits, then converted.
  RefPtr<ImageBuffer> got = Scaled(wide.get(), 30, 70, PixelFormat::Bgra8);
  RefPtr<ImageBuffer> mid = ImageBuffer::Create(PixelFormat::Bgra16, 30, 70);
  ASSERT_EQ(Resample(mid.get(), wide.get(), nullptr), status::kOk);
  RefPtr<ImageBuffer> want = Convert(mid.get(), PixelFormat::Bgra8, false, false);
  EXPECT_TRUE(SamePixels(got.get(), want.get()));

  // Colour into grey: converted first, then resampled in grey.
  RefPtr<ImageBuffer> colour = RandomImage(PixelFormat::Bgra8, 50, 40, 12);
  got = Scaled(colour.get(), 21, 13, PixelFormat::Gray8);
  RefPtr<ImageBuffer> grey = Convert(colour.get(), PixelFormat::Gray8, false, false);
  RefPtr<ImageBuffer> want2 = ImageBuffer::Create(PixelFormat::Gray8, 21, 13);
  ASSERT_EQ(Resample(want2.get(), grey.get(), nullptr), status::kOk);
  EXPECT_TRUE(SamePixels(got.get(), want2.get()));

  // A palette image is expanded before it is resampled.
  RefPtr<ImageBuffer> pal = ImageBuffer::Create(PixelFormat::Indexed8, 20, 20);
  for (uint32_t i = 0; i < 256; ++i) pal->Palette()[i] = 0xFF000000u | (i * 0x010203u);
  for (uint32_t y = 0; y < 20; ++y)
    for (uint32_t x = 0; x < 20; ++x) pal->Row(y)[x] = uint8_t(x * 13 + y * 7);
  got = Scaled(pal.get(), 35, 9, PixelFormat::Bgra8);
  RefPtr<ImageBuffer> expanded = Convert(pal.get(), PixelFormat::Bgra8, false, false);
  EXPECT_TRUE(SamePixels(got.get(), ReferenceCubic(expanded.get(), 35, 9).get()));

  // Same size: a conversion only.
  got = Scaled(wide.get(), 50, 40, PixelFormat::Gray16);
  RefPtr<ImageBuffer> conv = Convert(wide.get(), PixelFormat::Gray16, false, false);
  EXPECT_TRUE(SamePixels(got.get(), conv.get()));
}

TEST(Resample, StripesOnManyThreadsGiveTheSameResult) {
  RefPtr<ImageBuffer> src = RandomImage(PixelFormat::Bgra8, 700, 500, 21);
  const uint32_t saved = ParallelThreadCount();
  SetParallelThreadCount(1);
  RefPtr<ImageBuffer> one = Scaled(src.get(), 333, 999, PixelFormat::Bgra8);
  RefPtr<ImageBuffer> box1 = Scaled(src.get(), 175, 125, PixelFormat::Bgra8);
  SetParallelThreadCount(6);
  RefPtr<ImageBuffer> many = Scaled(src.get(), 333, 999, PixelFormat::Bgra8);
  RefPtr<ImageBuffer> boxN = Scaled(src.get(), 175, 125, PixelFormat::Bgra8);
  SetParallelThreadCount(saved);
  EXPECT_TRUE(SamePixels(one.get(), many.get()));
  EXPECT_TRUE(SamePixels(box1.get(), boxN.get()));
}

TEST(Resample, StopsWhenCancelled) {
  RefPtr<ImageBuffer> src = RandomImage(PixelFormat::Bgra8, 300, 300, 2);
  CancelFlag cancel;
  cancel.Set();
  for (uint32_t size : {200u, 150u, 90u}) {  // cubic, box, cubic then box
    RefPtr<ImageBuffer> t = ImageBuffer::Create(PixelFormat::Bgra8, size, size);
    EXPECT_EQ(Scale(t.get(), src.get(), 0, &cancel), status::kCancelled) << size;
  }
}

// Against an outside implementation of a cubic resize: a smooth image reduced
// by both must agree to within a few levels (the filters differ in support and
// sample alignment, not in what they make of smooth content).
TEST(Quality, SmoothImageAgreesWithPillowBicubic) {
  // The system's interpreter first: that is where the distribution's package goes.
  std::string python;
  for (const char* candidate : {"/usr/bin/python3", "python3"}) {
    const std::string probe = std::string(candidate) + " -c 'import PIL' >/dev/null 2>&1";
    if (std::system(probe.c_str()) == 0) {
      python = candidate;
      break;
    }
  }
  if (python.empty()) GTEST_SKIP() << "python3-pil is not installed";
  const uint32_t w = 480, h = 360, dw = 200, dh = 150;
  RefPtr<ImageBuffer> src = ImageBuffer::Create(PixelFormat::Gray8, w, h);
  for (uint32_t y = 0; y < h; ++y)
    for (uint32_t x = 0; x < w; ++x)
      src->Row(y)[x] = uint8_t(127.5 + 100 * std::sin(x / 37.0) * std::cos(y / 29.0) + 20 * x / w);
  test::TempDir dir;
  std::string pgm = "P5\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
  for (uint32_t y = 0; y < h; ++y) pgm.append(reinterpret_cast<char*>(src->Row(y)), w);
  const std::string in = dir.Write("in.pgm", pgm);
  const std::string out = dir.Path() + "/out.pgm";
  const std::string cmd = python + " -c \"from PIL import Image; Image.open('" + in + "').resize((" +
                          std::to_string(dw) + "," + std::to_string(dh) +
                          "), Image.BICUBIC).save('" + out + "')\"";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  const std::string ref = test::ReadFileBytes(out);
  ASSERT_GE(ref.size(), size_t(dw) * dh);
  const uint8_t* refPixels =
      reinterpret_cast<const uint8_t*>(ref.data()) + (ref.size() - size_t(dw) * dh);

  RefPtr<ImageBuffer> got = Scaled(src.get(), dw, dh, PixelFormat::Gray8);
  double total = 0;
  int worst = 0;
  for (uint32_t y = 0; y < dh; ++y)
    for (uint32_t x = 0; x < dw; ++x) {
      const int d = std::abs(int(got->Row(y)[x]) - int(refPixels[y * dw + x]));
      worst = std::max(worst, d);
      total += d;
    }
  // Ours samples at i x step, theirs at pixel centres: a shift of 0.7 source
  // pixels at this ratio, worth up to ~3 levels on the steepest slopes here.
  EXPECT_LE(total / (dw * dh), 1.5);
  EXPECT_LE(worst, 5);
}

// A part of the scaled image, made on its own, is exactly that place of the
// whole scaled image: through the cubic taps that reach across the part's
// edges, the box stage after them, and every format.
TEST(ResampleArea, APartIsExactlyThatPlaceOfTheWholeScaledImage) {
  struct Case {
    uint32_t sw, sh, dw, dh;
  };
  const Case sizes[] = {
      {37, 23, 296, 184},  // 8 x: each source pixel spreads over eight
      {37, 23, 88, 55},    // 2.38 x
      {37, 23, 140, 23},   // wider only (an aspect factor)
      {97, 61, 40, 25},    // cubic to 80 x 50, then 2 x 2 boxes
      {97, 61, 20, 12},    // cubic to 80 x 48, then 4 x 4 boxes
      {96, 64, 24, 16},    // 4 x 4 boxes alone
      {37, 23, 37, 23},    // the same size: a copy
      {1100, 70, 30, 2},   // a reduction by 32: made whole, then cut
  };
  // Parts at the corners, across the middle, one pixel, one row, a column.
  const auto areas = [](uint32_t w, uint32_t h) {
    return std::vector<ScaleArea>{{w, h, 0, 0, w / 3 + 1, h / 3 + 1},
                                  {w, h, w / 3, h / 4, w / 3 + 1, h / 2},
                                  {w, h, w - w / 3 - 1, h - h / 3 - 1, w / 3 + 1, h / 3 + 1},
                                  {w, h, w / 2, h / 2, 1, 1},
                                  {w, h, 0, h - 1, w, 1},
                                  {w, h, w - 1, 0, 1, h}};
  };
  uint32_t seed = 40;
  for (PixelFormat f :
       {PixelFormat::Bgra8, PixelFormat::Gray8, PixelFormat::Bgra16, PixelFormat::BgraFloat}) {
    for (const Case& c : sizes) {
      RefPtr<ImageBuffer> src = RandomImage(f, c.sw, c.sh, ++seed);
      RefPtr<ImageBuffer> whole = ImageBuffer::Create(f, c.dw, c.dh);
      ASSERT_EQ(Resample(whole.get(), src.get(), nullptr), status::kOk);
      for (const ScaleArea& a : areas(c.dw, c.dh)) {
        // Into a larger buffer at an offset, as a tile of the display takes it.
        RefPtr<ImageBuffer> part = ImageBuffer::Create(f, a.width + 5, a.height + 3);
        ASSERT_EQ(ResampleArea(part.get(), 3, 2, src.get(), a, nullptr), status::kOk);
        RefPtr<ImageBuffer> got = ImageBuffer::Create(f, a.width, a.height);
        RefPtr<ImageBuffer> want = ImageBuffer::Create(f, a.width, a.height);
        ASSERT_EQ(CopyRect(got.get(), 0, 0, part.get(), 3, 2, a.width, a.height), status::kOk);
        ASSERT_EQ(CopyRect(want.get(), 0, 0, whole.get(), a.x, a.y, a.width, a.height),
                  status::kOk);
        EXPECT_TRUE(SamePixels(got.get(), want.get()))
            << PixelFormatName(f) << " " << c.sw << "x" << c.sh << " -> " << c.dw << "x" << c.dh
            << " part " << a.x << "," << a.y << " " << a.width << "x" << a.height;
      }
    }
  }
  // A part outside the scaled image or the target is refused.
  RefPtr<ImageBuffer> src = RandomImage(PixelFormat::Bgra8, 8, 8, 1);
  RefPtr<ImageBuffer> t = ImageBuffer::Create(PixelFormat::Bgra8, 4, 4);
  EXPECT_EQ(ResampleArea(t.get(), 0, 0, src.get(), {16, 16, 14, 0, 4, 4}, nullptr),
            status::kInvalidArgument);
  EXPECT_EQ(ResampleArea(t.get(), 1, 0, src.get(), {16, 16, 0, 0, 4, 4}, nullptr),
            status::kInvalidArgument);
}

}  // namespace
}  // namespace vt
