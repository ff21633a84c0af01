// Turning, mirroring and cropping, checked against a reference built from the
// plain operations one at a time: a counter-clockwise quarter turn (target
// row j is source column W - 1 - j read top to bottom), a top-to-bottom flip
// and a left-to-right flip.
#include "render/orientation.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "image/image_buffer.h"
#include "support/test_support.h"

namespace vt {
namespace {

using PF = PixelFormat;

// A plane of pixel numbers: the reference moves numbers, not pixels.
struct Grid {
  uint32_t w, h;
  std::vector<uint32_t> at;  // row by row
  uint32_t Get(uint32_t x, uint32_t y) const { return at[size_t{y} * w + x]; }
};

Grid TurnLeft(const Grid& g) {
  Grid out{g.h, g.w, std::vector<uint32_t>(g.at.size())};
  for (uint32_t j = 0; j < out.h; ++j)
    for (uint32_t i = 0; i < out.w; ++i) out.at[size_t{j} * out.w + i] = g.Get(g.w - 1 - j, i);
  return out;
}
Grid FlipVertical(const Grid& g) {
  Grid out = g;
  for (uint32_t y = 0; y < g.h; ++y)
    for (uint32_t x = 0; x < g.w; ++x) out.at[size_t{y} * g.w + x] = g.Get(x, g.h - 1 - y);
  return out;
}
Grid FlipHorizontal(const Grid& g) {
  Grid out = g;
  for (uint32_t y = 0; y < g.h; ++y)
    for (uint32_t x = 0; x < g.w; ++x) out.at[size_t{y} * g.w + x] = g.Get(g.w - 1 - x, y);
  return out;
}

Grid Reference(uint32_t w, uint32_t h, uint8_t code) {
  Grid g{w, h, std::vector<uint32_t>(size_t{w} * h)};
  for (size_t i = 0; i < g.at.size(); ++i) g.at[i] = static_cast<uint32_t>(i);
  for (int t = 0; t < (code & 3); ++t) g = TurnLeft(g);
  if (code & kVerticalMirror) g = FlipVertical(g);
  if (code & kHorizontalMirror) g = FlipHorizontal(g);
  return g;
}

// Pixel number n written into every byte group of a pixel, recoverable from it.
void PutNumber(uint8_t* p, uint32_t bpp, uint32_t n) {
  for (uint32_t k = 0; k < bpp; ++k) p[k] = static_cast<uint8_t>(n * 7 + k);
}
uint32_t NumberAt(const uint8_t* p) { return p[0]; }

TEST(Orient, EveryCodeOfEveryFormatMatchesTheStepByStepReference) {
  // 7 x 3: not square, and 21 pixels keep their numbers apart in one byte
  // (n x 7 mod 256 differs for n < 37).
  constexpr uint32_t kW = 7, kH = 3;
  for (PF f : {PF::Bgra8, PF::Bgra16, PF::BgraFloat, PF::Gray8, PF::Gray16, PF::GrayFloat, PF::Indexed8}) {
    RefPtr<ImageBuffer> source = ImageBuffer::Create(f, kW, kH);
    ASSERT_TRUE(source);
    const uint32_t bpp = source->BytesPerPixel();
    for (uint32_t y = 0; y < kH; ++y)
      for (uint32_t x = 0; x < kW; ++x) PutNumber(source->Row(y) + x * bpp, bpp, y * kW + x);
    if (f == PF::Indexed8) source->Palette()[5] = 0x12345678;
    source->SetAlpha(AlphaMode::Straight);
    for (uint8_t code = 0; code < 16; ++code) {
      SCOPED_TRACE(testing::Message() << PixelFormatName(f) << " code " << int(code));
      // Both mirrors together are a half turn.
      const Grid want = Reference(kW, kH, code);
      RefPtr<ImageBuffer> target = ImageBuffer::Create(f, want.w, want.h);
      ASSERT_EQ(Orient(target.get(), source.get(), code), status::kOk);
      EXPECT_EQ(target->Alpha(), AlphaMode::Straight);
      if (f == PF::Indexed8) {
        EXPECT_EQ(target->Palette()[5], 0x12345678u);
      }
      for (uint32_t y = 0; y < want.h; ++y)
        for (uint32_t x = 0; x < want.w; ++x) {
          const uint8_t* p = target->Row(y) + x * bpp;
          ASSERT_EQ(NumberAt(p), uint8_t(want.Get(x, y) * 7)) << x << "," << y;
          uint8_t whole[16];
          PutNumber(whole, bpp, want.Get(x, y));
          ASSERT_EQ(std::memcmp(p, whole, bpp), 0) << "the whole pixel moves";
        }
      // A target of the unturned size is refused when the code turns.
      if (SwapsSides(code)) {
        RefPtr<ImageBuffer> wrong = ImageBuffer::Create(f, kW, kH);
        EXPECT_EQ(Orient(wrong.get(), source.get(), code), status::kInvalidArgument);
      }
    }
  }
}

TEST(Orient, LargeTurnsCrossTileEdges) {
  // Sizes off the copy's tiling, so that partial tiles are exercised.
  constexpr uint32_t kW = 131, kH = 70;
  RefPtr<ImageBuffer> source = ImageBuffer::Create(PF::Bgra8, kW, kH);
  for (uint32_t y = 0; y < kH; ++y)
    for (uint32_t x = 0; x < kW; ++x) reinterpret_cast<uint32_t*>(source->Row(y))[x] = y * kW + x;
  for (uint8_t code : {1, 3, 5, 7, 10}) {
    const Grid want = Reference(kW, kH, code);
    RefPtr<ImageBuffer> target = ImageBuffer::Create(PF::Bgra8, want.w, want.h);
    ASSERT_EQ(Orient(target.get(), source.get(), code), status::kOk);
    for (uint32_t y = 0; y < want.h; ++y)
      for (uint32_t x = 0; x < want.w; ++x)
        ASSERT_EQ(reinterpret_cast<uint32_t*>(target->Row(y))[x], want.Get(x, y)) << int(code);
  }
}

TEST(Orient, AnotherTargetFormatIsConvertedFirst) {
  RefPtr<ImageBuffer> source = ImageBuffer::Create(PF::Gray8, 3, 2);
  for (uint32_t y = 0; y < 2; ++y)
    for (uint32_t x = 0; x < 3; ++x) source->Row(y)[x] = static_cast<uint8_t>(10 * (y * 3 + x));
  RefPtr<ImageBuffer> target = ImageBuffer::Create(PF::Bgra8, 2, 3);
  ASSERT_EQ(Orient(target.get(), source.get(), 1), status::kOk);
  // Top-left of the turned image: the source's top-right pixel.
  EXPECT_EQ(reinterpret_cast<uint32_t*>(target->Row(0))[0], 0xFF141414u);
}

TEST(Crop, CopiesTheRectangleAndRefusesWhatDoesNotFit) {
  RefPtr<ImageBuffer> source = ImageBuffer::Create(PF::Bgra16, 10, 8);
  for (uint32_t y = 0; y < 8; ++y)
    for (uint32_t x = 0; x < 10; ++x)
      for (int c = 0; c < 4; ++c) reinterpret_cast<uint16_t*>(source->Row(y))[4 * x + c] = uint16_t(1000 * y + x);
  source->SetAlpha(AlphaMode::Premultiplied);
  source->Properties().Set(PropertyId::Comment, u"kept");
  RefPtr<ImageBuffer> target = ImageBuffer::Create(PF::Bgra16, 4, 3);
  ASSERT_EQ(Crop(target.get(), source.get(), 6, 5), status::kOk);
  for (uint32_t y = 0; y < 3; ++y)
    for (uint32_t x = 0; x < 4; ++x)
      EXPECT_EQ(reinterpret_cast<uint16_t*>(target->Row(y))[4 * x + 2], 1000 * (y + 5) + x + 6);
  EXPECT_EQ(target->Alpha(), AlphaMode::Premultiplied);
  ASSERT_TRUE(target->Properties().Get(PropertyId::Comment));
  EXPECT_EQ(*target->Properties().Get(PropertyId::Comment), u"kept");

  struct Bad {
    int32_t x, y;
    PF format;
  };
  for (const Bad& b : {Bad{7, 5, PF::Bgra16}, Bad{6, 6, PF::Bgra16}, Bad{-1, 0, PF::Bgra16}, Bad{0, 0, PF::Bgra8}}) {
    RefPtr<ImageBuffer> t = ImageBuffer::Create(b.format, 4, 3);
    EXPECT_EQ(Crop(t.get(), source.get(), b.x, b.y), status::kInvalidArgument) << b.x << "," << b.y;
  }
  EXPECT_EQ(Crop(source.get(), source.get(), 0, 0), status::kInvalidArgument);
}

}  // namespace
}  // namespace vt
