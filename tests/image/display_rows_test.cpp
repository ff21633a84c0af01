#include "image/display_rows.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace vt {
namespace {

using PF = PixelFormat;
constexpr uint32_t kBlack = 0xFF000000u;

struct RowCase {
  const char* name;
  PF format;
  bool display;
  AlphaMode alpha;
  uint32_t stored;  // a Bgra8 word, or the 8-bit sample of a grey or palette image
  RowAlpha mode;
  uint32_t expected;
};

// Every display format in memory and display buffers, every alpha mode of the
// image against every way of passing it on. Straight 0x80FF8081 premultiplies
// to red 128, green 64, blue 65 (64.75 rounded to nearest). Grey and palette
// images are opaque whatever their tables' fourth bytes and alpha mode say.
const RowCase kCases[] = {
    {"bgra none as stored", PF::Bgra8, false, AlphaMode::None, 0x20406080u, RowAlpha::kAsStored, 0xFF406080u},
    {"bgra none premultiplied", PF::Bgra8, true, AlphaMode::None, 0x20406080u, RowAlpha::kPremultiplied, 0xFF406080u},
    {"bgra straight opaque", PF::Bgra8, false, AlphaMode::Straight, 0x80FF8000u, RowAlpha::kOpaque, 0xFFFF8000u},
    {"bgra straight as stored", PF::Bgra8, true, AlphaMode::Straight, 0x80FF8000u, RowAlpha::kAsStored, 0x80FF8000u},
    {"bgra straight premultiplied", PF::Bgra8, true, AlphaMode::Straight, 0x80FF8081u, RowAlpha::kPremultiplied,
     0x80804041u},
    {"bgra straight clear", PF::Bgra8, false, AlphaMode::Straight, 0x00FFFFFFu, RowAlpha::kPremultiplied, 0u},
    {"bgra premultiplied kept", PF::Bgra8, false, AlphaMode::Premultiplied, 0x80804000u, RowAlpha::kPremultiplied,
     0x80804000u},
    {"bgra premultiplied opaque", PF::Bgra8, true, AlphaMode::Premultiplied, 0x80804000u, RowAlpha::kOpaque,
     0xFF804000u},
    {"grey memory", PF::Gray8, false, AlphaMode::None, 0x7Fu, RowAlpha::kAsStored, 0xFF7F7F7Fu},
    {"grey display", PF::Gray8, true, AlphaMode::None, 0x7Fu, RowAlpha::kPremultiplied, 0xFF7F7F7Fu},
    {"palette memory", PF::Indexed8, false, AlphaMode::Straight, 3, RowAlpha::kAsStored, 0xFF123456u},
    {"palette display", PF::Indexed8, true, AlphaMode::Straight, 3, RowAlpha::kPremultiplied, 0xFF123456u},
};

RefPtr<ImageBuffer> Filled(const RowCase& c, uint32_t width, uint32_t height) {
  RefPtr<ImageBuffer> image = ImageBuffer::Create(c.format, width, height, c.display);
  if (!image) return image;
  image->SetAlpha(c.alpha);
  if (c.format == PF::Indexed8) {
    uint32_t* palette = image->Palette();
    for (int i = 0; i < 256; ++i) palette[i] = 0xFF000000u | uint32_t(i);
    palette[3] = 0x00123456u;  // a fourth byte that must not show as alpha
    image->PaletteChanged();
  }
  for (uint32_t y = 0; y < height; ++y) {
    uint8_t* row = image->Row(y);
    for (uint32_t x = 0; x < width; ++x) {
      if (c.format == PF::Bgra8)
        std::memcpy(row + 4 * x, &c.stored, 4);
      else
        row[x] = uint8_t(c.stored);
    }
  }
  return image;
}

TEST(DisplayRowTo32, EachFormatAndAlphaModeWithTheColumnsOffTheImageBlack) {
  for (const RowCase& c : kCases) {
    SCOPED_TRACE(c.name);
    RefPtr<ImageBuffer> image = Filled(c, 3, 2);
    ASSERT_TRUE(image);
    // One column before the image and two after it.
    std::vector<uint32_t> out(6, 0x12345678u);
    DisplayRowTo32(*image, -1, 1, 6, c.mode, out.data());
    EXPECT_EQ(out, (std::vector<uint32_t>{kBlack, c.expected, c.expected, c.expected, kBlack, kBlack}));
    // Entirely off the image, above and below, left and right.
    for (const auto& [x, y] : {std::pair{0, -1}, {0, 2}, {-6, 0}, {3, 0}}) {
      std::fill(out.begin(), out.end(), 0u);
      DisplayRowTo32(*image, x, y, 6, c.mode, out.data());
      EXPECT_EQ(out, std::vector<uint32_t>(6, kBlack)) << x << "," << y;
    }
  }
}

TEST(DisplayRowTo32, OtherFormatsGiveBlackAndAnEmptyRunWritesNothing) {
  RefPtr<ImageBuffer> deep = ImageBuffer::Create(PF::Bgra16, 2, 1);
  ASSERT_TRUE(deep);
  std::memset(deep->Row(0), 0xFF, 16);
  std::vector<uint32_t> out(2, 0u);
  DisplayRowTo32(*deep, 0, 0, 2, RowAlpha::kAsStored, out.data());
  EXPECT_EQ(out, std::vector<uint32_t>(2, kBlack));

  RefPtr<ImageBuffer> image = Filled(kCases[0], 2, 1);
  ASSERT_TRUE(image);
  uint32_t untouched = 7;
  DisplayRowTo32(*image, 0, 0, 0, RowAlpha::kAsStored, &untouched);
  EXPECT_EQ(untouched, 7u);
}

}  // namespace
}  // namespace vt
