#include "render/render_view.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "image/image_buffer.h"
#include "render/scale_reference.h"
#include "render/view_state.h"
#include "support/test_support.h"

namespace vt {
namespace {

using PF = PixelFormat;

ViewFlags ViewerFlags() {
  ViewFlags f;
  f.displayBuffers = true;
  f.keepTransparency = true;
  return f;
}

RefPtr<ImageBuffer> Filled(PF f, uint32_t w, uint32_t h, uint8_t byte) {
  RefPtr<ImageBuffer> b = ImageBuffer::Create(f, w, h);
  EXPECT_TRUE(b);
  for (uint32_t y = 0; y < h; ++y) std::memset(b->Row(y), byte, size_t{w} * b->BytesPerPixel());
  return b;
}

uint32_t Pixel32(ImageBuffer* b, uint32_t x, uint32_t y) {
  uint32_t v;
  std::memcpy(&v, b->Row(y) + 4 * x, 4);
  return v;
}

void SetPixel32(ImageBuffer* b, uint32_t x, uint32_t y, uint32_t v) {
  std::memcpy(b->Row(y) + 4 * x, &v, 4);
}

std::unique_ptr<DisplaySurface> NoSurface(const DisplayBitmapHeader&, const uint32_t*, size_t) {
  return nullptr;
}
struct FailingSurfaces {
  FailingSurfaces() { SetDisplaySurfaceFactory(&NoSurface); }
  ~FailingSurfaces() { SetDisplaySurfaceFactory(nullptr); }
};

// Plain memory that remembers how it was told it would be shown.
struct RecordingSurface : DisplaySurface {
  explicit RecordingSurface(size_t bytes) : bits(bytes) {}
  uint8_t* Bits() override { return bits.data(); }
  void PrepareForPresentation(bool l, uint32_t background) override {
    ++calls;
    layered = l;
    lastBackground = background;
  }
  std::vector<uint8_t> bits;
  static inline int calls = 0;
  static inline bool layered = false;
  static inline uint32_t lastBackground = 0x12345678u;
};
std::unique_ptr<DisplaySurface> MakeRecording(const DisplayBitmapHeader&, const uint32_t*,
                                              size_t bytes) {
  return std::make_unique<RecordingSurface>(bytes);
}

TEST(RenderView, TheSurfaceLearnsHowItWillBeShown) {
  SetDisplaySurfaceFactory(&MakeRecording);
  for (bool frameless : {true, false}) {
    RecordingSurface::calls = 0;
    ViewFlags flags = ViewerFlags();
    flags.frameless = frameless;
    ViewState view(Filled(PF::Bgra8, 3, 3, 7), flags);
    EXPECT_EQ(RenderView(view), RenderOutcome::kRendered);
    EXPECT_EQ(RecordingSurface::calls, 1);
    EXPECT_EQ(RecordingSurface::layered, frameless);
    // Layered windows are composed over opaque black.
    EXPECT_EQ(RecordingSurface::lastBackground, frameless ? 0xFF000000u : 0u);
  }
  SetDisplaySurfaceFactory(nullptr);
}

TEST(RenderView, ActualSizeBecomesADrawableCopy) {
  RefPtr<ImageBuffer> source = Filled(PF::Bgra8, 5, 3, 0);
  SetPixel32(source.get(), 4, 2, 0x80123456u);
  source->SetAlpha(AlphaMode::Straight);
  ViewState view(source, ViewerFlags());
  EXPECT_EQ(RenderView(view), RenderOutcome::kRendered);
  // Nothing adjusts the image: the adjusted layer is the composed one itself.
  EXPECT_EQ(view.AdjustedImage(), source.get());
  ImageBuffer* display = view.DisplayImage();
  ASSERT_NE(display, nullptr);
  EXPECT_NE(display, source.get());
  EXPECT_TRUE(display->IsDisplay());
  EXPECT_EQ(display->Format(), PF::Bgra8);
  EXPECT_EQ(display->Width(), 5u);
  EXPECT_EQ(display->Height(), 3u);
  EXPECT_EQ(Pixel32(display, 4, 2), 0x80123456u);  // alpha kept for layered windows
  EXPECT_EQ(display->Alpha(), AlphaMode::Straight);
  // A second call finds the layer and does nothing.
  EXPECT_EQ(RenderView(view), RenderOutcome::kNothingToDo);
  EXPECT_EQ(view.DisplayImage(), display);
}

TEST(RenderView, ViewsWithoutDisplayBuffersShowTheImageItself) {
  RefPtr<ImageBuffer> source = Filled(PF::Gray16, 4, 4, 0x12);
  ViewState view(source);
  RenderView(view);
  EXPECT_EQ(view.DisplayImage(), source.get());
}

TEST(RenderView, ADisplayBufferNeedsNoConversion) {
  RefPtr<ImageBuffer> source = ImageBuffer::Create(PF::Gray8, 4, 4, true);
  ASSERT_TRUE(source);
  ViewState view(source, ViewerFlags());
  RenderView(view);
  EXPECT_EQ(view.DisplayImage(), source.get());
}

TEST(RenderView, DeepFormatsBecomeEightBitDisplayBuffers) {
  struct Case {
    PF from;
    PF to;
  };
  for (const Case& c : {Case{PF::Gray16, PF::Gray8}, Case{PF::GrayFloat, PF::Gray8},
                        Case{PF::Bgra16, PF::Bgra8}, Case{PF::BgraFloat, PF::Bgra8}}) {
    RefPtr<ImageBuffer> source = ImageBuffer::Create(c.from, 3, 2);
    ASSERT_TRUE(source);
    // Full white and black are exact in every format and under any dithering.
    for (uint32_t y = 0; y < 2; ++y) {
      uint8_t* row = source->Row(y);
      const size_t bytes = size_t{3} * source->BytesPerPixel();
      if (IsFloatFormat(c.from)) {
        float* f = reinterpret_cast<float*>(row);
        for (size_t i = 0; i < bytes / 4; ++i) f[i] = y == 0 ? 1.0f : 0.0f;
      } else {
        std::memset(row, y == 0 ? 0xFF : 0x00, bytes);
      }
    }
    ViewState view(source, ViewerFlags());
    RenderView(view);
    ImageBuffer* d = view.DisplayImage();
    ASSERT_NE(d, nullptr);
    EXPECT_TRUE(d->IsDisplay());
    ASSERT_EQ(d->Format(), c.to) << PixelFormatName(c.from);
    const uint32_t bpp = d->BytesPerPixel();
    for (uint32_t x = 0; x < 3 * bpp; ++x) {
      if (bpp == 4 && x % 4 == 3) continue;  // alpha: whatever the format says
      EXPECT_EQ(d->Row(0)[x], 0xFF) << PixelFormatName(c.from);
      EXPECT_EQ(d->Row(1)[x], 0x00) << PixelFormatName(c.from);
    }
  }
}

TEST(RenderView, PaletteImagesKeepThePaletteUnlessTransparencyMustShow) {
  RefPtr<ImageBuffer> source = Filled(PF::Indexed8, 2, 2, 1);
  source->Palette()[1] = 0x80FF0000u;  // half-transparent red
  ViewState opaque(source, ViewerFlags());
  RenderView(opaque);
  ASSERT_EQ(opaque.DisplayImage()->Format(), PF::Indexed8);
  EXPECT_TRUE(opaque.DisplayImage()->IsDisplay());
  EXPECT_EQ(opaque.DisplayImage()->Palette()[1], 0x80FF0000u);
  EXPECT_EQ(opaque.DisplayImage()->Row(1)[1], 1);

  source->SetAlpha(AlphaMode::Straight);
  ViewState transparent(source, ViewerFlags());
  RenderView(transparent);
  ASSERT_EQ(transparent.DisplayImage()->Format(), PF::Bgra8);
  EXPECT_EQ(Pixel32(transparent.DisplayImage(), 1, 1), 0x80FF0000u);
}

TEST(RenderView, ViewsWithoutTransparencyFlattenOntoTheirBackground) {
  ViewFlags flags = ViewerFlags();
  flags.keepTransparency = false;
  flags.background = 0xFF204060u;  // red 0x20, green 0x40, blue 0x60

  // Blue 200, green 100, red 0 at alpha 51 (20 %) over blue 96, green 64, red 32:
  // 200 x 0.2 + 96 x 0.8 = 116.8 -> 117; 20 + 51.2 = 71.2 -> 71; 0 + 25.6 -> 26.
  RefPtr<ImageBuffer> straight = Filled(PF::Bgra8, 1, 1, 0);
  SetPixel32(straight.get(), 0, 0, 0x330064C8u);
  straight->SetAlpha(AlphaMode::Straight);
  ViewState a(straight, flags);
  RenderView(a);
  EXPECT_NE(a.AdjustedImage(), straight.get());
  EXPECT_EQ(a.AdjustedImage()->Alpha(), AlphaMode::None);
  EXPECT_EQ(Pixel32(a.DisplayImage(), 0, 0), 0xFF1A4775u);
  EXPECT_EQ(Pixel32(straight.get(), 0, 0), 0x330064C8u);  // the source is untouched

  // The same colour premultiplied: blue 40, green 20, red 0.
  RefPtr<ImageBuffer> premultiplied = Filled(PF::Bgra8, 1, 1, 0);
  SetPixel32(premultiplied.get(), 0, 0, 0x33001428u);
  premultiplied->SetAlpha(AlphaMode::Premultiplied);
  ViewState b(premultiplied, flags);
  RenderView(b);
  EXPECT_EQ(Pixel32(b.DisplayImage(), 0, 0), 0xFF1A4775u);

  // 16 bits: blue 0xFFFF at alpha 0x8000 over blue 0x60 (0x6060 in 16 bits):
  // (65535 x 32768 + 24672 x 32767) / 65535 = 45104.1 -> 45104; its high byte 0xB0.
  RefPtr<ImageBuffer> deep = Filled(PF::Bgra16, 1, 1, 0);
  uint16_t px[4] = {0xFFFF, 0, 0, 0x8000};
  std::memcpy(deep->Row(0), px, 8);
  deep->SetAlpha(AlphaMode::Straight);
  ViewState c(deep, flags);
  RenderView(c);
  uint16_t out[4];
  std::memcpy(out, c.AdjustedImage()->Row(0), 8);
  EXPECT_EQ(out[0], 45104);
  EXPECT_EQ(out[3], 0xFFFF);

  // A palette with alpha: red 255 at alpha 128 over blue 255 (background 0xFF0000FF):
  // red (255 x 128 + 127) / 255 = 128, blue (255 x 127 + 127) / 255 = 127.
  flags.background = 0xFF0000FFu;
  RefPtr<ImageBuffer> indexed = Filled(PF::Indexed8, 1, 1, 1);
  indexed->Palette()[1] = 0x80FF0000u;
  indexed->SetAlpha(AlphaMode::Straight);
  ViewState d(indexed, flags);
  RenderView(d);
  ASSERT_EQ(d.DisplayImage()->Format(), PF::Indexed8);
  EXPECT_EQ(d.DisplayImage()->Palette()[1], 0xFF80007Fu);
  EXPECT_EQ(indexed->Palette()[1], 0x80FF0000u);

  // Opaque images are not copied.
  RefPtr<ImageBuffer> plain = Filled(PF::Bgra8, 1, 1, 9);
  ViewState e(plain, flags);
  RenderView(e);
  EXPECT_EQ(e.AdjustedImage(), plain.get());
}

TEST(RenderView, ScalesToTheZoomAndAspect) {
  // 4 x 4 to zoom 0.5 is an exact 2 x 2 box average: each block holds 0, 10,
  // 20 and 30 in every channel, averaging 15.
  RefPtr<ImageBuffer> source = Filled(PF::Bgra8, 4, 4, 0);
  for (uint32_t y = 0; y < 4; ++y)
    for (uint32_t x = 0; x < 4; ++x) std::memset(source->Row(y) + 4 * x, 10 * (x % 2 + 2 * (y % 2)), 4);
  ViewState view(source, ViewerFlags());
  view.SetZoomFactor(0.5);
  EXPECT_EQ(RenderView(view), RenderOutcome::kRendered);
  ImageBuffer* d = view.DisplayImage();
  ASSERT_EQ(d->Width(), 2u);
  ASSERT_EQ(d->Height(), 2u);
  EXPECT_TRUE(d->IsDisplay());  // scaled straight into a drawable buffer
  for (uint32_t y = 0; y < 2; ++y)
    for (uint32_t x = 0; x < 2; ++x) EXPECT_EQ(Pixel32(d, x, y), 0x0F0F0F0Fu);

  // The aspect stretches widths only: 3 x 2 at aspect 2 is 6 x 2. A flat
  // image stays flat under any filter.
  ViewState wide(Filled(PF::Bgra8, 3, 2, 0x5A), ViewerFlags());
  wide.SetAspectX(2.0);
  RenderView(wide);
  ASSERT_EQ(wide.DisplayImage()->Width(), 6u);
  ASSERT_EQ(wide.DisplayImage()->Height(), 2u);
  for (uint32_t x = 0; x < 6; ++x) EXPECT_EQ(Pixel32(wide.DisplayImage(), x, 1), 0x5A5A5A5Au);
}

TEST(RenderView, PaletteImagesScaleInColour) {
  RefPtr<ImageBuffer> source = Filled(PF::Indexed8, 2, 2, 7);
  source->Palette()[7] = 0xFF336699u;
  ViewState view(source, ViewerFlags());
  view.SetZoomFactor(2.0);
  RenderView(view);
  ImageBuffer* d = view.DisplayImage();
  ASSERT_EQ(d->Format(), PF::Bgra8);
  ASSERT_EQ(d->Width(), 4u);
  EXPECT_EQ(Pixel32(d, 3, 3), 0xFF336699u);
}

TEST(RenderView, DeepImagesScaleInTheirFormatThenConvert) {
  ViewState view(Filled(PF::Bgra16, 8, 8, 0xFF), ViewerFlags());
  view.SetZoomFactor(0.25);
  RenderView(view);
  ImageBuffer* d = view.DisplayImage();
  ASSERT_EQ(d->Format(), PF::Bgra8);
  EXPECT_TRUE(d->IsDisplay());
  ASSERT_EQ(d->Width(), 2u);
  EXPECT_EQ(Pixel32(d, 1, 1), 0xFFFFFFFFu);
}

TEST(RenderView, FallsBackToActualSizeWhenTheScaledBufferCannotBeMade) {
  RefPtr<ImageBuffer> source = Filled(PF::Bgra8, 6, 4, 0x33);
  ViewState view(source, ViewerFlags());
  view.SetZoomFactor(3.0);
  view.SetAspectX(1.5);
  ASSERT_EQ(view.ActiveTransforms(), 2);
  {
    FailingSurfaces failing;
    EXPECT_EQ(RenderView(view), RenderOutcome::kFellBack);
  }
  EXPECT_EQ(view.Zoom(), 1.0);
  EXPECT_EQ(view.AspectX(), 1.0);
  EXPECT_EQ(view.ActiveTransforms(), 0);
  ImageBuffer* d = view.DisplayImage();
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->Width(), 6u);
  EXPECT_EQ(d->Height(), 4u);
  EXPECT_EQ(Pixel32(d, 5, 3), 0x33333333u);

  // A zoom whose whole image could never exist is not refused: it is shown
  // part by part.
  ViewState huge(Filled(PF::Gray16, 4, 4, 0x80), ViewFlags{});
  huge.SetZoomFactor(1e7);
  EXPECT_EQ(RenderView(huge), RenderOutcome::kRendered);
  EXPECT_EQ(huge.Zoom(), 1e7);
  EXPECT_TRUE(huge.DisplayTiled());
  EXPECT_EQ(huge.ShownWidth(), 40000000u);
  const ShownPart part = ShowPart(huge, {20000000, 30000000, 20000640, 30000480});
  ASSERT_NE(part.image, nullptr);
  EXPECT_LE(uint64_t{part.image->Width()} * part.image->Height(), 4u * 640 * 480);
  EXPECT_EQ(part.image->Row(240)[2 * 320], 0x80);
}

// The shown image of a large zoom exists only around what is shown, as the
// window pans over it; every pixel is the one the whole scaled image has there.
TEST(RenderView, LargeZoomsAreRenderedAroundWhatIsShown) {
  // Error diffusion from 16 to 8 bits runs on within a part only, so parts
  // and the whole agree to the pixel without it.
  struct NoDithering {
    bool was = GlobalConversionOptions().dithering;
    NoDithering() { GlobalConversionOptions().dithering = false; }
    ~NoDithering() { GlobalConversionOptions().dithering = was; }
  } noDithering;
  const uint32_t seed = 5;
  for (PF format : {PF::Bgra8, PF::Gray16, PF::Indexed8}) {
    SCOPED_TRACE(PixelFormatName(format));
    RefPtr<ImageBuffer> source = ImageBuffer::Create(format, 61, 43);
    const std::vector<uint8_t> noise = test::RandomBytes(size_t{source->Pitch()} * 43, seed);
    for (uint32_t y = 0; y < 43; ++y)
      std::memcpy(source->Row(y), noise.data() + y * source->Pitch(),
                  size_t{61} * source->BytesPerPixel());
    if (format == PF::Indexed8)
      for (uint32_t i = 0; i < 256; ++i) source->Palette()[i] = 0xFF000000u | i * 0x010203u;
    ViewFlags flags = ViewerFlags();
    flags.wholeDisplayPixels = 200 * 200;  // a small screen, so that a small image tiles
    ViewState view(source, flags);
    view.SetZoomFactor(7.3);
    ASSERT_EQ(RenderView(view), RenderOutcome::kRendered);
    ASSERT_TRUE(view.DisplayTiled());
    EXPECT_EQ(view.DisplayImage(), nullptr);  // nothing is scaled before it is shown
    EXPECT_EQ(view.ShownWidth(), 445u);
    EXPECT_EQ(view.ShownHeight(), 314u);

    // The whole display image, made the way a small zoom makes it.
    ViewFlags wholeFlags = ViewerFlags();
    ViewState whole(source, wholeFlags);
    whole.SetZoomFactor(7.3);
    ASSERT_EQ(RenderView(whole), RenderOutcome::kRendered);
    ASSERT_FALSE(whole.DisplayTiled());
    ImageBuffer* all = whole.DisplayImage();
    EXPECT_EQ(view.ShownFormat(), all->Format());

    // Pans: a first view, a small step inside its margin, steps past it in
    // every direction, a jump, the far corner.
    const ViewRect visible[] = {{100, 80, 220, 170},  {110, 85, 230, 175}, {160, 80, 280, 170},
                                {160, 150, 280, 240}, {60, 40, 180, 130},  {0, 0, 120, 90},
                                {325, 224, 445, 314}, {300, 0, 445, 314}};
    ImageBuffer* previous = nullptr;
    for (const ViewRect& v : visible) {
      const ShownPart part = ShowPart(view, v);
      ASSERT_NE(part.image, nullptr);
      if (&v == &visible[1]) {
        EXPECT_EQ(part.image, previous);  // still covered: kept
      }
      previous = part.image;
      EXPECT_LE(part.origin.x, v.left);
      EXPECT_LE(part.origin.y, v.top);
      EXPECT_GE(part.origin.x + int32_t(part.image->Width()), v.right);
      EXPECT_GE(part.origin.y + int32_t(part.image->Height()), v.bottom);
      // Every pixel of the part, not only the visible ones.
      RefPtr<ImageBuffer> want =
          ImageBuffer::Create(all->Format(), part.image->Width(), part.image->Height());
      ASSERT_EQ(CopyRect(want.get(), 0, 0, all, part.origin.x, part.origin.y, part.image->Width(),
                         part.image->Height()),
                status::kOk);
      EXPECT_TRUE(test::SamePixels(part.image, want.get()))
          << v.left << "," << v.top << " from part at " << part.origin.x << "," << part.origin.y;
    }
  }
}

CancelFlag* g_cancel_on_query = nullptr;
int g_depth_queries = 0;
uint32_t CancellingDepthQuery() {
  ++g_depth_queries;
  if (g_cancel_on_query) g_cancel_on_query->Set();
  return 16;
}

TEST(RenderView, CancelLeavesTheDisplayLayerAbsent) {
  CancelFlag cancel;
  cancel.Set();
  ViewState early(Filled(PF::Bgra8, 4, 4, 1), ViewerFlags());
  EXPECT_EQ(RenderView(early, &cancel), RenderOutcome::kCancelled);
  EXPECT_EQ(early.DisplayImage(), nullptr);

  // Set while the image is being scaled (here: from the depth query, which
  // runs between the adjusted layer and the scaling): the zoom is not given up
  // as if memory had run out.
  CancelFlag late;
  g_cancel_on_query = &late;
  g_depth_queries = 0;
  SetScreenDepthQuery(&CancellingDepthQuery);
  ViewState scaled(Filled(PF::Bgra8, 64, 64, 1), ViewerFlags());
  scaled.SetZoomFactor(0.75);
  EXPECT_EQ(RenderView(scaled, &late), RenderOutcome::kCancelled);
  EXPECT_EQ(scaled.DisplayImage(), nullptr);
  EXPECT_EQ(scaled.Zoom(), 0.75);
  EXPECT_EQ(scaled.ScreenDepth(), 16u);

  // Once known, the depth is not asked again.
  g_cancel_on_query = nullptr;
  EXPECT_EQ(RenderView(scaled), RenderOutcome::kRendered);
  EXPECT_EQ(g_depth_queries, 1);
  SetScreenDepthQuery(nullptr);
}

TEST(RenderView, NewLayersAfterADropAreRenderedAgain) {
  RefPtr<ImageBuffer> source = Filled(PF::Bgra8, 4, 4, 1);
  ViewState view(source, ViewerFlags());
  RenderView(view);
  view.DropAdjustedLayer();
  EXPECT_EQ(view.ShownImage(), source.get());
  EXPECT_EQ(RenderView(view), RenderOutcome::kRendered);
  EXPECT_NE(view.DisplayImage(), nullptr);
  EXPECT_EQ(view.AdjustedImage(), source.get());
}

}  // namespace
}  // namespace vt

namespace vt {
namespace {

TEST(RenderView, UsesAnImageScaledAheadOnlyWhenItIsExactlyTheOneNeeded) {
  RefPtr<ImageBuffer> source = Filled(PF::Bgra8, 40, 20, 9);
  ViewFlags flags = ViewerFlags();
  RefPtr<ImageBuffer> ahead = ScaleForDisplay(source.get(), 20, 10, flags, nullptr);
  ASSERT_TRUE(ahead);
  {
    ViewState view(source, flags);
    view.SetZoomFactor(0.5);
    view.OfferScaledImage(ahead, source.get());
    EXPECT_EQ(RenderView(view), RenderOutcome::kRendered);
    EXPECT_EQ(view.DisplayImage(), ahead.get());  // no second scaling
  }
  {
    // Another size: the offer is dropped and the view scales for itself, to
    // the same pixels the read-ahead would have made.
    ViewState view(source, flags);
    view.SetZoomFactor(0.25);
    view.OfferScaledImage(ahead, source.get());
    RenderView(view);
    ASSERT_NE(view.DisplayImage(), ahead.get());
    EXPECT_EQ(view.DisplayImage()->Width(), 10u);
    view.DropDisplayLayer();
    view.SetZoomFactor(0.5);
    RenderView(view);  // the offer was taken away by the first render
    ASSERT_NE(view.DisplayImage(), ahead.get());
    EXPECT_EQ(Pixel32(view.DisplayImage(), 3, 3), Pixel32(ahead.get(), 3, 3));
  }
  {
    // Made from another image: never used.
    RefPtr<ImageBuffer> other = Filled(PF::Bgra8, 40, 20, 9);
    ViewState view(source, flags);
    view.SetZoomFactor(0.5);
    view.OfferScaledImage(ahead, other.get());
    RenderView(view);
    EXPECT_NE(view.DisplayImage(), ahead.get());
  }
}

}  // namespace
}  // namespace vt
