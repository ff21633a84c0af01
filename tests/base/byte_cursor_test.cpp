#include "base/byte_cursor.h"

#include <gtest/gtest.h>

namespace vt {
namespace {

TEST(ByteCursor, ReadsBothByteOrders) {
  const uint8_t d[] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08};
  ByteCursor le(d, sizeof d);
  EXPECT_EQ(le.U16LE(), 0x0201);
  EXPECT_EQ(le.U32LE(), 0x06050403u);
  EXPECT_EQ(le.Position(), 6u);
  ByteCursor be(d, sizeof d);
  EXPECT_EQ(be.U16BE(), 0x0102);
  EXPECT_EQ(be.U32BE(), 0x03040506u);
  ByteCursor q(d, sizeof d);
  EXPECT_EQ(q.U64LE(), 0x0807060504030201ull);
  ByteCursor qb(d, sizeof d);
  EXPECT_EQ(qb.U64BE(), 0x0102030405060708ull);
  const uint8_t neg[] = {0xFE, 0xFF, 0xFF, 0xFF};
  ByteCursor n(neg, 4);
  EXPECT_EQ(n.I32LE(), -2);
  EXPECT_TRUE(n.Ok());
  EXPECT_TRUE(n.AtEnd());
}

TEST(ByteCursor, ReadingPastTheEndFailsVisiblyAndKeepsThePosition) {
  const uint8_t d[] = {1, 2, 3};
  ByteCursor c(d, sizeof d);
  EXPECT_EQ(c.U16LE(), 0x0201);
  EXPECT_EQ(c.U16LE(), 0);  // one byte left
  EXPECT_FALSE(c.Ok());
  EXPECT_EQ(c.Position(), 2u);
  c.ClearError();
  EXPECT_EQ(c.U8(), 3);
  EXPECT_TRUE(c.Ok());
  EXPECT_EQ(c.U8(), 0);
  EXPECT_FALSE(c.Ok());
}

TEST(ByteCursor, SeekSkipBytesAndSubRangesStayInside) {
  const uint8_t d[] = {10, 11, 12, 13, 14};
  ByteCursor c(d, sizeof d);
  EXPECT_TRUE(c.Seek(5));  // the end itself is a valid position
  EXPECT_FALSE(c.Seek(6));
  c.ClearError();
  EXPECT_TRUE(c.Seek(1));
  EXPECT_FALSE(c.Skip(5));
  EXPECT_EQ(c.Position(), 1u);
  c.ClearError();
  auto b = c.Bytes(3);
  ASSERT_EQ(b.size(), 3u);
  EXPECT_EQ(b[0], 11);
  EXPECT_TRUE(c.Bytes(2).empty());
  EXPECT_FALSE(c.Ok());

  ByteCursor s = ByteCursor(d, sizeof d).Sub(2, 3);
  EXPECT_TRUE(s.Ok());
  EXPECT_EQ(s.Size(), 3u);
  EXPECT_EQ(s.U8(), 12);
  // Offsets chosen so that offset + n wraps around must not pass.
  ByteCursor bad = ByteCursor(d, sizeof d).Sub(2, SIZE_MAX);
  EXPECT_FALSE(bad.Ok());
  EXPECT_EQ(bad.Size(), 0u);
  EXPECT_FALSE(ByteCursor(d, sizeof d).Sub(6, 0).Ok());
}

TEST(ByteCursor, EmptyAndPeek) {
  ByteCursor e;
  EXPECT_EQ(e.PeekU8(), 0);
  EXPECT_EQ(e.U32BE(), 0u);
  EXPECT_FALSE(e.Ok());
  const uint8_t d[] = {'B', 'M', 7};
  ByteCursor c(d, 3);
  const uint8_t bm[] = {'B', 'M'};
  EXPECT_TRUE(c.StartsWith(bm));
  EXPECT_EQ(c.PeekU8(2), 7);
  EXPECT_EQ(c.PeekU8(3), 0);
  EXPECT_EQ(c.Position(), 0u);
}

// Rows of a truncated file: as many bytes as are there, never a failure.
TEST(ByteCursor, ClippedRowsAndRestNeverFail) {
  const uint8_t d[] = {1, 2, 3, 4, 5, 6, 7};
  const ByteCursor c(d, sizeof d);
  struct Row {
    uint64_t offset, n;
    size_t size;
  } rows[] = {{0, 3, 3}, {4, 3, 3}, {5, 3, 2}, {6, 8, 1}, {7, 1, 0}, {100, 1, 0},
              {UINT64_MAX, 2, 0}, {3, UINT64_MAX, 4}};
  for (const Row& r : rows) {
    const auto row = c.RowAt(r.offset, r.n);
    ASSERT_EQ(row.size(), r.size) << r.offset << "+" << r.n;
    if (!row.empty()) {
      EXPECT_EQ(row[0], d[r.offset]);
    }
  }
  EXPECT_TRUE(c.Ok());

  ByteCursor s(d, sizeof d);
  EXPECT_EQ(s.BytesUpTo(5).size(), 5u);
  EXPECT_EQ(s.Tail().Size(), 2u);
  EXPECT_EQ(s.Position(), 5u);  // Tail does not move
  EXPECT_EQ(s.BytesUpTo(5).size(), 2u);
  EXPECT_TRUE(s.AtEnd());
  EXPECT_TRUE(s.Rest().empty());
  EXPECT_TRUE(s.Ok());
}

TEST(ByteCursor, SkipToFindsTheNextByteOrTheEnd) {
  const uint8_t d[] = {0, 0xFF, 1, 0xFF};
  ByteCursor c(d, sizeof d);
  c.SkipTo(0xFF);
  EXPECT_EQ(c.Position(), 1u);
  c.SkipTo(0xFF);  // already there
  EXPECT_EQ(c.Position(), 1u);
  c.Skip(1);
  c.SkipTo(0xFF);
  EXPECT_EQ(c.Position(), 3u);
  c.SkipTo(7);
  EXPECT_TRUE(c.AtEnd());
  ByteCursor().SkipTo(0);  // empty data
}

TEST(CheckedMul, RefusesOverflowAndLimits) {
  uint64_t r = 0;
  EXPECT_TRUE(CheckedMul(1000, 1000, 1 << 20, &r));
  EXPECT_EQ(r, 1000000u);
  EXPECT_FALSE(CheckedMul(1 << 20, 2, 1 << 20, &r));
  EXPECT_FALSE(CheckedMul(UINT64_MAX / 2, 3, UINT64_MAX, &r));
  EXPECT_TRUE(CheckedMul(0, UINT64_MAX, 10, &r));
  EXPECT_EQ(r, 0u);
}

}  // namespace
}  // namespace vt
