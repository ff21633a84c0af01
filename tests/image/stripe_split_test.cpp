#include "image/stripe_split.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <vector>

#include "base/tasks.h"

namespace vt {
namespace {

class ThreadCountGuard {
 public:
  explicit ThreadCountGuard(uint32_t n) : saved_(ParallelThreadCount()) { SetParallelThreadCount(n); }
  ~ThreadCountGuard() { SetParallelThreadCount(saved_); }

 private:
  uint32_t saved_;
};

TEST(StripeSplit, CountFollowsTheRule) {
  EXPECT_EQ(StripeCount(100, 1, 2048, 4, 0), 1u);      // q = 100 / 2048 = 0
  EXPECT_EQ(StripeCount(4096, 4096, 2048, 4, 0), 32u);  // 8 T
  EXPECT_EQ(StripeCount(4096, 4096, 2048, 4, 1), 1u);   // another operation runs
  EXPECT_EQ(StripeCount(4096, 4096, 2048, 1, 0), 1u);   // one thread
  EXPECT_EQ(StripeCount(4096, 4096, 2048, 64, 0), 128u);
  // Rows wider than the minimum count one row each: q = height.
  EXPECT_EQ(StripeCount(10000, 5, 2048, 4, 0), 5u);
  EXPECT_EQ(StripeCount(100, 100, 2048, 4, 0), 4u);  // 10000 / 2048
}

TEST(StripeSplit, StripesCoverEveryRowExactlyOnce) {
  for (uint32_t height : {1u, 7u, 100u, 4096u, 4097u}) {
    for (uint32_t n : {1u, 2u, 3u, 32u, 128u}) {
      if (n > height) continue;
      uint32_t next = 0;
      for (uint32_t k = 0; k < n; ++k) {
        const Stripe s = StripeAt(height, k, n);
        EXPECT_EQ(s.index, k);
        EXPECT_EQ(s.firstRow, next);
        EXPECT_GT(s.endRow, s.firstRow);
        next = s.endRow;
      }
      EXPECT_EQ(next, height);
    }
  }
}

TEST(StripeSplit, ForEachStripeRunsEveryRowOnceInParallel) {
  ThreadCountGuard threads(4);
  std::vector<std::atomic<int>> hits(4096);
  std::atomic<uint32_t> calls{0};
  std::atomic<uint32_t> nestedCount{0};
  const uint32_t n = ForEachStripe(4096, 4096, 2048, [&](const Stripe& s) {
    ++calls;
    for (uint32_t y = s.firstRow; y < s.endRow; ++y) ++hits[y];
    // Work started from inside a parallel operation stays in one stripe.
    if (s.index == 0)
      nestedCount = ForEachStripe(4096, 4096, 2048, [](const Stripe&) {});
  });
  EXPECT_EQ(n, 32u);
  EXPECT_EQ(calls.load(), 32u);
  EXPECT_EQ(nestedCount.load(), 1u);
  for (uint32_t y = 0; y < 4096; ++y) ASSERT_EQ(hits[y].load(), 1) << y;
  EXPECT_EQ(RunningParallelOperations(), 0u);

  // While another parallel operation runs, one stripe on the calling thread.
  {
    ParallelOperationScope other;
    uint32_t rows = 0;
    EXPECT_EQ(ForEachStripe(4096, 4096, 2048, [&](const Stripe& s) { rows += s.endRow - s.firstRow; }),
              1u);
    EXPECT_EQ(rows, 4096u);
  }
  ThreadCountGuard one(1);
  EXPECT_EQ(ForEachStripe(4096, 4096, 2048, [](const Stripe&) {}), 1u);
}

TEST(StripeSplit, PixelRunsAreCutIntoEqualChunks) {
  ThreadCountGuard threads(2);
  std::mutex m;
  std::vector<std::pair<size_t, size_t>> pieces;
  auto record = [&](size_t first, size_t count) {
    std::lock_guard<std::mutex> lock(m);
    pieces.emplace_back(first, count);
  };
  // 1,000,000 / 131072 = 7 chunks, capped at 4 T = 8: 7 chunks of 142858 pixels.
  EXPECT_EQ(ForEachPixelRun(1000000, record), 7u);
  std::sort(pieces.begin(), pieces.end());
  ASSERT_EQ(pieces.size(), 7u);
  size_t next = 0;
  for (size_t i = 0; i < pieces.size(); ++i) {
    EXPECT_EQ(pieces[i].first, next);
    EXPECT_EQ(pieces[i].second, i + 1 < pieces.size() ? 142858u : 1000000u - 6 * 142858u);
    next += pieces[i].second;
  }
  EXPECT_EQ(next, 1000000u);

  // Short runs and nested runs stay in one piece.
  pieces.clear();
  EXPECT_EQ(ForEachPixelRun(200000, record), 1u);  // 200000 / 131072 = 1
  ASSERT_EQ(pieces.size(), 1u);
  EXPECT_EQ(pieces[0], (std::pair<size_t, size_t>{0, 200000}));
  ParallelOperationScope other;
  EXPECT_EQ(ForEachPixelRun(10000000, [](size_t, size_t) {}), 1u);
}

TEST(StripeSplit, PixelRunChunkCountIsCappedByFourTimesTheThreads) {
  ThreadCountGuard threads(2);
  std::atomic<uint32_t> calls{0};
  EXPECT_EQ(ForEachPixelRun(size_t{131072} * 100, [&](size_t, size_t) { ++calls; }), 8u);
  EXPECT_EQ(calls.load(), 8u);
}

}  // namespace
}  // namespace vt
