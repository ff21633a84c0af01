#include <gtest/gtest.h>

#include "render/render_view.h"

#include <chrono>
#include <cstring>
#include <thread>

#include "render/view_state.h"
#include "viewer/read_ahead_render.h"
#include "viewer/viewer_fixture.h"

namespace vt::test {
namespace {

constexpr uint32_t kPageDown = 0x22;

// What a window shows after a step: its place, its title, its zoom and the
// display layer's pixels.
struct Shown {
  ViewRect windowRect;
  ViewPoint clientOrigin;
  ViewSize client;
  std::u16string title;
  double zoom = 0;
  std::vector<uint32_t> samples;  // painted pixels on a grid
  RefPtr<ImageBuffer> display;
};

bool SamePixels(ImageBuffer* a, ImageBuffer* b) {
  if (!a || !b || a->Width() != b->Width() || a->Height() != b->Height() || a->Format() != b->Format() ||
      a->Format() != PixelFormat::Bgra8)
    return false;
  for (uint32_t y = 0; y < a->Height(); ++y)
    if (std::memcmp(a->Row(y), b->Row(y), size_t{a->Width()} * 4) != 0) return false;
  return true;
}

class ReadAheadRenderTest : public ViewerFixture {
 protected:
  void WaitForReadAhead() {
    for (int i = 0; i < 20000 && cache->PendingCount() != 0; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_EQ(cache->PendingCount(), 0u);
  }

  // Opens the first of three images, steps twice with the read-ahead done
  // each time, and captures the third. With steal the scaled image prepared
  // for the third is taken out of the cache first, so the window scales it
  // itself; *stolen receives it.
  Shown StepTwice(const std::vector<std::string>& files, bool steal, RefPtr<ImageBuffer>* stolen) {
    bool toggled = cache->AllFrames();  // empties the cache
    cache->SetAllFrames(!toggled);
    cache->SetAllFrames(toggled);
    Shown shown;
    ViewerWindow* w = Open(files[0]);
    EXPECT_NE(w, nullptr);
    if (!w) return shown;
    HeadlessWindow* n = Native(w);
    for (int step = 1; step <= 2; ++step) {
      WaitForReadAhead();
      if (step == 2 && steal) {
        RefPtr<ImageBuffer> next = cache->Lookup(U16(files[2]));
        EXPECT_TRUE(next);
        if (next) *stolen = cache->TakePrepared(next.get());
      }
      EXPECT_TRUE(n->SendKey(kPageDown));
      platform.Pump();
    }
    EXPECT_EQ(w->Path(), U16(files[2]));
    shown.windowRect = n->WindowRect();
    shown.clientOrigin = n->ClientOrigin();
    shown.client = n->ClientSize();
    shown.title = TitleOf(w);
    shown.zoom = w->View()->Zoom();
    shown.display = RefPtr<ImageBuffer>(w->View()->DisplayImage());
    for (int32_t y = 0; y < shown.client.height; y += 37)
      for (int32_t x = 0; x < shown.client.width; x += 41) shown.samples.push_back(n->Pixel(x, y));
    w->Window()->Destroy();
    platform.Pump();
    WaitForReadAhead();
    return shown;
  }
};

// A picture with detail everywhere, so that any difference in scaling shows.
uint32_t Texture(int x, int y) {
  return static_cast<uint32_t>((x * 7 + y * 3) & 0xFF) << 16 | static_cast<uint32_t>((x ^ y) & 0xFF) << 8 |
         static_cast<uint32_t>((x * y) >> 3 & 0xFF);
}

TEST_F(ReadAheadRenderTest, PreparedImageShowsExactlyWhatTheWindowWouldRender) {
  struct Case {
    int32_t width, height;
    uint8_t titleBar;  // 0 framed, 2 frameless
  };
  int caseNumber = 0;
  for (const Case& c : {Case{2400, 1500, 0}, Case{2400, 1500, 2}, Case{901, 2203, 0}, Case{1999, 1111, 2}}) {
    SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " title bar " << int(c.titleBar));
    Options().viewerTitleBar = c.titleBar;
    const std::string prefix = "case" + std::to_string(caseNumber++) + "-";
    std::vector<std::string> files;
    for (int i = 1; i <= 3; ++i)
      files.push_back(dir.Write(prefix + "p" + std::to_string(i) + ".bmp",
                                MakeBmp(c.width, c.height, [i](int x, int y) { return Texture(x + i, y); })));

    RefPtr<ImageBuffer> stolen;
    const Shown fast = StepTwice(files, false, nullptr);
    const Shown normal = StepTwice(files, true, &stolen);
    // The read-ahead had prepared the image, and it is the window's own render.
    ASSERT_TRUE(stolen);
    ASSERT_TRUE(normal.display);
    EXPECT_NE(stolen.get(), normal.display.get());
    EXPECT_TRUE(SamePixels(stolen.get(), normal.display.get()));
    // Shown through the prepared image: the same window, title and pixels.
    EXPECT_LT(fast.zoom, 1.0);
    EXPECT_EQ(fast.zoom, normal.zoom);
    EXPECT_EQ(fast.windowRect, normal.windowRect);
    EXPECT_EQ(fast.clientOrigin, normal.clientOrigin);
    EXPECT_EQ(fast.client, normal.client);
    EXPECT_EQ(fast.title, normal.title);
    EXPECT_EQ(fast.samples, normal.samples);
    EXPECT_TRUE(SamePixels(fast.display.get(), normal.display.get()));
  }
}

// The read-ahead scheduled by the window's first image must fit the room the
// window has once laid out (frame shown or hidden), not the room of the still
// unplaced window, or the first step scales on the user-interface thread.
TEST_F(ReadAheadRenderTest, FirstReadAheadFitsTheLaidOutWindow) {
  int caseNumber = 0;
  for (const uint8_t titleBar : {uint8_t{0}, uint8_t{1}, uint8_t{2}}) {
    SCOPED_TRACE(testing::Message() << "title bar " << int(titleBar));
    Options().viewerTitleBar = titleBar;
    const std::string prefix = "first" + std::to_string(caseNumber++) + "-";
    std::vector<std::string> files;
    for (int i = 1; i <= 2; ++i)
      files.push_back(dir.Write(prefix + "p" + std::to_string(i) + ".bmp",
                                MakeBmp(2400, 1500, [i](int x, int y) { return Texture(x + i, y); })));
    ViewerWindow* w = Open(files[0]);
    ASSERT_NE(w, nullptr);
    WaitForReadAhead();
    RefPtr<ImageBuffer> next = cache->Lookup(U16(files[1]));
    ASSERT_TRUE(next);
    const RefPtr<ImageBuffer> prepared = cache->TakePrepared(next.get());
    ASSERT_TRUE(prepared);
    ASSERT_TRUE(Native(w)->SendKey(kPageDown));
    platform.Pump();
    ASSERT_EQ(w->Path(), U16(files[1]));
    EXPECT_LT(w->View()->Zoom(), 1.0);
    EXPECT_TRUE(SamePixels(prepared.get(), w->View()->DisplayImage()));
    w->Window()->Destroy();
    platform.Pump();
    WaitForReadAhead();
  }
}

TEST(ShrinkToRoomTest, MatchesTheFitOfTheWindow) {
  // Fits as it is, or may not shrink: nothing to prepare.
  EXPECT_FALSE(ShrinkToRoom(640, 480, FitRoom{1904, 1001, true}));
  EXPECT_FALSE(ShrinkToRoom(3000, 2000, FitRoom{1904, 1001, false}));
  EXPECT_FALSE(ShrinkToRoom(0, 10, FitRoom{1904, 1001, true}));
  // Too tall: the height fills the room, the width follows the aspect.
  auto fit = ShrinkToRoom(3000, 2000, FitRoom{1904, 1001, true});
  ASSERT_TRUE(fit);
  EXPECT_EQ(fit->client, (ViewSize{1502, 1001}));
  EXPECT_DOUBLE_EQ(fit->zoom, 1001.0 / 2000.0);  // the image is the relatively taller
  // Too wide after that: the width fills it.
  fit = ShrinkToRoom(6000, 1000, FitRoom{1920, 1040, true});
  ASSERT_TRUE(fit);
  EXPECT_EQ(fit->client, (ViewSize{1920, 320}));
  EXPECT_DOUBLE_EQ(fit->zoom, 1920.0 / 6000.0);
}

TEST(ScaleForDisplayTest, CancelledScalingGivesNothing) {
  RefPtr<ImageBuffer> image = ImageBuffer::Create(PixelFormat::Bgra8, 400, 300, false);
  ASSERT_TRUE(image);
  ViewFlags flags;
  flags.displayBuffers = true;
  flags.keepTransparency = true;
  RefPtr<ImageBuffer> scaled = ScaleForDisplay(image.get(), 200, 150, flags, nullptr);
  ASSERT_TRUE(scaled);
  EXPECT_EQ(scaled->Width(), 200u);
  EXPECT_EQ(scaled->Height(), 150u);
  CancelFlag cancel;
  cancel.Set();
  EXPECT_FALSE(ScaleForDisplay(image.get(), 200, 150, flags, &cancel));
}

}  // namespace
}  // namespace vt::test
