#include "image/stripe_split.h"

#include <algorithm>

#include "base/tasks.h"

namespace vt {

uint32_t StripeCount(uint32_t width, uint32_t height, uint32_t minPixelsPerStripe,
                     uint32_t threads, uint32_t runningParallelOperations) {
  if (threads <= 1 || runningParallelOperations != 0) return 1;
  uint64_t q = (uint64_t{height} * width) / std::max<uint64_t>(std::max(minPixelsPerStripe, width), 1);
  if (q == 0) return 1;
  return static_cast<uint32_t>(std::min<uint64_t>({q, uint64_t{8} * threads, 128}));
}

Stripe StripeAt(uint32_t height, uint32_t k, uint32_t n) {
  Stripe s;
  s.index = k;
  s.firstRow = static_cast<uint32_t>(uint64_t{height} * k / n);
  s.endRow = static_cast<uint32_t>(uint64_t{height} * (k + 1) / n);
  return s;
}

uint32_t ForEachStripe(uint32_t width, uint32_t height, uint32_t minPixelsPerStripe,
                       const std::function<void(const Stripe&)>& fn) {
  const uint32_t n = StripeCount(width, height, minPixelsPerStripe, ParallelThreadCount(),
                                 RunningParallelOperations());
  if (n <= 1) {
    fn(StripeAt(height, 0, 1));
    return 1;
  }
  ParallelOperationScope scope;
  TaskGroup group;
  for (uint32_t k = 0; k < n; ++k) {
    Stripe s = StripeAt(height, k, n);
    group.Run([&fn, s] { fn(s); });
  }
  group.Wait();
  return n;
}

uint32_t ForEachPixelRun(size_t n, const std::function<void(size_t, size_t)>& fn) {
  const uint32_t threads = ParallelThreadCount();
  size_t chunks = 1;
  if (threads >= 2 && RunningParallelOperations() == 0)
    chunks = std::min<size_t>(n / 131072, size_t{4} * threads);
  if (chunks <= 1) {
    fn(0, n);
    return 1;
  }
  const size_t per = (n + chunks - 1) / chunks;
  ParallelOperationScope scope;
  TaskGroup group;
  uint32_t count = 0;
  for (size_t first = 0; first < n; first += per) {
    size_t len = std::min(per, n - first);
    group.Run([&fn, first, len] { fn(first, len); });
    ++count;
  }
  group.Wait();
  return count;
}

}  // namespace vt
