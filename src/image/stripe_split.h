#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>

namespace vt {

class ImageBuffer;

// One horizontal stripe of an image for a parallel task: rows [firstRow, endRow).
struct Stripe {
  uint32_t firstRow = 0;
  uint32_t endRow = 0;
  uint32_t index = 0;
};

// The number of stripes for an image of width x height: one when there is one
// thread or another parallel operation runs; otherwise
// min(q, 8 T, 128) with q = (height * width) / max(minPixels, width), one when q is 0.
uint32_t StripeCount(uint32_t width, uint32_t height, uint32_t minPixelsPerStripe,
                     uint32_t threads, uint32_t runningParallelOperations);
// Rows of stripe k of n: [height * k / n, height * (k + 1) / n).
Stripe StripeAt(uint32_t height, uint32_t k, uint32_t n);

// Splits the image into stripes (with the process's thread count and parallel
// operation count) and runs fn on each as a task of one group, counting itself as
// a running parallel operation; one stripe runs on the calling thread.
// Returns the stripe count.
uint32_t ForEachStripe(uint32_t width, uint32_t height, uint32_t minPixelsPerStripe,
                       const std::function<void(const Stripe&)>& fn);

// Pixel-run parallelism: a run of n pixels cut into min(n / 131072, 4 T) chunks
// of ceil(n / chunks) pixels when that is more than one, each a task; otherwise
// fn(0, n) on the calling thread. fn gets (first pixel, pixel count).
uint32_t ForEachPixelRun(size_t n, const std::function<void(size_t, size_t)>& fn);

}  // namespace vt
