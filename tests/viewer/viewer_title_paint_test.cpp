#include <gtest/gtest.h>

#include <cstring>

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

TEST(ViewerPaintTest, TransparentCornersFallBackToTheInnerSetThenGrey) {
  auto img = Bgra(8, 8, 0x00000000u);
  EXPECT_EQ(SampleBackgroundColour(*img), kFallbackBackground);
  // Two opaque corners are not enough; the inner points decide.
  Set(*img, 0, 0, 0xFF0000FFu);
  Set(*img, 7, 7, 0xFF0000FFu);
  Set(*img, 4, 2, 0xFF00FF00u);
  Set(*img, 4, 6, 0xFF00FF00u);
  Set(*img, 2, 4, 0xFF00FF00u);
  EXPECT_EQ(SampleBackgroundColour(*img), 0xFF00FF00u);
  // Alpha 63 counts as transparent, 64 as opaque.
  Set(*img, 4, 2, 0x3F00FF00u);
  Set(*img, 4, 6, 0x3F00FF00u);
  EXPECT_EQ(SampleBackgroundColour(*img), kFallbackBackground);
  Set(*img, 4, 2, 0x4000FF00u);
  Set(*img, 4, 6, 0x4000FF00u);
  EXPECT_EQ(SampleBackgroundColour(*img), 0xFF00FF00u);
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
