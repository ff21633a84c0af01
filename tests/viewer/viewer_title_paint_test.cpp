#include <gtest/gtest.h>

#include <cstring>
#include <optional>

#include "image/image_buffer.h"
#include "viewer/viewer_paint.h"
#include "viewer/viewer_title.h"

namespace vt {
namespace {

TEST(ZoomTextTest, KeepsOnlyTheDecimalsThatCount) {
  EXPECT_EQ(ZoomText(0.125), u"0.125x");
  EXPECT_EQ(ZoomText(0.25), u"0.25x");
  EXPECT_EQ(ZoomText(0.5), u"0.5x");
  EXPECT_EQ(ZoomText(2.0), u"2.0x");
  EXPECT_EQ(ZoomText(1.189207115002721), u"1.189x");
  EXPECT_EQ(ZoomText(0.2666), u"0.267x");
  EXPECT_EQ(ZoomText(12.3), u"12.3x");
}

TEST(ViewerTitleTest, ResolutionZoomAndFormatMarks) {
  TitleParts p;
  p.path = u"C:\\pictures\\photo.jpg";
  p.showResolution = true;
  p.width = 640;
  p.height = 480;
  p.depthText = u"24";
  p.zoom = 0.5;
  EXPECT_EQ(BuildViewerTitle(p), u"photo.jpg | 640\u2022480\u202224 | 0.5x | Vistrel");
  p.zoom = 1.0;
  EXPECT_EQ(BuildViewerTitle(p), u"photo.jpg | 640\u2022480\u202224 | Vistrel");
  // Single precision decides what counts as 1.0.
  p.zoom = 1.00000001;
  EXPECT_EQ(BuildViewerTitle(p), u"photo.jpg | 640\u2022480\u202224 | Vistrel");

  p.sourceFormat = PixelFormat::Gray16;
  EXPECT_EQ(BuildViewerTitle(p), u"photo.jpg | 640\u2022480\u202224 | w | Vistrel");
  p.sourceFormat = PixelFormat::BgraFloat;
  EXPECT_EQ(BuildViewerTitle(p), u"photo.jpg | 640\u2022480\u202224 | HDR | Vistrel");
  p.sourceFormat = PixelFormat::Indexed8;
  p.depthText = u"";
  EXPECT_EQ(BuildViewerTitle(p), u"photo.jpg | 640\u2022480\u2022? | i | Vistrel");

  p.showResolution = false;
  p.fullPath = true;
  p.pageText = u"2/5";
  p.slideshow = true;
  EXPECT_EQ(BuildViewerTitle(p), u"幻灯片 | C:\\pictures\\photo.jpg [2/5] | Vistrel");

  TitleParts unnamed;
  unnamed.imageName = u"<clipboard>";
  EXPECT_EQ(BuildViewerTitle(unnamed), u"<clipboard> | Vistrel");
}

TEST(ViewerPaintTest, CentringAndScrollClamping) {
  EXPECT_EQ(ImageOffset({300, 200}, {100, 80}), (ViewPoint{100, 60}));
  EXPECT_EQ(ImageOffset({301, 201}, {100, 80}), (ViewPoint{101, 61}));
  EXPECT_EQ(ImageOffset({300, 200}, {500, 80}), (ViewPoint{0, 60}));
  EXPECT_EQ(ClampScroll({900, -5}, {300, 200}, {500, 80}), (ViewPoint{200, 0}));
  EXPECT_EQ(ClampScroll({50, 50}, {300, 200}, {500, 400}), (ViewPoint{50, 50}));
}

RefPtr<ImageBuffer> Bgra(uint32_t w, uint32_t h, uint32_t fill) {
  RefPtr<ImageBuffer> b = ImageBuffer::Create(PixelFormat::Bgra8, w, h);
  for (uint32_t y = 0; y < h; ++y)
    for (uint32_t x = 0; x < w; ++x) std::memcpy(b->Row(y) + 4 * x, &fill, 4);
  b->SetAlpha(AlphaMode::Straight);
  return b;
}

void Set(ImageBuffer& b, uint32_t x, uint32_t y, uint32_t c) { std::memcpy(b.Row(y) + 4 * x, &c, 4); }

TEST(ViewerPaintTest, BackgroundIsTheMedianOfTheOpaqueSamples) {
  auto img = Bgra(9, 9, 0xFF000000u);
  // Corners white except one, centre white: the median is white.
  Set(*img, 0, 0, 0xFFFFFFFFu);
  Set(*img, 8, 0, 0xFFFFFFFFu);
  Set(*img, 0, 8, 0xFF102030u);
  Set(*img, 8, 8, 0xFFFFFFFFu);
  Set(*img, 4, 4, 0xFFFFFFFFu);
  EXPECT_EQ(SampleBackgroundColour(*img), 0xFFFFFFFFu);
  // Channels are sorted separately.
  Set(*img, 0, 0, 0xFF0000FFu);
  Set(*img, 8, 0, 0xFF00FF00u);
  Set(*img, 0, 8, 0xFFFF0000u);
  Set(*img, 8, 8, 0xFF010101u);
  Set(*img, 4, 4, 0xFF020202u);
  EXPECT_EQ(SampleBackgroundColour(*img), 0xFF010101u);
}

// Only what can be seen counts, each sample by its alpha; an image whose
// surroundings cannot be seen suggests nothing, so a picture on a transparent
// canvas is never put on a background of its own colour.
TEST(ViewerPaintTest, OnlyVisibleSamplesCountEachByItsAlpha) {
  struct Case {
    const char* what;
    uint32_t corners[4];
    uint32_t centre;
    AlphaMode mode;
    std::optional<uint32_t> expected;
  };
  const Case cases[] = {
      {"nothing visible", {0, 0, 0, 0}, 0, AlphaMode::Straight, std::nullopt},
      {"colour under alpha 0 means nothing",
       {0x00FF0000u, 0x00FF0000u, 0x00FF0000u, 0x00FF0000u},
       0x00FF0000u,
       AlphaMode::Straight,
       std::nullopt},
      // The red circle on a transparent canvas: only its centre is seen.
      {"picture on a transparent canvas",
       {0, 0, 0, 0},
       0xFFFF0000u,
       AlphaMode::Straight,
       std::nullopt},
      {"two corners and the centre",
       {0xFF0000FFu, 0, 0, 0xFF0000FFu},
       0xFF00FF00u,
       AlphaMode::Straight,
       0xFF0000FFu},
      // Four corners at alpha 128 outweigh an opaque centre.
      {"faint corners",
       {0x800000FFu, 0x800000FFu, 0x800000FFu, 0x800000FFu},
       0xFF00FF00u,
       AlphaMode::Straight,
       0xFF0000FFu},
      {"three samples' worth at alpha 171",
       {0xAB102030u, 0xAB102030u, 0xAB102030u, 0},
       0,
       AlphaMode::Straight,
       0xFF102030u},
      {"less at alpha 170",
       {0xAA102030u, 0xAA102030u, 0xAA102030u, 0},
       0,
       AlphaMode::Straight,
       std::nullopt},
      {"premultiplied colours are undone",
       {0x80400000u, 0x80400000u, 0x80400000u, 0x80400000u},
       0,
       AlphaMode::Premultiplied,
       0xFF800000u},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto img = Bgra(9, 9, c.centre);
    img->SetAlpha(c.mode);
    Set(*img, 0, 0, c.corners[0]);
    Set(*img, 8, 0, c.corners[1]);
    Set(*img, 0, 8, c.corners[2]);
    Set(*img, 8, 8, c.corners[3]);
    EXPECT_EQ(SampleBackgroundColour(*img), c.expected);
  }
}

// The checkerboard under a transparent image: squares counted from the shown
// image's corner, light first, blended by alpha; the result is opaque.
TEST(ViewerPaintTest, TransparencyOverTheCheckerboard) {
  auto img = Bgra(40, 20, 0x00000000u);
  Set(*img, 30, 10, 0xFF0000FFu);  // opaque blue
  Set(*img, 31, 10, 0x800000FFu);  // half blue
  // The part from (20, 5) of the image, 20 x 10, shown at (36, 5) of the shown
  // image, with squares of 8.
  RefPtr<ImageBuffer> out = OverCheckerboard(*img, {20, 5}, {20, 10}, {36, 5}, 8);
  ASSERT_NE(out, nullptr);
  ASSERT_EQ(out->Width(), 20u);
  ASSERT_EQ(out->Height(), 10u);
  EXPECT_EQ(out->Alpha(), AlphaMode::None);
  auto at = [&](uint32_t x, uint32_t y) {
    uint32_t v;
    std::memcpy(&v, out->Row(y) + 4 * x, 4);
    return v;
  };
  // Shown (36, 5) is square (4, 0): light; (40, 5) square (5, 0): dark; (40, 8)
  // square (5, 1): light.
  EXPECT_EQ(at(0, 0), kCheckerLight);
  EXPECT_EQ(at(3, 0), kCheckerLight);
  EXPECT_EQ(at(4, 0), kCheckerDark);
  EXPECT_EQ(at(4, 3), kCheckerLight);
  EXPECT_EQ(at(10, 5), 0xFF0000FFu);
  // Half blue over the light square (5, 1) of shown (47, 10): blue stays full,
  // green and red are half the light grey.
  EXPECT_EQ(at(11, 5), 0xFF7F7FFFu);
  // Only eight-bit colour can be laid over it.
  RefPtr<ImageBuffer> grey = ImageBuffer::Create(PixelFormat::Gray8, 4, 4);
  EXPECT_EQ(OverCheckerboard(*grey, {0, 0}, {4, 4}, {0, 0}, 8), nullptr);
}

TEST(ViewerPaintTest, GreyAndPaletteImagesAreSampledAsColours) {
  RefPtr<ImageBuffer> g = ImageBuffer::Create(PixelFormat::Gray8, 4, 4);
  for (uint32_t y = 0; y < 4; ++y) std::memset(g->Row(y), 0x40, 4);
  EXPECT_EQ(SampleBackgroundColour(*g), 0xFF404040u);
  RefPtr<ImageBuffer> p = ImageBuffer::Create(PixelFormat::Indexed8, 4, 4);
  for (uint32_t y = 0; y < 4; ++y) std::memset(p->Row(y), 3, 4);
  p->Palette()[3] = 0xFF123456u;
  EXPECT_EQ(SampleBackgroundColour(*p), 0xFF123456u);
}

TEST(ViewerPaintTest, OverlayPlacesAndTheSizeLimits) {
  const int32_t m = 4;
  EXPECT_EQ(OverlayPosition(0x10, {50, 16}, {400, 300}, m), (ViewPoint{8, 4}));
  EXPECT_EQ(OverlayPosition(0x11, {50, 16}, {400, 300}, m), (ViewPoint{400 - 8 - 50, 4}));
  EXPECT_EQ(OverlayPosition(0x12 | 4, {50, 16}, {400, 300}, m), (ViewPoint{175, 300 - 4 - 16}));
  // Wider than twice the client less the margins: dropped; just within: kept.
  EXPECT_FALSE(OverlayPosition(0x10, {2 * 400 - 16 + 1, 16}, {400, 300}, m));
  EXPECT_TRUE(OverlayPosition(0x10, {2 * 400 - 16, 16}, {400, 300}, m));
  // Higher than half the client less the margins: dropped.
  EXPECT_FALSE(OverlayPosition(0x10, {50, 150 - 8 + 1}, {400, 300}, m));
  EXPECT_TRUE(OverlayPosition(0x10, {50, 150 - 8}, {400, 300}, m));
}

TEST(ViewerPaintTest, OverlayTextsComeFromTheProperties) {
  auto img = Bgra(2, 2, 0);
  EXPECT_FALSE(OverlayText(0x00, *img));
  EXPECT_FALSE(OverlayText(0x30, *img));
  img->Properties().Set(PropertyId::Keyword1, u"sea");
  img->Properties().Set(static_cast<PropertyId>(18), u"mountains");
  EXPECT_EQ(OverlayText(0x30, *img), u"mountains");  // the longest keyword stands in
  img->Properties().Set(PropertyId::Comment, u"note");
  EXPECT_EQ(OverlayText(0x30, *img), u"note");
  img->Properties().Set(PropertyId::Title, u"T");
  EXPECT_EQ(OverlayText(0x10, *img), u"T");
  EXPECT_FALSE(OverlayText(0x70, *img));
}

TEST(AnimationTimingTest, ZeroDelaysRunAt33MsAndDueTimesAccumulate) {
  EXPECT_EQ(NextAnimationDue(0, 1000, 0), 1033u);
  EXPECT_EQ(NextAnimationDue(1033, 1040, 0), 1066u);  // from the due time, not from now
  EXPECT_EQ(NextAnimationDue(1066, 1070, 100), 1166u);
  // Never sooner than 10 ms from now, however late the tick.
  EXPECT_EQ(NextAnimationDue(1100, 1500, 20), 1510u);
  EXPECT_EQ(NextAnimationDue(0, 500, 5), 510u);
}

}  // namespace
}  // namespace vt
