// Frame composition on hand-made chains whose canvas contents are known
// pixel by pixel; the suites of other decoders check real files through the
// decoder tool.
#include "render/frame_step.h"

#include <gtest/gtest.h>

#include <vector>

#include "image/image_buffer.h"
#include "render/view_state.h"

namespace vt {
namespace {

using PF = PixelFormat;

struct FrameSpec {
  uint32_t x, y, w, h;
  uint32_t colour;  // straight blue green red alpha
  uint8_t disposal, blend;
  int32_t delay = 10;
};

// A chain on a canvas of cw x ch with the given background; frame k is a
// block of its colour.
RefPtr<ImageBuffer> Chain(uint32_t cw, uint32_t ch, uint32_t background, const std::vector<FrameSpec>& specs,
                          bool loop = false) {
  RefPtr<ImageBuffer> first, last;
  for (const FrameSpec& s : specs) {
    RefPtr<ImageBuffer> f = ImageBuffer::Create(PF::Bgra8, s.w, s.h);
    for (uint32_t y = 0; y < s.h; ++y)
      for (uint32_t x = 0; x < s.w; ++x) reinterpret_cast<uint32_t*>(f->Row(y))[x] = s.colour;
    f->SetAlpha(AlphaMode::Straight);
    FrameDescription& d = f->Frame();
    d.canvasWidth = cw, d.canvasHeight = ch, d.background = background;
    d.x = s.x, d.y = s.y, d.disposal = s.disposal, d.blend = s.blend, d.delay = s.delay, d.loop = loop;
    if (!first) {
      first = f;
    } else {
      last->SetNext(f);
    }
    last = f;
  }
  return first;
}

std::vector<uint32_t> Pixels(ImageBuffer* b) {
  std::vector<uint32_t> out;
  for (uint32_t y = 0; y < b->Height(); ++y)
    for (uint32_t x = 0; x < b->Width(); ++x) out.push_back(reinterpret_cast<uint32_t*>(b->Row(y))[x]);
  return out;
}

std::vector<uint32_t> Composed(ViewState& view) {
  ComposeFrame(view, false);
  return Pixels(view.ComposedImage());
}

constexpr uint32_t kRed = 0xFFFF0000u, kGreen = 0xFF00FF00u, kBlue = 0xFF0000FFu;

TEST(ComposeFrame, AFirstFrameLargerThanTheCanvasEnlargesIt) {
  RefPtr<ImageBuffer> chain = Chain(2, 2, 0xFF000000u, {{0, 0, 3, 1, kRed, 0, 0}, {1, 1, 1, 1, kGreen, 0, 0}});
  ViewState view(chain);
  ASSERT_TRUE(view.Animated());
  EXPECT_EQ(Composed(view), (std::vector<uint32_t>{kRed, kRed, kRed, 0xFF000000u, 0xFF000000u, 0xFF000000u}));
  EXPECT_TRUE(view.ComposedImage()->IsDisplay());
  EXPECT_EQ(view.ComposedImage()->Alpha(), AlphaMode::Premultiplied);  // the frames carry alpha
  ASSERT_TRUE(StepFrame(view, FrameDirection::kNext));
  EXPECT_EQ(Pixels(view.ComposedImage()), (std::vector<uint32_t>{kRed, kRed, kRed, 0xFF000000u, kGreen, 0xFF000000u}));
}

TEST(ComposeFrame, DisposalsRestoreTheBackgroundOrWhatWasBefore) {
  const uint32_t bg = 0xFF101010u;
  RefPtr<ImageBuffer> chain = Chain(3, 1, bg,
                                    {{0, 0, 3, 1, kRed, 0, 0},      // stays
                                     {1, 0, 1, 1, kGreen, 2, 0},    // then puts back what it covered
                                     {2, 0, 1, 1, kBlue, 1, 0},     // then the background
                                     {0, 0, 1, 1, 0x80FFFFFFu, 0, 1}});  // half white over red
  ViewState view(chain);
  EXPECT_EQ(Composed(view), (std::vector<uint32_t>{kRed, kRed, kRed}));
  ASSERT_TRUE(StepFrame(view, FrameDirection::kNext));
  EXPECT_EQ(Pixels(view.ComposedImage()), (std::vector<uint32_t>{kRed, kGreen, kRed}));
  ASSERT_TRUE(StepFrame(view, FrameDirection::kNext));
  EXPECT_EQ(Pixels(view.ComposedImage()), (std::vector<uint32_t>{kRed, kRed, kBlue}));
  ASSERT_TRUE(StepFrame(view, FrameDirection::kNext));
  // Over, per premultiplied channel: 128 + ((255 x (65535 - 128 x 257) + 32768) >> 16).
  EXPECT_EQ(Pixels(view.ComposedImage()), (std::vector<uint32_t>{0xFFFF8080u, kRed, bg}));
  EXPECT_EQ(FrameIndex(view), 3u);
  EXPECT_EQ(FrameCount(view), 4u);

  // Stepping back shows each earlier frame exactly as it was composed going on.
  ASSERT_TRUE(StepFrame(view, FrameDirection::kPrevious));
  EXPECT_EQ(Pixels(view.ComposedImage()), (std::vector<uint32_t>{kRed, kRed, kBlue}));
  ASSERT_TRUE(StepFrame(view, FrameDirection::kPrevious));
  EXPECT_EQ(Pixels(view.ComposedImage()), (std::vector<uint32_t>{kRed, kGreen, kRed}));
  ASSERT_TRUE(StepFrame(view, FrameDirection::kPrevious));
  EXPECT_FALSE(StepFrame(view, FrameDirection::kPrevious));
  EXPECT_EQ(Pixels(view.ComposedImage()), (std::vector<uint32_t>{kRed, kRed, kRed}));
}

TEST(ComposeFrame, ALoopStartsAgainOnAFreshCanvasAndAnEndWithoutLoopStays) {
  for (bool loop : {true, false}) {
    RefPtr<ImageBuffer> chain =
        Chain(2, 1, 0xFF0000FFu, {{0, 0, 1, 1, kRed, 0, 0}, {1, 0, 1, 1, kGreen, 0, 0}}, loop);
    ViewState view(chain);
    EXPECT_EQ(Composed(view), (std::vector<uint32_t>{kRed, kBlue}));
    ASSERT_TRUE(StepFrame(view, FrameDirection::kNext));
    EXPECT_EQ(Pixels(view.ComposedImage()), (std::vector<uint32_t>{kRed, kGreen}));
    EXPECT_EQ(StepFrame(view, FrameDirection::kNext), loop);
    // Looping: the green of the last pass is gone.
    const std::vector<uint32_t> after{kRed, loop ? kBlue : kGreen};
    EXPECT_EQ(Pixels(view.ComposedImage()), after);
    // The first frame is always reachable.
    EXPECT_TRUE(StepFrame(view, FrameDirection::kFirst));
    EXPECT_EQ(Pixels(view.ComposedImage()), (std::vector<uint32_t>{kRed, kBlue}));
  }
}

TEST(ComposeFrame, PagesShowThemselves) {
  RefPtr<ImageBuffer> chain = Chain(4, 4, 0, {{0, 0, 1, 1, kRed, 0, 0, -1}, {0, 0, 2, 1, kGreen, 0, 0, -1}});
  ViewState view(chain);
  EXPECT_TRUE(view.Paged());
  EXPECT_FALSE(view.Animated());
  EXPECT_EQ(view.ComposedImage(), chain.get());
  ASSERT_TRUE(StepFrame(view, FrameDirection::kNext));
  EXPECT_EQ(view.ComposedImage(), chain->Next());
  EXPECT_FALSE(StepFrame(view, FrameDirection::kNext));
  EXPECT_TRUE(StepFrame(view, FrameDirection::kFirst));
  EXPECT_EQ(view.ComposedImage(), chain.get());
}

}  // namespace
}  // namespace vt
