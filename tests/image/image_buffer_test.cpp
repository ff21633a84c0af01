#include "image/image_buffer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace vt {
namespace {

using PF = PixelFormat;

TEST(ImageBuffer, PlaneGeometryFollowsThePitchAndRowRules) {
  RefPtr<ImageBuffer> b = ImageBuffer::Create(PF::Bgra8, 1, 1);
  ASSERT_TRUE(b);
  EXPECT_EQ(b->Pitch(), 48u);  // 4 + 32 rounded up to 16
  EXPECT_EQ(b->Stride(), 12u);
  EXPECT_EQ(b->AllocatedRows(), 2u);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(b->Origin()) % 16, 0u);

  RefPtr<ImageBuffer> g = ImageBuffer::Create(PF::Gray16, 7, 3, false, 100, 10);
  ASSERT_TRUE(g);
  EXPECT_EQ(g->Pitch(), 112u);  // max(14 + 32, 100) rounded up to 16
  EXPECT_EQ(g->Stride(), 56u);
  EXPECT_EQ(g->AllocatedRows(), 10u);

  // Display buffers: two spare rows, a spare row above row 0.
  RefPtr<ImageBuffer> d = ImageBuffer::Create(PF::Gray8, 5, 4, true);
  ASSERT_TRUE(d);
  EXPECT_EQ(d->AllocatedRows(), 6u);
  EXPECT_EQ(d->Pitch(), 48u);
  ASSERT_NE(d->BitmapHeader(), nullptr);
  EXPECT_EQ(d->BitmapHeader()->height, -6);
  EXPECT_EQ(d->BitmapHeader()->width, 48);
  EXPECT_EQ(d->BitmapHeader()->bitCount, 8);
  EXPECT_EQ(d->Origin(), d->Surface()->Bits() + 48 + 16);
  // Every pixel of the plane and its slack can be written.
  for (uint32_t y = 0; y < 4; ++y) std::fill(d->Row(y) - 16, d->Row(y) + 5 + 16, uint8_t{1});
}

// Planes of several megabytes come from a different allocator than small
// ones; both kinds must keep the geometry and let every byte be written.
TEST(ImageBuffer, LargePlanesKeepTheGeometryOfSmallOnes) {
  for (bool display : {false, true}) {
    for (uint32_t width : {1000u, 2100u, 6000u}) {
      const uint32_t height = width * 2 / 3;
      RefPtr<ImageBuffer> b = ImageBuffer::Create(PF::Bgra8, width, height, display);
      ASSERT_TRUE(b) << width;
      EXPECT_EQ(b->Pitch(), (size_t{width} * 4 + 32 + 15) / 16 * 16);
      EXPECT_EQ(b->AllocatedRows(), display ? height + 2 : height + 1);
      EXPECT_EQ(reinterpret_cast<uintptr_t>(b->Origin()) % 16, 0u);
      // The slack before row 0 and after the last row belong to the plane.
      uint8_t* first = b->Row(0) - 16;
      uint8_t* last = b->Row(height - 1) + size_t{width} * 4 + 16;
      *first = 1;
      last[-1] = 2;
      std::fill(b->Row(height / 2), b->Row(height / 2) + size_t{width} * 4, uint8_t{3});
      EXPECT_EQ(*first, 1);
      EXPECT_EQ(last[-1], 2);
    }
  }
}

TEST(ImageBuffer, CreationRefusesWhatCannotExist) {
  EXPECT_FALSE(ImageBuffer::Create(PF::Bgra16, 4, 4, true));
  EXPECT_FALSE(ImageBuffer::Create(PF::BgraFloat, 4, 4, true));
  EXPECT_FALSE(ImageBuffer::Create(PF::Gray16, 4, 4, true));
  EXPECT_FALSE(ImageBuffer::Create(PF::GrayFloat, 4, 4, true));
  EXPECT_FALSE(ImageBuffer::Create(PF::SameAsSource, 4, 4));
  EXPECT_FALSE(ImageBuffer::Create(static_cast<PF>(200), 4, 4));
  // A plane far too large for any machine fails cleanly.
  EXPECT_FALSE(ImageBuffer::Create(PF::BgraFloat, 0xFFFFFFFFu, 0xFFFFFFFFu));
  for (PF f : {PF::Bgra8, PF::Gray8, PF::Indexed8}) EXPECT_TRUE(ImageBuffer::Create(f, 4, 4, true));
}

TEST(ImageBuffer, IndexedPaletteDefaults) {
  for (bool display : {false, true}) {
    RefPtr<ImageBuffer> b = ImageBuffer::Create(PF::Indexed8, 2, 2, display);
    ASSERT_TRUE(b);
    const uint32_t* p = b->Palette();
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p[253], 0x00000000u);
    EXPECT_EQ(p[254], 0xFFFFFFFFu);
    EXPECT_EQ(p[255], 0xFF000000u);
    EXPECT_EQ(b->View(PF::Indexed8).palette, p);
  }
  RefPtr<ImageBuffer> grey = ImageBuffer::Create(PF::Gray8, 2, 2, true);
  ASSERT_NE(grey->ColourTable(), nullptr);
  EXPECT_EQ(grey->ColourTable()[0x80], 0xFF808080u);
  EXPECT_EQ(grey->Palette(), nullptr);
}

TEST(ImageBuffer, ViewsOfOtherFormatsAreEmpty) {
  RefPtr<ImageBuffer> grey = ImageBuffer::Create(PF::Gray8, 3, 2);
  EXPECT_FALSE(grey->View(PF::Bgra8));
  EXPECT_FALSE(grey->View(PF::Indexed8));
  PlaneView v = grey->View(PF::Gray8);
  ASSERT_TRUE(v);
  EXPECT_EQ(v.width, 3u);
  EXPECT_EQ(v.height, 2u);
  EXPECT_EQ(v.origin, grey->Origin());
  EXPECT_EQ(v.stride, grey->Stride());
  EXPECT_EQ(v.Row(1), grey->Row(1));
  RefPtr<ImageBuffer> colour = ImageBuffer::Create(PF::Bgra16, 3, 2);
  for (PF f : {PF::Bgra8, PF::BgraFloat, PF::Gray8, PF::Gray16, PF::GrayFloat, PF::Indexed8})
    EXPECT_FALSE(colour->View(f)) << PixelFormatName(f);
  EXPECT_TRUE(colour->View(PF::Bgra16));
}

TEST(ImageBuffer, GreyAndIndexedSwitchInPlace) {
  RefPtr<ImageBuffer> m = ImageBuffer::Create(PF::Gray8, 2, 2);
  EXPECT_FALSE(m->DropPalette());
  ASSERT_TRUE(m->MakePalette());
  EXPECT_EQ(m->Format(), PF::Indexed8);
  ASSERT_NE(m->Palette(), nullptr);
  EXPECT_EQ(m->Palette()[7], 0xFF070707u);  // a memory buffer gets the grey ramp
  EXPECT_TRUE(m->View(PF::Indexed8));
  EXPECT_FALSE(m->View(PF::Gray8));
  EXPECT_FALSE(m->MakePalette());
  ASSERT_TRUE(m->DropPalette());
  EXPECT_EQ(m->Format(), PF::Gray8);
  EXPECT_EQ(m->Palette(), nullptr);

  // A display buffer's colour table returns to the grey ramp when it drops its palette.
  RefPtr<ImageBuffer> d = ImageBuffer::Create(PF::Indexed8, 2, 2, true);
  d->Palette()[1] = 0xFF123456;
  ASSERT_TRUE(d->DropPalette());
  EXPECT_EQ(d->ColourTable()[1], 0xFF010101u);
  ASSERT_TRUE(d->MakePalette());
  EXPECT_EQ(d->Palette()[1], 0xFF010101u);
}

TEST(ImageBuffer, DisplaySwitchPassesAlongTheChainToFramesInTheSameState) {
  RefPtr<ImageBuffer> a = ImageBuffer::Create(PF::Gray8, 2, 2, true);
  RefPtr<ImageBuffer> b = ImageBuffer::Create(PF::Gray8, 2, 2, true);
  RefPtr<ImageBuffer> c = ImageBuffer::Create(PF::Gray8, 2, 2, true);
  RefPtr<ImageBuffer> memory = ImageBuffer::Create(PF::Gray8, 2, 2);
  a->SetNext(b);
  b->SetNext(c);
  c->SetNext(memory);
  ASSERT_TRUE(b->MakePalette());
  EXPECT_EQ(a->Format(), PF::Indexed8);
  EXPECT_EQ(c->Format(), PF::Indexed8);
  EXPECT_EQ(memory->Format(), PF::Gray8);  // memory frames switch on their own
  ASSERT_TRUE(c->DropPalette());
  EXPECT_EQ(a->Format(), PF::Gray8);
  EXPECT_EQ(b->Format(), PF::Gray8);
}

TEST(ImageBuffer, ChainOwnershipRunsForwards) {
  RefPtr<ImageBuffer> first = ImageBuffer::Create(PF::Bgra8, 1, 1);
  ImageBuffer* second = nullptr;
  RefPtr<ImageBuffer> watched;
  {
    RefPtr<ImageBuffer> s = ImageBuffer::Create(PF::Bgra8, 1, 1);
    RefPtr<ImageBuffer> t = ImageBuffer::Create(PF::Bgra8, 1, 1);
    s->SetNext(t);
    first->SetNext(s);
    second = s.get();
    watched = t;
  }
  EXPECT_EQ(first->ChainLength(), 3u);
  EXPECT_EQ(second->Previous(), first.get());
  EXPECT_EQ(watched->First(), first.get());
  EXPECT_EQ(watched->RefCount(), 2u);
  first.reset();  // releases the second frame, which releases the third
  EXPECT_EQ(watched->RefCount(), 1u);
  EXPECT_EQ(watched->Previous(), nullptr);
  EXPECT_EQ(watched->First(), watched.get());

  // A frame someone else holds survives the release of its predecessor, unlinked.
  RefPtr<ImageBuffer> head = ImageBuffer::Create(PF::Bgra8, 1, 1);
  RefPtr<ImageBuffer> held = ImageBuffer::Create(PF::Bgra8, 1, 1);
  head->SetNext(held);
  head.reset();
  EXPECT_EQ(held->Previous(), nullptr);
  EXPECT_EQ(held->RefCount(), 1u);

  RefPtr<ImageBuffer> x = ImageBuffer::Create(PF::Bgra8, 1, 1);
  RefPtr<ImageBuffer> y = ImageBuffer::Create(PF::Bgra8, 1, 1);
  x->SetNext(y);
  RefPtr<ImageBuffer> detached = x->DetachNext();
  EXPECT_EQ(detached.get(), y.get());
  EXPECT_EQ(y->Previous(), nullptr);
  EXPECT_EQ(x->Next(), nullptr);
}

TEST(ImageBuffer, AFrameMovedToAnotherChainLeavesItsOldOne) {
  RefPtr<ImageBuffer> a = ImageBuffer::Create(PF::Bgra8, 1, 1);
  RefPtr<ImageBuffer> b = ImageBuffer::Create(PF::Bgra8, 1, 1);
  RefPtr<ImageBuffer> moved = ImageBuffer::Create(PF::Bgra8, 1, 1);
  a->SetNext(moved);
  b->SetNext(moved);
  EXPECT_EQ(a->Next(), nullptr);
  EXPECT_EQ(moved->Previous(), b.get());
  a.reset();  // must not touch the back link that now belongs to b's chain
  EXPECT_EQ(moved->Previous(), b.get());
  EXPECT_EQ(moved->First(), b.get());
  EXPECT_EQ(moved->RefCount(), 2u);
}

TEST(ImageBuffer, AVeryLongChainIsReleasedWithoutDeepRecursion) {
  RefPtr<ImageBuffer> first = ImageBuffer::Create(PF::Gray8, 1, 1);
  ImageBuffer* last = first.get();
  for (int i = 0; i < 100000; ++i) {
    RefPtr<ImageBuffer> f = ImageBuffer::Create(PF::Gray8, 1, 1);
    ASSERT_TRUE(f);
    last->SetNext(f);
    last = f.get();
  }
  EXPECT_EQ(first->ChainLength(), 100001u);
  first.reset();  // a recursive release would overflow the stack here
}

}  // namespace
}  // namespace vt
