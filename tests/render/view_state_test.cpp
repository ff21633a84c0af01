#include "render/view_state.h"

#include <gtest/gtest.h>

#include "image/image_buffer.h"

namespace vt {
namespace {

RefPtr<ImageBuffer> Bgra(uint32_t w, uint32_t h) {
  RefPtr<ImageBuffer> b = ImageBuffer::Create(PixelFormat::Bgra8, w, h);
  EXPECT_TRUE(b);
  return b;
}

TEST(ViewStateLayers, NewViewShowsItsSource) {
  RefPtr<ImageBuffer> source = Bgra(30, 20);
  ViewState view(source);
  EXPECT_EQ(view.SourceImage(), source.get());
  EXPECT_EQ(view.ComposedImage(), source.get());
  EXPECT_EQ(view.AdjustedImage(), nullptr);
  EXPECT_EQ(view.DisplayImage(), nullptr);
  EXPECT_EQ(view.CurrentImage(), source.get());
  EXPECT_EQ(view.ShownImage(), source.get());
  EXPECT_EQ(view.Zoom(), 1.0);
  EXPECT_EQ(view.AspectX(), 1.0);
  EXPECT_TRUE(view.Crop().IsNone());
  EXPECT_EQ(view.ActiveTransforms(), 0);
}

TEST(ViewStateLayers, CurrentAndShownFollowTheHighestLayer) {
  RefPtr<ImageBuffer> source = Bgra(30, 20), composed = Bgra(40, 40), adjusted = Bgra(20, 30),
                      display = Bgra(10, 15);
  ViewState view(source);
  view.SetComposedImage(composed);
  EXPECT_EQ(view.CurrentImage(), composed.get());
  view.SetAdjustedImage(adjusted);
  view.SetDisplayImage(display);
  EXPECT_EQ(view.CurrentImage(), adjusted.get());
  EXPECT_EQ(view.ShownImage(), display.get());
  view.DropDisplayLayer();
  EXPECT_EQ(view.ShownImage(), adjusted.get());
  // The display layer is made from the adjusted one: dropping that drops both.
  view.SetDisplayImage(display);
  view.DropAdjustedLayer();
  EXPECT_EQ(view.DisplayImage(), nullptr);
  EXPECT_EQ(view.ShownImage(), composed.get());
  // A new frame replaces the composed image and everything above it.
  view.SetAdjustedImage(adjusted);
  RefPtr<ImageBuffer> frame = Bgra(30, 20);
  view.SetSourceImage(frame);
  EXPECT_EQ(view.ComposedImage(), frame.get());
  EXPECT_EQ(view.AdjustedImage(), nullptr);
}

TEST(ViewStateLayers, DroppingALayerSharedWithTheOneBelowKeepsIt) {
  ImageBuffer* raw = nullptr;
  {
    RefPtr<ImageBuffer> source = Bgra(8, 8);
    raw = source.get();
    ViewState view(source);
    source.reset();  // the view holds the only references now
    view.SetAdjustedImage(RefPtr<ImageBuffer>(view.ComposedImage()));
    view.SetDisplayImage(RefPtr<ImageBuffer>(view.AdjustedImage()));
    // first frame of the chain, source, composed, adjusted, display: five
    // holders of one object.
    EXPECT_EQ(raw->RefCount(), 5u);
    view.DropAdjustedLayer();
    EXPECT_EQ(raw->RefCount(), 3u);
    EXPECT_EQ(view.CurrentImage(), raw);
    EXPECT_EQ(view.CurrentImage()->Width(), 8u);  // still alive and intact
  }
}

TEST(ViewStateTransforms, EachTransformCountsOnceWhileInForce) {
  ViewState view(Bgra(4, 4));
  view.SetZoomFactor(2.0);
  EXPECT_EQ(view.ActiveTransforms(), 1);
  view.SetZoomFactor(3.0);  // still away from 1.0: no second count
  EXPECT_EQ(view.ActiveTransforms(), 1);
  view.SetAspectX(0.5);
  EXPECT_EQ(view.ActiveTransforms(), 2);
  view.SetCrop({0, 0, 2, 2});
  EXPECT_EQ(view.ActiveTransforms(), 3);
  view.SetCrop({1, 1, 2, 2});
  EXPECT_EQ(view.ActiveTransforms(), 3);
  view.CountTransform(false, true);  // e.g. a rotation elsewhere
  EXPECT_EQ(view.ActiveTransforms(), 4);
  view.CountTransform(true, true);
  EXPECT_EQ(view.ActiveTransforms(), 4);

  view.SetZoomFactor(1.0);
  view.SetAspectX(1.0);
  view.SetCrop({});
  view.CountTransform(true, false);
  EXPECT_EQ(view.ActiveTransforms(), 0);
  view.SetZoomFactor(1.0);  // 1.0 to 1.0 changes nothing
  view.SetCrop({});
  EXPECT_EQ(view.ActiveTransforms(), 0);
}

TEST(ViewStateTransforms, ACropWithOnlyAnOffsetIsInForce) {
  ViewState view(Bgra(4, 4));
  view.SetCrop({1, 0, 0, 0});
  EXPECT_EQ(view.ActiveTransforms(), 1);
}

TEST(ViewStateSize, DisplaySizeRoundsHalfUpAndNeverVanishes) {
  ViewState view(Bgra(3, 5));
  view.SetZoomFactor(0.5);
  // 3 x 0.5 = 1.5 -> 2; 5 x 0.5 = 2.5 -> 3.
  EXPECT_EQ(view.DisplayWidth(), 2u);
  EXPECT_EQ(view.DisplayHeight(), 3u);
  view.SetAspectX(2.0);  // widths only: 3 x 2 x 0.5 = 3
  EXPECT_EQ(view.DisplayWidth(), 3u);
  EXPECT_EQ(view.DisplayHeight(), 3u);
  view.SetZoomFactor(0.01);  // 0.03 and 0.05 round to 0: kept at one pixel
  EXPECT_EQ(view.DisplayHeight(), 1u);
  EXPECT_EQ(ZoomedWidth(1000, 0.4, 1.0), 400u);
  EXPECT_EQ(ZoomedHeight(7, 1.0 / 7.0), 1u);
  // Sizes beyond any buffer stay representable, so allocation refuses them.
  EXPECT_EQ(ZoomedWidth(10, 1e300, 1.0), UINT32_MAX);
  EXPECT_EQ(ZoomedHeight(10, -1.0), 1u);
}

}  // namespace
}  // namespace vt
